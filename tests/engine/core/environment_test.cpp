#include <gtest/gtest.h>

#include <string>

#include "engine/core/engine_state.h"
#include "engine/core/log.h"
#include "engine/core/util.h"
#include "tests/support/engine_fixture.h"

namespace {

class EnvironmentTest : public EngineLogTest {
 protected:
  void SetUp() override {
    EngineLogTest::SetUp();
    saved_env_ = g_environment;
  }
  void TearDown() override {
    g_environment = saved_env_;
    EngineLogTest::TearDown();
  }
  EnvironmentInfo saved_env_;
};

TEST_F(EnvironmentTest, ExtensionsCountOnlyWhenTheOneBeforeIsPresent) {
  constexpr uint32_t MMX = 1u << 23, SSE = 1u << 25, SSE2 = 1u << 26;
  struct {
    uint32_t features;
    int mmx, sse, sse2;
    bool logs_no_mmx;
  } cases[] = {
      {0, 0, 0, 0, true},
      {SSE | SSE2, 0, 0, 0, true},
      {MMX, 1, 0, 0, false},
      {MMX | SSE2, 1, 0, 0, false},
      {MMX | SSE | SSE2, 1, 1, 1, false},
  };
  for (auto& c : cases) {
    std::remove("Log.txt");
    ApplyProcessorFeatures(c.features);
    std::string log = ReadFile("Log.txt");
    EXPECT_EQ(g_environment.mmx, c.mmx) << c.features;
    EXPECT_EQ(g_environment.sse, c.sse) << c.features;
    EXPECT_EQ(g_environment.sse2, c.sse2) << c.features;
    EXPECT_EQ(log.find("ＭＭＸは使えません") != std::string::npos, c.logs_no_mmx);
    EXPECT_EQ(log.find("ＳＳＥ命令が使用可能です") != std::string::npos, c.sse == 1);
    EXPECT_EQ(log.find("ＳＳＥ２命令") != std::string::npos, c.sse2 == 1);
  }
}

TEST_F(EnvironmentTest, CheckDescribesTheMachineAndTakesDirectXAsSeven) {
  EXPECT_EQ(CheckEnvironment(), 0);
  std::string log = ReadFile("Log.txt");
  EXPECT_NE(log.find("システムの情報を出力します"), std::string::npos);
  EXPECT_NE(log.find("ＣＰＵベンダ："), std::string::npos);
  EXPECT_NE(log.find("Windows"), std::string::npos);
  EXPECT_EQ(g_environment.directx_version, 0x70000);
  EXPECT_EQ(GetLogIndent(), 0);
  EXPECT_GT(g_environment.cpu_clock, 0);
  // The software renderer's vector level follows this finding.
  EXPECT_EQ(g_environment.avx2 != 0, __builtin_cpu_supports("avx2") != 0);
}

}  // namespace
