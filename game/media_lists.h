// The backgrounds of "bgimages" and the music of "musics" that the settings
// screens offer, the remembered choice restored when a screen opens again,
// and the menu music with the previewed music.
#pragma once

#include <string>
#include <vector>

#include "game/scene.h"

struct MediaLists {
  std::vector<std::string> backgrounds;  // "bgimages\<file>", at most 63 bytes
  std::vector<std::string> musics;       // "musics\<file>", at most 63 bytes
  int background_choice = -1;            // -1 while its list is empty
  int music_choice = -1;

  // Lists the image files (".jpg", ".png", ".bmp") of "bgimages" and the
  // music files (".mid", ".ogg", ".mp3", ".wav") of "musics".
  void list_media();
  // Selects the first entry containing the remembered name; an empty name,
  // or one no entry contains, selects the first entry and takes its path.
  // An empty list keeps the name as it is.
  void restore_media(char (&background)[kMediaNameSize], char (&music)[kMediaNameSize]);
  // Next (+1) or previous (-1) entry, wrapping, written into the name; false
  // (nothing changed) when the list is empty.
  bool step_background(int step, char (&background)[kMediaNameSize]);
  bool step_music(int step, char (&music)[kMediaNameSize]);
};

// The text after the last "\" of a path.
const char* file_part(const char* path);
// Lists a folder's files whose names contain any of the texts, as
// "<folder>\<file>" cut to 63 bytes.
std::vector<std::string> list_media_folder(const char* folder, std::initializer_list<const char*> contains);

// Stops the music of the menus: the MIDI player when it plays, else the
// cached menu music when it plays, else the given music handle when it plays.
void stop_menu_music(int other_music);
// Plays a music file as a preview: a ".mid" path through the MIDI player
// (-1 returned), any other from the music cache, looping (its handle).
int preview_music(const char* path);
