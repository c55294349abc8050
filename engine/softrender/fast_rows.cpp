// The level of the fast paths: the machine's, as the environment check found
// it, unless the environment, the build or a test keeps draws on the generic
// kernels.
#include "engine/softrender/fast_rows.h"

#include <cstdlib>
#include <cstring>

#include "engine/core/engine_state.h"

namespace {

SoftSimd g_limit = SoftSimd::Avx2;

bool GenericForced() {
#if defined(VOX_SOFT_GENERIC_ONLY)
  return true;
#else
  static const bool forced = [] {
    const char* v = std::getenv("VOX_SOFT_GENERIC");
    return v && v[0] && std::strcmp(v, "0") != 0;
  }();
  return forced;
#endif
}

}  // namespace

SoftSimd SoftSimdLevel() {
  if (GenericForced()) return SoftSimd::Generic;
  const SoftSimd machine = g_environment.avx2 ? SoftSimd::Avx2 : SoftSimd::Sse2;
  return (int)machine < (int)g_limit ? machine : g_limit;
}

void SetSoftSimdLimit(SoftSimd limit) { g_limit = limit; }

FastRowFn FindFastRow(int index) {
  if (index < 0 || index >= kSoftLoopCount) return nullptr;
  switch (SoftSimdLevel()) {
    case SoftSimd::Avx2: return FastRowAvx2(index);
    case SoftSimd::Sse2: return FastRowSse2(index);
    default: return nullptr;
  }
}

GatherFn FindGather(int bytes) { return SoftSimdLevel() == SoftSimd::Avx2 ? GatherAvx2(bytes) : nullptr; }
