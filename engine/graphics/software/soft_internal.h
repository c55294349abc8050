// The software driver's own state: the screen images it draws into and the
// helpers its files share. Included only by engine/graphics/software/.
#pragma once

#include "engine/graphics/graphics_internal.h"

namespace software {

// The screen of the software path and two work images of its size (text
// drawing uses them: one without alpha, one with).
extern MEMIMG g_screen_image;
extern MEMIMG g_screen_work[2];
int CreatePrimaryMemImage();
int ReleasePrimaryMemImages();

// The image the current draw screen selects: a draw-target graph's view, else
// the screen image (the mask aside).
MEMIMG* DrawScreenImage();

// Screen operations of the driver (soft_screen.cpp).
int StartScreen();
void ReleaseScreen();  // graphics end
int Clear();
int Present(const PresentArea* area);
const PIXELFORMAT* ScreenFormat();

// The mask screen's work image and its two hooks (soft_screen.cpp).
void CreateMaskWork(int width, int height);
void ReleaseMaskWork();
void RetargetForMask();
void CopyIntoMaskWork(const int32_t* rect);
void CopyBackThroughMask(const int32_t* rect);

}  // namespace software
