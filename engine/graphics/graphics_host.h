// What engine graphics needs of the rest of the engine and of the window
// layer, as a table of hooks that start-up fills in. Every hook may stay
// null: the graphics then run headless (nothing is shown, the window counts
// as active and in window mode, the engine as started while graphics is).
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

struct MovieRecord;
struct BASEIMAGE;
class IDirect3DSurface9;
// Called by the movie after each frame update with the argument it was set
// with (the graph handle).
typedef void (*GraphMovieFrameHook)(MovieRecord* movie, intptr_t argument);

// Results of a display-mode change, as the platform reports them.
constexpr int DISP_CHANGE_SUCCESSFUL = 0;
constexpr int DISP_CHANGE_FAILED = -1;
constexpr uint32_t CDS_FULLSCREEN = 0x4u;

struct GraphicsHost {
  // ---- engine state
  int (*is_engine_started)();       // null: graphics started counts as the engine started
  int (*is_start_up_in_progress)();
  int (*is_window_closed)();        // the main window is gone
  int (*is_window_mode)();          // null: window mode
  double (*window_scale)();         // null: 1.0
  void (*wait_while_inactive)();    // returns once the window is active again
  void* (*main_window)();
  int (*apply_window_style)();
  int (*process_messages)();        // one message-processing step after a mode change
  // ---- window system
  int (*present_soft_frame)(const SoftPresentFrame* frame);  // 0, or -1 when it failed
  void (*set_front_buffer_timer)(int on);  // on: call FrontBufferTimerProc after 32 ms
  // index from 0; 0 when there is no such mode. null: a headless list.
  int (*enum_display_mode)(int index, DisplayModeInfo* out);
  // mode null restores the desktop's mode. null: every change succeeds.
  int (*change_display_mode)(const DisplayModeInfo* mode, uint32_t flags);
  // ---- neighbours
  int (*close_input_devices)();
  int (*reopen_input_devices)();
  int (*screen_log_in_use)();
  int (*draw_screen_log)();
  int (*start_font_system)();
  int (*end_font_system)();
  int (*recreate_all_fonts)();
  // Default font carried across a screen-mode change; the answer -1 means none.
  int (*query_default_font)(char* face, int face_size, int* size, int* thickness);
  int (*set_default_font)(const char* face, int size, int thickness);
  // Movies: open gives a handle or -1; a graph shows its movie's current frame.
  int (*open_movie)(const char* path, int* width, int* height, int option);
  void (*close_movie)(int movie);
  // Brings the movie to its current frame; the frame hook then runs.
  void (*advance_movie_frame)(int movie);
  void (*set_movie_frame_hook)(int movie, GraphMovieFrameHook hook, intptr_t argument);
  // The movie's frame image when it holds a picture not yet copied, else null.
  BASEIMAGE* (*movie_frame_image)(MovieRecord* movie);
  // The movie's YUV surface on the device when it holds a picture not yet
  // copied: 1 with the surface, 0 when there is no new picture, -1 when the
  // movie has no surface to give (its frame image serves).
  int (*movie_frame_surface)(MovieRecord* movie, IDirect3DSurface9** surface);
  // The movies let go of their surfaces on the device before it goes
  // (reopen_movies makes them on the new one).
  int (*drop_movie_surfaces)();
  void (*reopen_movies)();
};

// Copies the table (null restores the headless defaults).
void SetGraphicsHost(const GraphicsHost* host);
const GraphicsHost& GetGraphicsHost();
