// The engine's subsystems as the core sees them: one record each, which the
// subsystem defines in its own folder and engine/runtime registers.
//
// A record gives the hooks its subsystem offers: its start and end, its part
// of the message step, the messages the window procedure hands to it, the
// few calls the core makes into it at window events, and what it does when
// graphics changes its screen or its device. The core decides when each hook
// runs (engine_start.cpp, message.cpp, window.cpp, and for the graphics
// events engine_subsystem.cpp): start-up and shutdown do not run in reverse
// of each other, nor does the message step pump in one order, so no list
// order could stand for all of them.
//
// Every hook a record leaves empty is filled with a default that behaves as
// if the subsystem were absent, so the core never tests for null; that a
// subsystem the program links left a hook empty, or was not registered at
// all, is what MissingEngineHooks() reports.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

enum class SubsystemId : uint8_t {
  // ---- the core's own, always registered
  Archives,
  FileLayer,
  Log,
  Environment,
  Streams,
  Com,
  Window,
  ScreenLog,
  Allocator,
  // ---- above the core
  Graphics,
  ModelRuntime,
  Fonts,
  SoftImages,
  Input,
  TextInput,
  Sound,
  Music,
  Movies,
  Sockets,
  Count
};

struct EngineSubsystem {
  SubsystemId id;

  // ---- start-up and shutdown (0 when done; a negative start means the
  // subsystem cannot run, and start-up decides what that costs)
  int (*start)() = nullptr;
  int (*end)() = nullptr;  // copes with a subsystem that never started

  // ---- the message step
  int (*pump)() = nullptr;         // at the end of every step
  int (*pump_parked)() = nullptr;  // once a pass while the inactive window holds the step

  // ---- a message the window procedure hands on as it came; the result is
  // the window procedure's (default: the window's default handling)
  intptr_t (*message)(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) = nullptr;

  // ---- the main window, as start-up asks it
  int (*desktop_bits_per_pixel)() = nullptr;
  int (*force_foreground)() = nullptr;  // the window to the front, topmost

  // ---- graphics: the screen as start-up, the window and the on-screen log see it
  int (*screen_size)(int* width, int* height) = nullptr;  // the screen mode's size (640 x 480 when none was asked for)
  int (*requested_screen_depth)() = nullptr;
  int (*display_mode_count)() = nullptr;
  int (*display_mode)(int index, int* width, int* height) = nullptr;  // 0, or -1 past the list
  int (*clear_restore_handler)() = nullptr;
  int (*swap_vsync_wait)(int on) = nullptr;  // answers the setting before
  int (*select_draw_screen)(int screen) = nullptr;
  int (*current_draw_screen)() = nullptr;
  int (*present_screen)() = nullptr;  // 0, or -1 when the device is lost
  int (*restore_graphics_device)() = nullptr;
  int (*has_restore_handler)() = nullptr;
  int (*is_hardware_rendering)() = nullptr;
  int (*has_directdraw)() = nullptr;
  int (*reapply_screen_mode)() = nullptr;  // after a window-mode switch: the screen-mode result
  uint32_t (*pack_colour)(int r, int g, int b) = nullptr;

  // ---- fonts: the on-screen log's text
  int (*create_log_font)(int size, int thickness) = nullptr;  // handle, or -1
  int (*delete_log_font)(int font) = nullptr;
  int (*watch_log_font)(int font, int* lost_flag) = nullptr;
  int (*measure_text)(const char* text, int length, int font) = nullptr;
  int (*draw_edged_text)(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge_colour) = nullptr;

  // ---- input: what the window procedure decodes for it, and activation
  int (*queue_char)(uintptr_t code) = nullptr;
  int (*queue_edit_key)(uintptr_t virtual_key) = nullptr;
  void (*log_mouse_click)(int button, int x, int y) = nullptr;  // button 1 left, 2 right, 4 middle
  void (*set_input_flag)(int which, int on) = nullptr;          // which: 0 flag A, 1 flag B
  int (*reacquire_input_devices)() = nullptr;
  int (*apply_pad_rumble)() = nullptr;  // after every change of activation

  // ---- text input
  int (*reapply_ime_state)() = nullptr;       // the window became active
  int (*delete_all_text_inputs)() = nullptr;  // the window is being destroyed

  // ---- movies
  int (*resume_movies)() = nullptr;
  int (*hold_movies)() = nullptr;
  int (*drop_movie_streams)() = nullptr;  // an accepted display change

  // ---- what a subsystem does when graphics reports a change of its screen
  // or its device (BroadcastGraphicsEvent)
  int (*graphics_started)() = nullptr;      // the screen is up and its draw state fresh
  int (*graphics_ending)() = nullptr;       // graphics is about to end (also when it is not running)
  int (*screen_mode_changing)() = nullptr;  // a running screen is about to change its mode
  int (*screen_mode_changed)() = nullptr;   // the new mode runs, the window restyled for it
  int (*device_releasing)() = nullptr;      // the device is about to go: what was made on it goes first
  int (*device_lost)() = nullptr;           // a restore took the device down; none exists until device_remade
  int (*device_remade)() = nullptr;         // a restore set up the device, or the software renderer, again
  int (*graphs_refilled)() = nullptr;       // a restore refilled every graph
  int (*device_restored)() = nullptr;       // a restore is complete
};

// The changes graphics reports, one per hook above, in the order the hooks
// stand in the record.
enum class GraphicsEvent : uint8_t {
  Started,
  Ending,
  ScreenModeChanging,
  ScreenModeChanged,
  DeviceReleasing,
  DeviceLost,
  DeviceRemade,
  GraphsRefilled,
  DeviceRestored,
};

// The name a report gives the subsystem ("sound", "text input").
const char* SubsystemName(SubsystemId id);

// The record the core runs for `id`, every hook filled.
const EngineSubsystem& Subsystem(SubsystemId id);

// Puts each record in its id's place over the core's own records; every
// other subsystem goes back to unregistered.
void RegisterEngineSubsystems(const EngineSubsystem* const* records, int count);
// The core's own records alone: the state before any registration.
void ResetEngineSubsystems();

// Runs the event's hook of each subsystem that reacts to it, in the core's
// order. Graphics calls it at each step of its start, end, screen-mode
// change and device restore, so it never names its neighbours.
void BroadcastGraphicsEvent(GraphicsEvent event);

// ---- test hooks
// Puts one record in its id's place, registered as it is.
void ReplaceEngineSubsystem(const EngineSubsystem& record);
// The record of `id` as registered, hooks left empty still empty (an empty
// record of that id when none is).
EngineSubsystem RegisteredSubsystem(SubsystemId id);
// Replaces one hook of the registered record of `id`.
template <class Hook>
void ReplaceEngineHook(SubsystemId id, Hook EngineSubsystem::*hook, std::type_identity_t<Hook> value) {
  EngineSubsystem record = RegisteredSubsystem(id);
  record.*hook = value;
  ReplaceEngineSubsystem(record);
}

// What the engine as registered lacks: each subsystem the core calls that is
// not registered, and each hook the core calls that a registered record
// leaves empty, one line each. Empty when nothing is missing.
std::vector<std::string> MissingEngineHooks();

// For a table of hooks that fills its empty entries with defaults (the
// records here, and the tables the layers above keep alike).
namespace hook_defaults {
template <class Hook>
constexpr void Fill(Hook& hook, std::type_identity_t<Hook> fallback) {
  if (!hook) hook = fallback;
}
constexpr auto kZero = [](auto...) { return 0; };
constexpr auto kNothing = [](auto...) {};
}  // namespace hook_defaults
