// The runtime's movie wiring for the tests (apart from the movie makers,
// which the benchmarks share without the runtime).
#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics_host.h"
#include "engine/runtime/engine_runtime.h"
#include "tests/engine/movie/movie_fixtures.h"

void ConnectMovies() {
  GraphicsHost kept = GetGraphicsHost();
  InstallEngineServices();
  EngineSubsystem movies = RegisteredSubsystem(SubsystemId::Movies);
  ResetEngineSubsystems();
  ReplaceEngineSubsystem(movies);
  SetGraphicsHost(&kept);
}
