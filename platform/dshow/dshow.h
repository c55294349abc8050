// Multimedia streams in the shape the engine's movie player calls them: a
// filter graph, a multimedia stream that reads a movie file, renders its
// primary video into DirectDraw surfaces through a stream sample and its
// primary audio to the default sound renderer, media control, seeking and
// basic audio, and the component creation of the graph and the stream.
//
// Files are demultiplexed and decoded with FFmpeg's libraries on a thread
// of the stream's own; a sample update completes on that thread when the
// next picture is due by the stream's clock and signals the caller's event.
// The default sound renderer plays through a DirectSound device of its own
// (platform/dsound), and while it plays its play position is the clock;
// without audio the clock is the monotonic system clock. The classes live in
// a module that component creation loads on first use (dshow_module.h). Test
// controls live in dshow_control.h.
#pragma once

#include <cstdint>

#include "platform/d3d9/ddraw_surface.h"
#include "platform/win32/win32.h"

typedef int64_t STREAM_TIME;  // 100 ns units
typedef GUID MSPID;
typedef char16_t WCHAR;

#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define VFW_E_NOT_FOUND ((HRESULT)0x80040216u)
#define VFW_E_UNSUPPORTED_STREAM ((HRESULT)0x80040265u)
#define VFW_E_CANNOT_RENDER ((HRESULT)0x80040218u)
#define MS_S_PENDING ((HRESULT)0x00040001)
#define MS_S_NOUPDATE ((HRESULT)0x00040002)
#define MS_S_ENDOFSTREAM ((HRESULT)0x00040003)
#define MS_E_NOSTREAM ((HRESULT)0x8004040Au)
#define MS_E_NOTINIT ((HRESULT)0x80040411u)
#define MS_E_NOTRUNNING ((HRESULT)0x80040413u)
#define MS_E_BUSY ((HRESULT)0x80040403u)
#define MS_E_PURPOSEID ((HRESULT)0x80040402u)

#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u

enum STREAM_TYPE { STREAMTYPE_READ = 0, STREAMTYPE_WRITE = 1, STREAMTYPE_TRANSFORM = 2 };
enum STREAM_STATE { STREAMSTATE_STOP = 0, STREAMSTATE_RUN = 1 };
#define AMMSF_ADDDEFAULTRENDERER 0x1u
#define AMMSF_NOGRAPHTHREAD 0x100u
#define DDSFF_PROGRESSIVERENDER 0x1u

extern const CLSID CLSID_FilterGraph;
extern const CLSID CLSID_AMMultiMediaStream;
extern const IID IID_IUnknown;
extern const IID IID_IGraphBuilder;
extern const IID IID_IMediaControl;
extern const IID IID_IMediaSeeking;
extern const IID IID_IBasicAudio;
extern const IID IID_IMultiMediaStream;
extern const IID IID_IAMMultiMediaStream;
extern const IID IID_IMediaStream;
extern const IID IID_IAMMediaStream;
extern const IID IID_IDirectDrawMediaStream;
extern const IID IID_IDirectDrawStreamSample;
extern const MSPID MSPID_PrimaryVideo;
extern const MSPID MSPID_PrimaryAudio;

typedef IDirectDrawUnknown IUnknown;

class IGraphBuilder : public IUnknown {};
class IMediaControl : public IUnknown {
 public:
  // Stops the clock where it stands and the sound with it; running the
  // multimedia stream again continues from there.
  virtual HRESULT Pause() = 0;
};
class IMediaSeeking : public IUnknown {};
class IBasicAudio : public IUnknown {};

class IMediaStream : public IUnknown {};
class IAMMediaStream : public IMediaStream {};

class IDirectDrawStreamSample : public IUnknown {
 public:
  virtual HRESULT GetSurface(IDirectDrawSurface** surface, RECT* rect) = 0;
  // Without an event the call waits for the next picture. With one it
  // answers S_OK when a picture was due at once, else MS_S_PENDING and
  // signals the event once the picture is in the surface; MS_S_ENDOFSTREAM
  // after the last picture; MS_E_NOTRUNNING unless the stream runs;
  // MS_E_BUSY while an update is outstanding.
  virtual HRESULT Update(DWORD flags, HANDLE event, void* apc, uintptr_t apc_data) = 0;
};

class IDirectDrawMediaStream : public IMediaStream {
 public:
  // desired: the picture's size and the stream's own 32-bit format.
  virtual HRESULT GetFormat(DDSURFACEDESC* current, void** palette, DDSURFACEDESC* desired, DWORD* flags) = 0;
  // surface null: the stream makes a surface of its own format; a surface of
  // a layout the stream cannot write (16-bit R5G6B5, 24-bit or 32-bit RGB
  // with 8-bit channels) fails with DDERR_INVALIDPIXELFORMAT.
  virtual HRESULT CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD flags,
                               IDirectDrawStreamSample** sample) = 0;
};

class IMultiMediaStream : public IUnknown {
 public:
  virtual HRESULT GetState(STREAM_STATE* state) = 0;
  virtual HRESULT SetState(STREAM_STATE state) = 0;
  virtual HRESULT GetTime(STREAM_TIME* time) = 0;
  virtual HRESULT Seek(STREAM_TIME time) = 0;
  virtual HRESULT GetMediaStream(const MSPID& purpose, IMediaStream** stream) = 0;
};

class IAMMultiMediaStream : public IMultiMediaStream {
 public:
  virtual HRESULT Initialize(STREAM_TYPE type, DWORD flags, IGraphBuilder* graph) = 0;
  // object: the DirectDraw object for video (IDirectDraw4), null for audio.
  virtual HRESULT AddMediaStream(IUnknown* object, const MSPID* purpose, DWORD flags, IMediaStream** added) = 0;
  // path: UTF-16, a Windows path. VFW_E_NOT_FOUND when there is no such
  // file, VFW_E_UNSUPPORTED_STREAM when it is no movie.
  virtual HRESULT OpenFile(const WCHAR* path, DWORD flags) = 0;
};

// Component creation of the two classes (no outer object); any other class
// is not registered.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID iid, void** out);

// Code-page text to UTF-16 (CP_ACP is code page 932 here). length -1: up to
// and with the terminating zero. Returns the characters written (or needed
// when out_count is 0), 0 on failure.
#define CP_ACP 0u
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR text, int length, WCHAR* out, int out_count);

int MultiMediaStreamCount();  // live multimedia streams
