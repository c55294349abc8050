// The device's copies between surfaces: stretching a target or a plain
// surface into a target, colour fills, plain surfaces into texture levels,
// and targets read back into the processor's memory.
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

// Packs an ARGB colour into a plain format's pixel (for filling CPU surfaces).
uint32_t PackColour(const FormatInfo* f, D3DCOLOR c) {
  uint32_t a = c >> 24, r = (c >> 16) & 255, g = (c >> 8) & 255, b = c & 255;
  switch (f->format) {
    case D3DFMT_R5G6B5: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case D3DFMT_X1R5G5B5: return 0x8000u | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case D3DFMT_A1R5G5B5: return (a >= 128 ? 0x8000u : 0) | (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case D3DFMT_A4R4G4B4: return (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4);
    case D3DFMT_X4R4G4B4: return 0xF000u | (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4);
    case D3DFMT_A8B8G8R8: return a << 24 | b << 16 | g << 8 | r;
    case D3DFMT_X8B8G8R8: return 0xFF000000u | b << 16 | g << 8 | r;
    case D3DFMT_X8R8G8B8: return 0xFF000000u | (c & 0xFFFFFF);
    case D3DFMT_A8: return a;
  }
  return c;
}

}  // namespace

bool Device::CopyRect(Surface* source, const RECT& sr, Surface* dest, const RECT& dr, bool linear) {
  GLuint draw = dest->Framebuffer();
  if (!draw) return false;
  WillWrite(dest);
  if (source->IsCpu()) {
    // A CPU surface (a decoded frame, say) goes up as 8-bit BGRA in the
    // destination's units first.
    int w = sr.right - sr.left, h = sr.bottom - sr.top;
    std::vector<uint8_t> rows = RowsInUnits(source->format(), source->memory(), source->pitch(), source->desc().Height,
                                            sr.top, h, sr.right, TargetUnits(dest));
    if (!copy_texture_) gl.GenTextures(1, &copy_texture_);
    gl.ActiveTexture(kScratchUnit);
    gl.BindTexture(GL_TEXTURE_2D, copy_texture_);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, sr.right);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, rows.data() + (size_t)sr.left * 4);
    CountUpload((size_t)w * h * 4);
    gl.PixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.BindFramebuffer(GL_READ_FRAMEBUFFER, read_framebuffer_);
    gl.FramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, copy_texture_, 0);
    gl.Disable(GL_SCISSOR_TEST);
    gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
    gl.BlitFramebuffer(0, 0, w, h, dr.left, dr.top, dr.right, dr.bottom, GL_COLOR_BUFFER_BIT,
                       linear ? GL_LINEAR : GL_NEAREST);
    CountPass(dr.right - dr.left, dr.bottom - dr.top);
    return true;
  }
  GLuint read = source->Framebuffer();
  if (!read) return false;
  // Between targets that keep their channels alike the pixels are copied as
  // they are; otherwise each is cut to the source's units and put in the
  // destination's.
  ChannelUnits from = TargetUnits(source), to = TargetUnits(dest);
  bool alike = IsWideTarget(source->format()) == IsWideTarget(dest->format()) && !std::memcmp(&from, &to, sizeof from);
  if (!alike) return DrawCopy(source, sr, draw, to, dr, linear);
  gl.Disable(GL_SCISSOR_TEST);
  gl.BindFramebuffer(GL_READ_FRAMEBUFFER, read);
  gl.BindFramebuffer(GL_DRAW_FRAMEBUFFER, draw);
  gl.BlitFramebuffer(sr.left, sr.top, sr.right, sr.bottom, dr.left, dr.top, dr.right, dr.bottom, GL_COLOR_BUFFER_BIT,
                     linear ? GL_LINEAR : GL_NEAREST);
  CountPass(dr.right - dr.left, dr.bottom - dr.top);
  return true;
}

HRESULT Device::StretchRect(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                            const RECT* dest_rect, D3DTEXTUREFILTERTYPE filter) {
  Surface* s = static_cast<Surface*>(source);
  Surface* d = static_cast<Surface*>(dest);
  if (!s || !d || s == d || s->device() != this || d->device() != this || !d->IsRenderable())
    return D3DERR_INVALIDCALL;
  bool cpu_source = s->IsCpu() && s->desc().Pool == D3DPOOL_DEFAULT;
  if (!s->IsRenderable() && !cpu_source) return D3DERR_INVALIDCALL;
  if (s->format()->block_bytes) return D3DERR_INVALIDCALL;
  RECT sr = source_rect ? *source_rect : RECT{0, 0, (LONG)s->desc().Width, (LONG)s->desc().Height};
  RECT dr = dest_rect ? *dest_rect : RECT{0, 0, (LONG)d->desc().Width, (LONG)d->desc().Height};
  if (!RectInside(sr, s->desc().Width, s->desc().Height) || !RectInside(dr, d->desc().Width, d->desc().Height))
    return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  return CopyRect(s, sr, d, dr, filter == D3DTEXF_LINEAR) ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR colour) {
  Surface* s = static_cast<Surface*>(surface);
  if (!s || s->device() != this) return D3DERR_INVALIDCALL;
  RECT r = rect ? *rect : RECT{0, 0, (LONG)s->desc().Width, (LONG)s->desc().Height};
  if (!RectInside(r, s->desc().Width, s->desc().Height)) return D3DERR_INVALIDCALL;
  if (s->IsCpu()) {
    const FormatInfo* f = s->format();
    if (s->desc().Pool != D3DPOOL_DEFAULT || IsVideoFormat(f) || f->block_bytes) return D3DERR_INVALIDCALL;
    uint32_t p = PackColour(f, colour);
    for (LONG y = r.top; y < r.bottom; y++)
      for (LONG x = r.left; x < r.right; x++)
        std::memcpy(s->memory() + (size_t)y * s->pitch() + (size_t)x * f->bytes, &p, f->bytes);
    return D3D_OK;
  }
  if (!s->IsRenderable() || !MakeCurrent() || !s->Framebuffer()) return D3DERR_INVALIDCALL;
  WillWrite(s);
  gl.BindFramebuffer(GL_FRAMEBUFFER, s->Framebuffer());
  float c[4];
  ClearColourOf(s, colour, c);
  gl.ClearColor(c[0], c[1], c[2], c[3]);
  gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
  gl.Enable(GL_SCISSOR_TEST);
  gl.Scissor(r.left, r.top, r.right - r.left, r.bottom - r.top);
  gl.Clear(GL_COLOR_BUFFER_BIT);
  CountPass(r.right - r.left, r.bottom - r.top);
  return D3D_OK;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* source, const RECT* source_rect, IDirect3DSurface9* dest,
                              const POINT* dest_point) {
  Surface* s = static_cast<Surface*>(source);
  Surface* d = static_cast<Surface*>(dest);
  if (!s || !d || s->device() != this || d->device() != this || !s->IsCpu() ||
      d->kind() != Surface::Kind::kTextureLevel || s->desc().Format != d->desc().Format)
    return D3DERR_INVALIDCALL;
  const FormatInfo* f = s->format();
  if (f->block_bytes || IsVideoFormat(f)) return D3DERR_INVALIDCALL;
  RECT sr = source_rect ? *source_rect : RECT{0, 0, (LONG)s->desc().Width, (LONG)s->desc().Height};
  POINT at = dest_point ? *dest_point : POINT{0, 0};
  if (!RectInside(sr, s->desc().Width, s->desc().Height)) return D3DERR_INVALIDCALL;
  RECT dr{at.x, at.y, at.x + sr.right - sr.left, at.y + sr.bottom - sr.top};
  if (!RectInside(dr, d->desc().Width, d->desc().Height)) return D3DERR_INVALIDCALL;
  if (!MakeCurrent()) return D3DERR_INVALIDCALL;
  int w = sr.right - sr.left;
  if (d->pitch() && d->memory()) {
    // A level with a lock copy keeps it in step.
    for (LONG y = 0; y < sr.bottom - sr.top; y++)
      std::memcpy(d->memory() + (size_t)(dr.top + y) * d->pitch() + (size_t)dr.left * f->bytes,
                  s->memory() + (size_t)(sr.top + y) * s->pitch() + (size_t)sr.left * f->bytes, (size_t)w * f->bytes);
  }
  gl.ActiveTexture(kScratchUnit);
  gl.BindTexture(GL_TEXTURE_2D, d->gl_texture());
  PutRows(d, s->memory(), s->pitch(), s->desc().Height, sr, POINT{dr.left, dr.top});
  return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* render_target, IDirect3DSurface9* dest) {
  Surface* s = static_cast<Surface*>(render_target);
  Surface* d = static_cast<Surface*>(dest);
  if (!s || !d || s->device() != this || d->device() != this || !s->IsRenderable() || !d->IsCpu() ||
      d->desc().Pool != D3DPOOL_SYSTEMMEM || s->desc().Format != d->desc().Format ||
      s->desc().Width != d->desc().Width || s->desc().Height != d->desc().Height)
    return D3DERR_INVALIDCALL;
  if (!MakeCurrent() || !s->Framebuffer()) return D3DERR_INVALIDCALL;
  ReadTarget(s, d->memory(), d->pitch());
  return D3D_OK;
}

void Device::ReadTarget(Surface* s, uint8_t* rows, uint32_t pitch) {
  const FormatInfo* f = s->format();
  UINT w = s->desc().Width, h = s->desc().Height;
  gl.BindFramebuffer(GL_READ_FRAMEBUFFER, s->Framebuffer());
  if (!IsWideTarget(f)) {
    gl.PixelStorei(GL_PACK_ROW_LENGTH, (GLint)(pitch / f->bytes));
    gl.ReadPixels(0, 0, (GLsizei)w, (GLsizei)h, f->gl_format, f->gl_type, rows);
    gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
    CountReadBack((size_t)w * h * f->bytes);
    return;
  }
  // Sixteen bits a channel, cut to the target's units.
  ChannelUnits u = TargetUnits(s);
  std::vector<uint16_t> wide((size_t)w * h * 4);
  gl.ReadPixels(0, 0, (GLsizei)w, (GLsizei)h, GL_RGBA, GL_UNSIGNED_SHORT, wide.data());
  CountReadBack(wide.size() * sizeof wide[0]);
  for (UINT y = 0; y < h; y++) {
    const uint16_t* in = &wide[(size_t)y * w * 4];
    uint8_t* out = rows + (size_t)y * pitch;
    for (UINT x = 0; x < w; x++, in += 4) {
      uint32_t c[4];
      for (int i = 0; i < 4; i++) c[i] = CutWide(in[i]) / (uint32_t)u.step[i];
      uint32_t p;
      switch (f->format) {
        case D3DFMT_R5G6B5: p = c[0] << 11 | c[1] << 5 | c[2]; break;
        case D3DFMT_X1R5G5B5: p = 0x8000u | c[0] << 10 | c[1] << 5 | c[2]; break;
        case D3DFMT_A8B8G8R8:
        case D3DFMT_X8B8G8R8: p = c[3] << 24 | c[2] << 16 | c[1] << 8 | c[0]; break;
        default: p = c[3] << 24 | c[0] << 16 | c[1] << 8 | c[2]; break;
      }
      if (f->alpha_one && f->bytes == 4) p |= 0xFF000000u;
      std::memcpy(out + (size_t)x * f->bytes, &p, f->bytes);
    }
  }
}

}  // namespace vox_d3d9
