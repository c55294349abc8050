// The font system: the table of font handles, creation of a font with its
// system font, cell geometry and cache sheet (a graph on the hardware path,
// a plain buffer otherwise), the default font, reset and rebuild.
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/handle.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/font/font_internal.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"

namespace {

struct FontDefaults {
  char face[128];
  int size;
  int thickness;
  uint32_t type;
  int charset;
  int edge_size;
  int italic;
  int gap;
};

struct FontSystem {
  int counter;  // check number of the next font made without one
  int default_handle;
  FontDefaults defaults;
};

FontSystem g_fonts_state{};
int g_texture_cache_override = -1;

HandleTable<FONTRECORD>& Table() {
  static HandleTable<FONTRECORD> table(HANDLE_FONT, FONT_HANDLE_SLOTS);
  return table;
}

void SetStartDefaults(FontDefaults* d) {
  std::memset(d, 0, sizeof *d);
  d->size = 16;
  d->thickness = 6;
  d->charset = 1;
  d->edge_size = 1;
}

DWORD SystemCharset(int charset) {
  switch (charset) {
    case 0: return DEFAULT_CHARSET;
    case 2: return HANGEUL_CHARSET;
    default: return SHIFTJIS_CHARSET;
  }
}

HFONT MakeSystemFont(const char* face, int size, int thickness, int italic, DWORD charset) {
  return CreateFontA(size, 0, 0, 0, thickness * 100, italic ? 1 : 0, 0, 0, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

bool MainWindowClosing() { return GetGraphicsHost().is_window_closed() != 0; }

int RoundUp8(int v) { return (v + 7) & ~7; }

// Releases what a record holds and frees its slot; the record's deleted
// flag is raised. The handle is not validated beyond the table's lookup.
void DestroyFont(int handle) {
  FONTRECORD* f = Table().Lookup(handle);
  if (!f) return;
  if (f->system_font) DeleteObject(f->system_font);
  f->system_font = nullptr;
  VOX_FREE(f->glyphs);
  VOX_FREE(f->codes);
  f->glyphs = nullptr;
  f->codes = nullptr;
  VOX_FREE(f->soft_buffer);
  f->soft_buffer = nullptr;
  // A graph the graph system already released (all graphs deleted, device
  // re-created) has raised graph_lost; its handle may belong to another now.
  if (!f->graph_lost) {
    if (f->edge_graph >= 0) ReleaseGraph(f->edge_graph);
    if (f->cache_graph >= 0) {
      WatchGraphRelease(f->cache_graph, nullptr);
      ReleaseGraph(f->cache_graph);
    }
  }
  f->edge_graph = f->cache_graph = -1;
  VOX_FREE(f->cache_image.pixels);
  f->cache_image.pixels = nullptr;
  if (f->deleted_flag) *f->deleted_flag = 1;
  Table().Release(handle);
}

int CreateFailure(int handle, const char* message) {
  if (message) WriteLogText(message);
  DestroyFont(handle);
  return -1;
}

}  // namespace

void SetFontTextureCacheOverride(int use) { g_texture_cache_override = use; }
void SetFontCreationCounter(int next) { g_fonts_state.counter = next % HANDLE_CHECK_COUNT; }

FONTRECORD* GetFontRecord(int handle) { return Table().Lookup(handle); }

int IsLeadByte(const char* byte, int charset) {
  unsigned char c = (unsigned char)*byte;
  if (charset == 2) return c >= 0x80 ? 1 : 0;
  return vox_win32::IsCp932LeadByte(c) ? 1 : 0;
}

int CreateFontToHandle(const char* face, int size, int thickness, int type, int charset, int edge_size, int italic,
                       int slot, int check) {
  if (MainWindowClosing()) return -1;
  if (type == -1) type = 0;
  if (edge_size > 1) type |= (int)FONT_TYPE_EDGE;
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  if (edge_size == -1) edge_size = 1;
  if (edge_size < 0) edge_size = 0;
  if (charset == -1) charset = GetOEMCP() == 949 ? 2 : 1;

  HandleTable<FONTRECORD>& table = Table();
  if (slot >= 0) {
    if (slot >= FONT_HANDLE_SLOTS || table.HandleAt(slot) >= 0) return -1;
  } else {
    for (slot = 0; slot < FONT_HANDLE_SLOTS && table.HandleAt(slot) >= 0; ++slot) {
    }
    if (slot == FONT_HANDLE_SLOTS) {
      WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", FONT_HANDLE_SLOTS);
      return -1;
    }
  }
  int check_number = check >= 0 ? (check % HANDLE_CHECK_COUNT) : g_fonts_state.counter;
  FONTRECORD* f = nullptr;
  int handle = table.Allocate(&f, (int)(HANDLE_FONT | ((uint32_t)check_number << 16) | (uint32_t)slot));
  if (handle >= 0) {
    f->cache_graph = f->edge_graph = -1;
    f->glyphs = static_cast<FontGlyph*>(VOX_CALLOC(FONT_GLYPH_ENTRIES * sizeof(FontGlyph)));
    f->codes = static_cast<FontCodeSlot*>(VOX_CALLOC(FONT_CODE_SLOTS * sizeof(FontCodeSlot)));
    if (!f->glyphs || !f->codes) {
      DestroyFont(handle);
      handle = -1;
    }
  }
  if (handle < 0) {
    WriteLogText("フォント管理用メモリ領域の確保に失敗しました\n");
    return -1;
  }
  if (check < 0) g_fonts_state.counter = (g_fonts_state.counter + 1) % HANDLE_CHECK_COUNT;
  f->check = (uint32_t)check_number;
  if (GetScreenBitDepth() == 8) type &= ~(int)FONT_TYPE_ANTIALIAS;
  f->size = size;
  f->thickness = thickness;
  f->type = (uint32_t)type;
  f->edge_size = edge_size;
  f->italic = italic;
  f->char_gap = 0;
  f->texture_cache = g_texture_cache_override >= 0 ? g_texture_cache_override : IsHardwareRendererInUse();
  const bool edged = (f->type & FONT_TYPE_EDGE) != 0;
  const bool antialias = (f->type & FONT_TYPE_ANTIALIAS) != 0;

  if (face && *face) {
    CopyStringBounded(f->face, face, sizeof f->face);
    f->system_font = MakeSystemFont(f->face, size, thickness, italic, SystemCharset(charset));
    if (!f->system_font) f->system_font = MakeSystemFont(f->face, size, thickness, italic, DEFAULT_CHARSET);
    if (!f->system_font) f->system_font = MakeSystemFont(f->face, size, thickness, italic, SHIFTJIS_CHARSET);
    if (!f->system_font) return CreateFailure(handle, "指定のフォントの作成に失敗しました\n");
  } else {
    f->system_font = MakeSystemFont("ＭＳ ゴシック", size, thickness, italic, SystemCharset(charset));
    if (!f->system_font) f->system_font = MakeSystemFont("ＭＳ ゴシック", size, thickness, 0, DEFAULT_CHARSET);
    if (!f->system_font) f->system_font = MakeSystemFont(nullptr, size, thickness, 0, DEFAULT_CHARSET);
    if (!f->system_font) return CreateFailure(handle, "フォントの作成に失敗しました\n");
  }

  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return CreateFailure(handle, "ＤＣの取得に失敗しました\n");
  HGDIOBJ old = SelectObject(dc, f->system_font);
  TEXTMETRICA tm{};
  BOOL have_metrics = GetTextMetricsA(dc, &tm);
  SelectObject(dc, old);
  DeleteDC(dc);
  if (!have_metrics) return CreateFailure(handle, "ＤＣの取得に失敗しました\n");
  int pad = edged ? edge_size * 2 : 0;
  f->cell_side = RoundUp8(tm.tmMaxCharWidth + 2 + pad);
  f->line_height = tm.tmHeight + pad;
  if (f->line_height & 1) f->line_height++;
  if (f->line_height > f->cell_side) f->cell_side = f->line_height;
  if (f->cell_side < 8) f->cell_side = 8;

  if (f->texture_cache) {
    int w = 512, h = 512;
    while ((w / f->cell_side) * (h / f->cell_side) < 10) {
      if (w <= h) w *= 2;
      else h *= 2;
    }
    f->sheet_width = w;
    f->sheet_height = h;
    f->cell_count = (w / f->cell_side) * (h / f->cell_side);
    if (f->cell_count > FONT_MAX_CELLS) f->cell_count = FONT_MAX_CELLS;
    f->cells_per_column = h / f->cell_side;
    f->graph_lost = 1;
    if (RestoreFontCacheGraph(handle) < 0) {
      WriteLogText("テクスチャ文字キャッシュの作成に失敗しました\n");
      f->texture_cache = 0;
    } else {
      const PIXELFORMAT* format = ChooseTexturePixelFormat(antialias ? 1 : 0, antialias ? 0 : 1, 0, 0);
      BASEIMAGE& image = f->cache_image;
      if (format) image.format = *format;
      image.width = f->sheet_width * (edged ? 2 : 1);
      image.height = f->sheet_height;
      image.pitch = image.width * image.format.bytes_per_pixel;
      image.pixels = format ? static_cast<uint8_t*>(VOX_CALLOC((uint32_t)image.pitch * (uint32_t)image.height))
                            : nullptr;
      if (!image.pixels) return CreateFailure(handle, "文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
    }
  }
  if (!f->texture_cache) {
    f->soft_depth = f->type == 0 ? 1 : 8;
    int cells = 327680 / (f->cell_side * f->cell_side);
    if (cells < 20) cells = 20;
    if (cells > FONT_MAX_CELLS) cells = FONT_MAX_CELLS;
    f->cell_count = cells;
    f->sheet_width = f->cell_side;
    f->sheet_height = cells * f->cell_side;
    f->cells_per_column = cells;
    f->soft_pitch = (f->soft_depth * f->cell_side + 7) / 8;
    f->soft_buffer = static_cast<uint8_t*>(VOX_CALLOC((uint32_t)f->soft_pitch * (uint32_t)f->sheet_height));
    if (!f->soft_buffer)
      return CreateFailure(handle, "フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle\n");
  }
  ClearFontCache(handle);
  f->charset = charset;
  f->deleted_flag = nullptr;
  return handle;
}

int RestoreFontCacheGraph(int handle) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  if (f->graph_lost != 1) return 0;
  f->graph_lost = 0;
  const bool edged = (f->type & FONT_TYPE_EDGE) != 0;
  const bool antialias = (f->type & FONT_TYPE_ANTIALIAS) != 0;
  // The part graph of the edges outlives a released cache graph.
  if (f->edge_graph >= 0 && IsGraphHandleValid(f->edge_graph)) ReleaseGraph(f->edge_graph);
  f->edge_graph = f->cache_graph = -1;
  int keep_alpha = GetGraphCreateAlphaChannel(), keep_test = GetGraphCreateAlphaTest();
  int keep_depth = GetGraphCreateBitDepth();
  SetGraphCreateAlphaChannel(antialias ? 1 : 0);
  SetGraphCreateAlphaTest(antialias ? 0 : 1);
  // A texture of 16 bits serves any screen; a software graph must be of the
  // screen's depth, or the blits that draw it draw nothing.
  SetGraphCreateBitDepth(IsHardwareRendererInUse() ? 16 : 0);
  int graph = CreateBlankGraph(f->sheet_width * (edged ? 2 : 1), f->sheet_height, 0);
  int edge = -1;
  if (graph >= 0 && edged) edge = CreatePartGraph(f->sheet_width, 0, f->sheet_width, f->sheet_height, graph);
  SetGraphCreateAlphaChannel(keep_alpha);
  SetGraphCreateAlphaTest(keep_test);
  SetGraphCreateBitDepth(keep_depth);
  if (graph < 0 || (edged && edge < 0)) {
    if (graph >= 0) ReleaseGraph(graph);
    return -1;
  }
  f->cache_graph = graph;
  f->edge_graph = edge;
  WatchGraphRelease(graph, &f->graph_lost);
  FillGraphSolid(graph, 255, 255, 255, 0);
  ClearFontCache(handle);
  return 0;
}

int FreeFontHandle(int handle) {
  if (!GetFontRecord(handle)) return -1;
  DestroyFont(handle);
  return 0;
}

int SetFontCharGap(int gap, int handle) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  f->char_gap = gap;
  return 0;
}

int BindFontDeletedFlag(int handle, int* flag) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  f->deleted_flag = flag;
  if (flag) *flag = 0;
  return 0;
}

int QueryFontByHandle(char* face, int* size, int* thickness, int handle) {
  FONTRECORD* f = GetFontRecord(handle);
  if (!f) return -1;
  if (face) CopyStringBounded(face, f->face, FONT_FACE_BYTES);
  if (size) *size = f->size;
  if (thickness) *thickness = f->thickness;
  return 0;
}

int ReadFontSize(int handle) {
  FONTRECORD* f = GetFontRecord(handle);
  return f ? f->size : -1;
}

int IsFontHandleLive(int handle) { return GetFontRecord(handle) ? 1 : 0; }

int FetchDefaultFont() { return g_fonts_state.default_handle; }

int SetDefaultFontSizeAndThickness(const char*, int size, int thickness) {
  g_fonts_state.defaults.size = size == -1 ? 16 : size;
  g_fonts_state.defaults.thickness = thickness == -1 ? 6 : thickness;
  RefreshDefaultFont();
  return 0;
}

int QueryDefaultFontSettings(char* face, int face_size, int* size, int* thickness) {
  char stored[FONT_FACE_BYTES];
  if (QueryFontByHandle(stored, size, thickness, g_fonts_state.default_handle) < 0) return -1;
  if (face && face_size > 0) CopyStringBounded(face, stored, (size_t)face_size);
  return 0;
}

int RefreshDefaultFont() {
  const FontDefaults& d = g_fonts_state.defaults;
  FONTRECORD* f = GetFontRecord(g_fonts_state.default_handle);
  if (f && std::strcmp(f->face, d.face) == 0 && f->type == d.type && f->size == d.size &&
      f->thickness == d.thickness && f->charset == d.charset && f->edge_size == d.edge_size && f->italic == d.italic)
    return 0;
  if (f) FreeFontHandle(g_fonts_state.default_handle);
  g_fonts_state.default_handle = CreateFontToHandle(d.face, d.size, d.thickness, (int)d.type, d.charset,
                                                    (d.type & FONT_TYPE_EDGE) ? d.edge_size : -1, d.italic);
  SetFontCharGap(d.gap, g_fonts_state.default_handle);
  return 0;
}

namespace {
void DestroyAllFonts() {
  HandleTable<FONTRECORD>& table = Table();
  for (int slot = 0; slot < FONT_HANDLE_SLOTS; ++slot) {
    int h = table.HandleAt(slot);
    if (h >= 0) DestroyFont(h);
  }
}
}  // namespace

int ResetFontHandles() {
  WriteLogText("フォントの初期化を行います\n");
  IndentLog();
  FONTRECORD* d = GetFontRecord(g_fonts_state.default_handle);
  bool kept = d != nullptr;
  char face[FONT_FACE_BYTES] = "";
  int size = 16, thickness = 6, type = -1, charset = -1, edge = -1, italic = 0;
  if (kept) {
    std::memcpy(face, d->face, sizeof face);
    size = d->size;
    thickness = d->thickness;
    type = (int)d->type;
    charset = d->charset;
    edge = d->edge_size;
    italic = d->italic;
  }
  DestroyAllFonts();
  g_fonts_state.default_handle = CreateFontToHandle(face, size, thickness, type, charset, edge, italic);
  UnindentLog();
  WriteLogText("フォントの初期化は正常に終了しました\n");
  return 0;
}

int RecreateAllFonts() {
  HandleTable<FONTRECORD>& table = Table();
  for (int slot = 0; slot < FONT_HANDLE_SLOTS; ++slot) {
    int h = table.HandleAt(slot);
    FONTRECORD* f = GetFontRecord(h);
    if (!f) continue;
    char face[FONT_FACE_BYTES];
    std::memcpy(face, f->face, sizeof face);
    int size = f->size, thickness = f->thickness, type = (int)f->type, charset = f->charset;
    int edge = f->edge_size, italic = f->italic, check = (int)f->check, gap = f->char_gap;
    DestroyFont(h);
    int again = CreateFontToHandle(face, size, thickness, type, charset, edge, italic, slot, check);
    SetFontCharGap(gap, again);
  }
  return 0;
}

int StartFontSystem() {
  DestroyAllFonts();
  g_fonts_state = FontSystem{};
  g_fonts_state.default_handle = -1;
  SetStartDefaults(&g_fonts_state.defaults);
  ResetFontHandles();
  return 0;
}

// Every font goes, the default one included. Nothing is created on the way
// out: a reset would make a default font only to delete it, and at the
// program's end the system fonts may already be unable to make one.
int EndFontSystem() {
  WriteLogText("フォントの初期化を行います\n");
  DestroyAllFonts();
  g_fonts_state.default_handle = -1;
  WriteLogText("フォントの初期化は正常に終了しました\n");
  return 0;
}
