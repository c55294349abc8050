// Engine graphics: graphs (the engine's image handles), the draw state and
// the drawing functions the game calls every frame, the screen (mode, start
// and end, present), graph loading, masks, matrices, camera and lights, and
// the texture colour formats. All handles are int; results are 0 for success
// and -1 for failure unless stated. Main thread only.
#pragma once

#include <cstdint>

#include "engine/image/base_image.h"

struct MEMIMG;
struct DDPIXELFORMAT;
class IDirectDraw7;
class IDirect3DDevice9;
class IDirect3DSurface9;

// Draw-screen codes: never handles.
constexpr int DRAW_SCREEN_BACK = -2;
constexpr int DRAW_SCREEN_FRONT = -4;
constexpr int DRAW_SCREEN_BACK_ALT = -3;
constexpr int DRAW_SCREEN_BACK_SUB = -5;
constexpr int GRAPH_TABLE_SLOTS = 32768;

// ---- graphs ----------------------------------------------------------------------
int AllocateGraphHandle();  // never fails: a full table or no memory ends the process
int IsGraphHandleValid(int graph);
int CreateBlankGraph(int width, int height, int ignored);
int CreateGraphForImage(const BASEIMAGE* image, const BASEIMAGE* alpha_image, int ignored);
int CreatePartGraph(int x, int y, int width, int height, int source);
int ReleaseGraph(int graph, int ignored = 0);
int ReleaseAllGraphs(int ignored = 0);
int WatchGraphRelease(int graph, int* flag);
int QueryGraphSize(int graph_or_screen, int* width, int* height);
int StoreGraphFileName(int graph, const char* path, int share_from);
int GetDrawScreenGraph(int x1, int y1, int x2, int y2, int graph);
int GraphLiveCount();
int GraphHighWater();
// The graph's software image (a view of its shared pixels), or null.
MEMIMG* GetGraphMemImage(int graph);
const char* GetGraphReloadName(int graph);  // null when none

// ---- loading -----------------------------------------------------------------------
int LoadGraphFromFile(const char* path, int flag = 0);
int LoadGraphCore(const char* path, int creation_flag, int mirror, int movie_option);
int LoadGraphFromMemory(const void* image, int size, const void* alpha_image, int alpha_size, int creation_flag,
                        int mirror);
int CreateGraphFromImage(BASEIMAGE* image, BASEIMAGE* alpha_image, int creation_flag, int mirror,
                         int second_mirror);
int ReloadGraphFromMemory(const void* image, int size, int graph, const void* alpha_image, int alpha_size,
                          int ignored, int mirror);
int ReloadGraphFromImage(BASEIMAGE* image, BASEIMAGE* alpha_image, int graph, int ignored, int mirror,
                         int second_mirror);
// rect: x1, y1, x2, y2 of the image, or null for the whole image.
int TransferImageToGraph(const char* reload_path, BASEIMAGE* image, BASEIMAGE* alpha_image, const int32_t* rect,
                         int dst_x, int dst_y, int graph, uint32_t load_option);
int TransferImageToGraphAt(const char* reload_path, BASEIMAGE* image, BASEIMAGE* alpha_image, int x, int y,
                           int graph, uint32_t load_option);
// Default restore handler: refills every graph from the file it came from.
int RestoreAllGraphs();

// ---- drawing -----------------------------------------------------------------------
int WipeDrawScreen();
int PaintGraph(int x, int y, int graph, int transparent);
int PaintGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent);
int PaintGraphMirrored(int x, int y, int graph, int transparent);
int PaintGraphPart(int x, int y, int src_x, int src_y, int width, int height, int graph, int transparent,
                   int mirror = 0);
int PaintGraphPartStretched(int x1, int y1, int x2, int y2, int src_x, int src_y, int width, int height, int graph,
                            int transparent);
// Corners clockwise: top-left, top-right, bottom-right, bottom-left.
int PaintGraphQuad(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                   int transparent);
int FillGraphSolid(int graph, int r, int g, int b, int a);
int PaintLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness = 1);
int PaintRectangle(int x1, int y1, int x2, int y2, uint32_t colour, int fill);
int PaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour);
int PaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour);
// 20-byte screen-space vertex: x, y, u, v, then blue, green, red, alpha.
struct PaintVertex {
  float x, y, u, v;
  uint8_t b, g, r, a;
};
int PaintVertices(const PaintVertex* vertices, int count, int primitive_type, int graph, int transparent,
                  int map_uv);

// ---- draw state ----------------------------------------------------------------------
int SelectBlendMode(int mode, int param);
int GetBlendMode(int* mode, int* param);
int SetPaintBrightness(int r, int g, int b);
int GetPaintBrightness(int* r, int* g, int* b);
uint32_t GetVertexColour();
int SetCrossfadeGraph(int graph, int param, int range);
int SetPaintFilterMode(int mode);
int GetPaintFilterMode();
int SelectDrawScreen(int target);
int CurrentDrawScreen();
int SetPaintClipRect(int x1, int y1, int x2, int y2);
int GetPaintClipRect(int* rect4);
int GetPaintClipRectF(float* rect4);
int IsPaintClipEmpty();
uint32_t PackScreenColor(int r, int g, int b);
int UnpackScreenColor(uint32_t pixel, int* r, int* g, int* b);
// The packing rule of PackScreenColor for any colour format.
uint32_t PackColorForFormat(const PIXELFORMAT* format, int r, int g, int b);
int UnpackColorForFormat(const PIXELFORMAT* format, uint32_t pixel, int* r, int* g, int* b);
int SetGraphCreateBitDepth(int depth);
int GetGraphCreateBitDepth();
int SetGraphCreateAlphaChannel(int flag);
int GetGraphCreateAlphaChannel();
int SetGraphCreateAlphaTest(int flag);
int GetGraphCreateAlphaTest();
int SetGraphCreateDrawTarget(int flag);
int GetGraphCreateDrawTarget();
int SetGraphCreateDefaultPool(int flag);
// New graphs are crossfade graphs (one channel that weighs each pixel).
int SetGraphCreateBlendImage(int flag);
int GetGraphCreateBlendImage();
int GetGraphCreateDefaultPool();
typedef int (*GraphRestoreHandler)();
int SetGraphRestoreHandler(GraphRestoreHandler handler);
int HasGraphRestoreHandler();
int RunGraphRestoreHandler();

// One row of the blend table; null for a mode outside 0..13.
struct BlendTableRow {
  int32_t source_factor;
  int32_t dest_factor;
  int32_t variant;
  int32_t operation;
};
const BlendTableRow* BlendTableRowFor(int mode);

// A line of thickness 2 or more: a filled quadrangle around the segment.
int DrawThickLine(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);

// ---- software back end ------------------------------------------------------------------
struct TriangleVertex;
struct LineRecord;
struct PointRecord;
int SoftPaintGraph(int x, int y, int graph, int transparent);
int SoftPaintGraphStretched(int x1, int y1, int x2, int y2, int graph, int transparent);
int SoftPaintGraphRotated(float cx, float cy, double first, double second, int graph, int transparent,
                          int triangle_flag);
// Corners: top-left, top-right, bottom-left, bottom-right.
int SoftPaintGraphQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, int graph, int transparent);
int SoftPaintGraphQuadF(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                        int transparent);
// Textured from the graph, or flat in the colour when graph is -1.
int SoftPaintTriangle(const TriangleVertex* vertices, int graph, int transparent, uint32_t colour);
int SoftPaintFilledBox(int x1, int y1, int x2, int y2, uint32_t colour);
int SoftPaintLine(int x1, int y1, int x2, int y2, uint32_t colour);
int SoftPaintBoxOutline(int x1, int y1, int x2, int y2, uint32_t colour);
int SoftPaintTriangleFlat(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill);
int SoftPaintQuadFlat(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, uint32_t colour, int fill);
int SoftPaintCircle(int x, int y, int radius, uint32_t colour, int fill);
int SoftPaintOval(int x, int y, int rx, int ry, uint32_t colour, int fill);
int SoftPlotPixel(int x, int y, uint32_t colour);
int SoftPlotPixelList(const PointRecord* points, int count);
int SoftStrokeLineList(const LineRecord* lines, int count);
int SoftPaintGraphMap(int x, int y, int columns, int rows, const uint32_t* map, int map_pitch, int ignored,
                      const int* graphs, int transparent);
int SoftPaintGraphTiledRotated(int x1, int y1, int x2, int y2, int scroll_x, int scroll_y, double zoom, double angle,
                               int graph, int transparent);

// ---- screen ----------------------------------------------------------------------------
int RequestScreenMode(int width, int height, int depth, int refresh);
int ApplyScreenMode(int width, int height, int depth, int force, int refresh);
int StartGraphics();
int EndGraphics();
int IsGraphicsStarted();
int PresentScreen();
int PresentScreenKeepFront(int ignored = 0);
int SetUseHardwareRenderer(int flag);
int SetUseHardwareRendererEarly(int flag);
int GetUseHardwareRenderer();
int IsHardwareRendererInUse();  // the engine's hardware flag: 1 while Direct3D draws
// The 3-D model runtime: started with a device (again: nothing), ended with
// the graphics or here, before them.
int StartModelRuntime();
int EndModelRuntime();
int GetScreenModeInfo(int* width, int* height, int* depth);
int GetScreenSizeOrDefault(int* width, int* height);
int GetScreenBitDepth();
int IsFullScreenMode();
int SetVerticalSyncWait(int flag);
int GetVerticalSyncWait();
int SetHalfScreenDoubling(int flag);
int GetHalfScreenDoubling();
int GetDisplayModeCount();
struct DisplayModeEntry {
  int32_t width, height, depth, refresh;
};
DisplayModeEntry GetDisplayModeEntry(int index);
const PIXELFORMAT* GetScreenPixelFormat();
IDirectDraw7* GetDirectDrawObject();
// The Direct3D device while the hardware renderer is in use, else null.
IDirect3DDevice9* GetGraphicsDevice();
// Copies the used area of a hardware graph's first texture from a device
// surface (a movie frame the device converts); -1 on the software path.
int UpdateGraphFromSurface(int graph, IDirect3DSurface9* surface);
int SetDeviceDialogMode(int flag);
int EndSceneSetDialogMode(int flag);
int RestoreGraphicsDevice();
int64_t ReadGraphicsTick64();
void* ZeroBlitRecord(void* record);
MEMIMG* GetScreenMemImage();  // the software screen image, or null
// Minimum milliseconds between two vertical-blank waits (-1: none).
int SetVerticalBlankMinInterval(int milliseconds);
int WaitVerticalBlank();
void FrontBufferTimerProc();
int GetDialogModeStub();
int QueryForceSoftwareStub();
int RefreshAfterInactiveStub();
int ApplyInitOptionStub(int option);
void* GetOverlayTargetStub();
int QueryDirectDrawModeStub();
int QueryOverlaySupportStub();

// ---- device set-up ---------------------------------------------------------------------
int SetupGraphicsDevice();
int TerminateGraphicsDevice();
int CreateDirectDrawObject();
int CreateDirect3DObject();
int CreateDirect3DDevice();
int CreateZBuffer();

// ---- masks -----------------------------------------------------------------------------
int CreateMaskScreen(int flag);
int ReleaseMaskScreenObjects();
int ReleaseMaskScreen();
int RecreateMaskScreen();
int EnableMaskScreen(int flag);
int IsMaskScreenEnabled();
int IsMaskScreenActive();
int SetMaskReverse(int flag);
uint8_t* GetMaskBuffer();  // screen width x height bytes, or null
int ReleaseMask(int mask);
int ReleaseAllMasks();
int BeginMaskedPaint(int x1, int y1, int x2, int y2);
int EndMaskedPaint(int x1, int y1, int x2, int y2);

// ---- texture colour formats ----------------------------------------------------------------
struct TextureFormatRequest {
  uint8_t alpha_channel;
  uint8_t draw_target;
  uint8_t compressed_kind;  // 0 none, 1-5 DXT1-DXT5
  uint8_t alpha_test;
  uint8_t bit_depth;  // 16 or 32
};
constexpr int TEXTURE_FORMAT_COUNT = 14;
const PIXELFORMAT* TextureFormatRecord(int index);
int ChooseTextureFormatIndex(const TextureFormatRequest* request);
const PIXELFORMAT* ChooseTextureFormat(const TextureFormatRequest* request);
const PIXELFORMAT* ChooseTexturePixelFormat(int alpha, int alpha_test, int bits32, int draw_target);
int PixelFormatFromDDPixelFormat(const DDPIXELFORMAT* dd, PIXELFORMAT* out);
int FillRgbDDPixelFormat(DDPIXELFORMAT* out, int bits, uint32_t red, uint32_t green, uint32_t blue,
                         uint32_t alpha);
