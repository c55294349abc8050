// The font library's view of the crossfade state and of the three-pass
// subtract of the screen's driver. (The software screen images text is
// written into are the software driver's: software/soft_screen.cpp.)
#include "engine/graphics/text_target.h"

#include "engine/graphics/graphics_internal.h"

MEMIMG* GetCrossfadeImage() { return g_draw.crossfade_image; }

void GetCrossfadeGraph(int* graph, int* param, int* range) {
  *graph = g_draw.crossfade_graph;
  *param = g_draw.crossfade_param;
  *range = g_draw.crossfade_range;
}

int TextNeedsInvertPasses() { return ScreenDriver().needs_subtract_passes() ? 1 : 0; }
int InvertTextAreaBefore(const int32_t* rect) { return ScreenDriver().invert_before_subtract(rect); }
int InvertTextAreaAfter(const int32_t* rect) { return ScreenDriver().invert_after_subtract(rect); }
