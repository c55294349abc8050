// The multimedia-stream side of movie handles: any movie file that is not an
// Ogg Theora movie plays through a multimedia stream that decodes its video
// into a system-memory DirectDraw surface and renders its sound itself. After
// each completed sample update the surface is copied into the movie's own
// frame image, from which the frame hook fills the movie's graph.
#include <cstdio>
#include <cstring>

#include "engine/core/alloc.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/osfile.h"
#include "engine/core/util.h"
#include "engine/graphics/graphics.h"
#include "engine/movie/movie_record.h"
#include "engine/softrender/memimg.h"

namespace {

constexpr uint32_t kCopyPiece = 0x100000;
constexpr int kUpdateInterval = 17;  // ms between updates within one graphics tick

// The surface mode that is really made: overlays are never offered, and a
// 24-bit surface at a 32-bit screen is made in the screen's own format.
int ResolveSurfaceMode(int mode) {
  if (mode == 1) mode = 2;
  if (mode == 2 && GetScreenBitDepth() == 32) mode = 0;
  return mode;
}

DDPIXELFORMAT SurfacePixelFormat(int mode) {
  if (mode == 2) return DDPIXELFORMAT{sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0};
  const DDPIXELFORMAT* screen = GetMEMIMGSurfaceFormat(GetScreenBitDepth() == 16 ? 0 : 1, 0, 0);
  return screen ? *screen : DDPIXELFORMAT{sizeof(DDPIXELFORMAT), DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0};
}

// Copies a file of the file layer (an archive member, say) into a temporary
// file whose path goes into the record. False when the copy is not whole.
bool CopyToTemporaryFile(MovieRecord* r, const char* file_name) {
  intptr_t in = FsOpen(file_name, 0, 1, 0);
  if (in == 0 || in == -1) return false;
  FsSeek(in, 0, SEEK_END);
  int64_t size = FsTell(in);
  FsSeek(in, 0, SEEK_SET);
  auto* buffer = static_cast<uint8_t*>(TrackedAlloc(kCopyPiece));
  HANDLE out = buffer ? CreateTempFile(r->path) : nullptr;
  bool whole = buffer && out && size >= 0;
  if (out) r->temporary_file = 1;
  for (int64_t left = size; whole && left > 0;) {
    const uint32_t piece = left < kCopyPiece ? uint32_t(left) : kCopyPiece;
    const size_t got = FsRead(buffer, 1, piece, in);
    DWORD written = 0;
    // A short read or write leaves a copy that would play a cut movie.
    if (got != piece || !WriteFile(out, buffer, piece, &written, nullptr) || written != piece) whole = false;
    left -= piece;
  }
  if (out) CloseHandle(out);
  TrackedFree(buffer);
  FsClose(in);
  return whole;
}

HRESULT OpenStreamFile(MovieRecord* r) {
  WCHAR wide[MOVIE_PATH_SIZE + 1] = {};
  if (MultiByteToWideChar(CP_ACP, 0, r->path, -1, wide, MOVIE_PATH_SIZE) == 0) return E_INVALIDARG;
  return r->stream->OpenFile(wide, 0);
}

// Every object of the record, in the order of the disposal.
void ReleaseStreamObjects(MovieRecord* r) {
  ReleaseObject(r->sample_surface4);
  ReleaseObject(r->sample_surface7);
  ReleaseObject(r->sample_surface);
  ReleaseObject(r->sample);
  ReleaseObject(r->dd_media_stream);
  ReleaseObject(r->am_media_stream);
  ReleaseObject(r->video_stream);
  ReleaseObject(r->basic_audio);
  ReleaseObject(r->media_seeking);
  ReleaseObject(r->directdraw4);
  ReleaseObject(r->media_control);
  ReleaseObject(r->graph_builder);
  ReleaseObject(r->stream);
}

int FailOpen(MovieRecord* r, IAMMultiMediaStream* loose_stream, const char* message) {
  ReleaseObject(loose_stream);
  ReleaseStreamObjects(r);
  WriteLogText(message);
  return -1;
}

// Copies the sample surface into the frame image, from the sample
// rectangle's corner.
void CopySampleToFrameImage(MovieRecord* r) {
  BASEIMAGE& image = r->frame_image;
  if (!image.pixels) return;
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (r->sample_surface4->Lock(nullptr, &locked, DDLOCK_WAIT | DDLOCK_READONLY, nullptr) != DD_OK) return;
  const size_t bpp = image.format.bytes_per_pixel, row = bpp * size_t(image.width);
  const auto* source = static_cast<const uint8_t*>(locked.lpSurface) + (size_t)r->sample_rect.top * locked.lPitch +
                       (size_t)r->sample_rect.left * bpp;
  for (int y = 0; y < image.height; y++)
    std::memcpy(image.pixels + (size_t)y * image.pitch, source + (size_t)y * locked.lPitch, row);
  r->sample_surface4->Unlock(nullptr);
}

// Issues one update; true when a picture is ready to copy at once.
bool IssueUpdate(MovieRecord* r) {
  HRESULT hr = r->sample->Update(0, r->update_event, nullptr, 0);
  if (hr == S_OK) return true;
  if (hr == MS_S_PENDING) {
    r->update_pending = 1;
    return false;
  }
  // The end of the stream, or a failure.
  if (r->play_type & MOVIE_PLAY_LOOP_BIT) {
    r->stream->Seek(0);
    r->stream->SetState(STREAMSTATE_RUN);
    r->last_update_tick = -1;
    r->last_update_time = -1;
  } else {
    r->playing = 0;
    r->halted = 1;
  }
  return false;
}

void CopyFrame(MovieRecord* r) {
  CopySampleToFrameImage(r);
  if (r->frame_hook) r->frame_hook(r, r->hook_argument);
  r->last_update_tick = ReadGraphicsTick64();
  r->last_update_time = GetMillisecondCount();
  ResetEvent(r->update_event);
  r->update_pending = 0;
}

}  // namespace

int OpenDirectShowMovie(IDirectDraw7* directdraw, MovieRecord* r, const char* file_name, int* width, int* height,
                        int surface_mode) {
  r->frame_image.pixels = nullptr;
  surface_mode = ResolveSurfaceMode(surface_mode);
  IAMMultiMediaStream* stream = nullptr;
  if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                       reinterpret_cast<void**>(&r->graph_builder)) != S_OK)
    return FailOpen(r, stream, "CLSID_FilterGraph の作成に失敗しました");
  if (CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                       reinterpret_cast<void**>(&stream)) != S_OK)
    return FailOpen(r, stream, "IAMMultimediaインターフェイスを取得できませんでした！");
  if (stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, r->graph_builder) != S_OK)
    return FailOpen(r, stream, "ストリームを読み取り用にセットアップできませんでした！");
  if (r->graph_builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&r->media_control)) != S_OK)
    return FailOpen(r, stream, "IID_IMediaControlインターフェイスの取得に失敗しました");
  if (QueryDirectDrawInterface(directdraw, IID_IDirectDraw4, reinterpret_cast<void**>(&r->directdraw4)) != DD_OK)
    return FailOpen(r, stream, "DirectDraw4オブジェクトを取得できませんでした");
  if (stream->AddMediaStream(r->directdraw4, &MSPID_PrimaryVideo, 0, nullptr) != S_OK)
    return FailOpen(r, stream, "プライマリビデオストリームを追加できませんでした！");
  if (stream->AddMediaStream(nullptr, &MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr) != S_OK)
    return FailOpen(r, stream, "デフォルトサウンドレンダラを追加できませんでした！\n");

  CopyStringBounded(r->path, file_name, sizeof r->path);
  r->stream = stream;  // belongs to the record from here on
  if (OpenStreamFile(r) != S_OK) {
    char message[MOVIE_PATH_SIZE + 64];
    std::snprintf(message, sizeof message, "ファイル:%s が開けませんでした", file_name);
    if (r->temporary_file) return FailOpen(r, nullptr, message);
    bool copied = CopyToTemporaryFile(r, file_name);
    if (!copied || OpenStreamFile(r) != S_OK) {
      if (r->temporary_file) DeleteFileA(r->path);
      r->temporary_file = 0;
      return FailOpen(r, nullptr, message);
    }
  }
  if (r->graph_builder->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&r->media_seeking)) != S_OK)
    return FailOpen(r, nullptr, "メディアシーキングインターフェースの取得に失敗しました");
  if (r->graph_builder->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&r->basic_audio)) != S_OK)
    return FailOpen(r, nullptr, "BasicAudio インターフェースの取得に失敗しました");
  if (r->stream->GetMediaStream(MSPID_PrimaryVideo, &r->video_stream) != S_OK)
    return FailOpen(r, nullptr, "プライマリビデオストリームインターフェイスを取得できませんでした！");
  if (r->video_stream->QueryInterface(IID_IAMMediaStream, reinterpret_cast<void**>(&r->am_media_stream)) != S_OK)
    return FailOpen(r, nullptr, "AMMediaStreamインターフェイスの取得に失敗しました");
  if (r->video_stream->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&r->dd_media_stream)) !=
      S_OK)
    return FailOpen(r, nullptr, "DirectDrawメディアストリームインターフェイスを取得できませんでした！");

  DDSURFACEDESC desired{};
  desired.dwSize = sizeof desired;
  DWORD format_flags = 0;
  r->dd_media_stream->GetFormat(nullptr, nullptr, &desired, &format_flags);
  if (desired.dwWidth == 0 || desired.dwHeight == 0)
    return FailOpen(r, nullptr, "動画ファイルではない可能性があります！");
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  desc.dwWidth = desired.dwWidth;
  desc.dwHeight = desired.dwHeight;
  desc.ddsCaps.dwCaps = DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
  desc.ddpfPixelFormat = SurfacePixelFormat(surface_mode);
  IDirectDraw* dd = nullptr;
  IDirectDrawSurface* surface = nullptr;
  HRESULT made = r->directdraw4->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&dd));
  if (made == DD_OK) made = dd->CreateSurface(&desc, &surface, nullptr);
  ReleaseObject(dd);
  if (made != DD_OK) return FailOpen(r, nullptr, "DirectDrawSurface オブジェクトの作成に失敗しました");

  r->surface_mode = surface_mode;
  if (r->dd_media_stream->CreateSample(surface, nullptr, DDSFF_PROGRESSIVERENDER, &r->sample) != S_OK) {
    ReleaseObject(surface);
    r->surface_mode = 0;
    if (r->dd_media_stream->CreateSample(nullptr, nullptr, 0, &r->sample) != S_OK)
      return FailOpen(r, nullptr, "ストリームサンプルを作成できませんでした！");
  }
  ReleaseObject(surface);
  if (r->sample->GetSurface(&r->sample_surface, &r->sample_rect) != S_OK)
    return FailOpen(r, nullptr, "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！");
  r->width = r->sample_rect.right - r->sample_rect.left;
  r->height = r->sample_rect.bottom - r->sample_rect.top;
  if (width) *width = r->width;
  if (height) *height = r->height;
  if (r->sample_surface->QueryInterface(IID_IDirectDrawSurface4, reinterpret_cast<void**>(&r->sample_surface4)) !=
      DD_OK)
    return FailOpen(r, nullptr, "IDirectDrawSurface4インターフェイスを取得できませんでした！");
  if (r->sample_surface->QueryInterface(IID_IDirectDrawSurface7, reinterpret_cast<void**>(&r->sample_surface7)) !=
      DD_OK)
    return FailOpen(r, nullptr, "IDirectDrawSurface7インターフェイスを取得できませんでした！");

  DDSURFACEDESC2 surface_desc{};
  surface_desc.dwSize = sizeof surface_desc;
  r->sample_surface4->GetSurfaceDesc(&surface_desc);
  PixelFormatFromDDPixelFormat(&surface_desc.ddpfPixelFormat, &r->frame_image.format);
  r->frame_image.width = r->width;
  r->frame_image.height = r->height;
  r->frame_image.pitch = (r->frame_image.format.bytes_per_pixel * r->width + 3) & ~3;
  r->frame_image.pixels = static_cast<uint8_t*>(TrackedCalloc(uint32_t(r->frame_image.pitch) * uint32_t(r->height)));
  r->update_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  r->update_pending = 0;
  r->last_update_tick = -1;
  r->last_update_time = -1;
  return 0;
}

bool DirectShowObjectsDropped(const MovieRecord* r) { return r->sample_surface == nullptr; }

namespace {

int OpenDirectShow(MovieRecord* r, const char* file_name, int surface_mode) {
  if (OpenDirectShowMovie(GetDirectDrawObject(), r, file_name, nullptr, nullptr, surface_mode) < 0) return -1;
  r->frame_image_ptr = &r->frame_image;
  return 0;
}

void AdvanceDirectShow(MovieRecord* r) {
  if (DirectShowObjectsDropped(r)) return;
  STREAM_STATE state = STREAMSTATE_STOP;
  r->stream->GetState(&state);
  if (!r->playing || r->halted || state != STREAMSTATE_RUN) return;
  const int now = GetMillisecondCount();
  if (ReadGraphicsTick64() == r->last_update_tick && r->last_update_time >= 0 &&
      now - r->last_update_time <= kUpdateInterval)
    return;
  bool ready;
  if (r->update_pending) {
    if (WaitForSingleObject(r->update_event, 0) != WAIT_OBJECT_0) return;
    ready = true;
  } else {
    ready = IssueUpdate(r);
  }
  if (!ready) return;
  CopyFrame(r);
  // A call copies at most two pictures.
  if (IssueUpdate(r)) CopyFrame(r);
}

// Run and hold change nothing while the objects are dropped.
bool RunDirectShow(MovieRecord* r, int) {
  if (DirectShowObjectsDropped(r)) return false;
  r->stream->SetState(STREAMSTATE_RUN);
  return true;
}

bool HoldDirectShow(MovieRecord* r) {
  if (DirectShowObjectsDropped(r)) return false;
  r->media_control->Pause();
  return true;
}

BASEIMAGE* DirectShowFrameImage(MovieRecord* r) { return r->frame_image.pixels ? &r->frame_image : nullptr; }

void DisposeDirectShow(MovieRecord* r) {
  if (r->temporary_file) DeleteFileA(r->path);
  r->temporary_file = 0;
  TrackedFree(r->frame_image.pixels);
  r->frame_image.pixels = nullptr;
  ReleaseStreamObjects(r);
  if (r->update_event) CloseHandle(r->update_event);
  r->update_event = nullptr;
}

void DropDirectShowObjects(MovieRecord* r) {
  if (DirectShowObjectsDropped(r)) return;
  r->stream->GetTime(&r->kept_stream_time);
  // The frame image and the event stay: the graph keeps its last picture.
  ReleaseStreamObjects(r);
  r->update_pending = 0;
}

int ReopenDirectShowObjects(MovieRecord* r) {
  if (!DirectShowObjectsDropped(r)) return 0;
  TrackedFree(r->frame_image.pixels);
  r->frame_image.pixels = nullptr;
  if (r->update_event) CloseHandle(r->update_event);
  r->update_event = nullptr;
  char path[MOVIE_PATH_SIZE];
  CopyStringBounded(path, r->path, sizeof path);
  if (OpenDirectShowMovie(GetDirectDrawObject(), r, path, nullptr, nullptr, r->surface_mode) < 0) return -1;
  r->stream->Seek(r->kept_stream_time);
  if (!r->halted) r->stream->SetState(STREAMSTATE_RUN);
  return 0;
}

void DirectShowInactiveStep(MovieRecord* r) {
  if (r->playing && !r->halted) AdvanceDirectShow(r);
}

}  // namespace

const MovieKindOps kDirectShowMovieKind = {
    .open = OpenDirectShow,
    .run = RunDirectShow,
    .hold = HoldDirectShow,
    .advance = AdvanceDirectShow,
    .frame_image = DirectShowFrameImage,
    .dispose = DisposeDirectShow,
    .drop_stream_objects = DropDirectShowObjects,
    .reopen_stream_objects = ReopenDirectShowObjects,
    .inactive_step = DirectShowInactiveStep,
};
