// Plays seeded net battles between two machines in one process on the
// loopback address, through a relay that loses, copies, delays and reorders
// datagrams; compares the two machines frame by frame and each machine's
// replay with the match; prints how many matches stayed equal. Runs in a
// temporary folder of its own.
//   net_soak [matches (100)] [first seed (1)] [loss % (10)] [copies % (10)] [most delay in frames (4)]
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/game/net/harness/net_pair.h"

int main(int argc, char** argv) {
  auto arg = [&](int i, long fallback) { return argc > i ? std::strtol(argv[i], nullptr, 10) : fallback; };
  const int matches = (int)arg(1, 100);
  const uint32_t first = (uint32_t)arg(2, 1);
  Relay_Settings relay;
  relay.loss_percent = (int)arg(3, 10);
  relay.duplicate_percent = (int)arg(4, 10);
  relay.max_delay_frames = (int)arg(5, 4);
  std::filesystem::path dir = std::filesystem::temp_directory_path() / ("net_soak." + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
  int equal = 0;
  uint64_t frames = 0, waited = 0, lost = 0, copied = 0, late = 0;
  const int64_t start = monotonic_ms();
  for (int i = 0; i < matches; ++i) {
    const uint32_t seed = first + (uint32_t)i;
    Net_Match_Settings s = random_net_match(seed);
    s.relay = true;
    s.relay_settings = relay;
    s.relay_settings.seed = seed;
    Net_Match_Run run = play_net_match(s);
    const std::string differs = compare_net_match(run);
    if (differs.empty())
      ++equal;
    else
      std::printf("seed %u: %s\n", seed, differs.c_str());
    frames += run.hashes[0].size();
    waited += (uint64_t)run.waited_frames[0] + (uint64_t)run.waited_frames[1];
    lost += run.relay_lost;
    copied += run.relay_copied;
    late += run.relay_late;
    std::filesystem::remove_all(dir / "replay");
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(dir);
  std::printf("relay: %d%% lost, %d%% copied, held up to %d frames\n", relay.loss_percent, relay.duplicate_percent,
              relay.max_delay_frames);
  std::printf("%llu frames played; datagrams lost %llu, copied %llu, held back %llu; frames waited %llu; %.1f s\n",
              (unsigned long long)frames, (unsigned long long)lost, (unsigned long long)copied,
              (unsigned long long)late, (unsigned long long)waited, (monotonic_ms() - start) / 1000.0);
  std::printf("%d of %d matches stayed equal on both machines, and in both replays\n", equal, matches);
  return equal == matches ? 0 : 1;
}
