// The render-state cache: every device state the engine changes goes
// through one setter here that skips a value already sent, draws the
// pending batch before a change (so queued vertices keep the state they were
// queued under) and keeps what it sent, so that the whole state can be
// pushed to a new device.
#include <bit>
#include <cstring>

#include "engine/core/log.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

DeviceStateCache g_rs{};

namespace {

IDirect3DDevice9* Device() { return g_device.device; }
bool Forced() { return g_rs.force != 0; }

// The filters of a draw-state filter mode: 0 nearest, 1 bilinear, 2
// anisotropic minification with linear mip-maps. One table serves the
// filter setter and the device's initial state.
void FiltersOf(int mode, uint32_t* mag, uint32_t* min, uint32_t* mip) {
  switch (mode) {
    case 1: *mag = D3DTEXF_LINEAR, *min = D3DTEXF_LINEAR, *mip = D3DTEXF_NONE; return;
    case 2: *mag = D3DTEXF_LINEAR, *min = D3DTEXF_ANISOTROPIC, *mip = D3DTEXF_LINEAR; return;
  }
  *mag = D3DTEXF_POINT, *min = D3DTEXF_POINT, *mip = D3DTEXF_NONE;
}

// Stages a sampler setter touches: those in use, and always stage 0.
int SamplerStages() { return g_rs.stages_in_use > 0 ? (g_rs.stages_in_use < 8 ? g_rs.stages_in_use : 8) : 1; }

void Sampler(int stage, D3DSAMPLERSTATETYPE state, uint32_t value, uint32_t* cached) {
  if (*cached == value && !Forced()) return;
  FlushVertexBatch();
  Device()->SetSamplerState((DWORD)stage, state, value);
  *cached = value;
}

// The cache's one step for a render state: unless the cache holds `value`
// already (and no push is forced), draws the pending batch (unless told
// not to), sends `sent` for the state and keeps value. 1 when it was sent,
// 0 when the cache already held it, -1 when the device refused it.
template <class T>
int SendState(D3DRENDERSTATETYPE state, DWORD sent, T value, T* cached, bool flush = true) {
  if (*cached == value && !Forced()) return 0;
  if (flush) FlushVertexBatch();
  HRESULT hr = Device()->SetRenderState(state, sent);
  *cached = value;
  return hr == D3D_OK ? 1 : -1;
}

int RenderStateCached(D3DRENDERSTATETYPE state, uint32_t value, int32_t* cached, bool flush = true) {
  if (!Device()) return -1;
  return SendState(state, value, (int32_t)value, cached, flush) < 0 ? -1 : 0;
}

void RefreshHighestLight() {
  g_rs.highest_light = -1;
  for (int i = 255; i >= 0; i--)
    if (g_rs.light_enabled[i]) {
      g_rs.highest_light = i;
      break;
    }
}

}  // namespace

// ---- samplers ----------------------------------------------------------------------------------

int SetFilterMode(int mode) {
  if (!Device()) return -1;
  if (mode == g_rs.filter_mode && !Forced()) return 0;
  g_rs.filter_mode = mode;
  uint32_t mag, min, mip;
  FiltersOf(mode, &mag, &min, &mip);
  for (int s = 0; s < SamplerStages(); s++) {
    Sampler(s, D3DSAMP_MAGFILTER, mag, &g_rs.mag_filter[s]);
    Sampler(s, D3DSAMP_MINFILTER, min, &g_rs.min_filter[s]);
    Sampler(s, D3DSAMP_MIPFILTER, mip, &g_rs.mip_filter[s]);
  }
  return 0;
}

int SetMaxAnisotropy(int n) {
  if (!Device()) return -1;
  if (n < 1) n = 1;
  g_rs.max_anisotropy = (uint32_t)n;
  for (int s = 0; s < SamplerStages(); s++) Sampler(s, D3DSAMP_MAXANISOTROPY, (uint32_t)n, &g_rs.stage_anisotropy[s]);
  return 0;
}

namespace {

// The address mode of U, V or both, on one stage or on all 8 (stage -1),
// sent where the cache differs; -1 when the device refused V.
int SendAddress(uint32_t mode, int stage, bool u, bool v) {
  if (!Device()) return 0;
  if (stage < -1 || stage > 7) return -1;
  int first = stage < 0 ? 0 : stage, last = stage < 0 ? 7 : stage;
  bool same = true;
  for (int s = first; s <= last; s++)
    same = same && (!u || g_rs.address_u[s] == mode) && (!v || g_rs.address_v[s] == mode);
  if (same && !Forced()) return 0;
  FlushVertexBatch();
  int result = 0;
  for (int s = first; s <= last; s++) {
    if (u) {
      Device()->SetSamplerState((DWORD)s, D3DSAMP_ADDRESSU, mode);
      g_rs.address_u[s] = mode;
    }
    if (v) {
      if (Device()->SetSamplerState((DWORD)s, D3DSAMP_ADDRESSV, mode) != D3D_OK) result = -1;
      g_rs.address_v[s] = mode;
    }
  }
  return result;
}

}  // namespace

int SetTextureAddress(uint32_t mode, int stage) { return SendAddress(mode, stage, true, true); }
int SetTextureAddressU(uint32_t mode, int stage) { return SendAddress(mode, stage, true, false); }
int SetTextureAddressV(uint32_t mode, int stage) { return SendAddress(mode, stage, false, true); }

int SetTextureTransform(int flag, const D3DMATRIX* matrix, int stage) {
  if (!Device()) return 0;
  int first = stage < 0 ? 0 : stage, last = stage < 0 ? 3 : stage;
  if (first > 7 || last > 7) return -1;
  FlushVertexBatch();
  for (int s = first; s <= last; s++) {
    if (flag == 1 && matrix) {
      Device()->SetTextureStageState((DWORD)s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT3);
      Device()->SetTransform(D3DTS_TEXTURE0 + (DWORD)s, matrix);
      g_rs.texture_matrix[s] = *matrix;
      g_rs.texture_transform[s] = 1;
    } else {
      Device()->SetTextureStageState((DWORD)s, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
      g_rs.texture_transform[s] = 0;
    }
  }
  return 0;
}

int SetStageTexture(int stage, IDirect3DTexture9* texture) {
  if (!Device() || stage < 0 || stage > 7) return -1;
  if (g_rs.stages[stage].texture == texture && !Forced()) return 0;
  FlushVertexBatch();
  Device()->SetTexture((DWORD)stage, texture);
  g_rs.stages[stage].texture = texture;
  return 0;
}

// ---- blend inputs ----------------------------------------------------------------------------------

int SetBlendState(int mode, int colour_key, int alpha_channel) {
  if (!Device()) return -1;
  if (mode != g_rs.blend_mode || colour_key != g_rs.colour_key || alpha_channel != g_rs.alpha_channel) {
    g_rs.blend_mode = mode;
    g_rs.colour_key = colour_key;
    g_rs.alpha_channel = alpha_channel;
    g_rs.blend_dirty = 1;
  }
  return 0;
}

int SetBrightnessInUse(int flag) {
  if (!Device()) return -1;
  if (flag != g_rs.brightness_in_use) g_rs.blend_dirty = 1;
  g_rs.brightness_in_use = flag;
  return 0;
}

int SetParameterInUse(int flag) {
  if (!Device()) return -1;
  if (flag != g_rs.parameter_in_use) g_rs.blend_dirty = 1;
  g_rs.parameter_in_use = flag;
  return 0;
}

// ---- depth, shading, lighting, fog ------------------------------------------------------------------

int SetZEnable(int flag) { return RenderStateCached(D3DRS_ZENABLE, flag == 1 ? TRUE : FALSE, &g_rs.z_enable); }
int SetZWrite(int flag) { return RenderStateCached(D3DRS_ZWRITEENABLE, (uint32_t)flag, &g_rs.z_write); }

int SetZCompare(uint32_t func) {
  if (!Device()) return -1;
  SendState(D3DRS_ZFUNC, func, func, &g_rs.z_func);
  return 0;
}

int SetDepthBias(uint32_t bits) {
  if (!Device()) return -1;
  SendState(D3DRS_DEPTHBIAS, bits, bits, &g_rs.depth_bias);
  return 0;
}

int SetCullMode(int flag) {
  if (!Device()) return 0;
  SendState(D3DRS_CULLMODE, flag ? D3DCULL_CCW : D3DCULL_NONE, flag ? 1 : 0, &g_rs.cull);
  return 0;
}

int SetShadeMode(uint32_t mode) {
  if (!Device()) return 0;
  return SendState(D3DRS_SHADEMODE, mode, mode, &g_rs.shade_mode) < 0 ? -1 : 0;
}

int SetSpecularEnable(int flag) {
  if (!Device()) return 0;
  return RenderStateCached(D3DRS_SPECULARENABLE, (uint32_t)flag, &g_rs.specular_enable);
}

int SetDiffuseMaterialSource(int flag) {
  if (!Device()) return 0;
  DWORD source = flag ? D3DMCS_COLOR1 : D3DMCS_MATERIAL;
  return SendState(D3DRS_DIFFUSEMATERIALSOURCE, source, (int32_t)flag, &g_rs.diffuse_source) < 0 ? -1 : 0;
}

int SetSpecularMaterialSource(int flag) {
  if (!Device()) return 0;
  DWORD source = flag ? D3DMCS_COLOR2 : D3DMCS_MATERIAL;
  return SendState(D3DRS_SPECULARMATERIALSOURCE, source, (int32_t)flag, &g_rs.specular_source) < 0 ? -1 : 0;
}

int SetNormalizeNormals(int flag) {
  if (!Device()) return 0;
  FlushVertexBatch();
  Device()->SetRenderState(D3DRS_NORMALIZENORMALS, flag ? TRUE : FALSE);
  return 0;
}

int SetAmbientColor(uint32_t argb) {
  if (!Device()) return 0;
  FlushVertexBatch();
  HRESULT hr = Device()->SetRenderState(D3DRS_AMBIENT, argb);
  g_rs.ambient = argb;
  g_rs.ambient_f[0] = (float)(argb >> 24) / 255.0f;
  g_rs.ambient_f[1] = (float)((argb >> 16) & 255) / 255.0f;
  g_rs.ambient_f[2] = (float)((argb >> 8) & 255) / 255.0f;
  g_rs.ambient_f[3] = (float)(argb & 255) / 255.0f;
  UpdateShaderAmbientProducts();
  return hr == D3D_OK ? 0 : -1;
}

int SetLighting(int flag) {
  if (!Device()) return 0;
  return RenderStateCached(D3DRS_LIGHTING, (uint32_t)flag, &g_rs.lighting, false);
}

int SetFogEnableState(int flag) {
  if (!Device()) return 0;
  return RenderStateCached(D3DRS_FOGENABLE, (uint32_t)flag, &g_rs.fog_enable);
}

int SetFogModeState(uint32_t mode) {
  if (!Device()) return 0;
  int sent = SendState(D3DRS_FOGVERTEXMODE, mode, mode, &g_rs.fog_mode);
  if (sent != 0) UpdateShaderFog();
  return sent < 0 ? -1 : 0;
}

int SetFogColorState(uint32_t argb) {
  if (!Device()) return 0;
  return SendState(D3DRS_FOGCOLOR, argb, argb, &g_rs.fog_colour) < 0 ? -1 : 0;
}

int SetFogRangeState(float start, float end) {
  if (!Device()) return 0;
  FlushVertexBatch();
  HRESULT hr = D3D_OK;
  if (start != g_rs.fog_start || Forced()) hr = Device()->SetRenderState(D3DRS_FOGSTART, std::bit_cast<DWORD>(start));
  if (end != g_rs.fog_end || Forced()) {
    HRESULT second = Device()->SetRenderState(D3DRS_FOGEND, std::bit_cast<DWORD>(end));
    if (second != D3D_OK) hr = second;
  }
  g_rs.fog_start = start;
  g_rs.fog_end = end;
  UpdateShaderFog();
  return hr == D3D_OK ? 0 : -1;
}

int SetFogDensityState(float density) {
  if (!Device()) return 0;
  int sent = SendState(D3DRS_FOGDENSITY, std::bit_cast<DWORD>(density), density, &g_rs.fog_density);
  if (sent != 0) UpdateShaderFog();
  return sent < 0 ? -1 : 0;
}

int SetMaterialCached(const D3DMATERIAL9* material) {
  if (!Device() || !material) return 0;
  if (std::memcmp(&g_rs.material, material, sizeof *material) == 0 && !Forced()) return 0;
  FlushVertexBatch();
  Device()->SetMaterial(material);
  g_rs.material = *material;
  UpdateShaderMaterial();
  UpdateShaderAmbientProducts();
  return 0;
}

int SetLightCached(int index, const D3DLIGHT9* light) {
  if (!Device() || !light) return 0;
  FlushVertexBatch();
  HRESULT hr = Device()->SetLight((DWORD)index, light);
  if (index >= 0 && index < 256) {
    g_rs.lights[index] = *light;
    UpdateShaderLight(index);
    UpdateShaderAmbientProducts();
  }
  return hr == D3D_OK ? 0 : -1;
}

int EnableLight(int index, int flag) {
  if (!Device()) return 0;
  FlushVertexBatch();
  HRESULT hr = Device()->LightEnable((DWORD)index, flag ? TRUE : FALSE);
  if (index >= 0 && index < 256) {
    g_rs.light_enabled[index] = flag ? 1 : 0;
    if (flag && index > g_rs.highest_light) g_rs.highest_light = index;
    if (!flag && index == g_rs.highest_light) RefreshHighestLight();
    UpdateShaderLightEnable(index);
    UpdateShaderAmbientProducts();
  }
  return hr == D3D_OK ? 0 : -1;
}

// ---- transforms, viewport, scissor -------------------------------------------------------------------

namespace {

// Draws the pending batch and sends the transform; false without a device.
bool SendTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* m) {
  if (!Device()) return false;
  FlushVertexBatch();
  Device()->SetTransform(state, m);
  return true;
}

}  // namespace

int SetWorldTransform(const D3DMATRIX* m) {
  SendTransform(D3DTS_WORLD, m);
  return 0;
}

int SetViewTransform(const D3DMATRIX* m) {
  if (SendTransform(D3DTS_VIEW, m)) UpdateShaderView(m);
  return 0;
}

int SetProjectionTransform(const D3DMATRIX* m) {
  if (SendTransform(D3DTS_PROJECTION, m)) UpdateShaderProjection(m);
  return 0;
}

int SetViewportCached(const D3DVIEWPORT9* vp) {
  if (!Device()) return -1;
  const D3DVIEWPORT9& c = g_rs.viewport;
  if (c.X == vp->X && c.Y == vp->Y && c.Width == vp->Width && c.Height == vp->Height && !Forced()) return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  HRESULT hr = Device()->SetViewport(vp);
  if (hr != D3D_OK) {
    // The old cache stays, so the same call is tried again next time.
    WriteLogFormat("ビューポートのセットに失敗しました ErrorCode %x\n", (unsigned)hr);
    return -1;
  }
  g_rs.viewport = *vp;
  return 0;
}

int SetScissorCached(const RECT* rect) {
  if (!Device()) return -1;
  const RECT& c = g_rs.scissor;
  if (c.left == rect->left && c.top == rect->top && c.right == rect->right && c.bottom == rect->bottom && !Forced())
    return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  Device()->SetScissorRect(rect);
  g_rs.scissor = *rect;
  return 0;
}

int SetScissorTest(int flag) {
  if (!Device()) return -1;
  if (g_rs.scissor_test == flag && !Forced()) return 0;
  FlushVertexBatch();
  EndSceneIfOpen();
  Device()->SetRenderState(D3DRS_SCISSORTESTENABLE, flag ? TRUE : FALSE);
  g_rs.scissor_test = flag;
  return 0;
}

// ---- whole-state pushes ------------------------------------------------------------------------------

int InitDeviceState() {
  IDirect3DDevice9* d = Device();
  if (!d) return -1;
  ResetVertexBatch();
  for (int s = 0; s < 8; s++) {
    for (uint32_t* a : {&g_draw.address_u[s], &g_draw.address_v[s]})
      if (*a == 0) *a = D3DTADDRESS_CLAMP;
    d->SetSamplerState((DWORD)s, D3DSAMP_ADDRESSU, g_draw.address_u[s]);
    d->SetSamplerState((DWORD)s, D3DSAMP_ADDRESSV, g_draw.address_v[s]);
    g_rs.address_u[s] = g_draw.address_u[s];
    g_rs.address_v[s] = g_draw.address_v[s];
    uint32_t mag, min, mip;
    FiltersOf(g_draw.filter_mode, &mag, &min, &mip);
    d->SetSamplerState((DWORD)s, D3DSAMP_MAGFILTER, mag);
    d->SetSamplerState((DWORD)s, D3DSAMP_MINFILTER, min);
    d->SetSamplerState((DWORD)s, D3DSAMP_MIPFILTER, mip);
    g_rs.mag_filter[s] = mag, g_rs.min_filter[s] = min, g_rs.mip_filter[s] = mip;
  }
  d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  d->SetRenderState(D3DRS_LIGHTING, TRUE);
  d->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
  d->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  d->SetRenderState(D3DRS_SPECULARENABLE, TRUE);
  d->SetRenderState(D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL);
  for (StageRecord& st : g_rs.stages) {
    st.texture = nullptr;
    st.texcoord = -1;
    st.words[SW_ALPHA_ARG1] = D3DTA_TEXTURE;
    st.words[SW_ALPHA_ARG2] = D3DTA_DIFFUSE;
    st.words[SW_ALPHA_OP] = D3DTOP_DISABLE;
    st.words[SW_COLOUR_ARG1] = D3DTA_TEXTURE;
    st.words[SW_COLOUR_ARG2] = D3DTA_DIFFUSE;
    st.words[SW_COLOUR_OP] = D3DTOP_DISABLE;
  }
  g_rs.stages_in_use = 0;
  g_rs.force = 0;
  g_rs.filter_mode = 3;
  g_rs.max_anisotropy = 1;
  for (uint32_t& a : g_rs.stage_anisotropy) a = 1;
  for (int32_t& t : g_rs.texture_transform) t = 0;
  g_rs.blend_mode = g_rs.alpha_channel = g_rs.colour_key = 0;
  g_rs.brightness_in_use = g_rs.parameter_in_use = 0;
  g_rs.blend_dirty = 1;
  g_rs.texture_changed = 0;
  g_rs.graph_texture = g_rs.blend_texture = nullptr;
  g_rs.z_enable = 1;
  g_rs.z_write = 0;
  g_rs.z_func = D3DCMP_LESSEQUAL;
  g_rs.depth_bias = 0;
  g_rs.cull = 0;
  g_rs.shade_mode = D3DSHADE_FLAT;
  g_rs.specular_enable = 1;
  g_rs.lighting = 1;
  g_rs.viewport = D3DVIEWPORT9{0, 0, (DWORD)g_screen.width, (DWORD)g_screen.height, 0.0f, 1.0f};
  g_rs.render_target = g_device.back_buffer;
  g_rs.last_fvf = 0;
  ReapplyRenderStates();
  BeginSceneOnce();
  PrepareTextureDrawState(nullptr, nullptr, 0);
  if (g_rs.blend_dirty || g_rs.texture_changed) ApplyBlendPipeline(nullptr, 0, 0);
  // One point queued, so that the first later draw of another primitive
  // type draws it first.
  uint8_t* v = AppendVertices(1, D3DPT_POINTLIST);
  std::memset(v, 0, (size_t)kBatchStride[g_batch.format]);
  float one = 1.0f;
  std::memcpy(v + 12, &one, 4);
  return 0;
}

int ReapplyFixedStates() {
  IDirect3DDevice9* d = Device();
  if (!d) return -1;
  FlushVertexBatch();
  for (int s = 0; s < 4; s++) {
    d->SetSamplerState((DWORD)s, D3DSAMP_ADDRESSU, g_rs.address_u[s]);
    d->SetSamplerState((DWORD)s, D3DSAMP_ADDRESSV, g_rs.address_v[s]);
  }
  static const DWORD kTexCoord[4] = {0, 1, 1, 0};
  for (int s = 0; s < 4; s++) {
    d->SetTextureStageState((DWORD)s, D3DTSS_TEXCOORDINDEX, kTexCoord[s]);
    g_rs.stages[s].texcoord = (int32_t)kTexCoord[s];
  }
  d->SetRenderState(D3DRS_SHADEMODE, g_rs.shade_mode);
  d->SetRenderState(D3DRS_LIGHTING, (DWORD)g_rs.lighting);
  d->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  d->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  if (ProgrammableShadersInUse()) UpdateShaderDefaults();
  d->SetVertexShader(nullptr);
  d->SetPixelShader(nullptr);
  g_rs.last_fvf = 0;
  return 0;
}

int ReapplyRenderStates() {
  if (!Device()) return 0;
  g_rs.force = 1;
  D3DVIEWPORT9 vp = g_rs.viewport;
  SetViewportCached(&vp);
  RECT scissor = g_rs.scissor;
  SetScissorCached(&scissor);
  ReapplyFixedStates();
  SetFilterMode(g_rs.filter_mode == 3 ? g_draw.filter_mode : g_rs.filter_mode);
  ApplyBlendPipeline(nullptr, 0, 0);
  SetZEnable(g_rs.z_enable);
  SetZWrite(g_rs.z_write);
  SetZCompare(g_rs.z_func);
  SetDepthBias(g_rs.depth_bias);
  SetCullMode(g_rs.cull);
  SetShadeMode(g_rs.shade_mode);
  g_rs.force = 0;
  return 0;
}

int ApplyDefaultRenderStates() {
  IDirect3DDevice9* d = Device();
  if (!d) return -1;
  d->SetRenderState(D3DRS_DITHERENABLE, FALSE);
  g_rs.force = 1;
  g_batch.count = 0;
  g_batch.write = g_batch.buffers[g_batch.format];
  SetBlendState(g_rs.blend_mode, g_rs.colour_key, g_rs.alpha_channel);
  SetCullMode(g_rs.cull);
  SetFilterMode(g_rs.filter_mode == 3 ? g_draw.filter_mode : g_rs.filter_mode);
  SetBlendState(g_rs.blend_mode, g_rs.colour_key, g_rs.alpha_channel);
  SetShadeMode(g_rs.shade_mode);
  SetMaxAnisotropy((int)g_rs.max_anisotropy);
  SetCullMode(g_rs.cull);
  for (int s = 0; s < 8; s++) {
    SetTextureAddressU(g_rs.address_u[s], s);
    SetTextureAddressV(g_rs.address_v[s], s);
    SetTextureTransform(g_rs.texture_transform[s], &g_rs.texture_matrix[s], s);
  }
  SetFogEnableState(g_rs.fog_enable);
  SetFogModeState(g_rs.fog_mode);
  SetFogColorState(g_rs.fog_colour);
  SetFogRangeState(g_rs.fog_start, g_rs.fog_end);
  SetFogDensityState(g_rs.fog_density);
  SetZEnable(g_rs.z_enable);
  SetZWrite(g_rs.z_write);
  SetZCompare(g_rs.z_func);
  SetDepthBias(g_rs.depth_bias);
  ResendTransforms();
  D3DMATERIAL9 material = g_rs.material;
  SetMaterialCached(&material);
  SetSpecularEnable(g_rs.specular_enable);
  SetDiffuseMaterialSource(g_rs.diffuse_source == 255 ? 1 : g_rs.diffuse_source);
  SetSpecularMaterialSource(g_rs.specular_source == 255 ? 0 : g_rs.specular_source);
  SetAmbientColor(g_rs.ambient);
  SetLighting(g_rs.lighting);
  for (int i = 0; i < 256; i++) {
    if (g_rs.lights[i].Type == 0) continue;
    D3DLIGHT9 light = g_rs.lights[i];
    SetLightCached(i, &light);
    EnableLight(i, g_rs.light_enabled[i]);
  }
  D3DVIEWPORT9 vp{(DWORD)g_draw.clip[0], (DWORD)g_draw.clip[1], (DWORD)(g_draw.clip[2] - g_draw.clip[0]),
                  (DWORD)(g_draw.clip[3] - g_draw.clip[1]), 0.0f, 1.0f};
  if (vp.Width && vp.Height) SetViewportCached(&vp);
  RECT scissor{g_draw.clip[0], g_draw.clip[1], g_draw.clip[2], g_draw.clip[3]};
  SetScissorCached(&scissor);
  ApplyBlendPipeline(nullptr, 0, 0);
  ReapplyRenderStates();
  g_rs.force = 0;
  return 0;
}

int DrawVertexGrid(const void* vertices, int columns, int rows) {
  IDirect3DDevice9* d = Device();
  if (!d) return 0;
  if (columns < 2 || rows < 2) return -1;
  FlushVertexBatch();
  UseVertexFormat(d, 0x144);
  NoteDepthWrites();
  uint16_t indices[1024];
  int n = 0;
  UINT vertex_count = (UINT)(columns * rows);
  auto draw = [&]() {
    if (n >= 3) d->DrawIndexedPrimitiveUP(D3DPT_TRIANGLESTRIP, 0, vertex_count, (UINT)(n - 2), indices,
                                          D3DFMT_INDEX16, vertices, 28);
    n = 0;
  };
  for (int r = 0; r + 1 < rows; r++) {
    int needed = columns * 2 + (n ? 2 : 0);
    if (n && n + needed > 1000) draw();
    if (n) {
      // Rows are linked by repeating the last index and the next first one.
      indices[n] = indices[n - 1];
      n++;
      indices[n++] = (uint16_t)((r + 1) * columns);
    }
    for (int c = 0; c < columns; c++) {
      indices[n++] = (uint16_t)((r + 1) * columns + c);
      indices[n++] = (uint16_t)(r * columns + c);
    }
  }
  draw();
  return 0;
}

}  // namespace device
