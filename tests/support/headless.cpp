// Every test program runs headless: SDL's dummy video and audio drivers
// unless the environment chose others (an end-to-end test may pick a virtual
// display on purpose).
#include <cstdlib>

namespace {
struct Headless {
  Headless() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
  }
} g_headless;
}  // namespace
