// The device's present: the back buffer drawn into the window (the nearest
// pixel, cut to 8 bits a channel) in one pass and shown, the copy program
// that draws one target into another, and the reader of the window's last
// picture. The reader draws the picture again from the back buffer; a
// reader that comes after the back buffer was drawn into again finds none
// (-1) the first time, and from then on each picture is kept for it.
#include <string>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

int ReadShownThunk(void* device, uint32_t* pixels, int width, int height, int pitch) {
  return static_cast<Device*>(device)->ReadShown(pixels, width, height, pitch);
}

}  // namespace

HRESULT Device::Present(const RECT* source, const RECT* dest, HWND, const void*) {
  return PresentBackBuffer(source, dest);
}

HRESULT Device::PresentBackBuffer(const RECT* source, const RECT* dest) {
  if (Fails(D3D9_FAIL_PRESENT)) return D3DERR_DEVICELOST;
  if (!IsWindow(window_) || !MakeCurrent()) return D3DERR_DEVICELOST;
  const D3DSURFACE_DESC& bb = back_buffer_->desc();
  Shown shown;
  shown.source = source ? *source : RECT{0, 0, (LONG)bb.Width, (LONG)bb.Height};
  RECT client{};
  GetClientRect(window_, &client);
  RECT dst_client = dest ? *dest : client;
  if (!GetWindowGLDrawableSize(window_, &shown.width, &shown.height) ||
      !MapClientRectToGLDrawable(window_, &dst_client, &shown.dest))
    return D3DERR_DEVICELOST;
  if (shown.width <= 0 || shown.height <= 0) return D3D_OK;
  // The picture goes straight into the window's framebuffer, whose bottom
  // row comes first: the source rectangle is read bottom row first into the
  // destination rectangle turned upside down.
  const RECT& src = shown.source;
  const RECT& dst = shown.dest;
  if (!DrawPicture(shown, 0, RECT{src.left, src.bottom, src.right, src.top},
                   RECT{dst.left, shown.height - dst.bottom, dst.right, shown.height - dst.top}))
    return D3DERR_DEVICELOST;
  gl.BindFramebuffer(GL_FRAMEBUFFER, 0);
  SwapWindowGL(window_, parameters_.PresentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1);
  // The back buffer holds what the window shows until it is next written.
  shown_ = shown;
  shown_in_back_buffer_ = true;
  shown_kept_ = false;
  SetWindowPixelReader(window_, ReadShownThunk, this);
  return D3D_OK;
}

bool Device::DrawPicture(const Shown& shown, GLuint framebuffer, const RECT& from, const RECT& to) {
  const RECT& src = shown.source;
  const RECT& dst = shown.dest;
  gl.BindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  if (dst.left > 0 || dst.top > 0 || dst.right < shown.width || dst.bottom < shown.height) {
    // What lies beside the picture is black.
    gl.Disable(GL_SCISSOR_TEST);
    gl.ColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    gl.ClearColor(0, 0, 0, 1);
    gl.Clear(GL_COLOR_BUFFER_BIT);
    CountPass(shown.width, shown.height);
  }
  // The picture keeps the back buffer's pixels (the nearest one for each
  // window pixel, as the software present shows them), cut to 8 bits a
  // channel (a 16-bit format's channels widened to the nearest 8-bit value).
  if (dst.right <= dst.left || dst.bottom <= dst.top || src.right <= src.left || src.bottom <= src.top) return true;
  return DrawCopy(back_buffer_.get(), from, framebuffer, UnitsOf(nullptr, false), to, false);
}

void Device::WillWrite(const Surface* target) {
  if (target != back_buffer_.get() || !shown_in_back_buffer_) return;
  // The picture is given up, unless a reader came too late for one before.
  if (keep_shown_) KeepShown();
  shown_in_back_buffer_ = false;
}

bool Device::KeepShown() {
  if (!shown_texture_ || shown_width_ != shown_.width || shown_height_ != shown_.height) {
    if (!shown_texture_) gl.GenTextures(1, &shown_texture_);
    if (!shown_framebuffer_) gl.GenFramebuffers(1, &shown_framebuffer_);
    gl.ActiveTexture(kScratchUnit);
    gl.BindTexture(GL_TEXTURE_2D, shown_texture_);
    gl.TexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, shown_.width, shown_.height, 0, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV,
                  nullptr);
    gl.TexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    gl.BindFramebuffer(GL_FRAMEBUFFER, shown_framebuffer_);
    gl.FramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, shown_texture_, 0);
    shown_width_ = shown_.width;
    shown_height_ = shown_.height;
  }
  // The kept picture is stored top row first.
  shown_kept_ = DrawPicture(shown_, shown_framebuffer_, shown_.source, shown_.dest);
  return shown_kept_;
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
  CountPass(dest.right - dest.left, dest.bottom - dest.top);
  gl.BindVertexArray(0);
  gl.BindSampler(15, 0);
  return true;
}

int Device::ReadShown(uint32_t* pixels, int width, int height, int pitch) {
  if (!MakeCurrent()) return -1;
  if (shown_in_back_buffer_ && !shown_kept_) KeepShown();
  if (!shown_kept_) {
    // The back buffer was drawn into since the present: from now on every
    // picture is kept before that happens, for a reader that comes late.
    keep_shown_ = true;
    return -1;
  }
  if (width != shown_width_ || height != shown_height_) return -1;
  gl.BindFramebuffer(GL_READ_FRAMEBUFFER, shown_framebuffer_);
  gl.PixelStorei(GL_PACK_ROW_LENGTH, pitch / 4);
  gl.ReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
  CountReadBack((size_t)width * height * 4);
  gl.PixelStorei(GL_PACK_ROW_LENGTH, 0);
  for (int y = 0; y < height; y++) {
    uint32_t* row = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + (size_t)y * pitch);
    for (int x = 0; x < width; x++) row[x] &= 0xFFFFFFu;
  }
  return 0;
}

HRESULT SwapChain::Present(const RECT* source, const RECT* dest, HWND, const void*, DWORD) {
  return device_->PresentBackBuffer(source, dest);
}

}  // namespace vox_d3d9
