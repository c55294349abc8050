// The words of a program key, shared by the device that builds keys and the
// generator that reads them.
#pragma once

#include <cstdint>

namespace vox_d3d9 {

// Word 0: flags.
constexpr uint32_t KEY_PRETRANSFORMED = 1u << 0;
constexpr uint32_t KEY_NORMAL = 1u << 1;
constexpr uint32_t KEY_DIFFUSE = 1u << 2;
constexpr uint32_t KEY_SPECULAR = 1u << 3;
constexpr int KEY_TEXCOUNT_SHIFT = 4;  // 4 bits
constexpr uint32_t KEY_LIGHTING = 1u << 8;
constexpr uint32_t KEY_FLAT = 1u << 9;
constexpr uint32_t KEY_SPECULAR_ENABLE = 1u << 10;
constexpr uint32_t KEY_FOG = 1u << 11;
constexpr int KEY_FOG_VERTEX_SHIFT = 12;  // 2 bits
constexpr int KEY_FOG_TABLE_SHIFT = 14;   // 2 bits
constexpr uint32_t KEY_ALPHA_TEST = 1u << 16;
constexpr int KEY_ALPHA_FUNC_SHIFT = 17;  // 4 bits
constexpr uint32_t KEY_LOCAL_VIEWER = 1u << 21;
constexpr uint32_t KEY_NORMALIZE = 1u << 22;
// Word 1: material sources, 2 bits each: diffuse, ambient, specular, emissive.
// Word 2: enabled light count (4 bits), then 2 bits of type per light.
// Word 3: stage count; then KEY_STAGE_WORDS per stage: colour op, arg1, arg2,
// arg0, alpha op, arg1, arg2, arg0, coordinate index, texture bound,
// transform flags, result argument.
constexpr int KEY_STAGE_WORDS = 12;

}  // namespace vox_d3d9
