// BMP decoder (uncompressed 4, 8 and 24 bits, RLE8 and RLE4; every other
// layout through GDI into 24 bits) and the engine's raw "BGRA" decoder.
// Every size, count and offset of the file is checked against its data.
#include <cstring>
#include <utility>

#include "engine/core/log.h"
#include "engine/image/image_internal.h"
#include "engine/image/image_load.h"
#include "platform/win32/dib.h"

namespace {

constexpr int kFileHeaderBytes = 14;
constexpr int kInfoReadBytes = 44;
constexpr uint32_t kPalettedHeaderBytes = 1068;
constexpr uint32_t kMaskHeaderBytes = 52;

void SetPalette(BASEIMAGE* image, const uint8_t* header, int entries) {
  InitPalettedPixelFormat(&image->format);
  const uint8_t* table = header + 40;
  for (int i = 0; i < entries; ++i)
    image->format.palette[i] = PaletteEntry{table[4 * i], table[4 * i + 1], table[4 * i + 2], 0};
}

// Run-length data into one byte per pixel; whatever would fall outside the
// image or read past the data is cut off.
void DecodeRle(const uint8_t* d, int64_t n, bool four_bit, int width, int height, bool bottom_up, uint8_t* out,
               int64_t pitch) {
  int64_t x = 0, row = bottom_up ? height - 1 : 0;
  const int step = bottom_up ? -1 : 1;
  auto put = [&](uint8_t v) {
    if (row >= 0 && row < height && x >= 0 && x < width) out[row * pitch + x] = v;
    ++x;
  };
  int64_t p = 0;
  while (p + 2 <= n && row >= 0 && row < height) {
    const int count = d[p], value = d[p + 1];
    p += 2;
    if (count) {
      for (int k = 0; k < count; ++k) put(four_bit ? (uint8_t)((k & 1) ? value & 0xF : value >> 4) : (uint8_t)value);
    } else if (value == 0) {
      x = 0;
      row += step;
    } else if (value == 1) {
      break;
    } else if (value == 2) {
      if (p + 2 > n) break;
      x += d[p];
      row += (int64_t)step * d[p + 1];
      p += 2;
    } else {
      const int64_t bytes = four_bit ? (value + 1) / 2 : value;
      if (p + bytes > n) break;
      for (int k = 0; k < value; ++k)
        put(four_bit ? (uint8_t)((k & 1) ? d[p + k / 2] & 0xF : d[p + k / 2] >> 4) : d[p + k]);
      p += (bytes + 1) & ~(int64_t)1;
    }
  }
}

// Layouts the engine does not read itself: GDI turns them into 24 bits. The
// read buffer goes once GDI has copied it; *out and *pitch receive the rows.
int ConvertThroughGdi(const uint8_t* header, TrackedBytes& data, int width, int height, BASEIMAGE* image,
                      TrackedBytes* out, int64_t* pitch) {
  HDC dc = CreateCompatibleDC(nullptr);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* section_bits = nullptr;
  HBITMAP section = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &section_bits, nullptr, 0) : nullptr;
  if (!section || !section_bits) {
    if (section) DeleteObject(section);
    if (dc) DeleteDC(dc);
    return WriteLogText("ＤＩＢの作成に失敗しました3\n");
  }
  HGDIOBJ old = SelectObject(dc, section);
  SetDIBitsToDevice(dc, 0, 0, (DWORD)width, (DWORD)height, 0, 0, 0, (UINT)height, data.get(),
                    reinterpret_cast<const BITMAPINFO*>(header), DIB_RGB_COLORS);
  SelectObject(dc, old);
  DeleteDC(dc);
  data.reset();
  BITMAP bm{};
  GetObjectA(section, sizeof(bm), &bm);
  const uint64_t bytes = (uint64_t)bm.bmWidthBytes * (uint64_t)height;
  *out = NewTrackedBytes((uint32_t)bytes);
  if (!*out) {
    DeleteObject(section);
    return WriteLogText("２４ビットカラー化したグラフィックを格納するメモリ領域の確保に失敗しました\n");
  }
  std::memcpy(out->get(), section_bits, (size_t)bytes);
  DeleteObject(section);
  InitRgb24PixelFormat(&image->format);
  *pitch = bm.bmWidthBytes;
  return 0;
}

}  // namespace

int DecodeBmpImage(StreamRecord* stream, BASEIMAGE* image) {
  uint8_t file_header[kFileHeaderBytes];
  const int64_t file_size =
      ReadImageHeader(stream, file_header, sizeof(file_header), kFileHeaderBytes + kInfoReadBytes);
  if (file_size < 0 || file_header[0] != 'B' || file_header[1] != 'M') return -1;
  const uint32_t data_offset = ReadLe32(file_header + 10);

  uint8_t info[kInfoReadBytes];
  if (!StreamReadExact(stream, info, sizeof(info))) return -1;
  const uint32_t header_size = ReadLe32(info);
  const int32_t width = (int32_t)ReadLe32(info + 4);
  const int32_t raw_height = (int32_t)ReadLe32(info + 8);
  const int bit_count = ReadLe16(info + 14);
  const uint32_t compression = ReadLe32(info + 16);
  if (width <= 0 || raw_height == 0 || raw_height == INT32_MIN) return -1;
  const int32_t height = raw_height < 0 ? -raw_height : raw_height;
  const bool bottom_up = raw_height > 0;
  if (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 16 && bit_count != 24 && bit_count != 32)
    return -1;
  if (compression > BI_BITFIELDS) return -1;
  if ((compression == BI_RLE8 && bit_count != 8) || (compression == BI_RLE4 && bit_count != 4) ||
      (compression == BI_BITFIELDS && bit_count != 16 && bit_count != 32))
    return -1;
  if (header_size < 40 || header_size > file_size) return -1;

  const bool paletted = bit_count <= 8;
  const bool masks = bit_count == 16 || bit_count == 32 || compression == BI_BITFIELDS;
  const uint32_t header_bytes = paletted ? kPalettedHeaderBytes : masks ? kMaskHeaderBytes : kInfoReadBytes;
  TrackedBytes header = NewZeroedBytes(header_bytes);
  if (!header) return -1;
  std::memcpy(header.get(), info, sizeof(info));
  if (paletted) {
    // The table follows the info header and is read whole, 2^bits entries,
    // as far as the file reaches: a file that declares fewer used colours
    // may end before a whole table (its pixels then name only the entries
    // it has; the rest stay zero). A table shorter than its own used count
    // is damage.
    const uint32_t entries = 1u << bit_count;
    uint32_t used = ReadLe32(info + 32);
    if (used == 0 || used > entries) used = entries;
    const int64_t table_start = kFileHeaderBytes + (int64_t)header_size;
    const int64_t present = (file_size - table_start) / 4;
    if (present < used) return -1;
    const uint32_t read = present < entries ? (uint32_t)present : entries;
    if (!StreamSeekTo(stream, table_start) || !StreamReadExact(stream, header.get() + 40, read * 4)) return -1;
  } else if (compression == BI_BITFIELDS) {
    // Plain 16- and 32-bit pixels have fixed layouts: only bit fields need
    // the masks.
    if (!StreamReadExact(stream, header.get() + 44, 8)) return -1;
  }
  reinterpret_cast<BITMAPINFOHEADER*>(header.get())->biSize = 40;

  if (data_offset >= file_size || !StreamSeekTo(stream, data_offset)) return -1;
  const int64_t data_size = file_size - data_offset;
  if ((uint64_t)data_size > ImageByteLimit()) return -1;
  TrackedBytes data = NewTrackedBytes((uint32_t)data_size);
  if (!data || !StreamReadExact(stream, data.get(), (size_t)data_size)) return -1;

  const int64_t row_size = vox_win32::DibRowBytes(width, bit_count);
  if ((uint64_t)row_size * (uint64_t)height > ImageByteLimit()) return -1;
  const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
  // Uncompressed rows must all be there.
  if (!rle && row_size * height > data_size) return -1;

  TrackedBytes out;
  int64_t pitch = 0;
  if (rle || bit_count == 4) {
    const uint64_t bytes = CheckedImageBytes(width, height, 1, 4, &pitch);
    if (!bytes) return -1;
    out = NewZeroedBytes((uint32_t)bytes);
    if (!out) return -1;
    if (rle) {
      DecodeRle(data.get(), data_size, compression == BI_RLE4, width, height, bottom_up, out.get(), pitch);
    } else {
      for (int y = 0; y < height; ++y) {
        const uint8_t* src = data.get() + (bottom_up ? height - 1 - y : y) * row_size;
        uint8_t* dst = out.get() + y * pitch;
        for (int x = 0; x < width; ++x) dst[x] = (x & 1) ? src[x / 2] & 0xF : src[x / 2] >> 4;
      }
    }
    SetPalette(image, header.get(), bit_count == 4 ? 16 : 256);
  } else if (compression == BI_RGB && (bit_count == 8 || bit_count == 24)) {
    if (bottom_up) {
      out = NewTrackedBytes((uint32_t)(row_size * height));
      if (!out) return -1;
      for (int y = 0; y < height; ++y)
        std::memcpy(out.get() + y * row_size, data.get() + (int64_t)(height - 1 - y) * row_size, (size_t)row_size);
    } else {
      out = std::move(data);
    }
    if (bit_count == 8)
      SetPalette(image, header.get(), 256);
    else
      InitRgb24PixelFormat(&image->format);
    pitch = row_size;
  } else {
    // One bit a pixel widens 24 times: the result must be possible too.
    if (!CheckedImageBytes(width, height, 3, 4, nullptr)) return -1;
    if (ConvertThroughGdi(header.get(), data, width, height, image, &out, &pitch) != 0) return -1;
  }
  return SetDecodedImage(image, width, height, pitch, out.release());
}

int DecodeRawBgraImage(StreamRecord* stream, BASEIMAGE* image) {
  uint8_t header[16];
  const int64_t file_size = ReadImageHeader(stream, header, sizeof(header), sizeof(header));
  if (file_size < 0 || std::memcmp(header, "BGRA", 4) != 0) return -1;
  const uint32_t code = ReadLe32(header + 4);
  if (code != 0x08080808u && code != 0x10101010u) return -1;
  const uint32_t width = ReadLe32(header + 8), height = ReadLe32(header + 12);
  int64_t pitch = 0;
  const uint64_t bytes = CheckedImageBytes(width, height, 4, 1, &pitch);
  if (!bytes) return -1;
  const int channel_bytes = code == 0x08080808u ? 1 : 2;
  if ((uint64_t)(file_size - (int64_t)sizeof(header)) < bytes * channel_bytes) return -1;
  TrackedBytes pixels = NewTrackedBytes((uint32_t)bytes);
  if (!pixels) return -1;
  if (channel_bytes == 1) {
    if (!StreamReadExact(stream, pixels.get(), (size_t)bytes)) return -1;
  } else {
    TrackedBytes row = NewTrackedBytes((uint32_t)(width * 8));
    if (!row) return -1;
    for (uint32_t y = 0; y < height; ++y) {
      if (!StreamReadExact(stream, row.get(), (size_t)width * 8)) return -1;
      for (uint32_t i = 0; i < width * 4; ++i) pixels.get()[y * pitch + i] = row.get()[2 * i + 1];
    }
  }
  InitArgbPixelFormat(&image->format);
  return SetDecodedImage(image, width, height, pitch, pixels.release());
}
