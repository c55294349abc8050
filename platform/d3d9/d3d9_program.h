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
// How the blend unit takes the source (BLEND_*), and whether the target keeps
// fewer than eight bits a channel.
constexpr int KEY_BLEND_SHIFT = 23;  // 2 bits
constexpr uint32_t KEY_NARROW_TARGET = 1u << 25;
// Word 1: material sources, 2 bits each: diffuse, ambient, specular, emissive.
// Word 2: enabled light count (4 bits), then 2 bits of type per light.
// Word 3: stage count; then KEY_STAGE_WORDS per stage: colour op, arg1, arg2,
// arg0, alpha op, arg1, arg2, arg0, coordinate index, texture bound
// (KEY_BOUND_*), transform flags, result argument.
constexpr int KEY_STAGE_WORDS = 12;
constexpr uint32_t KEY_BOUND_NONE = 0, KEY_BOUND_TEXTURE = 1;
constexpr uint32_t KEY_BOUND_NARROW_TARGET = 2;  // a render target of fewer than 8 bits a channel

// The blend states whose arithmetic the program takes over from the blend
// unit (the rest are the blend unit's alone):
// - BLEND_WEIGHTED: source alpha and its inverse, added. The colour's weight
//   is the alpha byte over 256 (255 is whole), handed to the blend unit as
//   a second output, so the alpha channel still blends by the alpha itself.
// - BLEND_ADD, BLEND_REVSUBTRACT: source alpha and one, added or taken away.
//   The program makes the source term (colour times alpha, cut to whole
//   units of the target, the lowest bit of each channel cleared as a guard)
//   and the blend unit only adds it or takes it away, saturating.
// The products and cuts are those of the engine's software renderer, so the
// two back ends agree within one unit of the target per channel.
constexpr uint32_t BLEND_PLAIN = 0, BLEND_WEIGHTED = 1, BLEND_ADD = 2, BLEND_REVSUBTRACT = 3;

}  // namespace vox_d3d9
