// What the rest of the engine does while graphics changes its screen mode,
// ends, and makes its device again, and at which step: each reaction of the
// fonts, input and movies is written down with what graphics holds at that
// moment (graphics started, a DirectDraw object, the graph made before), on
// the device and on the software renderer.
#include <string>
#include <vector>

#include "engine/core/engine_subsystem.h"
#include "tests/engine/graphics/gl/gl_fixture.h"

namespace {

using Lines = std::vector<std::string>;

Lines g_trace;
int g_graph = -1;

void Note(const char* what) {
  std::string line = what;
  line += IsGraphicsStarted() ? " | started" : " | ended";
  line += GetDirectDrawObject() ? " | ddraw" : " | no ddraw";
  line += IsGraphHandleValid(g_graph) ? " | graph" : " | no graph";
  g_trace.push_back(line);
}

template <const char* what>
int Noted() {
  return Note(what), 0;
}
constexpr char kFontsStart[] = "fonts start", kFontsEnd[] = "fonts end", kFontsRecreate[] = "fonts recreate",
               kFontNote[] = "fonts note the default font", kFontSet[] = "fonts set the default font",
               kInputClose[] = "input close", kInputReopen[] = "input reopen", kMoviesDrop[] = "movies drop surfaces",
               kMoviesReopen[] = "movies reopen", kMessageStep[] = "message step",
               kRestoreHandler[] = "graph restore handler";

class NeighbourOrderTest : public GLGraphicsTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    GLGraphicsTest::SetUp();
    ReplaceEngineSubsystem({.id = SubsystemId::Fonts,
                            .graphics_started = Noted<kFontsStart>,
                            .graphics_ending = Noted<kFontsEnd>,
                            .screen_mode_changing = Noted<kFontNote>,
                            .screen_mode_changed = Noted<kFontSet>,
                            .graphs_refilled = Noted<kFontsRecreate>});
    // The message step of a window-less engine: its pumps.
    ReplaceEngineSubsystem({.id = SubsystemId::Input,
                            .pump = Noted<kMessageStep>,
                            .device_lost = Noted<kInputClose>,
                            .device_remade = Noted<kInputReopen>});
    ReplaceEngineSubsystem(
        {.id = SubsystemId::Movies, .device_releasing = Noted<kMoviesDrop>, .device_restored = Noted<kMoviesReopen>});
    Start(GetParam());
    g_trace.clear();
  }
  void TearDown() override {
    SetGraphRestoreHandler(nullptr);
    g_graph = -1;
    GLGraphicsTest::TearDown();
  }
  // What `step` made the neighbours do, with a graph made before it.
  template <class Step>
  Lines Trace(Step step) {
    g_graph = SolidGraph(4, 4, {0, 255, 0, 255});
    g_trace.clear();
    step();
    return g_trace;
  }
};

TEST_P(NeighbourOrderTest, AScreenModeChange) {
  Lines expected = {
      "fonts note the default font | started | ddraw | graph",
      "fonts end | started | ddraw | graph",
      "movies drop surfaces | started | ddraw | no graph",
      "fonts start | started | ddraw | no graph",
      "fonts set the default font | started | ddraw | no graph",
      "message step | started | ddraw | no graph",
  };
  EXPECT_EQ(Trace([] { ApplyScreenMode(-1, -1, -1, 1, -1); }), expected);
}

TEST_P(NeighbourOrderTest, TheEndAndTheStartOfGraphics) {
  Lines ending = {
      "fonts end | started | ddraw | graph",
      "movies drop surfaces | started | ddraw | no graph",
  };
  EXPECT_EQ(Trace([] { EndGraphics(); }), ending);
  // Ended already: the fonts are ended again, nothing else happens.
  EXPECT_EQ(Trace([] { EndGraphics(); }), Lines{"fonts end | ended | no ddraw | no graph"});
  EXPECT_EQ(Trace([] { StartGraphics(); }), Lines{"fonts start | started | ddraw | no graph"});
}

TEST_P(NeighbourOrderTest, ADeviceRestore) {
  SetGraphRestoreHandler(Noted<kRestoreHandler>);
  Lines expected = {
      "movies drop surfaces | started | ddraw | graph",
      "input close | started | no ddraw | graph",
      "input reopen | started | ddraw | graph",
      "graph restore handler | started | ddraw | graph",
      "fonts recreate | started | ddraw | graph",
      "movies reopen | started | ddraw | graph",
  };
  EXPECT_EQ(Trace([] { RestoreGraphicsDevice(); }), expected);
}

INSTANTIATE_TEST_SUITE_P(Paths, NeighbourOrderTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Device" : "Software");
                         });

}  // namespace
