// The scenes both drawing paths draw for the comparison: the whole public
// drawing interface in cells of the screen, one scene a cell.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct Cell {
  int x, y;
};

struct CompareScene {
  std::string name;
  std::function<void(Cell)> draw;
};

// Small cells (52 x 52): the blend matrix, brightness, the crossfade.
std::vector<CompareScene> SmallScenes();
// Large cells (104 x 104): graph shapes and filters, primitives, text,
// draw-target graphs, the clip and the mask screen.
std::vector<CompareScene> LargeScenes();
