// Sound system start and end: the device object, its primary buffer and a
// silent looping buffer, the engine-wide sound settings and the device report
// in the log.
#include <cstdarg>
#include <cstring>

#include "engine/core/log.h"
#include "engine/sound/sound.h"
#include "engine/sound/sound_internal.h"

SoundSystem g_sound = {};

HandleTable<SoundRecord>& SoundHandles() {
  // Never destroyed: handles may be disposed of during static destruction.
  static auto* table = new HandleTable<SoundRecord>(HANDLE_SOUND, MAX_SOUND_HANDLES);
  return *table;
}

SoundRecord* LookupSound(int handle) {
  if (!g_sound.device) return nullptr;
  return SoundHandles().Lookup(handle);
}

int LogSoundText(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(text, sizeof text, format, args);
  va_end(args);
  return WriteLogText(text);
}

void SetSoundMessageStep(int (*step)()) { g_sound.message_step = step; }

int RunSoundMessageStep() {
  if (g_sound.message_step) return g_sound.message_step();
  RefillAllSoundStreams();
  return 0;
}

int PollMusicPlayback() { return 0; }

int EndFileMusic() { return 0; }

int HandleMciNotify(void*, uintptr_t, intptr_t) { return 0; }

namespace {

BOOL ListSoundDeviceCallback(const void*, LPCSTR description, LPCSTR module, LPVOID) {
  LogSoundText("モジュール名:%15s  ドライバ記述:%s ", module ? module : "", description ? description : "");
  return TRUE;
}

const char* OkNo(DWORD flags, DWORD bit) { return (flags & bit) ? "OK" : "NO"; }

void ReportSoundDevice() {
  IndentLog();
  DSCAPS caps{};
  caps.dwSize = 96;
  g_sound.device->GetCaps(&caps);
  WriteLogText("DirectSound デバイスを列挙します\n");
  if (FAILED(DirectSoundEnumerateA(ListSoundDeviceCallback, nullptr))) {
    WriteLogText("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
  } else {
    LogSoundText("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
                 caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
    LogSoundText("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1024.0,
                 caps.dwFreeHwMemBytes / 1024.0);
    WriteLogText("利用可能サンプリング精度\n");
    LogSoundText(" プライマリ １６bit = %s  ８bit = %s ", OkNo(caps.dwFlags, DSCAPS_PRIMARY16BIT),
                 OkNo(caps.dwFlags, DSCAPS_PRIMARY8BIT));
    LogSoundText(" セカンダリ １６bit = %s  ８bit = %s \n", OkNo(caps.dwFlags, DSCAPS_SECONDARY16BIT),
                 OkNo(caps.dwFlags, DSCAPS_SECONDARY8BIT));
    WriteLogText("利用可能チャンネル\n");
    LogSoundText(" プライマリ MONO = %s  STEREO = %s ", OkNo(caps.dwFlags, DSCAPS_PRIMARYMONO),
                 OkNo(caps.dwFlags, DSCAPS_PRIMARYSTEREO));
    LogSoundText(" セカンダリ MONO = %s  STEREO = %s \n", OkNo(caps.dwFlags, DSCAPS_SECONDARYMONO),
                 OkNo(caps.dwFlags, DSCAPS_SECONDARYSTEREO));
  }
  UnindentLog();
}

void StartSilentBuffer() {
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  DSBUFFERDESC desc{};
  desc.dwSize = SOUND_DESC_SIZE;
  desc.dwFlags = DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC;
  desc.dwBufferBytes = f.nBlockAlign * 100;
  desc.lpwfxFormat = &f;
  IDirectSoundBuffer* b = nullptr;
  if (FAILED(g_sound.device->CreateSoundBuffer(&desc, &b, nullptr)) || !b) {
    WriteLogText("無音バッファの作成に失敗しました");
    return;
  }
  void *p1 = nullptr, *p2 = nullptr;
  DWORD n1 = 0, n2 = 0;
  if (FAILED(b->Lock(0, desc.dwBufferBytes, &p1, &n1, &p2, &n2, 0))) {
    WriteLogText("無音バッファのロックに失敗しました");
    b->Release();
    return;
  }
  std::memset(p1, 0, n1);
  if (p2) std::memset(p2, 0, n2);
  b->Unlock(p1, n1, p2, n2);
  b->Play(0, 0, DSBPLAY_LOOPING);
  g_sound.silent = b;
}

}  // namespace

int StartSoundSystem() {
  if (g_sound.device) return -1;
  WriteLogText("DirectSound の初期化を行います\n");
  WriteLogText("DirectSound インターフェースの取得を行います....  ");
  IDirectSound* ds = nullptr;
  if (FAILED(CreateDirectSoundInstance(&ds)) || !ds) {
    WriteLogText("DirectSoundインターフェースの作成に失敗しました\n");
    return -1;
  }
  WriteLogText("成功\n");
  WriteLogText("引き続きインターフェースの初期化処理...  ");
  if (FAILED(ds->Initialize(nullptr))) {
    WriteLogText("初期化に失敗しました\n");
    ds->Release();
    return -1;
  }
  WriteLogText("成功\n");
  if (FAILED(ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY))) {  // the desktop window
    WriteLogText("DirectSoundの協調レベルの設定に失敗しました\n");
    ds->Release();
    return -1;
  }
  DSBUFFERDESC desc{};
  desc.dwSize = SOUND_DESC_SIZE;
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
  IDirectSoundBuffer* primary = nullptr;
  if (FAILED(ds->CreateSoundBuffer(&desc, &primary, nullptr)) || !primary) {
    WriteLogText("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    ds->Release();
    return -1;
  }
  g_sound.device = ds;
  g_sound.primary = primary;

  DSCAPS caps{};
  caps.dwSize = 96;
  ds->GetCaps(&caps);
  WAVEFORMATEX f = MakePcmWaveFormat((caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1,
                                     caps.dwMaxSecondarySampleRate < 44100 ? (int)caps.dwMaxSecondarySampleRate : 44100,
                                     (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8);
  if (FAILED(primary->SetFormat(&f)))
    WriteLogText("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");

  StartSilentBuffer();
  g_sound.storage_mode = 0;
  InitList(&g_sound.streams);
  ReportSoundDevice();
  WriteLogText("DirectSound の初期化は正常に終了しました\n");
  DisposeAllSoundHandles();
  return 0;
}

int EndSoundSystem() {
  if (!g_sound.device) return -1;
  DisposeAllSoundHandles();
  if (g_sound.primary) {
    g_sound.primary->Stop();
    g_sound.primary->Release();
    g_sound.primary = nullptr;
  }
  if (g_sound.silent) {
    g_sound.silent->Stop();
    g_sound.silent->Release();
    g_sound.silent = nullptr;
  }
  g_sound.device->Release();
  g_sound.device = nullptr;
  WriteLogText("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}
