// Each of the game's saves (a setting, the high scores, a replay) killed
// with SIGKILL at every step of its way to the disk, in a child process:
// the file under its name is always the old one or the new one, whole;
// what the killed save left is at most its temporary file, which the next
// start removes, and nothing else goes with it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "game/hiscore.h"
#include "game/program.h"
#include "game/replay.h"
#include "game/settings.h"
#include "platform/win32/save_file.h"
#include "tests/support/temp_dir.h"

namespace {

using vox_win32::SaveStep;

SaveStep g_kill_step;
int KillAtTheStep(SaveStep step) {
  if (step == g_kill_step) raise(SIGKILL);
  return 0;
}

// One kind of save: the file it writes, how the folder looks before, the
// save itself, and the file's old and new bytes.
struct SaveKind {
  const char* what;
  const char* file;    // relative to the run folder
  const char* folder;  // where its temporary files go
  const char* stem;    // what they are named after
  const char* before_file;  // a file there before, with these bytes
  std::string before_bytes;
  std::function<bool()> save;
  std::string old_bytes, new_bytes;
};

std::vector<uint8_t> ReplayBytes() {
  std::vector<uint8_t> b(kReplayMagic, kReplayMagic + 4);
  b.push_back(1);
  b.resize(4096, 0x5A);
  return b;
}

std::string HiscoreBytes(const hiscore_table& t) {
  auto b = encode_hiscores(t);
  return std::string(b.begin(), b.end());
}

hiscore_table NewTable() {
  hiscore_table t = default_hiscores();
  insert_hiscore(&t, 1, 0, "KILL", 123456, 7, 8);
  return t;
}

std::vector<SaveKind> Kinds() {
  const std::vector<uint8_t> replay = ReplayBytes();
  return {
      {"a setting", "Voxaldrift.ini", ".", "Voxaldrift.ini",
       "Voxaldrift.ini", "[Custom]\r\nBGM_Volume=50\r\n",
       [] { return write_setting("BGM_Volume", 55); }, "[Custom]\r\nBGM_Volume=50\r\n",
       "[Custom]\r\nBGM_Volume=55\r\n"},
      {"the high scores", "score.vsd", ".", "score.vsd",
       "score.vsd", HiscoreBytes(default_hiscores()),
       [] { return write_hiscore_file(NewTable()); }, HiscoreBytes(default_hiscores()), HiscoreBytes(NewTable())},
      {"a replay", "replay/play1.vrs", "replay", "play", "replay/play0.vrs", "older",
       [replay] { return store_replay_file(replay) == 1; }, "", std::string(replay.begin(), replay.end())},
  };
}

class SaveKillTest : public TempDirTest {
 protected:
  // Runs the save in a child killed at the step; true when it was killed
  // there (or, with `completes`, ended normally).
  bool RunKilled(const SaveKind& kind, SaveStep step, bool completes) {
    fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
      g_kill_step = step;
      if (!completes) vox_win32::SetSaveStepHook(KillAtTheStep);
      _exit(kind.save() ? 0 : 1);
    }
    int status = 0;
    if (waitpid(child, &status, 0) != child) return false;
    return completes ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                     : WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  }
  std::vector<std::string> Names(const char* folder) const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(Path(folder))) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  int Temporaries(const SaveKind& kind) const {
    int n = 0;
    for (const std::string& name : Names(kind.folder)) n += vox_win32::IsSaveTemporaryName(name, kind.stem);
    return n;
  }
};

TEST_F(SaveKillTest, AKillAtAnyStepLeavesTheOldFileOrTheNewOneAndTheNextStartCleansUp) {
  const SaveStep steps[] = {SaveStep::kCreate, SaveStep::kWrite, SaveStep::kSync, SaveStep::kPublish,
                            SaveStep::kSyncFolder};
  for (const SaveKind& kind : Kinds()) {
    for (int s = 0; s <= 5; ++s) {
      const bool completes = s == 5;
      const SaveStep step = completes ? SaveStep::kSyncFolder : steps[s];
      SCOPED_TRACE(std::string(kind.what) + (completes ? ", not killed" : ", killed before step ") +
                   std::to_string(s));
      std::filesystem::remove_all(Path("replay"));
      for (auto& e : std::filesystem::directory_iterator(dir())) std::filesystem::remove_all(e.path());
      WriteFile(kind.before_file, kind.before_bytes);
      // Files of the player's own, named much like the temporary files.
      const std::vector<std::string> mine = {"Voxaldrift.ini.ABCDEF", "~score.vsd.ABCDE.tmp",
                                             "~score.vsd.ABCDEF.tmp.bak", "replay/~play0.vrs",
                                             "replay/~Voxaldrift.ini.ABCDEF.txt"};
      for (const std::string& name : mine) WriteFile(name, "mine");
      const std::vector<std::string> before = Names(kind.folder);

      ASSERT_TRUE(RunKilled(kind, step, completes));
      // Published when the kill came after the rename or link.
      const bool published = completes || step == SaveStep::kSyncFolder;
      EXPECT_EQ(ReadFile(kind.file), published ? kind.new_bytes : kind.old_bytes);
      const bool temporary_left = !completes && step != SaveStep::kCreate && step != SaveStep::kSyncFolder;
      EXPECT_EQ(Temporaries(kind), temporary_left ? 1 : 0);

      clear_unfinished_saves();
      EXPECT_EQ(Temporaries(kind), 0);
      std::vector<std::string> after = Names(kind.folder);
      if (published && std::string(kind.folder) == "replay") std::erase(after, "play1.vrs");
      EXPECT_EQ(after, before);
      for (const std::string& name : mine) EXPECT_EQ(ReadFile(name), "mine") << name;
      // And the next save goes through.
      std::filesystem::remove(Path(kind.file));
      ASSERT_TRUE(kind.save());
      EXPECT_EQ(ReadFile(kind.file), kind.new_bytes);
    }
  }
}

}  // namespace
