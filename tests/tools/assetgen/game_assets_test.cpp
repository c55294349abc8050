// The game's generated assets as the game finds them in the run folder:
// every picture it names decodes with the engine's image loader at the size
// it is drawn at, with clear pixels where it is drawn transparent and none
// where it is drawn without; every effect and piece of music decodes with the
// engine's sound decoder; and the music loops without a click.
#include <fluidsynth.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/sound_levels.h"
#include "engine/core/alloc.h"
#include "engine/core/archive.h"
#include "engine/core/file.h"
#include "engine/core/stream.h"
#include "engine/image/base_image.h"
#include "engine/image/image_load.h"
#include "engine/sound/sound_decoder.h"
#include "platform/win32/cp932.h"
#include "tests/tools/assetgen/decoded_sound.h"

namespace {

// The run folder is the current folder, as when the game runs.
class GameAssetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(previous_, sizeof previous_), nullptr);
    ASSERT_EQ(chdir(VOX_RUN_DIR), 0) << VOX_RUN_DIR;
    SetFileLayer(nullptr);
    InitArchiveTable();
  }
  void TearDown() override { ASSERT_EQ(chdir(previous_), 0); }

 private:
  char previous_[4096];
};

enum class Fit { kExact, kAtMost, kAtLeast };
enum class Drawn { kOpaque, kTransparent };

struct PictureSpec {
  const char* name;  // as the game asks for it (code page 932, "\" separators)
  int width, height;
  Fit fit;
  Drawn drawn;
};

// Sizes: title and intro fill the 640 x 480 screen (the intro in 32 x 32
// tiles); the title's entries stand between x 280 and the screen's edge in
// rows 48 apart; blocks fill a 32 x 32 cell; the well's frame is drawn 4
// pixels around the 192 x 384 well, and the replay's picture fills it; the
// count-in digits shrink from 64 x 64; the gauge's icons are 32 x 32 and its
// bar (6 pixels a block, 29 blocks) lies 2 pixels inside its frame; the pause
// sign is centred at (224, 200); the badges stand 8 pixels around a 48 x 48
// face; the net panel lies under its texts from (160, 120) and its cursor
// under one character of 15 pixels.
const PictureSpec kPictures[] = {
    {"images\\title.jpg", 640, 480, Fit::kExact, Drawn::kOpaque},
    {"images\\parin.png", 640, 480, Fit::kExact, Drawn::kOpaque},
    {"images\\1play.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\2play.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\replay.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\hiscore.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\config.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\exit.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\cant2play.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\cantreplay.png", 360, 48, Fit::kAtMost, Drawn::kTransparent},
    {"images\\block0.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\block1.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\block2.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\block3.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\block4.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\block5.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\block6.png", 32, 32, Fit::kExact, Drawn::kOpaque},
    {"images\\line.png", 200, 392, Fit::kExact, Drawn::kTransparent},
    {"images\\1.png", 64, 64, Fit::kExact, Drawn::kTransparent},
    {"images\\2.png", 64, 64, Fit::kExact, Drawn::kTransparent},
    {"images\\3.png", 64, 64, Fit::kExact, Drawn::kTransparent},
    {"images\\4.png", 64, 64, Fit::kExact, Drawn::kTransparent},
    {"images\\yokoku0.png", 32, 32, Fit::kExact, Drawn::kTransparent},
    {"images\\yokoku1.png", 32, 32, Fit::kExact, Drawn::kTransparent},
    {"images\\yokoku2.png", 32, 32, Fit::kExact, Drawn::kTransparent},
    {"images\\yokoku3.png", 32, 32, Fit::kExact, Drawn::kTransparent},
    {"images\\ばー.png", 174, 8, Fit::kExact, Drawn::kOpaque},
    {"images\\ばーふれーむ.png", 178, 12, Fit::kExact, Drawn::kTransparent},
    {"images\\pause.png", 192, 80, Fit::kExact, Drawn::kTransparent},
    {"images\\noimage.png", 192, 384, Fit::kExact, Drawn::kOpaque},
    {"images\\cursor.png", 32, 32, Fit::kExact, Drawn::kTransparent},
    {"images\\1p.png", 64, 64, Fit::kExact, Drawn::kTransparent},
    {"images\\2p.png", 64, 64, Fit::kExact, Drawn::kTransparent},
    {"images\\snetbg.png", 300, 150, Fit::kAtLeast, Drawn::kTransparent},
    {"images\\snetcursor.png", 15, 8, Fit::kAtMost, Drawn::kOpaque},
};

// Decodes a picture through the engine's file layer and image loader; checks
// its size and opacity.
void CheckPicture(const char* name, int width, int height, Fit fit, Drawn drawn) {
  BASEIMAGE image{};
  ASSERT_EQ(ImportBaseImage(name, nullptr, 0, 0, &image, 0), 0) << name;
  switch (fit) {
    case Fit::kExact:
      EXPECT_EQ(image.width, width) << name;
      EXPECT_EQ(image.height, height) << name;
      break;
    case Fit::kAtMost:
      EXPECT_TRUE(image.width > 0 && image.width <= width && image.height > 0 && image.height <= height) << name;
      break;
    case Fit::kAtLeast:
      EXPECT_TRUE(image.width >= width && image.height >= height) << name;
      break;
  }
  int translucent = 0;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const uint32_t alpha = image.format.alpha_width ? ReadBaseImagePixelArgb(&image, x, y) >> 24 : 255;
      translucent += alpha < 255;
    }
  if (drawn == Drawn::kTransparent)
    EXPECT_GT(translucent, 0) << name << " lets nothing show through";
  else
    EXPECT_EQ(translucent, 0) << name << " is drawn without transparency";
  DisposeBaseImage(&image);
}

TEST_F(GameAssetsTest, EveryPictureDecodesAtTheSizeItIsDrawn) {
  for (const PictureSpec& p : kPictures) CheckPicture(p.name, p.width, p.height, p.fit, p.drawn);
}

// The title's entries where the title draws them, 48 rows apart from y 192
// (the two that cannot be chosen in place of entries 1 and 2): nothing of an
// entry is cut off at its picture's bottom, and what shows of it (half
// opaque or more), its caption too, ends eight rows or more before the next
// entry's row, the last entry's before the screen's bottom edge.
TEST_F(GameAssetsTest, TitleEntriesEndClearOfTheNextAndOfTheScreensBottom) {
  const struct {
    const char* name;
    int entry;
  } entries[] = {{"images\\1play.png", 0},   {"images\\2play.png", 1},      {"images\\cant2play.png", 1},
                 {"images\\replay.png", 2},  {"images\\cantreplay.png", 2}, {"images\\hiscore.png", 3},
                 {"images\\config.png", 4}, {"images\\exit.png", 5}};
  for (const auto& e : entries) {
    BASEIMAGE image{};
    ASSERT_EQ(ImportBaseImage(e.name, nullptr, 0, 0, &image, 0), 0) << e.name;
    int lowest_shown = -1, lowest_touched = -1;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x) {
        const uint32_t alpha = ReadBaseImagePixelArgb(&image, x, y) >> 24;
        if (alpha > 0) lowest_touched = y;
        if (alpha >= 128) lowest_shown = y;
      }
    const int height = image.height;
    DisposeBaseImage(&image);
    ASSERT_GE(lowest_shown, 0) << e.name;
    EXPECT_LT(lowest_touched, height - 1) << e.name << " is cut off at its bottom";
    const int top = 192 + 48 * e.entry, next = e.entry == 5 ? 480 : top + 48;
    EXPECT_LE(top + lowest_shown + 8, next) << e.name << " shows down to row " << top + lowest_shown;
  }
}

// A folder's files as the game asks for them: "<folder>\<name>", the name
// in code page 932 (names on disk are UTF-8).
std::vector<std::string> FolderEntries(const char* folder, std::initializer_list<const char*> suffixes) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string name;
    EXPECT_TRUE(vox_win32::Utf8ToCp932(entry.path().filename().string(), &name)) << entry.path();
    for (const char* s : suffixes)
      if (name.find(s) != std::string::npos) names.push_back(std::string(folder) + "\\" + name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The settings screens list these folders; each needs entries to choose from.
TEST_F(GameAssetsTest, BackgroundsFillTheScreen) {
  const std::vector<std::string> backgrounds = FolderEntries("bgimages", {".jpg", ".png", ".bmp"});
  EXPECT_GE(backgrounds.size(), 3u);
  for (const std::string& name : backgrounds) CheckPicture(name.c_str(), 640, 480, Fit::kExact, Drawn::kOpaque);
}

// ---- sound ----


double Db(double level) { return 20 * std::log10(std::max(level, 1e-9) / 32768.0); }

// Effects: short, heard at once, ending in silence, and each at most the
// mixer's ceiling, the loudest right at it, so that the mixer's limiter
// turns none of them down while it sounds alone (effects_mix_test.cpp plays
// them together), yet none lost under the others.
TEST_F(GameAssetsTest, EffectsAreShortLevelAndStartAtOnce) {
  const double ceiling = kEffectsCeiling * 32768;
  int loudest = 0;
  for (const char* name :
       {"321", "break", "buzzer", "gameover", "jama", "levelup", "pause", "rotate", "set", "slide"}) {
    const std::string path = std::string("sounds\\") + name + ".wav";
    const Pcm pcm = Decode(path);
    if (pcm.frames() == 0) continue;
    // "break" is replayed at 44100 Hz and faster for chains.
    EXPECT_EQ(pcm.rate, 44100) << path;
    const double seconds = (double)pcm.frames() / pcm.rate;
    EXPECT_TRUE(seconds >= 0.03 && seconds <= 2.0) << path << ": " << seconds << " s";
    int peak = 0;
    size_t first_loud = SIZE_MAX;
    for (size_t i = 0; i < pcm.samples.size(); ++i) peak = std::max(peak, std::abs((int)pcm.samples[i]));
    for (size_t i = 0; i < pcm.samples.size() && first_loud == SIZE_MAX; ++i)
      if (std::abs((int)pcm.samples[i]) >= peak / 2) first_loud = i / pcm.channels;
    loudest = std::max(loudest, peak);
    EXPECT_LE(peak, ceiling) << path;
    EXPECT_GE(Db(peak), Db(ceiling) - 8) << path << ": peak " << Db(peak) << " dBFS";
    EXPECT_LE((double)first_loud / pcm.rate, 0.015) << path << ": a slow attack";
    int tail = 0;
    for (size_t i = pcm.samples.size() - std::min<size_t>(pcm.samples.size(), 220); i < pcm.samples.size(); ++i)
      tail = std::max(tail, std::abs((int)pcm.samples[i]));
    EXPECT_LT(tail, 330) << path << " ends in a click";
  }
  EXPECT_GE(Db(loudest), Db(ceiling) - 0.1) << "the loudest effect peaks at " << Db(loudest) << " dBFS";
}

// The largest step between neighbouring samples at the loop's seam (last
// frame to first) against the steps inside the music: a seam is clean when
// it is no larger than what the music does anyway.
void CheckSeam(const std::string& name, const std::vector<float>& samples, int channels, size_t seam) {
  const size_t frames = samples.size() / channels;
  ASSERT_TRUE(seam > 4096 && seam + 4096 < frames) << name;
  std::vector<float> steps;
  float seam_step = 0;
  for (int c = 0; c < channels; ++c) {
    for (size_t i = 1; i < frames; ++i) {
      const float step = std::fabs(samples[i * channels + c] - samples[(i - 1) * channels + c]);
      if (i == seam)
        seam_step = std::max(seam_step, step);
      else
        steps.push_back(step);
    }
  }
  std::nth_element(steps.begin(), steps.begin() + steps.size() * 999 / 1000, steps.end());
  EXPECT_LE(seam_step, steps[steps.size() * 999 / 1000]) << name << ": a click where the loop starts again";
  // No drop or jump in level across the seam either.
  auto rms = [&](size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from * channels; i < to * channels; ++i) sum += (double)samples[i] * samples[i];
    return std::sqrt(sum / ((to - from) * channels));
  };
  const double before = rms(seam - 4096, seam), after = rms(seam, seam + 4096);
  EXPECT_TRUE(after > before * 0.3 && after < before * 3.3) << name << ": level " << before << " -> " << after;
  EXPECT_GT(std::min(before, after), rms(0, frames) * 0.05) << name << ": silence at the seam";
}

// Rendered music: Ogg Vorbis that the engine decodes, looped end to start,
// peaking under the music's share of full scale.
TEST_F(GameAssetsTest, RenderedMusicLoopsWithoutAClick) {
  const std::vector<std::string> tracks = FolderEntries("musics", {".ogg"});
  EXPECT_GE(tracks.size(), 1u);
  for (const std::string& path : tracks) {
    const Pcm pcm = Decode(path);
    if (pcm.frames() == 0) continue;
    EXPECT_EQ(pcm.channels, 2) << path;
    EXPECT_GE((double)pcm.frames() / pcm.rate, 20.0) << path;
    int peak = 0;
    for (int16_t v : pcm.samples) peak = std::max(peak, std::abs((int)v));
    EXPECT_LT(peak, kMusicPeak * 32768) << path << ": peak " << Db(peak) << " dBFS";
    // Played as a loop: the music's end followed by its start.
    const size_t half = pcm.frames() / 2;
    std::vector<float> looped;
    for (size_t i = half * pcm.channels; i < pcm.samples.size(); ++i) looped.push_back(pcm.samples[i]);
    for (size_t i = 0; i < half * pcm.channels; ++i) looped.push_back(pcm.samples[i]);
    CheckSeam(path, looped, pcm.channels, pcm.frames() - half);
  }
}

// ---- MIDI ----

struct Smf {
  int division = 0;
  std::vector<uint32_t> track_ends;  // tick of each track's end
  uint32_t tempo = 500000;           // microseconds per beat (the first tempo)
  int hanging_notes = 0;             // notes still on at a track's end
};

uint32_t ReadVarLen(const std::vector<uint8_t>& b, size_t* at) {
  uint32_t v = 0;
  for (int i = 0; i < 4 && *at < b.size(); ++i) {
    const uint8_t c = b[(*at)++];
    v = (v << 7) | (c & 0x7F);
    if (!(c & 0x80)) break;
  }
  return v;
}

bool ReadSmf(const std::string& path, Smf* out) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 14 || std::memcmp(b.data(), "MThd", 4) != 0) return false;
  out->division = b[12] << 8 | b[13];
  const int tracks = b[10] << 8 | b[11];
  size_t at = 14;
  for (int t = 0; t < tracks; ++t) {
    if (at + 8 > b.size() || std::memcmp(&b[at], "MTrk", 4) != 0) return false;
    const size_t length = (size_t)b[at + 4] << 24 | b[at + 5] << 16 | b[at + 6] << 8 | b[at + 7];
    size_t p = at + 8;
    const size_t end = std::min(b.size(), p + length);
    uint32_t tick = 0;
    uint8_t status = 0;
    int on[16][128] = {};
    bool ended = false;
    while (p < end && !ended) {
      tick += ReadVarLen(b, &p);
      if (b[p] & 0x80) status = b[p++];
      if (status == 0xFF) {
        const uint8_t type = b[p++];
        const uint32_t size = ReadVarLen(b, &p);
        if (type == 0x2F) ended = true;
        if (type == 0x51 && size == 3 && out->track_ends.empty()) out->tempo = b[p] << 16 | b[p + 1] << 8 | b[p + 2];
        p += size;
      } else if (status == 0xF0 || status == 0xF7) {
        p += ReadVarLen(b, &p);
      } else {
        const uint8_t kind = status & 0xF0, ch = status & 0x0F;
        const uint8_t d1 = b[p++];
        const uint8_t d2 = (kind == 0xC0 || kind == 0xD0) ? 0 : b[p++];
        if (kind == 0x90 && d2 > 0) ++on[ch][d1];
        if ((kind == 0x80 || (kind == 0x90 && d2 == 0)) && on[ch][d1] > 0) --on[ch][d1];
      }
    }
    if (!ended) return false;
    for (auto& channel : on)
      for (int n : channel) out->hanging_notes += n;
    out->track_ends.push_back(tick);
    at += 8 + length;
  }
  return true;
}

// MIDI music: every track ends on the same bar line with all its notes
// ended, and the General MIDI synthesiser plays the end into the start
// without a gap or a click.
TEST_F(GameAssetsTest, MidiMusicLoopsOnABarLine) {
  std::vector<std::string> tunes = FolderEntries("musics", {".mid"});
  EXPECT_GE(tunes.size(), 1u);
  // The settings screens offer every track of "musics".
  EXPECT_GE(FolderEntries("musics", {".mid", ".ogg", ".mp3", ".wav"}).size(), 3u);
  tunes.push_back("sounds\\title.mid");
  tunes.push_back("sounds\\select.mid");
  const char* font = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  for (const std::string& name : tunes) {
    std::string path;
    ASSERT_TRUE(vox_win32::Cp932ToUtf8(name, &path)) << name;
    std::replace(path.begin(), path.end(), '\\', '/');
    Smf smf;
    ASSERT_TRUE(ReadSmf(path, &smf)) << path;
    ASSERT_GT(smf.division, 0);
    const uint32_t end = *std::max_element(smf.track_ends.begin(), smf.track_ends.end());
    for (uint32_t e : smf.track_ends) EXPECT_EQ(e, end) << path;
    EXPECT_EQ(end % (4 * smf.division), 0u) << path << " does not end on a bar line";
    EXPECT_EQ(smf.hanging_notes, 0) << path;

    // The synthesiser plays the whole tune and, looping, on into its start.
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", 44100);
    fluid_synth_t* synth = new_fluid_synth(settings);
    ASSERT_NE(fluid_synth_sfload(synth, font, 1), FLUID_FAILED) << font;
    fluid_player_t* player = new_fluid_player(synth);
    fluid_player_add(player, path.c_str());
    fluid_player_set_loop(player, 2);
    fluid_player_play(player);
    const size_t seam = (size_t)std::lround(end * (smf.tempo / 1e6 / smf.division) * 44100);
    std::vector<float> out(2 * (seam + 44100));
    fluid_synth_write_float(synth, (int)(out.size() / 2), out.data(), 0, 2, out.data(), 1, 2);
    delete_fluid_player(player);
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
    CheckSeam(path, out, 2, seam);
  }
}

}  // namespace
