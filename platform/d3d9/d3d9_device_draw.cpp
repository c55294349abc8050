// The device's draws and clears: the render target bound with its depth
// surface, the viewport as a scissor rectangle, clearing, and the draws that
// feed one streaming vertex buffer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/d3d9/d3d9_internal.h"

namespace vox_d3d9 {

namespace {

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

// A line list (a strip becomes one) whose segments have their ends moved a
// tenth of a pixel towards each other along the line. An end on a pixel
// centre lies on the edge of what OpenGL's rasterizers (llvmpipe among
// them) take as that pixel's diamond, and with the rounding of the
// position they then leave out a line's first pixel or keep its last,
// depending on the direction; a tenth inside, the first pixel is always
// drawn and the last never, as Direct3D draws them, and no pixel between
// changes. Colours and the rest of each vertex stay where they were, so
// the first vertex still gives the colour.
std::vector<uint8_t> LinesWithEndsInside(D3DPRIMITIVETYPE type, const uint8_t* v, UINT n, UINT stride) {
  UINT segments = type == D3DPT_LINELIST ? n / 2 : (n ? n - 1 : 0);
  std::vector<uint8_t> out((size_t)segments * 2 * stride);
  for (UINT s = 0; s < segments; s++) {
    const uint8_t* a = type == D3DPT_LINELIST ? v + (size_t)(2 * s) * stride : v + (size_t)s * stride;
    uint8_t* oa = &out[(size_t)(2 * s) * stride];
    uint8_t* ob = oa + stride;
    std::memcpy(oa, a, stride);
    std::memcpy(ob, a + stride, stride);
    float p[4];
    std::memcpy(p, oa, 8);
    std::memcpy(p + 2, ob, 8);
    float dx = p[2] - p[0], dy = p[3] - p[1], major = std::max(std::fabs(dx), std::fabs(dy));
    if (major < 1.0f) continue;
    float k = 0.1f / major;
    float start[2] = {p[0] + dx * k, p[1] + dy * k}, end[2] = {p[2] - dx * k, p[3] - dy * k};
    std::memcpy(oa, start, 8);
    std::memcpy(ob, end, 8);
  }
  return out;
}

}  // namespace

// ---- targets, viewport and scissor ---------------------------------------------------------------

void Device::BindTarget() {
  WillWrite(render_target_);
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
  if (flags & D3DCLEAR_ZBUFFER) g_draw_counts.depth_clears++;
  RECT area = ViewportRect();
  // A depth buffer that holds the value over the area, nothing having
  // written it since it was cleared, needs no clearing again.
  if (flags == D3DCLEAR_ZBUFFER && count == 0 && depth_->HoldsDepth(z, area)) return D3D_OK;
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
  if (count == 0) {
    ScissorTo(area);
    gl.Clear(bits);
    CountPass(area.right - area.left, area.bottom - area.top);
  } else {
    for (DWORD i = 0; i < count; i++) {
      RECT r = Intersect(area, rects[i]);
      if (r.right <= r.left || r.bottom <= r.top) continue;
      ScissorTo(r);
      gl.Clear(bits);
      CountPass(r.right - r.left, r.bottom - r.top);
    }
  }
  if (flags & D3DCLEAR_ZBUFFER) depth_->cleared_depth = {count == 0, z, area};
  return D3D_OK;
}

// ---- drawing ----------------------------------------------------------------------------------

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
      (fvf_ & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW) {
    lines = LinesWithEndsInside(type, static_cast<const uint8_t*>(vertices), vertex_count, stride);
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

}  // namespace vox_d3d9
