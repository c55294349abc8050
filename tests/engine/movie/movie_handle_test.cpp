// Movie handles: the clock and the sound as the movie's time, run, hold and
// resume, a movie graph drawn on the software screen, and the
// multimedia-stream path with its pictures, its seeks, its end, its loop and
// its sound, and a stream's picture in part of a surface of the caller's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/core/engine_start.h"
#include "engine/core/file.h"
#include "engine/core/util.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/movie/movie_record.h"
#include "engine/runtime/engine_runtime.h"
#include "engine/sound/sound.h"
#include "platform/dsound/dsound_control.h"
#include "platform/dshow/dshow_control.h"
#include "tests/engine/graphics/graphics_fixtures.h"
#include "tests/engine/movie/movie_fixtures.h"

namespace {

std::atomic<int64_t> g_fake_now{0};
int64_t FakeNow() { return g_fake_now.load(); }
constexpr int64_t kSecond = 10000000;
// The engine's microsecond clock, which a Theora movie's frames follow: it
// stands still, so a test's "played for so long" holds however long the
// machine takes between setting it and looking.
int64_t FakeMicroseconds() { return 5000000000; }

class MovieTest : public GraphicsTest {
 protected:
  void SetUp() override {
    GraphicsTest::SetUp();
    SetFileLayer(nullptr);
    BuildYuvToRgbTables();
    ConnectMovies();  // into otherwise headless graphics
    DshowClearFailures();
    DshowSetClock(FakeNow);
    DshowSetAudioRenderer(0);
    g_fake_now = 0;
    SetMicrosecondClock(FakeMicroseconds);
  }
  void TearDown() override {
    for (int m : movies_) DisposeMovie(m);
    EXPECT_EQ(MovieLiveCount(), 0);
    DshowSetClock(nullptr);
    DshowSetAudioRenderer(1);
    SetMicrosecondClock(nullptr);
    GraphicsTest::TearDown();
  }
  int Open(const Bytes& bytes, const char* name, int mode = 0) {
    WriteBytes(Path(name), bytes);
    int w = 0, h = 0;
    int movie = OpenMovie(name, &w, &h, mode);
    if (movie >= 0) movies_.push_back(movie);
    return movie;
  }
  // Sets the movie's clock as if it had run `seconds` since frame 0.
  static void RunFor(int movie, double seconds) {
    FindMovieRecord(movie)->time_base = GetMicrosecondCount(0) - int64_t(seconds * 1e6);
  }
  static int TheoraFrame(int movie) { return GetTheoraFrameNumber(FindMovieRecord(movie)->theora); }
  // The frame a Theora movie's frame image shows once converted, judged by
  // its lower rows (neutral chroma: green is 1.164 (Y - 16) truncated).
  static int ShownTheoraFrame(int movie) {
    MovieRecord* r = FindMovieRecord(movie);
    ConvertTheoraFrame(r->theora, 1, 0);
    uint32_t red, green, blue, alpha;
    PeekBaseImagePixel(r->frame_image_ptr, 16, 24, &red, &green, &blue, &alpha);
    return FrameOfLuma((green + 0.5) / 1.164 + 16);
  }
  static int ShownGrey(int movie) {
    BASEIMAGE& image = *FindMovieRecord(movie)->frame_image_ptr;
    uint32_t r, g, b, a;
    PeekBaseImagePixel(&image, image.width / 2, image.height / 2, &r, &g, &b, &a);
    return int(g);
  }
  // Which of a movie file's pictures (as an independent decode has them) the
  // stream movie's frame image shows: the first that no channel of it
  // differs from by more than 4, or -1 for none.
  static int ShownPicture(int movie, const std::vector<std::vector<uint32_t>>& pictures) {
    BASEIMAGE& image = *FindMovieRecord(movie)->frame_image_ptr;
    std::vector<uint32_t> shown;
    for (int y = 0; y < image.height; y++)
      for (int x = 0; x < image.width; x++) {
        uint32_t r, g, b, a;
        PeekBaseImagePixel(&image, x, y, &r, &g, &b, &a);
        shown.push_back(r << 16 | g << 8 | b);
      }
    for (size_t k = 0; k < pictures.size(); k++) {
      const auto close = [](uint32_t p, uint32_t q) {
        for (int s = 0; s < 24; s += 8)
          if (std::abs(int(p >> s & 255) - int(q >> s & 255)) > 4) return false;
        return true;
      };
      if (pictures[k].size() == shown.size() && std::equal(shown.begin(), shown.end(), pictures[k].begin(), close))
        return int(k);
    }
    return -1;
  }
  static std::vector<std::vector<uint32_t>> DecodedPictures(const std::string& path, int frames) {
    std::vector<std::vector<uint32_t>> pictures;
    for (int k = 0; k < frames; k++) pictures.push_back(ReferenceRgb(DecodeMovieFrame(path, k)));
    return pictures;
  }
  // The stream's thread keeps its ring written ahead: waits until it has
  // filled the ring past the cursor the last mix left.
  static bool SoundFed() {
    const uint64_t feeds = DshowSoundFeeds();
    for (int i = 0; i < 60000 && DshowSoundFeeds() < feeds + 2; i++) Sleep(1);
    return DshowSoundFeeds() >= feeds + 2;
  }
  // A short MPEG-1 movie of numbered pictures, 322 x 40, a key frame every
  // five pictures, opened as a movie handle.
  int OpenNumbered(const std::string& name, int frames, const char* container = "mpeg", bool sound = false) {
    MpegMovieSpec spec;
    spec.container = container;
    spec.width = 322, spec.height = 40, spec.frames = frames, spec.sound = sound;
    spec.detailed = spec.numbered = true;
    return Open(MakeMpegMovie(spec), name.c_str());
  }
  std::vector<int> movies_;
};

TEST_F(MovieTest, TheClockTurnsIntoFramesThatHaltOrLoopAtTheEnd) {
  int movie = Open(MakeTheoraMovie({}), "clock.ogv");
  ASSERT_GE(movie, 0);
  MovieRecord* r = FindMovieRecord(movie);
  EXPECT_EQ(r->kind, MOVIE_KIND_THEORA);
  EXPECT_EQ(r->sound, -1);
  EXPECT_TRUE(r->halted);
  ASSERT_EQ(RunMovie(movie, 0, 0), 0);
  EXPECT_EQ(r->play_type, 1);
  RunFor(movie, 2.481);
  AdvanceMovieFrame(movie);
  EXPECT_EQ(TheoraFrame(movie), 62);
  RunFor(movie, 10.001);
  AdvanceMovieFrame(movie);
  EXPECT_EQ(TheoraFrame(movie), 99);
  EXPECT_FALSE(r->halted);
  AdvanceMovieFrame(movie);  // the last frame has been on show for one update
  EXPECT_TRUE(r->halted);
  EXPECT_FALSE(r->playing);

  ASSERT_EQ(RunMovie(movie, 3, 0), 0);
  RunFor(movie, 10.001);
  AdvanceMovieFrame(movie);
  EXPECT_EQ(TheoraFrame(movie), 50);
  // Running a running movie changes nothing, not even the play type.
  ASSERT_EQ(RunMovie(movie, 1, 0), 0);
  EXPECT_EQ(r->play_type, 3);
}

// The last frame and one past it, on the microsecond clock and on the sound:
// a movie that does not loop stays on its last frame, one that loops wraps
// to the start; the frame number never reaches the frame count.
TEST_F(MovieTest, AtItsEndAMovieStaysOnItsLastFrameOrWrapsWhenItLoops) {
  const Bytes clip = MakeTheoraMovie({});  // 100 frames, 25 a second
  struct Step {
    double seconds;
    int once, looping;
  } steps[] = {
      {3.96, 99, 99},      // the last frame begins
      {3.999999, 99, 99},  // its last microsecond
      {4.0, 99, 0},        // one frame past the end
      {4.04, 99, 1},
  };
  for (int play_type : {1, 3}) {
    const int movie = Open(clip, play_type == 1 ? "once.ogv" : "loop.ogv");
    ASSERT_GE(movie, 0);
    RunMovie(movie, play_type, 0);
    for (const Step& s : steps) {
      RunFor(movie, s.seconds);
      AdvanceMovieFrame(movie);
      const int expected = play_type == 1 ? s.once : s.looping;
      EXPECT_EQ(TheoraFrame(movie), expected) << s.seconds << " s, play type " << play_type;
      EXPECT_EQ(ShownTheoraFrame(movie), expected) << s.seconds << " s, play type " << play_type;
    }
    EXPECT_EQ(FindMovieRecord(movie)->halted, play_type == 1);
  }
  // One past the end reached straight from an earlier frame (a late update):
  // the movie that does not loop steps to its last frame, never round to the
  // first, and halts an update later.
  {
    const int movie = Open(clip, "late.ogv");
    ASSERT_GE(movie, 0);
    RunMovie(movie, 1, 0);
    RunFor(movie, 3.9);
    AdvanceMovieFrame(movie);
    EXPECT_EQ(TheoraFrame(movie), 97);
    for (double seconds : {4.0, 4.04}) {
      RunFor(movie, seconds);
      AdvanceMovieFrame(movie);
      EXPECT_EQ(TheoraFrame(movie), 99) << seconds << " s";
      EXPECT_EQ(ShownTheoraFrame(movie), 99) << seconds << " s";
    }
    EXPECT_TRUE(FindMovieRecord(movie)->halted);
  }

  // The sound as long as the pictures, played half a second past its end.
  DsClearFailures();
  DsSetManualMixing(1);
  ASSERT_EQ(StartSoundSystem(), 0);
  TheoraMovieSpec spec;
  spec.sound_seconds = 4;
  const Bytes sounding = MakeTheoraMovie(spec);
  for (int play_type : {1, 3}) {
    const int movie = Open(sounding, play_type == 1 ? "once_sound.ogv" : "loop_sound.ogv");
    ASSERT_GE(movie, 0);
    ASSERT_GE(FindMovieRecord(movie)->sound, 0);
    RunMovie(movie, play_type, 0);
    for (int i = 0; i < 450; i++) {
      RefillAllSoundStreams();
      DsMixOutput(nullptr, 441);
      if (i % 10 == 9) AdvanceMovieFrame(movie);
    }
    AdvanceMovieFrame(movie);
    if (play_type == 1) {
      EXPECT_EQ(TheoraFrame(movie), 99);
      EXPECT_EQ(ShownTheoraFrame(movie), 99);
    } else {
      EXPECT_NEAR(TheoraFrame(movie), 12, 1);  // 0.5 s into the second pass
    }
    DisposeMovie(movie);
    movies_.pop_back();
  }
  EndSoundSystem();
  DsSetManualMixing(0);
}

// A movie resumed at a frame whose start is no whole microsecond (24 frames
// a second) goes on from that frame, not from the one before it through a
// wrap of the whole movie.
TEST_F(MovieTest, AResumeAtAnyFrameRateContinuesFromTheFrameOnShow) {
  TheoraMovieSpec spec;
  spec.fps_numerator = 24;
  const int movie = Open(MakeTheoraMovie(spec), "film.ogv");
  ASSERT_GE(movie, 0);
  RunMovie(movie, 1, 0);
  for (int frame : {1, 25, 62, 98}) {
    RunFor(movie, (frame + 0.5) / 24);
    AdvanceMovieFrame(movie);
    ASSERT_EQ(TheoraFrame(movie), frame);
    HoldMovie(movie, 1);
    ResumeMoviesAll();
    AdvanceMovieFrame(movie);
    EXPECT_EQ(TheoraFrame(movie), frame);
    EXPECT_EQ(ShownTheoraFrame(movie), frame);
  }
}

TEST_F(MovieTest, AHoldAndResumeContinueFromTheFrameOnShow) {
  int movie = Open(MakeTheoraMovie({}), "hold.ogv");
  int never_run = Open(MakeTheoraMovie({}), "idle.ogv");
  ASSERT_GE(movie, 0);
  ASSERT_GE(never_run, 0);
  RunMovie(movie, 1, 0);
  RunFor(movie, 1.201);
  AdvanceMovieFrame(movie);
  ASSERT_EQ(TheoraFrame(movie), 30);
  HoldMoviesAll();  // as when the window goes inactive
  EXPECT_TRUE(FindMovieRecord(movie)->halted);
  EXPECT_TRUE(FindMovieRecord(movie)->playing);
  RunFor(movie, 3.0);  // time passes while held
  ResumeMoviesAll();
  EXPECT_FALSE(FindMovieRecord(movie)->halted);
  EXPECT_TRUE(FindMovieRecord(never_run)->halted);
  AdvanceMovieFrame(movie);
  EXPECT_EQ(TheoraFrame(movie), 30);
  HoldMovie(movie, 0);
  ResumeMoviesAll();
  EXPECT_TRUE(FindMovieRecord(movie)->halted);

  int bad = movie ^ 0x00010000;
  EXPECT_EQ(RunMovie(bad, 1, 0), -1);
  EXPECT_EQ(HoldMovie(bad, 0), -1);
  EXPECT_EQ(SetMovieFrameHook(bad, nullptr, 0), -1);
  EXPECT_EQ(AdvanceMovieFrame(bad), 0);
  EXPECT_EQ(FindMovieRecord(bad), nullptr);
  EXPECT_EQ(DisposeMovie(-1), -1);
}

TEST_F(MovieTest, TheSoundBesideThePicturesIsTheClock) {
  DsClearFailures();
  DsSetManualMixing(1);
  ASSERT_EQ(StartSoundSystem(), 0);
  TheoraMovieSpec spec;
  spec.sound_seconds = 3;
  int movie = Open(MakeTheoraMovie(spec), "sound.ogv");
  ASSERT_GE(movie, 0);
  MovieRecord* r = FindMovieRecord(movie);
  ASSERT_GE(r->sound, 0);
  EXPECT_EQ(GetSoundMovieFlag(), 0);
  EXPECT_EQ(GetSoundStorageMode(), 0);
  RunMovie(movie, 1, 0);
  for (int i = 0; i < 100; i++) {
    RefillAllSoundStreams();
    DsMixOutput(nullptr, 441);
  }
  RefillAllSoundStreams();
  AdvanceMovieFrame(movie);
  EXPECT_NEAR(TheoraFrame(movie), 25, 1);
  int at = TheoraFrame(movie);
  ConvertTheoraFrame(r->theora, 1, 0);
  DisposeMovie(movie);
  movies_.clear();
  EndSoundSystem();
  DsSetManualMixing(0);
  EXPECT_GT(at, 0);
}

TEST_F(MovieTest, AMovieGraphShowsItsCurrentFrameOnTheScreen) {
  WriteBytes(Path("show.ogv"), MakeTheoraMovie({}));
  int graph = LoadGraphFromFile("show.ogv");
  ASSERT_GE(graph, 0);
  int movie = GetGraphRecord(graph)->movie;
  ASSERT_GE(movie, 0);
  int w, h;
  QueryGraphSize(graph, &w, &h);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  auto shown = [&] { return FrameOfLuma((ScreenPixel(100 + 16, 50 + 24).g + 0.5) / 1.164 + 16); };
  ASSERT_EQ(PaintGraph(100, 50, graph, 0), 0);
  EXPECT_EQ(shown(), 0);
  EXPECT_GE(ScreenPixel(100 + 16, 50 + 2).g, 250);  // the band at the top
  RunMovie(movie, 1, 0);
  RunFor(movie, 2.481);
  ASSERT_EQ(PaintGraph(100, 50, graph, 0), 0);
  EXPECT_EQ(shown(), 62);
  ReleaseGraph(graph);  // disposes of the movie
  EXPECT_EQ(FindMovieRecord(movie), nullptr);
}

TEST_F(MovieTest, AStreamMovieShowsEachPictureWhenItIsDueAndHaltsOrLoopsAtItsEnd) {
  int movie = Open(MakeMpegMovie({}), "clip.mpg");
  ASSERT_GE(movie, 0);
  MovieRecord* r = FindMovieRecord(movie);
  EXPECT_EQ(r->kind, MOVIE_KIND_DIRECTSHOW);
  EXPECT_EQ(r->width, 64);
  EXPECT_EQ(r->height, 48);
  RunMovie(movie, 1, 0);
  PumpStreamMovie(movie);
  EXPECT_NEAR(ShownGrey(movie), MpegFrameGrey(0), 3);
  g_fake_now = kSecond / 2;  // frame 12 is due (at 0.48 s)
  PumpStreamMovie(movie);
  EXPECT_NEAR(ShownGrey(movie), MpegFrameGrey(12), 3);
  g_fake_now = 2 * kSecond;  // past the last picture
  PumpStreamMovie(movie);
  EXPECT_NEAR(ShownGrey(movie), MpegFrameGrey(24), 3);
  EXPECT_TRUE(r->halted);
  EXPECT_FALSE(r->playing);

  RunMovie(movie, 3, 0);
  PumpStreamMovie(movie);  // the end again: a looping movie starts over
  PumpStreamMovie(movie);
  EXPECT_FALSE(r->halted);
  EXPECT_NEAR(ShownGrey(movie), MpegFrameGrey(0), 3);
  g_fake_now += kSecond / 5 + kSecond / 100;  // frame 5 (at 0.2 s)
  PumpStreamMovie(movie);
  EXPECT_NEAR(ShownGrey(movie), MpegFrameGrey(5), 3);

  // A display change drops the objects; the restore opens them at that time.
  DropDirectShowObjectsAll();
  EXPECT_TRUE(DirectShowObjectsDropped(r));
  EXPECT_EQ(RunMovie(movie, 1, 0), 0);
  AdvanceMovieFrame(movie);
  EXPECT_EQ(ReopenDirectShowMoviesAll(), 0);
  ASSERT_FALSE(DirectShowObjectsDropped(r));
  STREAM_TIME t = 0;
  r->stream->GetTime(&t);
  EXPECT_NEAR(double(t), double(kSecond / 5), double(kSecond / 25));
}

// Seeks in short movies of numbered pictures with a key frame every five:
// in a program stream and a transport stream, which have no index (their
// demuxer lands on the last pack stamped at or before the time, which may
// lie past the key frame the picture is decoded from), and in a container
// whose demuxer finds key frames itself. Each seek shows the picture due at
// its time as an independent decode of the file has it; from the start the
// movie shows every picture in turn and ends only with its last (the update
// after the last picture finds the end and halts the movie on it).
TEST_F(MovieTest, AStreamSeekShowsThePictureDueAtItsTime) {
  const struct {
    const char* container;
    int frames;
    bool sound;
    std::vector<int> seeks_ms;
  } cases[] = {
      {"mpeg", 10, false, {0, 60, 200, 250, 390, 0}},
      {"mpeg", 3, false, {0, 100, 0}},
      {"mpeg", 50, true, {1500, 0, 1980, 820}},
      {"mpegts", 10, true, {0, 250, 390}},
      {"matroska", 50, false, {0, 1500, 390}},
  };
  for (const auto& c : cases) {
    const std::string name = "seek" + std::to_string(c.frames) + "." + c.container;
    const int movie = OpenNumbered(name, c.frames, c.container, c.sound);
    ASSERT_GE(movie, 0) << name;
    const auto pictures = DecodedPictures(Path(name), c.frames);
    MovieRecord* r = FindMovieRecord(movie);
    for (int ms : c.seeks_ms) {
      RunMovie(movie, 1, 0);  // again after a seek to the last picture
      ASSERT_EQ(r->stream->Seek(int64_t(ms) * kSecond / 1000), S_OK);
      PumpStreamMovie(movie);  // the clock stands at the time sought
      const int due = ms * 25 / 1000;
      EXPECT_EQ(ShownPicture(movie, pictures), due) << name << " after a seek to " << ms << " ms";
      EXPECT_EQ(r->halted, due == c.frames - 1) << name << " after a seek to " << ms << " ms";
    }
    RunMovie(movie, 1, 0);
    ASSERT_EQ(r->stream->Seek(0), S_OK);
    const int64_t start = g_fake_now;
    for (int k = 0; k < c.frames; k++) {
      g_fake_now = start + k * kSecond / 25 + kSecond / 50;
      PumpStreamMovie(movie);
      EXPECT_EQ(ShownPicture(movie, pictures), k) << name << " played from the start";
      EXPECT_EQ(r->halted, k == c.frames - 1) << name << " at picture " << k;
    }
  }
}

// A looping stream movie starts over at its first picture after each pass,
// also one shorter than its key-frame interval.
TEST_F(MovieTest, ALoopingStreamMovieShowsItsFirstPictureAgainAfterEachPass) {
  for (int frames : {3, 10}) {
    const std::string name = "loop" + std::to_string(frames) + ".mpg";
    const int movie = OpenNumbered(name, frames);
    ASSERT_GE(movie, 0) << name;
    const auto pictures = DecodedPictures(Path(name), frames);
    const int middle = frames / 2;
    RunMovie(movie, 3, 0);
    for (int pass = 0; pass < 3; pass++) {
      // Each pass starts the stream's clock over where the last one ended.
      const int64_t start = g_fake_now;
      PumpStreamMovie(movie);
      EXPECT_EQ(ShownPicture(movie, pictures), 0) << name << " at the start of pass " << pass;
      g_fake_now = start + middle * kSecond / 25 + kSecond / 50;
      PumpStreamMovie(movie);
      EXPECT_EQ(ShownPicture(movie, pictures), middle) << name << " in pass " << pass;
      g_fake_now = start + frames * kSecond / 25;  // the last picture, then the next pass
      PumpStreamMovie(movie);
      EXPECT_FALSE(FindMovieRecord(movie)->halted) << name;
    }
  }
}

// A sample in part of a surface the caller made, 322 pixels wide (no
// multiple of the scaler's blocks of 16): in each layout the stream writes,
// every pixel of the rectangle takes the picture (no picture pixel is black)
// and nothing of the surface around it changes.
TEST_F(MovieTest, AStreamPictureFillsItsRectangleOfTheCallersSurfaceAndNothingElse) {
  MpegMovieSpec spec;
  spec.width = 322, spec.height = 40, spec.frames = 3, spec.sound = false, spec.detailed = true;
  WriteBytes(Path("part.mpg"), MakeMpegMovie(spec));
  IAMMultiMediaStream* stream = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                             reinterpret_cast<void**>(&stream)),
            S_OK);
  IDirectDraw4* directdraw4 = nullptr;
  IDirectDraw* directdraw = nullptr;
  ASSERT_EQ(QueryDirectDrawInterface(GetDirectDrawObject(), IID_IDirectDraw4, reinterpret_cast<void**>(&directdraw4)),
            DD_OK);
  ASSERT_EQ(directdraw4->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&directdraw)), DD_OK);
  WCHAR path[64];
  MultiByteToWideChar(CP_ACP, 0, "part.mpg", -1, path, 64);
  IMediaStream* video = nullptr;
  IDirectDrawMediaStream* video_surfaces = nullptr;
  ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, nullptr), S_OK);
  ASSERT_EQ(stream->AddMediaStream(directdraw4, &MSPID_PrimaryVideo, 0, nullptr), S_OK);
  ASSERT_EQ(stream->OpenFile(path, 0), S_OK);
  ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &video), S_OK);
  ASSERT_EQ(video->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video_surfaces)), S_OK);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  const DDPIXELFORMAT layouts[] = {{sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 16, 0xF800, 0x07E0, 0x001F, 0},
                                   {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0},
                                   {sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0}};
  const RECT rect{7, 3, 7 + 322, 3 + 40};
  for (int i = 0; i < 3; i++) {
    const DDPIXELFORMAT& layout = layouts[i];
    const int bits = int(layout.dwRGBBitCount), bytes = bits / 8;
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.dwWidth = 345, desc.dwHeight = 48;
    desc.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
    desc.ddpfPixelFormat = layout;
    IDirectDrawSurface* surface = nullptr;
    IDirectDrawSurface4* surface4 = nullptr;
    ASSERT_EQ(directdraw->CreateSurface(&desc, &surface, nullptr), DD_OK);
    ASSERT_EQ(surface->QueryInterface(IID_IDirectDrawSurface4, reinterpret_cast<void**>(&surface4)), DD_OK);
    IDirectDrawStreamSample* sample = nullptr;
    ASSERT_EQ(video_surfaces->CreateSample(surface, &rect, 0, &sample), S_OK);
    ASSERT_EQ(stream->Seek(0), S_OK);  // each layout takes the first picture
    EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK) << bits;
    DDSURFACEDESC2 locked{};
    locked.dwSize = sizeof locked;
    ASSERT_EQ(surface4->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr), DD_OK);
    int unwritten = 0, changed = 0;
    for (int y = 0; y < int(desc.dwHeight); y++)
      for (int x = 0; x < int(desc.dwWidth); x++) {
        const uint8_t* pixel = static_cast<const uint8_t*>(locked.lpSurface) + (size_t)y * locked.lPitch + x * bytes;
        const bool black = std::all_of(pixel, pixel + std::min(bytes, 3), [](uint8_t b) { return b == 0; });
        const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
        // The created surface is zeroed; the fourth byte of a 32-bit pixel is no colour.
        if (inside && black) unwritten++;
        if (!inside && !std::all_of(pixel, pixel + bytes, [](uint8_t b) { return b == 0; })) changed++;
      }
    surface4->Unlock(nullptr);
    EXPECT_EQ(unwritten, 0) << bits << "-bit pixels of the rectangle left black";
    EXPECT_EQ(changed, 0) << bits << "-bit pixels outside the rectangle written";
    sample->Release();
    surface4->Release();
    surface->Release();
  }
  video_surfaces->Release();
  video->Release();
  stream->Release();
  directdraw->Release();
  directdraw4->Release();
  EXPECT_EQ(MultiMediaStreamCount(), 0);
}

TEST_F(MovieTest, SurfaceModesFollowTheScreenDepth) {
  struct Case {
    int depth, mode, resolved, bytes;
  } cases[] = {{32, 0, 0, 4}, {32, 1, 0, 4}, {32, 2, 0, 4}, {16, 0, 0, 2}, {16, 1, 2, 3}, {16, 2, 2, 3}};
  const Bytes clip = MakeMpegMovie({});
  for (const Case& c : cases) {
    Restart(640, 480, c.depth);
    int movie = Open(clip, "mode.mpg", c.mode);
    ASSERT_GE(movie, 0);
    EXPECT_EQ(FindMovieRecord(movie)->surface_mode, c.resolved) << c.depth << " " << c.mode;
    EXPECT_EQ(FindMovieRecord(movie)->frame_image.format.bytes_per_pixel, c.bytes) << c.depth << " " << c.mode;
    DisposeMovie(movie);
    movies_.pop_back();
  }
}

TEST_F(MovieTest, FilesThatAreNoMovieAreRefusedWithTheirReasons) {
  Bytes noise(5000);
  for (size_t i = 0; i < noise.size(); i++) noise[i] = uint8_t(i * 7919 >> 3);
  EXPECT_EQ(Open(noise, "noise.mpg"), -1);
  DsSetManualMixing(1);
  DshowSetAudioRenderer(1);  // the sound alone could be rendered
  TheoraMovieSpec sound_only;
  sound_only.frames = 0;
  sound_only.sound_seconds = 0.5;
  EXPECT_EQ(Open(KeepOggSerial(MakeTheoraMovie(sound_only), kVorbisSerial), "sound.ogg"), -1);
  const Bytes clip = MakeMpegMovie({});
  EXPECT_EQ(Open(Bytes(clip.begin(), clip.begin() + clip.size() / 40), "cut.mpg") >= -1, true);
  std::string log = ReadFile("Log.txt");
  EXPECT_NE(log.find("動画ファイルではない可能性があります！"), std::string::npos);
  EXPECT_NE(log.find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);
  EXPECT_EQ(MultiMediaStreamCount(), int(movies_.size()));
  DsSetManualMixing(0);
}

// What `step` writes to the standard error.
template <class Step>
std::string StandardErrorOf(Step step) {
  std::fflush(stderr);
  FILE* capture = std::tmpfile();
  const int kept = dup(2);
  dup2(fileno(capture), 2);
  step();
  std::fflush(stderr);
  dup2(kept, 2);
  close(kept);
  std::string text;
  std::rewind(capture);
  for (int c; (c = std::fgetc(capture)) != EOF;) text += char(c);
  std::fclose(capture);
  return text;
}

// Graph loading tries a file that no image reader takes as a movie: a
// damaged picture fails there with the engine's log line, and the decoding
// libraries of the streams say nothing on the standard error.
TEST_F(MovieTest, ADamagedPictureFailsAsAMovieWithoutChatterOnStandardError) {
  // A picture whose header gives it no size, then noise.
  Bytes damaged_jpeg = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 0, 0, 0, 1, 1, 0x11, 0,
                        0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0};
  Bytes damaged_png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (size_t i = 0; i < 3000; i++) {
    damaged_jpeg.push_back(uint8_t(i * 7919 >> 3));
    damaged_png.push_back(uint8_t(i * 104729 >> 5));
  }
  const struct {
    const char* name;
    const Bytes& bytes;
  } cases[] = {{"damaged.jpg", damaged_jpeg}, {"damaged.png", damaged_png}};
  for (const auto& c : cases) {
    WriteBytes(Path(c.name), c.bytes);
    int graph = 0;
    EXPECT_EQ(StandardErrorOf([&] { graph = LoadGraphFromFile(c.name); }), "") << c.name;
    EXPECT_EQ(graph, -1) << c.name;
    EXPECT_NE(ReadFile("Log.txt").find(std::string("右記のグラフィックファイルのロードに失敗しました：") + c.name),
              std::string::npos)
        << c.name;
  }
  EXPECT_EQ(MovieLiveCount(), 0);
}

// Component creation answers so when the streams module cannot be loaded
// (tests/platform/dshow): the open fails with its reasons, nothing is left.
TEST_F(MovieTest, WithoutTheStreamsModuleAStreamMovieFailsToOpen) {
  for (DshowCall call : {DSHOW_CALL_CREATE_GRAPH, DSHOW_CALL_CREATE_STREAM}) {
    DshowFailCall(call, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Open(MakeMpegMovie({}), "clip.mpg"), -1);
    EXPECT_EQ(LoadGraphFromFile("clip.mpg"), -1);
    DshowClearFailures();
  }
  EXPECT_EQ(MovieLiveCount(), 0);
  EXPECT_EQ(MultiMediaStreamCount(), 0);
  std::string log = ReadFile("Log.txt");
  EXPECT_NE(log.find("CLSID_FilterGraph の作成に失敗しました"), std::string::npos);
  EXPECT_NE(log.find("IAMMultimediaインターフェイスを取得できませんでした！"), std::string::npos);
  EXPECT_NE(log.find("ムービーファイルオープン処理時にエラーが発生しました"), std::string::npos);
  EXPECT_NE(log.find("右記のグラフィックファイルのロードに失敗しました：clip.mpg"), std::string::npos);
}

TEST_F(MovieTest, TheStreamMoviesSoundPlaysAndTimesThePictures) {
  DsClearFailures();
  DsSetManualMixing(1);
  DshowSetAudioRenderer(1);
  MpegMovieSpec spec;
  spec.frames = 50;
  int movie = Open(MakeMpegMovie(spec), "sound.mpg");
  ASSERT_GE(movie, 0);
  RunMovie(movie, 1, 0);
  std::vector<int16_t> out(2 * 441);
  std::vector<int16_t> left;
  for (int i = 0; i < 61; i++) {
    ASSERT_TRUE(SoundFed());
    DsMixOutput(out.data(), 441);
    for (int k = 0; k < 441; k++) left.push_back(out[2 * k]);
  }
  ASSERT_TRUE(SoundFed());  // and has seen where the cursor stands now
  STREAM_TIME t = 0;
  FindMovieRecord(movie)->stream->GetTime(&t);
  EXPECT_NEAR(double(t), 0.61 * kSecond, kSecond / 100.0);
  // The second half: a 440 Hz tone.
  double sum = 0;
  int crossings = 0;
  for (size_t i = left.size() / 2; i + 1 < left.size(); i++) {
    sum += double(left[i]) * left[i];
    if ((left[i] < 0) != (left[i + 1] < 0)) crossings++;
  }
  double seconds = double(left.size() / 2) / 44100;
  EXPECT_GT(std::sqrt(sum / double(left.size() / 2)), 2000);
  EXPECT_NEAR(crossings / 2 / seconds, 440, 25);
  PumpStreamMovie(movie);
  EXPECT_NEAR(ShownGrey(movie), MpegFrameGrey(15), 3);  // 0.6 s at 25 frames a second
  DisposeMovie(movie);
  movies_.clear();
  DsSetManualMixing(0);
}

// The sound after a seek is the sound due at the time sought, however far
// back the demuxer had to start for the picture's key frame: the loudness of
// a numbered movie's sound tells the picture it goes with.
TEST_F(MovieTest, AStreamSeekPlaysTheSoundDueAtItsTime) {
  DsClearFailures();
  DsSetManualMixing(1);
  DshowSetAudioRenderer(1);
  const int movie = OpenNumbered("sound.mpg", 50, "mpeg", true);
  ASSERT_GE(movie, 0);
  RunMovie(movie, 1, 0);
  std::vector<int16_t> out(2 * 441);
  for (int ms : {1500, 0, 820}) {
    ASSERT_EQ(FindMovieRecord(movie)->stream->Seek(int64_t(ms) * kSecond / 1000), S_OK);
    ASSERT_TRUE(SoundFed());
    DsMixOutput(out.data(), 441);  // the next 10 ms
    int peak = 0;
    for (int k = 0; k < 441; k++) peak = std::max(peak, std::abs(int(out[2 * k])));
    EXPECT_NEAR((peak - MpegSoundAmplitude(0)) / 200.0, ms * 25 / 1000.0, 1) << "after a seek to " << ms << " ms";
  }
  DisposeMovie(movie);
  movies_.clear();
  DsSetManualMixing(0);
}

}  // namespace
