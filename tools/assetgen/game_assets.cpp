#include "tools/assetgen/game_assets.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <vector>

bool WriteGameAssets(const std::string& run_dir) {
  std::error_code error;
  for (const char* folder : {"images", "sounds", "bgimages", "musics"}) {
    std::filesystem::create_directories(run_dir + "/" + folder, error);
    if (error) {
      std::fprintf(stderr, "assetgen: cannot make %s/%s: %s\n", run_dir.c_str(), folder, error.message().c_str());
      return false;
    }
  }
  std::vector<const AssetTask*> tasks;
  using Table = std::pair<const AssetTask*, size_t>;
  for (const auto& [table, count] : {Table{kInterfaceTasks, kInterfaceTaskCount},
                                     Table{kSceneryTasks, kSceneryTaskCount}, Table{kSoundTasks, kSoundTaskCount}})
    for (size_t i = 0; i < count; ++i) tasks.push_back(&table[i]);
  // The tasks share nothing, so a few threads take them in turn.
  std::atomic<size_t> next{0};
  std::atomic<bool> ok{true};
  auto worker = [&] {
    for (size_t i; (i = next++) < tasks.size();) {
      if (!tasks[i]->write(run_dir)) {
        std::fprintf(stderr, "assetgen: %s failed\n", tasks[i]->what);
        ok = false;
      }
    }
  };
  std::vector<std::thread> threads;
  const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
  for (unsigned t = 0; t < count; ++t) threads.emplace_back(worker);
  for (std::thread& t : threads) t.join();
  return ok;
}
