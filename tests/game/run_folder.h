// A run folder of its own for the real program: its binary, data, plug-ins
// and MIDI library linked from the build's run folder, with a fresh
// "replay" folder and no settings or scores.
#pragma once

#include <filesystem>
#include <string>

inline void MakeRunFolder(const std::string& run, const std::string& built = VOX_RUN_DIR) {
  namespace fs = std::filesystem;
  fs::create_directories(run + "/replay");
  for (const auto& entry : fs::directory_iterator(built)) {
    std::string name = entry.path().filename().string();
    if (name == "replay" || name == "score.vsd" || name == "Voxaldrift.ini") continue;
    fs::create_symlink(entry.path(), run + "/" + name);
  }
}
