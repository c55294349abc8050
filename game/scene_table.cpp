// The scenes this program has, by number, each built from the arguments the
// scene machine chose. A null entry is a scene not part of this build; a
// request for it ends the program as a quit would.
#include "game/scene.h"
#include "game/scene_hiscore.h"
#include "game/scene_option.h"
#include "game/scene_replay_single.h"
#include "game/scene_select_mode.h"
#include "game/scene_select_single.h"
#include "game/scene_single.h"
#include "game/scene_title.h"

namespace {

using SceneFactory = Scene* (*)(const SceneValues&);

const SceneFactory kScenes[kSceneCount] = {
    /* 0 */ [](const SceneValues& a) -> Scene* { return new Scene_Title(a.cursor, a.entry); },
    /* 1 */ [](const SceneValues& a) -> Scene* { return new Scene_SelectMode(a.entry, a.cursor); },
    /* 2 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_SelectSingle(a.mode, a.entry, a.sides[0], a.background, a.music);
    },
    /* 3 Scene_SelectDouble (entry, two_players, sides[0], sides[1], background, music): free battle */ nullptr,
    /* 4 */ [](const SceneValues& a) -> Scene* { return new Scene_Single(a.sides[0], a.background, a.music); },
    /* 5 Scene_Double (sides[0], sides[1], background, music): free battle */ nullptr,
    /* 6 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_ReplaySingle(a.replay_path, a.sides[0], a.background, a.music);
    },
    /* 7 Scene_ReplayDouble (replay_path, sides[0], background, music): free battle */ nullptr,
    /* 8 */ [](const SceneValues&) -> Scene* { return new Scene_Hiscore(); },
    /* 9 */ [](const SceneValues&) -> Scene* { return new Scene_Option(); },
    /* 10 Scene_SelectChara (kind, sides[0], sides[1], background, music): free battle */ nullptr,
    /* 11 Scene_SelectNetworkMenu (entry, 0): net battle */ nullptr,
    /* 12 Scene_SelectNetwork (connection, seed, input_delay): net battle */ nullptr,
    /* 13 Scene_Network (sides[0], sides[1], background, music, connection): net battle */ nullptr,
};

}  // namespace

bool scene_is_built(int number) { return number >= 0 && number < kSceneCount && kScenes[number]; }

Scene* build_scene(int number, const SceneValues& args) { return scene_is_built(number) ? kScenes[number](args) : nullptr; }
