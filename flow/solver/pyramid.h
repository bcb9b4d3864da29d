// The level plan of the coarse-to-fine scheme.
#ifndef MOTIONSEG_FLOW_SOLVER_PYRAMID_H
#define MOTIONSEG_FLOW_SOLVER_PYRAMID_H

#include <vector>

namespace flowsolver {

/// The last full-resolution pass; the passes below level 0 run without matches.
constexpr int kFinalLevel = -5;

/// One level that the scheme processes: its number L (maxLevel down to kFinalLevel), its
/// exponent p = max(L, 0), its size and the size of the next coarser level p + 1.
struct PyramidLevel {
  int level, p, xSize, ySize, coarserXSize, coarserYSize;
};

/// ⌈η^p · size⌉, with η widened to double and the power, product and ceiling in double.
int levelSize(float eta, int p, int size);

/// trunc(ln(15 / min(xSize, ySize)) / ln η), at least 0; 15 / min side in single precision.
/// eta must lie strictly between 0 and 1.
int coarsestLevel(int xSize, int ySize, float eta);

/// The levels that are processed, in order; a level as large as the next coarser one is left
/// out.
std::vector<PyramidLevel> pyramidLevels(int xSize, int ySize, float eta);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_PYRAMID_H
