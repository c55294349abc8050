#include "game/net/net_wire.h"

#include <algorithm>
#include <cstring>

#include "base/byte_order.h"

void encode_record(const replay_command& record, uint8_t out[kRecordBytes]) {
  WriteBe32(out, record.frame);
  WriteBe16(out + 4, record.bits);
  out[6] = out[7] = 0;
}

replay_command decode_record(const uint8_t bytes[kRecordBytes]) {
  return replay_command{ReadBe32(bytes), ReadBe16(bytes + 4), 0};
}

bool is_end_record(const uint8_t bytes[kRecordBytes]) {
  static const uint8_t kEnd[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  return std::memcmp(bytes, kEnd, sizeof kEnd) == 0;
}

void encode_end_record(uint8_t out[kRecordBytes]) { encode_record({kEndFrame, kEndBits, 0}, out); }

Record_Stream::Piece Record_Stream::feed(const uint8_t* data, size_t length, size_t* used, replay_command* record) {
  size_t take = std::min(length, (size_t)(kRecordBytes - have_));
  if (take) std::memcpy(bytes_ + have_, data, take);
  have_ += (int)take;
  *used = take;
  if (have_ < kRecordBytes) return kNone;
  have_ = 0;
  if (is_end_record(bytes_)) return kEnd;
  *record = decode_record(bytes_);
  return kRecord;
}

bool datagram_from_peer(const sockaddr_in& from, const sockaddr_in& peer) {
  return from.sin_family == AF_INET && from.sin_addr.s_addr == peer.sin_addr.s_addr && from.sin_port == peer.sin_port;
}

bool datagram_is_record(int length) { return length == kRecordBytes; }

uint32_t elapsed_milliseconds(int from, int to) { return (uint32_t)(to - from) & 0x7FFFFFFFu; }

uint16_t handshake_delay(uint32_t elapsed_ms) {
  uint32_t frames = elapsed_ms / 16 + (elapsed_ms % 16 != 0);
  return (uint16_t)std::min<uint32_t>(frames, 0xFFFF);
}

bool delay_is_playable(uint32_t delay) { return delay <= (uint32_t)kMaxInputDelay; }

void encode_next_seed(uint32_t seed, uint8_t out[4]) { WriteLe32(out, seed); }

uint32_t decode_next_seed(const uint8_t bytes[4]) { return ReadLe32(bytes); }

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A decimal number between white space, at most max_digits digits (leading
// zeros count); -1 when the text is anything else.
long read_number(const char* begin, const char* end, int max_digits) {
  while (begin < end && is_space(*begin)) ++begin;
  while (end > begin && is_space(end[-1])) --end;
  if (begin == end || end - begin > max_digits) return -1;
  long value = 0;
  for (const char* p = begin; p < end; ++p) {
    if (!is_digit(*p)) return -1;
    value = value * 10 + (*p - '0');
  }
  return value;
}

// The first size - 1 bytes of the text at most, terminated.
template <size_t N>
void copy_text(char (&copy)[N], const char* text) {
  size_t n = 0;
  for (; n + 1 < N && text[n]; ++n) copy[n] = text[n];
  copy[n] = '\0';
}

}  // namespace

uint32_t parse_ipv4(const char* text) {
  char copy[16];
  copy_text(copy, text);
  uint8_t bytes[4];
  int part = 0;
  const char* start = copy;
  for (const char* p = copy;; ++p) {
    if (*p != '.' && *p != '\0') continue;
    if (part == 4) return kInvalidAddress;  // a fourth dot
    long value = read_number(start, p, 3);
    if (value < 0 || value > 255) return kInvalidAddress;
    bytes[part++] = (uint8_t)value;
    if (*p == '\0') break;
    start = p + 1;
  }
  if (part != 4) return kInvalidAddress;
  uint32_t address;
  std::memcpy(&address, bytes, 4);  // text order is network order
  return address;
}

bool parse_pasted_address(const char* text, Pasted_Address* out) {
  char copy[32];
  copy_text(copy, text);
  Pasted_Address result;
  if (char* colon = std::strchr(copy, ':')) {
    *colon = '\0';
    const char* port = colon + 1;
    // Five digits are the most a port has; more (leading zeros aside) are
    // refused with the rest of the text.
    long value = read_number(port, port + std::strlen(port), 10);
    if (value < 0 || value > 65535) return false;
    result.port = (int)value;
  }
  result.address = parse_ipv4(copy);
  if (result.address == kInvalidAddress) return false;
  *out = result;
  return true;
}
