// The net battle (scene 13): this machine's player on the left
// (Field_Network) against the peer on the right (Field_Client), both
// simulated here from one seed and the exchanged inputs. Fade-in, count-in,
// the match, the result, then the after-match menu both players answer
// together: go on or quit, each with or without saving the replay. Going
// on takes both players; a player who quits leaves at once. The other
// player, once it knows (the quit, or the connection lost), stays in the
// menu until it has chosen to quit, with or without the replay, and is
// refused going on; one who had already decided to go on leaves at once,
// with the replay it asked for. The scene owns the connection and frees it
// when it ends.
#pragma once

#include <cstdint>

#include "game/net/field_network.h"
#include "game/net/key_exchange.h"
#include "game/net/net_play.h"
#include "game/scene_double.h"

struct socket_set;

// One side of the after-match menu: its choice (0-3, -1 hidden) and whether
// it has decided.
struct Menu_Side {
  int choice = -1;
  bool decided = false;
};

// What a side's keys did to it, for the sound.
enum Menu_Event { kMenuNothing, kMenuMoved, kMenuDecided, kMenuCancelled };
// Applies one frame's keys (4 up, 8 down, 16 decide, 32 cancel) to a side:
// decide while choosing, else cancel while decided, else down or up while
// choosing.
Menu_Event apply_menu_keys(Menu_Side* side, int keys);

class Scene_Network : public Scene_Double {
 public:
  Scene_Network(const side_settings& local, const side_settings& peer, const char* background, const char* music,
                socket_set* connection);
  // Deletes both fields, then frees the connection (its sockets closed, its
  // threads joined).
  ~Scene_Network() override;
  bool update() override { return step(read_local_menu_keys()); }
  // While a frame of play waits for the peer's record, the connecting side
  // for the next match's seed, or this side's decision in the menu for the
  // peer's.
  bool waited_for_peer() const override {
    return waited_for_peer_ || (state_ == kMenu && !keys_.alone() && (menu_[0].decided || keys_.committed()));
  }
  // The state, and for the menu without the peer kMenuAlone.
  int scripted_state() const override { return state_ == kMenu && keys_.alone() ? kMenuAlone : state_; }
  static constexpr int kMenuAlone = 8;
  // The after-match menu's cursors and labels.
  void draw() override;

  enum MenuKey { kMenuUp = 4, kMenuDown = 8, kMenuDecide = 16, kMenuCancel = 32 };
  static int read_local_menu_keys();
  // One frame with these menu keys pressed here; update() is this with
  // read_local_menu_keys().
  bool step(int local_menu_keys);
  // One frame of the after-match menu; it goes on alone once the peer has
  // decided to quit or the link is lost.
  void after_match_menu(int local_keys);
  // The peer has decided to quit, or has gone.
  bool peer_quits() const;
  bool alone() const { return keys_.alone(); }

  // How long the connecting side waits for the next match's seed.
  static constexpr int kSeedWaitFrames = 600;

  int result() const { return winner_; }
  const Menu_Side& menu_side(int side) const { return menu_[side]; }
  Field_Network* local_field() const { return play_.local(); }
  Field_Client* peer_field() const { return play_.peer(); }
  const Net_Play& play() const { return play_; }
  socket_set* connection() const { return connection_; }
  const side_settings& side(int n) const { return n == 0 ? left_settings_ : right_settings_; }

 private:
  void count_in_began() override { play_.begin_count_in(); }
  // Records of a peer whose count-in ended first are kept for the match.
  void count_in_frame() override { play_.peer()->take_received(); }
  void count_in_ended() override { play_.end_count_in(); }
  bool play_frame(int results[2]) override;
  // The UDP end record; the waiting side sends the next match's seed.
  void match_over() override;
  void result_step() override;
  // The connecting side waits for the next match's seed, then the menu.
  void result_shown() override;
  void after_match_step() override;
  bool take_next_seed();
  void open_menu();
  // The menu without the peer from now on (the connection closed when
  // `close`).
  void go_alone(bool close);
  // Both sides committed: choose again unless both have decided to go on.
  void settle_menu();
  // The end of the menu: the replay saved when this side's choice asks for
  // it; then another match, or, leaving, the end record, the connection
  // closed and the fade-out to the lobby.
  void end_menu(bool leaving);
  void link_failed();

  socket_set* connection_;
  Net_Play play_;
  int menu_keys_ = 0;  // this machine's menu keys of the frame
  Key_Exchange keys_;
  Menu_Side menu_[2];
  uint32_t next_seed_;
  // The connecting side reads the next seed at the end of the result.
  bool awaiting_seed_ = false;
  int seed_wait_ = 0;
  bool waited_for_peer_ = false;
  uint8_t seed_bytes_[4] = {};
  int seed_got_ = 0;
};
