// Fixtures for tests of the engine core: a temporary folder that is also the
// log's start folder, and a fresh file layer with an empty archive table.
#pragma once

#include <string>

#include "engine/core/archive.h"
#include "engine/core/engine_state.h"
#include "engine/core/file.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "tests/support/temp_dir.h"

// The engine state is saved and restored around each test; the log is on and
// writes "Log.txt" into the test's folder.
class EngineLogTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    saved_engine_ = g_engine;
    CopyStringBounded(g_engine.start_directory, dir().c_str(), sizeof g_engine.start_directory);
    g_engine.log_off = 0;
    StartLogFile();
  }
  void TearDown() override {
    g_engine = saved_engine_;
    TempDirTest::TearDown();
  }
  std::string Log() const { return ReadFile("Log.txt"); }

 private:
  EngineState saved_engine_;
};

// The archive-aware file layer with no archive open.
class FileLayerTestBase : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    SetFileLayer(nullptr);
    InitArchiveTable();
  }
  void TearDown() override {
    InitArchiveTable();
    SetFileLayer(nullptr);
    TempDirTest::TearDown();
  }
};
