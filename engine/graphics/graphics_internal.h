// Records and module state shared by the files of engine graphics, both
// drivers included. What a back end keeps for itself stays in its folder.
#pragma once

#include <cstdint>

#include "engine/core/handle.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_driver.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"

class IDirect3DSurface9;
class IDirect3DTexture9;

// One device texture of a device image (the device driver's part of the
// image data).
struct ImageTexture {
  IDirect3DTexture9* texture;
  IDirect3DSurface9* surface;  // level 0
  IDirect3DSurface9* depth;    // nothing makes one; released with the texture
  int32_t x, y;                // the texture's area inside the image
  int32_t used_width, used_height;
  int32_t width, height;       // powers of two, at least 8
};

// The part of one texture a graph shows.
struct TexturePiece {
  int32_t graph_x, graph_y;  // visible part inside the graph
  int32_t tex_x, tex_y;      // and inside the texture
  int32_t width, height;
  float left, top, right, bottom;  // edges in graph pixels
  float u1, v1, u2, v2;            // texture coordinates at those edges
  int32_t texture;                 // index into the image data's textures
};

// Software image-data format codes: 16 or 32 bits, without or with alpha.
constexpr int SOFT_FORMAT_16 = 15;
constexpr int SOFT_FORMAT_16_ALPHA = 16;
constexpr int SOFT_FORMAT_32 = 17;
constexpr int SOFT_FORMAT_32_ALPHA = 18;

// Pixels shared by a graph and every graph cut out of it.
struct GraphImageData {
  int32_t ref_count;
  int32_t format_index;  // texture-format row (device) or SOFT_FORMAT_* (software)
  const GraphicsDriver* driver;  // the back end that holds the pixels
  uint8_t alpha;
  uint8_t draw_target;
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
  ImageTexture* textures;
  MEMIMG image;           // the full software image (invalid on the device)
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
  int32_t piece_count;  // device: the texture pieces that cover the graph
  TexturePiece* pieces;
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
  float crossfade_reciprocal[2];  // 1 / width and 1 / height of the crossfade graph's texture
  int32_t filter_mode;
  int32_t create_depth;
  int32_t create_alpha;
  int32_t create_alpha_test;
  int32_t create_draw_target;
  int32_t create_default_pool;
  int32_t create_blend_image;
  uint32_t address_u[8], address_v[8];  // per-stage texture addressing (0 = clamp)
  GraphRestoreHandler restore_handler;
};

struct ScreenMode {
  int32_t width, height, depth, refresh;
  int32_t doubling;
  int32_t vsync_off;
  int32_t software_only;
  int32_t started;
  DisplayModeEntry* display_modes;
  int32_t display_mode_count;
  int32_t display_modes_built;
};

extern DrawState g_draw;
extern ScreenMode g_screen;
extern HandleTable<GraphRecord>* g_graph_table;
// fn(graph, record) for every live graph, lowest slot first; none before the
// table is made.
template <class Fn>
void ForEachGraph(Fn&& fn) {
  if (g_graph_table) g_graph_table->ForEach(fn);
}

GraphRecord* GetGraphRecord(int graph);
int CreateGraphImageData(int graph, int width, int height, int caller_flag, int alpha_channel, int colour_key_arg,
                         int caller_byte, int mip_levels, int compressed_kind = 0);
int TransferBaseImageToGraph(BASEIMAGE* image, BASEIMAGE* alpha_image, const int32_t* src_rect, int dst_x,
                             int dst_y, int graph, int update);
void CreateGraphTable();
void DestroyGraphTable();

// How images are cut into textures, kept across graphics restarts: the
// user's largest texture (0: the device's), the never-split flag and the
// mip-map setting (-1 full chain, 0 or 1 none, n levels).
struct TextureSettings {
  int32_t user_max_size;
  int32_t never_split;
  int32_t mip_setting;
};
extern TextureSettings g_texture_settings;
int SetUserMaxTextureSize(int size);
int SetTextureSplitting(int on);
int SetMipMapSetting(int levels);

// The mask screen as the drivers see it: one byte a screen pixel (non-zero
// lets drawing through, zero when reversed), and whether it is in use.
struct MaskScreenState {
  uint8_t* buffer;
  int32_t width, height;
  int32_t reverse;
  int32_t created, enabled, active;
};
const MaskScreenState& MaskScreen();

// Pushes the draw state into the software renderer's copy of it (the
// reference renderer reads its own copy, and so does the font library).
void SyncSoftDrawState();
// Stores a clip rectangle already normalised and clamped, with its float copy.
void StoreClip(const int32_t* rect);
// The packed vertex colour of the draw state, rebuilt from brightness, mode and parameter.
void RebuildPackedVertexColour();
// The brightness from one 0xRRGGBB word, without clamping.
int SetPaintBrightnessPacked(uint32_t rgb);
// Size of a draw screen: the screen for every screen code.
void DrawScreenSize(int target, int* width, int* height);
int EngineStarted();
void WaitWhileInactive();
int IsWindowModeNow();
int ChangeDisplayMode(const DisplayModeInfo* mode, uint32_t flags);  // the host's
// The front-buffer refresh timer on the engine's main window (none without one).
void SetFrontBufferTimer(int on);
void FreeDisplayModeList();
