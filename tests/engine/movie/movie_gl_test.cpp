// Movies on the OpenGL path: a movie graph plays and draws on the device,
// its frames going through the stream's YUV surface in each layout the
// device offers (the copy into the graph converting them), or through the
// frame image where it offers none, and shows what the software renderer
// shows; graphs made after it are no longer split; its surface is made
// again with the device. Stream movies of widths that are no multiple of 16
// show every column on both paths and leave the heap intact.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/util.h"
#include "engine/graphics/graphics_internal.h"
#include "engine/movie/movie_record.h"
#include "platform/dshow/dshow_control.h"
#include "tests/engine/graphics/gl/gl_fixture.h"
#include "tests/engine/movie/movie_fixtures.h"

namespace {

class MovieGLTest : public GLGraphicsTest {
 protected:
  void SetUp() override {
    GLGraphicsTest::SetUp();
    SetFileLayer(nullptr);
    BuildYuvToRgbTables();
    ConnectMovies();  // into graphics in the window
    TheoraMovieSpec spec;
    spec.width = 64, spec.height = 48, spec.colour = true;
    WriteBytes(Path("colour.ogv"), MakeTheoraMovie(spec));
  }
  void TearDown() override {
    EndGraphics();  // the movie goes with its graph
    EXPECT_EQ(MovieLiveCount(), 0);
    DshowSetClock(nullptr);
    SetTextureSplitting(1);
    GLGraphicsTest::TearDown();
  }

  // The movie graph drawn as it is and stretched twice, at frame 0, and
  // after it played for 1.49 s (frame 37, or later on a slow machine) and
  // was held and put back on frame 37; returns the movie, held.
  static int DrawMovie() {
    int graph = LoadGraphFromFile("colour.ogv");
    EXPECT_GE(graph, 0);
    int movie = GetGraphRecord(graph)->movie;
    WipeDrawScreen();
    PaintGraph(10, 10, graph, 0);
    PaintGraphStretched(90, 10, 218, 106, graph, 0);
    RunMovie(movie, 1, 0);
    FindMovieRecord(movie)->time_base = GetMicrosecondCount(0) - 1490000;
    PaintGraph(10, 200, graph, 0);
    TheoraStream* stream = FindMovieRecord(movie)->theora;
    EXPECT_GE(GetTheoraFrameNumber(stream), 37);
    HoldMovie(movie, 0);
    SeekTheoraStream(stream, 37);
    PaintGraph(10, 200, graph, 0);
    PaintGraphStretched(90, 200, 218, 296, graph, 0);
    return movie;
  }
};

// The largest difference of a channel between two frames.
int Worst(const Frame& a, const Frame& b, int* at) {
  int worst = 0;
  for (size_t i = 0; i < a.size(); i++)
    for (int s = 0; s < 24; s += 8) {
      int d = std::abs((int)((a[i] >> s) & 255) - (int)((b[i] >> s) & 255));
      if (d > worst) worst = d, *at = (int)i;
    }
  return worst;
}

TEST_F(MovieGLTest, AMovieFrameLooksTheSameOnBothPathsInEveryLayout) {
  struct Variant {
    const char* name;
    D3DFORMAT refused[3];
    D3DFORMAT made;
  } variants[] = {
      {"YV12", {}, D3DFMT_YV12},
      {"YUY2", {D3DFMT_YV12}, D3DFMT_YUY2},
      {"UYVY", {D3DFMT_YV12, D3DFMT_YUY2}, D3DFMT_UYVY},
      {"the frame image", {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}, 0},
  };
  for (int depth : {32, 16}) {
    Frame software = DrawOn(false, depth, [] {
      int movie = DrawMovie();
      EXPECT_EQ(GetTheoraYuvSurface(FindMovieRecord(movie)->theora), nullptr);  // none without the device
    });
    // The picture is there: the white band, colour below it.
    EXPECT_GE(software[(size_t)12 * kWidth + 40] & 0xFF, 200u);
    EXPECT_NE(software[(size_t)50 * kWidth + 12], software[(size_t)50 * kWidth + 70]);
    EXPECT_NE(software[(size_t)30 * kWidth + 40], software[(size_t)55 * kWidth + 40]);
    for (const Variant& v : variants) {
      D3D9CapabilityScript script{};
      std::copy(std::begin(v.refused), std::end(v.refused), script.refused_video_surfaces);
      Frame hardware = DrawOn(true, depth, [&] {
        IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
        for (D3DFORMAT f : {D3DFMT_YV12, D3DFMT_YUY2, D3DFMT_UYVY}) {
          bool offered = std::find(std::begin(v.refused), std::end(v.refused), f) == std::end(v.refused);
          EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_SURFACE, f) ==
                        D3D_OK,
                    offered);
        }
        d3d->Release();
        TheoraStream* stream = FindMovieRecord(DrawMovie())->theora;
        EXPECT_EQ(stream->yuv_surface_format, (uint32_t)v.made) << v.name;
        EXPECT_EQ(GetTheoraYuvSurface(stream) != nullptr, v.made != 0) << v.name;
      }, script);
      SaveFrame("movie-" + std::to_string(depth) + "-" + v.name, hardware);
      int at = 0;
      EXPECT_EQ(Worst(software, hardware, &at), 0)
          << depth << " bits through " << v.name << ": at " << at % kWidth << "," << at / kWidth << " "
          << std::hex << software[(size_t)at] << " against " << hardware[(size_t)at];
    }
  }
}

struct ColourError {
  int worst = 0;  // largest difference of a channel
  double psnr = 0;
};

// The picture at (left, top) of a frame against the reference.
ColourError Compare(const Frame& shown, int left, int top, const Frame& reference, int width, int height) {
  ColourError e;
  double squares = 0;
  for (int y = 0; y < height; y++)
    for (int x = 0; x < width; x++)
      for (int s = 0; s < 24; s += 8) {
        const int d = (int)((shown[(size_t)(top + y) * 640 + left + x] >> s) & 255) -
                      (int)((reference[(size_t)y * width + x] >> s) & 255);
        e.worst = std::max(e.worst, std::abs(d));
        squares += (double)d * d;
      }
  const double mse = squares / (3.0 * width * height);
  e.psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
  return e;
}

// Frames whose chroma is not subsampled both ways show their colours on both
// paths: 4:2:2 through a packed YUV surface the device converts, 4:4:4 (which
// no YUV surface holds) through the frame image.
TEST_F(MovieGLTest, ChromaIsReadAtItsPlanesOwnScaleOnBothPaths) {
  struct Case {
    const char* name;
    ChromaLayout chroma;
    D3DFORMAT surface;
  } cases[] = {
      {"4:2:0", CHROMA_420, D3DFMT_YV12},
      {"4:2:2", CHROMA_422, D3DFMT_YUY2},
      {"4:4:4", CHROMA_444, (D3DFORMAT)0},
  };
  for (const Case& c : cases) {
    TheoraMovieSpec spec;
    spec.width = 64, spec.height = 48, spec.colour = true, spec.chroma = c.chroma;
    const Bytes movie = MakeTheoraMovie(spec);
    WriteBytes(Path("chroma.ogv"), movie);
    const Frame reference = ReferenceRgb(DecodeTheoraFrame(movie, 0));
    for (bool hardware : {false, true}) {
      uint32_t made = ~0u;
      Frame shown = DrawOn(hardware, 32, [&] {
        int graph = LoadGraphFromFile("chroma.ogv");
        ASSERT_GE(graph, 0);
        made = FindMovieRecord(GetGraphRecord(graph)->movie)->theora->yuv_surface_format;
        PaintGraph(10, 10, graph, 0);
      });
      const char* path = hardware ? "device" : "software";
      if (hardware) {
        EXPECT_EQ(made, (uint32_t)c.surface) << c.name;
      }
      const ColourError e = Compare(shown, 10, 10, reference, 64, 48);
      std::printf("%s on the %s path: largest channel error %d, PSNR %.1f dB\n", c.name, path, e.worst, e.psnr);
      EXPECT_LE(e.worst, 2) << c.name << " on the " << path << " path";
      SaveFrame(std::string("chroma-") + path + "-" + std::to_string(c.chroma), shown);
    }
  }
}

// Stream movies whose width is no multiple of 16 (the width the scaler's
// packed-pixel converters work in) show every column of their first picture
// as an independent decode of the file has it, on both paths.
TEST_F(MovieGLTest, StreamMoviesOfAnyWidthShowEveryColumnOnBothPaths) {
  DshowSetClock([] { return int64_t(0); });  // the stream stays on its first picture
  const struct {
    int width, height;
  } sizes[] = {{318, 198}, {330, 198}, {332, 198}, {642, 120}, {650, 120}};
  for (const auto& size : sizes) {
    const int w = size.width, h = size.height;
    MpegMovieSpec spec;
    spec.width = w, spec.height = h, spec.frames = 3, spec.sound = false, spec.detailed = true;
    const std::string name = "wide" + std::to_string(w) + ".mpg";
    WriteBytes(Path(name), MakeMpegMovie(spec));
    const Frame reference = ReferenceRgb(DecodeMovieFrame(Path(name), 0));
    // The picture drawn at the screen's left edge and, below it, with its
    // right edge at the screen's: every column is on show at least once.
    const int lefts[2] = {0, std::min(0, kWidth - w)}, tops[2] = {0, h + 8};
    for (bool hardware : {false, true}) {
      const char* path = hardware ? "device" : "software";
      Frame shown = DrawOn(hardware, 32, [&] {
        int graph = LoadGraphFromFile(name.c_str());
        ASSERT_GE(graph, 0);
        int movie = GetGraphRecord(graph)->movie;
        RunMovie(movie, 1, 0);
        PumpStreamMovie(movie);
        ASSERT_GE(FindMovieRecord(movie)->last_update_time, 0) << "no picture was copied";
        for (int i = 0; i < 2; i++) PaintGraph(lefts[i], tops[i], graph, 0);
      });
      SaveFrame("stream-" + std::to_string(w) + "-" + path, shown);
      // The largest difference of a channel in each column of the picture.
      std::vector<int> worst(w, -1);
      for (int i = 0; i < 2; i++)
        for (int x = std::max(0, -lefts[i]); x < std::min(w, kWidth - lefts[i]); x++)
          for (int y = 0; y < h; y++)
            for (int s = 0; s < 24; s += 8) {
              const int d = std::abs((int)((shown[(size_t)(tops[i] + y) * kWidth + lefts[i] + x] >> s) & 255) -
                                     (int)((reference[(size_t)y * w + x] >> s) & 255));
              worst[x] = std::max(worst[x], d);
            }
      std::string bad;
      for (int x = 0; x < w; x++)
        if (worst[x] > 4) bad += " " + std::to_string(x) + ":" + std::to_string(worst[x]);
      std::printf("%dx%d on the %s path: largest channel error %d\n", w, h, path,
                  *std::max_element(worst.begin(), worst.end()));
      EXPECT_EQ(bad, "") << w << "x" << h << " on the " << path << " path: columns (largest channel error)";
      EXPECT_GE(*std::min_element(worst.begin(), worst.end()), 0);  // every column was compared
    }
  }
}

// The test above once more, in a process of its own under glibc's heap
// check, which ends the process when the end of a block was written past
// by the time it is freed (the movies' surfaces when their graphs are
// released). The scaler is not instrumented: the sanitizers cannot see what
// it writes.
class StreamMovieHeapTest : public TempDirTest {};

TEST_F(StreamMovieHeapTest, StreamMoviesOfAnyWidthLeaveTheHeapIntact) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's allocator stands in the place of glibc's";
#endif
  std::vector<std::string> env = {"GLIBC_TUNABLES=glibc.malloc.check=3", "LD_PRELOAD=libc_malloc_debug.so.0"};
  for (char** e = environ; *e; e++)
    if (std::strncmp(*e, "GLIBC_TUNABLES=", 15) != 0 && std::strncmp(*e, "LD_PRELOAD=", 11) != 0) env.push_back(*e);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>("test_engine_movie"),
                  const_cast<char*>("--gtest_filter=MovieGLTest.StreamMoviesOfAnyWidthShowEveryColumnOnBothPaths"),
                  nullptr};
  const int out = open(Path("child.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(out, 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(out, 1);
    dup2(out, 2);
    execve("/proc/self/exe", argv, envp.data());
    _exit(127);
  }
  close(out);
  ASSERT_GT(child, 0);
  // A child that hangs is ended after far longer than the test takes.
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 3000 && !ended; i++) {
    ended = waitpid(child, &status, WNOHANG) == child;
    if (!ended) usleep(100 * 1000);
  }
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  const std::string text = ReadFile("child.txt");
  EXPECT_TRUE(ended) << "the movies hung";
  EXPECT_EQ(text.find("cannot be preloaded"), std::string::npos) << text;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << (WIFSIGNALED(status) ? "ended by signal " + std::to_string(WTERMSIG(status)) : "failed") << ":\n"
      << text;
  EXPECT_NE(text.find("[  PASSED  ] 1 test."), std::string::npos) << text;
}

TEST_F(MovieGLTest, GraphsMadeAfterAMovieGraphTakeOneTextureAnEdge) {
  Start(true);
  int before = CreateBlankGraph(640, 100, 0);
  EXPECT_EQ(GetGraphRecord(before)->image->texture_count, 2);  // 512 and 128
  int graph = LoadGraphFromFile("colour.ogv");
  ASSERT_GE(graph, 0);
  EXPECT_EQ(GetGraphRecord(graph)->image->texture_count, 1);
  int after = CreateBlankGraph(640, 100, 0);
  GraphImageData* data = GetGraphRecord(after)->image;
  ASSERT_EQ(data->texture_count, 1);
  EXPECT_EQ(data->textures[0].width, 1024);
  EXPECT_EQ(GetGraphRecord(after)->piece_count, 1);
}

// A device made again (a restore) drops the movie's surface with the old
// device and makes one on the new: the graph shows the frame again, also
// while the movie stands still; a restore onto the software renderer serves
// it through the frame image.
TEST_F(MovieGLTest, TheMovieGraphShowsItsFrameAgainAfterTheDeviceIsMadeAgain) {
  Frame expected = DrawOn(false, 32, [] { DrawMovie(); });
  int movie = -1;
  DrawOn(true, 32, [&] { movie = DrawMovie(); });
  int graph = (int)FindMovieRecord(movie)->hook_argument;
  // A first restore makes the 3-D model runtime's default texture, which
  // every later restore replaces: the count below compares like with like.
  ASSERT_EQ(RestoreGraphicsDevice(), 0);
  IDirect3DSurface9* old_surface = GetTheoraYuvSurface(FindMovieRecord(movie)->theora);
  ASSERT_NE(old_surface, nullptr);
  int live = Direct3DLiveObjectCount();
  ASSERT_EQ(RestoreGraphicsDevice(), 0);
  EXPECT_LE(Direct3DLiveObjectCount(), live);  // the old device went whole
  IDirect3DSurface9* surface = GetTheoraYuvSurface(FindMovieRecord(movie)->theora);
  ASSERT_NE(surface, nullptr);
  IDirect3DDevice9* owner = nullptr;
  surface->GetDevice(&owner);
  EXPECT_EQ(owner, GetGraphicsDevice());
  owner->Release();
  WipeDrawScreen();
  PaintGraph(10, 200, graph, 0);
  Frame shown = Shown();
  // The held frame, 37, where the frames drawn at 37 were.
  for (int y = 200; y < 248; y++)
    for (int x = 10; x < 74; x++) {
      size_t i = (size_t)y * kWidth + x;
      ASSERT_EQ(shown[i], expected[i]) << x << "," << y;
    }
  // Onto the software renderer: no surface, the frame image serves.
  D3D9SetFailures(D3D9_FAIL_DEVICE_ALL);
  ASSERT_EQ(RestoreGraphicsDevice(), 0);
  D3D9SetFailures(0);
  ASSERT_EQ(IsHardwareRendererInUse(), 0);
  EXPECT_EQ(GetTheoraYuvSurface(FindMovieRecord(movie)->theora), nullptr);
  WipeDrawScreen();
  PaintGraph(10, 200, graph, 0);
  shown = Shown();
  for (int y = 200; y < 248; y++)
    for (int x = 10; x < 74; x++) {
      size_t i = (size_t)y * kWidth + x;
      ASSERT_EQ(shown[i], expected[i]) << x << "," << y;
    }
}

}  // namespace
