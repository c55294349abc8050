// What each plug-in module supplies to the shared exports: its variant and
// its embedded resource files (generated at build time from rivalN/res/).
#pragma once

#include <cstdint>

#include "opponents/opponent.h"

struct OpponentResource {
  const char* name;
  uint16_t type;  // integer resource type
  const unsigned char* bytes;
  uint32_t size;
};

extern const OpponentVariant kModuleVariant;
extern const OpponentResource kModuleResources[];
extern const int kModuleResourceCount;

// Finds a resource the way FindResourceA matches: integer ids (values below
// 0x10000, or "#<decimal>" texts) against integer ids, other names without
// regard to ASCII case. Null when none matches.
const OpponentResource* FindModuleResource(const OpponentResource* table, int count, const char* name,
                                           const char* type);
