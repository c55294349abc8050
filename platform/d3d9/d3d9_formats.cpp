// Surface formats and their GL counterparts, and what the GL context offers:
// the texture formats it takes, those it can render into, its largest
// texture and its filters. The answers are probed once, on a throwaway
// window, and kept.
#include <algorithm>
#include <cstring>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

// Little-endian pixel words: B, G, R, A in memory order for the ARGB formats.
const FormatInfo kFormats[] = {
    {D3DFMT_R5G6B5, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, 0, false, false, false, false, false},
    {D3DFMT_X1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0, true, false, false, false, false},
    {D3DFMT_A1R5G5B5, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, 0, false, false, false, false, false},
    {D3DFMT_A4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, 0, false, false, false, false, false},
    {D3DFMT_X4R4G4B4, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, 0, true, false, false, false, false},
    {D3DFMT_X8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, true, false, false, false, false},
    {D3DFMT_A8R8G8B8, GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, false, false, false, false, false},
    {D3DFMT_X8B8G8R8, GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, true, false, false, false, false},
    {D3DFMT_A8B8G8R8, GL_RGBA8, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8_REV, 4, 0, false, false, false, false, false},
    {D3DFMT_A2R10G10B10, GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, 4, 0, false, false, false, false, false},
    {D3DFMT_A2B10G10R10, GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, 4, 0, false, false, false, false, false},
    {D3DFMT_R3G3B2, GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, 1, 0, false, false, false, false, false},
    {D3DFMT_A8, GL_R8, GL_RED, GL_UNSIGNED_BYTE, 1, 0, false, true, false, false, false},
    {D3DFMT_DXT1, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 0, 8, false, false, false, false, false},
    {D3DFMT_DXT3, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 0, 16, false, false, false, false, false},
    {D3DFMT_DXT5, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 0, 16, false, false, false, false, false},
    {D3DFMT_D16, GL_DEPTH_COMPONENT16, 0, 0, 2, 0, false, false, true, false, false},
    {D3DFMT_D16_LOCKABLE, GL_DEPTH_COMPONENT16, 0, 0, 2, 0, false, false, true, false, false},
    {D3DFMT_D24X8, GL_DEPTH_COMPONENT24, 0, 0, 4, 0, false, false, true, false, false},
    {D3DFMT_D24S8, GL_DEPTH24_STENCIL8, 0, 0, 4, 0, false, false, true, false, false},
    {D3DFMT_D32, GL_DEPTH_COMPONENT32, 0, 0, 4, 0, false, false, true, false, false},
    {D3DFMT_YUY2, 0, 0, 0, 2, 0, false, false, false, true, false},
    {D3DFMT_UYVY, 0, 0, 0, 2, 0, false, false, false, true, false},
    {D3DFMT_YV12, 0, 0, 0, 1, 0, false, false, false, false, true},
};

// The formats tried as textures and as render targets.
const D3DFORMAT kColourFormats[] = {D3DFMT_R5G6B5,   D3DFMT_X1R5G5B5, D3DFMT_A1R5G5B5,    D3DFMT_A4R4G4B4,
                                    D3DFMT_X4R4G4B4, D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8,    D3DFMT_X8B8G8R8,
                                    D3DFMT_A8B8G8R8, D3DFMT_A2R10G10B10, D3DFMT_A2B10G10R10, D3DFMT_R3G3B2,
                                    D3DFMT_A8};

uint8_t Widen(uint32_t v, int bits) {
  if (bits >= 8) return (uint8_t)(v >> (bits - 8));
  uint32_t max = (1u << bits) - 1;
  return (uint8_t)((v * 255 + max / 2) / max);
}

uint8_t Clamp8(int v) { return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v); }

void YuvToBGRA(int y, int u, int v, uint8_t* out) {
  // BT.601 studio range, as video decoders hand it over: 1.164, 1.596,
  // 0.391, 0.813 and 2.018 with 14 fractional bits, each result cut toward zero.
  int l = 19070 * (y - 16), d = u - 128, e = v - 128;
  out[2] = Clamp8((l + 26148 * e) / 16384);
  out[1] = Clamp8((l - 6406 * d - 13320 * e) / 16384);
  out[0] = Clamp8((l + 33062 * d) / 16384);
  out[3] = 255;
}

void Probe(void* out) {
  GLCaps& caps = *static_cast<GLCaps*>(out);
  if (!LoadGLFunctions()) return;
  caps.available = true;
  GLint size = 0;
  gl.GetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
  caps.max_texture_size = size;
  const char* renderer = reinterpret_cast<const char*>(gl.GetString(GL_RENDERER));
  caps.renderer = renderer ? renderer : "";
  GLint count = 0;
  gl.GetIntegerv(GL_NUM_EXTENSIONS, &count);
  for (GLint i = 0; i < count; i++) {
    const char* name = reinterpret_cast<const char*>(gl.GetStringi(GL_EXTENSIONS, (GLuint)i));
    if (!name) continue;
    if (!std::strcmp(name, "GL_EXT_texture_compression_s3tc")) caps.s3tc = true;
    if (!std::strcmp(name, "GL_EXT_texture_filter_anisotropic") || !std::strcmp(name, "GL_ARB_texture_filter_anisotropic")) {
      GLfloat most = 1.0f;
      gl.GetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &most);
      caps.max_anisotropy = most;
    }
  }
  ClearGLErrors();
  // Every colour format is tried as a texture and as a framebuffer colour
  // attachment of a small texture.
  GLuint texture = 0, framebuffer = 0;
  gl.GenTextures(1, &texture);
  gl.GenFramebuffers(1, &framebuffer);
  for (D3DFORMAT format : kColourFormats) {
    const FormatInfo* f = FindFormat(format);
    gl.BindTexture(GL_TEXTURE_2D, texture);
    gl.TexImage2D(GL_TEXTURE_2D, 0, (GLint)f->internal_format, 8, 8, 0, f->gl_format, f->gl_type, nullptr);
    if (gl.GetError() != GL_NO_ERROR) continue;
    caps.textures.push_back(format);
    if (f->alpha_only) continue;  // an alpha-only target has no colour to show
    if (IsWideTarget(f))
      gl.TexImage2D(GL_TEXTURE_2D, 0, (GLint)TargetInternalFormat(f), 8, 8, 0, f->gl_format, f->gl_type, nullptr);
    gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (gl.CheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE) caps.render_targets.push_back(format);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
    gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
    ClearGLErrors();
  }
  // A texture of the old size is released with the name.
  gl.DeleteFramebuffers(1, &framebuffer);
  gl.DeleteTextures(1, &texture);
  if (caps.s3tc) {
    caps.textures.push_back(D3DFMT_DXT1);
    caps.textures.push_back(D3DFMT_DXT3);
    caps.textures.push_back(D3DFMT_DXT5);
  }
}

}  // namespace

bool IsWideTarget(const FormatInfo* f) {
  return f && (f->internal_format == GL_RGBA8 || f->format == D3DFMT_R5G6B5 || f->format == D3DFMT_X1R5G5B5);
}

ChannelUnits UnitsOf(const FormatInfo* f, bool wide) {
  ChannelUnits u{{1, 1, 1, 1}, {255, 255, 255, 255}};
  if (!wide || !f) return u;
  if (f->format == D3DFMT_R5G6B5) u = ChannelUnits{{8, 4, 8, 1}, {31, 63, 31, 255}};
  if (f->format == D3DFMT_X1R5G5B5) u = ChannelUnits{{8, 8, 8, 1}, {31, 31, 31, 255}};
  return u;
}

GLenum TargetInternalFormat(const FormatInfo* f) { return IsWideTarget(f) ? GL_RGBA16 : f->internal_format; }

ChannelUnits TargetUnits(const Surface* target) { return UnitsOf(target->format(), IsWideTarget(target->format())); }

bool IsNarrow(const ChannelUnits& u) { return u.step[0] > 1 || u.step[1] > 1 || u.step[2] > 1; }

void ClearColourOf(const Surface* target, D3DCOLOR colour, float* out) {
  ChannelUnits u = TargetUnits(target);
  uint8_t c[4] = {(uint8_t)(colour >> 16), (uint8_t)(colour >> 8), (uint8_t)colour, (uint8_t)(colour >> 24)};
  for (int i = 0; i < 4; i++) out[i] = (float)InUnits(c[i], u.step[i]) / 255.0f;
  if (target->format()->alpha_one) out[3] = 1.0f;
}

const FormatInfo* FindFormat(D3DFORMAT format) {
  for (const FormatInfo& f : kFormats)
    if (f.format == format) return &f;
  return nullptr;
}

uint32_t FormatPitch(const FormatInfo* f, UINT width) {
  if (f->block_bytes) return std::max(1u, (width + 3) / 4) * f->block_bytes;
  return width * f->bytes;
}

uint32_t FormatRows(const FormatInfo* f, UINT height) {
  if (f->planar) return height + height / 2;
  return f->block_bytes ? std::max(1u, (height + 3) / 4) : height;
}

void DecodeRowToBGRA(const FormatInfo* f, const uint8_t* memory, uint32_t pitch, UINT height, UINT y, uint8_t* dst,
                     int count) {
  const uint8_t* src = memory + (size_t)y * pitch;
  if (f->planar) {
    // The V plane follows the Y rows, the U plane the V plane; their rows
    // are half the pitch apart.
    const uint8_t* v = memory + (size_t)height * pitch + (size_t)(y / 2) * (pitch / 2);
    const uint8_t* u = v + (size_t)(height / 2) * (pitch / 2);
    for (int i = 0; i < count; i++) YuvToBGRA(src[i], u[i / 2], v[i / 2], dst + 4 * i);
    return;
  }
  for (int i = 0; i < count; i++, dst += 4) {
    uint32_t p = 0;
    if (f->yuv) {
      // Two pixels per four bytes; odd pixels take the pair's chroma.
      const uint8_t* pair = src + (i / 2) * 4;
      bool yuy2 = f->format == D3DFMT_YUY2;
      int y = yuy2 ? pair[(i & 1) * 2] : pair[(i & 1) * 2 + 1];
      int u = yuy2 ? pair[1] : pair[0];
      int v = yuy2 ? pair[3] : pair[2];
      YuvToBGRA(y, u, v, dst);
      continue;
    }
    std::memcpy(&p, src + (size_t)i * f->bytes, f->bytes);
    uint8_t r = 0, g = 0, b = 0, a = 255;
    switch (f->format) {
      case D3DFMT_R5G6B5: r = Widen(p >> 11, 5), g = Widen((p >> 5) & 63, 6), b = Widen(p & 31, 5); break;
      case D3DFMT_X1R5G5B5:
      case D3DFMT_A1R5G5B5:
        r = Widen((p >> 10) & 31, 5), g = Widen((p >> 5) & 31, 5), b = Widen(p & 31, 5);
        if (f->format == D3DFMT_A1R5G5B5) a = (p & 0x8000) ? 255 : 0;
        break;
      case D3DFMT_A4R4G4B4:
      case D3DFMT_X4R4G4B4:
        r = Widen((p >> 8) & 15, 4), g = Widen((p >> 4) & 15, 4), b = Widen(p & 15, 4);
        if (f->format == D3DFMT_A4R4G4B4) a = Widen(p >> 12, 4);
        break;
      case D3DFMT_A8B8G8R8:
      case D3DFMT_X8B8G8R8:
        r = (uint8_t)p, g = (uint8_t)(p >> 8), b = (uint8_t)(p >> 16);
        if (f->format == D3DFMT_A8B8G8R8) a = (uint8_t)(p >> 24);
        break;
      case D3DFMT_A8: r = g = b = 0, a = (uint8_t)p; break;
      default:
        r = (uint8_t)(p >> 16), g = (uint8_t)(p >> 8), b = (uint8_t)p;
        if (!f->alpha_one) a = (uint8_t)(p >> 24);
        break;
    }
    dst[0] = b, dst[1] = g, dst[2] = r, dst[3] = a;
  }
}

const GLCaps& ProbeGLCaps() {
  static GLCaps caps;
  static bool probed = false;
  if (!probed) {
    probed = true;
    ProbeWindowSystemGL(Probe, &caps);
  }
  return caps;
}

void FillCaps(D3DCAPS9* caps) {
  const GLCaps& gl_caps = ProbeGLCaps();
  const D3D9CapabilityScript* script = Script();
  *caps = D3DCAPS9{};
  caps->DeviceType = D3DDEVTYPE_HAL;
  caps->PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW | D3DPMISCCAPS_BLENDOP;
  caps->TextureCaps = D3DPTEXTURECAPS_ALPHA | D3DPTEXTURECAPS_MIPMAP;
  caps->TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
                            D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  if (gl_caps.max_anisotropy > 1.0f)
    caps->TextureFilterCaps |= D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MAGFANISOTROPIC;
  caps->MaxTextureWidth = caps->MaxTextureHeight = (DWORD)gl_caps.max_texture_size;
  caps->MaxAnisotropy = (DWORD)gl_caps.max_anisotropy;
  caps->MaxTextureBlendStages = 8;
  caps->MaxSimultaneousTextures = 8;
  caps->MaxActiveLights = 8;
  caps->MaxPrimitiveCount = 0xFFFFFF;
  caps->MaxVertexIndex = 0xFFFFFF;
  caps->MaxStreams = 1;
  // Shader objects of these versions are accepted and kept (never run).
  caps->VertexShaderVersion = D3DVS_VERSION(2, 0);
  caps->MaxVertexShaderConst = 256;
  caps->PixelShaderVersion = D3DPS_VERSION(2, 0);
  if (!script) return;
  if (script->vertex_shader_version) caps->VertexShaderVersion = script->vertex_shader_version;
  if (script->pixel_shader_version) caps->PixelShaderVersion = script->pixel_shader_version;
  if (script->max_texture_width) caps->MaxTextureWidth = script->max_texture_width == ~0u ? 0 : script->max_texture_width;
  if (script->max_texture_height)
    caps->MaxTextureHeight = script->max_texture_height == ~0u ? 0 : script->max_texture_height;
  if (script->no_blend_op) caps->PrimitiveMiscCaps &= ~D3DPMISCCAPS_BLENDOP;
  if (script->square_only) caps->TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY;
}

}  // namespace vox_d3d9
