// The objects behind the Direct3D 9 stand-in and what they share: formats
// and their GL counterparts, what the GL context offers, the resources and
// the device.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3d9/d3d9.h"
#include "platform/d3d9/d3d9_control.h"
#include "platform/d3d9/gl_api.h"
#include "platform/win32/com_object.h"

namespace vox_d3d9 {

// Live Direct3D-side objects, for leak checks.
extern std::atomic<int> g_live_objects;
extern D3D9DrawCounts g_draw_counts;
// Counts a call that sets a state to `value`; true when the value changed.
template <class T>
bool StoreState(T& slot, const T& value) {
  g_draw_counts.state_calls++;
  if (std::memcmp(&slot, &value, sizeof(T)) == 0) return false;
  std::memcpy(static_cast<void*>(&slot), &value, sizeof(T));
  g_draw_counts.state_changes++;
  return true;
}
inline void CountUpload(size_t bytes) {
  g_draw_counts.uploads++;
  g_draw_counts.upload_bytes += (long)bytes;
}
inline void CountReadBack(size_t bytes) {
  g_draw_counts.read_backs++;
  g_draw_counts.read_back_bytes += (long)bytes;
}
bool Fails(uint32_t failure);
// VOX_HARDWARE: 0 (no device), 1 (the device on any OpenGL), -1 (unset or another value).
int HardwareSetting();
// The test script, or null.
const D3D9CapabilityScript* Script();
bool ScriptRefuses(const D3DFORMAT* list, int count, D3DFORMAT format);

// ---- formats -------------------------------------------------------------------------
struct FormatInfo {
  D3DFORMAT format;
  GLenum internal_format;  // 0: no GL texture (CPU only, as YUV surfaces are)
  GLenum gl_format, gl_type;
  uint8_t bytes;        // per pixel; 0 for block-compressed formats
  uint8_t block_bytes;  // per 4 x 4 block of a compressed format
  bool alpha_one;       // no alpha channel: alpha reads as 1 and is never written
  bool alpha_only;      // A8: the one channel is alpha
  bool depth;
  bool yuv;             // two pixels share their chroma (YUY2, UYVY)
  bool planar;          // the Y rows, then V and U at half size each way (YV12)
};
const FormatInfo* FindFormat(D3DFORMAT format);
// Storage of a format as a render target. Targets of 8 bits a channel, and
// the 16-bit ones without alpha, are kept at 16: blending keeps the
// fractions a target of the format would round away, and every read of the
// target (present, read-back, sampling) cuts them off, as the engine's
// software renderer cuts its own. The two back ends then agree within one
// unit of the format per channel.
GLenum TargetInternalFormat(const FormatInfo* f);
bool IsWideTarget(const FormatInfo* f);
// The units a wide target counts its channels in, as 8-bit values: a
// channel of five bits holds multiples of 8 (0..248 for 0..31), of six
// bits multiples of 4, of eight bits every value. Every value written into
// such a target is in its units, so blending with them is exact; reads cut
// a value to the unit below it. `top` is the largest count (31, 63, 255).
// Textures and other targets count in ones up to 255.
struct ChannelUnits {
  float step[4];
  float top[4];
};
ChannelUnits UnitsOf(const FormatInfo* f, bool wide);
// An 8-bit value (0..255) as a multiple of the unit below it.
inline uint8_t InUnits(uint8_t value, float step) { return (uint8_t)(value - value % (int)step); }
// The 8-bit value of a wide target's 16-bit channel (the unit cut aside).
inline uint8_t CutWide(uint16_t value) { return (uint8_t)(value / 257u); }

class Surface;
// A render target's units (every render-target surface of a wide format is wide).
ChannelUnits TargetUnits(const Surface* target);
bool IsNarrow(const ChannelUnits& u);
// A clear colour as the target keeps it (in its units; alpha 1 without alpha).
void ClearColourOf(const Surface* target, D3DCOLOR colour, float* out);
// Bytes of one row (of blocks for compressed formats) and the row count.
uint32_t FormatPitch(const FormatInfo* f, UINT width);
uint32_t FormatRows(const FormatInfo* f, UINT height);
// Row y of a CPU surface of the format (its rows `pitch` bytes apart, `height`
// of them) as 8-bit B, G, R, A bytes (memory order), `count` pixels from the
// left; video formats are converted from studio-range YUV.
void DecodeRowToBGRA(const FormatInfo* f, const uint8_t* memory, uint32_t pitch, UINT height, UINT y, uint8_t* dst,
                     int count);
// A video format for off-screen plain surfaces only.
inline bool IsVideoFormat(const FormatInfo* f) { return f->yuv || f->planar; }

// ---- values the device's parts share ---------------------------------------------------------
// An A8R8G8B8 colour as R, G, B, A floats 0..1.
inline void ColourToFloats(DWORD argb, float* out) {
  out[0] = (float)((argb >> 16) & 255) / 255.0f;
  out[1] = (float)((argb >> 8) & 255) / 255.0f;
  out[2] = (float)(argb & 255) / 255.0f;
  out[3] = (float)(argb >> 24) / 255.0f;
}

// ---- GL calls shared by the objects --------------------------------------------------------
// The texture unit uploads and copies bind on: they never disturb the stages' units.
constexpr GLenum kScratchUnit = GL_TEXTURE0 + 15;
// Forgets the errors of earlier calls, so that the next check sees only its own.
inline void ClearGLErrors() {
  while (gl.GetError() != GL_NO_ERROR) {
  }
}

// ---- what the GL context offers --------------------------------------------------------
struct GLCaps {
  bool available = false;     // a context could be made
  int max_texture_size = 0;
  float max_anisotropy = 1.0f;
  bool s3tc = false;
  std::vector<D3DFORMAT> textures;        // usable as textures
  std::vector<D3DFORMAT> render_targets;  // usable as colour render targets
  std::string renderer;
};
// Probed once on a throwaway window; every later answer is the cached one.
const GLCaps& ProbeGLCaps();
// Fills the caps record for a device or adapter from the GL answers and the script.
void FillCaps(D3DCAPS9* caps);

class Device;
class Texture;

// Counts live objects; every object of the stand-in derives from it, beside
// the ComObject that counts its references.
struct Counted {
  Counted() { g_live_objects++; }
  ~Counted() { g_live_objects--; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
};

// ---- surfaces -----------------------------------------------------------------------
class Surface final : public ComObject<IDirect3DSurface9>, Counted {
 public:
  enum class Kind { kTextureLevel, kRenderTarget, kBackBuffer, kDepthStencil, kPlain };
  Surface(Device* device, Kind kind, const D3DSURFACE_DESC& desc, Texture* container, UINT level, bool lockable);
  ~Surface() override;

  // A texture's level and the back buffer count their references with their
  // owner's; the others with their own.
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT GetDevice(IDirect3DDevice9** device) override;
  HRESULT GetDesc(D3DSURFACE_DESC* desc) override;
  HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect() override;

  Kind kind() const { return kind_; }
  const D3DSURFACE_DESC& desc() const { return desc_; }
  const FormatInfo* format() const { return format_; }
  UINT level() const { return level_; }
  Device* device() const { return device_; }
  // The GL texture that holds the pixels (0 for depth and CPU surfaces).
  GLuint gl_texture() const;
  GLuint renderbuffer() const { return renderbuffer_; }
  void set_renderbuffer(GLuint rb) { renderbuffer_ = rb; }
  // A framebuffer with this surface as colour attachment (made on first use).
  GLuint Framebuffer();
  bool IsCpu() const { return kind_ == Kind::kPlain; }
  bool IsRenderable() const;
  // CPU pixels of plain surfaces and the lock copy of textures.
  uint8_t* memory() { return memory_.data(); }
  uint32_t pitch() const { return pitch_; }
  // Copies a rectangle of CPU rows (this surface's format and pitch) into the
  // GL texture level; the whole level when rect is null.
  void Upload(const RECT* rect);
  // A render target's or the back buffer's texture of its own, in the
  // target's storage, and its framebuffer. False when GL refuses either.
  bool CreateOwnTexture();
  // Names this surface for good (addresses are reused); the serial of the
  // depth surface attached to this surface's framebuffer (0: none).
  const uint64_t serial;
  uint64_t attached_depth = 0;
  void ReleaseGL();
  // Back buffer: its own texture (set by the device).
  GLuint own_texture = 0;
  // Depth surface: the value a clear left over an area, while nothing has
  // written depth since.
  struct ClearedDepth {
    bool known = false;
    float z = 0.0f;
    RECT area{};
  } cleared_depth;
  bool HoldsDepth(float z, const RECT& r) const {
    const RECT& a = cleared_depth.area;
    return cleared_depth.known && cleared_depth.z == z && r.left >= a.left && r.top >= a.top && r.right <= a.right &&
           r.bottom <= a.bottom;
  }
  bool locked = false;

 private:
  Device* device_;
  Kind kind_;
  D3DSURFACE_DESC desc_;
  const FormatInfo* format_;
  Texture* container_;
  UINT level_;
  bool lockable_;
  GLuint framebuffer_ = 0;
  GLuint renderbuffer_ = 0;
  std::vector<uint8_t> memory_;
  uint32_t pitch_ = 0;
  RECT lock_rect_{};
  DWORD lock_flags_ = 0;
};

// Whether a rectangle is a non-empty part of a surface of the size.
bool RectInside(const RECT& r, UINT width, UINT height);
// Rows top .. top + rows - 1 of a CPU copy (`height` rows of `pitch` bytes)
// as 8-bit BGRA rows of `width` pixels from the left, every channel in the
// given units.
std::vector<uint8_t> RowsInUnits(const FormatInfo* f, const uint8_t* memory, uint32_t pitch, UINT height, int top,
                                 int rows, int width, const ChannelUnits& u);

// CPU rows of the surface's format (`height` rows `pitch` bytes apart) into
// a rectangle of the surface's GL texture level (bound on the active unit)
// at `at`; a narrow wide target takes them in its units.
void PutRows(Surface* dest, const uint8_t* memory, uint32_t pitch, UINT height, const RECT& from, POINT at);

// ---- textures -----------------------------------------------------------------------
class Texture final : public ComObject<IDirect3DTexture9>, Counted {
 public:
  Texture(Device* device, UINT width, UINT height, UINT levels, DWORD usage, const FormatInfo* format, D3DPOOL pool);
  ~Texture() override;
  bool Create();  // the GL texture and one surface per level

  HRESULT GetDevice(IDirect3DDevice9** device) override;
  DWORD GetLevelCount() override { return (DWORD)surfaces_.size(); }
  HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) override;
  HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override;
  HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override;
  HRESULT UnlockRect(UINT level) override;

  GLuint gl_texture() const { return texture_; }
  const FormatInfo* format() const { return format_; }
  DWORD usage() const { return usage_; }
  Device* device() const { return device_; }
  Surface* level(UINT i) { return surfaces_[i].get(); }
  void ReleaseGL();

 private:
  Device* device_;
  UINT width_, height_, level_count_;
  DWORD usage_;
  const FormatInfo* format_;
  D3DPOOL pool_;
  GLuint texture_ = 0;
  std::vector<std::unique_ptr<Surface>> surfaces_;
};

// ---- buffers, shaders, declarations -----------------------------------------------------
template <class Interface>
class Resource : public ComObject<Interface>, Counted {
 public:
  explicit Resource(Device* device);
  ~Resource() override;
  HRESULT GetDevice(IDirect3DDevice9** device) override;

 protected:
  Device* device_;
};

template <class Interface>
class BufferResource final : public Resource<Interface> {
 public:
  BufferResource(Device* device, UINT length) : Resource<Interface>(device), bytes(length) {}
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT Unlock() override;
  std::vector<uint8_t> bytes;
  bool locked = false;
};

template <class Interface>
class CodeResource final : public Resource<Interface> {
 public:
  CodeResource(Device* device, std::vector<DWORD> tokens) : Resource<Interface>(device), code(std::move(tokens)) {}
  std::vector<DWORD> code;
};

class Declaration final : public Resource<IDirect3DVertexDeclaration9> {
 public:
  Declaration(Device* device, std::vector<D3DVERTEXELEMENT9> list)
      : Resource<IDirect3DVertexDeclaration9>(device), elements(std::move(list)) {}
  std::vector<D3DVERTEXELEMENT9> elements;
};

// ---- the fixed-function programs ----------------------------------------------------------
// Everything a generated program depends on.
struct ProgramKey {
  std::vector<uint32_t> words;
  bool operator==(const ProgramKey& o) const { return words == o.words; }
};
struct ProgramKeyHash {
  size_t operator()(const ProgramKey& k) const {
    size_t h = 1469598103934665603ull;
    for (uint32_t w : k.words) h = (h ^ w) * 1099511628211ull;
    return h;
  }
};
struct Program {
  GLuint program = 0;
  GLint u_target = -1, u_tfactor = -1, u_alpha_ref = -1, u_world_view = -1, u_projection = -1;
  GLint u_fog = -1, u_fog_colour = -1, u_ambient = -1;
  GLint u_material = -1, u_lights = -1, u_tex_matrix = -1, u_texel_bias = -1;
  GLint u_texel_step = -1, u_texel_top = -1, u_step = -1;
};
// Builds the GLSL of a program for the key's state; the device explains
// the words it puts into the key (d3d9_program.cpp).
struct ProgramSource {
  std::string vertex, fragment;
};

// ---- the device --------------------------------------------------------------------
class SwapChain final : public IDirect3DSwapChain9 {
 public:
  explicit SwapChain(Device* device) : device_(device) {}
  uint32_t AddRef() override;
  uint32_t Release() override;
  HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty, DWORD flags) override;
  HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;

 private:
  Device* device_;
};

class Direct3D;

class Device final : public ComObject<IDirect3DDevice9>, Counted {
 public:
  Device(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& parameters);
  ~Device() override;
  // The context, the back buffer and the defaults. False when GL fails.
  bool Create();

  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override;
  HRESULT SetTexture(DWORD stage, IDirect3DTexture9* texture) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT SetMaterial(const D3DMATERIAL9* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT9* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT SetViewport(const D3DVIEWPORT9* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT9* viewport) override;
  HRESULT SetScissorRect(const RECT* rect) override;
  HRESULT SetFVF(DWORD fvf) override;
  HRESULT SetVertexShader(IDirect3DVertexShader9* shader) override;
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) override;
  HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) override;
  HRESULT SetVertexShaderConstantF(UINT start, const float* values, UINT count) override;
  HRESULT SetVertexShaderConstantB(UINT start, const BOOL* values, UINT count) override;
  HRESULT SetPixelShaderConstantF(UINT start, const float* values, UINT count) override;
  HRESULT SetRenderTarget(DWORD index, IDirect3DSurface9* surface) override;
  HRESULT GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override;
  HRESULT SetDepthStencilSurface(IDirect3DSurface9* surface) override;
  HRESULT SetDialogBoxMode(BOOL on) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD stencil) override;
  HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) override;
  HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count, UINT primitive_count,
                                 const void* indices, D3DFORMAT index_format, const void* vertices,
                                 UINT stride) override;
  HRESULT Present(const RECT* source, const RECT* dest, HWND window, const void* dirty) override;
  HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                        IDirect3DTexture9** texture, HANDLE* shared) override;
  HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                             DWORD quality, BOOL lockable, IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DSurface9** surface, HANDLE* shared) override;
  HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE multisample,
                                    DWORD quality, BOOL discard, IDirect3DSurface9** surface,
                                    HANDLE* shared) override;
  HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, IDirect3DVertexBuffer9** buffer,
                             HANDLE* shared) override;
  HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                            IDirect3DIndexBuffer9** buffer, HANDLE* shared) override;
  HRESULT CreateVertexShader(const DWORD* code, IDirect3DVertexShader9** shader) override;
  HRESULT CreatePixelShader(const DWORD* code, IDirect3DPixelShader9** shader) override;
  HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements,
                                  IDirect3DVertexDeclaration9** declaration) override;
  HRESULT StretchRect(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                      const RECT* dest_rect, D3DTEXTUREFILTERTYPE filter) override;
  HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour) override;
  HRESULT UpdateSurface(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                        const POINT* dest_point) override;
  HRESULT GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* dest) override;
  HRESULT GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) override;
  HRESULT GetSwapChain(UINT index, IDirect3DSwapChain9** swap_chain) override;
  HRESULT GetDeviceCaps(D3DCAPS9* caps) override;

  // Makes the device's context current (every GL call goes after this).
  bool MakeCurrent();
  // A texture being released must not stay bound.
  void ForgetTexture(Texture* texture);
  void ForgetSurface(Surface* surface);
  // Reads a render target into CPU rows of its Direct3D format (a wide
  // target cut to 8 bits a channel).
  void ReadTarget(Surface* surface, uint8_t* rows, uint32_t pitch);
  // Reads the window's last shown picture (the window layer's reader).
  int ReadShown(uint32_t* pixels, int width, int height, int pitch);
  // Counts a clear, fill or copy of an area: a full-screen pass when it
  // covers as many pixels as the back buffer has, or more.
  void CountPass(LONG width, LONG height) const;
  // Called before anything writes into a target: the back buffer is about
  // to lose the picture the window shows.
  void WillWrite(const Surface* target);

 private:
  friend class SwapChain;
  const Program* ProgramFor(DWORD fvf, bool* ok);
  HRESULT Draw(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT vertex_count, UINT stride,
               const void* indices, UINT index_count, D3DFORMAT index_format);
  // The GL state of a draw, in its steps.
  void ApplyPipelineState(DWORD fvf, const Program* program);
  void SetFixedUniforms(const Program* p, bool pretransformed);
  void SetLightingUniforms(const Program* p);
  void SetTexelUniforms(const Program* p);
  void BindStageTextures();
  void ApplyBlend();
  void ApplyDepthAndCull();
  void ApplyTargetArea(bool pretransformed);
  void BindTarget();
  void ScissorTo(const RECT& rect);
  RECT ViewportRect() const;
  GLuint VertexArrayFor(DWORD fvf, UINT stride);
  GLuint Sampler(DWORD stage);
  HRESULT PresentBackBuffer(const RECT* source, const RECT* dest);
  // What a present showed: the back buffer's rectangle, where it went on
  // the window's drawable (top-left origin) and the drawable's size.
  struct Shown {
    RECT source{}, dest{};
    int width = 0, height = 0;
  };
  // Draws the picture into a framebuffer of the drawable's size, from and
  // to the given rectangles (upside down for the window's own), black
  // beside it.
  bool DrawPicture(const Shown& shown, GLuint framebuffer, const RECT& from, const RECT& to);
  // Keeps the last present's picture in the shown texture.
  bool KeepShown();
  // Draws a rectangle of a target (its nearest texel for each pixel, or
  // filtered) into a rectangle of a framebuffer whose units are `to`, each
  // texel cut to the source's units first.
  bool DrawCopy(Surface* source, const RECT& from, GLuint framebuffer, const ChannelUnits& to, const RECT& dest,
                bool linear);
  bool CopyRect(Surface* source, const RECT& source_rect, Surface* dest, const RECT& dest_rect, bool linear);

  Direct3D* d3d_;
  HWND window_;
  D3DPRESENT_PARAMETERS parameters_;
  void* context_ = nullptr;
  SwapChain swap_chain_;
  std::unique_ptr<Surface> back_buffer_;
  Surface* render_target_ = nullptr;  // not counted: the engine keeps its own references
  Surface* depth_ = nullptr;
  bool in_scene_ = false;

  DWORD render_states_[D3DRS_COUNT];
  DWORD sampler_states_[16][D3DSAMP_COUNT];
  DWORD stage_states_[8][D3DTSS_COUNT];
  Texture* textures_[8] = {};
  D3DMATRIX world_, view_, projection_, texture_matrices_[8];
  D3DMATERIAL9 material_{};
  std::unordered_map<DWORD, D3DLIGHT9> lights_;
  std::vector<DWORD> enabled_lights_;
  D3DVIEWPORT9 viewport_{};
  RECT scissor_{};
  DWORD fvf_ = 0;
  float vs_constants_[256][4] = {};
  BOOL vs_booleans_[16] = {};
  float ps_constants_[32][4] = {};

  std::unordered_map<ProgramKey, Program, ProgramKeyHash> programs_;
  std::unordered_map<uint64_t, GLuint> vertex_arrays_;
  GLuint vertex_buffer_ = 0, index_buffer_ = 0;
  GLuint samplers_[8] = {};
  GLuint copy_texture_ = 0;             // uploads of CPU surfaces for copies
  Shown shown_;
  bool shown_in_back_buffer_ = false;  // the back buffer still holds the last picture shown
  bool shown_kept_ = false;            // the shown texture holds it
  bool keep_shown_ = false;            // a reader came late once: keep every picture before it is lost
  GLuint shown_texture_ = 0, shown_framebuffer_ = 0;
  int shown_width_ = 0, shown_height_ = 0;
  GLuint read_framebuffer_ = 0;
  GLuint copy_program_ = 0, copy_vertex_array_ = 0, linear_sampler_ = 0;
  std::vector<GLint> copy_uniforms_;
};

class Direct3D final : public ComObject<IDirect3D9>, Counted {
 public:
  UINT GetAdapterCount() override { return 1; }
  HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) override;
  UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) override;
  HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS9* caps) override;
  HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                            D3DRESOURCETYPE resource_type, D3DFORMAT format) override;
  HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                 D3DFORMAT render_target_format, D3DFORMAT depth_format) override;
  HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behaviour,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device_out) override;

 private:
  ~Direct3D() override = default;
};

// The device of a resource for GetDevice, with a reference added for the caller.
HRESULT HandOutDevice(Device* device, IDirect3DDevice9** out);

// GLSL functions Cut (a texel to its 8-bit value) and Units (an 8-bit value
// to a target's units), shared by the generated programs and the copies.
extern const char* const kChannelCuts;
// Generates the shaders of the fixed-function state a key describes.
ProgramSource GenerateProgram(const ProgramKey& key);
// A program of the two shaders (the fragment shader writes o_colour), or 0
// with the reason on stderr, naming `what`.
GLuint LinkProgram(const char* vertex, const char* fragment, const char* what);

}  // namespace vox_d3d9
