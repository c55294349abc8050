// Textures of device images: how an image is cut into power-of-two
// textures, their creation, the per-graph texture pieces, the transfer of
// decoded images into them (colour key, mip-maps, block-compressed images),
// their release and re-creation around a new device, and a device image
// turned into a memory image when the device could not be made again.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/alloc.h"
#include "engine/core/log.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

bool IsDxt(D3DFORMAT f) {
  return f == D3DFMT_DXT1 || f == D3DFMT_DXT2 || f == D3DFMT_DXT3 || f == D3DFMT_DXT4 || f == D3DFMT_DXT5;
}
int DxtKind(D3DFORMAT f) { return IsDxt(f) ? (int)((f >> 24) - '0') : 0; }

// The part of the image rectangle `area` that texture t holds; false when
// it holds none.
bool CutToTexture(const PixelRect& area, const ImageTexture& t, PixelRect* out) {
  *out = PixelRect{std::max(area.left, t.x), std::max(area.top, t.y), std::min(area.right, t.x + t.used_width),
                   std::min(area.bottom, t.y + t.used_height)};
  return out->left < out->right && out->top < out->bottom;
}

// Converts a rectangle of the source (and its alpha image) into `dst`.
int Convert(uint8_t* dst, int dst_pitch, const PIXELFORMAT* dst_format, BASEIMAGE* image, BASEIMAGE* alpha,
            const PixelRect& src, int dst_x, int dst_y, const GraphImageData* data) {
  bool key = data->transparency && !alpha && dst_format->alpha_width != 0;
  return ConvertPixelRect(dst, dst_pitch, dst_format, image->pixels, image->pitch, &image->format,
                          alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0, alpha ? &alpha->format : nullptr,
                          dst_x, dst_y, &src, 0, key ? 1 : 0, data->transparent_colour, 0, 0,
                          data->blend_image ? 1 : 0, 0, 0);
}

// Block rows of one mip level of a compressed base image.
const uint8_t* DxtLevel(const BASEIMAGE* image, int level, int* pitch, int* rows) {
  int block = image->format.dxt_kind == 1 ? 8 : 16;
  const uint8_t* p = image->pixels;
  int w = image->width, h = image->height;
  for (int i = 0;; i++) {
    int bw = std::max(1, (w + 3) / 4), bh = std::max(1, (h + 3) / 4);
    if (i == level) {
      *pitch = bw * block;
      *rows = bh;
      return p;
    }
    p += (size_t)bw * block * bh;
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
  }
}

// One texture's part of a transfer into a texture that is not a draw target.
int TransferIntoTexture(GraphImageData* data, ImageTexture& t, BASEIMAGE* image, BASEIMAGE* alpha, const PixelRect& src,
                        const PixelRect& dst) {
  D3DFORMAT format = TextureFormatSlot(data->format_index);
  int levels = std::max(1, data->mip_level_count);
  bool whole = dst.left == t.x && dst.top == t.y && dst.right - dst.left == t.width && dst.bottom - dst.top == t.height;
  if (image->format.dxt_kind && IsDxt(format) && DxtKind(format) == (int)image->format.dxt_kind && whole &&
      image->mip_count >= levels) {
    // Blocks of the same kind go in as they are, level by level.
    for (int i = 0; i < levels; i++) {
      D3DLOCKED_RECT locked;
      if (t.texture->LockRect((UINT)i, &locked, nullptr, 0) != D3D_OK)
        return WriteLogText("テクスチャのロックに失敗しました\n");
      int pitch, rows;
      const uint8_t* from = DxtLevel(image, i, &pitch, &rows);
      for (int r = 0; r < rows; r++)
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + (size_t)r * locked.Pitch, from + (size_t)r * pitch,
                    (size_t)std::min(pitch, locked.Pitch));
      t.texture->UnlockRect((UINT)i);
    }
    return 0;
  }
  if (IsDxt(format)) {
    WriteLogText("DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n");
    return 1;  // this texture is skipped; the others still get their part
  }
  if (image->format.dxt_kind) ExpandCompressedBaseImage(image);
  const PIXELFORMAT* pf = TextureFormatRecord(data->format_index);
  int ox = dst.left - t.x, oy = dst.top - t.y;
  int cw = src.right - src.left, ch = src.bottom - src.top;
  if (cw <= 0 || ch <= 0) return 0;
  // Only the rectangle written is locked, so only it is uploaded.
  if (levels == 1) {
    D3DLOCKED_RECT locked;
    RECT area{ox, oy, ox + cw, oy + ch};
    if (t.texture->LockRect(0, &locked, &area, 0) != D3D_OK) return WriteLogText("テクスチャのロックに失敗しました\n");
    Convert(static_cast<uint8_t*>(locked.pBits), locked.Pitch, pf, image, alpha, src, 0, 0, data);
    t.texture->UnlockRect(0);
    return 0;
  }
  int w = PowerOfTwoAtLeast(cw), h = PowerOfTwoAtLeast(ch);
  int bpp = pf->bytes_per_pixel;
  std::vector<uint8_t> a, b;
  a.assign((size_t)bpp * w * h, 0);
  b.assign((size_t)bpp * w * h, 0);
  if (a.empty()) return WriteLogText("テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
  Convert(a.data(), bpp * w, pf, image, alpha, src, 0, 0, data);
  for (int i = 0; i < levels; i++) {
    int lx = ox >> i, ly = oy >> i;
    int lw = std::max(1, cw >> i), lh = std::max(1, ch >> i);
    int tw = std::max(1, t.width >> i), th = std::max(1, t.height >> i);
    lw = std::min(lw, tw - lx);
    lh = std::min(lh, th - ly);
    if (lw <= 0 || lh <= 0) break;
    D3DLOCKED_RECT locked;
    RECT area{lx, ly, lx + lw, ly + lh};
    if (t.texture->LockRect((UINT)i, &locked, &area, 0) != D3D_OK)
      return WriteLogText(i == 0 ? "テクスチャのロックに失敗しました\n" : "ミップマップテクスチャのロックに失敗しました\n");
    for (int r = 0; r < lh; r++)
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + (size_t)r * locked.Pitch, a.data() + (size_t)r * w * bpp,
                  (size_t)lw * bpp);
    t.texture->UnlockRect((UINT)i);
    if (i + 1 < levels && (w > 1 || h > 1)) {
      int nw = std::max(1, w / 2), nh = std::max(1, h / 2);
      ReducePixelsBox(pf, b.data(), nw * bpp, a.data(), w * bpp, 0, 0, 0, 0, w, h);
      std::swap(a, b);
      w = nw, h = nh;
    }
  }
  return 0;
}

}  // namespace

int ChooseTextureSize(int size, int* out, int single) {
  if (size <= 8) {
    out[0] = 8;
    return 1;
  }
  const TextureSettings& settings = g_texture_settings;
  int max = settings.user_max_size ? settings.user_max_size : (int)g_device.max_texture_size;
  if (max < 8) max = 8;
  int t = max;
  while (t > 8 && size < t) t >>= 1;
  int screen_w = g_screen.width ? g_screen.width : 640;
  if (((settings.never_split || single) && 2 * t <= max) || (!settings.user_max_size && size < screen_w && 2 * t <= max)) {
    out[0] = size <= t ? t : 2 * t;
    return 1;
  }
  int n = 0, remaining = size;
  while (n < 32) {
    out[n++] = t;
    remaining -= t;
    if (remaining <= 0) break;
    if (remaining > (3 * t) / 4 && t < max) {
      out[n - 1] = 2 * t;
      break;
    }
    while (t > remaining && t > 8) t >>= 1;
  }
  if (n >= 2 && out[n - 1] == out[n - 2] && 2 * out[n - 1] <= max) {
    out[n - 2] *= 2;
    n--;
  }
  return n;
}

int CreateImageData(GraphImageData* data, int width, int height, int alpha_channel, int mip_levels,
                            int compressed_kind) {
  if (mip_levels == -1) {
    if (g_texture_settings.mip_setting == -1) {
      mip_levels = 1;
      for (int w = width, h = height; w > 1 || h > 1; w = std::max(1, w / 2), h = std::max(1, h / 2)) mip_levels++;
    } else {
      mip_levels = g_texture_settings.mip_setting <= 1 ? 1 : g_texture_settings.mip_setting;
    }
  }
  if (mip_levels < 1) mip_levels = 1;
  if (g_draw.create_draw_target) {
    data->draw_target = 1;
    data->alpha = g_draw.create_alpha ? 1 : 0;
    data->transparency = 0;
    data->blend_image = 0;
    data->default_pool = 1;
    mip_levels = 1;
  } else {
    data->draw_target = 0;
    data->alpha = alpha_channel ? 1 : 0;
    data->transparency = g_draw.create_alpha_test ? 1 : 0;
    data->blend_image = g_draw.create_blend_image ? 1 : 0;
    data->default_pool = g_draw.create_default_pool ? 1 : 0;
  }
  data->bits = (uint8_t)(g_draw.create_depth ? g_draw.create_depth : data->alpha ? 32 : g_screen.depth);
  if (data->bits != 16) data->bits = 32;
  if (data->alpha) data->transparency = 0;
  if (data->blend_image) {
    data->bits = 32;
    data->alpha = 1;
    data->transparency = 0;
    data->draw_target = 0;
  }
  data->mip_levels = (uint8_t)mip_levels;
  data->mip_level_count = mip_levels;
  bool single = data->draw_target || data->blend_image;
  int widths[32], heights[32];
  int nw = ChooseTextureSize(width, widths, single ? 1 : 0);
  int nh = ChooseTextureSize(height, heights, single ? 1 : 0);
  std::vector<ImageTexture> list;
  for (int j = 0, y = 0; j < nh; y += heights[j], j++)
    for (int i = 0, x = 0; i < nw; x += widths[i], i++) list.push_back(ImageTexture{nullptr, nullptr, nullptr, x, y, 0, 0, widths[i], heights[j]});
  if (g_device.texture_caps & D3DPTEXTURECAPS_SQUAREONLY) {
    size_t grid = list.size();
    for (size_t k = 0; k < grid; k++) {
      ImageTexture& t = list[k];
      if (t.width == t.height) continue;
      int side = std::min(t.width, t.height);
      int across = t.width / side, down = t.height / side;
      int x0 = t.x, y0 = t.y;
      t.width = t.height = side;
      for (int j = 0; j < down; j++)
        for (int i = 0; i < across; i++)
          if (i || j) list.push_back(ImageTexture{nullptr, nullptr, nullptr, x0 + i * side, y0 + j * side, 0, 0, side, side});
    }
  }
  data->textures = (ImageTexture*)VOX_CALLOC((uint32_t)(list.size() * sizeof(ImageTexture)));
  if (!data->textures) return WriteLogText("グラフィックのオリジナル画像データ保存用メモリの確保に失敗しました\n");
  data->texture_count = (int32_t)list.size();
  for (size_t k = 0; k < list.size(); k++) {
    ImageTexture& t = list[k];
    t.used_width = std::max(0, std::min(t.width, width - t.x));
    t.used_height = std::max(0, std::min(t.height, height - t.y));
    data->textures[k] = t;
  }
  TextureFormatRequest request{};
  request.alpha_channel = data->alpha;
  request.draw_target = data->draw_target;
  request.compressed_kind = (uint8_t)(compressed_kind >= 1 && compressed_kind <= 5 ? compressed_kind : 0);
  request.alpha_test = data->transparency;
  request.bit_depth = data->bits;
  data->format_index = ChooseTextureFormatIndex(&request);
  return CreateGraphTextures(data);
}

int CreateGraphTextures(GraphImageData* data) {
  IDirect3DDevice9* device = g_device.device;
  if (!device) return -1;
  if (!IsDeviceImage(data)) return 0;
  D3DFORMAT format = TextureFormatSlot(data->format_index);
  if (!format) return WriteLogText("指定のフォーマットで作成できるテクスチャフォーマットがありませんでした\n");
  for (int k = 0; k < data->texture_count; k++) {
    ImageTexture& t = data->textures[k];
    if (t.texture) continue;
    DWORD usage = data->draw_target ? D3DUSAGE_RENDERTARGET : 0;
    D3DPOOL pool = data->default_pool ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
    UINT levels = (UINT)std::max(1, data->mip_level_count);
    if (device->CreateTexture((UINT)t.width, (UINT)t.height, levels, usage, format, pool, &t.texture, nullptr) !=
        D3D_OK) {
      t.texture = nullptr;
      return WriteLogText("テクスチャの作成に失敗しました\n");
    }
    t.texture->GetSurfaceLevel(0, &t.surface);
    if (data->draw_target) {
      device->ColorFill(t.surface, nullptr, 0);
    } else if (!IsDxt(format) && pool == D3DPOOL_MANAGED) {
      for (UINT i = 0; i < levels; i++) {
        D3DLOCKED_RECT locked;
        if (t.texture->LockRect(i, &locked, nullptr, 0) != D3D_OK) continue;
        std::memset(locked.pBits, 0, (size_t)locked.Pitch * (size_t)std::max(1, t.height >> i));
        t.texture->UnlockRect(i);
      }
    }
  }
  return 0;
}

void ReleaseGraphDepthSurfaces(GraphImageData* data) {
  for (int k = 0; k < data->texture_count; k++) ReleaseObject(data->textures[k].depth);
}

void UnbindTexture(IDirect3DTexture9* texture) {
  if (!texture) return;
  FlushVertexBatch();
  for (int s = 0; s < 8; s++)
    if (g_rs.stages[s].texture == texture) {
      if (g_device.device) g_device.device->SetTexture((DWORD)s, nullptr);
      g_rs.stages[s].texture = nullptr;
    }
  if (g_rs.graph_texture == texture) g_rs.graph_texture = nullptr, g_rs.blend_dirty = 1;
  if (g_rs.blend_texture == texture) g_rs.blend_texture = nullptr, g_rs.blend_dirty = 1;
}

void ReleaseGraphTextures(GraphImageData* data) {
  if (!data || !data->textures) return;
  for (int k = 0; k < data->texture_count; k++) UnbindTexture(data->textures[k].texture);
  ReleaseGraphDepthSurfaces(data);
  for (int k = 0; k < data->texture_count; k++) {
    ImageTexture& t = data->textures[k];
    if (t.surface && g_rs.render_target == t.surface) g_rs.render_target = nullptr;
    ReleaseObject(t.surface);
    ReleaseObject(t.texture);
  }
}

int BuildTextureDrawInfo(int graph) {
  GraphRecord* r = GetGraphRecord(graph);
  if (!r || !r->image) return -1;
  GraphImageData* data = r->image;
  std::vector<TexturePiece> pieces;
  const PixelRect area{r->x, r->y, r->x + r->width, r->y + r->height};
  for (int k = 0; k < data->texture_count; k++) {
    const ImageTexture& t = data->textures[k];
    PixelRect c;
    if (!CutToTexture(area, t, &c)) continue;
    TexturePiece p{};
    p.graph_x = c.left - r->x, p.graph_y = c.top - r->y;
    p.tex_x = c.left - t.x, p.tex_y = c.top - t.y;
    p.width = c.right - c.left, p.height = c.bottom - c.top;
    p.left = (float)p.graph_x, p.top = (float)p.graph_y;
    p.right = (float)(c.right - r->x), p.bottom = (float)(c.bottom - r->y);
    p.u1 = (float)p.tex_x / (float)t.width, p.v1 = (float)p.tex_y / (float)t.height;
    p.u2 = (float)(p.tex_x + p.width) / (float)t.width, p.v2 = (float)(p.tex_y + p.height) / (float)t.height;
    p.texture = k;
    pieces.push_back(p);
  }
  if (pieces.empty()) return WriteLogText("テクスチャ描画情報の作成に失敗しました\n");
  VOX_FREE(r->pieces);
  r->pieces = (TexturePiece*)VOX_ALLOC((uint32_t)(pieces.size() * sizeof(TexturePiece)));
  if (!r->pieces) {
    r->piece_count = 0;
    return WriteLogText("画像描画情報格納用メモリの確保に失敗しました\n");
  }
  std::memcpy(r->pieces, pieces.data(), pieces.size() * sizeof(TexturePiece));
  r->piece_count = (int32_t)pieces.size();
  return 0;
}

int TransferBaseImageToTexture(BASEIMAGE* image, BASEIMAGE* alpha, GraphImageData* data, const int32_t* s, int x,
                               int y) {
  if (!g_device.device) return -1;
  // Draws still queued show the picture they were queued with (a movie's
  // earlier frame, say).
  FlushVertexBatch();
  PixelRect whole{x, y, x + s[2] - s[0], y + s[3] - s[1]};
  if (data->draw_target) {
    // Draw targets cannot be locked: the rectangle goes through a surface
    // in system memory.
    if (image->format.dxt_kind) ExpandCompressedBaseImage(image);
    D3DFORMAT format = TextureFormatSlot(data->format_index);
    IDirect3DSurface9* plain = nullptr;
    int w = whole.right - whole.left, h = whole.bottom - whole.top;
    if (g_device.device->CreateOffscreenPlainSurface((UINT)w, (UINT)h, format, D3DPOOL_SYSTEMMEM, &plain, nullptr) !=
        D3D_OK)
      return WriteLogText("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
    D3DLOCKED_RECT locked;
    int result = 0;
    if (plain->LockRect(&locked, nullptr, D3DLOCK_DISCARD) == D3D_OK) {
      PixelRect src{s[0], s[1], s[2], s[3]};
      Convert(static_cast<uint8_t*>(locked.pBits), locked.Pitch, TextureFormatRecord(data->format_index), image,
              alpha, src, 0, 0, data);
      plain->UnlockRect();
      for (int k = 0; k < data->texture_count; k++) {
        const ImageTexture& t = data->textures[k];
        PixelRect c;
        if (!t.surface || !CutToTexture(whole, t, &c)) continue;
        RECT from{c.left - whole.left, c.top - whole.top, c.right - whole.left, c.bottom - whole.top};
        POINT to{c.left - t.x, c.top - t.y};
        g_device.device->UpdateSurface(plain, &from, t.surface, &to);
      }
    } else {
      result = -1;
    }
    plain->Release();
    return result;
  }
  for (int k = 0; k < data->texture_count; k++) {
    ImageTexture& t = data->textures[k];
    PixelRect dst;
    if (!t.texture || !CutToTexture(whole, t, &dst)) continue;
    PixelRect src{s[0] + dst.left - whole.left, s[1] + dst.top - whole.top, s[0] + dst.right - whole.left,
                  s[1] + dst.bottom - whole.top};
    if (TransferIntoTexture(data, t, image, alpha, src, dst) < 0) return -1;
  }
  return 0;
}

int ReleaseAllGraphTextures() {
  ForEachGraph([](int, GraphRecord& r) {
    if (IsDeviceImage(r.image)) ReleaseGraphTextures(r.image);
  });
  return 0;
}

int RecreateAllGraphTextures() {
  ForEachGraph([](int, GraphRecord& r) {
    if (IsDeviceImage(r.image)) CreateGraphTextures(r.image);
  });
  return 0;
}

int ConvertImageToSoftware(GraphImageData* data) {
  if (!IsDeviceImage(data)) return 0;
  ReleaseGraphTextures(data);
  VOX_FREE(data->textures);
  data->textures = nullptr;
  data->texture_count = 0;
  if (SoftwareDriver()->adopt_image(data) < 0) return -1;
  // Every graph on this image drops its pieces; its view is made by the caller.
  ForEachGraph([&](int, GraphRecord& r) {
    if (r.image != data) return;
    VOX_FREE(r.pieces);
    r.pieces = nullptr;
    r.piece_count = 0;
  });
  return 0;
}

int ConvertImageToDevice(GraphImageData* data) {
  if (!data || IsDeviceImage(data)) return 0;
  // Every graph on this image drops its view of the memory image.
  ForEachGraph([&](int, GraphRecord& r) {
    if (r.image == data) SoftwareDriver()->detach_graph(&r);
  });
  MEMIMG pixels = data->image;  // kept until the textures hold them
  data->image = MEMIMG{};
  // The creation settings that made the image choose its device format; a
  // software draw target is the one made in the default pool.
  DrawState keep = g_draw;
  g_draw.create_draw_target = data->default_pool && !data->blend_image;
  g_draw.create_alpha = data->alpha;
  g_draw.create_alpha_test = data->transparency;
  g_draw.create_blend_image = data->blend_image;
  g_draw.create_default_pool = 0;
  g_draw.create_depth = 0;
  data->driver = DeviceDriver();
  int result = CreateImageData(data, data->width, data->height, data->alpha, 1, 0);
  g_draw = keep;
  if (result == 0 && IsMEMIMGValid(&pixels)) {
    const PIXELSTORE* store = pixels.store;
    BASEIMAGE image{*store->format, store->width, store->height, store->pitch, store->pixel_memory, 0};
    const int32_t whole[4] = {0, 0, std::min(data->width, store->width), std::min(data->height, store->height)};
    result = TransferBaseImageToTexture(&image, nullptr, data, whole, 0, 0);
  }
  ReleaseMEMIMG(&pixels);
  ForEachGraph([&](int graph, GraphRecord& r) {
    if (r.image == data && BuildTextureDrawInfo(graph) < 0) result = -1;
  });
  return result;
}

void FillVertexElement(D3DVERTEXELEMENT9* out, int stream, int offset, int type, int method, int usage, int index) {
  out->Stream = (uint16_t)stream;
  out->Offset = (uint16_t)offset;
  out->Type = (uint8_t)type;
  out->Method = (uint8_t)method;
  out->Usage = (uint8_t)usage;
  out->UsageIndex = (uint8_t)index;
}

// GetDrawScreenGraph on the device: the rectangle of the draw
// screen's surface goes straight into a draw-target graph, or else through
// a temporary target and a read-back into system memory.
int CopyDrawScreenToGraph(int x1, int y1, int x2, int y2, int graph) {
  IDirect3DDevice9* device = g_device.device;
  GraphRecord* record = GetGraphRecord(graph);
  if (!device || !record || !record->image || record->piece_count < 1) return -1;
  IDirect3DSurface9* source = DrawScreenSurface(g_draw.draw_screen);
  if (!source) return -1;
  RECT from{x1, y1, x2, y2};
  int w = x2 - x1, h = y2 - y1;
  GraphImageData* data = record->image;
  if (data->draw_target) {
    const TexturePiece& p = record->pieces[0];
    RECT to{p.tex_x, p.tex_y, p.tex_x + w, p.tex_y + h};
    return device->StretchRect(source, &from, data->textures[p.texture].surface, &to, D3DTEXF_NONE) == D3D_OK ? 0
                                                                                                            : -1;
  }
  D3DSURFACE_DESC desc{};
  source->GetDesc(&desc);
  IDirect3DSurface9* target = nullptr;
  IDirect3DSurface9* memory = nullptr;
  int result = -1;
  if (device->CreateRenderTarget((UINT)w, (UINT)h, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE, &target, nullptr) !=
      D3D_OK) {
    WriteLogText("GetDrawScreenGraph 用描画可能サーフェスの作成に失敗しました\n");
  } else if (device->CreateOffscreenPlainSurface((UINT)w, (UINT)h, desc.Format, D3DPOOL_SYSTEMMEM, &memory,
                                                 nullptr) != D3D_OK) {
    WriteLogText("GetDrawScreenGraph 用システムメモリサーフェスの作成に失敗しました\n");
  } else {
    device->StretchRect(source, &from, target, nullptr, D3DTEXF_NONE);
    D3DLOCKED_RECT locked;
    const PIXELFORMAT* format = PixelFormatOfD3DFormat(desc.Format);
    if (format && device->GetRenderTargetData(target, memory) == D3D_OK &&
        memory->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
      BASEIMAGE image{};
      image.format = *format;
      image.width = w;
      image.height = h;
      image.pitch = locked.Pitch;
      image.pixels = static_cast<uint8_t*>(locked.pBits);
      // The screen's spare bits carry no alpha: the pixels go in opaque.
      if (image.format.alpha_width == 0) FixSparePixelMask(&image.format);
      result = TransferBaseImageToGraph(&image, nullptr, nullptr, 0, 0, graph, 0);
      memory->UnlockRect();
    }
  }
  if (memory) memory->Release();
  if (target) target->Release();
  return result;
}

}  // namespace device

// The engine's entry: a movie frame the device converts, copied into a graph.
int UpdateGraphFromSurface(int graph, IDirect3DSurface9* surface) {
  using namespace device;
  GraphRecord* r = GetGraphRecord(graph);
  if (!r || !IsDeviceImage(r->image) || !g_device.device || !surface || r->image->texture_count < 1) return -1;
  const ImageTexture& t = r->image->textures[0];
  if (!t.surface) return -1;
  FlushVertexBatch();
  EndSceneIfOpen();
  RECT area{0, 0, t.used_width, t.used_height};
  return g_device.device->StretchRect(surface, &area, t.surface, &area, D3DTEXF_NONE) == D3D_OK ? 0 : -1;
}
