// Records and module state shared by the files of engine graphics.
#pragma once

#include <cstdint>

#include "engine/core/handle.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"

class IDirect3D9;

// Software image-data format codes: 16 or 32 bits, without or with alpha.
constexpr int SOFT_FORMAT_16 = 15;
constexpr int SOFT_FORMAT_16_ALPHA = 16;
constexpr int SOFT_FORMAT_32 = 17;
constexpr int SOFT_FORMAT_32_ALPHA = 18;

// Pixels shared by a graph and every graph cut out of it.
struct GraphImageData {
  int32_t ref_count;
  int32_t format_index;  // texture-format row (hardware) or SOFT_FORMAT_* (software)
  uint8_t hardware;
  uint8_t alpha;
  uint8_t draw_target;
  uint8_t software;
  uint8_t default_pool;
  uint8_t caller_byte;
  uint8_t mip_levels;
  uint8_t transparency;
  uint8_t bits;
  uint8_t blend_image;
  uint8_t colour_key_arg;
  uint32_t transparent_colour;
  int32_t width, height;
  int32_t mip_level_count;
  int32_t texture_count;  // device textures; 0 for a software image
  MEMIMG image;           // the full software image
};

// Reference-counted full path a graph is refilled from.
struct ReloadName {
  uint32_t refs;
  char path[1];  // zero-terminated, allocated to length
};

struct GraphRecord {
  uint32_t check;
  uint32_t handle;
  int* release_watch;
  GraphImageData* image;
  int32_t movie;
  ReloadName* reload_name;
  int32_t source_x, source_y;
  uint32_t load_option;
  int32_t x, y;
  int32_t width, height;
  void* work_a;
  void* work_b;
  MEMIMG view;  // software: a view of image->image at (x, y)
};

struct DrawState {
  int32_t draw_screen;
  MEMIMG* soft_target;
  int32_t target_width, target_height;
  int32_t clip[4];
  float clip_f[4];
  int32_t clip_requested[4];
  int32_t clip_empty;
  int32_t blend_mode;
  int32_t blend_param;
  uint8_t bright_r, bright_g, bright_b;
  uint32_t vertex_colour;
  int32_t crossfade_graph;
  int32_t crossfade_param, crossfade_range;
  MEMIMG* crossfade_image;
  int32_t filter_mode;
  int32_t create_depth;
  int32_t create_alpha;
  int32_t create_alpha_test;
  int32_t create_draw_target;
  int32_t create_default_pool;
  GraphRestoreHandler restore_handler;
};

struct ScreenState {
  int32_t width, height, depth, refresh;
  int32_t doubling;
  int32_t vsync_off;
  int32_t software_only;
  int32_t started;
  DisplayModeEntry* display_modes;
  int32_t display_mode_count;
  int32_t display_modes_built;
};

struct DeviceObjects {
  HMODULE d3d9_module;
  IDirectDraw7* directdraw;
  IDirect3D9* direct3d;
  void* device;  // the Direct3D device; always null on the software path
  int32_t hardware;  // the engine's hardware flag
};

extern DrawState g_draw;
extern ScreenState g_screen;
extern DeviceObjects g_device;
extern HandleTable<GraphRecord>* g_graph_table;

// Screen images of the software path: the screen and two work images.
extern MEMIMG g_screen_image;
extern MEMIMG g_screen_work[2];

GraphRecord* GetGraphRecord(int graph);
int CreateGraphImageData(int graph, int width, int height, int caller_flag, int alpha_channel, int colour_key_arg,
                         int caller_byte, int mip_levels);
int TransferBaseImageToGraph(BASEIMAGE* image, BASEIMAGE* alpha_image, const int32_t* src_rect, int dst_x,
                             int dst_y, int graph, int update);
void CreateGraphTable();
void DestroyGraphTable();
int CreatePrimaryMemImage();
int ReleasePrimaryMemImages();

// Pushes the draw state into the software renderer's copy of it.
void SyncSoftDrawState();
// The software target that the current draw screen selects (mask aside).
MEMIMG* DrawScreenSoftImage();
// Size of a draw screen: the screen for every screen code.
void DrawScreenSize(int target, int* width, int* height);
int EngineStarted();
void WaitWhileInactive();
int IsWindowModeNow();
int ChangeDisplayMode(const DisplayModeInfo* mode, uint32_t flags);  // host's, or success headless
void FreeDisplayModeList();
