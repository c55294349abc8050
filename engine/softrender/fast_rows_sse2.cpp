// The fast rows built for SSE2, the baseline of x86-64.
#define VOX_FAST_ROWS_AVX2 0
#include "engine/softrender/fast_rows_impl.h"

FastRowFn FastRowSse2(int index) { return kFastRows[index]; }
