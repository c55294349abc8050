// What the menu screens share: their text look (the shared fonts with colour
// 2 and edge colour 3), the timed slide-and-fade of their rows coming in and
// going out, wrapped cursor moves with their sound, and the sounds of a
// confirm and a refusal.
#pragma once

// Shared font indices (sizes 32, 24, 14, 16) and colour indices.
inline constexpr int kFontLarge = 0;
inline constexpr int kFontMenu = 1;
inline constexpr int kFontSmall = 2;
inline constexpr int kFontValue = 3;

inline constexpr const char* kSoundMove = "sounds\\rotate.wav";
inline constexpr const char* kSoundConfirm = "sounds\\pause.wav";
inline constexpr const char* kSoundRefuse = "sounds\\buzzer.wav";
inline constexpr const char* kTitleMusic = "sounds\\title";
inline constexpr const char* kMenuMusic = "sounds\\select";
inline constexpr const char* kTitleImage = "images\\title.jpg";
inline constexpr const char* kCursorImage = "images\\cursor.png";

// Text in a shared font and colours (colour 2 with edge colour 3 unless
// given).
void draw_text(int x, int y, const char* text, int font, int colour = 2, int edge = 3);
// The same, centred on x by the text's width in that font.
void draw_text_centred(int centre_x, int y, const char* text, int font, int colour = 2, int edge = 3);
// The same, ending at x.
void draw_text_right(int right_x, int y, const char* text, int font, int colour = 2, int edge = 3);

// Rows sliding in from the right while they fade in, over the last 30 frames
// of a 45-frame timer; and sliding on and fading out over its first 30 when
// leaving. Each sets alpha blending and returns the horizontal shift.
int slide_in(int timer);
int slide_out(int timer);

// A save that failed: the buzzer, and one line on stderr naming the file
// (as the player finds it in the run folder) and the reason (the last
// error).
void report_failed_save(const char* file);

// value + step wrapped into 0..count-1.
int wrap(int value, int step, int count);
// Down (auto-repeat) moves the cursor one row down, else Up one row up, both
// wrapping over count rows and sounding the move; true when it moved.
bool move_cursor(int* cursor, int count);

// "images\title.jpg" over the whole screen, no blending.
void draw_title_background();
// The image cache's picture stretched over the screen (0, 0)-(640, 480).
void draw_fullscreen(const char* image);
