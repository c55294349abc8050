// The record behind a movie handle, and the table of operations through
// which the handle functions reach each kind of movie.
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

// What a movie of one kind does. Each kind fills one table in its own file
// (movie_theora.cpp, movie_dshow.cpp); the handle functions call through the
// record's kind and never ask which kind it is. An entry a kind leaves out
// keeps its default, which does nothing.
struct MovieKindOps {
  // Opens the file as a movie of this kind: the record's size and frame-image
  // pointer are set. 0, or -1 when the file is no such movie or cannot be
  // opened (what the kind logs is its own).
  int (*open)(MovieRecord* r, const char* file_name, int surface_mode);
  // Starts playing from the frame on show; false when the movie cannot play
  // now and nothing may change.
  bool (*run)(MovieRecord* r, int play_type) = [](MovieRecord*, int) { return true; };
  // Stops where it stands; false as for run.
  bool (*hold)(MovieRecord* r) = [](MovieRecord*) { return true; };
  // Brings the frame up to date with the movie's clock; the frame hook runs
  // when the kind has something for the graph.
  void (*advance)(MovieRecord* r) = [](MovieRecord*) {};
  // The frame image when it holds a picture the graph has not had, else null.
  BASEIMAGE* (*frame_image)(MovieRecord* r) = [](MovieRecord*) -> BASEIMAGE* { return nullptr; };
  // As RefreshMovieFrameSurface.
  int (*frame_surface)(MovieRecord* r, IDirect3DSurface9** surface) = [](MovieRecord*, IDirect3DSurface9**) {
    return -1;
  };
  void (*dispose)(MovieRecord* r) = [](MovieRecord*) {};
  // Around a device's re-creation: surfaces of the old device let go, made
  // on the new one.
  void (*drop_device_surface)(MovieRecord* r) = [](MovieRecord*) {};
  void (*remake_device_surface)(MovieRecord* r) = [](MovieRecord*) {};
  // A display change releases the stream objects, keeping the stream time;
  // the device restore opens them again there (0, or -1).
  void (*drop_stream_objects)(MovieRecord* r) = [](MovieRecord*) {};
  int (*reopen_stream_objects)(MovieRecord* r) = [](MovieRecord*) { return 0; };
  // The message step of an inactive window.
  void (*inactive_step)(MovieRecord* r) = [](MovieRecord*) {};
};

extern const MovieKindOps kTheoraMovieKind;
extern const MovieKindOps kDirectShowMovieKind;

// Opens the multimedia-stream side of a record; 0 or -1 (logged).
int OpenDirectShowMovie(IDirectDraw7* directdraw, MovieRecord* record, const char* file_name, int* width,
                        int* height, int surface_mode);
bool DirectShowObjectsDropped(const MovieRecord* record);

// Frames a clock reading stands for: the movie's frame at `micros` since its
// time base (no sound), or at the sound's position in milliseconds.
int FrameFromClock(int64_t micros, double fps);
int FrameFromSoundPosition(int position_ms, double fps);
