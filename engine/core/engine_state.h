// EngineState: the engine's process-wide record of window, flags and
// settings. Settings made before start-up survive window creation; the rest
// is zeroed when the window is created.
#pragma once

#include <cstdint>

struct WindowObject;

// A rectangle in screen pixels, laid out like the window system's RECT.
struct EngineRect {
  int32_t left, top, right, bottom;
};

constexpr int MAX_DROPPED_FILES = 1000;

struct EngineState {
  // ---- lifecycle
  int initialised;
  int starting;
  // ---- start folder (the log file and the restored current folder live here)
  char start_directory[260];
  // ---- log
  int log_off;          // set by SetLogOutput(0); nothing is written at all
  int log_indent;
  int log_mid_line;     // the last text written did not end with LF
  uint32_t log_epoch;   // timeGetTime() when the log file was started
  // ---- clocks
  int64_t performance_frequency;
  int performance_counter_usable;
  // ---- start-up and shutdown
  int ending;       // 1 while shutting down; 4 when the user closed the window first
  int quit;         // the main window is gone or quit was posted
  int destroyed;    // the window procedure has seen WM_DESTROY
  int com_started;
  // ---- settings made before start-up (kept when the window is created)
  int window_mode;  // 1 windowed, 0 fullscreen
  int style_index;  // 0..8
  double window_scale;  // not greater than 0 reads as 1.0
  char title[256];
  int icon_id;
  int run_while_inactive;
  int allow_double_start;
  int visible_style;  // windowed styles carry WS_VISIBLE
  // ---- main window
  void* instance;
  WindowObject* window;
  uint32_t window_thread;
  char class_name[256];
  int active;
  int end_requested;     // WM_CLOSE was posted by the engine itself
  int mode_change_done;  // the display change of a window-mode switch arrived
  int changing_mode;
  int creating;
  int painting;
  int wheel;
  char* dropped_files[MAX_DROPPED_FILES];
  int dropped_count;
  EngineRect client_rect;  // client area in screen coordinates (windowed)
  int code_page_mode;
  uint32_t timer_period;
  int desktop_width, desktop_height, desktop_bits;  // captured at window creation
  int cursor_visible;
  int inactive_since;  // GetMillisecondCount() when the window became inactive
  int in_text_input_update;  // re-entry guard of the message step
};

extern EngineState g_engine;

// What the environment check found about this machine.
struct EnvironmentInfo {
  int os_version;
  int directx_version;
  int mmx, sse, sse2;
  int avx2;  // usable: the processor has it and the system saves its registers
  int tsc_usable;
  int64_t cpu_clock;  // time-stamp ticks per second, 0 when not measured
  int cpu_mhz;
  uint32_t timer_period;
};

extern EnvironmentInfo g_environment;

int CheckEnvironment();
// Records and logs the extensions that CPUID leaf 1's feature word reports.
void ApplyProcessorFeatures(uint32_t features);
// Whether the processor offers AVX2 and the system saves the wide registers.
int ProcessorHasAvx2();
