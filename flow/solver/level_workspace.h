// The buffers the fast level solver keeps from one fixed-point iteration and one level to
// the next.
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_WORKSPACE_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_WORKSPACE_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/containers/array_memory.h"
#include "flow/solver/sor_sweep.h"

namespace flowsolver {

/// Buffers of the fast level solver kept from one fixed-point iteration and one pyramid level
/// to the next. Each takes the level's size within the room it has (fitSize), so that once
/// reserve() has made room for the largest level no level allocates (and faults in) memory.
struct LevelWorkspace {
  CTensor<float> brightness, gradient, increment;
  /// The set-up's image, temporal difference and seven derivatives, then (from the first
  /// fixed-point iteration on) the smoothness weights' totals and derivatives.
  CMatrix<float> planes[9];
  CMatrix<float> horizontal, vertical;
  flowdetail::LargeVector<float> weights;
  SorScratch sor;

  /// Room for levels of up to `pixels` pixels.
  void reserve(int pixels);
};

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_LEVEL_WORKSPACE_H
