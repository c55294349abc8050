// The 3-D model runtime: the model-base and model tables, the sine table,
// and the duties around a new device (device buffers released and made
// again, material textures reloaded). Nothing in this program loads a model
// file, so the tables stay empty; their start, end, handles and deletion
// order are kept all the same.
#include <cmath>
#include <cstring>
#include <vector>

#include "engine/core/alloc.h"
#include "engine/graphics/device/device_internal.h"
#include "engine/image/image_load.h"

namespace device {

namespace {

constexpr uint32_t kBaseTag = 0x08000000u, kModelTag = 0x10000000u;
constexpr uint32_t kIndexMask = 0x1FFFF, kTypeMask = 0x78000000u;

struct BufferNode {
  IDirect3DVertexBuffer9* vertices;
  IDirect3DIndexBuffer9* indices;
  uint32_t vertex_count, index_count;
};

struct Material {
  BASEIMAGE* colour;
  BASEIMAGE* alpha;
  BASEIMAGE* height;
  float bump_scale;
  int graph;
};

struct Model;

struct ModelBase {
  int refs;
  std::vector<Material> materials;
  std::vector<BufferNode> buffers[3][2][9];
  bool buffers_set_up;
  Model* first;
  Model* last;
};

struct Model {
  int base;
  Model* previous;
  Model* next;
  void* frame_data;
};

struct Table {
  int live = 0;
  std::vector<void*> slots;
};

struct Runtime {
  bool started = false;
  float sine[65536];
  float limit_angle = 0;
  Table bases, second, models;
  int default_texture = -1;
} g_runtime;

// The built-in default texture: 8 x 8 opaque white, run-length true colour.
const uint8_t kDefaultTexture[84] = {
    0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 8, 0, 32, 8,  // header: RLE true colour, 8 x 8, 32 bits, 8 alpha
    0x87, 255, 255, 255, 255, 0x87, 255, 255, 255, 255, 0x87, 255, 255, 255, 255, 0x87, 255, 255, 255, 255,
    0x87, 255, 255, 255, 255, 0x87, 255, 255, 255, 255, 0x87, 255, 255, 255, 255, 0x87, 255, 255, 255, 255,
    0, 0, 0, 0, 0, 0, 0, 0, 'T', 'R', 'U', 'E', 'V', 'I', 'S', 'I', 'O', 'N', '-', 'X', 'F', 'I', 'L', 'E', '.', 0};

ModelBase* Base(int handle) {
  if (handle < 0 || ((uint32_t)handle & kTypeMask) != kBaseTag) return nullptr;
  uint32_t index = (uint32_t)handle & kIndexMask;
  // A base handle is checked against the table's bounds like a model's.
  if (index >= g_runtime.bases.slots.size()) return nullptr;
  return static_cast<ModelBase*>(g_runtime.bases.slots[index]);
}

Model* ModelOf(int handle) {
  if (handle < 0 || ((uint32_t)handle & kTypeMask) != kModelTag) return nullptr;
  uint32_t index = (uint32_t)handle & kIndexMask;
  if (index >= 0x10000 || index >= g_runtime.models.slots.size()) return nullptr;
  return static_cast<Model*>(g_runtime.models.slots[index]);
}

void ReleaseNodes(ModelBase* base) {
  for (auto& a : base->buffers)
    for (auto& b : a)
      for (auto& list : b) {
        for (BufferNode& n : list) {
          if (n.vertices) n.vertices->Release();
          if (n.indices) n.indices->Release();
        }
        list.clear();
      }
  base->buffers_set_up = false;
}

void FreeImage(BASEIMAGE*& image) {
  if (!image) return;
  DisposeBaseImage(image);
  delete image;
  image = nullptr;
}

}  // namespace

int StartModelSystem() {
  if (g_runtime.started || !g_device.hardware) return 0;
  const float step = 3.1415927f * 2.0f * (1.0f / 65536.0f);
  for (int i = 0; i < 65536; i++) g_runtime.sine[i] = std::sin((float)i * step);
  g_runtime.bases = Table{};
  g_runtime.second = Table{};
  g_runtime.models = Table{};
  g_runtime.limit_angle = 1.5620697f;
  g_runtime.started = true;
  return 0;
}

int EndModelSystem() {
  if (!g_runtime.started) return 0;
  for (size_t i = 0; i < g_runtime.models.slots.size(); i++)
    if (g_runtime.models.slots[i]) DeleteModel((int)(kModelTag | i));
  for (size_t i = 0; i < g_runtime.bases.slots.size(); i++)
    if (g_runtime.bases.slots[i]) {
      ModelBase* base = static_cast<ModelBase*>(g_runtime.bases.slots[i]);
      base->refs = 1;
      DeleteModelBase((int)(kBaseTag | i));
    }
  g_runtime.bases = Table{};
  g_runtime.second = Table{};
  g_runtime.models = Table{};
  if (g_runtime.default_texture >= 0) ReleaseGraph(g_runtime.default_texture);
  g_runtime.default_texture = -1;
  g_runtime.started = false;
  return 0;
}

int IsModelSystemStarted() { return g_runtime.started ? 1 : 0; }
int ModelDefaultTexture() { return g_runtime.default_texture; }
float ModelSineTable(int index) { return g_runtime.sine[index & 0xFFFF]; }

int DeleteModel(int handle) {
  Model* m = ModelOf(handle);
  if (!m) return -1;
  ModelBase* base = Base(m->base);
  if (base) {
    if (m->previous) m->previous->next = m->next;
    else base->first = m->next;
    if (m->next) m->next->previous = m->previous;
    else base->last = m->previous;
  }
  VOX_FREE(m->frame_data);
  int base_handle = m->base;
  delete m;
  g_runtime.models.slots[(uint32_t)handle & kIndexMask] = nullptr;
  g_runtime.models.live--;
  DeleteModelBase(base_handle);
  return 0;
}

int DeleteModelBase(int handle) {
  ModelBase* base = Base(handle);
  if (!base) return -1;
  if (--base->refs > 0) return 0;
  ReleaseModelBaseBuffers(handle);
  for (Material& m : base->materials) {
    FreeImage(m.colour);
    FreeImage(m.alpha);
    FreeImage(m.height);
    if (m.graph >= 0) ReleaseGraph(m.graph);
  }
  delete base;
  g_runtime.bases.slots[(uint32_t)handle & kIndexMask] = nullptr;
  g_runtime.bases.live--;
  return 0;
}

int ReleaseModelBaseBuffers(int handle) {
  ModelBase* base = Base(handle);
  if (!base) return -1;
  if (base->buffers_set_up) ReleaseNodes(base);
  return 0;
}

int ReleaseAllModelBuffers() {
  for (size_t i = 0; i < g_runtime.bases.slots.size(); i++)
    if (g_runtime.bases.slots[i]) ReleaseModelBaseBuffers((int)(kBaseTag | i));
  return 0;
}

int RestoreAllModelBuffers() {
  if (!g_device.hardware || !g_device.device) return 0;
  int result = 0;
  for (size_t i = 0; i < g_runtime.bases.slots.size(); i++) {
    ModelBase* base = static_cast<ModelBase*>(g_runtime.bases.slots[i]);
    if (!base || base->buffers_set_up) continue;
    // Meshes come only from model files, which this program never loads:
    // a base has no chains to fill.
    base->buffers_set_up = true;
  }
  return result;
}

// Colour and alpha images of a material, turned into a normal map when the
// height flag is set and stretched to powers of two. 0 or -1.
int BuildMaterialImages(BASEIMAGE* colour, BASEIMAGE* alpha, int height_flag, float bump_scale, BASEIMAGE* out_colour,
                        BASEIMAGE* out_alpha) {
  BASEIMAGE c{}, a{};
  if (!colour && alpha) {
    if (MakeXrgbBaseImage(alpha->width, alpha->height, &c) < 0) return -1;
    for (int y = 0; y < c.height; y++)
      for (int x = 0; x < c.width; x++) PutBaseImagePixel(&c, x, y, 255, 255, 255, 0);
  } else if (colour) {
    if (MakeArgbBaseImage(colour->width, colour->height, &c) < 0) return -1;
    CopyBaseImageRect(0, 0, colour->width, colour->height, 0, 0, colour, &c);
  }
  if (height_flag && c.pixels) {
    float s = bump_scale < 0.000001f ? 0.000001f : bump_scale;
    BASEIMAGE n{};
    if (MakeXrgbBaseImage(c.width, c.height, &n) < 0) {
      DisposeBaseImage(&c);
      return -1;
    }
    for (int y = 0; y < c.height; y++)
      for (int x = 0; x < c.width; x++) {
        uint32_t h, hx, hy, g, b, al;
        PeekBaseImagePixel(&c, x, y, &h, &g, &b, &al);
        PeekBaseImagePixel(&c, x + 1 < c.width ? x + 1 : 0, y, &hx, &g, &b, &al);
        PeekBaseImagePixel(&c, x, y + 1 < c.height ? y + 1 : 0, &hy, &g, &b, &al);
        float ux = s, uz = ((float)hx - (float)h) / 255.0f, vy = s, vz = ((float)hy - (float)h) / 255.0f;
        // (s, 0, uz) x (0, s, vz)
        float nx = 0 * vz - uz * vy, ny = uz * 0 - ux * vz, nz = ux * vy - 0 * 0;
        float len = std::sqrt(nx * nx + ny * ny + nz * nz);
        nx /= len, ny /= len, nz /= len;
        PutBaseImagePixel(&n, x, y, (uint32_t)((nx + 1) * 127.5f), (uint32_t)((ny + 1) * 127.5f),
                          (uint32_t)((nz + 1) * 127.5f), 0);
      }
    DisposeBaseImage(&c);
    c = n;
  }
  if (alpha && MakeArgbBaseImage(alpha->width, alpha->height, &a) == 0)
    CopyBaseImageRect(0, 0, alpha->width, alpha->height, 0, 0, alpha, &a);
  auto pow2 = [](BASEIMAGE* img) {
    if (!img->pixels) return 0;
    int w = PowerOfTwoAtLeast(img->width), h = PowerOfTwoAtLeast(img->height);
    if (w == img->width && h == img->height) return 0;
    BASEIMAGE big{};
    if (MakeArgbBaseImage(w, h, &big) < 0) return -1;
    StretchBaseImageRect(0, 0, img->width, img->height, img, 0, 0, w, h, &big, 1);
    DisposeBaseImage(img);
    *img = big;
    return 0;
  };
  if (pow2(&c) < 0 || pow2(&a) < 0) {
    DisposeBaseImage(&c);
    DisposeBaseImage(&a);
    return -1;
  }
  *out_colour = c;
  *out_alpha = a;
  return 0;
}

int ReloadModelTextures() {
  if (!g_runtime.started) return 0;
  if (g_runtime.default_texture >= 0) ReleaseGraph(g_runtime.default_texture);
  g_runtime.default_texture = LoadGraphFromMemory(kDefaultTexture, (int)sizeof kDefaultTexture, nullptr, 0, 0, 0);
  for (void* slot : g_runtime.bases.slots) {
    ModelBase* base = static_cast<ModelBase*>(slot);
    if (!base) continue;
    for (Material& m : base->materials) {
      if (!m.colour && !m.alpha) continue;
      BASEIMAGE c{}, a{};
      if (BuildMaterialImages(m.colour, m.alpha, m.height != nullptr, m.bump_scale, &c, &a) < 0) continue;
      if (m.graph >= 0) ReloadGraphFromImage(&c, a.pixels ? &a : nullptr, m.graph, 0, 0, 0);
      DisposeBaseImage(&c);
      DisposeBaseImage(&a);
    }
  }
  return 0;
}

// The default texture decodes from the built-in image (for tests).
const uint8_t* ModelDefaultTextureImage(int* size) {
  *size = (int)sizeof kDefaultTexture;
  return kDefaultTexture;
}

}  // namespace device

int StartModelRuntime() { return device::StartModelSystem(); }
int EndModelRuntime() { return device::EndModelSystem(); }
