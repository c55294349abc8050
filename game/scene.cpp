// The scene machine and its table of constructor arguments.
#include "game/scene.h"

#include "engine/core/util.h"

int requested_scene = kSceneTitle;
int current_scene_number = kSceneTitle;
Scene* current_scene = nullptr;

namespace {

bool is_scene_number(int n) { return n >= 0 && n < kSceneCount; }

// A record as the machine makes it afresh; chara_image, mode and seed are
// filled by the selection scenes before a match starts.
side_settings fresh_side_settings(int com_level) {
  side_settings s;
  s.com_level = com_level;
  return s;
}

void copy_names(SceneValues* args, const SceneValues& its) {
  copy_media_name(args->background, its.background);
  copy_media_name(args->music, its.music);
}

}  // namespace

void copy_media_name(char (&dst)[kMediaNameSize], const char* src) {
  // Never splits a two-byte character.
  CopyStringBounded(dst, src ? src : "", kMediaNameSize);
}

bool scene_arguments(int requested, int ending, const SceneValues& its, SceneValues* args) {
  SceneValues a;
  switch (requested) {
    case kSceneTitle:
      a.entry = 1;
      switch (ending) {
        case kSceneSelectMode: a.cursor = 0; break;
        // Only the replay list goes back to the title from there.
        case kSceneSelectSingle: a.cursor = its.mode == 3 ? 2 : 0; break;
        case kSceneSelectDouble: a.cursor = 1; break;
        case kSceneHiscore: a.cursor = 3; break;
        case kSceneOption: a.cursor = 4; break;
        default: a.cursor = 0; break;
      }
      break;
    case kSceneSelectMode:
      a.entry = 1;
      switch (ending) {
        case kSceneTitle: a.entry = 0; a.cursor = 0; break;
        case kSceneSelectNetworkMenu: a.cursor = 4; break;
        case kSceneSelectSingle: a.cursor = its.mode; break;
        default: a.cursor = 3; break;
      }
      break;
    case kSceneSelectSingle:
      switch (ending) {
        case kSceneTitle:
          a.mode = 3;
          a.sides[0] = fresh_side_settings(-1);
          break;
        case kSceneSelectMode:
          a.mode = its.mode;
          a.sides[0] = fresh_side_settings(-1);
          // Break trial starts at level 0 with a target of 100 blocks.
          a.sides[0].level_target = its.mode == 2 ? 320 : 0;
          break;
        case kSceneSingle:
        case kSceneReplaySingle:
        case kSceneReplayDouble:
        case kSceneSelectChara:
          a.mode = ending == kSceneSingle || ending == kSceneSelectChara ? its.sides[0].mode : 3;
          a.entry = ending == kSceneSelectChara ? 2 : 1;
          a.sides[0] = its.sides[0];
          copy_names(&a, its);
          break;
        default:
          return false;
      }
      break;
    case kSceneSelectDouble:
      switch (ending) {
        case kSceneDouble:
          a.entry = 1;
          a.two_players = its.sides[1].module == nullptr;
          a.sides[0] = its.sides[0];
          a.sides[1] = its.sides[1];
          copy_names(&a, its);
          break;
        case kSceneSelectChara:
          a.entry = 2;
          a.two_players = its.kind == 2;
          a.sides[0] = its.sides[0];
          a.sides[1] = its.sides[1];
          copy_names(&a, its);
          break;
        case kSceneSelectMode:
          a.sides[0] = fresh_side_settings(-1);
          a.sides[1] = fresh_side_settings(0);
          break;
        default:
          a.two_players = 1;
          a.sides[0] = fresh_side_settings(-1);
          a.sides[1] = fresh_side_settings(-1);
          break;
      }
      break;
    case kSceneSingle:
    case kSceneDouble:
      if (ending != kSceneSelectChara) return false;
      a.sides[0] = its.sides[0];
      if (requested == kSceneDouble) a.sides[1] = its.sides[1];
      copy_names(&a, its);
      break;
    case kSceneReplaySingle:
    case kSceneReplayDouble:
      if (ending != kSceneSelectSingle) return false;
      a.replay_path = its.replay_path;
      a.sides[0] = its.sides[0];
      copy_names(&a, its);
      break;
    case kSceneHiscore:
    case kSceneOption:
      break;
    case kSceneSelectChara:
      if (ending == kSceneSelectDouble) {
        a.kind = its.two_players ? 2 : 1;
        a.sides[1] = its.sides[1];
      } else if (ending == kSceneSelectSingle) {
        a.kind = 0;
      } else {
        return false;
      }
      a.sides[0] = its.sides[0];
      copy_names(&a, its);
      break;
    case kSceneSelectNetworkMenu:
      a.entry = ending == kSceneSelectMode ? 0 : 1;
      break;
    case kSceneSelectNetwork:
      if (ending != kSceneSelectNetworkMenu) return false;
      a.connection = its.connection;
      a.seed = its.seed;
      a.input_delay = its.input_delay;
      break;
    case kSceneNetwork:
      if (ending != kSceneSelectNetwork) return false;
      a.sides[0] = its.sides[0];
      a.sides[1] = its.sides[1];
      copy_names(&a, its);
      a.connection = its.connection;
      break;
    default:
      return false;
  }
  *args = std::move(a);
  return true;
}

bool run_scene() {
  if (!is_scene_number(requested_scene)) {
    requested_scene = kSceneQuit;
    return change_scene();
  }
  if (current_scene && current_scene->update()) return true;
  return change_scene();
}

void delete_scene() {
  delete current_scene;
  current_scene = nullptr;
}

bool change_scene() {
  SceneValues its, args;
  if (current_scene) current_scene->hand_over(its);
  // A scene this build lacks, or a pair without a row, ends the program as a
  // request to quit would, rather than building a scene from values that do
  // not belong to it.
  if (!is_scene_number(requested_scene) || !scene_arguments(requested_scene, current_scene_number, its, &args)) {
    delete_scene();
    return false;
  }
  delete_scene();
  current_scene = build_scene(requested_scene, args);
  if (!current_scene) return false;
  current_scene_number = requested_scene;
  return true;
}
