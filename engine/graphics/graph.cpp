// Graph handles and records, their shared image data and its software
// memory image, part graphs, deletion, sizes, reload names and the copy of a
// rectangle of the draw screen into a graph.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/graphics/d3d_internal.h"
#include "engine/softrender/blend.h"

HandleTable<GraphRecord>* g_graph_table = nullptr;

namespace {

void ReleaseImageData(GraphImageData* data) {
  if (!data || --data->ref_count > 0) return;
  if (data->software) ReleaseMEMIMG(&data->image);
  if (data->textures) {
    ReleaseGraphTextures(data);
    VOX_FREE(data->textures);
  }
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
  return r && r->image && r->image->software ? &r->view : nullptr;
}

const char* GetGraphReloadName(int graph) {
  GraphRecord* r = GetGraphRecord(graph);
  return r && r->reload_name ? r->reload_name->path : nullptr;
}

int SetupSoftwareImageData(GraphImageData* data) {
  data->hardware = 0;
  data->software = 1;
  data->caller_byte = 0;
  data->mip_levels = 0;
  data->texture_count = 0;
  data->bits = (uint8_t)(g_draw.create_depth ? g_draw.create_depth : g_screen.depth);
  if (data->bits != 16 && data->bits != 32) data->bits = 32;
  bool wide = data->bits == 32;
  data->image = MEMIMG{};
  if (data->blend_image) {
    // A crossfade graph weighs pixels by one channel.
    data->format_index = wide ? SOFT_FORMAT_32 : SOFT_FORMAT_16;
    if (SetupMEMIMG(&data->image, data->width, data->height, -1, 0, MEMIMG_GRAY8, 0, 0, 1, nullptr) < 0)
      return WriteLogText("ブレンド画像用メモリイメージの作成に失敗しました\n");
    FillMEMIMGRect(&data->image, nullptr, 0);
    return 0;
  }
  // Every memory image but a crossfade graph can be drawn into.
  data->draw_target = 1;
  data->format_index = wide ? (data->alpha ? SOFT_FORMAT_32_ALPHA : SOFT_FORMAT_32)
                            : (data->alpha ? SOFT_FORMAT_16_ALPHA : SOFT_FORMAT_16);
  int code = wide ? MEMIMG_X8R8G8B8 : MEMIMG_R5G6B5;
  const PIXELFORMAT* format = GetMEMIMGPixelFormat(code, data->alpha, 0);
  // Black as the image's own pixels hold it (spare bits set, alpha 0).
  uint32_t black = EncodePixelColor(format, 0, 0, 0, 0);
  uint32_t key = data->colour_key_arg == 1 ? 65535u : black;
  if (SetupMEMIMG(&data->image, data->width, data->height, -1, key, code, 0, data->alpha, 1, nullptr) < 0)
    return WriteLogText("メモリイメージの作成に失敗しました\n");
  FillMEMIMGRect(&data->image, nullptr, black);
  return 0;
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
  int made;
  if (g_device.hardware && g_device.device) {
    data->caller_byte = (uint8_t)caller_byte;
    made = CreateHardwareImageData(data, width, height, alpha_channel, mip_levels, compressed_kind);
    if (made == 0) made = BuildTextureDrawInfo(graph);
  } else {
    data->alpha = alpha_channel ? 1 : 0;
    if (g_draw.create_draw_target) {
      data->default_pool = 1;
    } else {
      data->transparency = g_draw.create_alpha_test ? 1 : 0;
      data->blend_image = g_draw.create_blend_image ? 1 : 0;
    }
    if (data->alpha || data->blend_image) data->transparency = 0;
    made = SetupSoftwareImageData(data);
    if (made == 0) {
      record->view = MEMIMG{};
      CreateMEMIMGView(&record->view, &data->image, 0, 0, width, height);
    }
  }
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
  if (record->image->software) {
    record->view = MEMIMG{};
    CreateMEMIMGView(&record->view, &record->image->image, record->x, record->y, width, height);
  } else if (BuildTextureDrawInfo(graph) < 0) {
    ReleaseGraph(graph);
    return -1;
  }
  return graph;
}

int ReleaseGraph(int graph, int ignored) {
  (void)ignored;
  GraphRecord* record = GetGraphRecord(graph);
  if (!record) return -1;
  const GraphicsHost& host = GetGraphicsHost();
  if (host.close_movie) host.close_movie(record->movie);
  if (record->image) {
    if (record->image->software) ReleaseMEMIMG(&record->view);
    if (g_draw.crossfade_graph == graph && g_device.device) {
      FlushVertexBatch();
      g_rs.blend_texture = nullptr;
      g_rs.blend_dirty = 1;
    }
    // A crossfade image of a deleted graph must not outlive it.
    if (g_draw.crossfade_graph == graph) {
      g_draw.crossfade_graph = -1;
      g_draw.crossfade_image = nullptr;
      SyncSoftDrawState();
    }
    ReleaseImageData(record->image);
    record->image = nullptr;
  }
  VOX_FREE(record->pieces);
  VOX_FREE(record->work_a);
  VOX_FREE(record->work_b);
  DropReloadName(record);
  int* watch = record->release_watch;
  if (g_draw.draw_screen == graph) {
    // Drawing must not go on into freed pixels: the screen takes over.
    g_draw.draw_screen = DRAW_SCREEN_BACK;
    g_draw.soft_target = DrawScreenSoftImage();
    SyncSoftDrawState();
    if (g_device.device) SetRenderTargetSurface(g_device.sub_back_buffer ? g_device.sub_back_buffer : g_device.back_buffer);
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
  if (g_device.device) {
    FlushVertexBatch();
    EndSceneIfOpen();
  }
  int w, h;
  DrawScreenSize(g_draw.draw_screen, &w, &h);
  if (!(0 <= x1 && x1 < x2 && 0 <= y1 && y1 < y2 && x2 <= w && y2 <= h)) return -1;
  if (x2 - x1 != record->width || y2 - y1 != record->height) return -1;
  if (record->image->hardware) return GetDrawScreenGraphFromDevice(x1, y1, x2, y2, graph);
  MEMIMG* source = DrawScreenSoftImage();
  if (!IsMEMIMGValid(source)) return -1;
  int32_t rect[4] = {x1, y1, x2, y2};
  return TransferMEMIMGRect(&record->view, source, rect, 0, 0) < 0 ? -1 : 0;
}
