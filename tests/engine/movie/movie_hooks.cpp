// The runtime's movie wiring for the tests, and the updates of stream movies
// (apart from the movie makers, which the benchmarks share without the
// runtime).
#include <gtest/gtest.h>

#include "engine/core/engine_subsystem.h"
#include "engine/graphics/graphics_host.h"
#include "engine/movie/movie_record.h"
#include "engine/runtime/engine_runtime.h"
#include "platform/dshow/dshow_control.h"
#include "tests/engine/movie/movie_fixtures.h"

void ConnectMovies() {
  GraphicsHost kept = GetGraphicsHost();
  InstallEngineServices();
  EngineSubsystem movies = RegisteredSubsystem(SubsystemId::Movies);
  ResetEngineSubsystems();
  ReplaceEngineSubsystem(movies);
  SetGraphicsHost(&kept);
}

bool SettleStreamMovie(MovieRecord* r) {
  for (int i = 0; i < 60000; i++) {
    if (DshowStreamSettled(r->stream)) return true;
    Sleep(1);
  }
  return false;
}

void PumpStreamMovie(int movie) {
  MovieRecord* r = FindMovieRecord(movie);
  for (int i = 0; i < 200; i++) {
    r->last_update_time = -1;  // no pacing between the test's updates
    AdvanceMovieFrame(movie);
    if (r->halted) return;
    if (!r->update_pending) continue;
    // An update left pending and not answered once the thread has settled
    // waits for a picture that is not due.
    ASSERT_TRUE(SettleStreamMovie(r));
    if (WaitForSingleObject(r->update_event, 0) != WAIT_OBJECT_0) return;
  }
}
