// The fast rows built for AVX2 (this file alone is compiled with -mavx2; it
// is called only where the environment check found AVX2).
#define VOX_FAST_ROWS_AVX2 1
#include "engine/softrender/fast_rows_impl.h"

FastRowFn FastRowAvx2(int index) { return kFastRows[index]; }
