// Text inputs drawn on the engine's software screen with the system's fonts.

#include <cstring>

#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/graphics/graphics_host.h"
#include "engine/softrender/memimg.h"
#include "tests/engine/input/input_fixture.h"

namespace {

class RenderTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    GraphicsHost host{};
    host.start_font_system = [] { return StartFontSystem(); };
    host.end_font_system = [] { return EndFontSystem(); };
    SetGraphicsHost(&host);
    RequestScreenMode(640, 480, 16, 60);
    ASSERT_EQ(StartGraphics(), 0);
    ASSERT_NE(GetScreenMemImage(), nullptr);
    ASSERT_GE(FetchDefaultFont(), 0);
    SelectDrawScreen(DRAW_SCREEN_BACK);
    StartTextInputSystem();  // colours in the screen's format
    ASSERT_EQ(OpenInputDevices(), 0);
  }
  void TearDown() override {
    FreeAllTextInputs();
    EndGraphics();
    SetGraphicsHost(nullptr);
    InputTest::TearDown();
  }
  // Non-black pixels inside a rectangle of the screen.
  static int Lit(int x1, int y1, int x2, int y2) {
    const MEMIMG* s = GetScreenMemImage();
    int count = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) {
        uint16_t p;
        std::memcpy(&p, s->pixels + (size_t)y * s->store->pitch + (size_t)x * 2, 2);
        count += p != 0;
      }
    return count;
  }
  static void Clear() {
    SetPaintClipRect(0, 0, 640, 480);
    PaintRectangle(0, 0, 640, 480, 0, 1);
  }
};

TEST_F(RenderTest, ActiveInputDrawsItsTextAndCursor) {
  int h = NewTextInput(30, 0, 0, 0);
  FocusTextInput(h);
  for (char c : std::string("Voxal")) QueueCharMessage((uint8_t)c);
  UpdateTextInput();
  Clear();
  ASSERT_EQ(RenderTextInput(20, 100, h), 0);
  int width = MeasureStringWidthByFont("Voxal", 5, FetchDefaultFont(), 0);
  ASSERT_GT(width, 0);
  EXPECT_GT(Lit(20, 100, 20 + width, 100 + 16), 20);
  // The cursor bar stands right after the text.
  EXPECT_GT(Lit(20 + width, 100, 20 + width + 2, 100 + 16), 16);
  EXPECT_EQ(Lit(0, 0, 640, 90), 0);
  // An input that is not active draws no cursor.
  FocusTextInput(-1);
  Clear();
  ASSERT_EQ(RenderTextInput(20, 100, h), 0);
  EXPECT_EQ(Lit(20 + width + 1, 100, 20 + width + 2, 100 + 16), 0);
}

TEST_F(RenderTest, LongTextScrollsToKeepTheCursorInView) {
  int h = NewTextInput(200, 0, 0, 0);
  FocusTextInput(h);
  for (int i = 0; i < 60; ++i) QueueCharMessage('W');
  UpdateTextInput();
  SetPaintClipRect(0, 0, 100, 20);  // one line of 100 pixels
  ASSERT_EQ(RenderTextInput(0, 0, h), 0);
  const TextInputRecord* r = TextInputs().Lookup(h);
  EXPECT_GT(r->scroll, 0);
  EXPECT_LE(MeasureStringWidthByFont(r->string + r->scroll, r->cursor - r->scroll, FetchDefaultFont(), 0), 100);
  // Going home brings the scroll back to the start.
  QueueEditKeyMessage(0x24);
  UpdateTextInput();
  ASSERT_EQ(RenderTextInput(0, 0, h), 0);
  EXPECT_EQ(r->scroll, 0);
}

TEST_F(RenderTest, EmptyDrawAreaDrawsNothingAndReturns) {
  int h = NewTextInput(10, 0, 0, 0);
  FocusTextInput(h);
  for (char c : std::string("abc")) QueueCharMessage((uint8_t)c);
  UpdateTextInput();
  Clear();
  SetPaintClipRect(100, 0, 100, 480);
  EXPECT_EQ(RenderTextInput(300, 10, h), 0);
  EXPECT_EQ(FillWrappedBox(300, 10, 320, 20, 20, 0xFFFF, 1), 0);
  EXPECT_EQ(DrawWrappedString(300, 10, 20, "abc", 0xFFFF, 0, -1, 0, 0, 0, -1, -1), 0);
  SetPaintClipRect(0, 0, 640, 480);
  EXPECT_EQ(Lit(0, 0, 640, 480), 0);
}

TEST_F(RenderTest, BoxesWrapIntoTheClipRectangle) {
  Clear();
  SetPaintClipRect(0, 0, 100, 480);
  // Starting 150 pixels past the right edge: two lines down, at x 50.
  FillWrappedBox(250, 0, 260, 10, 20, 0xFFFF, 1);
  SetPaintClipRect(0, 0, 640, 480);
  EXPECT_EQ(Lit(50, 40, 60, 50), 100);
  EXPECT_EQ(Lit(0, 0, 640, 40), 0);
  // A box running past the right edge goes on at the left of the next line.
  Clear();
  SetPaintClipRect(0, 0, 100, 480);
  FillWrappedBox(90, 0, 110, 10, 20, 0xFFFF, 1);
  SetPaintClipRect(0, 0, 640, 480);
  EXPECT_EQ(Lit(90, 0, 100, 10), 100);
  EXPECT_EQ(Lit(0, 20, 10, 30), 100);
  EXPECT_EQ(Lit(10, 20, 100, 30), 0);
}

}  // namespace
