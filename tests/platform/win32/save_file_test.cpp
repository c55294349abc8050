// Saves through a synced temporary file: a failure at any step leaves the
// old file and no temporary file, the last error says why and a save under
// a new name says which name it was to take; a read-only file is never
// replaced; a file replaced keeps its permissions; a new name is never one
// that exists; and the clean-up at start takes the temporary files of its
// stem alone, never one a running save holds.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win32/save_file.h"
#include "platform/win32/win32.h"
#include "tests/support/temp_dir.h"

namespace {

using vox_win32::SaveStep;

SaveStep g_step;
int g_error = 0;
int FailTheStep(SaveStep step) { return step == g_step ? g_error : 0; }

class SaveFileTest : public TempDirTest {
 protected:
  void TearDown() override {
    vox_win32::SetSaveStepHook(nullptr);
    TempDirTest::TearDown();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(dir())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  // "play<n>.vrs" in the folder.
  std::function<std::string(int)> PlayNames() const {
    return [this](int n) { return Path("play" + std::to_string(n) + ".vrs"); };
  }
};

TEST_F(SaveFileTest, AFailureAtAnyStepLeavesTheOldFileAndNothingElse) {
  struct Fault {
    SaveStep step;
    int error;
    DWORD last_error;
  };
  const Fault faults[] = {
      {SaveStep::kCreate, EROFS, ERROR_WRITE_PROTECT},   {SaveStep::kCreate, EACCES, ERROR_ACCESS_DENIED},
      {SaveStep::kCreate, ENOSPC, ERROR_DISK_FULL},      {SaveStep::kWrite, ENOSPC, ERROR_DISK_FULL},
      {SaveStep::kWrite, EDQUOT, ERROR_DISK_QUOTA_EXCEEDED}, {SaveStep::kSync, EIO, ERROR_INVALID_PARAMETER},
      {SaveStep::kPublish, EACCES, ERROR_ACCESS_DENIED}, {SaveStep::kPublish, EROFS, ERROR_WRITE_PROTECT},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(std::to_string((int)f.step) + " " + std::to_string(f.error));
    for (auto& e : std::filesystem::directory_iterator(dir())) std::filesystem::remove_all(e.path());
    WriteFile("score.vsd", "old");
    WriteFile("play0.vrs", "old replay");
    const std::vector<std::string> before = Names();
    g_step = f.step;
    g_error = f.error;
    vox_win32::SetSaveStepHook(FailTheStep);
    SetLastError(0);
    EXPECT_FALSE(vox_win32::SaveReplacingFile(Path("score.vsd"), "new", 3));
    EXPECT_EQ(GetLastError(), f.last_error);
    SetLastError(0);
    int tried = -2;
    EXPECT_EQ(vox_win32::SaveUnderNewName(dir(), "play", "new", 3, PlayNames(), 100, &tried), -1);
    EXPECT_EQ(GetLastError(), f.last_error);
    EXPECT_EQ(tried, 1);  // the name it was to take
    vox_win32::SetSaveStepHook(nullptr);
    EXPECT_EQ(Names(), before);
    EXPECT_EQ(ReadFile("score.vsd"), "old");
  }
}

TEST_F(SaveFileTest, WhatStandsInTheWayIsReportedAndLeftAsItIs) {
  // A folder where the file should be; a file where its folder should be; no
  // folder at all.
  std::filesystem::create_directory(Path("score.vsd"));
  EXPECT_FALSE(vox_win32::SaveReplacingFile(Path("score.vsd"), "new", 3));
  EXPECT_EQ(GetLastError(), ERROR_DIRECTORY_NOT_SUPPORTED);
  EXPECT_TRUE(std::filesystem::is_directory(Path("score.vsd")));
  WriteFile("replay", "a file");
  EXPECT_EQ(vox_win32::SaveUnderNewName(Path("replay"), "play", "x", 1, PlayNames(), 10), -1);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(vox_win32::SaveReplacingFile(Path("missing/x.ini"), "new", 3));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(Names(), (std::vector<std::string>{"replay", "score.vsd"}));
}

TEST_F(SaveFileTest, AFileThatMayNotBeWrittenIsRefusedAndKeptAsItIs) {
  // No write bit at all is read-only whoever runs the save, as the platform's
  // attribute is; a file that only others may write is refused to a process
  // without the privilege to write it anyway.
  const bool privileged = geteuid() == 0;
  struct Case {
    mode_t mode;
    bool refused;
    DWORD last_error;
  };
  const Case cases[] = {
      {0444, true, ERROR_FILE_READ_ONLY},
      {0400, true, ERROR_FILE_READ_ONLY},
      {0000, true, ERROR_FILE_READ_ONLY},
      {0464, !privileged, ERROR_ACCESS_DENIED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode));
    WriteFile("x.ini", "old");
    ASSERT_EQ(chmod(Path("x.ini").c_str(), c.mode), 0);
    SetLastError(0);
    EXPECT_EQ(vox_win32::SaveReplacingFile(Path("x.ini"), "new", 3), !c.refused);
    struct stat st;
    ASSERT_EQ(stat(Path("x.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(Names(), std::vector<std::string>{"x.ini"});
    chmod(Path("x.ini").c_str(), 0600);
    EXPECT_EQ(ReadFile("x.ini"), c.refused ? "old" : "new");
    if (c.refused) {
      EXPECT_EQ(GetLastError(), c.last_error);
    }
    std::filesystem::remove(Path("x.ini"));
  }
}

TEST_F(SaveFileTest, AReplacedFileKeepsItsPermissionsAndANewOneGetsTheUsual) {
  WriteFile("x.ini", "old");
  chmod(Path("x.ini").c_str(), 0640);
  ASSERT_TRUE(vox_win32::SaveReplacingFile(Path("x.ini"), "new", 3));
  struct stat st;
  ASSERT_EQ(stat(Path("x.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  const mode_t mask = umask(027);
  ASSERT_TRUE(vox_win32::SaveReplacingFile(Path("y.ini"), "new", 3));
  ASSERT_EQ(vox_win32::SaveUnderNewName(dir(), "play", "r", 1, PlayNames(), 10), 0);
  umask(mask);
  for (const char* name : {"y.ini", "play0.vrs"}) {
    ASSERT_EQ(stat(Path(name).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << name;
  }
  EXPECT_EQ(ReadFile("x.ini"), "new");
}

TEST_F(SaveFileTest, ANewNameIsNeverOneThatExists) {
  WriteFile("play0.vrs", "zero");
  WriteFile("play2.vrs", "two");
  EXPECT_EQ(vox_win32::SaveUnderNewName(dir(), "play", "one", 3, PlayNames(), 100), 1);
  int tried = -2;
  EXPECT_EQ(vox_win32::SaveUnderNewName(dir(), "play", "three", 5, PlayNames(), 100, &tried), 3);
  EXPECT_EQ(tried, 3);
  // A name the caller skips (an empty name) is not taken either.
  auto skip_four = [this](int n) { return n == 4 ? std::string() : Path("play" + std::to_string(n) + ".vrs"); };
  EXPECT_EQ(vox_win32::SaveUnderNewName(dir(), "play", "five", 4, skip_four, 100), 5);
  // Every name taken: nothing saved, nothing left.
  EXPECT_EQ(vox_win32::SaveUnderNewName(dir(), "play", "none", 4, PlayNames(), 4, &tried), -1);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(tried, -1);
  EXPECT_EQ(ReadFile("play0.vrs"), "zero");
  EXPECT_EQ(ReadFile("play1.vrs"), "one");
  EXPECT_EQ(ReadFile("play2.vrs"), "two");
  EXPECT_EQ(ReadFile("play5.vrs"), "five");
  EXPECT_EQ(Names(), (std::vector<std::string>{"play0.vrs", "play1.vrs", "play2.vrs", "play3.vrs", "play5.vrs"}));
}

TEST_F(SaveFileTest, TheCleanUpTakesItsOwnTemporaryFilesAlone) {
  const std::vector<std::string> stale = {"~score.vsd.AbC123.tmp", "~score.vsd.000000.tmp", "~SCORE.VSD.zzzzzz.tmp"};
  const std::vector<std::string> kept = {
      "score.vsd",              "score.vsd.AbC123",         "~score.vsd.AbC12.tmp",   "~score.vsd.AbC1234.tmp",
      "~score.vsd.AbC-12.tmp",  "~score.vsd.AbC123.tmp.bak", "~score.vsd.AbC123.TMP", "score.vsd.AbC123.tmp",
      "~score.vsdx.AbC123.tmp", "~play.AbC123.tmp",          "~score.vsd.held00.tmp",
  };
  for (const std::string& name : stale) WriteFile(name, "stale");
  for (const std::string& name : kept) WriteFile(name, "a player's");
  // Named like a temporary file, but a folder, and a link to a player's file.
  std::filesystem::create_directory(Path("~score.vsd.folder.tmp"));
  std::filesystem::create_symlink(Path("score.vsd"), Path("~score.vsd.linked.tmp"));
  // A save still running (here, or in another program) holds its file.
  int held = open(Path("~score.vsd.held00.tmp").c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);

  EXPECT_EQ(vox_win32::RemoveStaleSaveFiles(dir(), "score.vsd"), 3);
  close(held);
  for (const std::string& name : stale) EXPECT_FALSE(std::filesystem::exists(Path(name))) << name;
  for (const std::string& name : kept) EXPECT_EQ(ReadFile(name), "a player's") << name;
  EXPECT_TRUE(std::filesystem::is_directory(Path("~score.vsd.folder.tmp")));
  EXPECT_TRUE(std::filesystem::is_symlink(Path("~score.vsd.linked.tmp")));
  // Once its save has ended, the held file goes as well.
  EXPECT_EQ(vox_win32::RemoveStaleSaveFiles(dir(), "score.vsd"), 1);
  EXPECT_EQ(vox_win32::RemoveStaleSaveFiles(Path("missing"), "score.vsd"), 0);
}

}  // namespace
