// The movies as the engine core sees them: the conversion tables built at
// start-up, the multimedia-stream surfaces copied while the inactive window
// holds the message step, and the movies held and resumed as the window
// loses and regains the screen.
#include "engine/core/engine_subsystem.h"
#include "engine/movie/movie.h"

constinit const EngineSubsystem kMoviesSubsystem{
    .id = SubsystemId::Movies,
    .start = BuildYuvToRgbTables,
    .pump_parked = BlitMovieSurfacesAll,
    .resume_movies = ResumeMoviesAll,
    .hold_movies = HoldMoviesAll,
    .drop_movie_streams = DropDirectShowObjectsAll,
};
