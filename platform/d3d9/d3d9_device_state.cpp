// The device's states: render, sampler and texture-stage states, textures,
// transforms, material and lights, viewport and scissor, vertex format and
// shader constants, the render target and depth surface, and the scene.
// They are kept here and take effect at the next draw (d3d9_pipeline.cpp);
// sampler states go to their GL sampler object at once.
#include <algorithm>
#include <bit>
#include <cstring>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

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


}  // namespace

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  if (state >= D3DRS_COUNT) return D3DERR_INVALIDCALL;
  StoreState(render_states_[state], value);
  return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  if (state >= D3DRS_COUNT || !value) return D3DERR_INVALIDCALL;
  *value = render_states_[state];
  return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value) {
  if (sampler >= 16 || state >= D3DSAMP_COUNT) return D3DERR_INVALIDCALL;
  if (!StoreState(sampler_states_[sampler][state], value)) return D3D_OK;
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
  gl.SamplerParameterf(s, GL_TEXTURE_LOD_BIAS, std::bit_cast<float>(st[D3DSAMP_MIPMAPLODBIAS]));
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
  StoreState(stage_states_[stage][state], value);
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DTexture9* texture) {
  if (stage >= 8) return D3DERR_INVALIDCALL;
  Texture* t = static_cast<Texture*>(texture);
  if (t && t->device() != this) return D3DERR_INVALIDCALL;
  StoreState(textures_[stage], t);
  return D3D_OK;
}

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix) return D3DERR_INVALIDCALL;
  if (state == D3DTS_WORLD) StoreState(world_, *matrix);
  else if (state == D3DTS_VIEW) StoreState(view_, *matrix);
  else if (state == D3DTS_PROJECTION) StoreState(projection_, *matrix);
  else if (state >= D3DTS_TEXTURE0 && state < D3DTS_TEXTURE0 + 8)
    StoreState(texture_matrices_[state - D3DTS_TEXTURE0], *matrix);
  else return D3DERR_INVALIDCALL;
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) {
  if (!material) return D3DERR_INVALIDCALL;
  StoreState(material_, *material);
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) {
  if (!light || light->Type < D3DLIGHT_POINT || light->Type > D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
  StoreState(lights_[index], *light);
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
  bool was = at != enabled_lights_.end(), now = enable != FALSE;
  if (!StoreState(was, now)) return D3D_OK;
  if (now) enabled_lights_.push_back(index);
  else enabled_lights_.erase(at);
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) {
  if (!viewport || !render_target_) return D3DERR_INVALIDCALL;
  const D3DSURFACE_DESC& d = render_target_->desc();
  if (viewport->Width == 0 || viewport->Height == 0 || viewport->X + viewport->Width > d.Width ||
      viewport->Y + viewport->Height > d.Height)
    return D3DERR_INVALIDCALL;
  StoreState(viewport_, *viewport);
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) {
  if (!viewport) return D3DERR_INVALIDCALL;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) {
  if (!rect || rect->left > rect->right || rect->top > rect->bottom) return D3DERR_INVALIDCALL;
  StoreState(scissor_, *rect);
  return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) {
  StoreState(fvf_, fvf);
  return D3D_OK;
}

// Direct3D byte code cannot run on GL: only "none" can be selected, and
// none stays selected.
HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) {
  g_draw_counts.state_calls++;
  return shader ? D3DERR_NOTAVAILABLE : D3D_OK;
}
HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) {
  g_draw_counts.state_calls++;
  return shader ? D3DERR_NOTAVAILABLE : D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* declaration) {
  // A declaration replaces the vertex format; drawing needs a format.
  if (declaration) StoreState(fvf_, DWORD{0});
  return D3D_OK;
}

namespace {

// Stores `count` constant registers from `start` on (a float register holds four values).
template <class Register, size_t N>
HRESULT StoreConstants(Register (&registers)[N], UINT start, const void* values, UINT count) {
  if (!values || start + count > N) return D3DERR_INVALIDCALL;
  g_draw_counts.state_calls++;
  if (std::memcmp(&registers[start], values, count * sizeof(Register)) == 0) return D3D_OK;
  g_draw_counts.state_changes++;
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
  StoreState(render_target_, s);
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
  StoreState(depth_, s);
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

}  // namespace vox_d3d9
