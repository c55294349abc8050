// The Theora stream on movies the tests encode: refusals, the index, the
// stock around the wrap, steps and seeks, damaged and shrinking files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>

#include "engine/core/alloc.h"
#include "engine/movie/theora_stream.h"
#include "tests/engine/movie/movie_fixtures.h"
#include "tests/support/engine_fixture.h"

namespace {

class TheoraStreamTest : public EngineLogTest {
 protected:
  void SetUp() override {
    EngineLogTest::SetUp();
    SetFileLayer(nullptr);
    BuildYuvToRgbTables();
  }
  void TearDown() override {
    Close();
    EngineLogTest::TearDown();
  }
  TheoraStream* Open(const Bytes& movie, const char* name = "movie.ogv") {
    Close();
    WriteBytes(Path(name), movie);
    file_ = FsOpen(name);
    EXPECT_NE(file_, 0);
    stream_ = OpenTheoraStream(InstalledFileLayer(), file_, 10);
    return stream_;
  }
  void Close() {
    if (stream_) CloseTheoraStream(stream_);
    if (file_) FsClose(file_);
    stream_ = nullptr;
    file_ = 0;
  }
  // Waits (bounded) until the thread has filled the stock.
  void WaitForFullStock() {
    for (int i = 0; i < 20000 && stream_->thread_state.load() != THEORA_THREAD_IDLE; i++) Sleep(1);
    ASSERT_EQ(stream_->thread_state.load(), THEORA_THREAD_IDLE);
  }
  // Waits (bounded) until the thread has stocked the frame.
  bool WaitForStocked(int frame) {
    for (int i = 0; i < 20000 && !FindStocked(stream_, frame); i++) Sleep(1);
    return FindStocked(stream_, frame) != nullptr;
  }
  // Frame painted into the current frame image, judged by its lower rows.
  int ShownFrame() {
    const BASEIMAGE* image = GetTheoraFrameImage(stream_);
    double sum = 0;
    int count = 0;
    for (int y = image->height / 2; y < image->height; y++)
      for (int x = 0; x < image->width; x++, count++) sum += image->pixels[y * image->pitch + 4 * x + 1];
    // Neutral chroma: green is 1.164 (Y - 16) truncated.
    return FrameOfLuma((sum / count + 0.5) / 1.164 + 16);
  }
  static int SlotFrame(const TheoraStockFrame& slot) {
    double sum = 0;
    int count = 0;
    for (int y = slot.y_height / 2; y < slot.y_height; y++)
      for (int x = 0; x < slot.y_width; x++, count++) sum += slot.y[y * slot.y_stride + x];
    return FrameOfLuma(sum / count);
  }
  intptr_t file_ = 0;
  TheoraStream* stream_ = nullptr;
};

TEST_F(TheoraStreamTest, AFileThatIsNoOggIsRefusedBeforeAnythingIsAllocated) {
  WriteBytes(Path("no.ogv"), Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0});
  intptr_t file = FsOpen("no.ogv");
  int blocks = TrackedBlockCount();
  EXPECT_EQ(OpenTheoraStream(InstalledFileLayer(), file, 10), nullptr);
  EXPECT_EQ(TrackedBlockCount(), blocks);
  FsClose(file);
}

TEST_F(TheoraStreamTest, OggFilesWithoutFramesOrFrameRateOrTheoraAreRefused) {
  TheoraMovieSpec headers_only;
  headers_only.frames = 0;
  TheoraMovieSpec no_rate;
  no_rate.zero_frame_rate = true;
  TheoraMovieSpec sound_only;
  sound_only.frames = 0;
  sound_only.sound_seconds = 0.5;
  for (const TheoraMovieSpec& spec : {headers_only, no_rate}) EXPECT_EQ(Open(MakeTheoraMovie(spec)), nullptr);
  Bytes sound = KeepOggSerial(MakeTheoraMovie(sound_only), kVorbisSerial);
  ASSERT_FALSE(sound.empty());
  EXPECT_EQ(Open(sound), nullptr);
}

TEST_F(TheoraStreamTest, TheStreamIsFoundWhicheverBeginningPageComesFirst) {
  for (bool sound_first : {false, true}) {
    TheoraMovieSpec spec;
    spec.frames = 20;
    spec.sound_seconds = 0.8;
    spec.sound_first = sound_first;
    ASSERT_NE(Open(MakeTheoraMovie(spec)), nullptr) << sound_first;
    TheoraStreamInfo info;
    GetTheoraStreamInfo(stream_, &info);
    EXPECT_EQ(info.frame_count, 20);
    EXPECT_EQ(ShownFrame(), 0);
  }
}

TEST_F(TheoraStreamTest, InfoCountsDataPacketsAndTheOpenShowsFrameZeroTheRightWayUp) {
  TheoraMovieSpec spec;
  spec.width = 40;  // coded as 48 x 32
  spec.height = 24;
  spec.fps_numerator = 30000;
  spec.fps_denominator = 1001;
  ASSERT_NE(Open(MakeTheoraMovie(spec)), nullptr);
  TheoraStreamInfo info;
  GetTheoraStreamInfo(stream_, &info);
  EXPECT_EQ(info.frame_count, 100);
  EXPECT_DOUBLE_EQ(info.frames_per_second, 30000.0 / 1001.0);
  EXPECT_EQ(info.width, 48);
  EXPECT_EQ(info.height, 32);
  EXPECT_EQ(GetTheoraFrameNumber(stream_), 0);
  EXPECT_EQ(GetTheoraYuvSurface(stream_), nullptr);
  EXPECT_EQ(ShownFrame(), 0);
  // The white band is at the top: the decoder's bottom-up rows were turned.
  const BASEIMAGE* image = GetTheoraFrameImage(stream_);
  EXPECT_GE(image->pixels[1], 250);
  EXPECT_LT(image->pixels[(image->height - 1) * image->pitch + 1], 40);
}

TEST_F(TheoraStreamTest, TheStockWrapsToTheStartAndEveryFrameHoldsItsOwnPicture) {
  ASSERT_NE(Open(MakeTheoraMovie({})), nullptr);
  SeekTheoraStream(stream_, 95);
  ASSERT_EQ(ConvertTheoraFrame(stream_, 1, 0), 1);
  EXPECT_EQ(ShownFrame(), 95);
  WaitForFullStock();
  std::vector<int> stocked;
  for (int i = 0; i < stream_->stock_count; i++) {
    const TheoraStockFrame& slot = stream_->stock[i];
    ASSERT_TRUE(slot.valid.load());
    EXPECT_EQ(SlotFrame(slot), slot.frame);
    stocked.push_back(slot.frame);
  }
  std::sort(stocked.begin(), stocked.end());
  EXPECT_EQ(stocked, (std::vector<int>{0, 1, 2, 3, 4, 95, 96, 97, 98, 99}));
  // Stepping through the wrap shows the stocked pictures.
  StepTheoraStream(stream_, 3);
  StepTheoraStream(stream_, 3);
  EXPECT_EQ(GetTheoraFrameNumber(stream_), 1);
  ASSERT_EQ(ConvertTheoraFrame(stream_, 1, 0), 1);
  EXPECT_EQ(ShownFrame(), 1);
  EXPECT_EQ(ConvertTheoraFrame(stream_, 1, 0), 0);  // already converted
  EXPECT_EQ(ConvertTheoraFrame(stream_, 0, 1), 0);  // no surface to serve
  // A step of all but one frame puts the current frame just behind the
  // whole stock (frames 1 to 10): its last frame leaves the window and
  // makes room.
  ASSERT_TRUE(WaitForStocked(10));
  StepTheoraStream(stream_, 99);
  ASSERT_EQ(GetTheoraFrameNumber(stream_), 0);
  ASSERT_TRUE(WaitForStocked(0)) << "no slot is ever freed for the current frame";
  ASSERT_EQ(ConvertTheoraFrame(stream_, 1, 0), 1);
  EXPECT_EQ(ShownFrame(), 0);
}

TEST_F(TheoraStreamTest, SeeksAndStepsLandOnTheirFrames) {
  ASSERT_NE(Open(MakeTheoraMovie({})), nullptr);
  struct Case {
    int seek, step, expected;
  } cases[] = {{37, 0, 37}, {8, 0, 8}, {-5, 0, 0}, {250, 0, 99}, {98, 3, 1}, {50, 150, 0}, {7, 1, 8}, {63, 17, 80}};
  for (const Case& c : cases) {
    SeekTheoraStream(stream_, c.seek);
    StepTheoraStream(stream_, c.step);
    EXPECT_EQ(GetTheoraFrameNumber(stream_), c.expected) << c.seek << "+" << c.step;
    ASSERT_EQ(ConvertTheoraFrame(stream_, 1, 0), 1);
    EXPECT_EQ(ShownFrame(), c.expected) << c.seek << "+" << c.step;
  }
  // Seeking to the frame on show keeps its converted picture.
  SeekTheoraStream(stream_, 80);
  EXPECT_EQ(ConvertTheoraFrame(stream_, 1, 0), 0);
}

TEST_F(TheoraStreamTest, AFileThatShrinksUnderASeekEndsTheWaitInsteadOfHanging) {
  Bytes movie = MakeTheoraMovie({});
  ASSERT_NE(Open(movie), nullptr);
  ASSERT_EQ(truncate(Path("movie.ogv").c_str(), off_t(movie.size() / 3)), 0);
  SeekTheoraStream(stream_, 90);
  EXPECT_EQ(ConvertTheoraFrame(stream_, 1, 0), 0);
  StepTheoraStream(stream_, 1);
  EXPECT_EQ(ConvertTheoraFrame(stream_, 1, 0), 0);
  Close();  // returns: the thread was not stuck
}

TEST_F(TheoraStreamTest, DamagedFilesAreRefusedOrPlayWithoutACrash) {
  TheoraMovieSpec spec;
  spec.frames = 30;
  const Bytes movie = MakeTheoraMovie(spec);
  std::mt19937 random(1234);
  for (int round = 0; round < 24; round++) {
    Bytes damaged = movie;
    if (round < 8) {
      damaged.resize(movie.size() * (round + 1) / 9);  // cut short
    } else {
      for (int k = 0; k < 1 + round; k++) damaged[random() % damaged.size()] ^= uint8_t(1 + random() % 255);
    }
    if (!Open(damaged)) continue;
    TheoraStreamInfo info;
    GetTheoraStreamInfo(stream_, &info);
    ASSERT_GT(info.frame_count, 0);
    for (int f : {info.frame_count - 1, info.frame_count / 2, 0}) {
      SeekTheoraStream(stream_, f);
      ConvertTheoraFrame(stream_, 1, 0);
      StepTheoraStream(stream_, 2);
      ConvertTheoraFrame(stream_, 1, 0);
    }
  }
}

}  // namespace
