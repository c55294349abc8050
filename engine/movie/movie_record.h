// The record behind a movie handle, and the steps the handle functions and
// the multimedia-stream path share.
#pragma once

#include <cstdint>

#include "engine/image/base_image.h"
#include "engine/movie/movie.h"
#include "engine/movie/theora_stream.h"
#include "platform/dshow/dshow.h"

enum MovieKind : int32_t { MOVIE_KIND_DIRECTSHOW = 0, MOVIE_KIND_THEORA = 1 };
constexpr int32_t MOVIE_PLAY_LOOP_BIT = 2;
constexpr int MOVIE_PATH_SIZE = 260;

struct MovieRecord {
  int32_t play_type;
  int32_t kind;
  TheoraStream* theora;
  int64_t time_base;  // microseconds at which frame 0 would have been shown
  intptr_t file;
  int32_t sound;  // sound handle or -1
  // ---- multimedia-stream objects
  RECT sample_rect;
  IAMMultiMediaStream* stream;
  IMediaStream* video_stream;
  IAMMediaStream* am_media_stream;
  IDirectDrawMediaStream* dd_media_stream;
  IDirectDrawStreamSample* sample;
  IDirectDrawSurface* sample_surface;
  IDirectDrawSurface7* sample_surface7;
  IDirectDrawSurface4* sample_surface4;
  IDirectDraw4* directdraw4;
  IGraphBuilder* graph_builder;
  IMediaControl* media_control;
  IMediaSeeking* media_seeking;
  IBasicAudio* basic_audio;
  int64_t last_update_tick;
  int32_t last_update_time;
  // ----
  int32_t width, height;
  int32_t playing;
  int32_t halted;
  int32_t surface_mode;
  STREAM_TIME kept_stream_time;
  int32_t temporary_file;
  char path[MOVIE_PATH_SIZE];
  HANDLE update_event;
  int32_t update_pending;
  BASEIMAGE frame_image;
  BASEIMAGE* frame_image_ptr;
  MovieFrameHook frame_hook;
  intptr_t hook_argument;
  int32_t frame_taken;  // the graph has had the frame image's picture
};

// Opens the multimedia-stream side of a record; 0 or -1 (logged).
int OpenDirectShowMovie(IDirectDraw7* directdraw, MovieRecord* record, const char* file_name, int* width,
                        int* height, int surface_mode);
void AdvanceDirectShowMovie(MovieRecord* record);
void RunDirectShowMovie(MovieRecord* record);
void HoldDirectShowMovie(MovieRecord* record);
void DisposeDirectShowMovie(MovieRecord* record);
bool DirectShowObjectsDropped(const MovieRecord* record);
// Releases the objects after a display change, keeping the stream time.
void DropDirectShowObjects(MovieRecord* record);
// Opens dropped objects again at the kept time; 0 or -1.
int ReopenDirectShowMovie(IDirectDraw7* directdraw, MovieRecord* record);

// Frames a clock reading stands for: the movie's frame at `micros` since its
// time base (no sound), or at the sound's position in milliseconds.
int FrameFromClock(int64_t micros, double fps);
int FrameFromSoundPosition(int position_ms, double fps);
