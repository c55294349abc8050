// The program's spine: start-up (the engine configured and started, the
// settings read, the MIDI library bound), the fixed-rate frame loop that
// drives the current scene, and shutdown.
#pragma once

#include <cstdint>

// One frame lasts the ceiling of 1,000,000 / 60 microseconds.
inline constexpr int64_t kFramePeriodUs = 16667;

extern int64_t frame_base;

// Removes the temporary files that saves cut short by a crash or a kill
// left behind: of the settings file, the high scores and the replays. The
// first step of init_game.
void clear_unfinished_saves();
// Each returns false when start-up fails; failed_startup_step() then names
// the step.
bool init_screen();
bool init_game();
const char* failed_startup_step();
// One frame; false leaves the loop.
bool run_frame();
// Ends the current scene first (its fields, threads and plug-ins go while
// the engine still runs), then the shared tables, the MIDI library and the
// engine. False when the engine's end fails.
bool end_game();
// The whole program: start-up, the frame loop from the title, shutdown.
// 0, or 1 after a start-up failure (reported in one line on stderr).
int run_program();

// Waits until one period has passed since `base`, then moves `base` on by
// exactly one period: after a late frame the following frames wait less (or
// not at all) until the base has caught up with the clock. `now` reads the
// microsecond clock; `sleep` may sleep for up to the given microseconds.
template <typename Now, typename Sleep>
void wait_for_frame_end(int64_t* base, Now now, Sleep sleep) {
  for (;;) {
    int64_t left = *base + kFramePeriodUs - now();
    if (left <= 0) break;
    // Sleeping the bulk of the wait spares a processor core; the last
    // two milliseconds are waited on the clock, as sleeps overshoot.
    if (left > 2000) sleep(left - 2000);
  }
  *base += kFramePeriodUs;
}

// What a test hooks into the frame loop (null for players): events injected
// before the frame's input is read (as a player's keys arrive), a look at the
// presented frame, and frames run back to back. test_script.h installs one
// from the environment.
struct FrameHook {
  virtual ~FrameHook() = default;
  virtual void before_input() {}
  virtual void after_present() {}
  // True to end the program after this frame with the exit code given.
  virtual bool finished(int* exit_code) { (void)exit_code; return false; }
  bool unpaced = false;
};
void set_frame_hook(FrameHook* hook);
