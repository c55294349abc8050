// The scenes this program has, by number, each built from the arguments the
// scene machine chose. A null entry is a scene not part of this build; a
// request for it ends the program as a quit would.
#include "game/scene.h"
#include "game/scene_double.h"
#include "game/scene_hiscore.h"
#include "game/scene_option.h"
#include "game/scene_replay_double.h"
#include "game/scene_replay_single.h"
#include "game/scene_select_chara.h"
#include "game/scene_select_double.h"
#include "game/scene_select_mode.h"
#include "game/scene_select_single.h"
#include "game/scene_single.h"
#include "game/scene_title.h"
#include "game/net/scene_network.h"
#include "game/net/scene_select_network.h"
#include "game/net/scene_select_network_menu.h"

namespace {

using SceneFactory = Scene* (*)(const SceneValues&);

const SceneFactory kScenes[kSceneCount] = {
    /* 0 */ [](const SceneValues& a) -> Scene* { return new Scene_Title(a.cursor, a.entry); },
    /* 1 */ [](const SceneValues& a) -> Scene* { return new Scene_SelectMode(a.entry, a.cursor); },
    /* 2 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_SelectSingle(a.mode, a.entry, a.sides[0], a.background, a.music);
    },
    /* 3 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_SelectDouble(a.entry, a.two_players, a.sides[0], a.sides[1], a.background, a.music);
    },
    /* 4 */ [](const SceneValues& a) -> Scene* { return new Scene_Single(a.sides[0], a.background, a.music); },
    /* 5 */
    [](const SceneValues& a) -> Scene* { return new Scene_Double(a.sides[0], a.sides[1], a.background, a.music); },
    /* 6 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_ReplaySingle(a.replay_path, a.sides[0], a.background, a.music);
    },
    /* 7 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_ReplayDouble(a.replay_path, a.sides[0], a.background, a.music);
    },
    /* 8 */ [](const SceneValues&) -> Scene* { return new Scene_Hiscore(); },
    /* 9 */ [](const SceneValues&) -> Scene* { return new Scene_Option(); },
    /* 10 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_SelectChara(a.kind, a.sides[0], a.sides[1], a.background, a.music);
    },
    /* 11 */ [](const SceneValues& a) -> Scene* { return new Scene_SelectNetworkMenu(a.entry, 0); },
    /* 12 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_SelectNetwork(a.connection, (uint32_t)a.seed, a.input_delay);
    },
    /* 13 */
    [](const SceneValues& a) -> Scene* {
      return new Scene_Network(a.sides[0], a.sides[1], a.background, a.music, a.connection);
    },
};

}  // namespace

bool scene_is_built(int number) { return number >= 0 && number < kSceneCount && kScenes[number]; }

Scene* build_scene(int number, const SceneValues& args) { return scene_is_built(number) ? kScenes[number](args) : nullptr; }
