// Soft images: decoded images kept under engine handles (kind 0x70000000).
#pragma once

#include "engine/image/base_image.h"

constexpr int MAX_SOFT_IMAGES = 8192;

struct SoftImage {
  BASEIMAGE image;
  ~SoftImage() { DisposeBaseImage(&image); }
};

int NewSoftImageHandle();  // a full table or no memory ends the program
int FreeSoftImageHandle(int handle);  // 0, or -1 for a bad handle
int DeleteAllSoftImages();
int EndSoftImages();
SoftImage* GetSoftImageRecord(int handle);  // null for a bad handle

// The engine core's record of the soft images: ended with the engine.
struct EngineSubsystem;
extern const EngineSubsystem kSoftImagesSubsystem;
