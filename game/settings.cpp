// Settings keys through the platform's private-profile functions.
#include "game/settings.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/win32.h"

bool FullScreen = false;
bool WideScreen = false;
int A_Custom = 1;
int B_Custom = 2;
int C_Custom = 4;
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

bool is_button_mask(int mask) { return mask >= 0 && mask <= 0x2000 && (mask & (mask - 1)) == 0; }

namespace {

int read_button(const char* key, int default_value) {
  int mask = read_setting(key, default_value);
  return is_button_mask(mask) ? mask : default_value;
}

}  // namespace

void read_settings() {
  A_Custom = read_setting("A_Custom", 1);
  B_Custom = read_button("B_Custom", 2);
  C_Custom = read_button("C_Custom", 4);
  START_Custom = read_button("START_Custom", 0);
  BGM_Volume = std::clamp(read_setting("BGM_Volume", 100), 0, 100);
  SE_Volume = std::clamp(read_setting("SE_Volume", 100), 0, 100);
  SoundData_Type = std::clamp(read_setting("SoundData_Type", 0), 0, 3);
}
