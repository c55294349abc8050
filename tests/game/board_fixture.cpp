#include "tests/game/board_fixture.h"

#include "game/buttons.h"

std::unique_ptr<Field> MakeField(side_settings settings, int origin_x) {
  Buttons(0);
  Buttons(0);
  auto field = std::make_unique<Field>(settings, origin_x, kFixtureDevice);
  field->draw_countdown(1);  // the first pair enters, as at the end of a count-in
  return field;
}

BattleFields MakeBattleFields() {
  side_settings s;
  s.mode = 3;
  BattleFields fields{MakeField(s, 24), MakeField(s, 420)};
  link_opponents(fields.left.get(), fields.right.get());
  return fields;
}

void SetBoard(Field& field, const std::vector<std::string>& rows) {
  for (auto& row : field.board)
    for (Block*& b : row) {
      delete b;
      b = nullptr;
    }
  int top = kBoardRows - (int)rows.size();
  for (int i = 0; i < (int)rows.size(); ++i)
    for (int c = 0; c < kBoardColumns && c < (int)rows[i].size(); ++c) {
      char ch = rows[i][c];
      if (ch == '.') continue;
      int colour = ch == 'G' ? kGarbageColour : ch - '0';
      int r = top + i;
      field.board[r][c] = new Block(field.origin_x + kCellSize * c, field.origin_x, kBoardTop + kCellSize * r, colour);
    }
}

std::string BoardPicture(const Field& field) {
  std::string out;
  for (auto& row : field.board) {
    for (const Block* b : row)
      out += !b ? '.' : b->vanish ? 'v' : b->colour == kGarbageColour ? 'G' : (char)('0' + b->colour);
    out += '\n';
  }
  return out;
}

void PlacePair(Field& field, int row, int column, int rotation) {
  Active_Block* p = field.pair.piece;
  p->column = column;
  p->rotation = rotation;
  p->x = field.origin_x + kCellSize * column;
  p->y = kBoardTop + kCellSize * row;
  p->up = p->left = p->down = p->right = p->turn = 0;
}

void Buttons(int mask) {
  int bits[5] = {mask, 0, 0, 0, 0};
  feed_input(bits, nullptr);
}

void SettleFrames(Field& field, int frames) {
  for (int i = 0; i < frames; ++i) {
    field.pair.spawn_timer = 1000;
    for (auto& row : field.board)
      for (Block* b : row)
        if (b) b->update();
    field.settle_blocks();
  }
}

int CountColour(const Field& field, int colour) {
  int n = 0;
  for (auto& row : field.board)
    for (const Block* b : row)
      if (b && b->colour == colour && !b->vanish) ++n;
  return n;
}
