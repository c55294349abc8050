// The net battle (scene 13): this machine's player on the left
// (Field_Network) against the peer on the right (Field_Client), both
// simulated here from one seed and the exchanged inputs. Fade-in, count-in,
// the match, the result, then the after-match menu both players answer
// together: go on or quit, each with or without saving the replay. Going
// on takes both players; a player who quits leaves at once, and the peer
// goes back to the lobby too (with the replay its player asked for, when
// its player had decided). The scene owns the connection and frees it when
// it ends.
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
    return waited_for_peer_ || (state_ == kMenu && (menu_[0].decided || keys_.committed()));
  }
  // The after-match menu's cursors and labels.
  void draw() override;

  enum MenuKey { kMenuUp = 4, kMenuDown = 8, kMenuDecide = 16, kMenuCancel = 32 };
  static int read_local_menu_keys();
  // One frame with these menu keys pressed here; update() is this with
  // read_local_menu_keys().
  bool step(int local_menu_keys);
  // False when the link failed.
  bool after_match_menu(int local_keys);

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
  // Both sides committed: choose again unless both have decided; go on
  // together, or leave when the peer has decided to quit.
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
