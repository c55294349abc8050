// Text inputs drawn on the engine's software screen with the system's fonts.

#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/core/engine_subsystem.h"
#include "engine/font/font.h"
#include "engine/graphics/graphics.h"
#include "engine/softrender/memimg.h"
#include "tests/engine/input/input_fixture.h"

namespace {

class RenderTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    ReplaceEngineSubsystem(kFontsSubsystem);  // the fonts start with graphics
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
    ResetEngineSubsystems();
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
  static uint16_t Pixel(int x, int y) {
    const MEMIMG* s = GetScreenMemImage();
    uint16_t p;
    std::memcpy(&p, s->pixels + (size_t)y * s->store->pitch + (size_t)x * 2, 2);
    return p;
  }
  // Pixels of one colour (5-6-5) inside a rectangle of the screen.
  static int Count(int x1, int y1, int x2, int y2, uint16_t colour) {
    int count = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) count += Pixel(x, y) == colour;
    return count;
  }
  static std::vector<uint16_t> Grab(int x, int y, int width, int height) {
    std::vector<uint16_t> out;
    for (int j = 0; j < height; ++j)
      for (int i = 0; i < width; ++i) out.push_back(Pixel(x + i, y + j));
    return out;
  }
  static void Clear() {
    SetPaintClipRect(0, 0, 640, 480);
    PaintRectangle(0, 0, 640, 480, 0, 1);
  }
};

// The input method's colours on a 5-6-5 screen.
constexpr uint16_t kCompositionCursor = 0x07FF;  // cyan
constexpr uint16_t kTargetClause = 0xF800;       // red
constexpr uint16_t kCandidateFrame = 0xFFE0;     // yellow, as the composition back
constexpr uint16_t kWhite = 0xFFFF;              // clause lines and candidate text

// The composition of an open input method, drawn at (x, y) with the default
// font of 16 pixels: line step 19, thin lines t = 1, margins d = 5.
class ImeRenderTest : public RenderTest {
 protected:
  static constexpr int f = 16, t = 1, d = 5;
  void SetUp() override {
    RenderTest::SetUp();
    ImeResetForTesting();
    input_ = NewTextInput(20, 0, 0, 0);
    FocusTextInput(input_);
  }
  void TearDown() override {
    ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 0);
    RenderTest::TearDown();
  }
  static int Width(const char* text, int bytes) { return MeasureStringWidthByFont(text, bytes, FetchDefaultFont(), 0); }
  void OpenCandidates(int count, int selection) {
    static const char* const kItems[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"};
    ImeSetCandidatesForTesting(kItems, count, selection);
    ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
    ASSERT_NE(g_text.ime.candidates, nullptr);
  }
  int input_ = -1;
};

TEST_F(ImeRenderTest, CursorBarStandsAtTheCompositionCursor) {
  DeliverEditing((const char*)u8"かなかな", 1, 0);
  Clear();
  ASSERT_EQ(DrawImeState(20, 100, 5), 0);
  const int cx = 20 + Width("か", 2);
  EXPECT_EQ(Count(cx, 100, cx + 2, 100 + f, kCompositionCursor), 2 * f);
  EXPECT_EQ(Count(0, 0, cx, 480, kCompositionCursor), 0);
  EXPECT_EQ(Count(cx + 2, 0, 640, 480, kCompositionCursor), 0);
  // The bar moves with the cursor, and goes while candidates are shown.
  DeliverEditing((const char*)u8"かなかな", 3, 0);
  Clear();
  DrawImeState(20, 100, 5);
  const int cx3 = 20 + Width("かなか", 6);
  EXPECT_EQ(Count(cx3, 100, cx3 + 2, 100 + f, kCompositionCursor), 2 * f);
  OpenCandidates(3, 0);
  Clear();
  DrawImeState(20, 100, 5);
  EXPECT_EQ(Count(0, 0, 640, 480, kCompositionCursor), 0);
}

TEST_F(ImeRenderTest, TargetClauseBoxAndClauseLines) {
  // "へん" then the converted clause "かん", the cursor at its start.
  DeliverEditing((const char*)u8"へんかん", 2, 2);
  ASSERT_EQ(g_text.ime.clause_count, 3);
  Clear();
  ASSERT_EQ(DrawImeState(20, 100, 5), 0);
  const int first = Width("へん", 4), second = Width("かん", 4);
  const int bx = 20 + first;
  // The box spans the second clause, under its text and the cursor bar.
  const int red = Count(bx + 2, 100, bx + second, 100 + f, kTargetClause);
  EXPECT_GT(red, (second - 2) * f / 3);
  EXPECT_EQ(Count(0, 0, bx, 480, kTargetClause), 0);
  EXPECT_EQ(Count(bx + second, 0, 640, 480, kTargetClause), 0);
  // One line under each clause, inset by 2t at both ends.
  const int line_y = 100 + f + t;
  EXPECT_EQ(Count(20 + 2 * t, line_y, 20 + first - 2 * t, line_y + t, kWhite), first - 4 * t);
  EXPECT_EQ(Count(bx + 2 * t, line_y, bx + second - 2 * t, line_y + t, kWhite), second - 4 * t);
  EXPECT_EQ(Count(20 + first - 2 * t, line_y, bx + 2 * t, line_y + t, kWhite), 0);
  // A single clause (start and end) has no target box.
  DeliverEditing((const char*)u8"へんかん", 2, 0);
  ASSERT_EQ(g_text.ime.clause_count, 2);
  Clear();
  DrawImeState(20, 100, 5);
  EXPECT_EQ(Count(0, 0, 640, 480, kTargetClause), 0);
}

// The candidate window: where it stands, and the page and footer it shows.
struct CandidateCase {
  const char* what;
  int x, y;             // where the composition is drawn
  int clip[4];
  int left_edge;        // -1: at the cursor
  int top, bottom;      // of the window's frame, bottom exclusive
};

TEST_F(ImeRenderTest, CandidateWindowStandsBelowAboveOrPushedIntoTheClip) {
  // 12 candidates, the eighth selected: the second page of 5 (6 to 10) and
  // the footer "8/12"; the window is (5 + 2) rows of 16 plus margins high.
  const int height = (5 + 1) * f + 2 * d;  // its top stands f + f/2 below the line's top
  const CandidateCase cases[] = {
      {"below the line", 20, 100, {0, 0, 640, 480}, -1, 100 + f + f / 2, 100 + f + f / 2 + height},
      {"above the line", 20, 400, {0, 0, 640, 480}, -1, 400 - 6 * f - f / 2 - 2 * d,
       400 - 6 * f - f / 2 - 2 * d + height},
      {"pushed up to the clip bottom", 20, 60, {0, 40, 640, 160}, -1, 160 - height, 160},
      {"pushed left into the clip", 600, 100, {0, 0, 620, 480}, -2, 100 + f + f / 2, 100 + f + f / 2 + height},
  };
  int widest = 0;
  for (const char* line : {"1:6", "2:7", "3:8", "4:9", "5:10", "8/12"})
    widest = std::max(widest, Width(line, (int)std::strlen(line)));
  for (const CandidateCase& c : cases) {
    DeliverEditing((const char*)u8"へん", 2, 0);
    OpenCandidates(12, 7);
    Clear();
    SetPaintClipRect(c.clip[0], c.clip[1], c.clip[2], c.clip[3]);
    ASSERT_EQ(DrawImeState(c.x, c.y, 5), 0) << c.what;
    const int cx = c.x + Width("へん", 4);
    const int right = c.left_edge == -2 ? c.clip[2] : cx + widest + 2 * d;
    const int left = right - widest - 2 * d;
    EXPECT_EQ(Pixel(left, c.top), kCandidateFrame) << c.what;
    EXPECT_EQ(Pixel(right - 1, c.bottom - 1), kCandidateFrame) << c.what;
    EXPECT_NE(Pixel(left, c.top - 1), kCandidateFrame) << c.what;
    EXPECT_NE(Pixel(left - 1, c.top), kCandidateFrame) << c.what;
    if (c.bottom < c.clip[3]) {
      EXPECT_NE(Pixel(left, c.bottom), kCandidateFrame) << c.what;
    }
    // The selected entry, the third of the page, alone is red.
    EXPECT_GT(Count(left + d, c.top + d + 2 * f, right - d, c.top + d + 3 * f, kTargetClause), 0) << c.what;
    EXPECT_EQ(Count(left + d, c.top + d, right - d, c.top + d + 2 * f, kTargetClause), 0) << c.what;
    // The footer, right-aligned under the entries, reads "8/12".
    const int footer_width = Width("8/12", 4);
    const int fx = left + d + widest - footer_width, fy = c.top + d + 5 * f;
    std::vector<uint16_t> footer = Grab(fx, fy, footer_width, f);
    ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 0);
    Clear();
    DrawTextWithFont(fx, fy, "8/12", PackScreenColor(255, 255, 255), FetchDefaultFont(), 0, 0);
    EXPECT_EQ(footer, Grab(fx, fy, footer_width, f)) << c.what;
  }
}

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
