// The scene machine: every screen of the game is a Scene, updated once per
// frame. When a scene's update returns false the machine destroys it and
// builds the scene it asked for, with constructor arguments chosen from the
// pair (requested scene, ending scene) and taken from the ending scene before
// it goes. Exactly one scene exists at a time, owned by the machine.
#pragma once

#include <string>

#include "game/side_settings.h"

struct socket_set;  // a net battle's connection

enum SceneNumber {
  kSceneQuit = -1,
  kSceneTitle = 0,
  kSceneSelectMode = 1,
  kSceneSelectSingle = 2,
  kSceneSelectDouble = 3,
  kSceneSingle = 4,
  kSceneDouble = 5,
  kSceneReplaySingle = 6,
  kSceneReplayDouble = 7,
  kSceneHiscore = 8,
  kSceneOption = 9,
  kSceneSelectChara = 10,
  kSceneSelectNetworkMenu = 11,
  kSceneSelectNetwork = 12,
  kSceneNetwork = 13,
  kSceneCount = 14,
};

// Background and music names remembered across screens: up to 63 bytes,
// empty for none chosen yet.
inline constexpr int kMediaNameSize = 64;
// Copies a name, cut to 63 bytes.
void copy_media_name(char (&dst)[kMediaNameSize], const char* src);

// Every value one scene hands to the next. An ending scene fills what it
// holds (Scene::hand_over); the machine turns that into the new scene's
// constructor arguments (scene_arguments), and the scene table passes the
// members the new scene's constructor takes.
struct SceneValues {
  int cursor = 0;       // title and mode menus: row highlighted first
  int entry = 0;        // entry kind (first state) of the menus
  int mode = 0;         // single settings: 0-2 a single mode, 3 the replay list
  int two_players = 0;  // free-battle settings: both sides are people
  int kind = 0;         // character screen: 0 single, 1 against the computer, 2 two people
  side_settings sides[2]{};
  char background[kMediaNameSize]{};
  char music[kMediaNameSize]{};
  std::string replay_path;  // "replay\<file>"
  socket_set* connection = nullptr;
  int seed = 0;
  int input_delay = 0;  // frames
};

class Scene {
 public:
  virtual ~Scene() = default;
  // One frame. true keeps the scene; false ends it with requested_scene set.
  virtual bool update() { return false; }
  virtual void draw() {}
  // Writes what this scene hands on into values (its mode, records, names,
  // flags, connection). Called once, just before the scene is destroyed.
  virtual void hand_over(SceneValues& values) const { (void)values; }
  // Whether the last update stood still waiting for the other machine of a
  // net battle (its input of a frame, or the next match's seed).
  virtual bool waited_for_peer() const { return false; }
  // The number of the state the scene is in, for a scripted run to wait
  // for; -1 for a scene that does not tell.
  virtual int scripted_state() const { return -1; }
};

extern int requested_scene;
extern int current_scene_number;
extern Scene* current_scene;

// Once per frame: false ends the program.
bool run_scene();
// Ends the current scene and builds the requested one; false = quit, also
// for a scene this program does not have or a pair the table lacks.
bool change_scene();
// Destroys the current scene (none afterwards).
void delete_scene();

// The new scene's constructor arguments for a request from an ending scene
// (its values as it handed them over). False when the table has no row for
// the pair.
bool scene_arguments(int requested, int ending, const SceneValues& its, SceneValues* args);
// Builds scene `number` from its arguments; null when this program has no
// such scene.
Scene* build_scene(int number, const SceneValues& args);
// Whether this build has scene `number`.
bool scene_is_built(int number);
