// Movie handles: the table of open movies, opening a file as a Theora movie
// (with the sound beside its pictures) or through a multimedia stream, run
// and hold, and the frame update that turns the movie's clock into frames.
#include <cmath>

#include "engine/core/file.h"
#include "engine/core/handle.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/graphics/graphics.h"
#include "engine/movie/movie_record.h"
#include "engine/sound/sound.h"

namespace {

HandleTable<MovieRecord>& Movies() {
  static HandleTable<MovieRecord> table(HANDLE_MOVIE, MAX_MOVIES);
  return table;
}

// The installed file layer as a table: the stream reads through the same
// layer (archive-aware by default) that FsOpen opened the file with.
intptr_t LayerOpen(const char* path, int use_cache, int flag, int async) { return FsOpen(path, use_cache, flag, async); }
const FileLayer kInstalledLayer = {LayerOpen, FsClose,     FsTell,      FsSeek,        FsRead,     FsEof,
                                   FsIsIdle,  FsSetDir,    FsGetDir,    FsFindFirst,   FsFindNext, FsFindClose};

bool IsLooping(const MovieRecord* r) { return (r->play_type & MOVIE_PLAY_LOOP_BIT) != 0; }

void AdvanceTheoraMovie(MovieRecord* r) {
  TheoraStreamInfo info;
  GetTheoraStreamInfo(r->theora, &info);
  const int n = info.frame_count;
  int f;
  if (r->sound >= 0) {
    f = FrameFromSoundPosition(GetSoundHandlePositionMs(r->sound), info.frames_per_second);
    if (f > n - 1) f = n - 1;
  } else {
    f = FrameFromClock(GetMicrosecondCount(0) - r->time_base, info.frames_per_second);
    if (f >= n) f = IsLooping(r) ? f % n : n - 1;
  }
  const int c = GetTheoraFrameNumber(r->theora);
  if (f != c) {
    // Always forward, through the wrap when the clock fell behind.
    StepTheoraStream(r->theora, f > c ? f - c : n - c + f);
  } else if (r->sound < 0 && !IsLooping(r) && f == n - 1) {
    r->playing = 0;
    r->halted = 1;
  }
}

}  // namespace

const FileLayer* InstalledFileLayer() { return &kInstalledLayer; }

int FrameFromClock(int64_t micros, double fps) {
  if (micros <= 0) return 0;
  double frames = std::trunc(double(micros) * fps / 1000000.0);
  return frames >= 2147483647.0 ? 2147483647 : int(frames);
}

int FrameFromSoundPosition(int position_ms, double fps) {
  if (position_ms <= 0) return 0;
  return int(std::trunc(position_ms / 1000.0 * fps));
}

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
  intptr_t file = FsOpen(file_name, 0, 1, 0);
  if (file != 0 && file != -1) {
    r->theora = OpenTheoraStream(&kInstalledLayer, file, MOVIE_THEORA_STOCK);
    if (r->theora) r->file = file;
    else FsClose(file);
  }
  if (r->theora) {
    const int kept_mode = GetSoundStorageMode();
    SetSoundMovieFlag(1);
    SetSoundStorageMode(3);
    r->sound = LoadSoundFile(file_name, 1, -1);
    SetSoundMovieFlag(0);
    SetSoundStorageMode(kept_mode);
    TheoraStreamInfo info;
    GetTheoraStreamInfo(r->theora, &info);
    r->width = info.width;
    r->height = info.height;
    if (width) *width = info.width;
    if (height) *height = info.height;
    r->kind = MOVIE_KIND_THEORA;
    r->frame_image_ptr = GetTheoraFrameImage(r->theora);
  } else {
    if (OpenDirectShowMovie(GetDirectDrawObject(), r, file_name, width, height, surface_mode) < 0) {
      Movies().Release(movie);
      WriteLogText("ムービーファイルオープン処理時にエラーが発生しました");
      return -1;
    }
    r->kind = MOVIE_KIND_DIRECTSHOW;
    r->frame_image_ptr = &r->frame_image;
  }
  r->halted = 1;
  r->playing = 0;
  r->play_type = 1;
  return movie;
}

int DisposeMovie(int movie) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return -1;
  if (r->kind == MOVIE_KIND_THEORA) {
    CloseTheoraStream(r->theora);
    FsClose(r->file);
    if (r->sound >= 0) DisposeSoundHandle(r->sound);
  } else {
    DisposeDirectShowMovie(r);
  }
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
  if (r->kind == MOVIE_KIND_THEORA) {
    TheoraStreamInfo info;
    GetTheoraStreamInfo(r->theora, &info);
    r->time_base = GetMicrosecondCount(0) -
                   int64_t(std::trunc(1000000.0 / info.frames_per_second * GetTheoraFrameNumber(r->theora)));
    if (r->sound >= 0) StartSoundHandle(r->sound, play_type, 0);
  } else {
    if (DirectShowObjectsDropped(r)) return 0;
    RunDirectShowMovie(r);
  }
  r->halted = 0;
  r->play_type = play_type;
  r->playing = 1;
  return 0;
}

int HoldMovie(int movie, int keep_playing) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return -1;
  if (r->halted) return 0;
  if (r->kind == MOVIE_KIND_THEORA) {
    if (r->sound >= 0) HaltSoundHandle(r->sound);
    AdvanceMovieFrame(movie);
  } else {
    if (DirectShowObjectsDropped(r)) return 0;
    HoldDirectShowMovie(r);
  }
  r->halted = 1;
  if (!keep_playing) r->playing = 0;
  return 0;
}

MovieRecord* FindMovieRecord(int movie) { return Movies().Lookup(movie); }

int AdvanceMovieFrame(int movie) {
  MovieRecord* r = FindMovieRecord(movie);
  if (!r) return 0;
  if (r->kind == MOVIE_KIND_DIRECTSHOW) {
    AdvanceDirectShowMovie(r);
    return 0;
  }
  if (!r->halted) AdvanceTheoraMovie(r);
  if (r->frame_hook) r->frame_hook(r, r->hook_argument);
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

BASEIMAGE* RefreshMovieFrameImage(MovieRecord* r) {
  if (!r) return nullptr;
  if (r->kind == MOVIE_KIND_THEORA) {
    // The open converted frame 0 already: the graph takes it the first time.
    const bool converted = ConvertTheoraFrame(r->theora, 1, 0) == 1;
    if (!converted && r->frame_taken) return nullptr;
    r->frame_taken = 1;
    return r->frame_image_ptr;
  }
  return r->frame_image.pixels ? &r->frame_image : nullptr;
}

int RefreshMovieFrameSurface(MovieRecord* r, IDirect3DSurface9** surface) {
  if (!r || r->kind != MOVIE_KIND_THEORA || !GetTheoraYuvSurface(r->theora)) return -1;
  // As for the image: the open filled the surface with frame 0 already.
  const bool converted = ConvertTheoraFrame(r->theora, 0, 1) == 1;
  if (!converted && r->frame_taken) return 0;
  if (!r->theora->surface_up_to_date.load()) return -1;
  r->frame_taken = 1;
  *surface = GetTheoraYuvSurface(r->theora);
  return 1;
}

int DropMovieSurfacesAll() {
  Movies().ForEach([](int, MovieRecord& r) {
    if (r.kind != MOVIE_KIND_THEORA) return;
    if (r.theora->yuv_surface) r.theora->yuv_surface->Release();
    r.theora->yuv_surface = nullptr;
    r.theora->yuv_surface_format = 0;
    r.theora->surface_up_to_date.store(0);
  });
  return 0;
}

int RemakeMovieSurfacesAll() {
  Movies().ForEach([](int, MovieRecord& r) {
    if (r.kind != MOVIE_KIND_THEORA) return;
    MakeTheoraYuvSurface(r.theora);
    r.theora->surface_up_to_date.store(0);
    r.frame_taken = 0;
  });
  return 0;
}

int DropDirectShowObjectsAll() {
  Movies().ForEach([](int, MovieRecord& r) {
    if (r.kind == MOVIE_KIND_DIRECTSHOW) DropDirectShowObjects(&r);
  });
  return 0;
}

int ReopenDirectShowMoviesAll() {
  auto& table = Movies();
  for (int s = 0; s < table.high_water(); s++) {
    MovieRecord* r = table.Lookup(table.HandleAt(s));
    // One failure leaves the movies after it dropped as well.
    if (r && r->kind == MOVIE_KIND_DIRECTSHOW && ReopenDirectShowMovie(GetDirectDrawObject(), r) < 0) return -1;
  }
  return 0;
}

int BlitMovieSurfacesAll() {
  Movies().ForEach([](int, MovieRecord& r) {
    if (r.kind == MOVIE_KIND_DIRECTSHOW && r.playing && !r.halted) AdvanceDirectShowMovie(&r);
  });
  return 0;
}
