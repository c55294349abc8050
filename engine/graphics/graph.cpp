// Graph handles and records, their shared image data (its pixels held by a
// driver), part graphs, deletion, sizes, reload names, the copy of a
// rectangle of the draw screen into a graph, and the texture settings.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/graphics/graphics_internal.h"

HandleTable<GraphRecord>* g_graph_table = nullptr;
TextureSettings g_texture_settings{};

namespace {

void ReleaseImageData(GraphImageData* data) {
  if (!data || --data->ref_count > 0) return;
  ImageDriver(data).release_image(data);
  VOX_FREE(data);
}

void DropReloadName(GraphRecord* record) {
  if (record->reload_name && --record->reload_name->refs == 0) VOX_FREE(record->reload_name);
  record->reload_name = nullptr;
}

}  // namespace

void CreateGraphTable() {
  if (!g_graph_table) g_graph_table = new HandleTable<GraphRecord>(HANDLE_GRAPH, GRAPH_TABLE_SLOTS);
}

void DestroyGraphTable() {
  if (!g_graph_table) return;
  ReleaseAllGraphs();
  delete g_graph_table;
  g_graph_table = nullptr;
}

int AllocateGraphHandle() {
  CreateGraphTable();
  GraphRecord* record = nullptr;
  int handle = g_graph_table->Allocate(&record);
  if (handle < 0) {
    if (g_graph_table->last_failure() == HandleTableBase::FAIL_FULL)
      AbortWithLog("グラフィックの数が許容量を越えました終了します");
    AbortWithLog("メモリの確保に失敗しました");
  }
  record->check = ((uint32_t)handle & HANDLE_CHECK_MASK) >> 16;
  record->handle = (uint32_t)handle;
  record->movie = -1;
  return handle;
}

GraphRecord* GetGraphRecord(int graph) { return g_graph_table ? g_graph_table->Lookup(graph) : nullptr; }

int IsGraphHandleValid(int graph) { return g_screen.started && GetGraphRecord(graph) ? 1 : 0; }

int GraphLiveCount() { return g_graph_table ? g_graph_table->live_count() : 0; }
int GraphHighWater() { return g_graph_table ? g_graph_table->high_water() : 0; }

MEMIMG* GetGraphMemImage(int graph) {
  GraphRecord* r = GetGraphRecord(graph);
  return r && r->image ? ImageDriver(r->image).graph_view(r) : nullptr;
}

const char* GetGraphReloadName(int graph) {
  GraphRecord* r = GetGraphRecord(graph);
  return r && r->reload_name ? r->reload_name->path : nullptr;
}

int CreateGraphImageData(int graph, int width, int height, int caller_flag, int alpha_channel, int colour_key_arg,
                         int caller_byte, int mip_levels, int compressed_kind) {
  (void)caller_flag;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  if (width <= 0 || height <= 0) {
    ReleaseGraph(graph);
    return -1;
  }
  GraphImageData* data = (GraphImageData*)VOX_CALLOC(sizeof(GraphImageData));
  if (!data) {
    WriteLogText("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
    ReleaseGraph(graph);
    return -1;
  }
  data->ref_count = 1;
  data->width = width;
  data->height = height;
  data->colour_key_arg = (uint8_t)colour_key_arg;
  data->transparent_colour = 0;  // the colour key is black
  record->image = data;
  record->x = record->y = 0;
  record->width = width;
  record->height = height;
  // The screen's driver holds the pixels of every new graph.
  const GraphicsDriver& driver = ScreenDriver();
  data->driver = &driver;
  const ImageRequest request{alpha_channel, caller_byte, mip_levels, compressed_kind};
  int made = driver.create_image(data, &request);
  if (made == 0) made = driver.attach_graph(record);
  if (made < 0) {
    ReleaseGraph(graph);
    return -1;
  }
  return 0;
}

int CreateBlankGraph(int width, int height, int ignored) {
  (void)ignored;
  if (!g_screen.started) return -1;
  WaitWhileInactive();
  int graph = AllocateGraphHandle();
  if (CreateGraphImageData(graph, width, height, 0, g_draw.create_alpha, 0, 0, -1) < 0) return -1;
  return graph;
}

int CreateGraphForImage(const BASEIMAGE* image, const BASEIMAGE* alpha_image, int ignored) {
  if (!g_screen.started || !image) return -1;
  WaitWhileInactive();
  if (alpha_image && (alpha_image->width != image->width || alpha_image->height != image->height)) return -1;
  int alpha = (image->format.alpha_width != 0 || alpha_image) ? 1 : 0;
  int graph = AllocateGraphHandle();
  int mips = image->mip_count > 0 ? image->mip_count : -1;
  if (CreateGraphImageData(graph, image->width, image->height, ignored, alpha, 0, 0, mips,
                           (int)image->format.dxt_kind) < 0)
    return -1;
  return graph;
}

int CreatePartGraph(int x, int y, int width, int height, int source) {
  GraphRecord* src = GetGraphRecord(source);
  if (!g_screen.started || !src || !src->image) return -1;
  if (x < 0 || x >= src->width || y < 0 || y >= src->height) return -1;
  // A part of no pixels would be a view of zero or negative size.
  if (width <= 0 || height <= 0) return -1;
  if (width > src->width - x) width = src->width - x;
  if (height > src->height - y) height = src->height - y;
  int graph = AllocateGraphHandle();
  GraphRecord* record = GetGraphRecord(graph);
  src = GetGraphRecord(source);
  record->image = src->image;
  record->image->ref_count++;
  record->reload_name = src->reload_name;
  if (record->reload_name) record->reload_name->refs++;
  record->source_x = src->source_x + x;
  record->source_y = src->source_y + y;
  record->load_option = src->load_option;
  record->x = src->x + x;
  record->y = src->y + y;
  record->width = width;
  record->height = height;
  if (ImageDriver(record->image).attach_graph(record) < 0) {
    ReleaseGraph(graph);
    return -1;
  }
  return graph;
}

int ReleaseGraph(int graph, int ignored) {
  (void)ignored;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  GetGraphMovieSource().close_movie(record->movie);
  if (record->image) {
    ImageDriver(record->image).detach_graph(record);
    // A crossfade image of a deleted graph must not outlive it.
    if (g_draw.crossfade_graph == graph) {
      ScreenDriver().drop_crossfade();
      g_draw.crossfade_graph = -1;
      g_draw.crossfade_image = nullptr;
      SyncSoftDrawState();
    }
    ReleaseImageData(record->image);
    record->image = nullptr;
  }
  VOX_FREE(record->work_a);
  VOX_FREE(record->work_b);
  DropReloadName(record);
  int* watch = record->release_watch;
  if (g_draw.draw_screen == graph) {
    // Drawing must not go on into freed pixels: the screen takes over.
    g_draw.draw_screen = DRAW_SCREEN_BACK;
    ScreenDriver().select_target(DRAW_SCREEN_BACK);
  }
  g_graph_table->Release(graph);
  if (watch) *watch = 1;
  return 0;
}

int ReleaseAllGraphs(int ignored) {
  (void)ignored;
  ForEachGraph([](int graph, GraphRecord&) { ReleaseGraph(graph); });
  return 0;
}

int WatchGraphRelease(int graph, int* flag) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  record->release_watch = flag;
  if (flag) *flag = 0;
  return 0;
}

int QueryGraphSize(int graph, int* width, int* height) {
  int w, h;
  if (graph == DRAW_SCREEN_FRONT || graph == DRAW_SCREEN_BACK) {
    GetScreenSizeOrDefault(&w, &h);
  } else {
    GraphRecord* record = GetGraphRecord(graph);
    if (!record) return -1;
    w = record->width;
    h = record->height;
  }
  if (width) *width = w;
  if (height) *height = h;
  return 0;
}

int StoreGraphFileName(int graph, const char* path, int share_from) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  DropReloadName(record);
  if (path) {
    char full[1024];
    if (ResolveFullPath(path, full, sizeof full, nullptr) < 0) CopyStringBounded(full, path, sizeof full);
    size_t n = std::strlen(full);
    ReloadName* name = (ReloadName*)VOX_ALLOC((uint32_t)(sizeof(ReloadName) + n));
    if (!name) return WriteLogText("転送する画像ファイルのファイル名を保存するメモリ領域の確保に失敗しました\n");
    name->refs = 1;
    std::memcpy(name->path, full, n + 1);
    record->reload_name = name;
    return 0;
  }
  if (share_from == -1) return 0;
  GraphRecord* other = GetGraphRecord(share_from);
  if (!other) return -1;
  record->reload_name = other->reload_name;
  if (record->reload_name) record->reload_name->refs++;
  return 0;
}

int GetDrawScreenGraph(int x1, int y1, int x2, int y2, int graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (!g_screen.started || !record || !record->image) return -1;
  ScreenDriver().flush(1);
  int w, h;
  DrawScreenSize(g_draw.draw_screen, &w, &h);
  if (!(0 <= x1 && x1 < x2 && 0 <= y1 && y1 < y2 && x2 <= w && y2 <= h)) return -1;
  if (x2 - x1 != record->width || y2 - y1 != record->height) return -1;
  const int32_t rect[4] = {x1, y1, x2, y2};
  return ImageDriver(record->image).read_screen(record, rect);
}

int SetUserMaxTextureSize(int size) {
  g_texture_settings.user_max_size = size > 0 ? size : 0;
  return 0;
}
int SetTextureSplitting(int on) {
  g_texture_settings.never_split = on ? 0 : 1;
  return 0;
}
int SetMipMapSetting(int levels) {
  g_texture_settings.mip_setting = levels;
  return 0;
}
