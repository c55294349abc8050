// The pair generator against the reference generator, and the pairs a field
// draws from it.
#include <gtest/gtest.h>

#include <random>

#include "game/twistar.h"
#include "tests/game/board_fixture.h"

namespace {

TEST(TwistarTest, FollowsTheReferenceSequence) {
  Twistar t(5489);
  const uint32_t first[] = {3499211612u, 581869302u, 3890346734u, 3586334585u, 545404204u};
  for (uint32_t v : first) EXPECT_EQ(t.next(), v);
  for (uint32_t seed : {0u, 1u, 16777216u, 0xFFFFFFFFu}) {
    Twistar ours(seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(ours.next(), reference()) << seed << " #" << i;
  }
  t.set_seed(5489);
  EXPECT_EQ(t.next(), 3499211612u);
  EXPECT_EQ(t.seed(), 5489u);
  Twistar low(77);
  std::mt19937 reference(77);
  EXPECT_EQ(low.next_below(8), reference() & 7);
}

TEST(TwistarTest, FieldsDrawTheSamePairsForASeed) {
  struct Case {
    int seed, colours;
    int pairs[6][2];  // the first played pair and the queue behind it
  };
  // v = next mod (n * n - 1); colours v / n and v mod n.
  auto expected = [](int seed, int n, int out[6][2]) {
    std::mt19937 r(seed);
    r();  // the construction pair, replaced at the end of the count-in
    for (int i = 0; i < 6; ++i) {
      uint32_t v = r() % (uint32_t)(n * n - 1);
      out[i][0] = (int)(v / n);
      out[i][1] = (int)(v % n);
    }
  };
  for (int seed : {0, 12345, 16777216}) {
    for (int n : {3, 4, 6}) {
      int want[6][2];
      expected(seed, n, want);
      side_settings s;
      s.seed = seed;
      s.colours = n;
      auto a = MakeField(s, 24);
      auto b = MakeField(s, 420);
      EXPECT_EQ(a->pair.piece->colour_a, want[0][0]);
      EXPECT_EQ(a->pair.piece->colour_b, want[0][1]);
      for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(a->pair.queue[i][0], want[i + 1][0]);
        EXPECT_EQ(a->pair.queue[i][1], want[i + 1][1]);
        EXPECT_EQ(b->pair.queue[i][0], a->pair.queue[i][0]);
        EXPECT_EQ(b->pair.queue[i][1], a->pair.queue[i][1]);
      }
    }
  }
  // The known first pair for four colours and seed 0.
  side_settings s;
  s.seed = 0;
  s.colours = 4;
  auto f = MakeField(s);
  EXPECT_EQ(f->pair.piece->colour_a, 2);
  EXPECT_EQ(f->pair.piece->colour_b, 1);
}

TEST(TwistarTest, ThreeColoursNeverDrawTheLastColourTwice) {
  side_settings s;
  s.colours = 3;
  s.seed = 99;
  auto f = MakeField(s);
  for (int i = 0; i < 3000; ++i) {
    f->draw_countdown(1);
    EXPECT_FALSE(f->pair.piece->colour_a == 2 && f->pair.piece->colour_b == 2);
    EXPECT_LT(f->pair.piece->colour_a, 3);
  }
}

}  // namespace
