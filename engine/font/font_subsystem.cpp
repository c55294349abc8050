// The fonts as the engine core sees them: the on-screen log's edged font,
// its text widths and its drawing.
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

}  // namespace

constinit const EngineSubsystem kFontsSubsystem{
    .id = SubsystemId::Fonts,
    .create_log_font = CreateLogFont,
    .delete_log_font = FreeFontHandle,
    .watch_log_font = BindFontDeletedFlag,
    .measure_text = MeasureLogText,
    .draw_edged_text = DrawLogText,
};
