// What the rest of the engine does while graphics changes its screen mode,
// ends, and makes its device again, and at which step: each reaction of the
// fonts, input and movies is written down with what graphics holds at that
// moment (graphics started, a DirectDraw object, the graph made before), on
// the device and on the software renderer.
#include <string>
#include <vector>

#include "engine/graphics/graphics_host.h"
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

int NoteFontsStart() { return Note("fonts start"), 0; }
int NoteFontsEnd() { return Note("fonts end"), 0; }
int NoteFontsRecreate() { return Note("fonts recreate"), 0; }
int NoteFontQuery(char* face, int, int* size, int* thickness) {
  Note("fonts note the default font");
  face[0] = 0;
  *size = 16;
  *thickness = 4;
  return 0;
}
int NoteFontSet(const char*, int, int) { return Note("fonts set the default font"), 0; }
int NoteInputClose() { return Note("input close"), 0; }
int NoteInputReopen() { return Note("input reopen"), 0; }
int NoteMoviesDrop() { return Note("movies drop surfaces"), 0; }
void NoteMoviesReopen() { Note("movies reopen"); }
int NoteMessageStep() { return Note("message step"), 0; }
int NoteRestoreHandler() { return Note("graph restore handler"), 0; }

class NeighbourOrderTest : public GLGraphicsTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    GLGraphicsTest::SetUp();
    GraphicsHost host = GetGraphicsHost();
    host.start_font_system = NoteFontsStart;
    host.end_font_system = NoteFontsEnd;
    host.recreate_all_fonts = NoteFontsRecreate;
    host.query_default_font = NoteFontQuery;
    host.set_default_font = NoteFontSet;
    host.close_input_devices = NoteInputClose;
    host.reopen_input_devices = NoteInputReopen;
    host.drop_movie_surfaces = NoteMoviesDrop;
    host.reopen_movies = NoteMoviesReopen;
    host.process_messages = NoteMessageStep;
    SetGraphicsHost(&host);
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
  SetGraphRestoreHandler(NoteRestoreHandler);
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
