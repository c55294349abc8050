// A fresh temporary folder per test, made the current folder for the test's
// duration and removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <string>

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Path of a file inside the folder (POSIX form).
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::string previous_dir_;
};

// The source folder (for committed fixtures); the environment variable
// VOX_SOURCE_DIR overrides the folder the tests were built from.
std::string SourceDir();
