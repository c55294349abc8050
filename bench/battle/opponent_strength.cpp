// The opponents' strength: every rival against every other at computer level
// 2, the same seeded matches for each pairing, played headless by two
// computer fields as the battle scene plays them (left field first). Each
// search is given the time a paced frame would give it, so a match depends on
// its seed alone. Prints the win rates of each pairing, and per opponent its
// win rate, the longest chain of its matches and the length of its chains on
// average, and its think time per decision: each search is run a second time
// on the main thread with the same view and timed alone, by the processor
// time of the thread (with the share of decisions over 1 ms and over one
// frame of 16.7 ms), and its worst by the clock.
//   opponent_strength [matches per pairing (50)] [frame limit per match (72000)]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <time.h>

#include "game/field.h"

namespace {

constexpr int kRivals = 4;

struct SideStats {
  int matches = 0, wins = 0;
  long longest_chain_sum = 0;  // per match
  long chains = 0, chain_steps = 0;
  std::vector<double> think_us;  // processor time of the thread
  double worst_wall_us = 0;      // the worst by the clock, waits for the processor included
};

struct PairingStats {
  int left_wins = 0, right_wins = 0, unfinished = 0;
  long frames = 0;
};

// Watches one field's chains: every clear leaves a new label with its chain
// number; a chain ends where a new one starts at 1 or the match ends.
struct ChainWatch {
  int current = 0;
  void frame(const Field& f, SideStats* s) {
    int top = 0;
    for (const Chein_Count* label : f.hud.chain_popups)
      if (label && label->timer == 29) top = std::max(top, (int)label->chain);
    if (top == 0) return;
    if (top == 1 && current > 0) close(s);
    current = std::max(current, top);
  }
  void close(SideStats* s) {
    if (current == 0) return;
    ++s->chains;
    s->chain_steps += current;
    current = 0;
  }
};

double now_us(clockid_t clock) {
  timespec t;
  clock_gettime(clock, &t);
  return (double)t.tv_sec * 1e6 + (double)t.tv_nsec / 1e3;
}

// Waits for a search started in this frame, then times the same search again.
void time_search(const Field& f, HANDLE* last, SideStats* s) {
  if (!f.computer.think_thread || f.computer.think_thread == *last) return;
  *last = f.computer.think_thread;
  WaitForSingleObject(f.computer.think_thread, kThinkWaitLimitMs);
  int32_t again = 0;
  const double cpu = now_us(CLOCK_THREAD_CPUTIME_ID), wall = now_us(CLOCK_MONOTONIC);
  f.computer.think_set(&again);
  s->think_us.push_back(now_us(CLOCK_THREAD_CPUTIME_ID) - cpu);
  s->worst_wall_us = std::max(s->worst_wall_us, now_us(CLOCK_MONOTONIC) - wall);
}

side_settings side(HMODULE module, int seed) {
  side_settings s;  // the settings a fresh battle settings screen offers
  s.mode = 3;
  s.seed = seed;
  s.module = module;
  s.com_level = 2;
  return s;
}

uint32_t match_seed(int k) {
  uint32_t x = (uint32_t)k * 2654435761u + 12345u;
  x ^= x >> 15;
  return x % 16777217u;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[(size_t)std::min<double>((double)v.size() - 1, p * (double)(v.size() - 1) + 0.5)];
}

}  // namespace

int main(int argc, char** argv) {
  const int matches = argc > 1 ? std::atoi(argv[1]) : 50;
  const int limit = argc > 2 ? std::atoi(argv[2]) : 72000;
  HMODULE modules[kRivals];
  for (int i = 0; i < kRivals; ++i) {
    std::string path = std::string(VOX_CHARACTERS_DIR) + "/rival" + std::to_string(i + 1) + ".so";
    modules[i] = LoadLibraryA(path.c_str());
    if (!modules[i]) {
      std::fprintf(stderr, "cannot load %s\n", path.c_str());
      return 1;
    }
  }
  SideStats sides[kRivals];
  PairingStats pairings[kRivals][kRivals];
  for (int a = 0; a < kRivals; ++a)
    for (int b = 0; b < kRivals; ++b) {
      if (a == b) continue;
      for (int k = 0; k < matches; ++k) {
        const int seed = (int)match_seed(k);
        Field left(side(modules[a], seed), 24, 0), right(side(modules[b], seed), 420, 3);
        link_opponents(&left, &right);
        left.draw_countdown(1);
        right.draw_countdown(1);
        Field* fields[2] = {&left, &right};
        SideStats* stats[2] = {&sides[a], &sides[b]};
        HANDLE last[2] = {};
        ChainWatch chains[2];
        for (int i = 0; i < 2; ++i) {
          fields[i]->start_thinking();
          time_search(*fields[i], &last[i], stats[i]);
        }
        int r[2] = {kFieldPlaying, kFieldPlaying}, frame = 0;
        for (; frame < limit && r[0] < kFieldGoal && r[1] < kFieldGoal; ++frame)
          for (int i = 0; i < 2; ++i) {
            r[i] = fields[i]->update();
            time_search(*fields[i], &last[i], stats[i]);
            chains[i].frame(*fields[i], stats[i]);
          }
        PairingStats& p = pairings[a][b];
        p.frames += frame;
        const bool ended = r[0] >= kFieldGoal || r[1] >= kFieldGoal;
        const int winner = !ended ? 0 : (r[0] == kFieldGoal || r[1] == kFieldToppedOut) ? 1 : 2;
        if (winner == 1) ++p.left_wins, ++sides[a].wins;
        if (winner == 2) ++p.right_wins, ++sides[b].wins;
        if (!winner) ++p.unfinished;
        for (int i = 0; i < 2; ++i) {
          chains[i].close(stats[i]);
          ++stats[i]->matches;
          stats[i]->longest_chain_sum += fields[i]->counters.max_chain;
        }
      }
    }

  std::printf("Opponent strength at computer level 2: %d seeded matches per pairing (battle defaults: level 1,\n"
              "4 colours, groups of 4, clear and garbage scores 40), each rival on the left against each other\n\n",
              matches);
  std::printf("| left \\ right | rival1 | rival2 | rival3 | rival4 |\n|---|---|---|---|---|\n");
  for (int a = 0; a < kRivals; ++a) {
    std::printf("| rival%d |", a + 1);
    for (int b = 0; b < kRivals; ++b) {
      if (a == b) {
        std::printf(" - |");
        continue;
      }
      const PairingStats& p = pairings[a][b];
      std::printf(" %d%% (%d-%d%s) |", 100 * p.left_wins / matches, p.left_wins, p.right_wins,
                  p.unfinished ? (" +" + std::to_string(p.unfinished) + " unfinished").c_str() : "");
    }
    std::printf("\n");
  }
  std::printf("\nCells: the left rival's win rate (its wins - the right rival's wins).\n\n");
  std::printf("| opponent | matches | win rate | longest chain per match | chain length | decisions | think mean | "
              "think p99 | think worst | over 1 ms | over a frame | worst by the clock |\n"
              "|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  for (int a = 0; a < kRivals; ++a) {
    const SideStats& s = sides[a];
    double mean = 0;
    for (double t : s.think_us) mean += t;
    mean /= std::max<size_t>(1, s.think_us.size());
    auto share_over = [&](double us) {
      size_t n = 0;
      for (double t : s.think_us) n += t > us;
      return 100.0 * (double)n / (double)std::max<size_t>(1, s.think_us.size());
    };
    std::printf("| rival%d | %d | %.1f%% | %.2f | %.2f | %zu | %.0f us | %.0f us | %.0f us | %.2f%% | %.2f%% | %.0f us |\n", a + 1,
                s.matches, 100.0 * s.wins / std::max(1, s.matches),
                (double)s.longest_chain_sum / std::max(1, s.matches),
                (double)s.chain_steps / std::max<long>(1, s.chains), s.think_us.size(), mean,
                percentile(s.think_us, 0.99), percentile(s.think_us, 1.0), share_over(1000), share_over(16667),
                s.worst_wall_us);
  }
  long frames = 0;
  for (auto& row : pairings)
    for (const PairingStats& p : row) frames += p.frames;
  std::printf("\n%d matches, %.0f frames per match on average.\n", matches * kRivals * (kRivals - 1),
              (double)frames / (matches * kRivals * (kRivals - 1)));
  for (HMODULE m : modules) FreeLibrary(m);
  return 0;
}
