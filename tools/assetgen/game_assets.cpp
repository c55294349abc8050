#include "tools/assetgen/game_assets.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr const char* kFolders[] = {"images", "sounds", "bgimages", "musics"};
// The files the last run made, one path a line relative to the run folder:
// the next run removes those it no longer makes (a renamed picture or
// track), and never a file it did not make.
constexpr const char* kMadeList = ".assetgen-made";
// What the generator made under other names before it kept that list.
constexpr const char* kMadeBeforeTheList[] = {
    "bgimages/sky.jpg",         "bgimages/sea.jpg",          "bgimages/dusk.jpg",        "bgimages/blossom.jpg",
    "musics/drift_parade.mid", "musics/crystal_steps.mid", "musics/sky_garden.ogg", "musics/neon_voxel.ogg"};

// The files of the folders with their times of last change.
std::map<std::string, fs::file_time_type> FolderFiles(const std::string& run_dir) {
  std::map<std::string, fs::file_time_type> files;
  std::error_code error;
  for (const char* folder : kFolders)
    for (const auto& entry : fs::directory_iterator(run_dir + "/" + folder, error))
      if (entry.is_regular_file(error))
        files[std::string(folder) + "/" + entry.path().filename().string()] = entry.last_write_time(error);
  return files;
}

// Removes what the last run made and this one did not, and lists what this
// one made: every file new or changed since `before`.
bool KeepMadeList(const std::string& run_dir, const std::map<std::string, fs::file_time_type>& before) {
  std::set<std::string> made;
  for (const auto& [name, time] : FolderFiles(run_dir)) {
    const auto was = before.find(name);
    if (was == before.end() || was->second != time) made.insert(name);
  }
  const std::string list = run_dir + "/" + kMadeList;
  std::vector<std::string> last;
  std::ifstream old(list);
  if (old)
    for (std::string name; std::getline(old, name);) last.push_back(name);
  else
    last.assign(std::begin(kMadeBeforeTheList), std::end(kMadeBeforeTheList));
  std::error_code error;
  for (const std::string& name : last)
    if (!name.empty() && !made.count(name) && name.find("..") == std::string::npos) fs::remove(run_dir + "/" + name, error);
  std::ofstream out(list, std::ios::trunc);
  for (const std::string& name : made) out << name << "\n";
  out.close();
  if (!out) std::fprintf(stderr, "assetgen: cannot write %s\n", list.c_str());
  return static_cast<bool>(out);
}

}  // namespace

bool WriteGameAssets(const std::string& run_dir) {
  std::error_code error;
  for (const char* folder : kFolders) {
    std::filesystem::create_directories(run_dir + "/" + folder, error);
    if (error) {
      std::fprintf(stderr, "assetgen: cannot make %s/%s: %s\n", run_dir.c_str(), folder, error.message().c_str());
      return false;
    }
  }
  const auto before = FolderFiles(run_dir);
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
  return ok && KeepMadeList(run_dir, before);
}
