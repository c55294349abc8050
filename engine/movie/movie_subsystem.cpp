// The movies as the engine core sees them: the conversion tables built at
// start-up, the multimedia-stream surfaces copied while the inactive window
// holds the message step, the movies held and resumed as the window loses
// and regains the screen, and their surfaces on the graphics device let go
// before it goes and made again once a restore is complete. And the movies
// as graphics sees them: the source of the graphs loaded from movie files.
#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics_host.h"
#include "engine/movie/movie.h"

namespace {

// The surfaces on the new device first (their graphs take the current frame
// again), then the multimedia-stream movies released with the old one.
int ReopenMoviesAfterRestore() {
  RemakeMovieSurfacesAll();
  ReopenDirectShowMoviesAll();
  return 0;
}

}  // namespace

constinit const EngineSubsystem kMoviesSubsystem{
    .id = SubsystemId::Movies,
    .start = BuildYuvToRgbTables,
    .pump_parked = BlitMovieSurfacesAll,
    .resume_movies = ResumeMoviesAll,
    .hold_movies = HoldMoviesAll,
    .drop_movie_streams = DropDirectShowObjectsAll,
    .device_releasing = DropMovieSurfacesAll,
    .device_restored = ReopenMoviesAfterRestore,
};

constinit const GraphMovieSource kMovieGraphSource{
    .open_movie = OpenMovie,
    .close_movie = DisposeMovie,
    .advance_movie_frame = AdvanceMovieFrame,
    .set_movie_frame_hook = SetMovieFrameHook,
    .movie_frame_image = RefreshMovieFrameImage,
    .movie_frame_surface = RefreshMovieFrameSurface,
};
