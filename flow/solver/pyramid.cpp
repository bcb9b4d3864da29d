// The level plan of the coarse-to-fine scheme.
#include "flow/solver/pyramid.h"

#include "flow/numerics/same_on_every_cpu.h"

#include <algorithm>
#include <cmath>

int flowsolver::levelSize(float eta, int p, int size) {
  // The true product's ceiling on every processor (see same_on_every_cpu.h).
  return static_cast<int>(flowmath::ceilPowerTimes(static_cast<double>(eta), p, size));
}

int flowsolver::coarsestLevel(int xSize, int ySize, float eta) {
  const int smaller = std::min(xSize, ySize);
  if (smaller <= 0) return 0;
  const float ratio = 15.0f / static_cast<float>(smaller);
  const double level = flowmath::logRatio(static_cast<double>(ratio), static_cast<double>(eta));
  // Negative counts become 0; the bound keeps the conversion inside the int range.
  if (!(level > 0.0)) return 0;
  return static_cast<int>(std::min(level, 1.0e9));
}

std::vector<flowsolver::PyramidLevel> flowsolver::pyramidLevels(int xSize, int ySize, float eta) {
  std::vector<PyramidLevel> levels;
  const int maxLevel = coarsestLevel(xSize, ySize, eta);
  for (int level = maxLevel; level >= kFinalLevel; --level) {
    const int p = std::max(level, 0);
    const PyramidLevel l{level,
                         p,
                         levelSize(eta, p, xSize),
                         levelSize(eta, p, ySize),
                         levelSize(eta, p + 1, xSize),
                         levelSize(eta, p + 1, ySize)};
    if (l.coarserXSize == l.xSize && l.coarserYSize == l.ySize) continue;
    levels.push_back(l);
  }
  return levels;
}
