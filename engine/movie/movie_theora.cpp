// The Theora kind of movie handle: an Ogg Theora stream with the file's own
// Ogg Vorbis sound beside it, timed by that sound or by the microsecond
// clock, whose current frame is converted for the graph when it is drawn.
#include <cmath>

#include "engine/core/file.h"
#include "engine/core/util.h"
#include "engine/movie/movie_record.h"
#include "engine/sound/sound.h"

namespace {

// The installed file layer as a table: the stream reads through the same
// layer (archive-aware by default) that FsOpen opened the file with.
intptr_t LayerOpen(const char* path, int use_cache, int flag, int async) { return FsOpen(path, use_cache, flag, async); }
const FileLayer kInstalledLayer = {LayerOpen, FsClose,     FsTell,      FsSeek,        FsRead,     FsEof,
                                   FsIsIdle,  FsSetDir,    FsGetDir,    FsFindFirst,   FsFindNext, FsFindClose};

bool IsLooping(const MovieRecord* r) { return (r->play_type & MOVIE_PLAY_LOOP_BIT) != 0; }

int OpenTheora(MovieRecord* r, const char* file_name, int) {
  intptr_t file = FsOpen(file_name, 0, 1, 0);
  if (file == 0 || file == -1) return -1;
  r->theora = OpenTheoraStream(&kInstalledLayer, file, MOVIE_THEORA_STOCK);
  if (!r->theora) {
    FsClose(file);
    return -1;
  }
  r->file = file;
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
  r->frame_image_ptr = GetTheoraFrameImage(r->theora);
  return 0;
}

// The first microsecond of a frame on the clock. Cut down to whole
// microseconds, the start of a frame of a rate like 24 a second would read
// as the frame before it, and the clock would then step the stream forward
// through the whole movie to reach that one.
int64_t MicrosOfFrame(int frame, double fps) {
  int64_t micros = int64_t(std::ceil(frame * 1000000.0 / fps));
  while (micros > 0 && FrameFromClock(micros - 1, fps) >= frame) micros--;
  while (FrameFromClock(micros, fps) < frame) micros++;
  return micros;
}

bool RunTheora(MovieRecord* r, int play_type) {
  TheoraStreamInfo info;
  GetTheoraStreamInfo(r->theora, &info);
  // The clock goes on from the frame on show.
  r->time_base = GetMicrosecondCount(0) - MicrosOfFrame(GetTheoraFrameNumber(r->theora), info.frames_per_second);
  if (r->sound >= 0) StartSoundHandle(r->sound, play_type, 0);
  return true;
}

// Moves the stream to the frame the clock stands at: always forward, through
// the wrap when the clock fell behind.
void StepToClock(MovieRecord* r) {
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
    StepTheoraStream(r->theora, f > c ? f - c : n - c + f);
  } else if (r->sound < 0 && !IsLooping(r) && f == n - 1) {
    r->playing = 0;
    r->halted = 1;
  }
}

// The hook runs on every call, halted or not: it converts and copies only
// when the stream's frame changed.
void AdvanceTheora(MovieRecord* r) {
  if (!r->halted) StepToClock(r);
  if (r->frame_hook) r->frame_hook(r, r->hook_argument);
}

bool HoldTheora(MovieRecord* r) {
  if (r->sound >= 0) HaltSoundHandle(r->sound);
  AdvanceTheora(r);
  return true;
}

BASEIMAGE* TheoraFrameImage(MovieRecord* r) {
  // The open converted frame 0 already: the graph takes it the first time.
  const bool converted = ConvertTheoraFrame(r->theora, 1, 0) == 1;
  if (!converted && r->frame_taken) return nullptr;
  r->frame_taken = 1;
  return r->frame_image_ptr;
}

int TheoraFrameSurface(MovieRecord* r, IDirect3DSurface9** surface) {
  if (!GetTheoraYuvSurface(r->theora)) return -1;
  // As for the image: the open filled the surface with frame 0 already.
  const bool converted = ConvertTheoraFrame(r->theora, 0, 1) == 1;
  if (!converted && r->frame_taken) return 0;
  if (!r->theora->surface_up_to_date.load()) return -1;
  r->frame_taken = 1;
  *surface = GetTheoraYuvSurface(r->theora);
  return 1;
}

void DisposeTheora(MovieRecord* r) {
  CloseTheoraStream(r->theora);
  FsClose(r->file);
  if (r->sound >= 0) DisposeSoundHandle(r->sound);
}

void DropTheoraSurface(MovieRecord* r) {
  if (r->theora->yuv_surface) r->theora->yuv_surface->Release();
  r->theora->yuv_surface = nullptr;
  r->theora->yuv_surface_format = 0;
  r->theora->surface_up_to_date.store(0);
}

void RemakeTheoraSurface(MovieRecord* r) {
  MakeTheoraYuvSurface(r->theora);
  r->theora->surface_up_to_date.store(0);
  r->frame_taken = 0;
}

}  // namespace

const MovieKindOps kTheoraMovieKind = {
    .open = OpenTheora,
    .run = RunTheora,
    .hold = HoldTheora,
    .advance = AdvanceTheora,
    .frame_image = TheoraFrameImage,
    .frame_surface = TheoraFrameSurface,
    .dispose = DisposeTheora,
    .drop_device_surface = DropTheoraSurface,
    .remake_device_surface = RemakeTheoraSurface,
};

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
