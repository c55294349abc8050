// Binding the MIDI library by name from the current folder, and the music
// of a scene played through it: short or damaged files never hang the scene
// change, and a file the library refuses leaves the scene without music.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "game/caches.h"
#include "game/midi.h"
#include "tests/game/headless_engine.h"
#include "tests/support/temp_dir.h"
#include "tests/tunehall/midi_files.h"
#include "tests/tunehall/watchdog.h"

namespace {

class MidiBindingTest : public TempDirTest {
 protected:
  void TearDown() override {
    unload_midi_player();
    TempDirTest::TearDown();
  }
};

TEST_F(MidiBindingTest, MissingLibraryFailsTheBinding) {
  EXPECT_FALSE(load_midi_player());
  EXPECT_FALSE(is_midi_player_loaded());
  EXPECT_EQ(midi_state(), 0);
  midi_play_music();  // harmless while unbound
}

TEST_F(MidiBindingTest, LibraryWithoutTheFunctionsIsRefused) {
  // Any module of the run folder that is not the MIDI library.
  std::filesystem::copy_file(VOX_CHARACTERS_DIR "/rival1.so", Path("Tunehall.so"));
  EXPECT_FALSE(load_midi_player());
  EXPECT_FALSE(is_midi_player_loaded());
}

TEST_F(MidiBindingTest, BindsOpensAndUnbinds) {
  std::filesystem::copy_file(TUNEHALL_PATH, Path("Tunehall.so"));
  ASSERT_TRUE(load_midi_player());
  EXPECT_TRUE(is_midi_player_loaded());
  EXPECT_EQ(midi_state(), 0);  // nothing plays yet
  unload_midi_player();
  EXPECT_FALSE(is_midi_player_loaded());
}

// The music rule of the scenes with the library bound, the engine running
// headless for the sound handles the rule also asks for.
class SceneMusicTest : public MidiBindingTest {
 protected:
  void SetUp() override {
    MidiBindingTest::SetUp();
    ASSERT_TRUE(StartHeadlessEngine());
    std::filesystem::copy_file(TUNEHALL_PATH, Path("Tunehall.so"));
    std::filesystem::create_directory(Path("sounds"));
    ASSERT_TRUE(load_midi_player());
  }
};

// Each short file as the title's music: it plays (as silence, or not at
// all), and leaving the scene 300 ms later stops it and reads the state.
TEST_F(SceneMusicTest, ShortSongsNeverHangTheSceneChange) {
  for (const midi_files::NamedFile& file : midi_files::ShortFiles()) {
    SCOPED_TRACE(file.name);
    WriteFile("sounds/title.mid", file.bytes);
    Watchdog dog(std::string("the title's music of ") + file.name);
    dog.Step("play_music");
    play_music("sounds\\title");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    dog.Step("stop_music");
    stop_music("sounds\\title");
    dog.Step("midi_state");
    EXPECT_EQ(midi_state(), 0);
  }
}

// A scene whose music is refused (damaged, or missing) does not start the
// music of the scene before it again.
TEST_F(SceneMusicTest, ARefusedFileLeavesTheSceneWithoutMusic) {
  Watchdog dog("scene music");
  WriteFile("sounds/select.mid", midi_files::SmallSong());
  const std::string tune = midi_files::TuneLikeSong();
  WriteFile("sounds/title.mid", tune.substr(0, tune.size() / 3));
  play_music("sounds\\select");
  EXPECT_EQ(midi_state(), 1);
  stop_music("sounds\\select");
  EXPECT_EQ(midi_state(), 0);
  play_music("sounds\\title");
  EXPECT_EQ(midi_state(), 0);
  play_music("sounds\\missing.mid");
  EXPECT_EQ(midi_state(), 0);
  // A file the library takes plays again.
  play_music("sounds\\select");
  EXPECT_EQ(midi_state(), 1);
  stop_music("sounds\\select");
}

}  // namespace
