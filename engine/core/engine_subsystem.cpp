// The registry of subsystem records: the core's own records, the defaults
// that stand in for an empty hook, who hears each graphics event, and what
// the core calls of each subsystem, against which (with the listeners of
// every graphics event) MissingEngineHooks() checks what is registered.
#include "engine/core/engine_subsystem.h"

#include <iterator>
#include <span>
#include <type_traits>

#include "engine/core/alloc.h"
#include "engine/core/archive.h"
#include "engine/core/engine_start.h"
#include "engine/core/engine_state.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/screen_log.h"
#include "engine/core/stream.h"
#include "engine/core/window.h"

namespace {

constexpr int kCount = (int)SubsystemId::Count;

const char* const kNames[] = {
    "archives",   "file layer", "log",      "environment",   "streams", "COM",         "window",
    "screen log", "allocator",  "graphics", "model runtime", "fonts",   "soft images", "input",
    "text input", "sound",      "music",    "movies",        "sockets",
};
static_assert(std::size(kNames) == kCount, "a subsystem without a name");

// ---- the core's own records

int InstallDefaultFileLayer() { return SetFileLayer(nullptr); }
int FillStreamTables() {
  InitStreamTables();
  return 0;
}
int ForceMainWindowForeground() { return ForceForeground(g_engine.window, 1); }

constinit const EngineSubsystem kCoreRecords[] = {
    {.id = SubsystemId::Archives, .start = InitArchiveTable, .end = EndArchiveTable},
    {.id = SubsystemId::FileLayer, .start = InstallDefaultFileLayer},
    {.id = SubsystemId::Log, .start = StartLogFile, .end = EndLogFile},
    {.id = SubsystemId::Environment, .start = CheckEnvironment},
    {.id = SubsystemId::Streams, .start = FillStreamTables},
    {.id = SubsystemId::Com, .start = StartComLibrary, .end = EndComLibrary},
    {.id = SubsystemId::Window,
     .start = CreateMainWindow,
     .end = DestroyMainWindow,
     .desktop_bits_per_pixel = DesktopBitsPerPixel,
     .force_foreground = ForceMainWindowForeground},
    {.id = SubsystemId::ScreenLog, .start = StartScreenLog, .end = EndScreenLog},
    {.id = SubsystemId::Allocator, .end = DumpTrackedBlocks},
};

// ---- defaults: each behaves as if its subsystem were absent

intptr_t WindowDefault(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return DefWindowProcA(static_cast<HWND>(window), message, wparam, lparam);
}
// Without graphics, the window system's own display-mode list.
int WindowSystemModeCount() {
  DEVMODEA mode;
  int count = 0;
  while (EnumDisplaySettingsA(nullptr, (DWORD)count, &mode)) count++;
  return count;
}
int WindowSystemMode(int index, int* width, int* height) {
  DEVMODEA mode;
  if (!EnumDisplaySettingsA(nullptr, (DWORD)index, &mode)) return -1;
  *width = (int)mode.dmPelsWidth;
  *height = (int)mode.dmPelsHeight;
  return 0;
}
int DefaultScreenSize(int* width, int* height) {
  *width = 640;
  *height = 480;
  return 0;
}
uint32_t PackXrgb(int r, int g, int b) { return (uint32_t)r << 16 | (uint32_t)g << 8 | (uint32_t)b; }

using namespace hook_defaults;

// A hook added to the record needs its default here and, when the core
// calls it, its line in kNeeds below (a graphics event: its rule).
static_assert(sizeof(EngineSubsystem) == 8 + 47 * sizeof(void*), "a hook without a default");

EngineSubsystem Filled(EngineSubsystem r) {
  Fill(r.start, kZero);
  Fill(r.end, kZero);
  Fill(r.pump, kZero);
  Fill(r.pump_parked, kZero);
  Fill(r.message, WindowDefault);
  Fill(r.desktop_bits_per_pixel, [] { return 32; });
  Fill(r.force_foreground, kZero);
  Fill(r.screen_size, DefaultScreenSize);
  Fill(r.requested_screen_depth, [] { return 16; });
  Fill(r.display_mode_count, WindowSystemModeCount);
  Fill(r.display_mode, WindowSystemMode);
  Fill(r.clear_restore_handler, kZero);
  Fill(r.swap_vsync_wait, kZero);
  Fill(r.select_draw_screen, kZero);
  Fill(r.current_draw_screen, kZero);
  Fill(r.present_screen, kZero);
  Fill(r.restore_graphics_device, kZero);
  Fill(r.has_restore_handler, [] { return 1; });  // nothing is lost that would need one
  Fill(r.is_hardware_rendering, kZero);
  Fill(r.has_directdraw, kZero);
  Fill(r.reapply_screen_mode, kZero);
  Fill(r.pack_colour, PackXrgb);
  Fill(r.create_log_font, [](int, int) { return -1; });
  Fill(r.delete_log_font, kZero);
  Fill(r.watch_log_font, kZero);
  Fill(r.measure_text, kZero);
  Fill(r.draw_edged_text, kZero);
  Fill(r.queue_char, kZero);
  Fill(r.queue_edit_key, kZero);
  Fill(r.log_mouse_click, kNothing);
  Fill(r.set_input_flag, kNothing);
  Fill(r.reacquire_input_devices, kZero);
  Fill(r.apply_pad_rumble, kZero);
  Fill(r.reapply_ime_state, kZero);
  Fill(r.delete_all_text_inputs, kZero);
  Fill(r.resume_movies, kZero);
  Fill(r.hold_movies, kZero);
  Fill(r.drop_movie_streams, kZero);
  Fill(r.graphics_started, kZero);
  Fill(r.graphics_ending, kZero);
  Fill(r.screen_mode_changing, kZero);
  Fill(r.screen_mode_changed, kZero);
  Fill(r.device_releasing, kZero);
  Fill(r.device_lost, kZero);
  Fill(r.device_remade, kZero);
  Fill(r.graphs_refilled, kZero);
  Fill(r.device_restored, kZero);
  return r;
}

// ---- who hears each graphics event, in order

struct EventRule {
  GraphicsEvent event;
  const char* hook_name;
  int (*EngineSubsystem::*hook)();
  std::span<const SubsystemId> listeners;
};

// The fonts live on graphics' screen: they end before it and start again
// after it, carry the default font across a mode change and are made again
// once the graphs are refilled. Input lets its devices go while no graphics
// device exists. The movies' surfaces on the device go before it does, and
// come back once everything else is restored.
constexpr SubsystemId kFonts[] = {SubsystemId::Fonts};
constexpr SubsystemId kInput[] = {SubsystemId::Input};
constexpr SubsystemId kMovies[] = {SubsystemId::Movies};

#define EVENT(name, hook, listeners) \
  EventRule { GraphicsEvent::name, #hook, &EngineSubsystem::hook, listeners }
constexpr EventRule kGraphicsEvents[] = {
    EVENT(Started, graphics_started, kFonts),
    EVENT(Ending, graphics_ending, kFonts),
    EVENT(ScreenModeChanging, screen_mode_changing, kFonts),
    EVENT(ScreenModeChanged, screen_mode_changed, kFonts),
    EVENT(DeviceReleasing, device_releasing, kMovies),
    EVENT(DeviceLost, device_lost, kInput),
    EVENT(DeviceRemade, device_remade, kInput),
    EVENT(GraphsRefilled, graphs_refilled, kFonts),
    EVENT(DeviceRestored, device_restored, kMovies),
};
#undef EVENT

constexpr bool EventsInOrder() {
  for (int i = 0; i < (int)std::size(kGraphicsEvents); i++)
    if ((int)kGraphicsEvents[i].event != i) return false;
  return true;
}
static_assert(EventsInOrder() && std::size(kGraphicsEvents) == (size_t)GraphicsEvent::DeviceRestored + 1,
              "one rule per graphics event, in the enumeration's order");

// ---- what the core calls of each subsystem

struct Need {
  SubsystemId id;
  const char* hook;
  bool (*filled)(const EngineSubsystem&);
};
#define NEED(subsystem, field)                                                                  \
  Need {                                                                                        \
    SubsystemId::subsystem, #field, [](const EngineSubsystem& r) { return r.field != nullptr; } \
  }

const Need kNeeds[] = {
    NEED(Archives, start),
    NEED(Archives, end),
    NEED(FileLayer, start),
    NEED(Log, start),
    NEED(Log, end),
    NEED(Environment, start),
    NEED(Streams, start),
    NEED(Com, start),
    NEED(Com, end),
    NEED(Window, start),
    NEED(Window, end),
    NEED(Window, desktop_bits_per_pixel),
    NEED(Window, force_foreground),
    NEED(ScreenLog, start),
    NEED(ScreenLog, end),
    NEED(Allocator, end),
    NEED(Graphics, start),
    NEED(Graphics, end),
    NEED(Graphics, screen_size),
    NEED(Graphics, requested_screen_depth),
    NEED(Graphics, display_mode_count),
    NEED(Graphics, display_mode),
    NEED(Graphics, clear_restore_handler),
    NEED(Graphics, swap_vsync_wait),
    NEED(Graphics, select_draw_screen),
    NEED(Graphics, current_draw_screen),
    NEED(Graphics, present_screen),
    NEED(Graphics, restore_graphics_device),
    NEED(Graphics, has_restore_handler),
    NEED(Graphics, is_hardware_rendering),
    NEED(Graphics, has_directdraw),
    NEED(Graphics, reapply_screen_mode),
    NEED(Graphics, pack_colour),
    NEED(ModelRuntime, start),
    NEED(ModelRuntime, end),
    NEED(Fonts, create_log_font),
    NEED(Fonts, delete_log_font),
    NEED(Fonts, watch_log_font),
    NEED(Fonts, measure_text),
    NEED(Fonts, draw_edged_text),
    NEED(SoftImages, end),
    NEED(Input, start),
    NEED(Input, end),
    NEED(Input, pump),
    NEED(Input, queue_char),
    NEED(Input, queue_edit_key),
    NEED(Input, log_mouse_click),
    NEED(Input, set_input_flag),
    NEED(Input, reacquire_input_devices),
    NEED(Input, apply_pad_rumble),
    NEED(TextInput, start),
    NEED(TextInput, pump),
    NEED(TextInput, message),
    NEED(TextInput, reapply_ime_state),
    NEED(TextInput, delete_all_text_inputs),
    NEED(Sound, start),
    NEED(Sound, end),
    NEED(Sound, pump),
    NEED(Sound, pump_parked),
    NEED(Music, end),
    NEED(Music, pump),
    NEED(Music, message),
    NEED(Movies, start),
    NEED(Movies, pump_parked),
    NEED(Movies, resume_movies),
    NEED(Movies, hold_movies),
    NEED(Movies, drop_movie_streams),
    NEED(Sockets, end),
    NEED(Sockets, pump),
    NEED(Sockets, pump_parked),
    NEED(Sockets, message),
};
#undef NEED

// ---- the registry

struct Registry {
  EngineSubsystem registered[kCount];
  bool is_registered[kCount];
  EngineSubsystem filled[kCount];
};

void Put(Registry& r, const EngineSubsystem& record) {
  int i = (int)record.id;
  r.registered[i] = record;
  r.is_registered[i] = true;
  r.filled[i] = Filled(record);
}

Registry CoreOnly() {
  Registry r{};
  for (int i = 0; i < kCount; i++) {
    r.registered[i] = EngineSubsystem{.id = (SubsystemId)i};
    r.filled[i] = Filled(r.registered[i]);
  }
  for (const EngineSubsystem& record : kCoreRecords) Put(r, record);
  return r;
}

Registry& Records() {
  static Registry registry = CoreOnly();
  return registry;
}

}  // namespace

const char* SubsystemName(SubsystemId id) { return (int)id < kCount ? kNames[(int)id] : "?"; }

const EngineSubsystem& Subsystem(SubsystemId id) { return Records().filled[(int)id]; }

void RegisterEngineSubsystems(const EngineSubsystem* const* records, int count) {
  Registry& r = Records();
  r = CoreOnly();
  for (int i = 0; i < count; i++) Put(r, *records[i]);
}

void ResetEngineSubsystems() { Records() = CoreOnly(); }

void BroadcastGraphicsEvent(GraphicsEvent event) {
  const EventRule& rule = kGraphicsEvents[(int)event];
  for (SubsystemId id : rule.listeners) (Subsystem(id).*rule.hook)();
}

void ReplaceEngineSubsystem(const EngineSubsystem& record) { Put(Records(), record); }

EngineSubsystem RegisteredSubsystem(SubsystemId id) { return Records().registered[(int)id]; }

std::vector<std::string> MissingEngineHooks() {
  const Registry& r = Records();
  std::vector<std::string> missing;
  for (int i = 0; i < kCount; i++) {
    if (!r.is_registered[i]) {
      missing.push_back(std::string(kNames[i]) + " is not registered");
      continue;
    }
    for (const Need& need : kNeeds)
      if ((int)need.id == i && !need.filled(r.registered[i]))
        missing.push_back(std::string(kNames[i]) + ": " + need.hook + " is empty");
    for (const EventRule& rule : kGraphicsEvents)
      for (SubsystemId id : rule.listeners)
        if ((int)id == i && !(r.registered[i].*rule.hook))
          missing.push_back(std::string(kNames[i]) + ": " + rule.hook_name + " is empty");
  }
  return missing;
}
