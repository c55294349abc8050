// The shader pack and the programmable-shader objects: "QvShaderPack.bin"
// is unpacked from an archive image the program carries in its own data,
// one vertex and one pixel shader are created from it, the 54 vertex
// declarations are made, and the state setters keep the shaders' constants
// up to date. Drawing never selects them: every draw uses the fixed-function
// stages.
#include <cstring>

#include "base/byte_order.h"
#include "engine/core/alloc.h"
#include "engine/core/archive.h"
#include "engine/core/log.h"
#include "engine/core/lz.h"
#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

struct Pack {
  uint8_t* archive_image = nullptr;
  uint32_t archive_size = 0;
  ArchiveRecord archive{};
  bool archive_open = false;
  uint8_t* pack = nullptr;
  uint32_t pack_size = 0;
  const uint8_t* vertex[SHADER_VERTEX_SLOTS] = {};
  const uint8_t* pixel[SHADER_PIXEL_SLOTS] = {};
} g_pack;

IDirect3DVertexShader9* g_vertex_shaders[SHADER_VERTEX_SLOTS];
IDirect3DPixelShader9* g_pixel_shaders[SHADER_PIXEL_SLOTS];
IDirect3DVertexDeclaration9* g_declarations[2][3][9];
int g_programmable = 0;

IDirect3DDevice9* Device() { return g_device.device; }

// The size of blob `index` in the pack's two size tables.
uint16_t SizeAt(const uint8_t* pack, int index) { return ReadLe16(pack + (size_t)index * 2); }

void VertexF(int reg, const float* v, int count = 1) {
  if (g_programmable && Device()) Device()->SetVertexShaderConstantF((UINT)reg, v, (UINT)count);
}
void PixelF(int reg, const float* v, int count = 1) {
  if (g_programmable && Device()) Device()->SetPixelShaderConstantF((UINT)reg, v, (UINT)count);
}
void VertexB(int reg, BOOL b) {
  if (g_programmable && Device()) Device()->SetVertexShaderConstantB((UINT)reg, &b, 1);
}

void Transposed(const D3DMATRIX* m, float* out) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) out[r * 4 + c] = m->m[c][r];
}

// The last view matrix sent, for the light positions in view space.
D3DMATRIX g_view{{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

}  // namespace

bool BuildShaderBlobTables(const uint8_t* pack, uint32_t size, const uint8_t** vertex, const uint8_t** pixel) {
  if (!pack || size < SHADER_PACK_TABLES) return false;
  uint32_t at = SHADER_PACK_TABLES;
  for (int i = 0; i < SHADER_VERTEX_SLOTS + SHADER_PIXEL_SLOTS; i++) {
    uint16_t n = SizeAt(pack, i);
    const uint8_t** slot = i < SHADER_VERTEX_SLOTS ? &vertex[i] : &pixel[i - SHADER_VERTEX_SLOTS];
    *slot = nullptr;
    if (!n) continue;
    // The walk stays inside the pack: a blob that would run past its end
    // makes the whole pack unusable.
    if (n > size - at) return false;
    *slot = pack + at;
    at += n;
  }
  return true;
}

int LoadShaderPack() {
  if (g_pack.pack) return 1;
  uint32_t image_size = UnpackLzData(kShaderArchiveImage, nullptr, kShaderArchiveImageSize);
  if (image_size == LZ_DAMAGED || image_size == 0) return 0;
  g_pack.archive_image = (uint8_t*)VOX_ALLOC(image_size);
  if (!g_pack.archive_image) return 0;
  g_pack.archive_size = image_size;
  if (UnpackLzData(kShaderArchiveImage, g_pack.archive_image, kShaderArchiveImageSize) != image_size ||
      OpenArchiveFromMemory(&g_pack.archive, g_pack.archive_image, image_size, nullptr) != 0) {
    UnloadShaderPack();
    return 0;
  }
  g_pack.archive_open = true;
  uint32_t position = 0, size = 0;
  if (GetArchiveFileSpan(&g_pack.archive, "QvShaderPack.bin", &position, &size) != 0 || position >= image_size) {
    UnloadShaderPack();
    return 0;
  }
  // The entry is one LZ block; it may not reach past the image.
  const uint8_t* entry = g_pack.archive_image + position;
  uint32_t packed = image_size - position;
  if (UnpackLzData(entry, nullptr, packed) != size) {
    UnloadShaderPack();
    return 0;
  }
  g_pack.pack = (uint8_t*)VOX_ALLOC(size ? size : 1);
  if (!g_pack.pack || UnpackLzData(entry, g_pack.pack, packed) != size ||
      !BuildShaderBlobTables(g_pack.pack, size, g_pack.vertex, g_pack.pixel)) {
    UnloadShaderPack();
    return 0;
  }
  g_pack.pack_size = size;
  return 1;
}

void UnloadShaderPack() {
  if (g_pack.archive_open) CloseArchive(&g_pack.archive);
  g_pack.archive_open = false;
  VOX_FREE(g_pack.pack);
  VOX_FREE(g_pack.archive_image);
  g_pack.pack = nullptr;
  g_pack.archive_image = nullptr;
  g_pack.pack_size = g_pack.archive_size = 0;
  std::memset(g_pack.vertex, 0, sizeof g_pack.vertex);
  std::memset(g_pack.pixel, 0, sizeof g_pack.pixel);
}

const uint8_t* ShaderBlob(int kind, int index, uint32_t* size) {
  if (!g_pack.pack) return nullptr;
  if (kind == 0 && index >= 0 && index < SHADER_VERTEX_SLOTS) {
    if (size) *size = SizeAt(g_pack.pack, index);
    return g_pack.vertex[index];
  }
  if (kind == 1 && index >= 0 && index < SHADER_PIXEL_SLOTS) {
    if (size) *size = SizeAt(g_pack.pack, SHADER_VERTEX_SLOTS + index);
    return g_pack.pixel[index];
  }
  return nullptr;
}

int ProgrammableShadersInUse() { return g_programmable; }

int ReleaseShaderObjects() {
  if (Device()) {
    Device()->SetVertexShader(nullptr);
    Device()->SetPixelShader(nullptr);
  }
  for (IDirect3DVertexShader9*& s : g_vertex_shaders)
    if (s) s->Release(), s = nullptr;
  for (IDirect3DPixelShader9*& s : g_pixel_shaders)
    if (s) s->Release(), s = nullptr;
  g_programmable = 0;
  return 0;
}

int InitProgrammableShaders() {
  ReleaseShaderObjects();
  g_programmable = 0;
  if (g_device.vertex_shader_20 && g_device.pixel_shader_20) {
    g_programmable = 1;
    if (!g_pack.pack && !LoadShaderPack()) {
      WriteLogFormat("シェーダーコードを展開するメモリ領域の確保に失敗しました\n");
      g_programmable = 0;
    }
  }
  if (g_programmable) {
    // Byte code must be 4-byte aligned for the device: copy the blobs.
    uint32_t vs_size = 0, ps_size = 0;
    const uint8_t* vs = ShaderBlob(0, SHADER_DEFAULT_VERTEX, &vs_size);
    const uint8_t* ps = ShaderBlob(1, SHADER_DEFAULT_PIXEL, &ps_size);
    DWORD vs_code[16384], ps_code[16384];
    bool ok = vs && ps && vs_size <= sizeof vs_code && ps_size <= sizeof ps_code;
    if (ok) {
      std::memcpy(vs_code, vs, vs_size);
      std::memcpy(ps_code, ps, ps_size);
      ok = Device()->CreateVertexShader(vs_code, &g_vertex_shaders[SHADER_DEFAULT_VERTEX]) == D3D_OK &&
           Device()->CreatePixelShader(ps_code, &g_pixel_shaders[SHADER_DEFAULT_PIXEL]) == D3D_OK;
    }
    if (!ok) ReleaseShaderObjects();
  }
  if (!g_programmable) {
    WriteLogFormat("プログラマブルシェーダーを使用しません\n");
    return 0;
  }
  WriteLogFormat("プログラマブルシェーダーを使用します\n");
  UpdateShaderDefaults();
  return 0;
}

int ReleaseVertexDeclarations() {
  if (!Device()) return 0;
  Device()->SetVertexShader(nullptr);
  Device()->SetPixelShader(nullptr);
  for (auto& a : g_declarations)
    for (auto& b : a)
      for (IDirect3DVertexDeclaration9*& d : b)
        if (d) d->Release(), d = nullptr;
  return 0;
}

int CreateVertexDeclarations() {
  ReleaseVertexDeclarations();
  if (!Device()) return 0;
  struct Element {
    int offset, type, usage, index;
  };
  enum { F3 = D3DDECLTYPE_FLOAT3, F4 = D3DDECLTYPE_FLOAT4, UB4 = D3DDECLTYPE_UBYTE4, COL = D3DDECLTYPE_D3DCOLOR };
  enum { POS = D3DDECLUSAGE_POSITION, NRM = D3DDECLUSAGE_NORMAL, BI = D3DDECLUSAGE_BLENDINDICES,
         BW = D3DDECLUSAGE_BLENDWEIGHT, CLR = D3DDECLUSAGE_COLOR };
  struct Base {
    int size;
    std::initializer_list<Element> elements;
  };
  const Base kBases[2][3] = {
      {{32, {{0, F3, POS, 0}, {12, F3, NRM, 0}, {24, COL, CLR, 0}, {28, COL, CLR, 1}}},
       {52, {{0, F3, POS, 0}, {12, UB4, BI, 0}, {16, F4, BW, 0}, {32, F3, NRM, 0}, {44, COL, CLR, 0}, {48, COL, CLR, 1}}},
       {72,
        {{0, F3, POS, 0}, {12, UB4, BI, 0}, {16, UB4, BI, 1}, {20, F4, BW, 0}, {36, F4, BW, 1}, {52, F3, NRM, 0},
         {64, COL, CLR, 0}, {68, COL, CLR, 1}}}},
      {{56, {{0, F3, POS, 0}, {12, F3, NRM, 0}, {24, F3, NRM, 1}, {36, F3, NRM, 2}, {48, COL, CLR, 0}, {52, COL, CLR, 1}}},
       {76,
        {{0, F3, POS, 0}, {12, UB4, BI, 0}, {16, F4, BW, 0}, {32, F3, NRM, 0}, {44, F3, NRM, 1}, {56, F3, NRM, 2},
         {68, COL, CLR, 0}, {72, COL, CLR, 1}}},
       {96,
        {{0, F3, POS, 0}, {12, UB4, BI, 0}, {16, UB4, BI, 1}, {20, F4, BW, 0}, {36, F4, BW, 1}, {52, F3, NRM, 0},
         {64, F3, NRM, 1}, {76, F3, NRM, 2}, {88, COL, CLR, 0}, {92, COL, CLR, 1}}}}};
  for (int n = 0; n < 2; n++)
    for (int b = 0; b < 3; b++)
      for (int t = 0; t < 9; t++) {
        D3DVERTEXELEMENT9 list[24];
        int k = 0;
        for (const Element& e : kBases[n][b].elements)
          FillVertexElement(&list[k++], 0, e.offset, e.type, D3DDECLMETHOD_DEFAULT, e.usage, e.index);
        for (int c = 0; c < t; c++)
          FillVertexElement(&list[k++], 0, kBases[n][b].size + 16 * c, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT,
                            D3DDECLUSAGE_TEXCOORD, c);
        list[k] = D3DVERTEXELEMENT9 D3DDECL_END();
        Device()->CreateVertexDeclaration(list, &g_declarations[n][b][t]);
      }
  return 0;
}

IDirect3DVertexDeclaration9* VertexDeclaration(int n, int b, int t) {
  if (n < 0 || n > 1 || b < 0 || b > 2 || t < 0 || t > 8) return nullptr;
  return g_declarations[n][b][t];
}

// ---- the constants the setters keep ---------------------------------------------------------------

void UpdateShaderDefaults() {
  static const float kVertex0[4] = {0, 1, 0, 0}, kPixel0[4] = {0, 0.5f, 1, 2};
  VertexF(0, kVertex0);
  PixelF(0, kPixel0);
}

void UpdateShaderTextureFactor(uint32_t argb) {
  float f[4] = {(float)(argb & 255) / 255.0f, (float)((argb >> 8) & 255) / 255.0f,
                (float)((argb >> 16) & 255) / 255.0f, (float)(argb >> 24) / 255.0f};
  PixelF(5, f);
}

void UpdateShaderProjection(const D3DMATRIX* m) {
  float t[16];
  Transposed(m, t);
  VertexF(2, t, 4);
}

void UpdateShaderView(const D3DMATRIX* m) {
  g_view = *m;
  float t[16];
  Transposed(m, t);
  VertexF(6, t, 4);
  for (int i = 0; i < 4; i++) UpdateShaderLight(i);
}

void UpdateShaderFog() {
  float range = g_rs.fog_end - g_rs.fog_start;
  float c[4] = {range != 0 ? g_rs.fog_end / range : 0.0f, range != 0 ? -1.0f / range : 0.0f, g_rs.fog_density,
                2.7182817f};
  VertexF(10, c);
  uint32_t mode = g_rs.fog_mode;
  VertexB(0, mode == D3DFOG_LINEAR);
  VertexB(1, mode == D3DFOG_EXP);
  VertexB(2, mode == D3DFOG_EXP2);
  VertexB(3, mode != D3DFOG_NONE);
}

void UpdateShaderMaterial() {
  const D3DMATERIAL9& m = g_rs.material;
  float v[12];
  std::memcpy(v, m.Diffuse, 16);
  std::memcpy(v + 4, m.Specular, 16);
  std::memcpy(v + 8, m.Emissive, 16);
  v[7] = m.Power;
  VertexF(11, v, 3);
  PixelF(2, v, 3);
}

void UpdateShaderLight(int i) {
  if (i < 0 || i > 3) return;
  const D3DLIGHT9& l = g_rs.lights[i];
  float v[28] = {};
  // View-space position (w 1) and direction (w 0).
  for (int c = 0; c < 3; c++) {
    v[c] = l.Position[0] * g_view.m[0][c] + l.Position[1] * g_view.m[1][c] + l.Position[2] * g_view.m[2][c] +
           g_view.m[3][c];
    v[4 + c] = l.Direction[0] * g_view.m[0][c] + l.Direction[1] * g_view.m[1][c] + l.Direction[2] * g_view.m[2][c];
  }
  v[3] = 1.0f;
  std::memcpy(v + 8, l.Diffuse, 16);
  std::memcpy(v + 12, l.Specular, 16);
  std::memcpy(v + 16, l.Ambient, 16);
  v[20] = l.Range, v[21] = l.Falloff, v[22] = l.Attenuation0, v[23] = l.Attenuation1;
  v[24] = l.Attenuation2, v[25] = l.Theta, v[26] = l.Phi, v[27] = (float)l.Type;
  VertexF(14 + 7 * i, v, 7);
  PixelF(6 + 3 * i, v + 8, 3);
  VertexB(5 + 3 * i, l.Type == D3DLIGHT_POINT);
  VertexB(6 + 3 * i, l.Type == D3DLIGHT_SPOT);
}

void UpdateShaderLightEnable(int i) {
  if (i >= 0 && i <= 3) VertexB(4 + 3 * i, g_rs.light_enabled[i] ? TRUE : FALSE);
}

void UpdateShaderAmbientProducts() {
  if (!g_programmable) return;
  const D3DMATERIAL9& m = g_rs.material;
  for (int i = 0; i <= g_rs.highest_light && i < 4; i++) {
    if (!g_rs.light_enabled[i]) continue;
    float p[4];
    for (int c = 0; c < 4; c++) p[c] = g_rs.lights[i].Ambient[c] * m.Ambient[c];
    VertexF(18 + 7 * i, p);
    PixelF(8 + 3 * i, p);
  }
  // Global ambient (kept a, r, g, b) times the material's ambient, plus its emissive.
  const float ambient[4] = {g_rs.ambient_f[1], g_rs.ambient_f[2], g_rs.ambient_f[3], g_rs.ambient_f[0]};
  float g[4];
  for (int c = 0; c < 4; c++) g[c] = ambient[c] * m.Ambient[c] + m.Emissive[c];
  VertexF(1, g);
  PixelF(1, g);
}

}  // namespace device
