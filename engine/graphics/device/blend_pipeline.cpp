// The blend pipeline applier: the blend mode, the drawn image's kind of
// transparency, brightness and parameter use and the crossfade graph become
// one stage description (alpha test, alpha blending, texture factor and the
// texture stages), sent through the compare-and-cache rule.
#include <cstring>

#include "engine/graphics/device/device_internal.h"

namespace device {

namespace {

IDirect3DDevice9* Device() { return g_device.device; }

struct Words {
  uint16_t colour_op, colour1, colour2, alpha_op, alpha1, alpha2;
};

void PutStage(BlendStateDesc* d, int stage, int texcoord, Words w) {
  BlendStateDesc::Stage& s = d->stages[stage];
  s.texture = 0;
  s.texcoord = texcoord;
  s.words[SW_ALPHA_ARG1] = w.alpha1;
  s.words[SW_ALPHA_ARG2] = w.alpha2;
  s.words[SW_ALPHA_OP] = w.alpha_op;
  s.words[SW_COLOUR_ARG1] = w.colour1;
  s.words[SW_COLOUR_ARG2] = w.colour2;
  s.words[SW_COLOUR_OP] = w.colour_op;
  if (stage + 1 > d->stage_count) d->stage_count = stage + 1;
}

constexpr uint16_t T = D3DTA_TEXTURE, D = D3DTA_DIFFUSE, C = D3DTA_CURRENT, F = D3DTA_TFACTOR, S = D3DTA_SPECULAR,
                   NOT = D3DTA_COMPLEMENT;
constexpr uint16_t SEL = D3DTOP_SELECTARG1, MOD = D3DTOP_MODULATE;

// The texture of a graph as the pipeline binds it: its first piece's.
IDirect3DTexture9* GraphTexture(int graph) {
  const ImageTexture* t = FirstPieceTexture(GetGraphRecord(graph));
  return t ? t->texture : nullptr;
}

// The current blend state as a description (step 1 of the applier without
// a caller's description). Returns false when nothing is to be sent.
bool DescribeBlendState(BlendStateDesc* d, bool forced) {
  if (!forced && !g_rs.blend_dirty && !g_rs.texture_changed) return false;
  bool blend_graph = g_rs.blend_texture != nullptr && g_draw.crossfade_graph != -1;
  if (!forced && !g_rs.blend_dirty && g_rs.texture_changed) {
    int stage = !blend_graph ? 0 : (g_rs.alpha_channel ? 2 : 1);
    SetStageTexture(stage, g_rs.graph_texture);
    g_rs.texture_changed = 0;
    return false;
  }
  g_rs.blend_dirty = 0;
  g_rs.texture_changed = 0;
  std::memset(d, 0, sizeof *d);
  int mode = g_rs.blend_mode;
  if (mode == 3 && g_device.blend_op) mode = 12;
  else if (mode == 3) mode = 9;  // the invert row: the three passes do the rest
  const BlendTableRow* row = BlendTableRowFor(mode);
  // A mode beyond the table, or one without a stage set, draws nothing.
  if (!row || row->variant > 2 || (row->source_factor == 0) != (row->dest_factor == 0)) {
    g_batch.skip = 1;
    return false;
  }
  int variant = row->variant;
  bool blending = row->source_factor != 0;
  d->src_blend = blending ? row->source_factor : -1;
  d->dest_blend = blending ? row->dest_factor : -1;
  d->blend_op = blending ? row->operation : -1;
  d->alpha_blend_enable = blending ? 1 : 0;
  d->alpha_ref = g_rs.alpha_ref;
  d->alpha_func = g_rs.alpha_func;
  d->texture_factor = variant == 1 ? 0xFFFFFFFFu : g_rs.texture_factor;
  if (!g_rs.graph_texture) {
    SetBatchFormat(0);
    g_batch.skip = 0;
    Words w{SEL, D, D, SEL, D, D};
    if (g_rs.blend_mode != 3) {
      if (variant == 1) w.colour_op = D3DTOP_BLENDDIFFUSEALPHA, w.colour2 = F;
      if (variant == 2) w.colour1 = D | NOT;
    }
    PutStage(d, 0, 0, w);
    d->alpha_test_enable = 0;
    return true;
  }
  int kind = g_rs.alpha_channel ? 1 : g_rs.colour_key ? 2 : 0;
  if (!blend_graph) {
    SetBatchFormat(1);
    g_batch.skip = 0;
    PresetStages(variant, 0, g_rs.brightness_in_use, g_rs.parameter_in_use, kind, d);
    d->stages[0].texture = (uintptr_t)g_rs.graph_texture;
    if (g_rs.colour_key) {
      d->alpha_test_enable = 1, d->alpha_ref = 16, d->alpha_func = D3DCMP_GREATER;
    } else if (g_rs.z_enable == 0) {
      d->alpha_test_enable = 0;
    } else {
      d->alpha_test_enable = 1, d->alpha_ref = 0, d->alpha_func = D3DCMP_GREATER;
    }
    if (g_rs.alpha_channel) {
      // A blend operation left from an earlier mode must not stay.
      if (!blending) d->src_blend = D3DBLEND_SRCALPHA, d->dest_blend = D3DBLEND_INVSRCALPHA, d->blend_op = D3DBLENDOP_ADD;
      d->alpha_blend_enable = 1;
    }
    return true;
  }
  // With a crossfade graph: its texture on stage 0, the graph's after it.
  SetBatchFormat(2);
  int p = g_draw.crossfade_param, r = g_draw.crossfade_range;
  g_batch.skip = p == 255 ? 1 : 0;
  PresetStages(0, 1, g_rs.brightness_in_use, g_rs.parameter_in_use, kind, d);
  d->stages[0].texture = (uintptr_t)g_rs.blend_texture;
  d->stages[g_rs.alpha_channel ? 2 : 1].texture = (uintptr_t)g_rs.graph_texture;
  if (!blending) d->src_blend = D3DBLEND_SRCALPHA, d->dest_blend = D3DBLEND_INVSRCALPHA, d->blend_op = D3DBLENDOP_ADD;
  if (r <= 1) {
    d->alpha_test_enable = 1;
    d->alpha_ref = p == 0 && (g_rs.colour_key || g_rs.alpha_channel) ? 1 : p;
    d->alpha_func = D3DCMP_GREATEREQUAL;
    d->alpha_blend_enable = 0;
    d->texture_factor = 0x00FFFFFFu;
    return true;
  }
  d->alpha_test_enable = 0;
  d->alpha_blend_enable = 1;
  int t, below, a;
  uint16_t scale;
  if (r <= 64) {
    t = 1280 - p * 1280 / 255, below = 1024, scale = D3DTOP_MODULATE4X;
    a = t < below ? 255 - t * 255 / 1024 : (t * 64 - 65536) / 256;
  } else if (r <= 128) {
    t = 768 - p * 768 / 255, below = 512, scale = D3DTOP_MODULATE2X;
    a = t < below ? 255 - t * 255 / 512 : (t * 128 - 65536) / 256;
  } else {
    t = 512 - p * 512 / 255, below = 256, scale = D3DTOP_MODULATE;
    a = t < below ? 255 - t * 255 / 256 : (t * 255 - 65280) / 256;
  }
  if (a < 0) a = 0;
  if (a > 255) a = 255;
  d->stages[0].words[SW_ALPHA_OP] = t < below ? D3DTOP_SUBTRACT : D3DTOP_ADD;
  d->stages[1].words[SW_ALPHA_OP] = scale;
  d->texture_factor = ((uint32_t)a << 24) | 0xFFFFFFu;
  return true;
}

}  // namespace

int PresetStages(int variant, int blend_graph, int brightness, int parameter, int kind, BlendStateDesc* d) {
  d->stage_count = 0;
  if (variant < 0 || variant > 2 || kind < 0 || kind > 2) return -1;
  if (!blend_graph) {
    uint16_t colour = variant == 2 ? (uint16_t)(T | NOT) : T;
    Words w{brightness ? MOD : SEL, colour, D, SEL, D, D};
    if (kind != 0) w = Words{w.colour_op, w.colour1, w.colour2, parameter ? MOD : SEL, T, D};
    PutStage(d, 0, 0, w);
    if (variant == 1) PutStage(d, 1, 1, Words{D3DTOP_BLENDCURRENTALPHA, C, F, SEL, C, C});
    return 0;
  }
  if (variant != 0) return -1;
  // The crossfade graph is sampled at its own coordinates (set 1, which
  // follow the drawn graph's pixels); the drawn graph at set 0.
  PutStage(d, 0, 1, Words{SEL, D, D, D3DTOP_ADD, T, F});
  uint16_t graph_colour = brightness ? MOD : SEL;
  switch (kind) {
    case 0:
      PutStage(d, 1, 0, Words{graph_colour, T, D, MOD, parameter ? D : C, parameter ? C : D});
      break;
    case 1:
      PutStage(d, 1, 0, Words{SEL, C, C, MOD, S, C});
      PutStage(d, 2, 0, Words{graph_colour, T, D, MOD, T, C});
      if (parameter) PutStage(d, 3, 0, Words{SEL, C, C, MOD, D, C});
      break;
    default:
      PutStage(d, 1, 0, Words{graph_colour, T, D, MOD, T, C});
      if (parameter) PutStage(d, 2, 0, Words{SEL, C, C, MOD, D, C});
      break;
  }
  return 0;
}

int ApplyBlendPipeline(const BlendStateDesc* desc, int colour_words_off, int stages_are_graphs) {
  IDirect3DDevice9* device = Device();
  if (!device) return -1;
  bool forced = g_rs.force != 0;
  BlendStateDesc d{};
  if (!desc) {
    int override_off = 0;
    if (const BlendStateDesc* o = DrawStateOverride(&override_off)) {
      desc = o;
      colour_words_off = override_off;
      stages_are_graphs = 0;
    }
  }
  if (desc) {
    d = *desc;
    if (d.stage_count < 0) d.stage_count = 0;
    if (d.stage_count > 8) d.stage_count = 8;
    if (stages_are_graphs)
      for (int s = 0; s < d.stage_count; s++) d.stages[s].texture = (uintptr_t)GraphTexture((int)d.stages[s].texture);
  } else if (!DescribeBlendState(&d, forced)) {
    return g_batch.skip && !forced ? 0 : -1;
  }
  FlushVertexBatch();
  // The stage after the last disables colour and alpha.
  if (d.stage_count != g_rs.stages_in_use) {
    g_rs.stages_in_use = d.stage_count;
    int force = g_rs.force;
    g_rs.force = 1;
    SetFilterMode(g_rs.filter_mode == 3 ? g_draw.filter_mode : g_rs.filter_mode);
    SetMaxAnisotropy((int)g_rs.max_anisotropy);
    g_rs.force = force;
  }
  int count = d.stage_count;
  if (count < 8) {
    BlendStateDesc::Stage& last = d.stages[count];
    last.texture = 0;
    last.texcoord = -1;
    for (uint16_t& w : last.words) w = SW_LEAVE;
    last.words[SW_COLOUR_OP] = D3DTOP_DISABLE;
    last.words[SW_ALPHA_OP] = D3DTOP_DISABLE;
    count++;
  }
  auto state = [&](D3DRENDERSTATETYPE s, int32_t value, int32_t* cached) {
    if (value == -1) {
      if (forced && *cached > 1) device->SetRenderState(s, (DWORD)*cached);
      return;
    }
    if (forced || *cached != value) {
      device->SetRenderState(s, (DWORD)value);
      *cached = value;
    }
  };
  state(D3DRS_ALPHAFUNC, d.alpha_func, &g_rs.alpha_func);
  state(D3DRS_ALPHAREF, d.alpha_ref, &g_rs.alpha_ref);
  state(D3DRS_ALPHATESTENABLE, d.alpha_test_enable, &g_rs.alpha_test_enable);
  state(D3DRS_ALPHABLENDENABLE, d.alpha_blend_enable, &g_rs.alpha_blend_enable);
  if (forced || g_rs.texture_factor != d.texture_factor) {
    device->SetRenderState(D3DRS_TEXTUREFACTOR, d.texture_factor);
    g_rs.texture_factor = d.texture_factor;
    UpdateShaderTextureFactor(d.texture_factor);
  }
  state(D3DRS_SRCBLEND, d.src_blend, &g_rs.src_blend);
  state(D3DRS_DESTBLEND, d.dest_blend, &g_rs.dest_blend);
  state(D3DRS_BLENDOP, d.blend_op, &g_rs.blend_op);
  static const D3DTEXTURESTAGESTATETYPE kWordState[6] = {D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2, D3DTSS_ALPHAOP,
                                                         D3DTSS_COLORARG1, D3DTSS_COLORARG2, D3DTSS_COLOROP};
  static const int kOrder[6] = {SW_ALPHA_OP, SW_ALPHA_ARG1, SW_ALPHA_ARG2, SW_COLOUR_OP, SW_COLOUR_ARG1, SW_COLOUR_ARG2};
  for (int s = 0; s < count; s++) {
    if (s >= 2 && !colour_words_off && g_rs.stages[s - 1].words[SW_ALPHA_OP] == D3DTOP_DISABLE) break;
    const BlendStateDesc::Stage& st = d.stages[s];
    StageRecord& cached = g_rs.stages[s];
    IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(st.texture);
    if (forced || cached.texture != texture) {
      device->SetTexture((DWORD)s, texture);
      cached.texture = texture;
    }
    if (st.texcoord != -1 && (forced || cached.texcoord != st.texcoord)) {
      device->SetTextureStageState((DWORD)s, D3DTSS_TEXCOORDINDEX, (DWORD)st.texcoord);
      cached.texcoord = st.texcoord;
    }
    if (colour_words_off) continue;
    for (int k : kOrder) {
      uint16_t w = st.words[k];
      if (w == SW_LEAVE || (!forced && cached.words[k] == w)) continue;
      device->SetTextureStageState((DWORD)s, kWordState[k], w);
      cached.words[k] = w;
    }
  }
  return 0;
}

}  // namespace device
