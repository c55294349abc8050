// The scenes both drawing paths draw for the comparison: the whole public
// drawing interface in cells of the screen, one scene a cell, each with
// what its two frames are held to. Where both paths follow one rule they
// agree within the claim; where their rules differ the scene names each
// path's rule and holds each frame to what that rule predicts pixel by
// pixel (a model), or both to a bound the rules give.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/engine/graphics/gl/compare_model.h"

struct Expectation {
  // Each path's rule where the two differ; empty where they follow one.
  std::string rule;
  // The bound between the two frames: the claim where both paths follow
  // one rule, or what their rules allow.
  Bounds bound;
  // What each path's rule predicts; a path with a model is held to it,
  // within `model`, instead of to the other path's frame.
  Model software, device;
  Bounds model;
};

// The backgrounds, drawn under each scene first: every level of each
// channel down a square of 48 or 100, so that a blend meets dark and light
// destinations; or one dark colour under the primitives. The models start
// from a frame of the background alone.
enum class Ground { kBands48, kBands100, kPlain };
void DrawGround(Ground ground, Cell c);

struct CompareScene {
  std::string name;
  Ground ground;
  std::function<void(Cell)> draw;
  Expectation expect;
};

// Small cells (52 x 52): the blend matrix, brightness, the crossfade.
std::vector<CompareScene> SmallScenes();
// Large cells (104 x 104): graph shapes and filters, primitives, text,
// draw-target graphs, the clip and the mask screen.
std::vector<CompareScene> LargeScenes();

// The text and draw-target scenes of the large cells.
void AddTextScenes(std::vector<CompareScene>& s);
void AddDrawTargetScenes(std::vector<CompareScene>& s);
