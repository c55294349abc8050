// The Direct3D back end of engine graphics, the device driver: device
// set-up, the render-state cache, the shader pack, the blend pipeline, the
// vertex batch and scene guards, the drawing of graphs and primitives,
// textures, the mask screen on the device, and the 3-D model runtime. Every
// function of the back end lives in namespace device; the engine's public
// entries it defines (SetupGraphicsDevice and the rest of graphics.h's
// device functions) keep their names, and so do the engine's own names of
// the back end's members (the G_D3D_ primitives, DrawFilledBoxD3D,
// SetDeviceLight), which a reader of the drawing code looks for. Included
// only by engine/graphics/device/ (and the tests of the device). Main
// thread only.
#pragma once

#include <cstdint>

#include "engine/core/util.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/graphics/graphics_math.h"
#include "platform/d3d9/d3d9.h"

// The embedded archive image that holds "QvShaderPack.bin" (made at build time).
extern const uint8_t kShaderArchiveImage[];
extern const uint32_t kShaderArchiveImageSize;

namespace device {

struct DeviceObjects {
  HMODULE d3d9_module;
  IDirectDraw7* directdraw;
  IDirect3D9* direct3d;
  IDirect3DDevice9* device;  // null while no device exists
  IDirect3DSwapChain9* swap_chain;
  IDirect3DSurface9* back_buffer;
  IDirect3DSurface9* sub_back_buffer;
  IDirect3DSurface9* depth_buffer;
  uint32_t depth_width, depth_height;
  int32_t shader_capable;
  int32_t vertex_shader_20, pixel_shader_20;
  int32_t blend_op;  // the device subtracts in its blend unit
  uint32_t max_texture_size;
  uint32_t texture_caps;
  // Format slots.
  D3DFORMAT back_buffer_format, depth_format;
  D3DFORMAT texture16, texture32, alpha16, alpha32, alpha_test16, alpha_test32;
  D3DFORMAT dxt[5];
  D3DFORMAT render_target16, render_target32, alpha_render_target32;
  D3DFORMAT screen_render_target, screen_alpha_test;
  int32_t hardware;  // the engine's hardware flag
  int32_t depth_written;  // a draw wrote depth since the depth buffer was last cleared
};
extern DeviceObjects g_device;

// Whether the device driver holds an image data's pixels.
inline bool IsDeviceImage(const GraphImageData* data) { return data && data->driver == DeviceDriver(); }

// ---- device (device.cpp, device_driver.cpp) ------------------------------------------------------
// The device format of a row of the texture-format table; 0 = none.
D3DFORMAT TextureFormatSlot(int format_index);
// The screen's render-target format: the 32-bit slot on a 32-bit screen, else the 16-bit one.
D3DFORMAT ScreenRenderTargetFormat();
// The texture format of the mask image: 8 bits of alpha where the device
// has them, else the 32-bit alpha slot; 0 when there is none.
D3DFORMAT MaskAlphaFormat();
// The smallest power of two not below n (1 for n <= 1): texture and depth
// buffer sizes.
inline int PowerOfTwoAtLeast(int n) {
  int p = 1;
  while (p < n) p <<= 1;
  return p;
}
// The surface that drawing to a draw screen reaches: a draw-target graph's
// first texture, else the sub back buffer or the back buffer.
IDirect3DSurface9* DrawScreenSurface(int draw_screen);

// ---- render-state cache (render_state.cpp) --------------------------------------------------
struct StageRecord {
  IDirect3DTexture9* texture;
  int32_t texcoord;
  uint16_t words[6];  // alpha arg 1, alpha arg 2, alpha op, colour arg 1, colour arg 2, colour op
};

// Word indexes into StageRecord::words and BlendStateDesc stages.
enum : int { SW_ALPHA_ARG1, SW_ALPHA_ARG2, SW_ALPHA_OP, SW_COLOUR_ARG1, SW_COLOUR_ARG2, SW_COLOUR_OP };
constexpr uint16_t SW_LEAVE = 0xFFFF;

// A stage description for the blend pipeline; -1 (SW_LEAVE for words)
// leaves a value as it is.
struct BlendStateDesc {
  int32_t alpha_test_enable;
  int32_t alpha_ref;
  int32_t alpha_func;
  int32_t alpha_blend_enable;
  uint32_t texture_factor;
  int32_t src_blend, dest_blend, blend_op;
  int32_t stage_count;
  struct Stage {
    uintptr_t texture;  // a graph handle or an IDirect3DTexture9*, as the caller says
    int32_t texcoord;
    uint16_t words[6];
  } stages[8];
};

struct DeviceStateCache {
  int32_t force;
  int32_t stages_in_use;
  int32_t filter_mode;
  uint32_t mag_filter[8], min_filter[8], mip_filter[8];
  uint32_t max_anisotropy, stage_anisotropy[8];
  uint32_t address_u[8], address_v[8];
  int32_t texture_transform[8];
  D3DMATRIX texture_matrix[8];
  // blend-pipeline inputs
  int32_t blend_mode, alpha_channel, colour_key;
  int32_t brightness_in_use, parameter_in_use;
  int32_t blend_dirty, texture_changed;
  IDirect3DTexture9* graph_texture;
  IDirect3DTexture9* blend_texture;
  // applier render states and stage records
  int32_t alpha_test_enable, alpha_ref, alpha_func, alpha_blend_enable;
  uint32_t texture_factor;
  int32_t src_blend, dest_blend, blend_op;
  StageRecord stages[8];
  // depth, shading, lighting, fog
  int32_t z_enable, z_write;
  uint32_t z_func, depth_bias;
  int32_t cull;
  uint32_t shade_mode;
  int32_t specular_enable;
  int32_t diffuse_source, specular_source;
  uint32_t ambient;
  float ambient_f[4];  // a, r, g, b
  D3DMATERIAL9 material;
  int32_t lighting;
  int32_t fog_enable;
  uint32_t fog_mode, fog_colour;
  float fog_start, fog_end, fog_density;
  D3DLIGHT9 lights[256];
  int32_t light_enabled[256];
  int32_t highest_light;
  D3DVIEWPORT9 viewport;
  RECT scissor;
  int32_t scissor_test;
  IDirect3DSurface9* render_target;
  uint32_t last_fvf;
  // draw-state inputs of the texture set-up
  int32_t full_reselect;  // no texture -> texture or back: the whole stage set is chosen again
  int32_t texture_transform_pending;
};
extern DeviceStateCache g_rs;
// Drawing reaches the device: a draw with depth writes marks the depth
// buffer for the next wipe (2-D drawing never writes depth).
inline void NoteDepthWrites() {
  if (g_rs.z_enable && g_rs.z_write) g_device.depth_written = 1;
}
// The vertex format of the next draw, sent only when it changes.
inline void UseVertexFormat(IDirect3DDevice9* device, uint32_t fvf) {
  if (g_rs.last_fvf != fvf) {
    device->SetFVF(fvf);
    g_rs.last_fvf = fvf;
  }
}

int SetFilterMode(int mode);
int SetMaxAnisotropy(int n);
int SetBlendState(int mode, int colour_key, int alpha_channel);
int SetBrightnessInUse(int flag);
int SetParameterInUse(int flag);
int SetZEnable(int flag);
int SetZWrite(int flag);
int SetZCompare(uint32_t func);
int SetDepthBias(uint32_t bits);
int SetCullMode(int flag);
int SetShadeMode(uint32_t mode);
int SetSpecularEnable(int flag);
int SetDiffuseMaterialSource(int flag);
int SetSpecularMaterialSource(int flag);
int SetNormalizeNormals(int flag);
int SetAmbientColor(uint32_t argb);
int SetLighting(int flag);
int SetFogEnableState(int flag);
int SetFogModeState(uint32_t mode);
int SetFogColorState(uint32_t argb);
int SetFogRangeState(float start, float end);
int SetFogDensityState(float density);
int SetTextureAddress(uint32_t mode, int stage);
int SetTextureAddressU(uint32_t mode, int stage);
int SetTextureAddressV(uint32_t mode, int stage);
int SetTextureTransform(int flag, const D3DMATRIX* matrix, int stage);
int SetMaterialCached(const D3DMATERIAL9* material);
int SetLightCached(int index, const D3DLIGHT9* light);
int EnableLight(int index, int flag);
int SetWorldTransform(const D3DMATRIX* m);
int SetViewTransform(const D3DMATRIX* m);
int SetProjectionTransform(const D3DMATRIX* m);
int SetViewportCached(const D3DVIEWPORT9* viewport);
int SetScissorCached(const RECT* rect);
int SetScissorTest(int flag);
int InitDeviceState();
int ReapplyRenderStates();
int ReapplyFixedStates();
int ApplyDefaultRenderStates();
// Textured 28-byte vertices (FVF 0x144), columns x rows, as index strips.
int DrawVertexGrid(const void* vertices, int columns, int rows);
// Sets the texture of a stage and caches it (-1: compare skipped).
int SetStageTexture(int stage, IDirect3DTexture9* texture);

// ---- shader pack (shader_pack.cpp) ------------------------------------------------------------
constexpr int SHADER_VERTEX_SLOTS = 49152;
constexpr int SHADER_PIXEL_SLOTS = 3456;
constexpr uint32_t SHADER_PACK_TABLES = (SHADER_VERTEX_SLOTS + SHADER_PIXEL_SLOTS) * 2;  // 105216
constexpr int SHADER_DEFAULT_VERTEX = 32774;
constexpr int SHADER_DEFAULT_PIXEL = 2454;
int InitProgrammableShaders();
int LoadShaderPack();
int CreateVertexDeclarations();
int ReleaseVertexDeclarations();
int ReleaseShaderObjects();
// Frees the pack and the archive image (graphics end).
void UnloadShaderPack();
int ProgrammableShadersInUse();
// The pack's blob of a vertex (0) or pixel (1) shader slot, or null.
const uint8_t* ShaderBlob(int kind, int index, uint32_t* size);
// Walks the two size tables of a pack of `size` bytes into the blob
// tables; false when a blob would reach past the pack.
bool BuildShaderBlobTables(const uint8_t* pack, uint32_t size, const uint8_t** vertex, const uint8_t** pixel);
IDirect3DVertexDeclaration9* VertexDeclaration(int normal_set, int blend_set, int texcoords);
// The shader constants the state setters keep while the programmable
// shaders are in use.
void UpdateShaderTextureFactor(uint32_t argb);
void UpdateShaderDefaults();
void UpdateShaderProjection(const D3DMATRIX* m);
void UpdateShaderView(const D3DMATRIX* m);
void UpdateShaderFog();
void UpdateShaderMaterial();
void UpdateShaderLight(int index);
void UpdateShaderLightEnable(int index);
void UpdateShaderAmbientProducts();
// ---- blend pipeline (blend_pipeline.cpp) -----------------------------------------------------
// desc null: the current blend state (or the installed override).
int ApplyBlendPipeline(const BlendStateDesc* desc, int colour_words_off, int stages_are_graphs);
// The preset stages of one (variant, blend graph, brightness, parameter, kind) entry.
int PresetStages(int variant, int blend_graph, int brightness, int parameter, int kind, BlendStateDesc* out);

// ---- vertex batch (vertex_batch.cpp) ------------------------------------------------------------
struct BatchState {
  uint8_t* buffers[3];
  int32_t count;
  int32_t format;
  int32_t type;
  uint8_t* write;
  int32_t scene_open;
  int32_t skip;
};
extern BatchState g_batch;
constexpr uint32_t kBatchFvf[3] = {0x44, 0x144, 0x2C4};
constexpr int kBatchStride[3] = {20, 28, 40};
constexpr int kBatchCapacity[3] = {3225, 2340, 1638};
int FlushVertexBatch();
void BeginSceneOnce();
void EndSceneIfOpen();
int SetRenderTargetSurface(IDirect3DSurface9* surface);
int SetViewportToRect(int x1, int y1, int x2, int y2);
int CreateSubBackBuffer();
int CopyBackToSubBackBuffer();
const PIXELFORMAT* PixelFormatOfD3DFormat(D3DFORMAT format);
int SetDrawStateOverride(const BlendStateDesc* desc, int colour_words_off);
const BlendStateDesc* DrawStateOverride(int* colour_words_off);
VECTOR* TransformVector3x3(VECTOR* out, const VECTOR* v, const MATRIX* m);
VECTOR* TransformPoint4x3(VECTOR* out, const VECTOR* v, const MATRIX* m);
// Reserves n vertices of type `type` in the current format (drawing what is
// pending first when the type changes or the batch is full); returns where
// to write them.
uint8_t* AppendVertices(int n, int type);
// Empties the batch and presets z, rhw and the specular words.
void ResetVertexBatch();
// Selects vertex format 0, 1 or 2 (the pending vertices are drawn first).
void SetBatchFormat(int format);

// ---- Direct3D drawing of graphs (draw_graph.cpp) -------------------------------------------------
enum : uint32_t {
  DRAW_TRANSPARENT = 1u << 0,
  DRAW_STRETCH_OPTION = 1u << 1,
  DRAW_GOURAUD = 1u << 3,
  DRAW_FORCE_BRIGHTNESS = 1u << 5,
  DRAW_FORCE_PARAMETER = 1u << 6,
  DRAW_FOG = 1u << 7,
  DRAW_KEEP_BLEND = 1u << 8,
  DRAW_LIGHTING = 1u << 9,
  DRAW_SPECULAR = 1u << 10,
  DRAW_DEPTH_3D = 1u << 11,
  DRAW_STAGE_ADDRESSING = 1u << 12,
};
int PrepareTextureDrawState(const GraphImageData* image, IDirect3DTexture9* texture, uint32_t flags);
int DrawGraphQuadsAt(int x, int y, float fx, float fy, GraphRecord* graph, int transparent, int option);
int DrawGraphQuadsStretched(int x1, int y1, int x2, int y2, float fx1, float fy1, float fx2, float fy2,
                            GraphRecord* graph, int transparent, int option);
// Corners: top-left, top-right, bottom-left, bottom-right.
int DrawGraphQuadsFree(const float* corners, GraphRecord* graph, int transparent);
int DrawFilledBoxD3D(int x1, int y1, int x2, int y2, uint32_t colour);
// The masked draw's way back: the rectangle of the mask screen texture
// onto the current target where the mask image texture's alpha lets it
// through (its complement when reverse). Both textures cover the screen
// from their top-left texel, width x height texels in all.
int DrawMaskComposite(const int32_t* rect, IDirect3DTexture9* screen, IDirect3DTexture9* mask, int width, int height,
                      int reverse);
int InvertAreaBeforeSubtract(const int32_t* rect);
int InvertAreaAfterSubtract(const int32_t* rect);
// Whether a draw must run the three-pass subtract: mode 3 on a device
// without blend operations.
bool NeedsSubtractPasses();

// ---- textures (texture.cpp) --------------------------------------------------------------------
// The texture of a device graph's first piece, the one the graph is bound
// by as a whole (a crossfade graph, a vertex list's graph, a draw screen);
// null for a graph without one.
inline ImageTexture* FirstPieceTexture(const GraphRecord* r) {
  if (!r || !IsDeviceImage(r->image) || r->piece_count <= 0 || !r->pieces || !r->image->textures)
    return nullptr;
  return &r->image->textures[r->pieces[0].texture];
}
int ChooseTextureSize(int size, int* sizes, int single);
// Device image data: textures for the image, flags and format from the
// draw state's creation settings.
int CreateImageData(GraphImageData* data, int width, int height, int alpha_channel, int mip_levels,
                            int compressed_kind);
int CreateGraphTextures(GraphImageData* image);
void ReleaseGraphTextures(GraphImageData* image);
// Nothing may draw with a texture that is going: the batch is drawn and the
// texture taken off every stage and out of the cache (a new texture may be
// made at the same address, and the cache would take it for bound).
void UnbindTexture(IDirect3DTexture9* texture);
void ReleaseGraphDepthSurfaces(GraphImageData* image);
int BuildTextureDrawInfo(int graph);
int ReleaseAllGraphTextures();
int RecreateAllGraphTextures();
// Transfers the rectangle `src` of a base image (left, top, right, bottom,
// already cut to the image and the destination) into a device image's
// textures, its corner at (x, y) of the whole image.
int TransferBaseImageToTexture(BASEIMAGE* image, BASEIMAGE* alpha, GraphImageData* data, const int32_t* src, int x,
                               int y);
// A device image data rebuilt as a software memory image (after a
// restore that left the software renderer in use).
int ConvertImageToSoftware(GraphImageData* image);
// The reverse after a restore made a device where the software renderer
// drew: the image's pixels go into new textures and every graph on it takes
// its pieces. -1 when the textures could not be made or filled.
int ConvertImageToDevice(GraphImageData* image);
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph);
// The thick line on the device: a quadrangle around the segment.
int DrawThickLineQuad(int x1, int y1, int x2, int y2, uint32_t colour, int thickness);
// FillVertexElement of the shader set-up.
void FillVertexElement(D3DVERTEXELEMENT9* out, int stream, int offset, int type, int method, int usage, int index);

// ---- primitives (primitive.cpp) -----------------------------------------------------------------
struct PixelListEntry {
  int32_t x, y;
  uint32_t colour;
  int32_t alpha;
};
struct LineListEntry {
  int32_t x1, y1, x2, y2;
  uint32_t colour;
  int32_t alpha;
};
int G_D3D_DrawBoxFrame(int x1, int y1, int x2, int y2, uint32_t colour);
int G_D3D_DrawLine(int x1, int y1, int x2, int y2, uint32_t colour);
int G_D3D_DrawPixel(int x, int y, uint32_t colour);
int G_D3D_DrawTriangle(int x1, int y1, int x2, int y2, int x3, int y3, uint32_t colour, int fill);
int G_D3D_DrawQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4, uint32_t colour, int fill);
int G_D3D_DrawCircle(int x, int y, int radius, uint32_t colour, int fill);
int G_D3D_DrawOval(int x, int y, int rx, int ry, uint32_t colour, int fill);
int G_D3D_DrawPixelList(const PixelListEntry* list, int count);
int G_D3D_DrawLineList(const LineListEntry* list, int count);
// Screen textured vertices (x, y, z, rhw, colour, u, v: 28 bytes).
int G_D3D_DrawVertexList2D(const void* vertices, int count, int type, int graph, int map_uv);
int G_D3D_DrawIndexedList2D(const void* vertices, int count, const uint16_t* indices, int index_count, int type,
                            int graph);
int G_D3D_DrawVertexList3D(const void* vertices, int count, int type, int graph);
int G_D3D_DrawIndexedList3D(const void* vertices, int count, const uint16_t* indices, int index_count, int type,
                            int graph);
int G_D3D_DrawLitVertexList(const void* vertices, int count, int type, int graph);
int G_D3D_DrawIndexedLitList(const void* vertices, int count, const uint16_t* indices, int index_count, int type,
                             int graph);
int G_D3D_DrawGraphMap(int x, int y, int columns, int rows, const int* map, int map_pitch, const int* graphs,
                       int transparent);
int G_D3D_FillRectTiled(int x1, int y1, int x2, int y2, int scroll_x, int scroll_y, double scale, double angle,
                        int graph, int transparent);
// Primitive count of n vertices of a type (0 for an unknown type).
int PrimitiveCount(int type, int n);
// Colour of a primitive vertex: the screen pixel colour multiplied into the packed vertex colour.
uint32_t PrimitiveVertexColour(uint32_t pixel);

// ---- the mask screen on the device (device_mask.cpp) ---------------------------------------------
void CreateMaskTextures(int width, int height);
void ReleaseMaskTextures();
void RetargetForMask();
void CopyIntoMaskScreen(const int32_t* rect);
void CopyBackThroughMask(const int32_t* rect);

// ---- 3-D model runtime (model.cpp) -----------------------------------------------------------
int StartModelSystem();
int EndModelSystem();
int DeleteModel(int handle);
int DeleteModelBase(int handle);
int ReleaseModelBaseBuffers(int handle);
int ReleaseAllModelBuffers();
int RestoreAllModelBuffers();
int ReloadModelTextures();
int IsModelSystemStarted();
// The default texture's graph: -1 until the graph-restore step loads it.
int ModelDefaultTexture();
float ModelSineTable(int index);
// The built-in default texture (an 84-byte run-length TGA image).
const uint8_t* ModelDefaultTextureImage(int* size);
// The device's part of lights, material and buffers (math.cpp's neutral
// state sent on).
int SetDeviceLight(int index, int enabled, const D3DLIGHT9* light);
void* CreateVertexBufferRaw(uint32_t length, uint32_t usage, uint32_t vertex_format, uint32_t pool);
void* CreateIndexBufferRaw(uint32_t length, uint32_t usage, uint32_t index_format, uint32_t pool);
// Blend factors and operation straight to the device; texture and blend
// state are sent again at the next draw.
int ApplyStageBlend(uint32_t source_blend, uint32_t dest_blend, uint32_t blend_op);

int BuildMaterialImages(BASEIMAGE* colour, BASEIMAGE* alpha, int height_flag, float bump_scale, BASEIMAGE* out_colour,
                        BASEIMAGE* out_alpha);

}  // namespace device
