// The linear system of one fixed-point iteration, assembled from the planes of a level.
#ifndef MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_BUILDER_H
#define MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_BUILDER_H

#include "flow/solver/sor_system.h"

#include <cstddef>

namespace flowsolver {

/// Where the planes of a level's linear system are, each block a run of xSize·ySize planes.
struct SorPlanes {
  int xSize = 0, ySize = 0;
  /// The motion tensors J and G, six planes each in the order 11, 22, 33, 12, 13, 23.
  const float* brightness = nullptr;
  const float* gradient = nullptr;
  /// The flow of the level: u, then v.
  const float* flow = nullptr;
  /// flow(neighbour) − flow(pixel): u towards the left, upper, right and lower neighbour,
  /// then v in the same order. Null for the sweeps that form them from the flow.
  const float* differences = nullptr;
  /// The smoothness weights of the horizontal and of the vertical pairs.
  const float* horizontal = nullptr;
  const float* vertical = nullptr;
  /// Five planes: ψ′ of the data term and of the gradient term, the match sums and the
  /// match-weighted sums of u and v.
  const float* weights = nullptr;
};

/// The system the SOR sweeps solve, over the given planes, with relaxation omega.
inline SorSystem buildSorSystem(const SorPlanes& p, float omega) {
  const std::size_t n = static_cast<std::size_t>(p.xSize) * p.ySize;
  auto plane = [n](const float* block, int k) {
    return block != nullptr ? block + k * n : nullptr;
  };
  SorSystem s;
  s.xSize = p.xSize;
  s.ySize = p.ySize;
  s.j11 = plane(p.brightness, 0);
  s.j22 = plane(p.brightness, 1);
  s.j12 = plane(p.brightness, 3);
  s.j13 = plane(p.brightness, 4);
  s.j23 = plane(p.brightness, 5);
  s.g11 = plane(p.gradient, 0);
  s.g22 = plane(p.gradient, 1);
  s.g12 = plane(p.gradient, 3);
  s.g13 = plane(p.gradient, 4);
  s.g23 = plane(p.gradient, 5);
  s.u = plane(p.flow, 0);
  s.v = plane(p.flow, 1);
  s.uLeft = plane(p.differences, 0);
  s.uUp = plane(p.differences, 1);
  s.uRight = plane(p.differences, 2);
  s.uDown = plane(p.differences, 3);
  s.vLeft = plane(p.differences, 4);
  s.vUp = plane(p.differences, 5);
  s.vRight = plane(p.differences, 6);
  s.vDown = plane(p.differences, 7);
  s.horizontal = p.horizontal;
  s.vertical = p.vertical;
  s.psiD = plane(p.weights, 0);
  s.psiG = plane(p.weights, 1);
  s.m = plane(p.weights, 2);
  s.ru = plane(p.weights, 3);
  s.rv = plane(p.weights, 4);
  s.omega = omega;
  return s;
}

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_BUILDER_H
