// The device: its context on the device window, its creation and end, and
// what it answers about itself. Its states (d3d9_device_state.cpp), its
// pipeline (d3d9_pipeline.cpp), its draws and clears (d3d9_device_draw.cpp)
// and its present (d3d9_present.cpp) live beside it.
#include <bit>
#include <cstring>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; i++) m.m[i][i] = 1.0f;
  return m;
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
  render_states_[D3DRS_FOGEND] = std::bit_cast<DWORD>(1.0f);
  render_states_[D3DRS_FOGDENSITY] = std::bit_cast<DWORD>(1.0f);
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

void Device::CountPass(LONG width, LONG height) const {
  const D3DSURFACE_DESC& bb = back_buffer_->desc();
  if ((uint64_t)width * (uint64_t)height >= (uint64_t)bb.Width * bb.Height) g_draw_counts.full_screen_passes++;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) {
  if (!caps) return D3DERR_INVALIDCALL;
  FillCaps(caps);
  return D3D_OK;
}


uint32_t SwapChain::AddRef() { return device_->AddRef(); }
uint32_t SwapChain::Release() { return device_->Release(); }

HRESULT SwapChain::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface9** surface) {
  return device_->GetBackBuffer(0, index, type, surface);
}


}  // namespace vox_d3d9
