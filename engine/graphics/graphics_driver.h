// The drawing drivers of engine graphics: one record of operations per back
// end, filled once by the driver's own factory function; the core fills what
// a driver leaves unset with defaults that do nothing, so no caller tests an
// entry. The neutral code (graphs, draw state and drawing functions, screen,
// loading, masks, lights and camera) reaches a back end only through these
// records: what belongs to a graph through the driver its image data names,
// everything else through the screen's driver, the one the device set-up
// chose. The software renderer (engine/graphics/software/) is the reference
// and the headless driver; the Direct3D back end (engine/graphics/device/)
// is the other.
#pragma once

#include <cstdint>

struct BASEIMAGE;
struct D3DLIGHT9;
struct GraphImageData;
struct GraphRecord;
struct MATRIX;
struct MEMIMG;
struct MovieRecord;
struct PIXELFORMAT;
struct PaintVertex;

// What a present shows: the part of the screen and the size it takes in the
// window, worked out by the screen code for both drivers.
struct PresentArea {
  int32_t width, height;          // the screen
  int32_t src_width, src_height;  // the part of it shown
  int32_t dst_width, dst_height;  // its size in the window (window mode)
  int32_t window_mode;
  int32_t doubled;  // a 320 x 240 picture shown as 640 x 480
};

// What a new graph's image data is asked for beyond the draw state's
// creation settings.
struct ImageRequest {
  int alpha_channel;
  int caller_byte;
  int mip_levels;  // -1: the mip-map setting decides
  int compressed_kind;
};

// Transforms a driver may take (SetWorldMatrix and the rest of them).
enum DriverTransform : int { DRIVER_WORLD, DRIVER_VIEW, DRIVER_PROJECTION };

struct GraphicsDriver {
  const char* name;

  // ---- the screen (the screen's driver) ----------------------------------------------
  int (*start_screen)();  // after the set-up chose this driver: what it draws into
  void (*end_graphics)();  // graphics end (every driver): what outlived a device re-creation goes
  int (*clear)();         // the whole draw screen in the background colour
  int (*present)(const PresentArea* area);  // 0, or -1 when the picture could not be shown
  void (*keep_front)();   // full screen: the front image is kept before a present
  void (*select_target)(int draw_screen);  // drawing goes to this draw screen from now on
  int (*set_clip)(const int32_t* rect);    // a clip rectangle that is not empty
  void (*flush)(int end_scene);            // queued drawing reaches its target
  const PIXELFORMAT* (*screen_format)();
  int (*reload_own_textures)();  // after the graphs were refilled: what the driver made itself

  // ---- graph images (the driver of the image data; a new one, the screen's) -------------
  int (*create_image)(GraphImageData* data, const ImageRequest* request);
  int (*adopt_image)(GraphImageData* data);  // pixels for image data another driver made
  void (*release_image)(GraphImageData* data);
  int (*attach_graph)(GraphRecord* record);  // the graph's own view of its image data
  void (*detach_graph)(GraphRecord* record);
  MEMIMG* (*graph_view)(GraphRecord* record);            // the graph's memory image, or null
  MEMIMG* (*crossfade_pixels)(GraphRecord* record);     // the software renderer's blend image, or null
  // The rectangle src (already cut to image and destination) at (x, y) of the whole image.
  int (*transfer)(GraphImageData* data, BASEIMAGE* image, BASEIMAGE* alpha, const int32_t* src, int x, int y);
  int (*fill_graph)(GraphRecord* record, int r, int g, int b, int a);
  int (*read_screen)(GraphRecord* record, const int32_t* rect);  // GetDrawScreenGraph
  // The movie's current frame into the graph: 1 when the driver took it (or
  // there was none), 0 when the movie's frame image is to be transferred.
  int (*movie_frame)(GraphRecord* record, MovieRecord* movie);

  // ---- drawing: graphs by their image's driver, the rest by the screen's ------------------
  int (*draw_graph)(GraphRecord* record, int x, int y, int transparent);
  int (*draw_graph_stretched)(GraphRecord* record, int x1, int y1, int x2, int y2, int transparent);
  // corners: top-left, top-right, bottom-left, bottom-right.
  int (*draw_graph_quad)(GraphRecord* record, const float* corners, int transparent);
  int (*draw_line)(int x1, int y1, int x2, int y2, uint32_t colour);
  int (*draw_thick_line)(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);
  int (*fill_box)(int x1, int y1, int x2, int y2, uint32_t colour);
  int (*draw_box_outline)(int x1, int y1, int x2, int y2, uint32_t colour);
  // record null: untextured.
  int (*draw_vertices)(const PaintVertex* vertices, int count, int type, GraphRecord* record, int map_uv);
  // Blend mode 3 drawn in three passes: first and last pass around the draw.
  int (*needs_subtract_passes)();
  int (*invert_before_subtract)(const int32_t* rect);
  int (*invert_after_subtract)(const int32_t* rect);

  // ---- draw state ---------------------------------------------------------------------
  // The crossfade graph (null: none) with its parameter and range, before
  // the draw state takes them: 0, or -1 when this driver cannot use it.
  int (*set_crossfade)(GraphRecord* record, int param, int range);
  void (*drop_crossfade)();  // the crossfade graph is being deleted
  void (*set_filter)(int mode);

  // ---- the mask screen (MaskScreen() holds the buffer and the flags) ------------------------
  void (*create_mask)(int width, int height);
  void (*release_mask)();  // every driver
  void (*enable_mask)();   // the mask screen was switched on or off: drawing retargets
  void (*begin_masked_paint)(const int32_t* rect);  // rect: cut to the clip already
  void (*end_masked_paint)(const int32_t* rect);

  // ---- transforms, lights, fog --------------------------------------------------------
  int (*set_transform)(int which, const MATRIX* m);  // 0 when the driver took it
  void (*set_lighting)(int flag);
  int (*set_light)(int index, int enabled, const D3DLIGHT9* light);
  void (*set_fog_mode)(int mode);
  void (*set_fog_colour)(uint32_t argb);
  void (*set_fog_range)(float start, float end);
};

// fn(name, entry) for every operation of the record, in its order.
template <class Record, class Fn>
constexpr void ForEachDriverOp(Record& d, Fn&& fn) {
  fn("start_screen", d.start_screen), fn("end_graphics", d.end_graphics), fn("clear", d.clear);
  fn("present", d.present), fn("keep_front", d.keep_front), fn("select_target", d.select_target);
  fn("set_clip", d.set_clip), fn("flush", d.flush), fn("screen_format", d.screen_format);
  fn("reload_own_textures", d.reload_own_textures);
  fn("create_image", d.create_image), fn("adopt_image", d.adopt_image), fn("release_image", d.release_image);
  fn("attach_graph", d.attach_graph), fn("detach_graph", d.detach_graph), fn("graph_view", d.graph_view);
  fn("crossfade_pixels", d.crossfade_pixels), fn("transfer", d.transfer), fn("fill_graph", d.fill_graph);
  fn("read_screen", d.read_screen), fn("movie_frame", d.movie_frame);
  fn("draw_graph", d.draw_graph), fn("draw_graph_stretched", d.draw_graph_stretched);
  fn("draw_graph_quad", d.draw_graph_quad), fn("draw_line", d.draw_line), fn("draw_thick_line", d.draw_thick_line);
  fn("fill_box", d.fill_box), fn("draw_box_outline", d.draw_box_outline), fn("draw_vertices", d.draw_vertices);
  fn("needs_subtract_passes", d.needs_subtract_passes), fn("invert_before_subtract", d.invert_before_subtract);
  fn("invert_after_subtract", d.invert_after_subtract);
  fn("set_crossfade", d.set_crossfade), fn("drop_crossfade", d.drop_crossfade), fn("set_filter", d.set_filter);
  fn("create_mask", d.create_mask), fn("release_mask", d.release_mask), fn("enable_mask", d.enable_mask);
  fn("begin_masked_paint", d.begin_masked_paint), fn("end_masked_paint", d.end_masked_paint);
  fn("set_transform", d.set_transform), fn("set_lighting", d.set_lighting), fn("set_light", d.set_light);
  fn("set_fog_mode", d.set_fog_mode), fn("set_fog_colour", d.set_fog_colour), fn("set_fog_range", d.set_fog_range);
}

namespace driver_detail {
constexpr int CountOps() {
  GraphicsDriver d{};
  int n = 0;
  ForEachDriverOp(d, [&](const char*, auto&) { n++; });
  return n;
}
template <class F>
struct Nothing;
template <class R, class... A>
struct Nothing<R (*)(A...)> {
  static R Op(A...) { return R(); }
};
}  // namespace driver_detail

// Every entry of the record is named by ForEachDriverOp.
static_assert(sizeof(GraphicsDriver) == sizeof(const char*) + driver_detail::CountOps() * sizeof(void (*)()),
              "ForEachDriverOp must name every operation of GraphicsDriver");

// An operation the driver does not have: it does nothing and answers 0 (or
// null). A driver says so in its factory, entry by entry.
template <class F>
void NoOperation(F* entry) {
  *entry = &driver_detail::Nothing<F>::Op;
}

// Fills every unset entry with NoOperation.
void FillDriverDefaults(GraphicsDriver* driver);

// The two drivers, each built once by its factory and completed with the defaults.
const GraphicsDriver* SoftwareDriver();
const GraphicsDriver* DeviceDriver();
// fn(driver) for both.
template <class Fn>
void ForEachGraphicsDriver(Fn&& fn) {
  fn(*DeviceDriver());
  fn(*SoftwareDriver());
}

// The screen's driver: the software renderer until the device set-up picks one.
const GraphicsDriver& ScreenDriver();
void UseScreenDriver(const GraphicsDriver* driver);
// The driver of an image data (the screen's while it has none).
const GraphicsDriver& ImageDriver(const GraphImageData* data);

// The factories: each fills the entries of its driver.
namespace software {
void CreateDriver(GraphicsDriver* driver);
}
namespace device {
void CreateDriver(GraphicsDriver* driver);
}
