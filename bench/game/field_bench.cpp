// One frame update of a two-field battle with the engine not started (the
// rules, the drawing and sound calls as they fall through): goal under 20 us.
#include <benchmark/benchmark.h>

#include "game/buttons.h"
#include "game/field.h"
#include "tests/game/harness/match_driver.h"

namespace {

void BM_BattleFrame(benchmark::State& state) {
  ScriptedMatch match = random_match(29, 3);
  ButtonScript scripts[2] = {ButtonScript(1), ButtonScript(2)};
  auto make = [&](Field* f[2]) {
    f[0] = new Field(match.side[0], 24, 2);
    f[1] = new Field(match.side[1], 420, 3);
    link_opponents(f[0], f[1]);
    f[0]->draw_countdown(1);
    f[1]->draw_countdown(1);
  };
  Field* fields[2];
  make(fields);
  for (auto _ : state) {
    int bits[5] = {0, scripts[0].next(), scripts[1].next(), 0, 0};
    feed_input(bits, nullptr);
    int a = fields[0]->update();
    int b = fields[1]->update();
    if (a >= kFieldGoal || b >= kFieldGoal) {
      state.PauseTiming();
      fields[0]->reset(fields[0]->settings.seed + 1);
      fields[1]->reset(fields[0]->settings.seed);
      fields[0]->draw_countdown(1);
      fields[1]->draw_countdown(1);
      state.ResumeTiming();
    }
  }
  delete fields[0];
  delete fields[1];
}
BENCHMARK(BM_BattleFrame);

}  // namespace

BENCHMARK_MAIN();
