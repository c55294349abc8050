// The engine's public entry points (start, end, one message step per frame),
// the start-up and shutdown sequences, and the table of services they call.
//
// The core reaches the services that live above it (graphics, input, sound,
// movies, sockets, fonts) only through EngineServices: InstallEngineServices
// (engine/runtime) fills every entry from the subsystems the program links.
// An entry left null belongs to a subsystem that is not built yet; it counts
// as started and needs no ending (tests/engine/runtime lists which entries
// those are). Tests replace entries to watch the order and to make a step
// fail.
#pragma once

#include <cstdint>

struct WindowObject;

struct EngineServices {
  // ---- start-up, in order (0 or -1 unless stated)
  int (*requested_screen_size)(int* width, int* height);  // the mode asked for before start-up
  int (*requested_screen_depth)();
  int (*display_mode_count)();
  int (*display_mode)(int index, int* width, int* height);
  int (*build_movie_tables)();
  int (*init_archive_table)();
  int (*install_file_layer)();
  int (*start_log)();
  int (*desktop_bits_per_pixel)();
  int (*check_environment)();
  int (*fill_stream_tables)();
  int (*clear_restore_handler)();
  int (*start_com)();
  int (*create_main_window)();
  int (*open_input)();
  int (*start_sound)();
  int (*start_graphics)();
  int (*start_text_input)();
  int (*set_vsync_wait)(int on);
  int (*force_foreground)();
  int (*start_screen_log)();
  int (*select_draw_screen)(int screen);
  int (*start_model_runtime)();
  // ---- shutdown, in order
  int (*end_screen_log)();
  int (*end_network)();
  int (*end_music)();
  int (*end_model_runtime)();
  int (*end_graphics)();
  int (*close_input)();
  int (*end_sound)();
  int (*destroy_main_window)();
  int (*end_com)();
  int (*end_soft_images)();
  int (*end_log)();
  int (*close_unused_archives)();
  int (*dump_tracked_blocks)();

  // ---- what the message step services
  int (*refill_stream_sounds)();
  int (*poll_music)();
  int (*tick_pad_rumble)();
  int (*pump_network)();
  int (*update_text_input)();
  int (*blit_movie_surfaces)();

  // ---- what the window procedure hands on
  int (*queue_char)(uintptr_t code);
  int (*queue_edit_key)(uintptr_t virtual_key);
  void (*log_mouse_click)(int button, int x, int y);
  int (*reacquire_input_devices)();
  int (*apply_pad_rumble)();
  int (*reapply_ime_state)();
  int (*delete_all_text_inputs)();
  intptr_t (*ime_message)(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
  void (*set_input_flag)(int which, int on);  // which: 0 flag A, 1 flag B
  intptr_t (*socket_message)(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
  int (*music_notify)(void* window, uintptr_t wparam, intptr_t lparam);

  // ---- graphics as the window sees it
  int (*screen_size)(int* width, int* height);  // the screen mode's size
  int (*current_draw_screen)();
  int (*present_screen)();             // 0, or -1 when the device is lost
  int (*set_vsync_wait_flag)(int on);  // answers the flag before
  int (*restore_graphics_device)();
  int (*has_restore_handler)();
  int (*is_hardware_rendering)();
  int (*has_directdraw)();
  int (*reapply_screen_mode)();  // after a window-mode switch: the screen-mode result

  // ---- movies
  int (*resume_movies)();
  int (*hold_movies)();
  int (*drop_movie_streams)();

  // ---- text for the on-screen log (fonts)
  int (*create_log_font)(int size, int thickness);  // handle or -1
  int (*delete_log_font)(int font);
  int (*watch_log_font)(int font, int* lost_flag);
  int (*measure_text)(const char* text, int length, int font);
  int (*draw_edged_text)(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge_colour);
  uint32_t (*pack_colour)(int r, int g, int b);
};

// The core's own services filled in, everything above the core null.
EngineServices DefaultEngineServices();
// Copies the table; null restores DefaultEngineServices().
void SetEngineServices(const EngineServices* services);
const EngineServices& GetEngineServices();

// ---- public entry points (each takes the engine lock)
int InitEngine();              // 0, or -1 when start-up failed (then nothing is left running)
int EndEngine();               // 0
int ProcessEngineMessages();   // 0, or -1 once the window is gone or quit was posted

// ---- the sequences (the lock already held)
int InitEngineCore();
int EndEngineCore();
// Takes down whatever runs, in shutdown order; tolerates services that never
// started. Used by EndEngineCore and by a failed start-up.
int TeardownEngine();

int StartComLibrary();  // there is no COM here: starting succeeds
int EndComLibrary();    // 0 when started, else -1
int ForceForeground(WindowObject* window, int topmost);
