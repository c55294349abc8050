#include "platform/ime/ime.h"
#include "tests/platform/ime/editing_event.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Composition(HIMC context) {
  char buffer[64] = {};
  LONG n = ImmGetCompositionStringA(context, GCS_COMPSTR, buffer, sizeof buffer);
  return std::string(buffer, n > 0 ? (size_t)n : 0);
}

class ImeTest : public ::testing::Test {
 protected:
  void SetUp() override { ImeResetForTesting(); }
  int window_tag_ = 0;
  void* window() { return &window_tag_; }
};

TEST_F(ImeTest, CompositionFromTextEditingEvents) {
  ImeMessage m[4];
  SDL_Event e = EditingEvent((const char*)u8"かんじ", 1, 0);
  ASSERT_EQ(ImeTranslateSdlEvent(&e, m, 4), 3);
  EXPECT_EQ(m[0].message, WM_IME_NOTIFY);
  EXPECT_EQ(m[0].wparam, IMN_SETOPENSTATUS);
  EXPECT_EQ(m[1].message, WM_IME_STARTCOMPOSITION);
  EXPECT_EQ(m[2].message, WM_IME_COMPOSITION);
  EXPECT_EQ(m[2].lparam, (intptr_t)(GCS_COMPSTR | GCS_CURSORPOS | GCS_COMPCLAUSE));

  HIMC context = ImmGetContext(window());
  ASSERT_NE(context, nullptr);
  EXPECT_TRUE(ImmGetOpenStatus(context));
  EXPECT_EQ(Composition(context), "かんじ");  // code page 932 here
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 2);
  DWORD clauses[8];
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPCLAUSE, clauses, sizeof clauses), 8);
  EXPECT_EQ(clauses[0], 0u);
  EXPECT_EQ(clauses[1], 6u);

  // Converting the second character makes it the target clause.
  e = EditingEvent((const char*)u8"かんじ", 1, 1);
  ASSERT_EQ(ImeTranslateSdlEvent(&e, m, 4), 1);
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_COMPCLAUSE, clauses, sizeof clauses), 16);
  EXPECT_EQ(clauses[1], 2u);
  EXPECT_EQ(clauses[2], 4u);
  EXPECT_EQ(clauses[3], 6u);

  // The finished text comes as characters; the composition ends.
  SDL_Event input{};
  input.type = SDL_TEXTINPUT;
  std::snprintf(input.text.text, sizeof input.text.text, "%s", (const char*)u8"漢字");
  ASSERT_EQ(ImeTranslateSdlEvent(&input, m, 4), 2);
  EXPECT_EQ(m[1].message, WM_IME_ENDCOMPOSITION);
  EXPECT_EQ(Composition(context), "");
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_RESULTSTR, nullptr, 0), 0);
  // Text typed without a composition gives no input-method message.
  EXPECT_EQ(ImeTranslateSdlEvent(&input, m, 4), 0);
  ImmReleaseContext(window(), context);
}

TEST_F(ImeTest, CharactersCodePage932CannotShowAreLeftOut) {
  ImeMessage m[4];
  SDL_Event e = EditingEvent((const char*)u8"a😀b", 3, 0);
  ImeTranslateSdlEvent(&e, m, 4);
  HIMC context = ImmGetContext(window());
  EXPECT_EQ(Composition(context), "ab");
  EXPECT_EQ(ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0), 2);
}

TEST_F(ImeTest, CandidateListAndPages) {
  HIMC context = ImmGetContext(window());
  EXPECT_EQ(ImmGetCandidateListA(context, 0, nullptr, 0), 0u);
  const char* items[] = {"一", "二", "三"};
  ImeSetCandidatesForTesting(items, 3, 1);
  DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
  ASSERT_GT(size, 0u);
  std::vector<char> buffer(size);
  auto* list = reinterpret_cast<CANDIDATELIST*>(buffer.data());
  EXPECT_EQ(ImmGetCandidateListA(context, 0, list, size - 1), 0u);
  ASSERT_EQ(ImmGetCandidateListA(context, 0, list, size), size);
  EXPECT_EQ(list->dwCount, 3u);
  EXPECT_EQ(list->dwSelection, 1u);
  EXPECT_STREQ(buffer.data() + list->dwOffset[2], "三");
  ImmNotifyIME(context, NI_SETCANDIDATE_PAGESIZE, 0, 5);
  ImmNotifyIME(context, NI_SETCANDIDATE_PAGESTART, 0, 0);
  int start = -1, page = -1;
  ImeLastCandidatePage(&start, &page);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(page, 5);
  EXPECT_EQ(ImmGetContext(nullptr), nullptr);
}

TEST_F(ImeTest, SetAndCancelComposition) {
  HIMC context = ImmGetContext(window());
  ASSERT_TRUE(ImmSetCompositionStringA(context, SCS_SETSTR, "abc", 3, nullptr, 0));
  EXPECT_EQ(Composition(context), "abc");
  ASSERT_TRUE(ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0));
  EXPECT_EQ(Composition(context), "");
}

}  // namespace
