// Painting into a window: the paint bracket, filling with the black brush,
// and the stretched copy of a DIB into the client area (SDL's window
// surface), which is then shown.
#include <algorithm>
#include <cstring>

#include "platform/win32/dib_rows.h"
#include "platform/win32/window_internal.h"

namespace {

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
  if (x_src < 0 || y_src < 0 || (int64_t)x_src + src_width > width || (int64_t)y_src + src_height > height) return 0;
  size_t stride = (size_t)DibRowBytes(width, bpp);

  SDL_Surface* surface = SDL_GetWindowSurface(w->sdl);
  if (!surface) return 0;
  w->pixel_reader = nullptr;  // the window shows this surface again
  SDL_Rect to = ToSurface(w, surface, x_dest, y_dest, dest_width, dest_height);
  if (w->fullscreen && (to.x > 0 || to.y > 0)) FillSurface(surface, nullptr);
  SDL_Rect clip{0, 0, surface->w, surface->h}, visible;
  if (!SDL_IntersectRect(&to, &clip, &visible)) return src_height;
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return 0;
  DrawDibToSurface(surface, DibPlacement{x_src, y_src, src_width, src_height, to, visible},
                   static_cast<const uint8_t*>(bits), stride, height, h.biHeight < 0, bpp, masks);
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
