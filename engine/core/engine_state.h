// EngineState: the engine's process-wide record of window, flags and
// settings. Settings made before start-up survive window creation; the rest
// is zeroed when the window is created.
#pragma once

#include <cstdint>

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
};

extern EngineState g_engine;

// What the environment check found about this machine.
struct EnvironmentInfo {
  int os_version;
  int directx_version;
  int mmx, sse, sse2;
  int tsc_usable;
  int64_t cpu_clock;  // time-stamp ticks per second, 0 when not measured
  int cpu_mhz;
  uint32_t timer_period;
};

extern EnvironmentInfo g_environment;

int CheckEnvironment();
// Records and logs the extensions that CPUID leaf 1's feature word reports.
void ApplyProcessorFeatures(uint32_t features);
