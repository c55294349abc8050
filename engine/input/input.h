// Engine input: the keyboard and up to 16 game pads, pad vibration, and text
// input with its own handles, fed by typed characters and the input method.
// Main thread only. Key codes are DirectInput key codes (0x01 Escape, 0x1C
// Return, 0x2A and 0x36 the shift keys, 0x39 Space, 0xC8 up ...); pad bits
// are 0x1 down, 0x2 left, 0x4 right, 0x8 up and 0x10 << k for button k.
#pragma once

#include <cstdint>

// ---- what input needs of the main window ----------------------------------------------
// The engine core's own window and message step, unless a test stands in
// for them: SetInputHost copies the table and takes the core's function for
// each entry left null (a null table: the core's for all).
struct InputHost {
  void (*wait_while_inactive)();
  int (*is_end_requested)();  // 1 once the engine has asked its window to close
  int (*is_app_active)();     // 1 while the main window is the active application
  int (*process_messages)();  // one message-processing step: 0, else the engine is going
  void* (*main_window)();
};
void SetInputHost(const InputHost* host);

// ---- keyboard and pads ----------------------------------------------------------------
int OpenInputDevices();   // 0; -1 when no input at all can be had
int CloseInputDevices();  // 0
// The path the graphics device restore calls after it has closed input:
// opens input again at once (unless the engine is ending), so the pads and
// keyboard work before the next query. 0, or the result of the start.
int ReopenInputDevices();
int ReacquireInputDevices();
int IsKeyDown(int key_code);
int ReadKeyboardState(uint8_t* keys);  // 256 bytes: 1 while down, else 0
int CountPads();
// device: 1-16 pad n; 0x1000 the keyboard as a pad; 0x1000 + n both.
int ReadPadBits(int device);
int IsInputStarted();

// ---- pad vibration ------------------------------------------------------------------------
// Makes pad n (1-16) vibrate: power 0 to 10000 (above 5000 the sine wave
// joins the constant force), for the milliseconds given (negative: until
// halted). 0, or -1 when the pad cannot vibrate.
int StartPadRumble(int device, int power, int milliseconds);
int HaltPadRumble(int device);
int TickPadRumble();   // every message-processing step
int ApplyPadRumble();  // after every change of the window's activation

// ---- window procedure entry points --------------------------------------------------------
// WM_CHAR: queues the byte by the character rules (line feed as 0x0D, bytes
// of 0x20 or more, and of the control characters only 08 09 0D 10 1B 03 16
// 18 01).
int QueueCharMessage(uintptr_t wparam);
// WM_KEYDOWN: queues the editing code of Delete, the arrows, Home, End, Page
// Up and Page Down (virtual keys); other keys are ignored.
int QueueEditKeyMessage(uintptr_t virtual_key);
// The window became active: while the input method is on and open, the next
// text-input update restores its state (the composition survives). 0.
int ReapplyImeState();
// WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION, WM_IME_COMPOSITION,
// WM_IME_SETCONTEXT and WM_IME_NOTIFY: the window procedure's result.
intptr_t ProcessImeMessage(void* window, uint32_t message, uintptr_t wparam, intptr_t lparam);
// Mouse clicks (button 1 left, 2 right, 4 middle) at a drawing position, kept
// in a log of 32 entries that a full log ignores.
void LogMouseClick(int button, int x, int y);
int SetInputFlagA();
int ClearInputFlagA();
int SetInputFlagB();
int ClearInputFlagB();

// ---- text input -------------------------------------------------------------------------
int StartTextInputSystem();
int QueueInputChar(int byte);  // 0, or -1 when the ring is full
int TakeInputChar(int advance);
int TakeInputCharPair(char* buffer, int advance);
int ClearInputChars();
int IsEditControlCode(int byte);

int NewTextInput(int max_length, int cancel_allowed, int single_byte_only, int digits_only);
int FreeTextInput(int handle);
int FreeAllTextInputs();
int FocusTextInput(int handle);
int PollTextInputState(int handle);  // 0 editing, 1 ended, 2 cancelled, -1 bad handle
int UpdateTextInput();               // every message-processing step
int RenderTextInput(int x, int y, int handle);
int CopyTextInputString(char* buffer, int handle);  // buffer: maximum length + 1 bytes

// ---- input method -------------------------------------------------------------------------
int EnableImeInput(int on);
int SetImeOpenState(int open);
int DrawImeState(int x, int y, int candidates_per_page);
int CharCountToByteOffset(const char* text, int count);
int ByteOffsetToCharCount(const char* text, int offset);

// ---- the engine core's records of input and of text input -------------------------------
struct EngineSubsystem;
extern const EngineSubsystem kInputSubsystem;
extern const EngineSubsystem kTextInputSubsystem;
