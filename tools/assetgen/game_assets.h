// The game's own pictures, sounds and music, written into its run folder
// (images/, sounds/, bgimages/, musics/) by independent tasks.
#pragma once

#include <cstddef>
#include <string>

struct AssetTask {
  const char* what;
  bool (*write)(const std::string& run_dir);
};

extern const AssetTask kInterfaceTasks[];
extern const size_t kInterfaceTaskCount;
extern const AssetTask kSceneryTasks[];
extern const size_t kSceneryTaskCount;
extern const AssetTask kSoundTasks[];
extern const size_t kSoundTaskCount;

// The ten sound effects of sounds/.
bool WriteSoundEffects(const std::string& run_dir);

// Makes the folders and runs every task, several at a time. False when any
// task failed (each reports its own error).
bool WriteGameAssets(const std::string& run_dir);

// The program's icon (64 x 64, with opacity) as a PNG file at `path`; the
// program embeds it, so it is written apart from the run folder.
bool WriteProgramIcon(const std::string& path);
