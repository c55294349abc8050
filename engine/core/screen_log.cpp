// The on-screen log. Fonts, text widths and drawing come from the fonts'
// and graphics' records; without them characters measure 0 pixels and
// nothing is drawn, but the grid still fills, wraps by bytes and scrolls.
#include "engine/core/screen_log.h"

#include <cstdarg>
#include <cstring>

#include "engine/core/engine_state.h"
#include "engine/core/engine_subsystem.h"
#include "engine/core/util.h"

namespace {

struct ScreenLog {
  int started;
  int font;
  int font_lost;
  int line_height;
  int tab_width;
  char lines[SCREEN_LOG_LINES][SCREEN_LOG_LINE_BYTES];
  int line;
  int column;
  int x;
  int used;
};
ScreenLog g_log{};

void ScreenSize(int* width, int* height) { Subsystem(SubsystemId::Graphics).screen_size(width, height); }
const EngineSubsystem& Fonts() { return Subsystem(SubsystemId::Fonts); }

int VisibleLines() {
  int width, height;
  ScreenSize(&width, &height);
  int lines = g_log.line_height > 0 ? height / g_log.line_height : 0;
  return lines < SCREEN_LOG_LINES ? lines : SCREEN_LOG_LINES;
}

void PrepareFont() {
  if (!g_log.font_lost) return;
  g_log.font = Fonts().create_log_font(g_log.line_height, 4);
  g_log.font_lost = 0;
  if (g_log.font >= 0) Fonts().watch_log_font(g_log.font, &g_log.font_lost);
}

int MeasureChar(const char* bytes, int n) {
  return g_log.font >= 0 ? Fonts().measure_text(bytes, n, g_log.font) : 0;
}

void NewLine() {
  if (VisibleLines() > g_log.line + 1) {
    g_log.line++;
  } else if (g_log.line > 0) {
    memmove(g_log.lines[0], g_log.lines[1], (size_t)g_log.line * SCREEN_LOG_LINE_BYTES);
  }
  g_log.lines[g_log.line][0] = 0;
  g_log.x = 0;
  g_log.column = 0;
}

void PutChar(const char* bytes, int n) {
  int width, height;
  ScreenSize(&width, &height);
  if (g_log.column + n >= SCREEN_LOG_LINE_BYTES) {
    NewLine();
  } else if (g_log.x + MeasureChar(bytes, n) >= width) {
    NewLine();
  }
  g_log.x += MeasureChar(bytes, n);
  memcpy(&g_log.lines[g_log.line][g_log.column], bytes, (size_t)n);
  g_log.column += n;
  g_log.lines[g_log.line][g_log.column] = 0;
}

void PutString(const char* text) {
  for (const unsigned char* p = (const unsigned char*)text; *p; p++) {
    switch (*p) {
      case '\n':
        NewLine();
        continue;
      case '\t':
        for (int i = 0; i < g_log.tab_width; i++) PutChar(" ", 1);
        continue;
      case 0x07:
      case 0x08:
      case 0x0B:
      case 0x0C:
      case 0x0D:
      case '?':
        continue;
    }
    if (vox_win32::Cp932CharBytes(reinterpret_cast<const char*>(p)) == 2) {
      PutChar((const char*)p, 2);
      p++;
    } else {
      PutChar((const char*)p, 1);
    }
  }
}

// Every operation first makes sure the log stands; 0 when it cannot.
bool Ready() {
  if (!g_log.started && StartScreenLog() != 0) return false;
  PrepareFont();
  return true;
}

}  // namespace

int StartScreenLog() {
  if (!g_engine.window || !Subsystem(SubsystemId::Graphics).has_directdraw()) return -1;
  if (g_log.started) return 0;
  g_log = ScreenLog{};
  g_log.started = 1;
  g_log.font = -1;
  g_log.font_lost = 1;
  g_log.line_height = 16;
  g_log.tab_width = 4;
  PrepareFont();
  return 0;
}

int EndScreenLog() {
  if (!g_log.started) return 0;
  if (!g_log.font_lost && g_log.font >= 0) Fonts().delete_log_font(g_log.font);
  g_log.font = -1;
  g_log.font_lost = 1;
  g_log.started = 0;
  return 0;
}

int PrintScreenLog(const char* format, ...) {
  if (!Ready()) return 0;
  char buffer[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(buffer, sizeof buffer, format, args);
  va_end(args);
  g_log.used = 1;
  PutString(buffer);
  return 0;
}

int IsScreenLogUsed() { return g_log.used; }

int DrawScreenLog() {
  if (!Ready()) return 0;
  if (g_log.font < 0) return 0;
  const EngineSubsystem& graphics = Subsystem(SubsystemId::Graphics);
  uint32_t white = graphics.pack_colour(255, 255, 255);
  uint32_t black = graphics.pack_colour(0, 0, 0);
  int visible = VisibleLines();
  for (int i = 0; i < visible; i++)
    if (g_log.lines[i][0]) Fonts().draw_edged_text(0, i * g_log.line_height, g_log.lines[i], white, g_log.font, black);
  return 0;
}

int ClearScreenLog() {
  if (!Ready()) return 0;
  for (auto& line : g_log.lines) line[0] = 0;
  g_log.line = 0;
  g_log.column = 0;
  g_log.x = 0;
  return 0;
}

const char* ScreenLogLine(int index) {
  return index >= 0 && index < SCREEN_LOG_LINES ? g_log.lines[index] : nullptr;
}

int ScreenLogCurrentLine() { return g_log.line; }
