// Binding the MIDI library by name from the current folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "game/midi.h"
#include "tests/support/temp_dir.h"

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

}  // namespace
