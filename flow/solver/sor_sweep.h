// The successive over-relaxation sweep of one pyramid level, in versions that give the same
// bits: the straightforward one that reads like the update rule, a scalar one with the
// per-iteration constants hoisted out of the sweeps, and the vector ones the solver runs.
#ifndef MOTIONSEG_FLOW_SOLVER_SOR_SWEEP_H
#define MOTIONSEG_FLOW_SOLVER_SOR_SWEEP_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"

#include <vector>

namespace flowsolver {

/// The linear system of one fixed-point iteration, as flat xSize·ySize arrays (x fastest).
/// Everything except du and dv is fixed during the sweeps.
struct SorSystem {
  int xSize = 0, ySize = 0;
  // Motion tensor entries, already masked.
  const float *j11 = nullptr, *j22 = nullptr, *j12 = nullptr, *j13 = nullptr, *j23 = nullptr;
  const float *g11 = nullptr, *g22 = nullptr, *g12 = nullptr, *g13 = nullptr, *g23 = nullptr;
  // The flow of the level, and flow(neighbour) − flow(pixel) for the left, upper, right and
  // lower neighbour taken from it.
  const float *u = nullptr, *v = nullptr;
  const float *uLeft = nullptr, *uUp = nullptr, *uRight = nullptr, *uDown = nullptr;
  const float *vLeft = nullptr, *vUp = nullptr, *vRight = nullptr, *vDown = nullptr;
  // Smoothness weight of the pair (x, y)–(x+1, y) and of the pair (x, y)–(x, y+1).
  const float *horizontal = nullptr, *vertical = nullptr;
  // Robust data weights and match sums of this fixed-point iteration.
  const float *psiD = nullptr, *psiG = nullptr, *m = nullptr, *ru = nullptr, *rv = nullptr;
  float omega = 1.0f;
};

/// `sweeps` in-place Gauss–Seidel sweeps with relaxation, rows in order, x inner, the
/// neighbours summed left, up, right, down. Written as the update rule reads; the definition
/// of the right answer. A pixel whose denominator is 0 (no neighbour, no data, no match)
/// gets no correction term.
void sorSweepsReference(const SorSystem& s, float* du, float* dv, int sweeps);

/// Everything a sweep reads of one pixel except the increments, in one cache line: the flow,
/// the weights of the pairs with the right and the lower neighbour, the data weights, the
/// tensor entries of the numerators, the match sums and ω over the two denominators.
struct alignas(64) SorPixel {
  float u, v, right, down, psiD, psiG, j12, j13, j23, g12, g13, g23, ru, rv, factorU, factorV;
};

/// Scratch of the fast sweeps, kept across fixed-point iterations so the sweeps allocate
/// nothing after the first.
struct SorScratch {
  std::vector<SorPixel> pixels;
  std::vector<float> band;
};

/// The same sweeps, bit for bit: ω over each denominator is formed once before the sweeps and
/// stored with the pixel's other fixed terms in one SorPixel, the neighbour differences are
/// formed from the flow (u, v of the system, which must be the flow the differences were
/// taken from), interior pixels run without neighbour tests, and
/// bands of four rows are swept along a diagonal wavefront, which keeps every pixel's inputs
/// as in row order while giving the processor four independent updates at a time.
void sorSweepsBanded(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch);

/// The same sweeps again, bit for bit, with the four rows of a band in the four lanes of one
/// vector: the system is laid out band by band along the wavefront once per call, every step
/// updates its four pixels with the same single-precision operations lane by lane, and a
/// neighbour that does not exist leaves its sum untouched through a select. Where the
/// processor has no such vectors this is sorSweepsBanded.
void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_SWEEP_H
