// Character selection (scene 10): every opponent plug-in of the folder
// "characters" loaded, their faces in a grid, and under each side's cursor
// the character's large picture, name and description. One or two people
// pick; the picture of each side's character becomes its chara_image and
// the plug-in of each computer side its module. Also the reading of a
// plug-in's resources.
#pragma once

#include <cstdint>
#include <vector>

#include "game/scene.h"

// A resource of a module by name and integer type: 0 with the bytes and the
// size (either out argument may be null), -1 when it is missing or empty.
int load_module_text(HMODULE module, const char* name, int type, const void** bytes, uint32_t* size);
// A picture resource as a graph; -1 when it is missing or not a picture.
int load_module_image(HMODULE module, const char* name, int type);
// A sound resource as a sound handle; -1 when it is missing or not a sound.
int load_module_sound(HMODULE module, const char* name, int type, int buffer_count);

class Scene_SelectChara : public Scene {
 public:
  // kind: 0 single play (only the left side chooses), 1 one person chooses
  // their own character and then the computer's, 2 two people choose at once.
  Scene_SelectChara(int kind, const side_settings& left, const side_settings& right, const char* background,
                    const char* music);
  // Releases the faces, and the pictures and plug-ins that were not handed on.
  ~Scene_SelectChara() override;
  bool update() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;

  enum State { kIntro, kChoosing, kLeavingBack, kLeavingOn };
  // The grid holds at most five rows of eight; further files are not loaded.
  static constexpr int kMaxCharacters = 40;
  static constexpr int kNameBytes = 32;
  static constexpr int kDescriptionBytes = 256;

  struct Character {
    HMODULE module = nullptr;
    int face = -1;
    int picture = -1;
    char name[kNameBytes] = {};                // cp932, cut at a character boundary
    char description[kDescriptionBytes] = {};  // lines end in CR, LF or CR LF
  };

  // The grid of faces for a number of characters: two rows up to 16, else
  // rows of eight.
  static void grid_shape(int count, int* columns, int* rows);
  // A cursor moved by one step (dx -1 left, 1 right; dy -1 up, 1 down),
  // wrapping, always onto a character (0 when there is none).
  static int move_cursor(int cursor, int dx, int dy, int count);
  // Where a side's description lines start, beside a picture of that width
  // (0: none): 8 pixels inside the picture, at the left screen edge on the
  // left and, on the right, at x 344 or, inside a picture narrower than 304,
  // 8 pixels in from its left edge.
  static int description_x(int side, int picture_width);

  int state() const { return state_; }
  int count() const { return (int)characters_.size(); }
  int columns() const { return columns_; }
  int rows() const { return rows_; }
  int cursor(int side) const { return cursor_[side]; }
  bool choosing(int side) const { return choosing_[side] != 0; }
  const Character& character(int i) const { return characters_[i]; }
  const side_settings& settings(int side) const { return settings_[side]; }

 private:
  void load_characters();
  // One side's input in the choosing state; true when it picked.
  bool choose(int side);
  void pick(int side);
  void hand_on_picks();
  void draw_side(int side) const;
  int face_x(int i) const;
  int face_y(int i) const;

  int state_ = kIntro;
  int timer_ = 45;
  int device_[2] = {0, 0};
  uint8_t choosing_[2] = {1, 0};
  int columns_ = 0, rows_ = 0;
  std::vector<Character> characters_;
  bool handed_on_[kMaxCharacters] = {};
  int cursor_[2] = {0, 0};
  char background_[kMediaNameSize] = {};
  char music_[kMediaNameSize] = {};
  side_settings settings_[2];
  int kind_;
};
