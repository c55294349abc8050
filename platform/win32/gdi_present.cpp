// Painting into a window: the paint bracket, filling with the black brush,
// and the stretched copy of a DIB into the client area (SDL's window
// surface), which is then shown.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win32/byte_order.h"
#include "platform/win32/window_internal.h"

namespace {

struct Channel {
  uint32_t mask;
  int shift;
  uint64_t max;
};

Channel ChannelOf(uint32_t mask) {
  return Channel{mask, vox_win32::BitFieldShift(mask), (1ull << vox_win32::BitFieldWidth(mask)) - 1};
}

// The channel scaled to 0..255, rounded to the nearest.
uint32_t Expand(uint32_t pixel, const Channel& c) {
  if (!c.max) return 0;
  return (uint32_t)((((pixel & c.mask) >> c.shift) * 255 + c.max / 2) / c.max);
}

// A channel's value (as the DIB holds it) to its bits in the surface's pixel
// format, through a table for channels up to 10 bits wide (null beyond).
struct ChannelTable {
  ChannelTable(const Channel& c, int loss, int shift) : channel(c), loss(loss), shift(shift) {
    if (c.max >= 1024) return;
    for (uint32_t v = 0; v <= c.max; v++) table[v] = (Expand(v << c.shift, c) >> loss) << shift;
    fast = table;
  }
  uint32_t bits(uint32_t pixel) const {
    return fast ? fast[(pixel & channel.mask) >> channel.shift] : (Expand(pixel, channel) >> loss) << shift;
  }
  Channel channel;
  int loss, shift;
  uint32_t table[1024];
  const uint32_t* fast = nullptr;
};

WindowObject* PaintTarget(HDC dc) { return vox_win32::LiveWindow(reinterpret_cast<HWND>(dc)); }

void FillSurface(SDL_Surface* surface, const SDL_Rect* rect) {
  SDL_FillRect(surface, rect, SDL_MapRGB(surface->format, 0, 0, 0));
}

// The client rectangle (x, y, w, h in client pixels) on the surface.
SDL_Rect ToSurface(const WindowObject* w, SDL_Surface* s, int x, int y, int width, int height) {
  vox_win32::SurfaceMap m = vox_win32::MapClientToSurface(w, s->w, s->h);
  int x0 = m.offset_x + (int)(x * m.scale + 0.5), y0 = m.offset_y + (int)(y * m.scale + 0.5);
  int x1 = m.offset_x + (int)((x + width) * m.scale + 0.5), y1 = m.offset_y + (int)((y + height) * m.scale + 0.5);
  return SDL_Rect{x0, y0, x1 - x0, y1 - y0};
}

}  // namespace

using namespace vox_win32;

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  WindowObject* w = LiveWindow(window);
  if (!w || !paint) return nullptr;
  w->paint_pending = false;
  RECT client;
  GetClientRect(window, &client);
  paint->hdc = reinterpret_cast<HDC>(window);
  paint->fErase = FALSE;
  paint->rcPaint = client;
  return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT*) { return LiveWindow(window) ? TRUE : FALSE; }

HBRUSH GetStockBrush(int index) { return (HBRUSH)(uintptr_t)(index + 1); }

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  WindowObject* w = PaintTarget(dc);
  if (!w || !rect) return 0;
  if (brush == GetStockBrush(NULL_BRUSH)) return 1;
  SDL_Surface* surface = SDL_GetWindowSurface(w->sdl);
  if (!surface) return 0;
  SDL_Rect r = ToSurface(w, surface, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
  FillSurface(surface, &r);
  SDL_UpdateWindowSurface(w->sdl);
  return 1;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
  WindowObject* w = LiveWindow(window);
  if (!w) return FALSE;
  w->paint_pending = true;
  return TRUE;
}

int StretchDIBitsToWindow(HWND window, int x_dest, int y_dest, int dest_width, int dest_height, int x_src, int y_src,
                          int src_width, int src_height, const void* bits, const BITMAPINFO* info) {
  WindowObject* w = LiveWindow(window);
  if (!w || !bits || !info || dest_width <= 0 || dest_height <= 0 || src_width <= 0 || src_height <= 0) return 0;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  int bpp = h.biBitCount;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return 0;
  uint32_t masks[3];
  if (!DibChannelMasks(info, masks)) return 0;
  int width = h.biWidth, height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (x_src < 0 || y_src < 0 || x_src + src_width > width || y_src + src_height > height) return 0;
  size_t stride = (size_t)DibRowBytes(width, bpp);
  Channel red = ChannelOf(masks[0]), green = ChannelOf(masks[1]), blue = ChannelOf(masks[2]);

  SDL_Surface* surface = SDL_GetWindowSurface(w->sdl);
  if (!surface) return 0;
  w->pixel_reader = nullptr;  // the window shows this surface again
  SDL_Rect to = ToSurface(w, surface, x_dest, y_dest, dest_width, dest_height);
  if (w->fullscreen && (to.x > 0 || to.y > 0)) FillSurface(surface, nullptr);
  SDL_Rect clip{0, 0, surface->w, surface->h}, visible;
  if (!SDL_IntersectRect(&to, &clip, &visible)) return src_height;
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return 0;
  const SDL_PixelFormat* f = surface->format;
  int out_bytes = f->BytesPerPixel;
  const uint8_t* base = static_cast<const uint8_t*>(bits);
  // Every frame of the software screen comes through here: the source
  // column of each surface column and each channel value's bits in the
  // surface's format are worked out once per call, not once per pixel.
  std::vector<int> column_list((size_t)visible.w);
  int* columns = column_list.data();
  for (int x = visible.x; x < visible.x + visible.w; x++)
    columns[x - visible.x] = x_src + (int)((int64_t)(x - to.x) * src_width / to.w);
  ChannelTable reds(red, f->Rloss, f->Rshift), greens(green, f->Gloss, f->Gshift), blues(blue, f->Bloss, f->Bshift);
  const uint32_t *rt = reds.fast, *gt = greens.fast, *bt = blues.fast;
  const bool tables = rt && gt && bt;
  const size_t out_copy = (size_t)std::min(out_bytes, 4);
  for (int y = visible.y; y < visible.y + visible.h; y++) {
    int sy = y_src + (int)((int64_t)(y - to.y) * src_height / to.h);
    const uint8_t* row = base + stride * (size_t)(h.biHeight < 0 ? sy : height - 1 - sy);
    uint8_t* out = static_cast<uint8_t*>(surface->pixels) + (size_t)y * surface->pitch + (size_t)visible.x * out_bytes;
    for (int i = 0; i < visible.w; i++) {
      const uint8_t* in = row + columns[i] * (bpp / 8);
      uint32_t p = bpp == 16 ? ReadLe16(in) : bpp == 24 ? ReadLe24(in) : ReadLe32(in);
      uint32_t packed = tables ? rt[(p & red.mask) >> red.shift] | gt[(p & green.mask) >> green.shift] |
                                     bt[(p & blue.mask) >> blue.shift]
                               : reds.bits(p) | greens.bits(p) | blues.bits(p);
      packed |= f->Amask;
      memcpy(out, &packed, out_copy);
      out += out_bytes;
    }
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  SDL_UpdateWindowSurface(w->sdl);
  return src_height;
}

int ReadWindowPixels(HWND window, uint32_t* pixels, int width, int height, int pitch) {
  WindowObject* w = LiveWindow(window);
  if (!w || !pixels) return -1;
  if (w->pixel_reader) return w->pixel_reader(w->pixel_reader_context, pixels, width, height, pitch);
  SDL_Surface* surface = SDL_GetWindowSurface(w->sdl);
  if (!surface || surface->w != width || surface->h != height) return -1;
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return -1;
  int bytes = surface->format->BytesPerPixel;
  for (int y = 0; y < height; y++) {
    const uint8_t* in = static_cast<const uint8_t*>(surface->pixels) + (size_t)y * surface->pitch;
    uint32_t* out = reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels) + (size_t)y * pitch);
    for (int x = 0; x < width; x++, in += bytes) {
      uint32_t p = 0;
      memcpy(&p, in, (size_t)std::min(bytes, 4));
      uint8_t r, g, b;
      SDL_GetRGB(p, surface->format, &r, &g, &b);
      out[x] = ((uint32_t)r << 16) | ((uint32_t)g << 8) | b;
    }
  }
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  return 0;
}
