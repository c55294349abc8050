// Small movies made by the tests themselves: Ogg Theora through libtheora's
// encoder (each frame painted with its own number, optionally with Ogg
// Vorbis sound beside it), and MPEG movies with MPEG audio through FFmpeg's
// encoders.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// How the U and V planes are subsampled against the Y plane.
enum ChromaLayout { CHROMA_420, CHROMA_422, CHROMA_444 };

struct TheoraMovieSpec {
  int width = 32, height = 32;
  int frames = 100;
  int fps_numerator = 25, fps_denominator = 1;
  int key_interval = 8;
  double sound_seconds = 0;  // > 0: a 440 Hz Vorbis sound of that length
  bool sound_first = false;  // the sound's beginning page before the pictures'
  bool zero_frame_rate = false;  // the header's frame rate written as 0/0
  bool colour = false;  // chroma across the picture: U by column, V by row
  ChromaLayout chroma = CHROMA_420;
};

// Frame f is luma FrameLuma(f) everywhere but a white band over its top
// quarter, with neutral chroma (or, in colour, U and V of MovieChroma).
inline int FrameLuma(int frame) { return 20 + 2 * (frame % 100); }
Bytes MakeTheoraMovie(const TheoraMovieSpec& spec);
// U at chroma column i of n, or V at chroma row i of n, of a movie in colour.
inline int MovieChroma(int i, int n) { return 40 + 176 * i / n; }

// The Y, U and V planes of one frame of a Theora movie as libtheora's own
// decoder gives them (top row first, packed rows).
struct DecodedFrame {
  int y_width = 0, y_height = 0, uv_width = 0, uv_height = 0;
  std::vector<uint8_t> y, u, v;
};
DecodedFrame DecodeTheoraFrame(const Bytes& ogg, int frame);

// The frame a plain luma value was painted for (by FrameLuma), or -1.
int FrameOfLuma(double luma);

struct MpegMovieSpec {
  const char* container = "mpeg";  // FFmpeg's muxer name
  int width = 64, height = 48;
  int frames = 25;
  int fps = 25;
  bool sound = true;  // 440 Hz MPEG-1 Layer II sound as long as the pictures
  // Every frame the same picture, different in each column: luma stripes
  // over a ramp across, chroma ramps across and down.
  bool detailed = false;
  // Frame f's number painted over the top left of its picture: eight cells
  // of 8 x 8 pixels, the lowest bit first, white for a set bit and black for
  // a clear one, so that every picture of a short movie is told apart; the
  // sound during frame f has the amplitude MpegSoundAmplitude(f).
  bool numbered = false;
};
inline int MpegSoundAmplitude(int frame) { return 4000 + 200 * (frame % 100); }
// Frame f is grey level MpegFrameGrey(f) everywhere (unless detailed).
inline int MpegFrameGrey(int frame) { return 30 + 8 * (frame % 25); }
Bytes MakeMpegMovie(const MpegMovieSpec& spec);
// The Y, U and V planes of one picture of a movie file as FFmpeg's own
// decoder gives them (4:2:0 only).
DecodedFrame DecodeMovieFrame(const std::string& path, int frame);
// The studio-range conversion of one decoded frame, chroma read at its
// plane's own scale, rounded: 0x00RRGGBB, y_width x y_height.
std::vector<uint32_t> ReferenceRgb(const DecodedFrame& f);

// The pages of one logical stream of an Ogg file.
Bytes KeepOggSerial(const Bytes& ogg, uint32_t serial);
constexpr uint32_t kTheoraSerial = 0x7431, kVorbisSerial = 0x5601;

void WriteBytes(const std::string& path, const Bytes& bytes);

// The runtime's movie wiring alone: graphics' source of movie graphs and the
// movies' record (their device surfaces go and come back with the device);
// the graphics host and every other subsystem stay as they were, and the
// graphics fixtures' tear-down disconnects them; movie_hooks.cpp.
void ConnectMovies();

struct MovieRecord;
// Waits until a stream movie's decoding thread has done all that the clock
// lets it do (however long a busy machine keeps it from running); false
// after a generous bound. movie_hooks.cpp.
bool SettleStreamMovie(MovieRecord* r);
// Updates of a stream movie until nothing more is due.
void PumpStreamMovie(int movie);
