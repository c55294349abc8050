// Settings keys through the platform's private-profile functions.
#include "game/settings.h"

#include <algorithm>
#include <cstdio>

#include "platform/win32/win32.h"

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

bool write_setting(const char* key, int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return WritePrivateProfileStringA(kSettingsSection, key, text, kSettingsFile) != FALSE;
}

void read_settings() {
  A_Custom = read_setting("A_Custom", 1);
  B_Custom = read_setting("B_Custom", 2);
  C_Custom = read_setting("C_Custom", 4);
  START_Custom = read_setting("START_Custom", 0);
  BGM_Volume = std::clamp(read_setting("BGM_Volume", 100), 0, 100);
  SE_Volume = std::clamp(read_setting("SE_Volume", 100), 0, 100);
  SoundData_Type = std::clamp(read_setting("SoundData_Type", 0), 0, 3);
}
