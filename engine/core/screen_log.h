// The on-screen log: a grid of text lines drawn over the screen by the flip
// once something has been printed, scrolling up when the screen is full.
#pragma once

constexpr int SCREEN_LOG_LINES = 80;
constexpr int SCREEN_LOG_LINE_BYTES = 255;

int StartScreenLog();  // 0, or -1 without graphics or a main window
int EndScreenLog();    // 0
int PrintScreenLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
int IsScreenLogUsed();
int DrawScreenLog();
int ClearScreenLog();
// Text of line `index` (0 at the top), or null outside the grid; for tests
// and the flip.
const char* ScreenLogLine(int index);
int ScreenLogCurrentLine();
