// The fonts as the engine core sees them: the on-screen log's edged font,
// its text widths and its drawing; and the fonts' life on graphics' screen:
// reset when graphics starts, deleted when it ends, the default font carried
// across a screen-mode change, every font made again once a restore has
// refilled the graphs.
#include "engine/core/engine_subsystem.h"
#include "engine/font/font.h"

namespace {

int CreateLogFont(int size, int thickness) {
  return CreateFontToHandle(nullptr, size, thickness, (int)FONT_TYPE_EDGE, -1, -1, 0);
}
int MeasureLogText(const char* text, int length, int font) { return MeasureStringWidthByFont(text, length, font, 0); }
int DrawLogText(int x, int y, const char* text, uint32_t colour, int font, uint32_t edge) {
  return DrawTextWithFont(x, y, text, colour, font, edge, 0);
}

// The default font as it was before a screen-mode change, while one runs.
struct NotedFont {
  bool noted;
  char face[FONT_FACE_BYTES];
  int size, thickness;
} g_noted{};

int NoteDefaultFont() {
  g_noted.noted = QueryDefaultFontSettings(g_noted.face, sizeof g_noted.face, &g_noted.size, &g_noted.thickness) >= 0;
  return 0;
}
int SetNotedDefaultFont() {
  if (!g_noted.noted) return 0;
  g_noted.noted = false;
  return SetDefaultFontSizeAndThickness(g_noted.face, g_noted.size, g_noted.thickness);
}

}  // namespace

constinit const EngineSubsystem kFontsSubsystem{
    .id = SubsystemId::Fonts,
    .create_log_font = CreateLogFont,
    .delete_log_font = FreeFontHandle,
    .watch_log_font = BindFontDeletedFlag,
    .measure_text = MeasureLogText,
    .draw_edged_text = DrawLogText,
    .graphics_started = StartFontSystem,
    .graphics_ending = EndFontSystem,
    .screen_mode_changing = NoteDefaultFont,
    .screen_mode_changed = SetNotedDefaultFont,
    .graphs_refilled = RecreateAllFonts,
};
