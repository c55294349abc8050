// Conversion of decoded Theora frames: studio-range BT.601 to 32-bit RGB
// through fixed-point tables (14 fractional bits), and the byte layouts of
// the YUV surfaces a graphics device converts itself.
#include <cstring>
#include <thread>

#include "engine/movie/theora_stream.h"

namespace {

struct YuvTables {
  uint8_t clamp[1280];  // entry v + 512 holds v clamped to 0..255
  int32_t red_from_v[256];
  int32_t green_from_u[256];
  int32_t green_from_v[256];
  int32_t blue_from_u[256];
  int32_t luma[256];
};
YuvTables g_yuv;

inline uint8_t Clamp(int32_t fixed) { return g_yuv.clamp[fixed / 16384 + 512]; }

inline uint8_t ClampFloat(double v) {
  int i = int(v);  // truncates toward zero
  return uint8_t(i < 0 ? 0 : i > 255 ? 255 : i);
}

bool Is420(const YuvPlanes& p) { return p.uv_width * 2 == p.y_width && p.uv_height * 2 == p.y_height; }
// Two pixels of a row share their chroma, each row has its own or shares it
// with the next (4:2:2 or 4:2:0): what the packed layouts hold.
bool HalfWidthChroma(const YuvPlanes& p) {
  return p.uv_width * 2 == p.y_width && (p.uv_height == p.y_height || p.uv_height * 2 == p.y_height);
}

// The frame into the stream's YUV surface in its own layout. A surface that
// will not lock (lost with its device, say) is made anew, up to three tries;
// without a lock the surface keeps its previous picture.
void CopyFrameToSurface(TheoraStream* s, const YuvPlanes& planes) {
  D3DLOCKED_RECT locked{};
  bool got = false;
  for (int attempt = 0; attempt < 3 && !got; attempt++) {
    got = s->yuv_surface && s->yuv_surface->LockRect(&locked, nullptr, 0) == D3D_OK;
    if (!got) MakeTheoraYuvSurface(s);
  }
  if (!got) return;
  D3DSURFACE_DESC desc{};
  s->yuv_surface->GetDesc(&desc);
  // A frame the surface cannot hold (larger, or chroma its layout does not
  // keep) leaves it out of date: the frame image then serves.
  const bool copied = planes.y_width <= int32_t(desc.Width) && planes.y_height <= int32_t(desc.Height) &&
                      PackYuvPlanes(planes, s->yuv_surface_format, static_cast<uint8_t*>(locked.pBits),
                                    locked.Pitch) == 0;
  s->yuv_surface->UnlockRect();
  if (copied) s->surface_up_to_date.store(1);
}

}  // namespace

int BuildYuvToRgbTables() {
  for (int i = 0; i < 1280; i++) g_yuv.clamp[i] = uint8_t(i < 512 ? 0 : i > 767 ? 255 : i - 512);
  for (int i = 0; i < 256; i++) {
    g_yuv.red_from_v[i] = 26148 * (i - 128);
    g_yuv.green_from_u[i] = -6406 * (i - 128);
    g_yuv.green_from_v[i] = -13320 * (i - 128);
    g_yuv.blue_from_u[i] = 33062 * (i - 128);
    g_yuv.luma[i] = 19070 * (i - 16);
  }
  return 0;
}

void ConvertYuvPlanesToXrgb(const YuvPlanes& p, uint8_t* out, int32_t out_pitch) {
  if (Is420(p)) {
    for (int by = 0; by < p.y_height / 2; by++) {
      const uint8_t* y0 = p.y + (size_t)(2 * by) * p.y_stride;
      const uint8_t* y1 = y0 + p.y_stride;
      const uint8_t* u = p.u + (size_t)by * p.uv_stride;
      const uint8_t* v = p.v + (size_t)by * p.uv_stride;
      uint8_t* o0 = out + (size_t)(2 * by) * out_pitch;
      uint8_t* o1 = o0 + out_pitch;
      for (int bx = 0; bx < p.y_width / 2; bx++) {
        const int32_t r = g_yuv.red_from_v[v[bx]];
        const int32_t g = g_yuv.green_from_u[u[bx]] + g_yuv.green_from_v[v[bx]];
        const int32_t b = g_yuv.blue_from_u[u[bx]];
        const uint8_t* rows[2] = {y0, y1};
        uint8_t* outs[2] = {o0, o1};
        for (int row = 0; row < 2; row++)
          for (int col = 0; col < 2; col++) {
            const int32_t l = g_yuv.luma[rows[row][2 * bx + col]];
            uint8_t* px = outs[row] + (size_t)(2 * bx + col) * 4;
            px[0] = Clamp(l + b);
            px[1] = Clamp(l + g);
            px[2] = Clamp(l + r);
            px[3] = 255;
          }
      }
    }
    return;
  }
  // Chroma at its plane's own scale: 4:2:2 halves the columns only, 4:4:4
  // neither.
  for (int y = 0; y < p.y_height; y++) {
    uint8_t* o = out + (size_t)y * out_pitch;
    const int cy = int(int64_t(y) * p.uv_height / p.y_height);
    for (int x = 0; x < p.y_width; x++) {
      const int cx = int(int64_t(x) * p.uv_width / p.y_width);
      const double l = 1.164 * (p.y[(size_t)y * p.y_stride + x] - 16);
      const double u = p.u[(size_t)cy * p.uv_stride + cx] - 128;
      const double v = p.v[(size_t)cy * p.uv_stride + cx] - 128;
      o[4 * x + 0] = ClampFloat(l + 2.018 * u);
      o[4 * x + 1] = ClampFloat(l - 0.391 * u - 0.813 * v);
      o[4 * x + 2] = ClampFloat(l + 1.596 * v);
      o[4 * x + 3] = 255;
    }
  }
}

int PackYuvPlanes(const YuvPlanes& p, uint32_t fourcc, uint8_t* out, int32_t pitch) {
  if (fourcc == MakeFourCC('Y', 'V', '1', '2')) {
    if (!Is420(p)) return -1;
    for (int y = 0; y < p.y_height; y++) std::memcpy(out + (size_t)y * pitch, p.y + (size_t)y * p.y_stride, p.y_width);
    uint8_t* chroma = out + (size_t)p.y_height * pitch;
    const int32_t half = pitch / 2;
    for (const uint8_t* plane : {p.v, p.u}) {
      for (int y = 0; y < p.uv_height; y++)
        std::memcpy(chroma + (size_t)y * half, plane + (size_t)y * p.uv_stride, p.uv_width);
      chroma += (size_t)p.uv_height * half;
    }
    return 0;
  }
  const bool yuy2 = fourcc == MakeFourCC('Y', 'U', 'Y', '2');
  if (!yuy2 && fourcc != MakeFourCC('U', 'Y', 'V', 'Y')) return -1;
  if (!HalfWidthChroma(p)) return -1;
  // Each pair of pixels of a row with the chroma of its row (4:2:2), or of
  // its pair of rows (4:2:0).
  const int rows_per_chroma = p.y_height / p.uv_height;
  for (int y = 0; y < p.y_height; y++) {
    const uint8_t* ys = p.y + (size_t)y * p.y_stride;
    const uint8_t* us = p.u + (size_t)(y / rows_per_chroma) * p.uv_stride;
    const uint8_t* vs = p.v + (size_t)(y / rows_per_chroma) * p.uv_stride;
    uint8_t* o = out + (size_t)y * pitch;
    for (int bx = 0; bx < p.uv_width; bx++) {
      const uint8_t u = us[bx], v = vs[bx], y0 = ys[2 * bx], y1 = ys[2 * bx + 1];
      uint8_t* q = o + 4 * bx;
      if (yuy2) q[0] = y0, q[1] = u, q[2] = y1, q[3] = v;
      else q[0] = u, q[1] = y0, q[2] = v, q[3] = y1;
    }
  }
  return 0;
}

int ConvertTheoraFrame(TheoraStream* s, int want_image, int want_surface) {
  const bool surface_work = want_surface && !s->surface_up_to_date.load() && s->yuv_surface;
  const bool image_work = want_image && !s->image_up_to_date.load();
  if (!surface_work && !image_work) return 0;
  for (;;) {
    int state = s->thread_state.load(std::memory_order_acquire);
    while (state == THEORA_THREAD_SEEKING ||
           (s->seek_request.load(std::memory_order_acquire) && state != THEORA_THREAD_ENDED)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      state = s->thread_state.load(std::memory_order_acquire);
    }
    if (state == THEORA_THREAD_ENDED) return 0;
    std::unique_lock<std::mutex> lock(s->stock_lock);
    const int current = s->current_frame.load(std::memory_order_acquire);
    TheoraStockFrame* slot = FindStocked(s, current);
    if (!slot) {
      lock.unlock();
      if (s->end_of_data.load(std::memory_order_acquire)) return 0;
      std::this_thread::yield();
      continue;
    }
    YuvPlanes planes{slot->y, slot->u, slot->v, slot->y_width, slot->y_height, slot->y_stride,
                     slot->uv_width, slot->uv_height, slot->uv_stride};
    if (surface_work) CopyFrameToSurface(s, planes);
    if (image_work) {
      BASEIMAGE& image = s->frame_image;
      if (planes.y_width > image.width) planes.y_width = image.width;
      if (planes.y_height > image.height) planes.y_height = image.height;
      if (image.pixels) ConvertYuvPlanesToXrgb(planes, image.pixels, image.pitch);
      s->image_up_to_date.store(1);
    }
    return 1;
  }
}
