#include <cstring>
#include <string>

#include "platform/ime/ime.h"
#include "tests/engine/input/input_fixture.h"

namespace {

class ImeInputTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    ImeResetForTesting();
  }
  // The finished text reaches the window as characters.
  void DeliverResult() {
    SDL_Event input{};
    input.type = SDL_TEXTINPUT;
    DeliverEvent(input);
    for (char c : std::string("\x89\xBC\x96\xBC")) QueueCharMessage((uint8_t)c);  // 仮名
  }
};

TEST_F(ImeInputTest, CompositionIsFollowedAndTheResultTyped) {
  int h = NewTextInput(20, 0, 0, 0);
  ASSERT_GE(h, 0);
  FocusTextInput(h);
  EXPECT_EQ(DrawImeState(0, 0, 5), -1);  // on, but not open yet
  DeliverEditing((const char*)u8"かな", 2, 0);
  EXPECT_EQ(g_text.ime.open, 1);
  EXPECT_STREQ(g_text.ime.composition, "かな");
  EXPECT_EQ(g_text.ime.composition_cursor, 2);
  EXPECT_EQ(g_text.ime.clause_count, 2);
  EXPECT_EQ(DrawImeState(0, 0, 5), 0);

  DeliverResult();
  EXPECT_STREQ(g_text.ime.composition, "");
  ASSERT_EQ(UpdateTextInput(), 0);
  char text[21];
  CopyTextInputString(text, h);
  EXPECT_STREQ(text, "仮名");
  // Backspace takes the whole second character.
  QueueCharMessage(0x08);
  UpdateTextInput();
  CopyTextInputString(text, h);
  EXPECT_STREQ(text, "仮");
}

TEST_F(ImeInputTest, CandidateWindowPages) {
  int h = NewTextInput(20, 0, 0, 0);
  FocusTextInput(h);
  DeliverEditing((const char*)u8"へんかん", 4, 0);
  const char* items[12] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"};
  ImeSetCandidatesForTesting(items, 12, 7);
  ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_OPENCANDIDATE, 0);
  ASSERT_NE(g_text.ime.candidates, nullptr);
  EXPECT_EQ(g_text.ime.candidates->dwCount, 12u);
  EXPECT_EQ(DrawImeState(0, 0, 5), 0);
  int start = -1, size = -1;
  ImeLastCandidatePage(&start, &size);
  EXPECT_EQ(start, 5);
  EXPECT_EQ(size, 5);

  ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_CLOSECANDIDATE, 0);
  EXPECT_EQ(g_text.ime.candidates, nullptr);
  // A list that cannot be had is logged and dropped.
  ImeSetCandidatesForTesting(nullptr, 0, 0);
  ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_CHANGECANDIDATE, 0);
  EXPECT_EQ(g_text.ime.candidates, nullptr);
  // Switching the input method off drops the composition.
  FreeTextInput(h);
  EXPECT_EQ(g_text.ime.enabled, 0);
  EXPECT_STREQ(g_text.ime.composition, "");
}

TEST_F(ImeInputTest, ActivationRestoresTheComposition) {
  int h = NewTextInput(20, 0, 0, 0);
  FocusTextInput(h);
  DeliverEditing((const char*)u8"あい", 1, 0);
  ReapplyImeState();
  EXPECT_EQ(g_text.ime.restore_step, 1);
  UpdateTextInput();
  EXPECT_EQ(g_text.ime.restore_step, 0);
  HIMC context = ImmGetContext(&window_tag_);
  char buffer[16] = {};
  ImmGetCompositionStringA(context, GCS_COMPSTR, buffer, sizeof buffer - 1);
  EXPECT_STREQ(buffer, "あい");
  EXPECT_TRUE(ImmGetOpenStatus(context));
  // With the input method closed there is nothing to restore.
  SetImeOpenState(0);
  ProcessImeMessage(&window_tag_, WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
  ReapplyImeState();
  EXPECT_EQ(g_text.ime.restore_step, 0);
}

TEST(ImeOffsets, CharactersAndBytes) {
  const char* text = "a\x82\xA9" "b";  // a, a two-byte character, b
  const int byte_of_char[] = {0, 1, 3, 4, 4, 4};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(CharCountToByteOffset(text, i), byte_of_char[i]) << i;
  const int chars_before[] = {0, 1, 2, 2, 3, 3};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ByteOffsetToCharCount(text, i), chars_before[i]) << i;
}

}  // namespace
