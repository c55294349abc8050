// Numbers in bytes, whatever the machine's own order. Little-endian is how
// every file format, record and pixel the system reads or writes stores
// them; big-endian (network order) is how the net battle's records and
// handshake travel. The one home of both rules for the platform, the engine
// and the game.
#pragma once

#include <cstdint>

inline uint16_t ReadLe16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe24(const uint8_t* p) { return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16); }
inline uint32_t ReadLe32(const uint8_t* p) { return ReadLe24(p) | ((uint32_t)p[3] << 24); }
inline uint64_t ReadLe64(const uint8_t* p) { return ReadLe32(p) | ((uint64_t)ReadLe32(p + 4) << 32); }

inline void WriteLe16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)v;
  p[1] = (uint8_t)(v >> 8);
}
inline void WriteLe24(uint8_t* p, uint32_t v) {
  WriteLe16(p, (uint16_t)v);
  p[2] = (uint8_t)(v >> 16);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
  WriteLe16(p, (uint16_t)v);
  WriteLe16(p + 2, (uint16_t)(v >> 16));
}
inline void WriteLe64(uint8_t* p, uint64_t v) {
  WriteLe32(p, (uint32_t)v);
  WriteLe32(p + 4, (uint32_t)(v >> 32));
}

inline uint16_t ReadBe16(const uint8_t* p) { return (uint16_t)((p[0] << 8) | p[1]); }
inline uint32_t ReadBe32(const uint8_t* p) { return ((uint32_t)ReadBe16(p) << 16) | ReadBe16(p + 2); }

inline void WriteBe16(uint8_t* p, uint16_t v) {
  p[0] = (uint8_t)(v >> 8);
  p[1] = (uint8_t)v;
}
inline void WriteBe32(uint8_t* p, uint32_t v) {
  WriteBe16(p, (uint16_t)(v >> 16));
  WriteBe16(p + 2, (uint16_t)v);
}
