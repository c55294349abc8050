// The device: its context on the device window, its states, the draws that
// feed one streaming vertex buffer through the generated fixed-function
// programs, clearing, and the present of the back buffer into the window.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9_internal.h"
#include "platform/d3d9/d3d9_program.h"

namespace vox_d3d9 {

namespace {

DWORD FloatBits(float f) {
  DWORD d;
  std::memcpy(&d, &f, 4);
  return d;
}
float BitsFloat(DWORD d) {
  float f;
  std::memcpy(&f, &d, 4);
  return f;
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; i++) m.m[i][i] = 1.0f;
  return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
  D3DMATRIX r{};
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++)
      r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
  return r;
}

void Transform(const float* v, float w, const D3DMATRIX& m, float* out) {
  for (int j = 0; j < 3; j++) out[j] = v[0] * m.m[0][j] + v[1] * m.m[1][j] + v[2] * m.m[2][j] + w * m.m[3][j];
}

void ColourToFloats(DWORD argb, float* out) {
  out[0] = (float)((argb >> 16) & 255) / 255.0f;
  out[1] = (float)((argb >> 8) & 255) / 255.0f;
  out[2] = (float)(argb & 255) / 255.0f;
  out[3] = (float)(argb >> 24) / 255.0f;
}

GLenum BlendFactor(DWORD f) {
  switch (f) {
    case D3DBLEND_ZERO: return GL_ZERO;
    case D3DBLEND_ONE: return GL_ONE;
    case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
  }
  return GL_ONE;
}

GLenum BlendEquation(DWORD op) {
  switch (op) {
    case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN: return GL_MIN;
    case D3DBLENDOP_MAX: return GL_MAX;
  }
  return GL_FUNC_ADD;
}

GLenum CompareFunc(DWORD f) {
  switch (f) {
    case D3DCMP_NEVER: return GL_NEVER;
    case D3DCMP_LESS: return GL_LESS;
    case D3DCMP_EQUAL: return GL_EQUAL;
    case D3DCMP_LESSEQUAL: return GL_LEQUAL;
    case D3DCMP_GREATER: return GL_GREATER;
    case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
    case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
  }
  return GL_ALWAYS;
}

GLenum AddressMode(DWORD mode) {
  switch (mode) {
    case D3DTADDRESS_WRAP: return GL_REPEAT;
    case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
  }
  return GL_CLAMP_TO_EDGE;
}

GLenum MinFilter(DWORD min, DWORD mip) {
  bool linear = min != D3DTEXF_POINT;
  if (mip == D3DTEXF_NONE) return linear ? GL_LINEAR : GL_NEAREST;
  if (mip == D3DTEXF_POINT) return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

// Vertices a primitive count takes for each type (0: an unknown type).
UINT VertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
  }
  return 0;
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
  switch (type) {
    case D3DPT_POINTLIST: return GL_POINTS;
    case D3DPT_LINELIST: return GL_LINES;
    case D3DPT_LINESTRIP: return GL_LINE_STRIP;
    case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
    case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
  }
  return GL_TRIANGLE_FAN;
}

int TexCoordCount(DWORD fvf) { return (int)((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT); }

// Floats in texture coordinate set i of a vertex format.
int TexCoordSize(DWORD fvf, int i) {
  switch ((fvf >> (16 + i * 2)) & 3) {
    case 1: return 3;
    case 2: return 4;
    case 3: return 1;
  }
  return 2;
}

bool Supported(DWORD fvf) {
  DWORD position = fvf & D3DFVF_POSITION_MASK;
  return position == D3DFVF_XYZ || position == D3DFVF_XYZRHW;
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

// A line list (a strip becomes one) in which each vertical segment running
// towards smaller y starts one pixel below its end and ends one pixel below
// its start; empty when no segment needs it. Colours and the rest of each
// vertex stay where they were, so the first vertex still gives the colour.
std::vector<uint8_t> FallingLinesTurned(D3DPRIMITIVETYPE type, const uint8_t* v, UINT n, UINT stride) {
  UINT segments = type == D3DPT_LINELIST ? n / 2 : (n ? n - 1 : 0);
  auto y_of = [&](const uint8_t* p, int k) {
    float f;
    std::memcpy(&f, p + 4 * k, 4);
    return f;
  };
  bool any = false;
  std::vector<uint8_t> out((size_t)segments * 2 * stride);
  for (UINT s = 0; s < segments; s++) {
    const uint8_t* a = type == D3DPT_LINELIST ? v + (size_t)(2 * s) * stride : v + (size_t)s * stride;
    const uint8_t* b = a + stride;
    uint8_t* oa = &out[(size_t)(2 * s) * stride];
    uint8_t* ob = oa + stride;
    std::memcpy(oa, a, stride);
    std::memcpy(ob, b, stride);
    if (y_of(a, 0) != y_of(b, 0) || y_of(b, 1) >= y_of(a, 1)) continue;
    float start = y_of(b, 1) + 1.0f, end = y_of(a, 1) + 1.0f;
    std::memcpy(oa + 4, &start, 4);
    std::memcpy(ob + 4, &end, 4);
    any = true;
  }
  if (!any) out.clear();
  return out;
}

int ReadShownThunk(void* device, uint32_t* pixels, int width, int height, int pitch) {
  return static_cast<Device*>(device)->ReadShown(pixels, width, height, pitch);
}


// Which of the blend states the program takes part in (BLEND_*).
uint32_t BlendClass(const DWORD* rs) {
  if (!rs[D3DRS_ALPHABLENDENABLE] || rs[D3DRS_SRCBLEND] != D3DBLEND_SRCALPHA) return BLEND_PLAIN;
  DWORD op = rs[D3DRS_BLENDOP];
  if (rs[D3DRS_DESTBLEND] == D3DBLEND_INVSRCALPHA && op == D3DBLENDOP_ADD) return BLEND_WEIGHTED;
  if (rs[D3DRS_DESTBLEND] == D3DBLEND_ONE && op == D3DBLENDOP_ADD) return BLEND_ADD;
  if (rs[D3DRS_DESTBLEND] == D3DBLEND_ONE && op == D3DBLENDOP_REVSUBTRACT) return BLEND_REVSUBTRACT;
  return BLEND_PLAIN;
}

// A texture that is a wide render target (its texels are cut when read).
bool IsWideTexture(const Texture* t) {
  return t && (t->usage() & D3DUSAGE_RENDERTARGET) && IsWideTarget(t->format());
}

// How a stage's texture is read: a narrow target's texels are cut to its units.
uint32_t BoundKind(const Texture* t) {
  if (!t) return KEY_BOUND_NONE;
  return IsNarrow(UnitsOf(t->format(), IsWideTexture(t))) ? KEY_BOUND_NARROW_TARGET : KEY_BOUND_TEXTURE;
}

}  // namespace

// ---- creation and end ------------------------------------------------------------------------

Device::Device(Direct3D* d3d, HWND window, const D3DPRESENT_PARAMETERS& parameters)
    : d3d_(d3d), window_(window), parameters_(parameters), swap_chain_(this) {
  d3d_->AddRef();
  std::memset(render_states_, 0, sizeof render_states_);
  render_states_[D3DRS_ZENABLE] = parameters.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
  render_states_[D3DRS_FILLMODE] = 3;
  render_states_[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
  render_states_[D3DRS_ZWRITEENABLE] = TRUE;
  render_states_[D3DRS_LASTPIXEL] = TRUE;
  render_states_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
  render_states_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
  render_states_[D3DRS_CULLMODE] = D3DCULL_CCW;
  render_states_[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
  render_states_[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
  render_states_[D3DRS_FOGEND] = FloatBits(1.0f);
  render_states_[D3DRS_FOGDENSITY] = FloatBits(1.0f);
  render_states_[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  render_states_[D3DRS_LIGHTING] = TRUE;
  render_states_[D3DRS_COLORVERTEX] = TRUE;
  render_states_[D3DRS_LOCALVIEWER] = TRUE;
  render_states_[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  render_states_[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  render_states_[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
  for (auto& s : sampler_states_) {
    std::memset(s, 0, sizeof s);
    s[D3DSAMP_ADDRESSU] = s[D3DSAMP_ADDRESSV] = s[D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
    s[D3DSAMP_MAGFILTER] = s[D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    s[D3DSAMP_MIPFILTER] = D3DTEXF_NONE;
    s[D3DSAMP_MAXANISOTROPY] = 1;
  }
  for (int i = 0; i < 8; i++) {
    DWORD* s = stage_states_[i];
    std::memset(s, 0, sizeof stage_states_[i]);
    s[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    s[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    s[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    s[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    s[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    s[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    s[D3DTSS_COLORARG0] = s[D3DTSS_ALPHAARG0] = s[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    s[D3DTSS_TEXCOORDINDEX] = (DWORD)i;
    texture_matrices_[i] = Identity();
  }
  world_ = view_ = projection_ = Identity();
  material_.Diffuse[0] = material_.Diffuse[1] = material_.Diffuse[2] = material_.Diffuse[3] = 1.0f;
}

bool Device::Create() {
  context_ = CreateWindowGLContext(window_);
  if (!context_ || !LoadGLFunctions()) return false;
  ClearGLErrors();
  gl.ProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  gl.Disable(GL_DITHER);
  gl.PixelStorei(GL_UNPACK_ALIGNMENT, 1);
  gl.PixelStorei(GL_PACK_ALIGNMENT, 1);
  D3DSURFACE_DESC desc{parameters_.BackBufferFormat, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT,
                       D3DMULTISAMPLE_NONE, 0, parameters_.BackBufferWidth, parameters_.BackBufferHeight};
  bool lockable = (parameters_.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) != 0;
  back_buffer_.reset(new Surface(this, Surface::Kind::kBackBuffer, desc, nullptr, 0, lockable));
  const FormatInfo* f = back_buffer_->format();
  if (!f || !f->internal_format || !back_buffer_->CreateOwnTexture()) return false;
  render_target_ = back_buffer_.get();
  viewport_ = D3DVIEWPORT9{0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
  scissor_ = RECT{0, 0, (LONG)desc.Width, (LONG)desc.Height};
  gl.GenBuffers(1, &vertex_buffer_);
  gl.GenBuffers(1, &index_buffer_);
  gl.GenSamplers(8, samplers_);
  for (DWORD s = 0; s < 8; s++) Sampler(s);
  gl.GenSamplers(1, &linear_sampler_);
  for (GLenum filter : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER})
    gl.SamplerParameteri(linear_sampler_, filter, GL_LINEAR);
  for (GLenum wrap : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
    gl.SamplerParameteri(linear_sampler_, wrap, GL_CLAMP_TO_EDGE);
  gl.GenFramebuffers(1, &read_framebuffer_);
  Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
  return gl.GetError() == GL_NO_ERROR;
}

Device::~Device() {
  bool current = context_ && MakeCurrent();
  if (current) {
    for (auto& p : programs_) gl.DeleteProgram(p.second.program);
    for (auto& v : vertex_arrays_) gl.DeleteVertexArrays(1, &v.second);
    if (vertex_buffer_) gl.DeleteBuffers(1, &vertex_buffer_);
    if (index_buffer_) gl.DeleteBuffers(1, &index_buffer_);
    if (samplers_[0]) gl.DeleteSamplers(8, samplers_);
    if (copy_texture_) gl.DeleteTextures(1, &copy_texture_);
    if (shown_framebuffer_) gl.DeleteFramebuffers(1, &shown_framebuffer_);
    if (shown_texture_) gl.DeleteTextures(1, &shown_texture_);
    if (read_framebuffer_) gl.DeleteFramebuffers(1, &read_framebuffer_);
    if (copy_program_) gl.DeleteProgram(copy_program_);
    if (copy_vertex_array_) gl.DeleteVertexArrays(1, &copy_vertex_array_);
    if (linear_sampler_) gl.DeleteSamplers(1, &linear_sampler_);
    if (back_buffer_) {
      back_buffer_->ReleaseGL();
      if (back_buffer_->own_texture) gl.DeleteTextures(1, &back_buffer_->own_texture);
    }
  }
  back_buffer_.reset();
  SetWindowPixelReader(window_, nullptr, nullptr);
  if (context_) DeleteWindowGLContext(context_);
  d3d_->Release();
}

bool Device::MakeCurrent() { return MakeWindowGLContextCurrent(window_, context_) == TRUE; }

void Device::ForgetTexture(Texture* texture) {
  for (Texture*& t : textures_)
    if (t == texture) t = nullptr;
}

void Device::ForgetSurface(Surface* surface) {
  if (render_target_ == surface) render_target_ = back_buffer_.get();
  if (depth_ == surface) depth_ = nullptr;
}

// ---- states -----------------------------------------------------------------------------------

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
  render_states_[state] = value;
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= D3DRS_COUNT || !value) return D3DERR_INVALIDCALL;
  *value = render_states_[state];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value) {
  if (sampler >= 16 || state >= D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
  if (sampler_states_[sampler][state] == value) return D3D_OK;
  sampler_states_[sampler][state] = value;
  if (sampler < 8 && MakeCurrent()) Sampler(sampler);
  return D3D_OK;
}

GLuint Device::Sampler(DWORD stage) {
  GLuint s = samplers_[stage];
  const DWORD* st = sampler_states_[stage];
  gl.SamplerParameteri(s, GL_TEXTURE_WRAP_S, (GLint)AddressMode(st[D3DSAMP_ADDRESSU]));
  gl.SamplerParameteri(s, GL_TEXTURE_WRAP_T, (GLint)AddressMode(st[D3DSAMP_ADDRESSV]));
  gl.SamplerParameteri(s, GL_TEXTURE_MAG_FILTER, st[D3DSAMP_MAGFILTER] == D3DTEXF_POINT ? GL_NEAREST : GL_LINEAR);
  gl.SamplerParameteri(s, GL_TEXTURE_MIN_FILTER, (GLint)MinFilter(st[D3DSAMP_MINFILTER], st[D3DSAMP_MIPFILTER]));
  gl.SamplerParameterf(s, GL_TEXTURE_LOD_BIAS, BitsFloat(st[D3DSAMP_MIPMAPLODBIAS]));
  gl.SamplerParameterf(s, GL_TEXTURE_MIN_LOD, (float)st[D3DSAMP_MAXMIPLEVEL]);
  float border[4];
  ColourToFloats(st[D3DSAMP_BORDERCOLOR], border);
  gl.SamplerParameterfv(s, GL_TEXTURE_BORDER_COLOR, border);
  const GLCaps& caps = ProbeGLCaps();
  if (caps.max_anisotropy > 1.0f) {
    bool anisotropic = st[D3DSAMP_MINFILTER] == D3DTEXF_ANISOTROPIC || st[D3DSAMP_MAGFILTER] == D3DTEXF_ANISOTROPIC;
    float amount = anisotropic ? std::min((float)std::max<DWORD>(st[D3DSAMP_MAXANISOTROPY], 1), caps.max_anisotropy)
                               : 1.0f;
    gl.SamplerParameterf(s, GL_TEXTURE_MAX_ANISOTROPY_EXT, amount);
  }
  return s;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
  if (stage >= 8 || state >= D3DTSS_COUNT) return D3DERR_INVALIDCALL;
  stage_states_[stage][state] = value;
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
  if (stage >= 8) return D3DERR_INVALIDCALL;
  Texture* t = static_cast<Texture*>(texture);
  if (t && t->device() != this) return D3DERR_INVALIDCALL;
  textures_[stage] = t;
  return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_WORLD) world_ = *matrix;
  else if (state == D3DTS_VIEW) view_ = *matrix;
  else if (state == D3DTS_PROJECTION) projection_ = *matrix;
  else if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + 8) texture_matrices_[state - D3DTS_TEXTURE0] = *matrix;
  else return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
  if (!material) return D3DERR_INVALIDCALL;
  material_ = *material;
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
  lights_[index] = *light;
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  if (!lights_.count(index)) {
    // A light never set is the default directional white light.
    D3DLIGHT9 l{};
    l.Type = D3DLIGHT_DIRECTIONAL;
    l.Diffuse[0] = l.Diffuse[1] = l.Diffuse[2] = 1.0f;
    l.Direction[2] = 1.0f;
    lights_[index] = l;
  }
  auto at = std::find(enabled_lights_.begin(), enabled_lights_.end(), index);
  if (enable && at == enabled_lights_.end()) enabled_lights_.push_back(index);
  if (!enable && at != enabled_lights_.end()) enabled_lights_.erase(at);
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
  if (!viewport || !render_target_) return D3DERR_INVALIDCALL;
  const D3DSURFACE_DESC& d = render_target_->desc();
  if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > d.Width ||
      viewport->Y + viewport->Height > d.Height)
    return D3DERR_INVALIDCALL;
  viewport_ = *viewport;
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
  if (!rect || rect->left > rect->right || rect->top > rect->bottom) return D3DERR_INVALIDCALL;
  scissor_ = *rect;
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  fvf_ = fvf;
  return D3D_OK;
}

// Direct3D byte code cannot run on GL: only "none" can be selected.
HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) { return shader ? D3DERR_NOTAVAILABLE : D3D_OK; }
HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) { return shader ? D3DERR_NOTAVAILABLE : D3D_OK; }

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  // A declaration replaces the vertex format; drawing needs a format.
  if (declaration) fvf_ = 0;
  return D3D_OK;
}

namespace {

// Stores `count` constant registers from `start` on (a float register holds four values).
template <class Register, size_t N>
HRESULT StoreConstants(Register (&registers)[N], UINT start, const void* values, UINT count) {
  if (!values || start + count > N) return D3DERR_INVALIDCALL;
  std::memcpy(&registers[start], values, count * sizeof(Register));
  return D3D_OK;
}

}  // namespace

HRESULT Device::SetVertexShaderConstantF(UINT start, const float* values, UINT count) {
  return StoreConstants(vs_constants_, start, values, count);
}

HRESULT Device::SetVertexShaderConstantB(UINT start, const BOOL* values, UINT count) {
  return StoreConstants(vs_booleans_, start, values, count);
}

HRESULT Device::SetPixelShaderConstantF(UINT start, const float* values, UINT count) {
  return StoreConstants(ps_constants_, start, values, count);
}

HRESULT Device::SetRenderTarget(DWORD index, IDirect3DSurface9* surface) {
  Surface* s = static_cast<Surface*>(surface);
  if (index != 0 || !s || s->device() != this || !s->IsRenderable()) return D3DERR_INVALIDCALL;
  render_target_ = s;
  // A new target brings its own full viewport and scissor rectangle.
  viewport_ = D3DVIEWPORT9{0, 0, s->desc().Width, s->desc().Height, 0.0f, 1.0f};
  scissor_ = RECT{0, 0, (LONG)s->desc().Width, (LONG)s->desc().Height};
  return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD index, IDirect3DSurface9** surface) {
  if (index != 0 || !surface) return D3DERR_INVALIDCALL;
  *surface = render_target_;
  render_target_->AddRef();
  return D3D_OK;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* surface) {
  Surface* s = static_cast<Surface*>(surface);
  if (s && (s->device() != this || s->kind() != Surface::Kind::kDepthStencil)) return D3DERR_INVALIDCALL;
  depth_ = s;
  return D3D_OK;
}

HRESULT Device::SetDialogBoxMode(BOOL) { return D3D_OK; }  // the window system has no dialogs over GL

HRESULT Device::BeginScene() {
  if (in_scene_) return D3DERR_INVALIDCALL;
  in_scene_ = true;
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!in_scene_) return D3DERR_INVALIDCALL;
  in_scene_ = false;
  return D3D_OK;
}

// ---- targets, viewport and scissor ---------------------------------------------------------------

void Device::BindTarget() {
  GLuint fb = render_target_->Framebuffer();
  gl.BindFramebuffer(GL_FRAMEBUFFER, fb);
  uint64_t want = depth_ ? depth_->serial : 0;
  if (render_target_->attached_depth != want) {
    GLenum point = depth_ && depth_->format()->format == D3DFMT_D24S8 ? GL_DEPTH_STENCIL_ATTACHMENT
                                                                       : GL_DEPTH_ATTACHMENT;
    gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    if (depth_) gl.FramebufferRenderbuffer(GL_FRAMEBUFFER, point, GL_RENDERBUFFER, depth_->renderbuffer());
    render_target_->attached_depth = want;
  }
}

RECT Device::ViewportRect() const {
  RECT r{(LONG)viewport_.X, (LONG)viewport_.Y, (LONG)(viewport_.X + viewport_.Width),
         (LONG)(viewport_.Y + viewport_.Height)};
  if (render_states_[D3DRS_SCISSORTESTENABLE]) r = Intersect(r, scissor_);
  const D3DSURFACE_DESC& d = render_target_->desc();
  return Intersect(r, RECT{0, 0, (LONG)d.Width, (LONG)d.Height});
}

void Device::ScissorTo(const RECT& r) {
  gl.Enable(GL_SCISSOR_TEST);
  gl.Scissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

// ---- clearing ---------------------------------------------------------------------------------

HRESULT Device::Clear(DWORD count, const RECT* rects, DWORD flags, D3DCOLOR colour, float z, DWORD) {
  if ((count && !rects) || !(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
    return D3DERR_INVALIDCALL;
  if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth_) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  BindTarget();
  GLbitfield bits = 0;
  if (flags & D3DCLEAR_TARGET) {
    float c[4];
    ClearColourOf(render_target_, colour, c);
    gl.ClearColor(c[0], c[1], c[2], c[3]);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    bits |= GL_COLOR_BUFFER_BIT;
  }
  if (flags & D3DCLEAR_ZBUFFER) {
    gl.DepthMask(GL_TRUE);
    gl.ClearDepth(z);
    bits |= GL_DEPTH_BUFFER_BIT;
  }
  RECT area = ViewportRect();
  if (count == 0) {
    ScissorTo(area);
    gl.Clear(bits);
  } else {
    for (DWORD i = 0; i < count; i++) {
      RECT r = Intersect(area, rects[i]);
      if (r.right <= r.left || r.bottom <= r.top) continue;
      ScissorTo(r);
      gl.Clear(bits);
    }
  }
  return D3D_OK;
}

// ---- programs and vertex layouts ---------------------------------------------------------------

const Program* Device::ProgramFor(DWORD fvf, bool* ok) {
  *ok = false;
  const DWORD* rs = render_states_;
  bool pretransformed = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  bool lighting = rs[D3DRS_LIGHTING] && !pretransformed;
  int texcount = TexCoordCount(fvf);
  ProgramKey key;
  uint32_t flags = 0;
  if (pretransformed) flags |= KEY_PRETRANSFORMED;
  if (fvf & D3DFVF_NORMAL) flags |= KEY_NORMAL;
  if (fvf & D3DFVF_DIFFUSE) flags |= KEY_DIFFUSE;
  if (fvf & D3DFVF_SPECULAR) flags |= KEY_SPECULAR;
  flags |= (uint32_t)texcount << KEY_TEXCOUNT_SHIFT;
  if (lighting) flags |= KEY_LIGHTING;
  if (rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT) flags |= KEY_FLAT;
  if (rs[D3DRS_SPECULARENABLE]) flags |= KEY_SPECULAR_ENABLE;
  if (rs[D3DRS_FOGENABLE]) {
    flags |= KEY_FOG;
    flags |= (rs[D3DRS_FOGVERTEXMODE] & 3) << KEY_FOG_VERTEX_SHIFT;
    flags |= (rs[D3DRS_FOGTABLEMODE] & 3) << KEY_FOG_TABLE_SHIFT;
  }
  if (rs[D3DRS_ALPHATESTENABLE]) flags |= KEY_ALPHA_TEST | ((rs[D3DRS_ALPHAFUNC] & 15) << KEY_ALPHA_FUNC_SHIFT);
  if (lighting && rs[D3DRS_LOCALVIEWER]) flags |= KEY_LOCAL_VIEWER;
  if (lighting && rs[D3DRS_NORMALIZENORMALS]) flags |= KEY_NORMALIZE;
  flags |= BlendClass(rs) << KEY_BLEND_SHIFT;
  if (IsNarrow(TargetUnits(render_target_))) flags |= KEY_NARROW_TARGET;
  key.words.push_back(flags);
  uint32_t sources = 0;
  if (lighting && rs[D3DRS_COLORVERTEX])
    sources = (rs[D3DRS_DIFFUSEMATERIALSOURCE] & 3) | (rs[D3DRS_AMBIENTMATERIALSOURCE] & 3) << 2 |
              (rs[D3DRS_SPECULARMATERIALSOURCE] & 3) << 4 | (rs[D3DRS_EMISSIVEMATERIALSOURCE] & 3) << 6;
  key.words.push_back(sources);
  uint32_t light_word = 0;
  if (lighting) {
    int n = 0;
    for (DWORD index : enabled_lights_) {
      if (n == 8) break;
      light_word |= (lights_[index].Type & 3) << (4 + 2 * n);
      n++;
    }
    light_word |= (uint32_t)n;
  }
  key.words.push_back(light_word);
  int stages = 0;
  while (stages < 8 && stage_states_[stages][D3DTSS_COLOROP] != D3DTOP_DISABLE) stages++;
  key.words.push_back((uint32_t)stages);
  for (int s = 0; s < stages; s++) {
    const DWORD* st = stage_states_[s];
    key.words.insert(key.words.end(),
                     {st[D3DTSS_COLOROP], st[D3DTSS_COLORARG1], st[D3DTSS_COLORARG2], st[D3DTSS_COLORARG0],
                      st[D3DTSS_ALPHAOP], st[D3DTSS_ALPHAARG1], st[D3DTSS_ALPHAARG2], st[D3DTSS_ALPHAARG0],
                      st[D3DTSS_TEXCOORDINDEX], BoundKind(textures_[s]), st[D3DTSS_TEXTURETRANSFORMFLAGS],
                      st[D3DTSS_RESULTARG]});
  }
  auto found = programs_.find(key);
  if (found != programs_.end()) {
    *ok = found->second.program != 0;
    return &found->second;
  }
  ProgramSource source = GenerateProgram(key);
  Program& p = programs_[key];
  p.program = LinkProgram(source.vertex.c_str(), source.fragment.c_str(), "the fixed-function pipeline");
  if (!p.program) return &p;
  gl.UseProgram(p.program);
  p.u_target = gl.GetUniformLocation(p.program, "u_target");
  p.u_tfactor = gl.GetUniformLocation(p.program, "u_tfactor");
  p.u_alpha_ref = gl.GetUniformLocation(p.program, "u_alpha_ref");
  p.u_world_view = gl.GetUniformLocation(p.program, "u_world_view");
  p.u_projection = gl.GetUniformLocation(p.program, "u_projection");
  p.u_fog = gl.GetUniformLocation(p.program, "u_fog");
  p.u_fog_colour = gl.GetUniformLocation(p.program, "u_fog_colour");
  p.u_ambient = gl.GetUniformLocation(p.program, "u_ambient");
  p.u_material = gl.GetUniformLocation(p.program, "u_material");
  p.u_lights = gl.GetUniformLocation(p.program, "u_lights");
  p.u_tex_matrix = gl.GetUniformLocation(p.program, "u_tex_matrix");
  p.u_texel_bias = gl.GetUniformLocation(p.program, "u_texel_bias");
  p.u_texel_step = gl.GetUniformLocation(p.program, "u_texel_step");
  p.u_texel_top = gl.GetUniformLocation(p.program, "u_texel_top");
  p.u_step = gl.GetUniformLocation(p.program, "u_step");
  for (int s = 0; s < 8; s++) {
    GLint at = gl.GetUniformLocation(p.program, ("s" + std::to_string(s)).c_str());
    if (at >= 0) gl.Uniform1i(at, s);
  }
  *ok = true;
  return &p;
}

GLuint Device::VertexArrayFor(DWORD fvf, UINT stride) {
  uint64_t key = (uint64_t)fvf | ((uint64_t)stride << 32);
  auto found = vertex_arrays_.find(key);
  if (found != vertex_arrays_.end()) {
    gl.BindVertexArray(found->second);
    return found->second;
  }
  GLuint vao = 0;
  gl.GenVertexArrays(1, &vao);
  gl.BindVertexArray(vao);
  gl.BindBuffer(GL_ARRAY_BUFFER, vertex_buffer_);
  size_t offset = 0;
  auto floats = [&](GLuint location, int count) {
    gl.EnableVertexAttribArray(location);
    gl.VertexAttribPointer(location, count, GL_FLOAT, GL_FALSE, (GLsizei)stride, reinterpret_cast<void*>(offset));
    offset += (size_t)count * 4;
  };
  auto colour = [&](GLuint location) {
    gl.EnableVertexAttribArray(location);
    gl.VertexAttribPointer(location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, (GLsizei)stride,
                           reinterpret_cast<void*>(offset));
    offset += 4;
  };
  floats(0, (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW ? 4 : 3);
  if (fvf & D3DFVF_NORMAL) floats(1, 3);
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) colour(2);
  if (fvf & D3DFVF_SPECULAR) colour(3);
  for (int t = 0; t < TexCoordCount(fvf) && t < 8; t++) floats(4 + (GLuint)t, TexCoordSize(fvf, t));
  vertex_arrays_[key] = vao;
  return vao;
}

// ---- drawing ----------------------------------------------------------------------------------

void Device::ApplyPipelineState(DWORD fvf, const Program* p) {
  const DWORD* rs = render_states_;
  bool pretransformed = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  const D3DSURFACE_DESC& target = render_target_->desc();
  gl.UseProgram(p->program);
  gl.Uniform4f(p->u_target, 2.0f / (float)target.Width, 2.0f / (float)target.Height, 1.0f / (float)viewport_.Width,
               1.0f / (float)viewport_.Height);
  float c[4];
  ColourToFloats(rs[D3DRS_TEXTUREFACTOR], c);
  gl.Uniform4fv(p->u_tfactor, 1, c);
  gl.Uniform1f(p->u_alpha_ref, (float)(rs[D3DRS_ALPHAREF] & 255));
  gl.Uniform4f(p->u_fog, BitsFloat(rs[D3DRS_FOGSTART]), BitsFloat(rs[D3DRS_FOGEND]), BitsFloat(rs[D3DRS_FOGDENSITY]),
               0.0f);
  ColourToFloats(rs[D3DRS_FOGCOLOR], c);
  gl.Uniform4fv(p->u_fog_colour, 1, c);
  if (!pretransformed) {
    D3DMATRIX world_view = Multiply(world_, view_);
    gl.UniformMatrix4fv(p->u_world_view, 1, GL_FALSE, &world_view.m[0][0]);
    gl.UniformMatrix4fv(p->u_projection, 1, GL_FALSE, &projection_.m[0][0]);
  }
  if (p->u_tex_matrix >= 0) gl.UniformMatrix4fv(p->u_tex_matrix, 8, GL_FALSE, &texture_matrices_[0].m[0][0]);
  if (p->u_lights >= 0) {
    ColourToFloats(rs[D3DRS_AMBIENT], c);
    gl.Uniform4fv(p->u_ambient, 1, c);
    float m[5][4] = {};
    std::memcpy(m[0], material_.Diffuse, 16);
    std::memcpy(m[1], material_.Ambient, 16);
    std::memcpy(m[2], material_.Specular, 16);
    std::memcpy(m[3], material_.Emissive, 16);
    m[4][0] = material_.Power;
    gl.Uniform4fv(p->u_material, 5, &m[0][0]);
    float l[8 * 7][4] = {};
    int n = 0;
    for (DWORD index : enabled_lights_) {
      if (n == 8) break;
      const D3DLIGHT9& light = lights_[index];
      float* o = l[n * 7];
      std::memcpy(o + 0, light.Diffuse, 16);
      std::memcpy(o + 4, light.Specular, 16);
      std::memcpy(o + 8, light.Ambient, 16);
      Transform(light.Position, 1.0f, view_, o + 12);
      o[15] = light.Range;
      Transform(light.Direction, 0.0f, view_, o + 16);
      o[20] = light.Attenuation0, o[21] = light.Attenuation1, o[22] = light.Attenuation2, o[23] = light.Falloff;
      o[24] = std::cos(light.Theta / 2), o[25] = std::cos(light.Phi / 2);
      n++;
    }
    gl.Uniform4fv(p->u_lights, 8 * 7, &l[0][0]);
  }
  float texel_bias[8], texel_step[8][4], texel_top[8][4];
  for (int s = 0; s < 8; s++) {
    const Texture* t = textures_[s];
    bool wide = IsWideTexture(t);
    texel_bias[s] = wide ? 0.002f : 0.5f;
    ChannelUnits u = UnitsOf(t ? t->format() : nullptr, wide);
    std::memcpy(texel_step[s], u.step, sizeof u.step);
    std::memcpy(texel_top[s], u.top, sizeof u.top);
  }
  gl.Uniform1fv(p->u_texel_bias, 8, texel_bias);
  gl.Uniform4fv(p->u_texel_step, 8, &texel_step[0][0]);
  gl.Uniform4fv(p->u_texel_top, 8, &texel_top[0][0]);
  gl.Uniform4fv(p->u_step, 1, TargetUnits(render_target_).step);
  for (int s = 0; s < 8; s++) {
    if (!textures_[s]) continue;
    gl.ActiveTexture(GL_TEXTURE0 + (GLenum)s);
    gl.BindTexture(GL_TEXTURE_2D, textures_[s]->gl_texture());
    gl.BindSampler((GLuint)s, samplers_[s]);
  }
  if (rs[D3DRS_ALPHABLENDENABLE]) {
    gl.Enable(GL_BLEND);
    switch (BlendClass(rs)) {
      case BLEND_WEIGHTED:
        gl.BlendFuncSeparate(GL_SRC1_ALPHA, GL_ONE_MINUS_SRC1_ALPHA, GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        break;
      case BLEND_ADD:
      case BLEND_REVSUBTRACT: gl.BlendFuncSeparate(GL_ONE, GL_ONE, GL_SRC_ALPHA, GL_ONE); break;
      default: gl.BlendFunc(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND])); break;
    }
    gl.BlendEquation(BlendEquation(rs[D3DRS_BLENDOP]));
  } else {
    gl.Disable(GL_BLEND);
  }
  if (rs[D3DRS_ZENABLE] && depth_) {
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
    gl.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    float bias = BitsFloat(rs[D3DRS_DEPTHBIAS]);
    if (bias != 0.0f) {
      gl.Enable(GL_POLYGON_OFFSET_FILL);
      gl.PolygonOffset(0.0f, bias * 16777215.0f);
    } else {
      gl.Disable(GL_POLYGON_OFFSET_FILL);
    }
  } else {
    gl.Disable(GL_DEPTH_TEST);
  }
  DWORD cull = rs[D3DRS_CULLMODE];
  if (cull == D3DCULL_NONE) {
    gl.Disable(GL_CULL_FACE);
  } else {
    // Window y runs as Direct3D's, so Direct3D's clockwise is GL's counter-clockwise.
    gl.Enable(GL_CULL_FACE);
    gl.FrontFace(GL_CCW);
    gl.CullFace(cull == D3DCULL_CW ? GL_FRONT : GL_BACK);
  }
  GLboolean alpha = render_target_->format()->alpha_one ? GL_FALSE : GL_TRUE;
  gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, alpha);
  // The viewport of pre-transformed vertices is the whole target; Direct3D
  // clips them to its viewport, which the scissor rectangle does here.
  if (pretransformed) {
    gl.Viewport(0, 0, (GLsizei)target.Width, (GLsizei)target.Height);
    gl.DepthRange(0.0, 1.0);
  } else {
    gl.Viewport((GLint)viewport_.X, (GLint)viewport_.Y, (GLsizei)viewport_.Width, (GLsizei)viewport_.Height);
    gl.DepthRange(viewport_.MinZ, viewport_.MaxZ);
  }
  ScissorTo(ViewportRect());
}

HRESULT Device::Draw(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT vertex_count,
                     UINT stride, const void* indices, UINT index_count, D3DFORMAT index_format) {
  if (primitive_count == 0) return D3D_OK;
  if (!vertices || stride == 0 || !fvf_ || !Supported(fvf_) || vertex_count == 0) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  bool ok = false;
  const Program* program = ProgramFor(fvf_, &ok);
  if (!ok) return D3DERR_INVALIDCALL;
  BindTarget();
  ApplyPipelineState(fvf_, program);
  VertexArrayFor(fvf_, stride);
  std::vector<uint8_t> lines;
  if (!indices && (type == D3DPT_LINELIST || type == D3DPT_LINESTRIP) &&
      (fvf_ & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW && ProbeGLCaps().falling_line_loses_start) {
    // Vertical lines towards smaller y are drawn the other way round, one
    // pixel lower, so that they cover the pixels their own direction covers.
    lines = FallingLinesTurned(type, static_cast<const uint8_t*>(vertices), vertex_count, stride);
    if (!lines.empty()) {
      vertices = lines.data();
      vertex_count = (UINT)(lines.size() / stride);
      type = D3DPT_LINELIST;
    }
  }
  gl.BindBuffer(GL_ARRAY_BUFFER, vertex_buffer_);
  gl.BufferData(GL_ARRAY_BUFFER, (GLsizeiptr)vertex_count * stride, vertices, GL_STREAM_DRAW);
  GLenum mode = PrimitiveMode(type);
  g_draw_counts.calls++;
  g_draw_counts.vertices += indices ? (long)index_count : (long)vertex_count;
  if (indices) {
    size_t index_size = index_format == D3DFMT_INDEX32 ? 4 : 2;
    gl.BindBuffer(GL_ELEMENT_ARRAY_BUFFER, index_buffer_);
    gl.BufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)(index_count * index_size), indices, GL_STREAM_DRAW);
    gl.DrawElements(mode, (GLsizei)index_count, index_size == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT, nullptr);
  } else {
    gl.DrawArrays(mode, 0, (GLsizei)vertex_count);
  }
  gl.BindVertexArray(0);
  return D3D_OK;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitive_count, const void* vertices, UINT stride) {
  UINT n = VertexCount(type, primitive_count);
  if (primitive_count && !n) return D3DERR_INVALIDCALL;
  return Draw(type, primitive_count, vertices, n, stride, nullptr, 0, D3DFMT_UNKNOWN);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count,
                                       UINT primitive_count, const void* indices, D3DFORMAT index_format,
                                       const void* vertices, UINT stride) {
  UINT n = VertexCount(type, primitive_count);
  if ((primitive_count && !n) || !indices || (index_format != D3DFMT_INDEX16 && index_format != D3DFMT_INDEX32))
    return D3DERR_INVALIDCALL;
  return Draw(type, primitive_count, vertices, min_index + vertex_count, stride, indices, n, index_format);
}

// ---- present ------------------------------------------------------------------------------------

HRESULT Device::Present(const RECT* source, const RECT* dest, HWND, const void*) {
  return PresentBackBuffer(source, dest);
}

HRESULT Device::PresentBackBuffer(const RECT* source, const RECT* dest) {
  if (Fails(D3D9_FAIL_PRESENT)) return D3DERR_DEVICELOST;
  if (!IsWindow(window_) || !MakeCurrent()) return D3DERR_DEVICELOST;
  const D3DSURFACE_DESC& bb = back_buffer_->desc();
  RECT src = source ? *source : RECT{0, 0, (LONG)bb.Width, (LONG)bb.Height};
  RECT client{};
  GetClientRect(window_, &client);
  RECT dst_client = dest ? *dest : client;
  RECT dst{};
  int dw = 0, dh = 0;
  if (!GetWindowGLDrawableSize(window_, &dw, &dh) || !MapClientRectToGLDrawable(window_, &dst_client, &dst))
    return D3DERR_DEVICELOST;
  if (dw <= 0 || dh <= 0) return D3D_OK;
  if (!shown_texture_ || shown_width_ != dw || shown_height_ != dh) {
    if (!shown_texture_) gl.GenTextures(1, &shown_texture_);
    if (!shown_framebuffer_) gl.GenFramebuffers(1, &shown_framebuffer_);
    gl.ActiveTexture(kScratchUnit);
    gl.BindTexture(GL_TEXTURE_2D, shown_texture_);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, dw, dh, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, nullptr);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.BindFramebuffer(GL_FRAMEBUFFER, shown_framebuffer_);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, shown_texture_, 0);
    gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.ClearColor(0, 0, 0, 1);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    shown_width_ = dw;
    shown_height_ = dh;
  }
  // The picture keeps the back buffer's pixels (the nearest one for each
  // window pixel, as the software present shows them), cut to 8 bits a
  // channel (a 16-bit format's channels widened to the nearest 8-bit
  // value); both are stored top row first.
  if (dst.right > dst.left && dst.bottom > dst.top && src.right > src.left && src.bottom > src.top &&
      !DrawCopy(back_buffer_.get(), src, shown_framebuffer_, UnitsOf(nullptr, false), dst, false))
    return D3DERR_DEVICELOST;
  // The window's own framebuffer has its bottom row first.
  gl.Disable(GL_SCISSOR_TEST);
  gl.BindFramebuffer(GL_READ_FRAMEBUFFER, shown_framebuffer_);
  gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  gl.BlitFramebuffer(0, 0, dw, dh, 0, dh, dw, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
  SwapWindowGL(window_, parameters_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  SetWindowPixelReader(window_, ReadShownThunk, this);
  return D3D_OK;
}

bool Device::DrawCopy(Surface* source, const RECT& from, GLuint framebuffer, const ChannelUnits& to,
                      const RECT& dest, bool linear) {
  if (!copy_program_) {
    static const char* kVertex =
        "#version 330 core\n"
        "void main() {\n"
        "  vec2 p = vec2(float(gl_VertexID & 1) * 2.0 - 1.0, float(gl_VertexID >> 1) * 2.0 - 1.0);\n"
        "  gl_Position = vec4(p, 0.0, 1.0);\n"
        "}\n";
    std::string fragment = std::string(
                               "#version 330 core\n"
                               "uniform sampler2D u_image;\n"
                               "uniform ivec4 u_source;\n"
                               "uniform ivec4 u_dest;\n"
                               "uniform bool u_linear;\n"
                               "uniform float u_bias;\n"
                               "uniform vec4 u_from_step, u_from_top, u_to_step;\n"
                               "out vec4 o_colour;\n") +
                           kChannelCuts +
                           "void main() {\n"
                           "  vec2 f = (gl_FragCoord.xy - vec2(u_dest.xy)) / vec2(u_dest.zw);\n"
                           "  vec2 at = vec2(u_source.xy) + f * vec2(u_source.zw);\n"
                           "  vec4 raw = u_linear ? texture(u_image, at / vec2(textureSize(u_image, 0)))\n"
                           "                      : texelFetch(u_image, ivec2(floor(at)), 0);\n"
                           "  o_colour = Units(Cut(raw, u_bias, u_from_step, u_from_top), u_to_step) / 255.0;\n"
                           "}\n";
    GLuint program = LinkProgram(kVertex, fragment.c_str(), "the copy");
    if (!program) return false;
    copy_program_ = program;
    gl.UseProgram(program);
    gl.Uniform1i(gl.GetUniformLocation(program, "u_image"), 15);
    for (const char* name : {"u_source", "u_dest", "u_linear", "u_bias", "u_from_step", "u_from_top", "u_to_step"})
      copy_uniforms_.push_back(gl.GetUniformLocation(program, name));
    gl.GenVertexArrays(1, &copy_vertex_array_);
  }
  bool wide = IsWideTarget(source->format());
  ChannelUnits units = UnitsOf(source->format(), wide);
  const GLint* u = copy_uniforms_.data();
  gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  gl.Viewport(dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top);
  gl.Disable(GL_SCISSOR_TEST);
  gl.Disable(GL_BLEND);
  gl.Disable(GL_DEPTH_TEST);
  gl.Disable(GL_CULL_FACE);
  gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.UseProgram(copy_program_);
  gl.ActiveTexture(kScratchUnit);
  gl.BindTexture(GL_TEXTURE_2D, source->gl_texture());
  gl.BindSampler(15, linear ? linear_sampler_ : 0);
  gl.Uniform4i(u[0], from.left, from.top, from.right - from.left, from.bottom - from.top);
  gl.Uniform4i(u[1], dest.left, dest.top, dest.right - dest.left, dest.bottom - dest.top);
  gl.Uniform1i(u[2], linear ? 1 : 0);
  gl.Uniform1f(u[3], wide ? 0.002f : 0.5f);
  gl.Uniform4fv(u[4], 1, units.step);
  gl.Uniform4fv(u[5], 1, units.top);
  gl.Uniform4fv(u[6], 1, to.step);
  gl.BindVertexArray(copy_vertex_array_);
  gl.DrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  gl.BindVertexArray(0);
  gl.BindSampler(15, 0);
  return true;
}

int Device::ReadShown(uint32_t* pixels, int width, int height, int pitch) {
  if (!shown_texture_ || width != shown_width_ || height != shown_height_ || !MakeCurrent()) return -1;
  gl.BindFramebuffer(GL_READ_FRAMEBUFFER, shown_framebuffer_);
  gl.PixelStorei(GL_PACK_ROW_LENGTH, pitch / 4);
  gl.ReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
  gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
  for (int y = 0; y < height; y++) {
    uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + (size_t)y * pitch);
    for (int x = 0; x < width; x++) row[x] &= 0xFFFFFFu;
  }
  return 0;
}

uint32_t SwapChain::AddRef() { return device_->AddRef(); }
uint32_t SwapChain::Release() { return device_->Release(); }

HRESULT SwapChain::Present(const RECT* source, const RECT* dest, HWND, const void*, DWORD) {
  return device_->PresentBackBuffer(source, dest);
}

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  return device_->GetBackBuffer(0, index, type, surface);
}

HRESULT Device::GetBackBuffer(UINT swap_chain, UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  if (swap_chain != 0 || index != 0 || type != D3DBACKBUFFER_TYPE_MONO || !surface) return D3DERR_INVALIDCALL;
  *surface = back_buffer_.get();
  AddRef();
  return D3D_OK;
}

HRESULT Device::GetSwapChain(UINT index, IDirect3DSwapChain9** swap_chain) {
  if (index != 0 || !swap_chain) return D3DERR_INVALIDCALL;
  *swap_chain = &swap_chain_;
  AddRef();
  return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  FillCaps(caps);
  return D3D_OK;
}

}  // namespace vox_d3d9
