// Matrices, vectors, transforms, camera and lights of engine graphics.
// Matrices are 4 x 4 floats, row-major, for row vectors: a point p maps to
// p x M, with the translation in the fourth row.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9.h"  // the light and material records

struct MATRIX {
  float m[4][4];
};
struct VECTOR {
  float x, y, z;
};

// ---- matrix and vector library ----------------------------------------------------
int MatrixIdentity(MATRIX* out);
int MatrixMultiply(MATRIX* out, const MATRIX* a, const MATRIX* b);  // out may alias a or b
int MatrixTranspose(MATRIX* out, const MATRIX* m);
int MatrixInverse(MATRIX* out, const MATRIX* m);
int MatrixLookAtLH(MATRIX* out, const VECTOR* eye, const VECTOR* at, const VECTOR* up);
int MatrixPerspectiveFovLH(MATRIX* out, float fov, float near_z, float far_z, float aspect);
int MatrixOrthoLH(MATRIX* out, float size, float near_z, float far_z, float aspect);
int MatrixViewport(MATRIX* out, float centre_x, float centre_y, float width, float height);
int Vec3Set(VECTOR* out, float x, float y, float z);
float Vec3Dot(const VECTOR* a, const VECTOR* b);
VECTOR* Vec3Cross(VECTOR* out, const VECTOR* a, const VECTOR* b);
int Vec3Normalize(VECTOR* out, const VECTOR* v);
VECTOR* Vec3NormalizedFrom(VECTOR* out, float x, float y, float z);
int Vec3TransformCoord(VECTOR* out, const VECTOR* v, const MATRIX* m);
float Atan2Float(float y, float x);
// IntersectClipRect lives with the software renderer (engine/softrender/blend.h).

// ---- transforms -----------------------------------------------------------------------
int SetWorldMatrix(const MATRIX* m);
int SetViewMatrix(const MATRIX* m);
int SetProjectionMatrix(const MATRIX* m);
int SetViewportMatrix(const MATRIX* m);
struct TransformState {
  MATRIX world, view, projection, viewport;
  MATRIX clip_viewport, clip_viewport_inverse;
  MATRIX combined, view_projection, billboard;
  int combined_valid;
  int device_projection_dirty;
};
const TransformState* GetTransformState();  // the combined forms rebuilt when stale
// Viewport matrix of the clip rectangle and its inverse.
void SetClipViewport(int x1, int y1, int x2, int y2);
// The projection as a back end whose viewport is the clip rectangle takes
// it: projection x viewport x the clip viewport's inverse.
void ClipProjectionMatrix(MATRIX* out);
// World, view and projection go to the screen's driver again (a new device).
void ResendTransforms();
// World identity, viewport, view and camera for a new draw target.
void ResetScreenCamera(int width, int height);

// ---- camera ------------------------------------------------------------------------------
int SetCameraNearFar(float near_z, float far_z);
int SetCameraFieldOfView(float fov);
int SetProjectionMatrixRaw(const float* values16);
int SetProjectionMatrixFrom(const MATRIX* m);
struct CameraState {
  int mode;  // 0 perspective, 1 orthographic, 2 given by the caller
  float near_z, far_z, aspect_factor, fov, ortho_size;
  MATRIX matrix;
};
const CameraState* GetCameraState();

// ---- lights -------------------------------------------------------------------------------
struct LightRecord {
  uint32_t check;
  uint32_t handle;
  D3DLIGHT9 light;
  int32_t device_index;
  uint32_t enabled;
  uint32_t changed;
};
int CreateLight();
int CreateDirectionalLight(float x, float y, float z);
int DeleteLight(int light);
int DeleteAllLights();  // every light but the default light
int DeleteDefaultLight();
int EnableLightHandle(int light, int flag);
int ApplyLights();
const LightRecord* GetLightRecord(int light);
int GetDefaultLight();
int LightLiveCount();
int LightHighWater();
// Takes what ApplyLights sends in place of the screen's driver (null: the
// driver again); tests watch the binding of lights to device indexes with it.
typedef void (*DeviceLightSink)(int index, int enabled, const D3DLIGHT9* light);
void SetDeviceLightSink(DeviceLightSink sink);
int SetLightingEnabled(int flag);
// Every light goes to the device again at the next ApplyLights.
void MarkLightsForResend();

// ---- depth, fog and other device settings ---------------------------------------------------
int SetZWriteBoth(int flag);
int SetZFunctionBoth(int function);
int SetZWrite3D(int flag);
int SetZFunction3D(int function);
int SetFogMode(int mode);
int SetFogColour(int r, int g, int b);
int SetFogRange(float start, float end);
int SetGraphDrawFloat(float value);
float GetGraphDrawFloat();
struct FogState {
  int mode;
  uint32_t colour;
  float start, end;
};
const FogState* GetFogState();
// Depth settings of 2-D (0) and 3-D (1) drawing: Z enable, Z write, Z function, bias.
const int32_t* GetDepthBlock(int which);

// ---- material ----------------------------------------------------------------------------
const D3DMATERIAL9* GetMaterial();
// The material when it changed since it was last taken (null otherwise).
const D3DMATERIAL9* TakeChangedMaterial();

// ---- reset -----------------------------------------------------------------------------------
int ResetDrawState();
