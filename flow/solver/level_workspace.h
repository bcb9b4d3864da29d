// The buffers the fast level solver keeps from one fixed-point iteration and one level to
// the next.
#ifndef MOTIONSEG_FLOW_SOLVER_LEVEL_WORKSPACE_H
#define MOTIONSEG_FLOW_SOLVER_LEVEL_WORKSPACE_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/containers/array_memory.h"
#include "flow/solver/diffusivity.h"
#include "flow/solver/sor_sweep.h"

namespace flowsolver {

/// The planes of one channel of a level's set-up: the first image, the temporal difference
/// (warped second image minus first), and their 5-tap derivatives (Ix, Iy, Ixx, Ixy, Iyy of
/// the image, Ixt, Iyt of the difference). The fast set-up keeps a strip of rows of each (the
/// first image it reads where it is).
enum DerivativePlane : int {
  kImage,
  kTemporal,
  kIx,
  kIy,
  kIxx,
  kIxy,
  kIyy,
  kIxt,
  kIyt,
  kDerivativePlanes
};

/// Buffers of the fast level solver kept from one fixed-point iteration and one pyramid level
/// to the next. Each takes the level's size within the room it has (fitSize), so that once
/// reserve() has made room for the largest level no level allocates (and faults in) memory.
struct LevelWorkspace {
  /// The motion tensors J and G (six planes each) and the flow increment (two planes).
  CTensor<float> brightness, gradient, increment;
  /// The smoothness weights' planes, indexed by SmoothnessPlane.
  CMatrix<float> planes[kSmoothnessPlanes];
  /// The smoothness weights and the robust and match weights (five planes: ψ′ of the data
  /// and gradient terms, the match sums and the two weighted flow-minus-match sums).
  CMatrix<float> horizontal, vertical;
  flowdetail::LargeVector<float> weights;
  /// The set-up's strips of derivative planes, one per worker (setUpScratchFloats).
  flowdetail::LargeVector<float> setUp;
  SorScratch sor;

  /// Room for levels of up to `pixels` pixels.
  void reserve(int pixels);

  /// The scratch of the smoothness weights (kSmoothnessPlanes matrices).
  CMatrix<float>* smoothnessScratch() { return planes; }
};

/// Floats of LevelWorkspace::setUp the set-up of an nx × ny level takes on `threads` threads.
std::size_t setUpScratchFloats(int nx, int ny, int threads);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_LEVEL_WORKSPACE_H
