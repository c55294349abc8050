// The device's pipeline: the generated fixed-function program for the
// states of a draw, the vertex layout of a vertex format, and the GL state
// a draw is made with.
#include <bit>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/d3d9/d3d9_internal.h"
#include "platform/d3d9/d3d9_program.h"

namespace vox_d3d9 {

namespace {

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

// ---- the pipeline state of a draw ----------------------------------------------------------

void Device::ApplyPipelineState(DWORD fvf, const Program* p) {
  bool pretransformed = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
  gl.UseProgram(p->program);
  SetFixedUniforms(p, pretransformed);
  if (p->u_lights >= 0) SetLightingUniforms(p);
  SetTexelUniforms(p);
  BindStageTextures();
  ApplyBlend();
  ApplyDepthAndCull();
  ApplyTargetArea(pretransformed);
}

// The target's size, the texture factor, alpha reference, fog and the transforms.
void Device::SetFixedUniforms(const Program* p, bool pretransformed) {
  const DWORD* rs = render_states_;
  const D3DSURFACE_DESC& target = render_target_->desc();
  gl.Uniform4f(p->u_target, 2.0f / (float)target.Width, 2.0f / (float)target.Height, 1.0f / (float)viewport_.Width,
               1.0f / (float)viewport_.Height);
  float c[4];
  ColourToFloats(rs[D3DRS_TEXTUREFACTOR], c);
  gl.Uniform4fv(p->u_tfactor, 1, c);
  gl.Uniform1f(p->u_alpha_ref, (float)(rs[D3DRS_ALPHAREF] & 255));
  gl.Uniform4f(p->u_fog, std::bit_cast<float>(rs[D3DRS_FOGSTART]), std::bit_cast<float>(rs[D3DRS_FOGEND]),
               std::bit_cast<float>(rs[D3DRS_FOGDENSITY]), 0.0f);
  ColourToFloats(rs[D3DRS_FOGCOLOR], c);
  gl.Uniform4fv(p->u_fog_colour, 1, c);
  if (!pretransformed) {
    D3DMATRIX world_view = Multiply(world_, view_);
    gl.UniformMatrix4fv(p->u_world_view, 1, GL_FALSE, &world_view.m[0][0]);
    gl.UniformMatrix4fv(p->u_projection, 1, GL_FALSE, &projection_.m[0][0]);
  }
  if (p->u_tex_matrix >= 0) gl.UniformMatrix4fv(p->u_tex_matrix, 8, GL_FALSE, &texture_matrices_[0].m[0][0]);
}

// The ambient colour, the material and the enabled lights (at most 8), in view space.
void Device::SetLightingUniforms(const Program* p) {
  float c[4];
  ColourToFloats(render_states_[D3DRS_AMBIENT], c);
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

// How each stage's texels are read (a wide target's are cut to its units)
// and the units of the target written.
void Device::SetTexelUniforms(const Program* p) {
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
}

void Device::BindStageTextures() {
  for (int s = 0; s < 8; s++) {
    if (!textures_[s]) continue;
    gl.ActiveTexture(GL_TEXTURE0 + (GLenum)s);
    gl.BindTexture(GL_TEXTURE_2D, textures_[s]->gl_texture());
    gl.BindSampler((GLuint)s, samplers_[s]);
  }
}

void Device::ApplyBlend() {
  const DWORD* rs = render_states_;
  if (!rs[D3DRS_ALPHABLENDENABLE]) {
    gl.Disable(GL_BLEND);
    return;
  }
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
}

void Device::ApplyDepthAndCull() {
  const DWORD* rs = render_states_;
  if (rs[D3DRS_ZENABLE] && depth_) {
    gl.Enable(GL_DEPTH_TEST);
    gl.DepthFunc(CompareFunc(rs[D3DRS_ZFUNC]));
    gl.DepthMask(rs[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    if (rs[D3DRS_ZWRITEENABLE]) depth_->cleared_depth.known = false;
    float bias = std::bit_cast<float>(rs[D3DRS_DEPTHBIAS]);
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
}

// The channels written, the GL viewport and the scissor rectangle.
void Device::ApplyTargetArea(bool pretransformed) {
  GLboolean alpha = render_target_->format()->alpha_one ? GL_FALSE : GL_TRUE;
  gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, alpha);
  // The viewport of pre-transformed vertices is the whole target; Direct3D
  // clips them to its viewport, which the scissor rectangle does here.
  if (pretransformed) {
    const D3DSURFACE_DESC& target = render_target_->desc();
    gl.Viewport(0, 0, (GLsizei)target.Width, (GLsizei)target.Height);
    gl.DepthRange(0.0, 1.0);
  } else {
    gl.Viewport((GLint)viewport_.X, (GLint)viewport_.Y, (GLsizei)viewport_.Width, (GLsizei)viewport_.Height);
    gl.DepthRange(viewport_.MinZ, viewport_.MaxZ);
  }
  ScissorTo(ViewportRect());
}

}  // namespace vox_d3d9
