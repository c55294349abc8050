// Plays seeded whole matches of every mode, saves each as a replay file,
// reads it back, replays it and compares the state of every frame; prints
// how many matched. Runs in a temporary folder of its own.
//   replay_soak [matches (1000)] [first seed (1)]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "tests/game/harness/match_driver.h"

int main(int argc, char** argv) {
  int matches = argc > 1 ? std::atoi(argv[1]) : 1000;
  uint32_t first = argc > 2 ? (uint32_t)std::strtoul(argv[2], nullptr, 10) : 1;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("replay_soak." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  int matched = 0;
  for (int i = 0; i < matches; ++i) {
    uint32_t seed = first + (uint32_t)i;
    int mode = (int)(seed % 4);
    std::string message;
    if (replay_matches_live(random_match(seed, mode), &message))
      ++matched;
    else
      std::printf("seed %u mode %d: %s\n", seed, mode, message.c_str());
    std::filesystem::remove_all(dir / "replay");
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(dir);
  std::printf("%d of %d matches replayed frame for frame\n", matched, matches);
  return matched == matches ? 0 : 1;
}
