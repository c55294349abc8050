// The net battle's shared settings screen (scene 12): both players set the
// rules of their own fields on one screen with two cursors, this machine's
// on the left and the peer's on the right. Every key acts on both machines:
// here after the input delay, on the peer as it arrives (Key_Exchange). The
// background and the music are chosen with this machine's keys alone and
// stay on this machine. When both are ready the screen leaves for the
// battle with the two sides' settings and the connection. Cancel takes back
// a side's ready; on this machine's side while it is still choosing it
// leaves for the lobby, closing the connection, so a player is never held
// by a peer who does not answer.
#pragma once

#include <cstdint>

#include "game/net/key_exchange.h"
#include "game/scene_select_double.h"

struct socket_set;

class Scene_SelectNetwork : public Scene_SelectDouble {
 public:
  // Takes the connection over; starts its TCP receive thread.
  Scene_SelectNetwork(socket_set* connection, uint32_t seed, int delay);
  // Frees the connection unless it went on to the battle.
  ~Scene_SelectNetwork() override;
  bool update() override;
  void hand_over(SceneValues& values) const override;
  // While this side is ready and the peer is not yet, or both are and the
  // screen waits for the peer's last keys.
  bool waited_for_peer() const override {
    return state_ == kChoosing && (ready(0) || keys_.committed());
  }

  // Key bits, as they travel.
  enum Key { kKeyLeft = 1, kKeyRight = 2, kKeyUp = 4, kKeyDown = 8, kKeyDecide = 16, kKeyCancel = 32 };
  // The keys pressed (or repeating) on this machine this frame.
  static int read_local_keys();
  // One frame with these keys pressed here; update() is this with
  // read_local_keys().
  bool step(int local_keys);
  // The keys of the frame sent and taken; false when the link failed.
  bool exchange_keys(int local_keys);

  bool ready(int side) const { return active_[side] == 0; }
  socket_set* connection() const { return connection_; }

  // States as the free-battle screen numbers them.
  static constexpr int kLeaveToLobby = kLeavingBack;
  static constexpr int kLeaveToBattle = kLeavingOn;

 private:
  // The keys of one side in state 3; true when they made the side ready.
  bool handle_side(int side, int keys);
  // The connection closed and freed, and the screen leaves for the lobby
  // (at once from state 3) with the sound.
  void back_to_lobby(const char* sound);

  socket_set* connection_;
  Key_Exchange keys_;
  bool handed_on_ = false;
};
