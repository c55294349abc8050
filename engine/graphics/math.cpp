// Matrix and vector library, transforms, camera, lights, fog and depth
// settings, and the reset of the whole draw state at every graphics start.
#include <cmath>
#include <cstring>

#include "engine/core/handle.h"
#include "engine/core/log.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/graphics/graphics_math.h"

namespace {

TransformState g_tf{};
CameraState g_camera{0, 10.0f, 10000.0f, 1.0f, 1.0471976f, 1.0f, {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}};
FogState g_fog{};
int32_t g_depth[2][4] = {{0, 0, 4, 0}, {0, 0, 4, 0}};
float g_graph_draw_float = 0.2f;
D3DMATERIAL9 g_material{};
int g_material_changed = 0;
int g_lighting_enabled = 1;

struct LightTable {
  HandleTable<LightRecord>* table = nullptr;
  int dirty = 0;
  int force = 0;
  int lighting_off = 0;
  int default_light = -1;
  int highest_device_index = -1;  // highest device index sent enabled
} g_lights;
DeviceLightSink g_light_sink = nullptr;

void RebuildCombined() {
  MatrixMultiply(&g_tf.view_projection, &g_tf.view, &g_tf.projection);
  MATRIX t;
  MatrixMultiply(&t, &g_tf.world, &g_tf.view_projection);
  MatrixMultiply(&g_tf.combined, &t, &g_tf.viewport);
  std::memset(&g_tf.billboard, 0, sizeof g_tf.billboard);
  for (int r = 0; r < 3; r++)
    for (int c = 0; c < 3; c++) g_tf.billboard.m[r][c] = g_tf.view.m[c][r];
  g_tf.billboard.m[3][3] = 1;
  g_tf.combined_valid = 1;
}

void SendProjection() {
  MATRIX m;
  ClipProjectionMatrix(&m);
  if (ScreenDriver().set_transform(DRIVER_PROJECTION, &m) == 0) g_tf.device_projection_dirty = 1;
}

void StoreTransform(MATRIX* slot, const MATRIX* m, bool projection_side) {
  if (!m) return;
  const GraphicsDriver& d = ScreenDriver();
  d.flush(0);
  *slot = *m;
  g_tf.combined_valid = 0;
  RebuildCombined();
  if (projection_side) SendProjection();
  else d.set_transform(slot == &g_tf.world ? DRIVER_WORLD : DRIVER_VIEW, m);
}

void UpdateProjection() {
  if (g_camera.mode != 2) {
    int w = g_draw.target_width > 0 ? g_draw.target_width : 640;
    int h = g_draw.target_height > 0 ? g_draw.target_height : 480;
    float aspect = (float)h / (float)w * g_camera.aspect_factor;
    if (g_camera.mode == 0)
      MatrixPerspectiveFovLH(&g_camera.matrix, g_camera.fov, g_camera.near_z, g_camera.far_z, aspect);
    else
      MatrixOrthoLH(&g_camera.matrix, g_camera.ortho_size, g_camera.near_z, g_camera.far_z, aspect);
  }
  SetProjectionMatrix(&g_camera.matrix);
}

float ScreenAspect() {
  int w, h;
  GetScreenSizeOrDefault(&w, &h);
  return (float)h / (float)w;
}

LightTable& Lights() {
  if (!g_lights.table) g_lights.table = new HandleTable<LightRecord>(HANDLE_LIGHT, 4096);
  return g_lights;
}

}  // namespace

// ---- matrices and vectors ---------------------------------------------------------------------

int MatrixIdentity(MATRIX* out) {
  std::memset(out, 0, sizeof *out);
  for (int i = 0; i < 4; i++) out->m[i][i] = 1;
  return 0;
}

int MatrixMultiply(MATRIX* out, const MATRIX* a, const MATRIX* b) {
  MATRIX t;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++)
      t.m[r][c] = a->m[r][0] * b->m[0][c] + a->m[r][1] * b->m[1][c] + a->m[r][2] * b->m[2][c] + a->m[r][3] * b->m[3][c];
  if (out) *out = t;
  return 0;
}

int MatrixTranspose(MATRIX* out, const MATRIX* m) {
  MATRIX t;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) t.m[r][c] = m->m[c][r];
  *out = t;
  return 0;
}

int MatrixInverse(MATRIX* out, const MATRIX* m) {
  // Cofactor expansion over 2 x 2 sub-determinants.
  const float* a = &m->m[0][0];
  float s0 = a[0] * a[5] - a[4] * a[1], s1 = a[0] * a[6] - a[4] * a[2], s2 = a[0] * a[7] - a[4] * a[3];
  float s3 = a[1] * a[6] - a[5] * a[2], s4 = a[1] * a[7] - a[5] * a[3], s5 = a[2] * a[7] - a[6] * a[3];
  float c5 = a[10] * a[15] - a[14] * a[11], c4 = a[9] * a[15] - a[13] * a[11], c3 = a[9] * a[14] - a[13] * a[10];
  float c2 = a[8] * a[15] - a[12] * a[11], c1 = a[8] * a[14] - a[12] * a[10], c0 = a[8] * a[13] - a[12] * a[9];
  float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
  float k = 1.0f / det;
  MATRIX t;
  float* b = &t.m[0][0];
  b[0] = (a[5] * c5 - a[6] * c4 + a[7] * c3) * k;
  b[1] = (-a[1] * c5 + a[2] * c4 - a[3] * c3) * k;
  b[2] = (a[13] * s5 - a[14] * s4 + a[15] * s3) * k;
  b[3] = (-a[9] * s5 + a[10] * s4 - a[11] * s3) * k;
  b[4] = (-a[4] * c5 + a[6] * c2 - a[7] * c1) * k;
  b[5] = (a[0] * c5 - a[2] * c2 + a[3] * c1) * k;
  b[6] = (-a[12] * s5 + a[14] * s2 - a[15] * s1) * k;
  b[7] = (a[8] * s5 - a[10] * s2 + a[11] * s1) * k;
  b[8] = (a[4] * c4 - a[5] * c2 + a[7] * c0) * k;
  b[9] = (-a[0] * c4 + a[1] * c2 - a[3] * c0) * k;
  b[10] = (a[12] * s4 - a[13] * s2 + a[15] * s0) * k;
  b[11] = (-a[8] * s4 + a[9] * s2 - a[11] * s0) * k;
  b[12] = (-a[4] * c3 + a[5] * c1 - a[6] * c0) * k;
  b[13] = (a[0] * c3 - a[1] * c1 + a[2] * c0) * k;
  b[14] = (-a[12] * s3 + a[13] * s1 - a[14] * s0) * k;
  b[15] = (a[8] * s3 - a[9] * s1 + a[10] * s0) * k;
  *out = t;
  return 0;
}

int MatrixLookAtLH(MATRIX* out, const VECTOR* eye, const VECTOR* at, const VECTOR* up) {
  VECTOR z{at->x - eye->x, at->y - eye->y, at->z - eye->z}, x, y;
  Vec3Normalize(&z, &z);
  Vec3Cross(&x, up, &z);
  Vec3Normalize(&x, &x);
  Vec3Cross(&y, &z, &x);
  Vec3Normalize(&y, &y);
  MATRIX t = {{{x.x, y.x, z.x, 0},
               {x.y, y.y, z.y, 0},
               {x.z, y.z, z.z, 0},
               {-Vec3Dot(&x, eye), -Vec3Dot(&y, eye), -Vec3Dot(&z, eye), 1}}};
  *out = t;
  return 0;
}

int MatrixPerspectiveFovLH(MATRIX* out, float fov, float near_z, float far_z, float aspect) {
  if (aspect < 0) aspect = ScreenAspect();
  float s = std::sin(fov / 2), c = std::cos(fov / 2);
  if (std::fabs(far_z - near_z) < 0.0001f || std::fabs(s) < 0.0001f) return -1;
  std::memset(out, 0, sizeof *out);
  out->m[0][0] = c / s * aspect;
  out->m[1][1] = c / s;
  out->m[2][2] = far_z / (far_z - near_z);
  out->m[2][3] = 1;
  out->m[3][2] = -out->m[2][2] * near_z;
  return 0;
}

int MatrixOrthoLH(MATRIX* out, float size, float near_z, float far_z, float aspect) {
  if (aspect < 0) aspect = ScreenAspect();
  if (std::fabs(near_z - far_z) < 0.0001f) return -1;
  std::memset(out, 0, sizeof *out);
  out->m[0][0] = 2 / (size / aspect);
  out->m[1][1] = 2 / size;
  out->m[2][2] = 1 / (far_z - near_z);
  out->m[3][2] = near_z / (near_z - far_z);
  out->m[3][3] = 1;
  return 0;
}

int MatrixViewport(MATRIX* out, float centre_x, float centre_y, float width, float height) {
  std::memset(out, 0, sizeof *out);
  out->m[0][0] = width / 2;
  out->m[1][1] = -height / 2;
  out->m[2][2] = 1;
  out->m[3][0] = centre_x;
  out->m[3][1] = centre_y;
  out->m[3][3] = 1;
  return 0;
}

int Vec3Set(VECTOR* out, float x, float y, float z) {
  *out = {x, y, z};
  return 0;
}
float Vec3Dot(const VECTOR* a, const VECTOR* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }
VECTOR* Vec3Cross(VECTOR* out, const VECTOR* a, const VECTOR* b) {
  VECTOR t{a->y * b->z - a->z * b->y, a->z * b->x - a->x * b->z, a->x * b->y - a->y * b->x};
  *out = t;
  return out;
}
int Vec3Normalize(VECTOR* out, const VECTOR* v) {
  float len = std::sqrt(Vec3Dot(v, v));
  *out = {v->x / len, v->y / len, v->z / len};
  return 0;
}
VECTOR* Vec3NormalizedFrom(VECTOR* out, float x, float y, float z) {
  VECTOR v{x, y, z};
  Vec3Normalize(out, &v);
  return out;
}
int Vec3TransformCoord(VECTOR* out, const VECTOR* v, const MATRIX* m) {
  VECTOR t{v->x * m->m[0][0] + v->y * m->m[1][0] + v->z * m->m[2][0] + m->m[3][0],
           v->x * m->m[0][1] + v->y * m->m[1][1] + v->z * m->m[2][1] + m->m[3][1],
           v->x * m->m[0][2] + v->y * m->m[1][2] + v->z * m->m[2][2] + m->m[3][2]};
  *out = t;
  return 0;
}
float Atan2Float(float y, float x) { return (float)std::atan2((double)y, (double)x); }

// ---- transforms --------------------------------------------------------------------------------

int SetWorldMatrix(const MATRIX* m) {
  StoreTransform(&g_tf.world, m, false);
  return 0;
}
int SetViewMatrix(const MATRIX* m) {
  StoreTransform(&g_tf.view, m, false);
  return 0;
}
int SetProjectionMatrix(const MATRIX* m) {
  StoreTransform(&g_tf.projection, m, true);
  return 0;
}
int SetViewportMatrix(const MATRIX* m) {
  StoreTransform(&g_tf.viewport, m, true);
  return 0;
}

const TransformState* GetTransformState() {
  if (!g_tf.combined_valid) RebuildCombined();
  return &g_tf;
}

void SetClipViewport(int x1, int y1, int x2, int y2) {
  MatrixViewport(&g_tf.clip_viewport, (x1 + x2) / 2.0f, (y1 + y2) / 2.0f, (float)(x2 - x1), (float)(y2 - y1));
  MatrixInverse(&g_tf.clip_viewport_inverse, &g_tf.clip_viewport);
  g_tf.combined_valid = 0;
  SendProjection();
}

void ResendTransforms() {
  const GraphicsDriver& d = ScreenDriver();
  d.set_transform(DRIVER_WORLD, &g_tf.world);
  d.set_transform(DRIVER_VIEW, &g_tf.view);
  SendProjection();
}

void ClipProjectionMatrix(MATRIX* out) {
  MATRIX t;
  MatrixMultiply(&t, &g_tf.projection, &g_tf.viewport);
  MatrixMultiply(out, &t, &g_tf.clip_viewport_inverse);
}

void ResetScreenCamera(int w, int h) {
  MATRIX m;
  MatrixIdentity(&m);
  SetWorldMatrix(&m);
  MatrixViewport(&m, w / 2.0f, h / 2.0f, (float)w, (float)h);
  SetViewportMatrix(&m);
  float d = (float)(h / 2) * 1.7320508f;
  VECTOR eye{w / 2.0f, h / 2.0f, -d}, at{w / 2.0f, h / 2.0f, -d + 1}, up{0, 1, 0};
  MatrixLookAtLH(&m, &eye, &at, &up);
  SetViewMatrix(&m);
  SetCameraFieldOfView(1.0471976f);
  SetCameraNearFar(d * 0.1f, d + 20000);
}

// ---- camera ------------------------------------------------------------------------------------

int SetCameraNearFar(float near_z, float far_z) {
  g_camera.near_z = near_z;
  g_camera.far_z = far_z;
  UpdateProjection();
  return 0;
}
int SetCameraFieldOfView(float fov) {
  g_camera.fov = fov;
  g_camera.mode = 0;
  UpdateProjection();
  return 0;
}
int SetProjectionMatrixRaw(const float* values16) {
  std::memcpy(&g_camera.matrix, values16, sizeof(MATRIX));
  g_camera.mode = 2;
  UpdateProjection();
  return 0;
}
int SetProjectionMatrixFrom(const MATRIX* m) { return SetProjectionMatrixRaw(&m->m[0][0]); }
const CameraState* GetCameraState() { return &g_camera; }

// ---- lights ------------------------------------------------------------------------------------

int CreateLight() {
  LightTable& lt = Lights();
  LightRecord* r = nullptr;
  int h = lt.table->Allocate(&r);
  if (h < 0) AbortWithLog("ライト用のメモリの確保に失敗しました");
  r->check = ((uint32_t)h & HANDLE_CHECK_MASK) >> 16;
  r->handle = (uint32_t)h;
  D3DLIGHT9& l = r->light;
  l.Type = 0;
  for (int i = 0; i < 4; i++) l.Diffuse[i] = l.Specular[i] = 1.0f, l.Ambient[i] = 0.33f;
  l.Range = 2000.0f;
  l.Falloff = 1.0f;
  l.Attenuation0 = 0.1f;
  l.Theta = 2.0f;
  l.Phi = 2.0f;
  r->device_index = -1;
  r->enabled = 0;
  EnableLightHandle(h, 1);
  return h;
}

int CreateDirectionalLight(float x, float y, float z) {
  int h = CreateLight();
  LightRecord* r = Lights().table->Lookup(h);
  if (!r) return -1;
  r->light.Type = 3;
  VECTOR d;
  Vec3NormalizedFrom(&d, x, y, z);
  r->light.Direction[0] = d.x, r->light.Direction[1] = d.y, r->light.Direction[2] = d.z;
  return h;
}

int DeleteLight(int light) {
  LightTable& lt = Lights();
  if (!lt.table->Lookup(light)) return -1;
  lt.table->Release(light);
  if (light == lt.default_light) lt.default_light = -1;
  lt.dirty = 1;
  return 0;
}

int DeleteAllLights() {
  LightTable& lt = Lights();
  for (int s = lt.table->high_water() - 1; s >= 0; s--) {
    int h = lt.table->HandleAt(s);
    if (h >= 0 && h != lt.default_light) DeleteLight(h);
  }
  return 0;
}

int DeleteDefaultLight() {
  LightTable& lt = Lights();
  if (lt.default_light >= 0) DeleteLight(lt.default_light);
  lt.default_light = -1;
  if (lt.table->live_count() == 0) {
    // Graphics has ended: the table goes too, so nothing stays allocated.
    delete lt.table;
    lt.table = nullptr;
    lt.highest_device_index = -1;
  }
  return 0;
}

int EnableLightHandle(int light, int flag) {
  LightRecord* r = Lights().table->Lookup(light);
  if (!r) return -1;
  uint32_t f = flag ? 1 : 0;
  if (r->enabled == f) return 0;
  r->enabled = f;
  if (!f) r->device_index = -1;
  r->changed = 1;
  g_lights.dirty = 1;
  return 0;
}

int SetLightingEnabled(int flag) {
  g_lighting_enabled = flag ? 1 : 0;
  ScreenDriver().set_lighting(g_lighting_enabled);
  return 0;
}

void MarkLightsForResend() {
  g_lights.force = 1;
  g_lights.dirty = 1;
}

int ApplyLights() {
  LightTable& lt = Lights();
  SetLightingEnabled(lt.lighting_off ? 0 : 1);
  if (!lt.dirty && !lt.force) return 0;
  int next = 0;
  lt.table->ForEach([&](int, LightRecord& r) {
    if (!r.enabled) return;
    if (r.device_index != next || r.changed || lt.force) {
      r.device_index = next;
      if (g_light_sink) g_light_sink(next, 1, &r.light);
      else ScreenDriver().set_light(next, 1, &r.light);
      r.changed = 0;
    }
    next++;
  });
  for (int i = next; i <= lt.highest_device_index; i++)
    if (g_light_sink) g_light_sink(i, 0, nullptr);
    else ScreenDriver().set_light(i, 0, nullptr);
  lt.highest_device_index = next - 1;
  lt.dirty = 0;
  lt.force = 0;
  return 0;
}

const LightRecord* GetLightRecord(int light) { return Lights().table->Lookup(light); }
int GetDefaultLight() { return g_lights.default_light; }
int LightLiveCount() { return Lights().table->live_count(); }
int LightHighWater() { return Lights().table->high_water(); }
void SetDeviceLightSink(DeviceLightSink sink) { g_light_sink = sink; }

// ---- depth, fog, other settings -----------------------------------------------------------------

namespace {
// A depth word changes: pending vertices are drawn with the old one first.
void SetDepthWord(int block_mask, int word, int value) {
  bool change = ((block_mask & 1) && g_depth[0][word] != value) || ((block_mask & 2) && g_depth[1][word] != value);
  if (!change) return;
  ScreenDriver().flush(0);
  if (block_mask & 1) g_depth[0][word] = value;
  if (block_mask & 2) g_depth[1][word] = value;
}
}  // namespace

int SetZWriteBoth(int flag) {
  SetDepthWord(3, 1, flag);
  return 0;
}
int SetZFunctionBoth(int function) {
  SetDepthWord(3, 2, function);
  return 0;
}
int SetZWrite3D(int flag) {
  SetDepthWord(2, 1, flag);
  return 0;
}
int SetZFunction3D(int function) {
  SetDepthWord(2, 2, function);
  return 0;
}
const int32_t* GetDepthBlock(int which) { return g_depth[which ? 1 : 0]; }

int SetFogMode(int mode) {
  if (mode == g_fog.mode) return 0;
  const GraphicsDriver& d = ScreenDriver();
  d.flush(0);
  g_fog.mode = mode;
  d.set_fog_mode(mode);
  return 0;
}
int SetFogColour(int r, int g, int b) {
  uint32_t c = 0xFF000000u | ((uint32_t)(r & 255) << 16) | ((uint32_t)(g & 255) << 8) | (uint32_t)(b & 255);
  if (c == g_fog.colour) return 0;
  const GraphicsDriver& d = ScreenDriver();
  d.flush(0);
  g_fog.colour = c;
  d.set_fog_colour(c);
  return 0;
}
int SetFogRange(float start, float end) {
  if (start == g_fog.start && end == g_fog.end) return 0;
  const GraphicsDriver& d = ScreenDriver();
  d.flush(0);
  g_fog.start = start;
  g_fog.end = end;
  d.set_fog_range(start, end);
  return 0;
}
const FogState* GetFogState() { return &g_fog; }
int SetGraphDrawFloat(float value) {
  g_graph_draw_float = value;
  return 0;
}
float GetGraphDrawFloat() { return g_graph_draw_float; }

const D3DMATERIAL9* GetMaterial() { return &g_material; }

const D3DMATERIAL9* TakeChangedMaterial() {
  if (!g_material_changed) return nullptr;
  g_material_changed = 0;
  return &g_material;
}

// ---- reset -----------------------------------------------------------------------------------------

int ResetDrawState() {
  GraphRestoreHandler handler = g_draw.restore_handler;
  int doubling = g_screen.doubling;
  g_draw = DrawState{};
  g_draw.restore_handler = handler;
  g_screen.doubling = doubling;
  g_draw.crossfade_graph = -1;
  for (int s = 0; s < 8; s++) {
    if (g_draw.address_u[s] == 0) g_draw.address_u[s] = 3;
    if (g_draw.address_v[s] == 0) g_draw.address_v[s] = 3;
  }
  g_depth[0][0] = g_depth[1][0] = 0;
  g_depth[0][1] = g_depth[1][1] = 0;
  g_depth[0][2] = g_depth[1][2] = 4;
  g_lights.dirty = 1;
  g_graph_draw_float = 0.2f;
  g_draw.create_alpha_test = 1;
  g_draw.filter_mode = 0;
  g_draw.blend_mode = 0;
  g_draw.blend_param = 0;
  g_draw.vertex_colour = 0xFFFFFFFFu;
  SetPaintBrightness(255, 255, 255);
  SetFogMode(3);
  SetFogColour(255, 255, 255);
  SetFogRange(0.0f, 1500.0f);
  g_draw.create_depth = 0;
  // Draw screen: the back buffer first, so that selecting the front buffer
  // counts as a change of target, then the front buffer.
  g_draw.draw_screen = DRAW_SCREEN_BACK;
  SelectDrawScreen(DRAW_SCREEN_FRONT);
  SetPaintClipRect(0, 0, g_draw.target_width, g_draw.target_height);
  if (g_lights.default_light < 0 || !Lights().table->Lookup(g_lights.default_light))
    g_lights.default_light = CreateDirectionalLight(1.0f, -1.0f, 1.0f);
  g_camera.mode = 0;
  g_camera.near_z = 10.0f;
  g_camera.far_z = 10000.0f;
  g_camera.aspect_factor = 1.0f;
  g_camera.fov = 1.0471976f;
  g_camera.ortho_size = 1.0f;
  MatrixIdentity(&g_camera.matrix);
  g_material_changed = 1;
  g_material = D3DMATERIAL9{{0.8f, 0.8f, 0.8f, 1.0f}, {0, 0, 0, 0}, {0.8f, 0.8f, 0.8f, 0}, {0, 0, 0, 0}, 20.0f};
  SyncSoftDrawState();
  return 0;
}
