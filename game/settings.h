// The settings the game keeps in ".\Voxaldrift.ini", section "Custom": the
// button masks, the volumes and the music storage mode, read once at start-up
// and written as decimal text the moment the player changes one.
#pragma once

inline constexpr const char* kSettingsFile = ".\\Voxaldrift.ini";
// The file as the player finds it in the run folder.
inline constexpr const char* kSettingsName = "Voxaldrift.ini";
inline constexpr const char* kSettingsSection = "Custom";

// Window settings, read by the engine's configuration at start-up and written
// by the options screen.
extern bool FullScreen;
extern bool WideScreen;

// Logical buttons (pad masks of buttons.h): A is read and never used, B is
// back, C is decide, START is pause.
extern int A_Custom;
extern int B_Custom;
extern int C_Custom;
extern int START_Custom;
extern int BGM_Volume;      // percent, 0..100
extern int SE_Volume;       // percent, 0..100
extern int SoundData_Type;  // storage mode of music loads, 0..3

// One integer key of the section, or the default when the file or the key is
// missing.
int read_setting(const char* key, int default_value);
// Writes the value as decimal text; false (the last error set) when the
// file cannot be written, which leaves it as it was.
bool write_setting(const char* key, int value);
bool write_setting_text(const char* key, const char* text);

// Reads the seven keys above in start-up order. Values outside their ranges
// (a hand-edited file) are clamped, so a volume step never leaves 0..100, and
// a button mask that is not a single button (nor 0) reads as its default.
void read_settings();
// A mask the logical buttons can hold: 0 (no button) or one pad bit up to
// the tenth button (0x2000).
bool is_button_mask(int mask);
