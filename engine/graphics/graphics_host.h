// What engine graphics needs of the rest of the engine beyond the core,
// which it calls directly: the window it shows the screen in, and the
// movies a graph can show.
//
// The window is a table so that graphics runs without one: every entry
// left null takes the headless default (nothing is shown, the window counts
// as open, active and in window mode at scale 1, the engine as started while
// graphics is, and the display offers 640 x 480 in 16 and 32 bits and takes
// every mode). kMainWindowGraphicsHost is the engine's main window; the
// runtime installs it, and a test stands in a window of its own.
//
// What the fonts, input and movies do when the screen mode changes or the
// device is made again is theirs: graphics reports each step to the core
// (BroadcastGraphicsEvent), which hands it to their records.
#pragma once

#include <cstdint>

#include "platform/win32/dib.h"

// One finished software frame as the present hands it to the window layer;
// its pointers are valid only for the length of the call.
struct SoftPresentFrame {
  const BITMAPINFO* info;  // top-down BI_BITFIELDS header with the three masks
  const void* pixels;      // first row of the screen image
  int32_t pitch;           // bytes from one row to the next
  int32_t src_x, src_y, src_width, src_height;  // part of the screen image to show
  int32_t dst_width, dst_height;  // size in the window's client area, from its top-left
};

// A display mode as the enumeration reports it.
struct DisplayModeInfo {
  int32_t width, height, bits_per_pixel, refresh;
};

// Results of a display-mode change, as the platform reports them.
constexpr int DISP_CHANGE_SUCCESSFUL = 0;
constexpr int DISP_CHANGE_FAILED = -1;
constexpr uint32_t CDS_FULLSCREEN = 0x4u;

struct GraphicsHost {
  // ---- the engine and its window
  int (*is_engine_started)();     // headless: graphics started counts as the engine started
  int (*is_window_closed)();      // the window is gone
  int (*is_window_mode)();        // headless: window mode
  double (*window_scale)();       // headless: 1.0
  void (*wait_while_inactive)();  // returns once the window is active again
  void* (*main_window)();         // what the device presents into; headless: none
  // ---- the window system
  int (*present_soft_frame)(const SoftPresentFrame* frame);  // 0, or -1 when it failed
  // index from 0; 0 when there is no such mode.
  int (*enum_display_mode)(int index, DisplayModeInfo* out);
  // mode null restores the desktop's mode.
  int (*change_display_mode)(const DisplayModeInfo* mode, uint32_t flags);
};

// Copies the table, every null entry taking its headless default (null: the
// headless window).
void SetGraphicsHost(const GraphicsHost* host);
const GraphicsHost& GetGraphicsHost();
// The engine's main window, as the engine core keeps it.
extern const GraphicsHost kMainWindowGraphicsHost;

// ---- movies as a source of graphs
struct MovieRecord;
struct BASEIMAGE;
class IDirect3DSurface9;
// Called by the movie after each frame update with the argument it was set
// with (the graph handle).
typedef void (*GraphMovieFrameHook)(MovieRecord* movie, intptr_t argument);

// A graph loaded from a movie file shows the movie's current frame. The
// movies sit above graphics, so they hand it these operations; every null
// entry takes the default of a program without movies (none opens).
struct GraphMovieSource {
  int (*open_movie)(const char* path, int* width, int* height, int option);  // a handle, or -1
  int (*close_movie)(int movie);  // -1 tolerated
  // Brings the movie to its current frame; the frame hook then runs.
  int (*advance_movie_frame)(int movie);
  int (*set_movie_frame_hook)(int movie, GraphMovieFrameHook hook, intptr_t argument);
  // The movie's frame image when it holds a picture not yet copied, else null.
  BASEIMAGE* (*movie_frame_image)(MovieRecord* movie);
  // The movie's YUV surface on the device when it holds a picture not yet
  // copied: 1 with the surface, 0 when there is no new picture, -1 when the
  // movie has no surface to give (its frame image serves).
  int (*movie_frame_surface)(MovieRecord* movie, IDirect3DSurface9** surface);
};

// Copies the table, every null entry taking its default (null: no movies).
void SetGraphMovieSource(const GraphMovieSource* source);
const GraphMovieSource& GetGraphMovieSource();
