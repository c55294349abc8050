// The assembled engine leaves no service empty by accident: after
// InstallEngineServices() every entry of the core's services table and of
// the graphics and input hosts is filled, except the entries of subsystems
// that are not built yet, which the table below names. An empty entry counts
// as success where it is called, so a forgotten one would fail silently.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/engine_start.h"
#include "engine/graphics/graphics_host.h"
#include "engine/input/input.h"
#include "engine/input/input_internal.h"
#include "engine/runtime/engine_runtime.h"

namespace {

// Entries of subsystems not built yet. When a subsystem is wired into
// InstallEngineServices, its entries leave this table.
struct Pending {
  const char* entry;
  const char* subsystem;
};
const std::vector<Pending> kNotBuiltYet = {};  // every subsystem is built

struct Entry {
  std::string name;
  bool filled;
};

#define SERVICE(field) Entry{"services." #field, s.field != nullptr}
#define GRAPHICS(field) Entry{"graphics." #field, g.field != nullptr}
#define INPUT(field) Entry{"input." #field, in.field != nullptr}

// Every entry of the three tables. The size checks below fail when an entry
// is added to a table and not here.
std::vector<Entry> AllEntries() {
  const EngineServices& s = GetEngineServices();
  const GraphicsHost& g = GetGraphicsHost();
  const InputHost& in = Host();
  std::vector<Entry> services = {
      SERVICE(requested_screen_size), SERVICE(requested_screen_depth), SERVICE(display_mode_count),
      SERVICE(display_mode), SERVICE(build_movie_tables), SERVICE(init_archive_table),
      SERVICE(install_file_layer), SERVICE(start_log), SERVICE(desktop_bits_per_pixel),
      SERVICE(check_environment), SERVICE(fill_stream_tables), SERVICE(clear_restore_handler),
      SERVICE(start_com), SERVICE(create_main_window), SERVICE(open_input), SERVICE(start_sound),
      SERVICE(start_graphics), SERVICE(start_text_input), SERVICE(set_vsync_wait), SERVICE(force_foreground),
      SERVICE(start_screen_log), SERVICE(select_draw_screen), SERVICE(start_model_runtime),
      SERVICE(end_screen_log), SERVICE(end_network), SERVICE(end_music), SERVICE(end_model_runtime),
      SERVICE(end_graphics), SERVICE(close_input), SERVICE(end_sound), SERVICE(destroy_main_window),
      SERVICE(end_com), SERVICE(end_soft_images), SERVICE(end_log), SERVICE(close_unused_archives),
      SERVICE(dump_tracked_blocks), SERVICE(refill_stream_sounds), SERVICE(poll_music),
      SERVICE(tick_pad_rumble), SERVICE(pump_network), SERVICE(update_text_input),
      SERVICE(blit_movie_surfaces), SERVICE(queue_char), SERVICE(queue_edit_key), SERVICE(log_mouse_click),
      SERVICE(reacquire_input_devices), SERVICE(apply_pad_rumble), SERVICE(reapply_ime_state),
      SERVICE(delete_all_text_inputs), SERVICE(ime_message), SERVICE(set_input_flag), SERVICE(socket_message),
      SERVICE(music_notify), SERVICE(screen_size), SERVICE(current_draw_screen), SERVICE(present_screen),
      SERVICE(set_vsync_wait_flag), SERVICE(restore_graphics_device), SERVICE(has_restore_handler),
      SERVICE(is_hardware_rendering), SERVICE(has_directdraw), SERVICE(reapply_screen_mode),
      SERVICE(resume_movies), SERVICE(hold_movies), SERVICE(drop_movie_streams), SERVICE(create_log_font),
      SERVICE(delete_log_font), SERVICE(watch_log_font), SERVICE(measure_text), SERVICE(draw_edged_text),
      SERVICE(pack_colour),
  };
  EXPECT_EQ(services.size() * sizeof(void*), sizeof(EngineServices)) << "an entry is missing here";
  std::vector<Entry> graphics = {
      GRAPHICS(is_engine_started), GRAPHICS(is_start_up_in_progress), GRAPHICS(is_window_closed),
      GRAPHICS(is_window_mode), GRAPHICS(window_scale), GRAPHICS(wait_while_inactive), GRAPHICS(main_window),
      GRAPHICS(apply_window_style), GRAPHICS(process_messages), GRAPHICS(present_soft_frame),
      GRAPHICS(set_front_buffer_timer), GRAPHICS(enum_display_mode), GRAPHICS(change_display_mode),
      GRAPHICS(close_input_devices), GRAPHICS(reopen_input_devices), GRAPHICS(screen_log_in_use),
      GRAPHICS(draw_screen_log), GRAPHICS(start_font_system), GRAPHICS(end_font_system),
      GRAPHICS(recreate_all_fonts), GRAPHICS(query_default_font), GRAPHICS(set_default_font),
      GRAPHICS(open_movie), GRAPHICS(close_movie), GRAPHICS(advance_movie_frame), GRAPHICS(set_movie_frame_hook),
      GRAPHICS(movie_frame_image), GRAPHICS(movie_frame_surface), GRAPHICS(drop_movie_surfaces),
      GRAPHICS(reopen_movies),
  };
  EXPECT_EQ(graphics.size() * sizeof(void*), sizeof(GraphicsHost)) << "an entry is missing here";
  std::vector<Entry> input = {
      INPUT(wait_while_inactive), INPUT(is_end_requested),     INPUT(is_app_active),
      INPUT(process_messages),    INPUT(main_window),          INPUT(bring_window_to_top),
      INPUT(read_clipboard_text), INPUT(write_clipboard_text), INPUT(default_window_proc),
      INPUT(enable_window_ime),
  };
  EXPECT_EQ(input.size() * sizeof(void*), sizeof(InputHost)) << "an entry is missing here";
  services.insert(services.end(), graphics.begin(), graphics.end());
  services.insert(services.end(), input.begin(), input.end());
  return services;
}

const Pending* FindPending(const std::string& name) {
  auto it = std::find_if(std::begin(kNotBuiltYet), std::end(kNotBuiltYet),
                         [&](const Pending& p) { return name == p.entry; });
  return it == std::end(kNotBuiltYet) ? nullptr : &*it;
}

TEST(ServiceWiring, EveryEntryIsFilledOrBelongsToASubsystemNotBuiltYet) {
  InstallEngineServices();
  std::vector<Entry> entries = AllEntries();
  for (const Entry& e : entries) {
    const Pending* pending = FindPending(e.name);
    if (pending)
      EXPECT_FALSE(e.filled) << e.name << " is filled now: take it out of the " << pending->subsystem
                             << " entries of kNotBuiltYet";
    else
      EXPECT_TRUE(e.filled) << e.name << " is left empty by InstallEngineServices()";
  }
  for (const Pending& p : kNotBuiltYet)
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.name == p.entry; }))
        << p.entry << " names no entry";
  SetEngineServices(nullptr);
  SetGraphicsHost(nullptr);
  SetInputHost(nullptr);
}

}  // namespace
