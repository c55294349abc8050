// The net battle's lobby.
#include "game/net/scene_select_network_menu.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/core/random.h"
#include "engine/core/util.h"
#include "engine/core/window.h"
#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/net/socket_set.h"
#include "game/settings.h"
#include "platform/win32/window.h"

namespace {

const char* const kRowLabels[3] = {"接続する", "接続を待つ", "メニューに戻る"};
const char* const kRowHelp[3] = {"どっかのIPに接続をふっかけます。", "接続をじっくりと待ちます。", "気の短い人にはこれをお勧め。"};
constexpr const char* kSoundConnected = "sounds\\levelup.wav";
constexpr int kAddressPositions = 12;
constexpr int kPortPositions = 5;
// Scan codes of the digit keys "1" to "9" and "0".
constexpr int kFirstDigitKey = 2;

// The port text as five digits: a value above 65535 reads as 65535, text
// that is no number as 0, so digits can be typed at every position.
void normalise_port(char (&port)[6], const char* text) {
  long value = std::strtol(text, nullptr, 10);
  std::snprintf(port, sizeof port, "%05d", (int)std::clamp(value, 0L, 65535L));
}

}  // namespace

Scene_SelectNetworkMenu::Scene_SelectNetworkMenu(int first_state, int row)
    : state_(first_state == 0 ? kFadeIn : kFadeInMusic), row_(std::clamp(row, 0, 2)) {
  winsock::WSADATA data;
  winsock_started_ = winsock::WSAStartup(winsock::MakeVersion(2, 0), &data) == 0;
  char text[6] = {};
  GetPrivateProfileStringA(kSettingsSection, "DefaultPort", "04649", text, sizeof text, kSettingsFile);
  normalise_port(port_, text);
  if (const char* bound = std::getenv(kBindAddressVariable)) {
    uint32_t address = parse_ipv4(bound);
    if (address != kInvalidAddress) local_address_ = address;
  }
}

Scene_SelectNetworkMenu::~Scene_SelectNetworkMenu() {
  if (handed_on_) return;
  drop_connection();
  if (winsock_started_) winsock::WSACleanup();
}

void Scene_SelectNetworkMenu::hand_over(SceneValues& values) const {
  values.connection = handed_on_ ? connection_ : nullptr;
  values.seed = (int)seed_;
  values.input_delay = delay_;
}

bool Scene_SelectNetworkMenu::open_sockets(bool waiting, const char* address_text, int port) {
  // The watch list holds the listener alone until a connection comes.
  read_list_.fd_count = write_list_.fd_count = 0;
  master_list_.fd_count = 0;
  if (!open_connection_sockets(connection_, waiting, address_text, port)) return false;
  master_list_.fd_array[master_list_.fd_count++] = connection_->tcp_socket;
  return true;
}

void Scene_SelectNetworkMenu::new_connection() {
  drop_connection();
  connection_ = new socket_set;
  connection_->local_address = local_address_;
  connection_->time_limit_ms = time_limit_ms;
}

void Scene_SelectNetworkMenu::drop_connection() {
  free_connection(connection_);
  connection_ = nullptr;
  connecting_ = false;
}

void Scene_SelectNetworkMenu::refuse() { play_se(kSoundRefuse); }

bool Scene_SelectNetworkMenu::waited_for_peer() const {
  return state_ == kWaiting || (state_ == kHandshake && connection_->handshake_thread.running());
}

int Scene_SelectNetworkMenu::port_number() const { return std::atoi(port_); }

bool Scene_SelectNetworkMenu::update() {
  draw();
  switch (state_) {
    case kFadeIn:
    case kFadeInMusic:
      if (timer_ == 0) {
        if (state_ == kFadeInMusic) play_music(kTitleMusic);
        state_ = kRows;
      }
      break;
    case kRows:
      move_cursor(&row_, 3);
      if (is_pressed(C_Custom)) {
        play_se(kSoundConfirm);
        if (row_ == kRowConnect) {
          field_ = 0;
          state_ = kEntry;
        } else if (row_ == kRowWait) {
          field_ = 1;
          if (cursor_ >= kPortPositions) cursor_ = 0;
          state_ = kEntry;
        } else {
          timer_ = 45;
          state_ = kLeaving;
        }
      }
      if (is_pressed(B_Custom)) {
        play_se(kSoundMove);
        timer_ = 45;
        state_ = kLeaving;
      }
      break;
    case kEntry:
      entry_step();
      break;
    case kWaiting:
      wait_for_peer();
      break;
    case kLeaving:
      if (timer_ == 0) {
        drop_connection();
        if (winsock_started_) winsock::WSACleanup();
        winsock_started_ = false;
        requested_scene = kSceneSelectMode;
        return false;
      }
      break;
    case kHandshake:
      if (!handshake_step()) return false;
      break;
  }
  --timer_;
  return true;
}

void Scene_SelectNetworkMenu::entry_step() {
  if (row_ == kRowConnect && (is_pressed(kPadUp) || is_pressed(kPadDown))) {
    play_se(kSoundMove);
    field_ ^= 1;
    if (field_ == 1 && cursor_ >= kPortPositions) cursor_ = 0;
  }
  const int count = field_ == 0 ? kAddressPositions : kPortPositions;
  if (is_pressed(kPadLeft)) {
    play_se(kSoundMove);
    if (--cursor_ < 0) cursor_ = count - 1;
  }
  if (is_pressed(kPadRight)) {
    play_se(kSoundMove);
    if (++cursor_ >= count) cursor_ = 0;
  }
  if (is_pressed(B_Custom)) {
    play_se(kSoundMove);
    state_ = kRows;
  }
  if (is_pressed(START_Custom)) paste();
  for (int i = 0; i < 10; ++i)
    if (is_key_pressed(kFirstDigitKey + i)) {
      type_digit(i == 9 ? '0' : (char)('1' + i));
      break;
    }
  if (is_pressed(C_Custom) || is_key_pressed(kKeyEnter)) {
    if (row_ == kRowConnect)
      connect();
    else if (row_ == kRowWait)
      wait();
  }
}

void Scene_SelectNetworkMenu::type_digit(char digit) {
  play_se(kSoundMove);
  if (field_ == 0) {
    const int at = cursor_ + cursor_ / 3;  // the dots are skipped
    address_[at] = digit;
    char* group = address_ + (cursor_ / 3) * 4;
    if ((group[0] - '0') * 100 + (group[1] - '0') * 10 + (group[2] - '0') > 255) std::memcpy(group, "255", 3);
    if (cursor_ < kAddressPositions - 1) ++cursor_;
  } else {
    port_[cursor_] = digit;
    if (std::atol(port_) > 65535) std::memcpy(port_, "65535", 5);
    if (cursor_ < kPortPositions - 1) ++cursor_;
  }
}

void Scene_SelectNetworkMenu::paste() {
  if (!OpenClipboard(GetMainWindow())) {
    refuse();
    return;
  }
  char text[32] = {};
  bool have = false;
  if (HANDLE data = GetClipboardData(CF_TEXT)) {
    if (const char* locked = static_cast<const char*>(GlobalLock(data))) {
      CopyStringBounded(text, locked, sizeof text);
      GlobalUnlock(data);
      have = true;
    }
  }
  CloseClipboard();
  Pasted_Address pasted;
  if (!have || !parse_pasted_address(text, &pasted)) {
    refuse();
    return;
  }
  play_se(kSoundConfirm);
  const uint8_t* b = reinterpret_cast<const uint8_t*>(&pasted.address);
  std::snprintf(address_, sizeof address_, "%03d.%03d.%03d.%03d", b[0], b[1], b[2], b[3]);
  if (pasted.port >= 0) std::snprintf(port_, sizeof port_, "%05d", std::min(pasted.port, 65535));
}

void Scene_SelectNetworkMenu::connect() {
  new_connection();
  if (!open_sockets(false, address_, port_number()) || !start_connecting(connection_)) {
    refuse();
    drop_connection();
    return;
  }
  connecting_ = true;
  state_ = kHandshake;
}

void Scene_SelectNetworkMenu::wait() {
  if (!write_setting_text("DefaultPort", port_)) report_failed_save(kSettingsName);
  if (!connection_) {
    new_connection();
    if (!open_sockets(true, address_, port_number())) {
      refuse();
      drop_connection();
      return;
    }
  }
  play_se(kSoundConfirm);
  state_ = kWaiting;
}

void Scene_SelectNetworkMenu::wait_for_peer() {
  if (is_pressed(B_Custom)) {
    play_se(kSoundConfirm);
    drop_connection();
    state_ = kEntry;
    return;
  }
  read_list_ = write_list_ = master_list_;
  const timeval poll{0, 100};
  int ready = winsock::select(0, &read_list_, &write_list_, nullptr, &poll);
  if (ready == winsock::SOCKET_ERROR) {
    // The listener stays; a later wait uses it again.
    refuse();
    state_ = kRows;
    return;
  }
  if (ready == 0 || !winsock::WSAFDIsSet(connection_->tcp_socket, &read_list_)) return;
  sockaddr_in peer{};
  int length = sizeof peer;
  winsock::SOCKET data = winsock::accept(connection_->tcp_socket, reinterpret_cast<sockaddr*>(&peer), &length);
  if (data == winsock::INVALID_SOCKET) return;
  accepted_as_waiting_side(connection_, data, peer);
  play_se(kSoundConnected);
  // Drawn here, before the handshake thread starts: the engine's generator
  // is the main thread's.
  connection_->handshake_seed = (uint32_t)GetRandomUpTo(kSeedLimit);
  start_handshake(connection_);
  timer_ = 45;
  state_ = kHandshake;
}

bool Scene_SelectNetworkMenu::handshake_step() {
  if (connection_->handshake_thread.result() == Net_Thread::kFailed) {
    // The connect failed or took too long, the peer did not answer in time,
    // is not this program, measured a delay too long to play at, or the UDP
    // port is taken.
    refuse();
    drop_connection();
    state_ = kEntry;
    return true;
  }
  if (connecting_) {
    // The handshake thread connects and goes on with the handshake at once.
    if (!connection_->connected.load()) return true;
    connecting_ = false;
    play_se(kSoundConnected);
    timer_ = 45;
    return true;
  }
  replay_command record;
  if (timer_ > 0 || connection_->handshake_thread.running() || !front_record(connection_, &record)) return true;
  pop_record(connection_);
  connection_->handshake_thread.stop();
  seed_ = record.frame;
  delay_ = record.bits;
  stop_music(kTitleMusic);
  connection_->holds_winsock = winsock_started_;
  handed_on_ = true;
  requested_scene = kSceneSelectNetwork;
  return false;
}

void Scene_SelectNetworkMenu::draw() {
  SetPaintBrightness(192, 192, 192);
  draw_title_background();
  int shift = 0;
  if (state_ <= kFadeInMusic)
    shift = slide_in(timer_);
  else if (state_ == kLeaving || (state_ == kHandshake && !connecting_))
    shift = slide_out(timer_);
  SetPaintBrightness(255, 255, 255);
  PaintGraph(176 + shift, 160 + 24 * row_, load_image(kCursorImage), 1);
  for (int row = 0; row < 3; ++row) draw_text(200 + shift, 160 + 24 * row, kRowLabels[row], kFontMenu);
  SelectBlendMode(0, 0);
  if (state_ == kEntry || state_ == kWaiting) {
    SelectBlendMode(1, 128);
    PaintGraph(160, 120, load_image("images\\snetbg.png"), 1);
    SelectBlendMode(1, 255);
    const int under = field_ == 1 ? 200 + 15 * cursor_ : 200 + 15 * (cursor_ + cursor_ / 3);
    PaintGraph(under, field_ == 1 ? 264 : 192, load_image("images\\snetcursor.png"), 1);
    draw_text(240, 144, "IPアドレス", kFontMenu, 1, 0);
    if (row_ == kRowConnect)
      draw_text(200, 168, address_, kFontMenu, 1, 0);
    else
      draw_text(200, 168, "---.---.---.---", kFontMenu, 3, 0);
    draw_text(240, 216, "ポート番号", kFontMenu, 1, 0);
    draw_text(200, 240, port_, kFontMenu, 1, 0);
    SelectBlendMode(0, 0);
  }
  if (state_ == kRows) {
    draw_text(40, 440, kRowHelp[row_], kFontSmall, 1, 0);
  } else if (state_ == kWaiting && connection_) {
    char line[64];
    std::snprintf(line, sizeof line, "接続待ち: ポート%d", ntohs(connection_->tcp_address.sin_port));
    draw_text(40, 440, line, kFontSmall, 1, 0);
  }
}
