// The net battle's lobby (scene 11): connect to an address and port, or wait
// for a connection on a port, then the handshake; the connection, the first
// match's seed and the measured delay go on to the shared settings screen.
// Connecting and the handshake run against a time limit: a peer that does
// not answer sends the player back to the address entry with the buzzer.
#pragma once

#include <cstdint>

#include "game/net/socket_set.h"
#include "game/scene.h"
#include "platform/winsock/winsock.h"

class Scene_SelectNetworkMenu : public Scene {
 public:
  // first_state: 0 coming from the mode menu (the title music plays), 1
  // from elsewhere (the title music starts again). row is the row shown
  // first.
  Scene_SelectNetworkMenu(int first_state, int row);
  // Frees a connection it still holds, and ends its start of WinSock unless
  // that went on with the connection.
  ~Scene_SelectNetworkMenu() override;
  bool update() override;
  void draw() override;
  void hand_over(SceneValues& values) const override;
  // While it listens for the peer, and until the peer's side of the connect
  // and the handshake has come.
  bool waited_for_peer() const override;
  int scripted_state() const override { return state_; }

  // The sockets of the current connection; false on any failure (the
  // caller closes what was made).
  bool open_sockets(bool waiting, const char* address_text, int port);

  enum State { kFadeIn, kFadeInMusic, kRows, kEntry, kWaiting, kLeaving, kHandshake };
  enum Row { kRowConnect, kRowWait, kRowBack };

  int state() const { return state_; }
  int row() const { return row_; }
  int cursor() const { return cursor_; }
  int field() const { return field_; }
  const char* address_text() const { return address_; }
  const char* port_text() const { return port_; }
  socket_set* connection() const { return connection_; }
  bool connecting() const { return connecting_; }

  // The environment variable naming the address this machine's sockets are
  // bound to (any address when it is unset), so that two programs can play
  // each other on one machine, each on an address of its own.
  static constexpr const char* kBindAddressVariable = "VOXALDRIFT_NET_ADDRESS";

  // How long connecting and the handshake may take, in milliseconds.
  int time_limit_ms = kHandshakeLimitMs;

 private:
  void entry_step();
  void type_digit(char digit);
  void paste();
  void connect();
  void wait();
  void wait_for_peer();
  bool handshake_step();
  // Closes and frees the connection (none afterwards).
  void drop_connection();
  // A new, empty connection bound to this machine's address.
  void new_connection();
  void refuse();
  int port_number() const;

  int state_;
  int timer_ = 45;
  int cursor_ = 0;
  int field_ = 0;  // 0 address, 1 port
  char address_[16] = "127.000.000.001";
  char port_[6] = "04649";
  winsock::fd_set read_list_{}, write_list_{}, master_list_{};
  int row_;
  socket_set* connection_ = nullptr;
  uint32_t seed_ = 0;
  int delay_ = 0;
  bool connecting_ = false;
  uint32_t local_address_ = 0;
  bool winsock_started_ = false;
  bool handed_on_ = false;
};
