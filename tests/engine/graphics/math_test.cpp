// The matrix library by its properties, the screen camera that maps depth 0
// onto pixels, the clip-rectangle intersection and the light table.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_math.h"
#include "engine/softrender/blend.h"
#include "tests/engine/graphics/graphics_fixtures.h"

namespace {

void ExpectMatrixNear(const MATRIX& a, const MATRIX& b, float tolerance) {
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) EXPECT_NEAR(a.m[r][c], b.m[r][c], tolerance) << r << "," << c;
}

MATRIX RandomWellConditioned(std::mt19937& rng) {
  std::uniform_real_distribution<float> d(-1.0f, 1.0f);
  MATRIX m;
  for (int r = 0; r < 4; r++)
    for (int c = 0; c < 4; c++) m.m[r][c] = d(rng) + (r == c ? 4.0f : 0.0f);  // diagonally dominant
  return m;
}

TEST(MatrixLibrary, ProductsInversesAndTransposesKeepTheirLaws) {
  const unsigned seed = 20260611;
  SCOPED_TRACE(seed);
  std::mt19937 rng(seed);
  MATRIX id;
  MatrixIdentity(&id);
  for (int i = 0; i < 50; i++) {
    MATRIX a = RandomWellConditioned(rng), b = RandomWellConditioned(rng), t, u, v;
    MatrixInverse(&t, &a);
    MatrixMultiply(&u, &t, &a);
    ExpectMatrixNear(u, id, 1e-4f);
    MatrixMultiply(&u, &a, &id);
    ExpectMatrixNear(u, a, 0);
    // (ab)^T = b^T a^T, and the product may be written over an operand.
    MatrixMultiply(&u, &a, &b);
    MatrixTranspose(&u, &u);
    MATRIX at, bt;
    MatrixTranspose(&at, &a);
    MatrixTranspose(&bt, &b);
    MatrixMultiply(&v, &bt, &at);
    ExpectMatrixNear(u, v, 1e-4f);
    MATRIX alias = a;
    MatrixMultiply(&alias, &alias, &b);
    MatrixMultiply(&v, &a, &b);
    ExpectMatrixNear(alias, v, 0);
  }
  EXPECT_EQ(MatrixMultiply(nullptr, &id, &id), 0);
}

TEST(MatrixLibrary, VectorsAndLookAt) {
  VECTOR x{1, 0, 0}, y{0, 1, 0}, z;
  Vec3Cross(&z, &x, &y);
  EXPECT_FLOAT_EQ(z.z, 1);
  EXPECT_FLOAT_EQ(Vec3Dot(&x, &y), 0);
  VECTOR n;
  Vec3NormalizedFrom(&n, 3, 0, 4);
  EXPECT_FLOAT_EQ(n.x, 0.6f);
  EXPECT_FLOAT_EQ(n.z, 0.8f);
  // The eye maps to the origin and the target onto +z.
  VECTOR eye{10, 20, 30}, at{10, 20, 40}, up{0, 1, 0}, out;
  MATRIX view;
  MatrixLookAtLH(&view, &eye, &at, &up);
  Vec3TransformCoord(&out, &eye, &view);
  EXPECT_NEAR(out.x, 0, 1e-4);
  EXPECT_NEAR(out.z, 0, 1e-4);
  Vec3TransformCoord(&out, &at, &view);
  EXPECT_NEAR(out.z, 10, 1e-4);
  EXPECT_FLOAT_EQ(Atan2Float(1, 1), (float)(M_PI / 4));
}

TEST(MatrixLibrary, ProjectionsRefuseDegenerateDistances) {
  MATRIX m;
  MatrixIdentity(&m);
  EXPECT_EQ(MatrixPerspectiveFovLH(&m, 1.0f, 10, 10, 1), -1);
  EXPECT_EQ(MatrixPerspectiveFovLH(&m, 0.0f, 1, 10, 1), -1);
  EXPECT_FLOAT_EQ(m.m[0][0], 1);  // unchanged
  EXPECT_EQ(MatrixOrthoLH(&m, 2, 5, 5, 1), -1);
  ASSERT_EQ(MatrixPerspectiveFovLH(&m, 1.0471976f, 1, 101, 1), 0);
  EXPECT_FLOAT_EQ(m.m[2][3], 1);
  EXPECT_NEAR(m.m[1][1], 1.7320508f, 1e-5);
  // Near plane to depth 0, far plane to depth 1.
  VECTOR p{0, 0, 1}, q;
  Vec3TransformCoord(&q, &p, &m);
  EXPECT_NEAR(q.z, 0, 1e-5);
  ASSERT_EQ(MatrixOrthoLH(&m, 2, 0, 10, 1), 0);
  EXPECT_FLOAT_EQ(m.m[0][0], 1);
  EXPECT_FLOAT_EQ(m.m[2][2], 0.1f);
}

TEST(ClipIntersection, ReversedRectanglesCollapseThenClamp) {
  struct Case {
    int32_t in[4], out[4];
  } cases[] = {{{50, 10, 20, 30}, {50, 10, 50, 30}},
               {{-10, -10, 700, 500}, {0, 0, 640, 480}},
               {{10, 40, 20, 30}, {10, 40, 20, 40}},
               {{700, 10, 800, 20}, {640, 10, 640, 20}}};
  const int32_t clip[4] = {0, 0, 640, 480};
  for (const Case& c : cases) {
    int32_t r[4] = {c.in[0], c.in[1], c.in[2], c.in[3]};
    IntersectClipRect(r, clip);
    for (int i = 0; i < 4; i++) EXPECT_EQ(r[i], c.out[i]) << c.in[0] << "," << c.in[1] << " #" << i;
  }
}

class CameraTest : public GraphicsTest {};

TEST_F(CameraTest, ScreenCameraShowsOneUnitPerPixelAtDepthZero) {
  const CameraState* cam = GetCameraState();
  float d = 240 * 1.7320508f;
  EXPECT_NEAR(d, 415.6922f, 1e-3);
  EXPECT_NEAR(cam->near_z, 41.56922f, 1e-3);
  EXPECT_NEAR(cam->far_z, 20415.6922f, 1e-2);
  const TransformState* tf = GetTransformState();
  for (auto [x, y] : {std::pair{0.0f, 0.0f}, {640.0f, 480.0f}, {100.0f, 300.0f}}) {
    float in[4] = {x, y, 0, 1}, out[4] = {};
    for (int c = 0; c < 4; c++)
      for (int r = 0; r < 4; r++) out[c] += in[r] * tf->combined.m[r][c];
    EXPECT_NEAR(out[0] / out[3], x, 0.05) << x << "," << y;
    // World y grows upward: depth 0 shows the screen upside down in y.
    EXPECT_NEAR(out[1] / out[3], 480 - y, 0.05) << x << "," << y;
  }
}

TEST_F(CameraTest, LightsPackOntoDeviceIndexesAndTheTopmostDeletionLowersTheHighWater) {
  static std::vector<std::pair<int, int>> sent;
  sent.clear();
  SetDeviceLightSink([](int index, int enabled, const D3DLIGHT9*) { sent.push_back({index, enabled}); });
  int base = LightLiveCount();  // the default light
  EXPECT_EQ(base, 1);
  EXPECT_EQ(GetLightRecord(GetDefaultLight())->light.Type, 3u);
  int a = CreateLight(), b = CreateLight(), c = CreateLight();
  EnableLightHandle(GetDefaultLight(), 0);
  ApplyLights();
  sent.clear();
  EnableLightHandle(a, 0);
  ApplyLights();
  EXPECT_EQ(GetLightRecord(b)->device_index, 0);
  EXPECT_EQ(GetLightRecord(c)->device_index, 1);
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), (std::pair<int, int>{2, 0}));  // index 2 switched off
  int high = LightHighWater();
  EXPECT_EQ(DeleteLight(c), 0);
  EXPECT_EQ(LightHighWater(), high - 1);
  DeleteLight(b);
  DeleteLight(a);
  EXPECT_EQ(LightHighWater(), 1);
  EXPECT_EQ(DeleteLight(a), -1);
  EXPECT_EQ(EnableLightHandle(a, 1), -1);
  SetDeviceLightSink(nullptr);
}

TEST_F(CameraTest, FogAndDepthDefaultsAfterStart) {
  EXPECT_EQ(GetFogState()->mode, 3);
  EXPECT_EQ(GetFogState()->colour, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(GetFogState()->end, 1500.0f);
  EXPECT_EQ(GetDepthBlock(0)[2], 4);
  EXPECT_FLOAT_EQ(GetGraphDrawFloat(), 0.2f);
  EXPECT_EQ(GetGraphCreateAlphaTest(), 1);
}

}  // namespace
