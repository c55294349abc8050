// The high-score screen.
#include "game/scene_hiscore.h"

#include <cstdio>

#include "engine/graphics/graphics.h"
#include "game/buttons.h"
#include "game/caches.h"
#include "game/menu.h"
#include "game/settings.h"

namespace {

const char* const kPageTitles[kHiscoreModes] = {"エンドレスの部", "タイムトライアルの部", "ブレイクトライアルの部"};

}  // namespace

Scene_Hiscore::Scene_Hiscore() : table_(read_hiscore_file()) {}

bool Scene_Hiscore::update() {
  switch (state_) {
    case 0:
    case 2:
      if (--timer_ == 0) state_ = 1;
      break;
    case 1:
      if (is_pressed(kPadUp) || is_pressed(kPadDown)) {
        play_se(kSoundMove);
        page_ = wrap(page_, is_pressed(kPadUp) ? -1 : 1, kHiscoreModes);
        state_ = 2;
        timer_ = 60;
      } else if (is_pressed(B_Custom)) {
        play_se(kSoundConfirm);
        state_ = 3;
        timer_ = 30;
      }
      break;
    case 3:
      if (--timer_ == 0) {
        requested_scene = kSceneTitle;
        return false;
      }
      break;
  }
  draw();
  return true;
}

void Scene_Hiscore::draw() {
  SetPaintBrightness(255, 255, 255);
  draw_title_background();
  draw_text_centred(280, 96, kPageTitles[page_], kFontMenu);
  draw_text_centred(288, 128, "    名前     スコア  消去数   最大連鎖数", kFontValue);
  for (int i = 0; i < kHiscorePlaces; ++i) {
    int param, shift = 0;
    if (state_ == 3) {
      param = (timer_ - 10) * 255 / 20;
      shift = 40 - (timer_ - 10) * (timer_ - 10) / 10;
    } else {
      param = (10 * i + 20 - timer_) * 255 / 20;
      if (timer_ > 10 * i) shift = (timer_ - 10 * i) * (timer_ - 10 * i) / 10;
    }
    SelectBlendMode(1, param);
    const hiscore_entry& e = table_[page_ * kHiscorePlaces + i];
    char row[96];
    std::snprintf(row, sizeof row, "%d  %4s  %08d   %5d          %2d", i + 1, e.name, e.score, e.erased, e.chain);
    draw_text(96 + shift, 160 + 24 * i, row, kFontValue);
  }
  SelectBlendMode(0, 0);
}
