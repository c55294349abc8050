// Movie handles: the table of open movies and the functions on a handle,
// which call through the movie's kind: a Theora movie (movie_theora.cpp), or
// any other file through a multimedia stream (movie_dshow.cpp).
#include "engine/core/handle.h"
#include "engine/core/log.h"
#include "engine/graphics/graphics.h"
#include "engine/movie/movie_record.h"

namespace {

HandleTable<MovieRecord>& Movies() {
  static HandleTable<MovieRecord> table(HANDLE_MOVIE, MAX_MOVIES);
  return table;
}

// The kinds in the order a file is tried, indexed by MovieKind.
const MovieKindOps* const kKinds[] = {&kDirectShowMovieKind, &kTheoraMovieKind};
constexpr MovieKind kOpenOrder[] = {MOVIE_KIND_THEORA, MOVIE_KIND_DIRECTSHOW};

const MovieKindOps& Ops(const MovieRecord* r) { return *kKinds[r->kind]; }

// Runs `step` on every open movie.
template <class Step>
void ForEachMovie(Step step) {
  Movies().ForEach([&](int, MovieRecord& r) { step(&r); });
}

}  // namespace

int OpenMovie(const char* file_name, int* width, int* height, int surface_mode) {
  if (!file_name) return -1;
  MovieRecord* r = nullptr;
  const int movie = Movies().Allocate(&r);
  if (movie < 0) {
    if (Movies().last_failure() == HandleTableBase::FAIL_MEMORY)
      WriteLogText("メモリの確保に失敗しました in OpenMovie");
    return -1;
  }
  r->sound = -1;
  r->last_update_tick = -1;
  r->last_update_time = -1;
  bool opened = false;
  for (MovieKind kind : kOpenOrder) {
    r->kind = kind;
    if (Ops(r).open(r, file_name, surface_mode) == 0) {
      opened = true;
      break;
    }
  }
  if (!opened) {
    Movies().Release(movie);
    WriteLogText("ムービーファイルオープン処理時にエラーが発生しました");
    return -1;
  }
  if (width) *width = r->width;
  if (height) *height = r->height;
  r->halted = 1;
  r->playing = 0;
  r->play_type = 1;
  return movie;
}

int DisposeMovie(int movie) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return -1;
  Ops(r).dispose(r);
  Movies().Release(movie);
  return 0;
}

int RunMovie(int movie, int play_type, int resume_only) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return -1;
  if (play_type == -1) play_type = r->play_type;
  if (play_type == 0) play_type = 1;  // a movie never blocks its caller
  if (!r->halted) return 0;
  if (resume_only == 1 && !r->playing) return 0;
  if (!Ops(r).run(r, play_type)) return 0;
  r->halted = 0;
  r->play_type = play_type;
  r->playing = 1;
  return 0;
}

int HoldMovie(int movie, int keep_playing) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return -1;
  if (r->halted) return 0;
  if (!Ops(r).hold(r)) return 0;
  r->halted = 1;
  if (!keep_playing) r->playing = 0;
  return 0;
}

MovieRecord* FindMovieRecord(int movie) { return Movies().Lookup(movie); }

int AdvanceMovieFrame(int movie) {
  if (MovieRecord* r = FindMovieRecord(movie)) Ops(r).advance(r);
  return 0;
}

int SetMovieFrameHook(int movie, MovieFrameHook hook, intptr_t argument) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return -1;
  r->frame_hook = hook;
  r->hook_argument = argument;
  return 0;
}

int ResumeMoviesAll() {
  Movies().ForEach([](int movie, MovieRecord&) { RunMovie(movie, -1, 1); });
  return 0;
}

int HoldMoviesAll() {
  Movies().ForEach([](int movie, MovieRecord&) { HoldMovie(movie, 1); });
  return 0;
}

int MovieLiveCount() { return Movies().live_count(); }

BASEIMAGE* RefreshMovieFrameImage(MovieRecord* r) { return r ? Ops(r).frame_image(r) : nullptr; }

int RefreshMovieFrameSurface(MovieRecord* r, IDirect3DSurface9** surface) {
  return r ? Ops(r).frame_surface(r, surface) : -1;
}

int DropMovieSurfacesAll() {
  ForEachMovie([](MovieRecord* r) { Ops(r).drop_device_surface(r); });
  return 0;
}

int RemakeMovieSurfacesAll() {
  ForEachMovie([](MovieRecord* r) { Ops(r).remake_device_surface(r); });
  return 0;
}

int DropDirectShowObjectsAll() {
  ForEachMovie([](MovieRecord* r) { Ops(r).drop_stream_objects(r); });
  return 0;
}

int ReopenDirectShowMoviesAll() {
  auto& table = Movies();
  for (int s = 0; s < table.high_water(); s++) {
    MovieRecord* r = table.Lookup(table.HandleAt(s));
    // One failure leaves the movies after it dropped as well.
    if (r && Ops(r).reopen_stream_objects(r) < 0) return -1;
  }
  return 0;
}

int BlitMovieSurfacesAll() {
  ForEachMovie([](MovieRecord* r) { Ops(r).inactive_step(r); });
  return 0;
}
