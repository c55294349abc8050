#include <cstring>
#include <string>
#include <vector>

#include "tests/engine/input/input_fixture.h"

namespace {

// ---- the character ring ------------------------------------------------------------------

TEST_F(InputTest, RingHolds1024Bytes) {
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(QueueInputChar('a' + i % 26), 0) << i;
  EXPECT_EQ(QueueInputChar('z'), -1);
  EXPECT_EQ(TakeInputChar(0), 'a');
  EXPECT_EQ(TakeInputChar(1), 'a');
  EXPECT_EQ(TakeInputChar(1), 'b');
  EXPECT_EQ(QueueInputChar('!'), 0);  // the indices wrap
  EXPECT_EQ(QueueInputChar('?'), 0);
  EXPECT_EQ(QueueInputChar('#'), -1);
  ClearInputChars();
  EXPECT_EQ(TakeInputChar(1), 0);
}

TEST_F(InputTest, LeadByteWaitsForItsSecondByte) {
  char pair[2];
  QueueInputChar(0x82);
  EXPECT_EQ(TakeInputCharPair(pair, 1), 0);
  QueueInputChar(0xA0);
  EXPECT_EQ(TakeInputCharPair(pair, 0), 2);  // looked at, still queued
  EXPECT_EQ(TakeInputCharPair(pair, 1), 2);
  EXPECT_EQ((uint8_t)pair[0], 0x82);
  EXPECT_EQ((uint8_t)pair[1], 0xA0);
  EXPECT_EQ(TakeInputCharPair(pair, 1), 0);
  // An editing code is never the first byte of a pair.
  QueueInputChar(0x1C);
  QueueInputChar('a');
  EXPECT_EQ(TakeInputCharPair(pair, 1), 1);
  EXPECT_EQ(TakeInputChar(1), 'a');
  QueueInputChar(0xFF);
  EXPECT_EQ(TakeInputChar(1), -1);
}

TEST_F(InputTest, WhatTheWindowProcedureQueues) {
  struct Case {
    uintptr_t wparam;
    int queued;  // -1: dropped
  } chars[] = {{'a', 'a'},   {0x0A, 0x0D}, {0x0D, 0x0D}, {0x08, 0x08}, {0x09, 0x09}, {0x1B, 0x1B},
               {0x03, 0x03}, {0x16, 0x16}, {0x18, 0x18}, {0x01, 0x01}, {0x10, 0x10}, {0x02, -1},
               {0x1F, -1},   {0x00, -1},   {0x82, 0x82}, {0xFF, 0xFF}};
  for (const Case& c : chars) {
    ClearInputChars();
    QueueCharMessage(c.wparam);
    int got = TakeInputChar(1);
    EXPECT_EQ(got, c.queued == -1 ? 0 : c.queued == 0xFF ? -1 : c.queued) << std::hex << c.wparam;
  }
  struct Key {
    uintptr_t virtual_key;
    int code;
  } keys[] = {{0x2E, 0x10}, {0x25, 0x1D}, {0x27, 0x1C}, {0x26, 0x1E}, {0x28, 0x1F},
              {0x24, 0x1A}, {0x23, 0x19}, {0x21, 0x17}, {0x22, 0x15}, {'A', 0}, {0x0D, 0}};
  for (const Key& k : keys) {
    ClearInputChars();
    QueueEditKeyMessage(k.virtual_key);
    EXPECT_EQ(TakeInputChar(1), k.code) << std::hex << k.virtual_key;
    if (k.code) {
      EXPECT_EQ(IsEditControlCode(k.code), 1);
    }
  }
  EXPECT_EQ(IsEditControlCode('a'), 0);
}

// ---- text inputs ------------------------------------------------------------------------------

struct Step {
  enum Kind { TYPE, KEY, SHIFT_DOWN, SHIFT_UP, PASTE } kind;
  std::string text;  // TYPE: bytes to the window procedure; PASTE: clipboard text
  int virtual_key = 0;
};
Step Type(std::string t) { return {Step::TYPE, std::move(t)}; }
Step Key(int vk) { return {Step::KEY, "", vk}; }
Step ShiftDown() { return {Step::SHIFT_DOWN, ""}; }
Step ShiftUp() { return {Step::SHIFT_UP, ""}; }
Step Paste(std::string t) { return {Step::PASTE, std::move(t)}; }

constexpr int LEFT = 0x25, RIGHT = 0x27, HOME = 0x24, END = 0x23, DEL = 0x2E;

class TextInputTest : public InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    ASSERT_EQ(OpenInputDevices(), 0);
  }
  int Make(int max, int cancel, int single, int digits) {
    int h = NewTextInput(max, cancel, single, digits);
    EXPECT_GE(h, 0);
    EXPECT_EQ(FocusTextInput(h), 0);
    return h;
  }
  void Run(const std::vector<Step>& steps) {
    for (const Step& s : steps) {
      switch (s.kind) {
        case Step::TYPE:
          for (unsigned char c : s.text) QueueCharMessage(c);
          break;
        case Step::KEY:
          QueueEditKeyMessage((uintptr_t)s.virtual_key);
          break;
        case Step::SHIFT_DOWN:
        case Step::SHIFT_UP:
          PushKey(SDL_SCANCODE_LSHIFT, s.kind == Step::SHIFT_DOWN);
          break;
        case Step::PASTE:
          WriteClipboardText(s.text.c_str());
          QueueCharMessage(0x16);
          break;
      }
      ASSERT_EQ(UpdateTextInput(), 0);
    }
  }
  static std::string Text(int h) {
    char buffer[300] = {};
    EXPECT_EQ(CopyTextInputString(buffer, h), 0);
    return buffer;
  }
  static int Cursor(int h) { return TextInputs().Lookup(h)->cursor; }
};

TEST_F(TextInputTest, EditingScripts) {
  struct Case {
    const char* name;
    int max, cancel, single, digits;
    std::vector<Step> steps;
    std::string text;
    int cursor, state;
  };
  const std::string a_wide = "\x82\x81";  // a two-byte character whose second byte is also a lead byte
  const Case cases[] = {
      {"full input replaces its last character", 4, 0, 0, 0, {Type("ABCDE")}, "ABCE", 4, 0},
      {"typing into the middle of a full input", 4, 0, 0, 0, {Type("ABCD"), Key(LEFT), Key(LEFT), Type("x")},
       "ABxC", 3, 0},
      {"shift+left selects, typing replaces", 10, 0, 0, 0,
       {Type("ABC"), ShiftDown(), Key(LEFT), Key(LEFT), ShiftUp(), Type("x")}, "Ax", 2, 0},
      {"shift+home then delete", 10, 0, 0, 0, {Type("ABC"), Key(LEFT), ShiftDown(), Key(HOME), ShiftUp(), Key(DEL)},
       "C", 0, 0},
      {"moving without shift drops the selection", 10, 0, 0, 0,
       {Type("ABC"), ShiftDown(), Key(LEFT), ShiftUp(), Key(RIGHT), Type("\x08")}, "AB", 2, 0},
      {"backspace at 0 and delete at the end do nothing", 10, 0, 0, 0,
       {Type("AB"), Key(DEL), Key(HOME), Type("\x08")}, "AB", 0, 0},
      {"backspace over a two-byte character", 10, 0, 0, 0, {Type(a_wide + "b"), Type("\x08\x08")}, "", 0, 0},
      {"backspace after a two-byte character keeps it whole", 10, 0, 0, 0, {Type(a_wide + "b"), Type("\x08")},
       a_wide, 2, 0},
      {"left over a two-byte character", 10, 0, 0, 0, {Type("b" + a_wide), Key(LEFT), Type("x")},
       "bx" + a_wide, 2, 0},
      {"delete a two-byte character", 10, 0, 0, 0, {Type(a_wide + "b"), Key(HOME), Key(DEL)}, "b", 0, 0},
      {"full input drops a whole two-byte character", 3, 0, 0, 0, {Type("a" + a_wide + "b")}, "ab", 2, 0},
      {"single-byte input refuses two-byte characters", 10, 0, 1, 0, {Type("a" + a_wide + "b")}, "ab", 2, 0},
      {"the selection goes even when the character is refused", 10, 0, 1, 0,
       {Type("abc"), ShiftDown(), Key(LEFT), ShiftUp(), Type(a_wide)}, "ab", 2, 0},
      {"digits: minus only at 0, one point", 10, 0, 0, 1, {Type("-1-2.3.4a")}, "-12.34", 6, 0},
      {"digits: minus moved to the front", 10, 0, 0, 1, {Type("5"), Key(HOME), Type("-")}, "-5", 1, 0},
      {"return ends", 10, 0, 0, 0, {Type("ab\rcd")}, "ab", 2, 1},
      {"escape without cancel does nothing", 10, 0, 0, 0, {Type("ab\x1b")}, "ab", 2, 0},
      {"escape cancels when allowed", 10, 1, 0, 0, {Type("ab\x1b")}, "ab", 2, 2},
      {"tab, up, down, ctrl+a, page keys insert nothing", 10, 0, 0, 0,
       {Type("a\t\x01"), Key(0x26), Key(0x28), Key(0x21), Key(0x22), Type("b")}, "ab", 2, 0},
      {"maximum length 0 takes nothing", 0, 0, 0, 0, {Type("abc")}, "", 0, 0},
      {"a two-byte character never fits one byte", 1, 0, 0, 0, {Type(a_wide + "z")}, "z", 1, 0},
      {"paste goes through the filters", 10, 0, 0, 1, {Type("7"), Paste("1x2")}, "712", 3, 0},
      {"pasted control bytes are not keys", 10, 0, 0, 0, {Paste("a\x16" "b\r\nc\x1b")}, "abc", 3, 0},
      {"paste into a full input", 3, 0, 0, 0, {Type("ab"), Paste("xyz")}, "abz", 3, 0},
      {"pasted two-byte characters stay whole", 10, 0, 0, 0, {Paste(a_wide + "b")}, a_wide + "b", 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int h = Make(c.max, c.cancel, c.single, c.digits);
    Run(c.steps);
    EXPECT_EQ(Text(h), c.text);
    EXPECT_EQ(Cursor(h), c.cursor);
    EXPECT_EQ(PollTextInputState(h), c.state);
    FreeTextInput(h);
    DInputResetKeyboard();
  }
}

TEST_F(TextInputTest, CopyCutAndPasteThroughTheClipboard) {
  int h = Make(20, 0, 0, 0);
  Run({Type("hello"), ShiftDown(), Key(LEFT), Key(LEFT), ShiftUp(), Type("\x03")});
  EXPECT_EQ(Clipboard(), "lo");
  EXPECT_EQ(Text(h), "hello");
  Run({Type("\x18")});
  EXPECT_EQ(Text(h), "hel");
  Run({Key(HOME), Type("\x16")});
  EXPECT_EQ(Text(h), "lohel");
  EXPECT_EQ(Cursor(h), 2);
  // Shift+Delete cuts the selection.
  Run({ShiftDown(), Key(END), Key(DEL), ShiftUp()});
  EXPECT_EQ(Clipboard(), "hel");
  EXPECT_EQ(Text(h), "lo");
  // Without a selection copy and cut do nothing; with no text paste does nothing.
  WriteClipboardText("keep");
  Run({Type("\x03\x18")});
  EXPECT_EQ(Clipboard(), "keep");
  WriteClipboardText("");
  Run({Type("\x16")});
  EXPECT_EQ(Text(h), "lo");
}

TEST_F(TextInputTest, HandlesFocusAndLifetime) {
  int a = Make(8, 1, 0, 0);
  int b = NewTextInput(8, 0, 0, 0);
  ASSERT_GE(b, 0);
  Run({Type("one\r")});
  EXPECT_EQ(PollTextInputState(a), 1);
  EXPECT_EQ(RenderTextInput(0, 0, a), -1);  // an ended input draws nothing
  Run({Type("more")});                        // an ended input takes no more...
  EXPECT_EQ(Text(a), "one");
  // ...until it is made active again; what was typed meanwhile waits.
  EXPECT_EQ(FocusTextInput(a), 0);
  EXPECT_EQ(FocusTextInput(b), 0);
  EXPECT_EQ(FocusTextInput(a), 0);
  EXPECT_EQ(PollTextInputState(a), 0);
  Run({Type("!")});
  EXPECT_EQ(Text(a), "onemore!");
  // A new input discards what was typed before it.
  QueueCharMessage('?');
  int c = NewTextInput(8, 0, 0, 0);
  EXPECT_EQ(TakeInputChar(0), 0);
  FreeTextInput(c);
  EXPECT_EQ(g_text.ime.enabled, 1);

  EXPECT_EQ(FreeTextInput(a), 0);
  EXPECT_EQ(PollTextInputState(a), -1);
  EXPECT_EQ(FreeTextInput(a), -1);
  EXPECT_EQ(FocusTextInput(a), -1);
  EXPECT_EQ(CopyTextInputString(nullptr, b), -1);
  EXPECT_EQ(RenderTextInput(0, 0, a), -1);
  EXPECT_EQ(UpdateTextInput(), 0);  // no input is active
  EXPECT_EQ(g_text.ime.enabled, 1);
  EXPECT_EQ(FreeTextInput(b), 0);
  EXPECT_EQ(g_text.ime.enabled, 0);  // the input method goes with the last input

  std::vector<int> handles;
  for (int i = 0; i < 256; ++i) handles.push_back(NewTextInput(1, 0, 0, 0));
  for (int h : handles) ASSERT_GE(h, 0);
  EXPECT_EQ(NewTextInput(1, 0, 0, 0), -1);
  EXPECT_EQ(NewTextInput(-1, 0, 0, 0), -1);
  FreeAllTextInputs();
  EXPECT_EQ(TextInputs().live_count(), 0);
}

}  // namespace
