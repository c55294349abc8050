// Keyboard and pads: start and end of input, the pads' set-up and reading,
// the keyboard through the DirectInput device or the Win32 keyboard state,
// and the queries the game makes every frame.

#include <cstring>

#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "engine/input/input_internal.h"

InputState g_input;

namespace {

void* CoreMainWindow() { return GetMainWindow(); }

// The host with each entry left null taken from the engine core.
constexpr InputHost WindowHost(const InputHost* host) {
  InputHost h = host ? *host : InputHost{};
  if (!h.wait_while_inactive) h.wait_while_inactive = WaitWhileWindowInactive;
  if (!h.is_end_requested) h.is_end_requested = IsEndRequested;
  if (!h.is_app_active) h.is_app_active = IsAppActive;
  if (!h.process_messages) h.process_messages = ProcessWindowMessages;
  if (!h.main_window) h.main_window = CoreMainWindow;
  return h;
}

constinit InputHost g_host = WindowHost(nullptr);

// Virtual key to key code, for the Win32 keyboard state.
struct VirtualKeyRow {
  uint16_t virtual_key, key_code, unused;
};
// clang-format off
constexpr VirtualKeyRow kVirtualKeyTable[] = {
    {0x41, 0x1E, 0}, {0x42, 0x30, 0}, {0x43, 0x2E, 0}, {0x44, 0x20, 0}, {0x45, 0x12, 0}, {0x46, 0x21, 0},
    {0x47, 0x22, 0}, {0x48, 0x23, 0}, {0x49, 0x17, 0}, {0x4A, 0x24, 0}, {0x4B, 0x25, 0}, {0x4C, 0x26, 0},
    {0x4D, 0x32, 0}, {0x4E, 0x31, 0}, {0x4F, 0x18, 0}, {0x50, 0x19, 0}, {0x51, 0x10, 0}, {0x52, 0x13, 0},
    {0x53, 0x1F, 0}, {0x54, 0x14, 0}, {0x55, 0x16, 0}, {0x56, 0x2F, 0}, {0x57, 0x11, 0}, {0x58, 0x2D, 0},
    {0x59, 0x15, 0}, {0x5A, 0x2C, 0},
    {0x30, 0x0B, 0}, {0x31, 0x02, 0}, {0x32, 0x03, 0}, {0x33, 0x04, 0}, {0x34, 0x05, 0}, {0x35, 0x06, 0},
    {0x36, 0x07, 0}, {0x37, 0x08, 0}, {0x38, 0x09, 0}, {0x39, 0x0A, 0},
    {0x25, 0xCB, 0}, {0x26, 0xC8, 0}, {0x27, 0xCD, 0}, {0x28, 0xD0, 0},
    {0xBB, 0x27, 0}, {0xBA, 0x92, 0}, {0xDB, 0x1A, 0}, {0xDD, 0x1B, 0}, {0xC0, 0x91, 0}, {0xE2, 0x2B, 0},
    {0xBC, 0x33, 0}, {0xBD, 0x0C, 0}, {0xDC, 0x7D, 0}, {0xBE, 0x34, 0}, {0xBF, 0x35, 0},
    {0x2E, 0xD3, 0}, {0x1B, 0x01, 0}, {0x20, 0x39, 0}, {0x08, 0x0E, 0}, {0x09, 0x0F, 0}, {0x0D, 0x1C, 0},
    {0x60, 0x52, 0}, {0x61, 0x4F, 0}, {0x62, 0x50, 0}, {0x63, 0x51, 0}, {0x64, 0x4B, 0}, {0x65, 0x4C, 0},
    {0x66, 0x4D, 0}, {0x67, 0x47, 0}, {0x68, 0x48, 0}, {0x69, 0x49, 0},
    {0x6A, 0x37, 0}, {0x6B, 0x4E, 0}, {0x6D, 0x4A, 0}, {0x6E, 0x53, 0}, {0x6F, 0xB5, 0}, {0x0D, 0x9C, 0},
    {0xA0, 0x2A, 0}, {0xA1, 0x36, 0}, {0xA2, 0x1D, 0}, {0xA3, 0x9D, 0},
    {0x21, 0xC9, 0}, {0x22, 0xD1, 0}, {0x23, 0xCF, 0}, {0x24, 0xC7, 0}, {0x2D, 0xD2, 0},
    {0xA4, 0x38, 0}, {0xA5, 0xB8, 0}, {0x91, 0x46, 0}, {0x14, 0x3A, 0}, {0x13, 0xC5, 0},
    {0x70, 0x3B, 0}, {0x71, 0x3C, 0}, {0x72, 0x3D, 0}, {0x73, 0x3E, 0}, {0x74, 0x3F, 0}, {0x75, 0x40, 0},
    {0x76, 0x41, 0}, {0x77, 0x42, 0}, {0x78, 0x43, 0}, {0x79, 0x44, 0}, {0x7A, 0x57, 0}, {0x7B, 0x58, 0},
    {0xFFFF, 0, 0},
};
// clang-format on
static_assert(sizeof kVirtualKeyTable / sizeof kVirtualKeyTable[0] == 100, "99 rows and the end row");

// Row 0 of the key map: the keys that set each bit of the keyboard read as a pad.
struct KeyMapEntry {
  int bit;
  int first, second;
};
constexpr KeyMapEntry kKeyMapRow0[] = {
    {0, 0x50, 0xD0}, {1, 0x4B, 0xCB}, {2, 0x4D, 0xCD}, {3, 0x48, 0xC8}, {4, 0x2C, -1},  {5, 0x2D, -1},  {6, 0x2E, -1},
    {7, 0x1E, -1},   {8, 0x1F, -1},   {9, 0x20, -1},   {10, 0x10, -1},  {11, 0x11, -1}, {12, 0x01, -1}, {13, 0x39, -1},
};

bool IsSignalled(HANDLE event) { return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }

void FillKeyMap() {
  for (auto& row : g_input.key_map)
    for (auto& entry : row) entry[0] = entry[1] = -1, entry[2] = entry[3] = 0;
  for (const KeyMapEntry& e : kKeyMapRow0) {
    g_input.key_map[0][e.bit][0] = e.first;
    g_input.key_map[0][e.bit][1] = e.second;
  }
}

[[noreturn]] void FailDeviceSetUp(const char* message) {
  ReleaseObject(g_input.keyboard);
  if (g_input.keyboard_event) CloseHandle(g_input.keyboard_event);
  g_input.keyboard_event = nullptr;
  ReleaseObject(g_input.mouse);
  ReleaseObject(g_input.directinput);
  AbortWithLog(message);
}

HRESULT CreateDeviceFor(const DIGUID& guid, IDirectInputDevice** out) {
  return g_input.directinput8 ? g_input.directinput->CreateDevice(guid, out, nullptr)
                              : g_input.directinput->CreateDeviceEx(guid, 7, out, nullptr);
}

// Creates and initialises one version of the DirectInput object; logs as it goes.
IDirectInput* ObtainDirectInput(int version) {
  IDirectInput* object = nullptr;
  HRESULT hr = CreateDirectInputInstance(version, &object);
  if (FAILED(hr)) {
    if (version == 7) {
      WriteLogText("取得に失敗。\n");
      WriteLogFormat("エラーコード 0x%x", (unsigned)hr);
    } else {
      WriteLogText("取得に失敗。");
    }
    return nullptr;
  }
  WriteLogText("成功\n");
  WriteLogText("引き続き初期化処理... ");
  if (FAILED(object->Initialize(GetModuleHandleA(nullptr), version == 7 ? 0x0700 : 0x0800))) {
    WriteLogText("初期化に失敗。");
    object->Release();
    return nullptr;
  }
  WriteLogText("初期化成功\n");
  return object;
}

void StartJoystickMode() {
  int found = 0;
  for (UINT id = 0; id < MAX_PADS; ++id) {
    JOYCAPSA caps{};
    if (joyGetDevCapsA(id, &caps, sizeof caps) != JOYERR_NOERROR) break;
    g_input.pads[id].has_z_and_r = (caps.wCaps & JOYCAPS_HASZ) && (caps.wCaps & JOYCAPS_HASR);
    ++found;
  }
  WriteLogFormat("パッドの数は %d 個です", found);
  g_input.directinput = JOYSTICK_MODE_OBJECT;
  WriteLogText("入力関連の初期化をしました\n");
  // Every id is read; an absent one reads as a neutral pad.
  g_input.pad_count = MAX_PADS;
}

void StartMouse() {
  WriteLogText("マウスデバイスの初期化... ");
  if (FAILED(CreateDeviceFor(GUID_SysMouse, &g_input.mouse))) FailDeviceSetUp("マウスデバイスの取得に失敗しました");
  if (FAILED(g_input.mouse->SetDataFormat(&c_dfDIMouse2)))
    FailDeviceSetUp("マウスデバイスのデータ形式の設定に失敗しました");
  if (FAILED(g_input.mouse->SetCooperativeLevel(HostMainWindow(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
    FailDeviceSetUp("マウスデバイスの協調レベルの設定に失敗しました");
  WriteLogText("初期化成功\n");
}

void StartKeyboard() {
  WriteLogText("キーボードデバイスの初期化... ");
  if (FAILED(CreateDeviceFor(GUID_SysKeyboard, &g_input.keyboard)))
    FailDeviceSetUp("キーボードデバイスの取得に失敗しました");
  IDirectInputDevice* k = g_input.keyboard;
  if (FAILED(k->SetDataFormat(&c_dfDIKeyboard))) FailDeviceSetUp("キーボードデバイスのデータ形式の設定に失敗しました");
  if (FAILED(k->SetCooperativeLevel(HostMainWindow(), DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)))
    FailDeviceSetUp("キーボードデバイスの協調レベルの設定に失敗しました");
  DIPROPDWORD buffer{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), 0, DIPH_DEVICE}, 100};
  if (FAILED(k->SetProperty(DIPROP_BUFFERSIZE, &buffer.diph)))
    WriteLogText("キーボードのプロパティ設定に失敗しました\n");
  g_input.keyboard_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT hr = k->SetEventNotification(g_input.keyboard_event);
  if (hr != DI_OK && hr != DI_POLLEDDEVICE) {
    // Without the notification the keyboard is still read, only without the
    // early read that a change would allow within one millisecond.
    WriteLogText("キーボードイベントのセットアップが失敗しました\n");
    k->SetEventNotification(nullptr);
    if (g_input.keyboard_event) CloseHandle(g_input.keyboard_event);
    g_input.keyboard_event = nullptr;
  }
  if (FAILED(k->Acquire()) && FAILED(k->Acquire())) FailDeviceSetUp("キーボードデバイスの取得に失敗しました");
  WriteLogText("初期化成功\n");
  g_input.last_keyboard_read = (uint32_t)GetMillisecondCount();
}

// Creates and sets up the pad of one listed controller in the next slot.
BOOL AttachPadDevice(const DIDEVICEINSTANCEA* instance, LPVOID) {
  PadRecord* pad = &g_input.pads[g_input.pad_count];
  WriteLogText("入力装置を見つけました\n");
  IDirectInputDevice* device = nullptr;
  if (FAILED(CreateDeviceFor(instance->guidInstance, &device))) {
    WriteLogText("入力装置の取得に失敗しました\n");
    return DIENUM_CONTINUE;
  }
  HANDLE event = nullptr;
  auto skip = [&](const char* message) {
    if (message) WriteLogText(message);
    ReleaseObject(pad->constant_force);
    ReleaseObject(pad->sine);
    device->Release();
    if (event) CloseHandle(event);
    std::memset(pad, 0, sizeof *pad);
    return DIENUM_CONTINUE;
  };
  DIDEVICEINSTANCEA info{};
  info.dwSize = sizeof info;
  device->GetDeviceInfo(&info);
  WriteLogFormat("デバイスの登録名:%s", info.tszInstanceName);
  WriteLogFormat("デバイスの製品登録名:%s", info.tszProductName);
  if (FAILED(device->SetDataFormat(&c_dfDIJoystick)))
    return skip("ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n");
  if (FAILED(device->SetCooperativeLevel(HostMainWindow(), DISCL_EXCLUSIVE | DISCL_FOREGROUND)))
    WriteLogText("ジョイパッドデバイスの協調レベルの設定に失敗しました\n");
  const DWORD axes[4] = {DIJOFS_X, DIJOFS_Y, DIJOFS_Z, DIJOFS_RZ};
  for (int a = 0; a < 4; ++a) {
    DIPROPRANGE range{{sizeof(DIPROPRANGE), sizeof(DIPROPHEADER), axes[a], DIPH_BYOFFSET}, -1000, 1000};
    if (FAILED(device->SetProperty(DIPROP_RANGE, &range.diph)) && a < 2)
      return skip(a == 0 ? "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n"
                         : "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n");
  }
  for (int a = 0; a < 4; ++a) {
    DIPROPDWORD zone{{sizeof(DIPROPDWORD), sizeof(DIPROPHEADER), axes[a], DIPH_BYOFFSET}, 2500};
    if (FAILED(device->SetProperty(DIPROP_DEADZONE, &zone.diph)) && a < 2)
      return skip(a == 0 ? "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n"
                         : "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n");
  }
  CreatePadEffects(pad, device);
  event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HRESULT hr = device->SetEventNotification(event);
  if (hr != DI_OK && hr != DI_POLLEDDEVICE) return skip("ジョイパッドイベントのセットアップが失敗しました\n");
  device->Acquire();
  pad->device = device;
  pad->event = event;
  std::memset(&pad->state, 0, sizeof pad->state);
  ++g_input.pad_count;
  WriteLogText("ジョイパッドの追加は正常に終了しました\n");
  return g_input.pad_count >= MAX_PADS ? DIENUM_STOP : DIENUM_CONTINUE;
}

void ReleasePads() {
  for (int i = 0; i < g_input.pad_count; ++i) {
    PadRecord* pad = &g_input.pads[i];
    if (pad->device) {
      pad->device->Unacquire();
      pad->device->SetEventNotification(nullptr);
    }
    for (IDirectInputEffect** effect : {&pad->constant_force, &pad->sine}) {
      if (*effect) (*effect)->Stop();
      ReleaseObject(*effect);
    }
    ReleaseObject(pad->device);
    if (pad->event) CloseHandle(pad->event);
    std::memset(pad, 0, sizeof *pad);
  }
  g_input.pad_count = 0;
}

int ScanPads() {
  if (!g_input.directinput || g_input.directinput == JOYSTICK_MODE_OBJECT) return -1;
  ReleasePads();
  WriteLogText("ジョイパッドの初期化... \n");
  g_input.pad_count = 0;
  g_input.directinput->EnumDevices(DIDEVTYPE_JOYSTICK, AttachPadDevice, nullptr, DIEDFL_ATTACHEDONLY);
  WriteLogText("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

}  // namespace

int ScaleJoystickPosition(uint32_t p) {
  if (p == 0) return -1000;
  if (p == 0x7FFF) return 0;
  if (p >= 0xFFFF) return 1000;
  if (p < 0x6000) return -(int)((0x6000 - p) * 1000 / 0x6000);
  if (p > 0xA000) return (int)((p - 0xA000) * 1000 / 0x6000);
  return 0;
}

namespace {

int RefreshPadState(int index) {
  if (index < 0 || index >= MAX_PADS) return -1;
  PadRecord* pad = &g_input.pads[index];
  uint32_t now = (uint32_t)GetMillisecondCount();
  if (g_input.joystick_mode) {
    if (now == pad->last_read) return 0;
    pad->last_read = now;
    JOYINFOEX info{};
    info.dwSize = sizeof info;
    info.dwFlags = JOY_RETURNALL;
    std::memset(&pad->state, 0, sizeof pad->state);
    if (joyGetPosEx((UINT)index, &info) != JOYERR_NOERROR) return 0;
    pad->state.lX = ScaleJoystickPosition(info.dwXpos);
    pad->state.lY = ScaleJoystickPosition(info.dwYpos);
    if (pad->has_z_and_r) {
      pad->state.lZ = ScaleJoystickPosition(info.dwZpos);
      pad->state.lRz = ScaleJoystickPosition(info.dwRpos);
    }
    for (int k = 0; k < 24; ++k) pad->state.rgbButtons[k] = (info.dwButtons >> k) & 1 ? 0x80 : 0;
    return 0;
  }
  if (!pad->device) return 0;
  if (now == pad->last_read && !IsSignalled(pad->event)) return 0;
  pad->last_read = now;
  DIJOYSTATE state;
  pad->device->Poll();
  if (FAILED(pad->device->GetDeviceState(sizeof state, &state))) {
    if (HostProcessMessages() != 0) return -1;
    if (!InputStarted()) return -1;
    if (FAILED(pad->device->Acquire())) return 0;
    if (HostProcessMessages() != 0) return -1;
    if (!InputStarted()) return -1;
    pad->device->Poll();
    if (FAILED(pad->device->GetDeviceState(sizeof state, &state))) return 0;
  }
  pad->state = state;
  if (IsSignalled(pad->event)) ResetEvent(pad->event);
  return 0;
}

int PollKeyboard() {
  uint32_t now = (uint32_t)GetMillisecondCount();
  if (g_input.joystick_mode || !g_input.keyboard || g_environment.os_version >= 0x108) {
    if (now == g_input.last_keyboard_read) return 0;
    g_input.last_keyboard_read = now;
    if (HostProcessMessages() != 0) return 0;
    BYTE win32[256];
    GetKeyboardState(win32);
    std::memset(g_input.keys, 0, sizeof g_input.keys);
    for (const VirtualKeyRow* row = kVirtualKeyTable; row->virtual_key != 0xFFFF; ++row)
      g_input.keys[row->key_code] = win32[row->virtual_key];
    return 1;
  }
  if (now == g_input.last_keyboard_read && !IsSignalled(g_input.keyboard_event)) return 0;
  if (HostProcessMessages() != 0) return 0;
  if (!g_input.directinput || !g_input.keyboard) return 0;
  if (FAILED(g_input.keyboard->GetDeviceState(256, g_input.keys))) {
    if (FAILED(g_input.keyboard->Acquire())) return 0;
    if (FAILED(g_input.keyboard->GetDeviceState(256, g_input.keys))) return 0;
  }
  g_input.last_keyboard_read = now;
  if (IsSignalled(g_input.keyboard_event)) ResetEvent(g_input.keyboard_event);
  BYTE win32[256];
  GetKeyboardState(win32);
  g_input.keys[0x36] = win32[0xA1];
  return 1;
}

}  // namespace

// ---- host ----------------------------------------------------------------------------------

void SetInputHost(const InputHost* host) { g_host = WindowHost(host); }
void HostWaitWhileInactive() { g_host.wait_while_inactive(); }
int HostIsEndRequested() { return g_host.is_end_requested(); }
int HostIsAppActive() { return g_host.is_app_active(); }
int HostProcessMessages() { return g_host.process_messages(); }
void* HostMainWindow() { return g_host.main_window(); }

bool InputStarted() { return g_input.directinput != nullptr; }
int IsInputStarted() { return InputStarted() ? 1 : 0; }

bool BeginInputQuery(int* result) {
  HostWaitWhileInactive();
  if (!InputStarted() && !HostIsEndRequested()) {
    *result = OpenInputDevices();
    return false;
  }
  return true;
}

// ---- start and end ----------------------------------------------------------------------------

int OpenInputDevices() {
  if (g_input.directinput) return 0;
  int joystick_mode = g_input.joystick_mode;
  std::memset(&g_input, 0, sizeof g_input);
  g_input.joystick_mode = joystick_mode;
  if (!g_input.joystick_mode) {
    WriteLogText("DirectInput関係初期化処理\n");
    WriteLogText("DirectInput7 の取得中... ");
    IDirectInput* object = ObtainDirectInput(7);
    if (!object) {
      WriteLogText("DirectInput8 の取得を試みます...");
      object = ObtainDirectInput(8);
      if (object) {
        g_input.directinput8 = 1;
      } else {
        WriteLogText("DirectInput を使用しません。\n");
        g_input.joystick_mode = 1;
      }
    }
    g_input.directinput = object;
  }
  if (g_input.joystick_mode) {
    StartJoystickMode();
  } else {
    BringWindowToTop(static_cast<HWND>(HostMainWindow()));
    HostProcessMessages();
    ScanPads();
    StartMouse();
    StartKeyboard();
    WriteLogText("DirectInput 関連の初期化は正常に終了しました\n");
  }
  FillKeyMap();
  return 0;
}

int CloseInputDevices() {
  if (!g_input.directinput) return 0;
  if (g_input.joystick_mode) {
    WriteLogText("入力関連の終了処理... 完了\n");
    g_input.directinput = nullptr;
    return 0;
  }
  WriteLogText("DirectInput 関連の終了処理... 完了\n");
  ReleasePads();
  if (g_input.keyboard) g_input.keyboard->Unacquire();
  ReleaseObject(g_input.keyboard);
  if (g_input.keyboard_event) CloseHandle(g_input.keyboard_event);
  g_input.keyboard_event = nullptr;
  if (g_input.mouse) g_input.mouse->Unacquire();
  ReleaseObject(g_input.mouse);
  ReleaseObject(g_input.directinput);
  return 0;
}

int ReopenInputDevices() {
  if (InputStarted() || HostIsEndRequested()) return 0;
  return OpenInputDevices();
}

int ReacquireInputDevices() {
  if ((!InputStarted() && !HostIsEndRequested()) || g_input.joystick_mode) return 0;
  for (int i = 0; i < g_input.pad_count; ++i) {
    IDirectInputDevice* device = g_input.pads[i].device;
    if (!device) continue;
    device->Unacquire();
    device->SetCooperativeLevel(HostMainWindow(), HostIsAppActive() ? DISCL_EXCLUSIVE | DISCL_FOREGROUND
                                                                     : DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
    device->Acquire();
  }
  if (g_input.keyboard) {
    g_input.keyboard->Unacquire();
    g_input.keyboard->Acquire();
  }
  return 0;
}

// ---- queries -------------------------------------------------------------------------------------

int IsKeyDown(int key_code) {
  int result;
  // Nothing was read when input had to be started: no key counts as down.
  if (!BeginInputQuery(&result)) return 0;
  if (!InputStarted()) return 0;
  PollKeyboard();
  return (g_input.keys[key_code & 0xFF] & 0x80) ? 1 : 0;
}

int ReadKeyboardState(uint8_t* keys) {
  int result;
  if (!BeginInputQuery(&result)) {
    // The caller's table must not keep what it held before.
    if (keys) std::memset(keys, 0, 256);
    return result;
  }
  PollKeyboard();
  if (keys)
    for (int k = 0; k < 256; ++k) keys[k] = (g_input.keys[k] & 0x80) ? 1 : 0;
  return 0;
}

int CountPads() {
  int result;
  if (!BeginInputQuery(&result)) return result;
  return g_input.pad_count;
}

int ReadPadBits(int device) {
  int index = (device & ~0x1000) - 1;
  bool keyboard = (device & 0x1000) != 0;
  int result;
  if (!BeginInputQuery(&result)) return result;
  if ((index < -1 || index >= g_input.pad_count) && g_input.pad_count != 0 && !keyboard) return 0;
  int bits = 0;
  if (index >= 0 && index < g_input.pad_count) {
    RefreshPadState(index);
    const DIJOYSTATE& s = g_input.pads[index].state;
    if (s.lX < 0) bits |= 0x0002;
    if (s.lX > 0) bits |= 0x0004;
    if (s.lY < 0) bits |= 0x0008;
    if (s.lY > 0) bits |= 0x0001;
    for (int k = 0; k < 24; ++k)
      if (s.rgbButtons[k] & 0x80) bits |= 0x10 << k;
  }
  if (keyboard) {
    PollKeyboard();
    int row = index < 0 ? 0 : index;
    // The map has 16 rows; a keyboard combined with a higher device number has none.
    if (row < KEY_MAP_ROWS) {
      for (int b = 0; b < 32; ++b) {
        for (int code : g_input.key_map[row][b]) {
          if (code >= 0 && (g_input.keys[code & 0xFF] & 0x80)) {
            bits |= 1 << b;
            break;
          }
        }
      }
    }
  }
  return bits;
}
