// Settings keys through the platform's private-profile functions.
#include "game/settings.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "platform/win32/win32.h"

bool FullScreen = false;
bool WideScreen = false;
int A_Custom = 1;
int B_Custom = kDefaultBack;
int C_Custom = kDefaultDecide;
int START_Custom = 0;
int BGM_Volume = 100;
int SE_Volume = 100;
int SoundData_Type = 0;

int read_setting(const char* key, int default_value) {
  return (int)GetPrivateProfileIntA(kSettingsSection, key, default_value, kSettingsFile);
}

bool write_setting_text(const char* key, const char* text) {
  return WritePrivateProfileStringA(kSettingsSection, key, text, kSettingsFile) != FALSE;
}

bool write_setting(const char* key, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return write_setting_text(key, text);
}

bool is_pad_button(int mask) {
  for (int b : kPadButtons)
    if (mask == b) return true;
  return false;
}

namespace {

struct LogicalButton {
  const char* key;
  int* mask;
  int fallback;
  bool may_be_none;
  bool set;
};

}  // namespace

void read_buttons() {
  LogicalButton buttons[3] = {{"C_Custom", &C_Custom, kDefaultDecide, false, false},
                              {"B_Custom", &B_Custom, kDefaultBack, false, false},
                              {"START_Custom", &START_Custom, 0, true, false}};
  int held = 0;
  auto take = [&held](LogicalButton& b, int mask) {
    if ((held & mask) || !(is_pad_button(mask) || (mask == 0 && b.may_be_none))) return false;
    *b.mask = mask;
    held |= mask;
    return b.set = true;
  };
  // The file's values first, so that a button the player chose keeps it;
  // then the defaults that are still free; then the first free buttons.
  for (LogicalButton& b : buttons) take(b, read_setting(b.key, -1));
  for (LogicalButton& b : buttons)
    if (!b.set) take(b, b.fallback);
  for (LogicalButton& b : buttons)
    for (int k = 0; !b.set && k < (int)std::size(kPadButtons); ++k) take(b, kPadButtons[k]);
}

void read_settings() {
  A_Custom = read_setting("A_Custom", 1);
  read_buttons();
  BGM_Volume = std::clamp(read_setting("BGM_Volume", 100), 0, 100);
  SE_Volume = std::clamp(read_setting("SE_Volume", 100), 0, 100);
  SoundData_Type = std::clamp(read_setting("SoundData_Type", 0), 0, 3);
}
