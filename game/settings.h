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
// back, C is decide, START is pause. Decide and back are always one of the
// ten pad buttons, pause one of them or none (0); no two hold one button.
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

// The ten pad buttons a logical button can hold, by their numbers: button 1
// (0x40, the C key), button 2 (0x20, the X key), button 3 (0x10, the Z key),
// then 0x80 up to 0x2000 (A, S, D, Q, W, Esc, Space).
inline constexpr int kPadButtons[10] = {0x40, 0x20, 0x10, 0x80, 0x100, 0x200, 0x400, 0x800, 0x1000, 0x2000};
// With no setting: decide is pad button 1 (the C key), back pad button 2
// (the X key), pause none.
inline constexpr int kDefaultDecide = 0x40;
inline constexpr int kDefaultBack = 0x20;
bool is_pad_button(int mask);

// Reads the seven keys above in start-up order. Values outside their ranges
// (a hand-edited file) are clamped, so a volume step never leaves 0..100.
void read_settings();
// Reads the three logical buttons. A value the options screen never writes
// (no number, a direction, several buttons, none for decide or back), or a
// button another of the three already holds, is not taken: that button gets
// its default, or the first pad button still free when another holds that.
void read_buttons();
