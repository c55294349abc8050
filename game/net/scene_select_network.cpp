// The shared settings screen of a net battle.
#include "game/net/scene_select_network.h"

#include "game/buttons.h"
#include "game/caches.h"
#include "game/media_lists.h"
#include "game/menu.h"
#include "game/net/socket_set.h"

namespace {

constexpr int kRowCount = 8;

}  // namespace

Scene_SelectNetwork::Scene_SelectNetwork(socket_set* connection, uint32_t seed, int delay)
    : Scene_SelectDouble(construct_base{}),
      connection_(connection), keys_(connection, delay + 2) {
  state_ = kIntro;
  timer_ = 45;
  two_players_ = 1;
  active_[0] = active_[1] = 1;
  // The default rules of a person's side, without a character picture.
  for (side_settings& s : settings_) {
    s = side_settings{};
    s.mode = 3;
    s.frame_offset = delay + 2;
    s.seed = (int)seed;
  }
  if (connection_) keys_.open();
  preview_ = load_image(kTitleImage);
  build_rows(false);
  list_media();
  restore_media();
}

Scene_SelectNetwork::~Scene_SelectNetwork() {
  if (!handed_on_) free_connection(connection_);
}

void Scene_SelectNetwork::hand_over(SceneValues& values) const {
  Scene_SelectDouble::hand_over(values);
  values.connection = handed_on_ ? connection_ : nullptr;
}

int Scene_SelectNetwork::read_local_keys() {
  int keys = 0;
  if (is_repeated(kPadLeft)) keys |= kKeyLeft;
  if (is_repeated(kPadRight)) keys |= kKeyRight;
  if (is_repeated(kPadUp)) keys |= kKeyUp;
  if (is_repeated(kPadDown)) keys |= kKeyDown;
  if (is_pressed(kPadRotateCcw)) keys |= kKeyDecide;
  if (is_pressed(kPadRotateCw)) keys |= kKeyCancel;
  return keys;
}

bool Scene_SelectNetwork::update() { return step(read_local_keys()); }

bool Scene_SelectNetwork::exchange_keys(int local_keys) {
  // Keys are taken while the rows are chosen; a peer's key that comes
  // earlier waits for them.
  const bool choosing = state_ == kChoosing;
  if (!keys_.exchange(choosing ? local_keys : 0) || keys_.link_lost()) return false;
  if (!choosing) {
    keys_.defer(0);
    keys_.defer(1);
  }
  return true;
}

void Scene_SelectNetwork::back_to_lobby(const char* sound) {
  play_se(sound);
  free_connection(connection_);
  connection_ = nullptr;
  if (state_ == kChoosing) timer_ = 0;
  state_ = kLeaveToLobby;
}

bool Scene_SelectNetwork::handle_side(int side, int keys) {
  // Cancel on a side still choosing changes nothing here: on its own
  // machine it has left (step), and its closed connection brings this one
  // back to the lobby.
  if (keys & kKeyCancel) {
    if (!active_[side]) {
      play_se(kSoundConfirm);
      active_[side] = 1;
    }
    return false;
  }
  if (!active_[side]) return false;
  if (keys & kKeyDown) {
    play_se(kSoundMove);
    cursor_[side] = wrap(cursor_[side], 1, kRowCount);
    return false;
  }
  if (keys & kKeyUp) {
    play_se(kSoundMove);
    cursor_[side] = wrap(cursor_[side], -1, kRowCount);
    return false;
  }
  const RowKind row = rows_[cursor_[side]];
  if (row == kRowPlay) {
    if (!(keys & kKeyDecide)) return false;
    play_se(kSoundConfirm);
    active_[side] = 0;
    return true;
  }
  // The background and the music follow this machine's keys, whichever
  // cursor stands on their row.
  const int k = row == kRowBackground || row == kRowMusic ? keys_.keys(0) : keys;
  const int step = (k & kKeyRight) ? 1 : (k & kKeyLeft) ? -1 : 0;
  if (step) step_row(row, row == kRowBackground || row == kRowMusic ? 0 : side, step);
  return false;
}

bool Scene_SelectNetwork::step(int local_keys) {
  if (connection_ && !exchange_keys(local_keys)) {
    back_to_lobby(kSoundRefuse);
  } else if (connection_ && state_ == kChoosing && (keys_.keys(0) & kKeyCancel) && !ready(0)) {
    // Back on this side while it is still choosing: this player leaves. The
    // peer, left with a closed connection, goes back to the lobby too.
    back_to_lobby(kSoundConfirm);
  }
  switch (state_) {
    case kIntro:
      if (--timer_ == 0) {
        play_music(kMenuMusic);
        state_ = kChoosing;
      }
      break;
    case kChoosing: {
      if (handle_side(0, keys_.keys(0))) {
        // The peer's key of this frame acts in the next.
        keys_.defer(1);
      } else {
        handle_side(1, keys_.keys(1));
      }
      if (!keys_.committed() && ((!active_[0] && !active_[1]) || keys_.peer_committed())) keys_.commit();
      if (keys_.settled()) {
        if (!active_[0] && !active_[1]) {
          state_ = kLeaveToBattle;
          timer_ = 45;
        } else {
          keys_.reopen();
        }
      }
      break;
    }
    case kLeaveToLobby:
      if (timer_ <= 0) {
        stop_menu_music(music_preview_);
        requested_scene = kSceneSelectNetworkMenu;
        draw();
        return false;
      }
      --timer_;
      break;
    case kLeaveToBattle:
      if (timer_ == 0) {
        stop_menu_music(music_preview_);
        handed_on_ = true;
        requested_scene = kSceneNetwork;
        draw();
        return false;
      }
      --timer_;
      break;
  }
  draw();
  return true;
}
