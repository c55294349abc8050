// The runtime's movie hooks for the tests' graphics hosts (apart from the
// movie makers, which the benchmarks share without the runtime).
#include "engine/core/engine_start.h"
#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics_host.h"
#include "engine/runtime/engine_runtime.h"
#include "tests/engine/movie/movie_fixtures.h"

void AddMovieHooks(GraphicsHost* host) {
  GraphicsHost kept = *host;
  InstallEngineServices();
  GraphicsHost wired = GetGraphicsHost();
  kept.open_movie = wired.open_movie;
  kept.close_movie = wired.close_movie;
  kept.advance_movie_frame = wired.advance_movie_frame;
  kept.set_movie_frame_hook = wired.set_movie_frame_hook;
  kept.movie_frame_image = wired.movie_frame_image;
  kept.movie_frame_surface = wired.movie_frame_surface;
  kept.drop_movie_surfaces = wired.drop_movie_surfaces;
  kept.reopen_movies = wired.reopen_movies;
  *host = kept;
  ResetEngineSubsystems();
}
