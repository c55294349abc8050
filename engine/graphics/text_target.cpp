// The font library's view of the software screen and the crossfade state.
#include "engine/graphics/text_target.h"

#include "engine/graphics/d3d_internal.h"

MEMIMG* GetSoftDrawTarget() { return g_draw.soft_target; }

MEMIMG* GetCrossfadeImage() { return g_draw.crossfade_image; }

void GetCrossfadeGraph(int* graph, int* param, int* range) {
  *graph = g_draw.crossfade_graph;
  *param = g_draw.crossfade_param;
  *range = g_draw.crossfade_range;
}

MEMIMG* GetTextWorkImage(int with_alpha) {
  MEMIMG* work = &g_screen_work[with_alpha ? 1 : 0];
  return IsMEMIMGValid(work) ? work : nullptr;
}

int TextNeedsInvertPasses() { return NeedsSubtractPasses() ? 1 : 0; }
int InvertTextAreaBefore(const int32_t* rect) { return InvertAreaBeforeSubtract(rect); }
int InvertTextAreaAfter(const int32_t* rect) { return InvertAreaAfterSubtract(rect); }
