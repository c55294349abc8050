// Character selection and the plug-ins' resources.
#include "game/scene_select_chara.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "engine/core/util.h"
#include "engine/graphics/graphics.h"
#include "engine/input/input.h"
#include "engine/sound/sound.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/game_files.h"
#include "game/media_lists.h"
#include "game/menu.h"
#include "game/opponent_host.h"
#include "game/scene_double.h"
#include "game/settings.h"

namespace {

// The pictures the last screen handed on to a play scene. That scene has
// ended when the next character screen opens, which frees them.
int pictures_in_play[2] = {-1, -1};

void free_pictures_in_play() {
  for (int& picture : pictures_in_play) {
    if (picture >= 0) ReleaseGraph(picture);
    picture = -1;
  }
}

bool ends_with(const std::string& text, const char* tail) {
  const size_t n = std::strlen(tail);
  return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// A text resource as a terminated string of at most size - 1 bytes, cut at
// a character boundary; empty when the resource is missing.
void read_text(HMODULE module, const char* name, char* out, size_t size) {
  const void* bytes = nullptr;
  uint32_t length = 0;
  out[0] = '\0';
  if (!name || load_module_text(module, name, kOpponentTextType, &bytes, &length) != 0) return;
  const std::string text(static_cast<const char*>(bytes), length);
  CopyStringBounded(out, text.c_str(), size);
}

// Each line of a text that ends its lines in CR, LF or CR LF.
template <typename Line>
void for_each_line(const char* text, Line line) {
  for (int k = 0;; ++k) {
    const size_t n = std::strcspn(text, "\r\n");
    line(k, std::string(text, n));
    text += n;
    if (!*text) return;
    text += (text[0] == '\r' && text[1] == '\n') ? 2 : 1;
  }
}

}  // namespace

int load_module_text(HMODULE module, const char* name, int type, const void** bytes, uint32_t* size) {
  HRSRC found = module && name ? FindResourceA(module, name, MAKEINTRESOURCEA(type)) : nullptr;
  const DWORD length = found ? SizeofResource(module, found) : 0;
  const void* data = length ? LockResource(LoadResource(module, found)) : nullptr;
  if (!data) return -1;
  if (bytes) *bytes = data;
  if (size) *size = length;
  return 0;
}

int load_module_image(HMODULE module, const char* name, int type) {
  const void* bytes;
  uint32_t size;
  if (load_module_text(module, name, type, &bytes, &size) != 0) return -1;
  return LoadGraphFromMemory(bytes, (int)size, nullptr, 0, 1, 0);
}

int load_module_sound(HMODULE module, const char* name, int type, int buffer_count) {
  const void* bytes;
  uint32_t size;
  if (load_module_text(module, name, type, &bytes, &size) != 0) return -1;
  return LoadSoundImage(bytes, (int)size, buffer_count, -1);
}

void Scene_SelectChara::grid_shape(int count, int* columns, int* rows) {
  if (count <= 16) {
    *columns = (count + 1) / 2;
    *rows = 2;
  } else {
    *columns = 8;
    *rows = (count + 7) / 8;
  }
}

int Scene_SelectChara::move_cursor(int cursor, int dx, int dy, int count) {
  if (count <= 0) return 0;
  int columns, rows;
  grid_shape(count, &columns, &rows);
  int c = cursor + dx + dy * columns;
  if (dx < 0 && c < 0) return count - 1;
  if (dx > 0 && c >= count) return 0;
  if (dy > 0 && c >= count) return cursor % columns;
  if (dy < 0 && c < 0) {
    // To the bottom of the column: its last row may be incomplete.
    c = cursor % columns + (rows - 1) * columns;
    while (c >= count) c -= columns;
  }
  return c;
}

Scene_SelectChara::Scene_SelectChara(int kind, const side_settings& left, const side_settings& right,
                                     const char* background, const char* music)
    : kind_(kind) {
  free_pictures_in_play();
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  settings_[0] = left;
  settings_[1] = right;
  for (side_settings& s : settings_) {
    s.chara_image = -1;
    s.module = nullptr;
  }
  if (kind == 2) Scene_Double::choose_devices(CountPads(), false, device_);
  choosing_[0] = 1;
  choosing_[1] = kind == 2;
  load_characters();
  grid_shape(count(), &columns_, &rows_);
}

void Scene_SelectChara::load_characters() {
  // One listing: what is loaded is what was listed.
  for (const std::string& file : list_folder("characters", {kModuleSuffix})) {
    if (count() == kMaxCharacters) break;
    if (!ends_with(file, kModuleSuffix)) continue;
    const std::string path = std::string("characters\\") + file;
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) continue;
    // The same library under a second name is one plug-in, which must never
    // serve two fields; one that hung in a search is never called again.
    OpponentExports exports;
    const bool known = std::any_of(characters_.begin(), characters_.end(),
                                   [module](const Character& c) { return c.module == module; });
    if (known || opponent_module_stuck(module) || !bind_opponent_exports(module, &exports)) {
      FreeLibrary(module);
      continue;
    }
    Character c;
    c.module = module;
    c.picture = load_module_image(module, exports.get_graphic_name(), kOpponentPictureType);
    c.face = load_module_image(module, exports.get_face_name(), kOpponentPictureType);
    read_text(module, exports.get_chara_name(), c.name, sizeof c.name);
    read_text(module, exports.get_chara_descript(), c.description, sizeof c.description);
    characters_.push_back(c);
  }
}

Scene_SelectChara::~Scene_SelectChara() {
  for (int i = 0; i < count(); ++i) {
    const Character& c = characters_[i];
    if (c.face >= 0) ReleaseGraph(c.face);
    if (handed_on_[i]) continue;
    if (c.picture >= 0) ReleaseGraph(c.picture);
    FreeLibrary(c.module);
  }
}

void Scene_SelectChara::hand_over(SceneValues& values) const {
  values.kind = kind_;
  values.sides[0] = settings_[0];
  values.sides[1] = settings_[1];
  copy_media_name(values.background, background_);
  copy_media_name(values.music, music_);
}

bool Scene_SelectChara::update() {
  draw();
  switch (state_) {
    case kIntro:
      if (--timer_ == 0) state_ = kChoosing;
      break;
    case kChoosing:
      for (int side = 0; side < 2 && state_ == kChoosing; ++side)
        if (choosing_[side] && choose(side)) break;
      break;
    case kLeavingBack:
    case kLeavingOn:
      if (--timer_ == 0) {
        if (state_ == kLeavingBack)
          requested_scene = kind_ > 0 ? kSceneSelectDouble : kSceneSelectSingle;
        else
          requested_scene = kind_ > 0 ? kSceneDouble : kSceneSingle;
        return false;
      }
      break;
  }
  return true;
}

bool Scene_SelectChara::choose(int side) {
  const int device = device_[side];
  int dx = 0, dy = 0;
  if (is_repeated_on(kPadLeft, device))
    dx = -1;
  else if (is_repeated_on(kPadRight, device))
    dx = 1;
  else if (is_repeated_on(kPadDown, device))
    dy = 1;
  else if (is_repeated_on(kPadUp, device))
    dy = -1;
  if ((dx || dy) && count() > 0) {
    play_se(kSoundMove);
    cursor_[side] = move_cursor(cursor_[side], dx, dy, count());
  }
  if (is_pressed_on(B_Custom, device)) {
    play_se(kSoundMove);
    if (choosing_[0] && (kind_ < 2 || choosing_[1])) {
      state_ = kLeavingBack;
      timer_ = 45;
      return false;
    }
    // Choosing the computer's character, back to one's own.
    if (kind_ == 1 && side == 1) {
      choosing_[1] = 0;
      choosing_[0] = 1;
    }
    return false;
  }
  if (!is_pressed_on(C_Custom, device)) return false;
  const int other = 1 - side;
  const bool guarded = (kind_ == 1 && side == 1) || kind_ == 2;
  if (count() == 0 || (guarded && cursor_[0] == cursor_[1] && !choosing_[other])) {
    play_se(kSoundRefuse);
    return false;
  }
  pick(side);
  return true;
}

void Scene_SelectChara::pick(int side) {
  play_se(kSoundConfirm);
  choosing_[side] = 0;
  if (kind_ == 1 && side == 0) choosing_[1] = 1;
  if (kind_ != 0 && (choosing_[0] || choosing_[1])) return;
  state_ = kLeavingOn;
  timer_ = 60;
  hand_on_picks();
  stop_menu_music(load_bgm(music_));
}

void Scene_SelectChara::hand_on_picks() {
  const int sides = kind_ == 0 ? 1 : 2;
  for (int side = 0; side < sides; ++side) {
    const int i = cursor_[side];
    Character& c = characters_[i];
    side_settings& s = settings_[side];
    s.chara_image = c.picture;
    pictures_in_play[side] = c.picture;
    handed_on_[i] = true;
    if (s.com_level >= 0) {
      s.module = c.module;
    } else {
      // A person's character keeps no plug-in: it goes with this screen.
      s.module = nullptr;
      FreeLibrary(c.module);
    }
    c.module = nullptr;
  }
}

int Scene_SelectChara::face_x(int i) const { return 296 - 24 * columns_ + 48 * (i % columns_); }

int Scene_SelectChara::face_y(int i) const {
  // Rows beyond two grow upward, clear of the names below the grid.
  return 216 - 56 * std::max(0, rows_ - 2) + 56 * (i / columns_);
}

int Scene_SelectChara::description_x(int side, int picture_width) {
  if (side == 0) return 8;
  // x 344 lies 8 pixels inside a picture 304 wide; the plug-ins' pictures
  // are 192 wide, and a description from x 344 would start far outside one.
  return picture_width > 0 ? std::max(344, 640 - picture_width + 8) : 344;
}

void Scene_SelectChara::draw_side(int side) const {
  const Character& c = characters_[cursor_[side]];
  int width = 0, height = 0;
  QueryGraphSize(c.picture, &width, &height);
  if (side == 0) {
    PaintGraph(0, 480 - height, c.picture, 1);
    draw_text(8, 336, c.name, kFontSmall, 1, 0);
  } else {
    PaintGraphMirrored(640 - width, 480 - height, c.picture, 1);
    draw_text_right(632, 336, c.name, kFontSmall, 1, 0);
  }
  const int x = description_x(side, width);
  for_each_line(c.description, [x](int k, const std::string& line) {
    draw_text(x, 360 + 24 * k, line.c_str(), kFontSmall, 1, 0);
  });
}

void Scene_SelectChara::draw() {
  const int back = state_ == kLeavingOn ? (timer_ - 30) * 192 / 30 : 192;
  SetPaintBrightness(back, back, back);
  SelectBlendMode(0, 0);
  draw_fullscreen(background_);
  int bright = 255;
  if (state_ == kIntro)
    SelectBlendMode(1, (30 - timer_) * 255 / 30);
  else if (state_ == kLeavingBack)
    SelectBlendMode(1, (timer_ - 15) * 255 / 30);
  else if (state_ == kLeavingOn)
    bright = std::clamp((timer_ - 30) * 255 / 30, 0, 255);
  SetPaintBrightness(bright, bright, bright);
  if (count() > 0) {
    const int sides = kind_ == 0 ? 1 : 2;
    for (int side = 0; side < sides; ++side) draw_side(side);
    for (int i = 0; i < count(); ++i)
      PaintGraphStretched(face_x(i), face_y(i), face_x(i) + 48, face_y(i) + 48, characters_[i].face, 0);
    const char* const badges[2] = {"images\\1p.png", "images\\2p.png"};
    for (int side = 0; side < sides; ++side) {
      const int b = choosing_[side] ? bright : bright / 2;
      SetPaintBrightness(b, b, b);
      const int i = cursor_[side];
      PaintGraph(face_x(i) - 8, face_y(i) - 8, load_image(badges[side]), 1);
    }
  }
  SelectBlendMode(0, 0);
  SetPaintBrightness(255, 255, 255);
}
