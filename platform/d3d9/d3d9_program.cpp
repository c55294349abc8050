// The fixed-function pipeline as GLSL: one vertex and one fragment shader
// generated for each combination of vertex format, lighting, fog, alpha test
// and texture-stage states that a draw uses.
//
// Pixel geometry follows Direct3D 9: pre-transformed positions are render
// target pixels with pixel centres on whole numbers, and transformed ones
// land where the viewport puts them with the same half-pixel shift. Render
// targets are stored with their top row first (GL row 0), so window y and
// Direct3D y are the same numbers; only the present turns the picture over.
#include <cstdio>
#include <string>

#include "platform/d3d9/d3d9_internal.h"
#include "platform/d3d9/d3d9_program.h"

namespace vox_d3d9 {

namespace {

std::string Num(int v) { return std::to_string(v); }

}  // namespace

// A texel's 8-bit value: a wide target's cut to the 8-bit value below it
// and then to its units (steps of 8 for five bits, of 4 for six), widened
// again to the nearest 8-bit value; a plain texture's nearest 8-bit value.
// An 8-bit value in a target's units keeps only their multiples.
const char* const kChannelCuts =
    "vec4 Cut(vec4 raw, float bias, vec4 step, vec4 top) {\n"
    "  vec4 q = floor(floor(raw * 255.0 + bias) / step);\n"
    "  return floor(q * 255.0 / top + 0.5);\n"
    "}\n"
    "vec4 Units(vec4 v, vec4 step) { return floor(v / step) * step; }\n";

namespace {

struct Stage {
  uint32_t colour_op, colour_arg1, colour_arg2, colour_arg0;
  uint32_t alpha_op, alpha_arg1, alpha_arg2, alpha_arg0;
  uint32_t coordinate, bound, transform, result;
};

bool UsesTexture(const Stage& s) {
  auto refers = [](uint32_t arg) { return (arg & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
  bool colour = s.colour_op != D3DTOP_DISABLE &&
                (refers(s.colour_arg1) || refers(s.colour_arg2) || refers(s.colour_arg0) ||
                 s.colour_op == D3DTOP_BLENDTEXTUREALPHA || s.colour_op == D3DTOP_BLENDTEXTUREALPHAPM);
  bool alpha = s.alpha_op != D3DTOP_DISABLE &&
               (refers(s.alpha_arg1) || refers(s.alpha_arg2) || refers(s.alpha_arg0) ||
                s.alpha_op == D3DTOP_BLENDTEXTUREALPHA || s.alpha_op == D3DTOP_BLENDTEXTUREALPHAPM);
  return colour || alpha;
}

// The value of a stage argument as a vec4 expression.
std::string Argument(uint32_t arg, int stage) {
  std::string base;
  switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: base = "diffuse"; break;
    case D3DTA_CURRENT: base = "current"; break;
    case D3DTA_TEXTURE: base = "t" + Num(stage); break;
    case D3DTA_TFACTOR: base = "u_tfactor"; break;
    case D3DTA_SPECULAR: base = "specular"; break;
    case D3DTA_TEMP: base = "temp"; break;
    default: base = "vec4(0.0)"; break;  // per-stage constants are not kept
  }
  if (arg & D3DTA_ALPHAREPLICATE) base = "vec4(" + base + ".a)";
  if (arg & D3DTA_COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
  return base;
}

// One operation on arguments a1, a2, a0 (vec4 names); `part` selects .rgb or .a.
std::string Operation(uint32_t op, const std::string& part, int stage) {
  std::string a1 = "a1" + part, a2 = "a2" + part, a0 = "a0" + part;
  std::string t = "t" + Num(stage);
  switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 + " * " + a2;
    case D3DTOP_MODULATE2X: return "2.0 * " + a1 + " * " + a2;
    case D3DTOP_MODULATE4X: return "4.0 * " + a1 + " * " + a2;
    case D3DTOP_ADD: return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED: return a1 + " + " + a2 + " - 0.5";
    case D3DTOP_ADDSIGNED2X: return "2.0 * (" + a1 + " + " + a2 + " - 0.5)";
    case D3DTOP_SUBTRACT: return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", " + t + ".a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", u_tfactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - " + t + ".a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", current.a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
      return part == ".a" ? a1 : "a1.rgb + a1.a * a2.rgb";
    case D3DTOP_MODULATECOLOR_ADDALPHA:
      return part == ".a" ? a1 : "a1.rgb * a2.rgb + vec3(a1.a)";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
      return part == ".a" ? a1 : "(1.0 - a1.a) * a2.rgb + a1.rgb";
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
      return part == ".a" ? a1 : "(vec3(1.0) - a1.rgb) * a2.rgb + vec3(a1.a)";
    case D3DTOP_DOTPRODUCT3: {
      std::string dot = "clamp(4.0 * dot(a1.rgb - vec3(0.5), a2.rgb - vec3(0.5)), 0.0, 1.0)";
      return part == ".a" ? dot : "vec3(" + dot + ")";
    }
    case D3DTOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: return a1;  // bump mapping and premodulation are not offered
  }
}

// The stage whose alpha operation made the alpha the stages end with (later
// stages that select the current alpha pass it on), or -1.
int AlphaOrigin(const Stage* stages, int count) {
  int origin = -1;
  for (int s = 0; s < count; s++) {
    const Stage& st = stages[s];
    if (st.colour_op == D3DTOP_DISABLE) break;
    if ((st.result & D3DTA_SELECTMASK) == D3DTA_TEMP || st.alpha_op == D3DTOP_DISABLE) continue;
    bool passes_on = (st.alpha_op == D3DTOP_SELECTARG1 && st.alpha_arg1 == D3DTA_CURRENT) ||
                     (st.alpha_op == D3DTOP_SELECTARG2 && st.alpha_arg2 == D3DTA_CURRENT);
    if (!passes_on) origin = s;
  }
  return origin;
}

const char* Compare(uint32_t func) {
  switch (func) {
    case D3DCMP_NEVER: return "false";
    case D3DCMP_LESS: return "a8 < u_alpha_ref";
    case D3DCMP_EQUAL: return "a8 == u_alpha_ref";
    case D3DCMP_LESSEQUAL: return "a8 <= u_alpha_ref";
    case D3DCMP_GREATER: return "a8 > u_alpha_ref";
    case D3DCMP_NOTEQUAL: return "a8 != u_alpha_ref";
    case D3DCMP_GREATEREQUAL: return "a8 >= u_alpha_ref";
    default: return "true";
  }
}

std::string MaterialSource(uint32_t source, int material_index, bool has_diffuse, bool has_specular) {
  if (source == D3DMCS_COLOR1 && has_diffuse) return "a_diffuse";
  if (source == D3DMCS_COLOR2 && has_specular) return "a_specular";
  return "u_material[" + Num(material_index) + "]";
}

}  // namespace

ProgramSource GenerateProgram(const ProgramKey& key) {
  const uint32_t* w = key.words.data();
  uint32_t f = w[0];
  bool pretransformed = f & KEY_PRETRANSFORMED;
  bool has_normal = f & KEY_NORMAL;
  bool has_diffuse = f & KEY_DIFFUSE;
  bool has_specular = f & KEY_SPECULAR;
  int texcount = (int)((f >> KEY_TEXCOUNT_SHIFT) & 15);
  bool lighting = (f & KEY_LIGHTING) && !pretransformed;
  bool flat = f & KEY_FLAT;
  bool specular_enable = f & KEY_SPECULAR_ENABLE;
  bool fog = f & KEY_FOG;
  uint32_t fog_vertex = (f >> KEY_FOG_VERTEX_SHIFT) & 3, fog_table = (f >> KEY_FOG_TABLE_SHIFT) & 3;
  bool alpha_test = f & KEY_ALPHA_TEST;
  uint32_t alpha_func = (f >> KEY_ALPHA_FUNC_SHIFT) & 15;
  bool local_viewer = f & KEY_LOCAL_VIEWER;
  bool normalize = f & KEY_NORMALIZE;
  uint32_t blend = (f >> KEY_BLEND_SHIFT) & 3;
  bool narrow = f & KEY_NARROW_TARGET;
  uint32_t sources = w[1];
  uint32_t light_word = w[2];
  int light_count = (int)(light_word & 15);
  int stage_count = (int)w[3];
  Stage stages[8] = {};
  for (int s = 0; s < stage_count && s < 8; s++) {
    const uint32_t* p = w + 4 + s * KEY_STAGE_WORDS;
    stages[s] = Stage{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11]};
  }
  int alpha_origin = AlphaOrigin(stages, stage_count);
  // An 8-bit value (a GLSL expression) in the target's units.
  auto InUnits = [narrow](const std::string& v) { return narrow ? "Units(" + v + ", u_step)" : v; };
  std::string interp = flat ? "flat " : "";

  // ---- vertex shader
  std::string v = "#version 330 core\n";
  v += "layout(location = 0) in vec4 a_position;\n";
  if (has_normal) v += "layout(location = 1) in vec3 a_normal;\n";
  if (has_diffuse) v += "layout(location = 2) in vec4 a_diffuse;\n";
  if (has_specular) v += "layout(location = 3) in vec4 a_specular;\n";
  for (int t = 0; t < texcount; t++) v += "layout(location = " + Num(4 + t) + ") in vec4 a_tex" + Num(t) + ";\n";
  v += "uniform vec4 u_target;\nuniform mat4 u_world_view;\nuniform mat4 u_projection;\nuniform vec4 u_fog;\n";
  v += "uniform mat4 u_tex_matrix[8];\n";
  if (lighting) v += "uniform vec4 u_ambient;\nuniform vec4 u_material[5];\nuniform vec4 u_lights[" + Num(8 * 7) + "];\n";
  v += interp + "out vec4 v_diffuse;\n" + interp + "out vec4 v_specular;\nout float v_fog;\nout float v_depth;\n";
  for (int s = 0; s < stage_count; s++)
    if (UsesTexture(stages[s])) v += "out vec4 v_tc" + Num(s) + ";\n";
  v += "void main() {\n";
  v += "  vec4 eye = vec4(0.0, 0.0, 0.0, 1.0);\n";
  if (pretransformed) {
    v += "  float w = a_position.w != 0.0 ? 1.0 / a_position.w : 1.0;\n";
    v += "  vec2 ndc = (a_position.xy + vec2(0.5)) * u_target.xy - vec2(1.0);\n";
    v += "  gl_Position = vec4(ndc * w, (2.0 * a_position.z - 1.0) * w, w);\n";
    v += "  v_depth = a_position.z;\n";
  } else {
    v += "  eye = u_world_view * vec4(a_position.xyz, 1.0);\n";
    v += "  vec4 clip = u_projection * eye;\n";
    v += "  gl_Position = vec4(clip.x + clip.w * u_target.z, -clip.y + clip.w * u_target.w, 2.0 * clip.z - clip.w, "
         "clip.w);\n";
    v += "  v_depth = clip.w != 0.0 ? clip.z / clip.w : 0.0;\n";
  }
  std::string diffuse_in = has_diffuse ? "a_diffuse" : "vec4(1.0)";
  std::string specular_in = has_specular ? "a_specular" : "vec4(0.0)";
  if (lighting) {
    std::string md = MaterialSource((sources >> 0) & 3, 0, has_diffuse, has_specular);
    std::string ma = MaterialSource((sources >> 2) & 3, 1, has_diffuse, has_specular);
    std::string ms = MaterialSource((sources >> 4) & 3, 2, has_diffuse, has_specular);
    std::string me = MaterialSource((sources >> 6) & 3, 3, has_diffuse, has_specular);
    v += "  vec3 n = " + std::string(has_normal ? "mat3(u_world_view) * a_normal" : "vec3(0.0)") + ";\n";
    if (normalize) v += "  if (dot(n, n) > 0.0) n = normalize(n);\n";
    v += "  vec3 amb = vec3(0.0), dif = vec3(0.0), spe = vec3(0.0);\n";
    v += std::string("  vec3 towards_eye = ") + (local_viewer ? "-normalize(eye.xyz)" : "vec3(0.0, 0.0, -1.0)") +
         ";\n";
    for (int i = 0; i < light_count; i++) {
      uint32_t type = (light_word >> (4 + 2 * i)) & 3;
      std::string b = "u_lights[" + Num(i * 7);
      auto L = [&](int k) { return "u_lights[" + Num(i * 7 + k) + "]"; };
      (void)b;
      v += "  {\n    vec3 l; float att = 1.0;\n";
      if (type == D3DLIGHT_DIRECTIONAL) {
        v += "    l = -normalize(" + L(4) + ".xyz);\n";
      } else {
        v += "    vec3 d = " + L(3) + ".xyz - eye.xyz; float dist = length(d);\n";
        v += "    l = dist > 0.0 ? d / dist : vec3(0.0, 0.0, -1.0);\n";
        v += "    att = dist > " + L(3) + ".w ? 0.0 : 1.0 / max(" + L(5) + ".x + " + L(5) + ".y * dist + " + L(5) +
             ".z * dist * dist, 1e-6);\n";
        if (type == D3DLIGHT_SPOT) {
          v += "    float rho = dot(-l, normalize(" + L(4) + ".xyz));\n";
          v += "    float spot = rho > " + L(6) + ".x ? 1.0 : rho <= " + L(6) + ".y ? 0.0 : pow(clamp((rho - " + L(6) +
               ".y) / max(" + L(6) + ".x - " + L(6) + ".y, 1e-6), 0.0, 1.0), " + L(5) + ".w);\n";
          v += "    att *= spot;\n";
        }
      }
      v += "    float ndl = max(dot(n, l), 0.0);\n";
      v += "    amb += att * " + L(2) + ".rgb;\n";
      v += "    dif += att * ndl * " + L(0) + ".rgb;\n";
      if (specular_enable)
        v += "    if (ndl > 0.0) spe += att * pow(max(dot(n, normalize(l + towards_eye)), 0.0), u_material[4].x) * " +
             L(1) + ".rgb;\n";
      v += "  }\n";
    }
    v += "  vec4 md = " + md + ", ma = " + ma + ", ms = " + ms + ", me = " + me + ";\n";
    v += "  v_diffuse = clamp(vec4(me.rgb + ma.rgb * (u_ambient.rgb + amb) + md.rgb * dif, md.a), 0.0, 1.0);\n";
    v += "  v_specular = clamp(vec4(ms.rgb * spe, " + specular_in + ".a), 0.0, 1.0);\n";
  } else {
    v += "  v_diffuse = " + diffuse_in + ";\n  v_specular = " + specular_in + ";\n";
  }
  // Vertex fog: the specular alpha of pre-transformed vertices, else the
  // distance along the view direction.
  if (fog && fog_table == D3DFOG_NONE && !pretransformed && fog_vertex != D3DFOG_NONE) {
    v += "  float dz = abs(eye.z);\n";
    if (fog_vertex == D3DFOG_LINEAR)
      v += "  v_fog = u_fog.y != u_fog.x ? (u_fog.y - dz) / (u_fog.y - u_fog.x) : 1.0;\n";
    else if (fog_vertex == D3DFOG_EXP)
      v += "  v_fog = exp(-u_fog.z * dz);\n";
    else
      v += "  v_fog = exp(-(u_fog.z * dz) * (u_fog.z * dz));\n";
  } else if (fog_table != D3DFOG_NONE && !pretransformed) {
    v += "  v_fog = abs(eye.z);\n";
  } else {
    v += "  v_fog = " + specular_in + ".a;\n";
  }
  for (int s = 0; s < stage_count; s++) {
    if (!UsesTexture(stages[s])) continue;
    int index = (int)(stages[s].coordinate & 0xFFFF);
    std::string in = index < texcount ? "vec4(a_tex" + Num(index) + ".xy, 1.0, 0.0)" : "vec4(0.0, 0.0, 1.0, 0.0)";
    uint32_t count = stages[s].transform & 0xFF;
    if (count != D3DTTFF_DISABLE)
      v += "  v_tc" + Num(s) + " = u_tex_matrix[" + Num(s) + "] * " + in + ";\n";
    else
      v += "  v_tc" + Num(s) + " = " + in + ";\n";
  }
  v += "}\n";

  // ---- fragment shader
  std::string fs = "#version 330 core\n";
  fs += interp + "in vec4 v_diffuse;\n" + interp + "in vec4 v_specular;\nin float v_fog;\nin float v_depth;\n";
  fs += "uniform vec4 u_tfactor;\nuniform float u_alpha_ref;\nuniform vec4 u_fog;\nuniform vec4 u_fog_colour;\n";
  fs += "uniform float u_texel_bias[8];\nuniform vec4 u_texel_step[8];\nuniform vec4 u_texel_top[8];\n";
  fs += "uniform vec4 u_step;\n";
  fs += kChannelCuts;
  for (int s = 0; s < stage_count; s++) {
    if (!UsesTexture(stages[s])) continue;
    fs += "in vec4 v_tc" + Num(s) + ";\nuniform sampler2D s" + Num(s) + ";\n";
  }
  fs += "out vec4 o_colour;\n";
  if (blend == BLEND_WEIGHTED) fs += "out vec4 o_factor;\n";
  fs += "void main() {\n";
  fs += "  vec4 diffuse = v_diffuse, specular = v_specular;\n";
  fs += "  vec4 current = diffuse, temp = vec4(0.0);\n";
  // A texel's alpha below 255 and the value it was modulated with, kept as
  // bytes for the source term of an add or a subtract.
  fs += "  float texel_alpha = 255.0, times_alpha = 255.0;\n";
  for (int s = 0; s < stage_count; s++) {
    const Stage& st = stages[s];
    if (st.colour_op == D3DTOP_DISABLE) break;
    std::string S = Num(s);
    if (UsesTexture(st)) {
      bool projected = (st.transform & 256) != 0;
      if (!st.bound) {
        fs += "  vec4 t" + S + " = vec4(1.0);\n";  // a stage without a texture reads white
      } else {
        // Texels are 8-bit values: a wide render target's are cut to 8 bits
        // (and to its units where it has fewer bits), the fewer bits of a
        // 16-bit format are widened to the nearest 8-bit value (which is
        // what repeating the bits gives); then they count in this target's
        // units.
        std::string raw =
            projected ? "textureProj(s" + S + ", v_tc" + S + ".xyw)" : "texture(s" + S + ", v_tc" + S + ".xy)";
        std::string bits = st.bound == KEY_BOUND_NARROW_TARGET
                               ? "Cut(" + raw + ", u_texel_bias[" + S + "], u_texel_step[" + S + "], u_texel_top[" + S +
                                     "])"
                               : "floor(" + raw + " * 255.0 + u_texel_bias[" + S + "])";
        fs += "  vec4 t" + S + " = " + InUnits(bits) + " / 255.0;\n";
      }
    }
    fs += "  {\n";
    fs += "    vec4 a1 = " + Argument(st.colour_arg1, s) + ", a2 = " + Argument(st.colour_arg2, s) +
          ", a0 = " + Argument(st.colour_arg0, s) + ";\n";
    fs += "    vec3 c = " + Operation(st.colour_op, ".rgb", s) + ";\n";
    if (st.alpha_op != D3DTOP_DISABLE) {
      fs += "    a1 = " + Argument(st.alpha_arg1, s) + "; a2 = " + Argument(st.alpha_arg2, s) +
            "; a0 = " + Argument(st.alpha_arg0, s) + ";\n";
      fs += "    float a = " + Operation(st.alpha_op, ".a", s) + ";\n";
      if (s == alpha_origin && st.alpha_op == D3DTOP_MODULATE &&
          (st.alpha_arg1 == D3DTA_TEXTURE) != (st.alpha_arg2 == D3DTA_TEXTURE))
        fs += "    texel_alpha = floor(t" + S + ".a * 255.0 + 0.5); times_alpha = floor((" +
              std::string(st.alpha_arg1 == D3DTA_TEXTURE ? "a2" : "a1") + ").a * 255.0 + 0.5);\n";
    } else {
      fs += "    float a = current.a;\n";
    }
    std::string into = (st.result & D3DTA_SELECTMASK) == D3DTA_TEMP ? "temp" : "current";
    // Stage results are 8-bit values, cut as a fixed-point unit cuts them,
    // in the target's units.
    fs += "    " + into + " = " + InUnits("floor(clamp(vec4(c, a), 0.0, 1.0) * 255.0 + 0.002)") + " / 255.0;\n";
    fs += "  }\n";
  }
  if (specular_enable) fs += "  current.rgb = min(current.rgb + specular.rgb, vec3(1.0));\n";
  if (fog) {
    if (fog_table != D3DFOG_NONE) {
      std::string d = pretransformed ? "v_depth" : "v_fog";
      if (fog_table == D3DFOG_LINEAR)
        fs += "  float fogf = u_fog.y != u_fog.x ? (u_fog.y - " + d + ") / (u_fog.y - u_fog.x) : 1.0;\n";
      else if (fog_table == D3DFOG_EXP)
        fs += "  float fogf = exp(-u_fog.z * " + d + ");\n";
      else
        fs += "  float fogf = exp(-(u_fog.z * " + d + ") * (u_fog.z * " + d + "));\n";
    } else {
      fs += "  float fogf = v_fog;\n";
    }
    fs += "  current.rgb = mix(u_fog_colour.rgb, current.rgb, clamp(fogf, 0.0, 1.0));\n";
  }
  if (alpha_test) {
    fs += "  float a8 = floor(clamp(current.a, 0.0, 1.0) * 255.0 + 0.5);\n";
    fs += std::string("  if (!(") + Compare(alpha_func) + ")) discard;\n";
  }
  // What fog and specular added is cut as a stage's result.
  if (fog || specular_enable)
    fs += "  current = " + InUnits("floor(clamp(current, 0.0, 1.0) * 255.0 + 0.002)") + " / 255.0;\n";
  if (blend == BLEND_WEIGHTED) {
    fs += "  float weight = floor(current.a * 255.0 + 0.5);\n";
    fs += "  o_factor = vec4(weight >= 255.0 ? 1.0 : weight / 256.0);\n";
  } else if (blend == BLEND_ADD || blend == BLEND_REVSUBTRACT) {
    // The colour in the target's units times the source alpha: a texel's
    // own alpha below 255 and what it was modulated with are two bytes of
    // weight, any other alpha one (a texel alpha of 255 is no weight).
    fs += "  vec3 units = floor(current.rgb * 255.0 + 0.5) / u_step.rgb;\n";
    fs += "  float alpha = floor(current.a * 255.0 + 0.5);\n";
    fs += "  vec3 term;\n";
    fs += "  if (texel_alpha < 255.0)\n";
    fs += narrow ? "    term = floor(floor(units * texel_alpha / 256.0) * times_alpha / 255.0);\n"
                 : "    term = floor(units * texel_alpha * times_alpha / 65536.0);\n";
    fs += "  else\n    term = floor(units * alpha / 255.0);\n";
    fs += "  term -= mod(term, 2.0);\n";
    fs += "  current.rgb = term * u_step.rgb / 255.0;\n";
  }
  fs += "  o_colour = current;\n}\n";
  return ProgramSource{v, fs};
}

namespace {

GLuint CompileShader(GLenum type, const char* text, const char* what) {
  GLuint shader = gl.CreateShader(type);
  gl.ShaderSource(shader, 1, &text, nullptr);
  gl.CompileShader(shader);
  GLint done = 0;
  gl.GetShaderiv(shader, GL_COMPILE_STATUS, &done);
  if (!done) {
    char log[2048] = "";
    gl.GetShaderInfoLog(shader, sizeof log, nullptr, log);
    fprintf(stderr, "d3d9: %s: a shader does not compile: %s\n%s\n", what, log, text);
    gl.DeleteShader(shader);
    return 0;
  }
  return shader;
}

}  // namespace

GLuint LinkProgram(const char* vertex, const char* fragment, const char* what) {
  GLuint vs = CompileShader(GL_VERTEX_SHADER, vertex, what);
  GLuint fs = vs ? CompileShader(GL_FRAGMENT_SHADER, fragment, what) : 0;
  GLuint program = 0;
  if (vs && fs) {
    program = gl.CreateProgram();
    gl.AttachShader(program, vs);
    gl.AttachShader(program, fs);
    gl.BindFragDataLocation(program, 0, "o_colour");
    gl.BindFragDataLocationIndexed(program, 0, 1, "o_factor");
    gl.LinkProgram(program);
    GLint linked = 0;
    gl.GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
      char log[2048] = "";
      gl.GetProgramInfoLog(program, sizeof log, nullptr, log);
      fprintf(stderr, "d3d9: %s: a program does not link: %s\n", what, log);
      gl.DeleteProgram(program);
      program = 0;
    }
  }
  if (vs) gl.DeleteShader(vs);
  if (fs) gl.DeleteShader(fs);
  return program;
}

}  // namespace vox_d3d9
