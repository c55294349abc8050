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

namespace {

constexpr int kLocalOrigin = 24;
constexpr int kPeerOrigin = 420;

}  // namespace

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
    : Scene_Double(construct_base{}),
      connection_(connection),
      local_(new Field_Network(local, kLocalOrigin, connection)),
      peer_(new Field_Client(peer, kPeerOrigin, connection)),
      play_(connection, local_, peer_),
      keys_(connection, local.frame_offset),
      next_seed_((uint32_t)GetRandomUpTo(kSeedLimit)) {
  state_ = kFadeIn;
  timer_ = 60;
  winner_ = 0;
  left_settings_ = local;
  right_settings_ = peer;
  copy_media_name(background_, background);
  copy_media_name(music_, music);
  link_opponents(local_, peer_);
  // The battle's drawing, count-in and animations run on them as its left
  // and right fields.
  left_ = local_;
  right_ = peer_;
}

Scene_Network::~Scene_Network() {
  delete local_;
  delete peer_;
  left_ = right_ = nullptr;
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

bool Scene_Network::update() { return step(read_local_menu_keys()); }

void Scene_Network::link_failed() {
  play_se(kSoundRefuse);
  // The local player is shown as the loser.
  if (winner_ == 0) winner_ = 2;
  state_ = kFadeOut;
  timer_ = 60;
}

bool Scene_Network::step(int local_menu_keys) {
  waited_for_peer_ = false;
  draw_match();
  draw();
  switch (state_) {
    case kFadeIn:
      if (--timer_ == 0) {
        state_ = kCountIn;
        timer_ = 180;
        play_.begin_count_in();
      }
      break;
    case kCountIn:
      // Records of a peer whose count-in ended first are kept for the match.
      peer_->take_received();
      if (count_in_step()) play_.end_count_in();
      break;
    case kMatch:
      play_step();
      break;
    case kLeftWon:
    case kRightWon:
      if (!awaiting_seed_) {
        draw_end_animations();
        play_.serve_after_match();
        if (--timer_ > 0) break;
        play_.stop();
        awaiting_seed_ = !connection_->waiting_side();
        seed_wait_ = seed_got_ = 0;
      }
      if (awaiting_seed_ && !take_next_seed()) break;
      awaiting_seed_ = false;
      state_ = kMenu;
      menu_[0] = menu_[1] = Menu_Side{0, false};
      keys_.open();
      break;
    case kMenu:
      if (!after_match_menu(local_menu_keys)) link_failed();
      break;
    case kFadeOut:
      if (--timer_ <= 0) {
        requested_scene = kSceneSelectNetworkMenu;
        return false;
      }
      break;
  }
  return true;
}

void Scene_Network::play_step() {
  int r0 = kFieldPlaying, r1 = kFieldPlaying;
  switch (play_.step(&r0, &r1)) {
    case Net_Play::kWaiting:
      // Neither field moves this frame; both are still shown.
      waited_for_peer_ = true;
      local_->draw_still();
      peer_->draw_still();
      return;
    case Net_Play::kLinkLost:
      link_failed();
      end_match();
      return;
    case Net_Play::kPlayed:
      break;
  }
  if (r0 == kFieldLinkFailed) {
    link_failed();
  } else if (int winner = match_winner(r0, r1)) {
    // Both topped out in one frame: each machine shows its own player won.
    begin_result(winner);
  }
  if (state_ >= kLeftWon) end_match();
}

void Scene_Network::end_match() {
  stop_music(music_);
  play_.end_match();
  if (!connection_->waiting_side()) return;
  left_settings_.seed = right_settings_.seed = (int)next_seed_;
  next_seed_ = (uint32_t)GetRandomUpTo(kSeedLimit);
  uint8_t bytes[4];
  encode_next_seed((uint32_t)left_settings_.seed, bytes);
  // A seed that does not arrive sends the peer back to the lobby.
  send_all(connection_, bytes, 4);
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

bool Scene_Network::after_match_menu(int local_keys) {
  if (local_keys & kMenuDecide) {
    // Refused here, before it is sent, when the peer has already decided
    // the other way: a key once sent acts on both machines.
    Menu_Side own = menu_[0];
    for (const Key_Exchange::Key& k : keys_.local_pending()) apply_menu_keys(&own, k.bits);
    if (!own.decided && menu_[1].decided && own.choice / 2 != menu_[1].choice / 2) {
      play_se(kSoundRefuse);
      local_keys &= ~kMenuDecide;
    }
  }
  if (!keys_.exchange(local_keys) || keys_.link_lost()) return false;
  const int peer_keys = keys_.keys(1);
  if (peer_keys && !(peer_keys & (kMenuUp | kMenuDown | kMenuDecide | kMenuCancel)))
    PrintScreenLog("%d\n", peer_keys);
  for (int side = 0; side < 2; ++side) {
    switch (apply_menu_keys(&menu_[side], keys_.keys(side))) {
      case kMenuMoved:
      case kMenuCancelled: play_se(kSoundMove); break;
      case kMenuDecided: play_se(kSoundConfirm); break;
      case kMenuNothing: break;
    }
  }
  if (!keys_.committed() && ((menu_[0].decided && menu_[1].decided) || keys_.peer_committed())) keys_.commit();
  if (keys_.settled()) settle_menu();
  return true;
}

void Scene_Network::settle_menu() {
  const bool both = menu_[0].decided && menu_[1].decided;
  if (!both || menu_[0].choice / 2 != menu_[1].choice / 2) {
    // Both machines see the same keys of both sides now: decided the two
    // ways at once, both sides choose again.
    if (both) {
      play_se(kSoundRefuse);
      menu_[0].decided = menu_[1].decided = false;
    }
    keys_.reopen();
    return;
  }
  play_se(kSoundConfirm);
  if (after_match_saves(menu_[0].choice)) {
    // A replay that cannot be written is reported and the menu goes on.
    if (play_.save_replay() < 0) report_failed_save(kReplayFiles);
  }
  if (after_match_leaves(menu_[0].choice)) {
    state_ = kFadeOut;
    timer_ = 60;
    return;
  }
  menu_[0] = menu_[1] = Menu_Side{};
  local_->reset(left_settings_.seed);
  peer_->reset(left_settings_.seed);
  winner_ = 0;
  state_ = kCountIn;
  timer_ = 180;
  play_.begin_count_in();
}

void Scene_Network::draw() {
  if (menu_[0].choice < 0 && menu_[1].choice < 0) return;
  const int graph = load_image(kCursorImage);
  const int fading = timer_ * 192 / 60;
  for (int side = 0; side < 2; ++side) {
    const int b = state_ != kMenu ? fading : menu_[side].decided ? 192 : 255;
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
