// The net battle.
#include "game/net/scene_network.h"

#include "engine/core/random.h"
#include "engine/core/screen_log.h"
#include "engine/graphics/graphics.h"
#include "game/after_match_menu.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/net/socket_set.h"
#include "game/replay.h"
#include "game/settings.h"

Menu_Event apply_menu_keys(Menu_Side* side, int keys) {
  if (!side->decided && (keys & Scene_Network::kMenuDecide)) {
    side->decided = true;
    return kMenuDecided;
  }
  if (side->decided && (keys & Scene_Network::kMenuCancel)) {
    side->decided = false;
    return kMenuCancelled;
  }
  if (side->decided) return kMenuNothing;
  if (keys & Scene_Network::kMenuDown) {
    side->choice = (side->choice + 1) % kAfterMatchRows;
    return kMenuMoved;
  }
  if (keys & Scene_Network::kMenuUp) {
    side->choice = (side->choice + kAfterMatchRows - 1) % kAfterMatchRows;
    return kMenuMoved;
  }
  return kMenuNothing;
}

Scene_Network::Scene_Network(const side_settings& local, const side_settings& peer, const char* background,
                             const char* music, socket_set* connection)
    : Scene_Double(construct_base{}, kSceneSelectNetworkMenu),
      connection_(connection),
      play_(connection, make_net_fields(local, peer, connection, 0)),
      keys_(connection, local.frame_offset),
      next_seed_((uint32_t)GetRandomUpTo(kSeedLimit)) {
  left_settings_ = local;
  right_settings_ = peer;
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  // This machine's player plays on the left.
  set_fields(play_.local(), play_.peer());
}

Scene_Network::~Scene_Network() {
  delete_fields();
  free_connection(connection_);
}

int Scene_Network::read_local_menu_keys() {
  int keys = 0;
  if (is_repeated(kPadUp)) keys |= kMenuUp;
  if (is_repeated(kPadDown)) keys |= kMenuDown;
  if (is_pressed(C_Custom) || is_key_pressed(kKeyEnter)) keys |= kMenuDecide;
  if (is_pressed(B_Custom)) keys |= kMenuCancel;
  return keys;
}

void Scene_Network::link_failed() {
  play_se(kSoundRefuse);
  // The local player is shown as the loser.
  if (winner_ == 0) winner_ = 2;
  leave();
}

bool Scene_Network::step(int local_menu_keys) {
  waited_for_peer_ = false;
  menu_keys_ = local_menu_keys;
  return Scene_Match::update();
}

bool Scene_Network::play_frame(int results[2]) {
  switch (play_.step(&results[0], &results[1])) {
    case Net_Play::kWaiting:
      // Neither field moves this frame; both are still shown.
      waited_for_peer_ = true;
      play_.local()->draw_still();
      play_.peer()->draw_still();
      return false;
    case Net_Play::kLinkLost:
      link_failed();
      end_of_match();
      return false;
    case Net_Play::kPlayed:
      break;
  }
  if (results[0] == kFieldLinkFailed) {
    link_failed();
    end_of_match();
    return false;
  }
  // Both topped out in one frame: each machine shows its own player won.
  return true;
}

void Scene_Network::match_over() {
  play_.end_match();
  if (!connection_->waiting_side()) return;
  left_settings_.seed = right_settings_.seed = (int)next_seed_;
  next_seed_ = (uint32_t)GetRandomUpTo(kSeedLimit);
  uint8_t bytes[4];
  encode_next_seed((uint32_t)left_settings_.seed, bytes);
  // A seed that does not arrive sends the peer back to the lobby.
  send_all(connection_, bytes, 4);
}

void Scene_Network::result_step() {
  if (awaiting_seed_) {
    if (take_next_seed()) open_menu();
    return;
  }
  play_.serve_after_match();
  Scene_Match::result_step();
}

void Scene_Network::result_shown() {
  play_.stop();
  if (connection_->waiting_side()) {
    open_menu();
    return;
  }
  awaiting_seed_ = true;
  seed_wait_ = seed_got_ = 0;
  if (take_next_seed()) open_menu();
}

void Scene_Network::open_menu() {
  awaiting_seed_ = false;
  state_ = kMenu;
  menu_[0] = menu_[1] = Menu_Side{0, false};
  keys_.open();
}

void Scene_Network::after_match_step() {
  if (state_ == kMenu) after_match_menu(menu_keys_);
}

bool Scene_Network::take_next_seed() {
  const int got = receive_some(connection_, seed_bytes_, 4, &seed_got_);
  if (got == 0 && ++seed_wait_ <= kSeedWaitFrames) {
    waited_for_peer_ = true;
    return false;
  }
  if (got <= 0) {
    awaiting_seed_ = false;
    link_failed();
    return false;
  }
  left_settings_.seed = right_settings_.seed = (int)decode_next_seed(seed_bytes_);
  return true;
}

void Scene_Network::after_match_menu(int local_keys) {
  const bool sent = keys_.exchange(local_keys);
  if (!keys_.alone() && (!sent || keys_.link_lost())) {
    // The match is over, so its replay is still this player's: a side that
    // had decided to go on leaves with what it asked for, one still
    // choosing stays to choose how to leave. A peer whose end record came
    // before the connection closed has left by its choice, and its keys
    // that came act still; one that did not is gone, and the buzzer says so.
    if (menu_[0].decided) {
      play_se(kSoundRefuse);
      end_menu(true);
      return;
    }
    if (!keys_.peer_committed()) play_se(kSoundRefuse);
    go_alone(true);
  }
  const int peer_keys = keys_.keys(1);
  if (peer_keys && !(peer_keys & (kMenuUp | kMenuDown | kMenuDecide | kMenuCancel)))
    PrintScreenLog("%d\n", peer_keys);
  for (int side = 0; side < 2; ++side) {
    const int keys = keys_.keys(side);
    // Once the peer has decided to quit, or has gone, there is no match to
    // go on to.
    if (side == 0 && (keys & kMenuDecide) && !menu_[0].decided && !after_match_leaves(menu_[0].choice) &&
        peer_quits()) {
      play_se(kSoundRefuse);
      continue;
    }
    switch (apply_menu_keys(&menu_[side], keys)) {
      case kMenuMoved:
      case kMenuCancelled: play_se(kSoundMove); break;
      case kMenuDecided:
        if (!after_match_leaves(menu_[side].choice)) {
          play_se(kSoundConfirm);
          break;
        }
        // A player who quits leaves at once, whatever the other chooses. A
        // player who had decided to go on leaves with it, with the replay
        // it asked for; one still choosing stays, and may yet save it.
        if (side == 1 && !menu_[0].decided) {
          play_se(kSoundConfirm);
          go_alone(false);
          break;
        }
        play_se(side == 0 ? kSoundConfirm : kSoundRefuse);
        end_menu(true);
        return;
      case kMenuNothing: break;
    }
  }
  if (keys_.alone()) return;
  if (!keys_.committed() && ((menu_[0].decided && menu_[1].decided) || keys_.peer_committed())) keys_.commit();
  if (keys_.settled()) settle_menu();
}

bool Scene_Network::peer_quits() const {
  return keys_.alone() || (menu_[1].decided && after_match_leaves(menu_[1].choice));
}

void Scene_Network::go_alone(bool close) {
  if (keys_.alone()) return;
  keys_.go_alone();
  // A peer that is still there (it stopped answering) sees the connection
  // closed and leaves its menu too; one that decided to quit closes it
  // itself.
  if (close) close_connection_sockets(connection_);
}

void Scene_Network::settle_menu() {
  // Both machines see the same keys of both sides now, and both sides
  // decided to go on (a side that quits leaves the moment it decides), or
  // one side took its decision back and both choose again.
  if (!menu_[0].decided || !menu_[1].decided) {
    keys_.reopen();
    return;
  }
  play_se(kSoundConfirm);
  end_menu(false);
}

void Scene_Network::end_menu(bool leaving) {
  if (after_match_saves(menu_[0].choice)) {
    // A replay that cannot be written is reported and the menu goes on.
    if (play_.save_replay() < 0) report_failed_save(failed_replay_file().c_str());
  }
  if (leaving) {
    // The end record, then the connection closed at once (its receive
    // thread stopped first; the record itself goes with the scene): the
    // peer, still in its menu, sees it closed.
    if (!keys_.alone()) keys_.commit();
    stop_receive(connection_);
    close_connection_sockets(connection_);
    leave();
    return;
  }
  menu_[0] = menu_[1] = Menu_Side{};
  play_again(left_settings_.seed);
}

void Scene_Network::draw() {
  if (menu_[0].choice < 0 && menu_[1].choice < 0) return;
  const int graph = load_image(kCursorImage);
  const int fading = timer_ * 192 / 60;
  for (int side = 0; side < 2; ++side) {
    // The peer's cursor is shown as decided once it has gone.
    const bool decided = menu_[side].decided || (side == 1 && keys_.alone());
    const int b = state_ != kMenu ? fading : decided ? 192 : 255;
    SetPaintBrightness(b, b, b);
    const int y = 128 + 32 * menu_[side].choice;
    if (side == 0)
      PaintGraph(128, y, graph, 1);
    else
      PaintGraphMirrored(448, y, graph, 1);
  }
  draw_after_match_labels(state_ == kMenu ? 255 : fading);
  SetPaintBrightness(255, 255, 255);
}
