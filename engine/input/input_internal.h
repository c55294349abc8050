// The records shared by the keyboard and pad code, vibration, the character
// ring, text inputs and the input method.
#pragma once

#include <cstdint>

#include "engine/core/handle.h"
#include "engine/input/input.h"
#include "platform/dinput/dinput.h"
#include "platform/ime/ime.h"

constexpr int MAX_PADS = 16;
constexpr int KEY_MAP_ROWS = 16;

struct PadRecord {
  IDirectInputDevice* device;
  IDirectInputEffect* constant_force;
  IDirectInputEffect* sine;
  HANDLE event;
  DIJOYSTATE state;
  int has_z_and_r;
  uint32_t last_read;
  // vibration
  int rumble_on;
  int rumble_power;     // 0 to 10000
  int rumble_duration;  // milliseconds; negative: never runs out
  int rumble_elapsed;
  int rumble_last_tick;
  int constant_running;
  int sine_running;
};

// The value of the DirectInput object field while input runs on the
// multimedia joystick functions.
#define JOYSTICK_MODE_OBJECT ((IDirectInput*)(intptr_t)-1)

struct InputState {
  int joystick_mode;
  int directinput8;
  IDirectInput* directinput;  // null: not started
  IDirectInputDevice* mouse;
  IDirectInputDevice* keyboard;
  HANDLE keyboard_event;
  uint32_t last_keyboard_read;
  uint8_t keys[256];
  int32_t key_map[KEY_MAP_ROWS][32][4];
  int pad_count;
  PadRecord pads[MAX_PADS];
};
extern InputState g_input;

// ---- the main window (InputHost)
void HostWaitWhileInactive();
int HostIsEndRequested();
int HostIsAppActive();
int HostProcessMessages();
void* HostMainWindow();

// Start of every query: waits while inactive, then starts input when it is
// stopped and the engine is not ending. Returns true when the query goes on;
// false with *result set to the start's answer.
bool BeginInputQuery(int* result);
bool InputStarted();
// Joystick-mode position 0..0xFFFF to -1000..1000 with a quarter-range dead band.
int ScaleJoystickPosition(uint32_t position);
// Creates the pad's two vibration effects and resets its vibration fields.
void CreatePadEffects(PadRecord* pad, IDirectInputDevice* device);

// ---- text input -------------------------------------------------------------------
constexpr int RING_SIZE = 1025;
constexpr int TEXT_INPUT_SLOTS = 256;
constexpr int IME_STRING_BYTES = 1024;

struct TextInputRecord {
  int ended;
  int cancelled;
  int length;
  int max_length;
  int selection_start;
  int selection_end;
  int scroll;
  int cursor;
  char* string;  // max_length + 1 bytes
  int cancel_allowed;
  int single_byte_only;
  int digits_only;
};

enum TextColour {
  COLOUR_TEXT,
  COLOUR_CURSOR,
  COLOUR_COMPOSITION_BACK,
  COLOUR_COMPOSITION_CURSOR,
  COLOUR_CLAUSE_LINE,
  COLOUR_TARGET_CLAUSE,
  COLOUR_SPARE1,
  COLOUR_TEXT_EDGE,
  COLOUR_SELECTED_CANDIDATE_EDGE,
  COLOUR_SPARE2,
  COLOUR_CANDIDATE_FRAME,
  COLOUR_CANDIDATE_BACK,
  COLOUR_SELECTED_TEXT,
  COLOUR_SELECTED_TEXT_EDGE,
  COLOUR_SELECTION_BACK,
  COLOUR_COUNT
};

struct ImeState {
  int composition_cursor;  // characters
  char composition[IME_STRING_BYTES];
  char spare[IME_STRING_BYTES];
  CANDIDATELIST* candidates;
  int candidates_size;
  int enabled;
  int open;
  int restore_step;
  uint32_t clauses[IME_STRING_BYTES / 4];
  int clause_count;
  int in_open_status;  // guard of the open-status handler
};

struct TextInputState {
  uint8_t ring[RING_SIZE];
  int ring_start;
  int ring_end;
  ImeState ime;
  uint32_t colours[COLOUR_COUNT];
  int active;
  int font;  // -1: the default font
};
extern TextInputState g_text;

HandleTable<TextInputRecord>& TextInputs();
int TextInputFontHandle();
// Font size f and line step f + 3 (f / 10) of the text-input font.
int TextInputFontSize();
int TextInputLineStep(int size);
int MeasureTextBytes(const char* text, int length);
// Drawing wrapped into the current clip rectangle.
int DrawWrappedString(int x, int y, int line_step, const char* text, uint32_t colour, uint32_t edge, int font,
                      uint32_t selected_colour, uint32_t selected_edge, uint32_t selection_back, int selection_start,
                      int selection_end);
int FillWrappedBox(int x1, int y1, int x2, int y2, int line_step, uint32_t colour, int filled);
// Runs a pending restore of the input method.
void RunImeRestore();
int IsImeEnabledAndOpen();
