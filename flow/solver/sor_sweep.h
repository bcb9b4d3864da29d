// The successive over-relaxation sweep of one pyramid level, in versions that give the same
// bits: the straightforward one that reads like the update rule, a scalar one with the
// per-iteration constants hoisted out of the sweeps, and the vector ones the solver runs.
#ifndef MOTIONSEG_FLOW_SOLVER_SOR_SWEEP_H
#define MOTIONSEG_FLOW_SOLVER_SOR_SWEEP_H

#include "flow/containers/array_memory.h"
#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"
#include "flow/solver/sor_system.h"

#include <cstddef>
#include <vector>

namespace flowsolver {

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
  flowdetail::LargeVector<float> band;
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

/// Floats of SorScratch::band the vector sweep needs for an nx × ny system and `sweeps` sweeps
/// with the active instruction set (a scratch sized for a larger system serves too).
std::size_t sorScratchFloats(int nx, int ny, int sweeps);

/// The same sweeps, bit for bit, shared by two threads of the pool (when it has two): the
/// threads take the pairs (band, sweep) in the order of the wavefront, and each waits before
/// a pair only for the pairs that it reads from (a short spin, then asleep).
void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch,
               flowthreads::Pool* pool);

/// For the tests: every band of the vector sweep's layout with the active instruction set,
/// each in a block of its own, into `band` of sorLayoutFloats(nx, ny) floats (0 without vector
/// sweeps), by the straightforward layout (`transposed` false) or by the one the sweep uses.
std::size_t sorLayoutFloats(int nx, int ny);
void sorLayOut(const SorSystem& s, const float* du, const float* dv, bool transposed, float* band);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_SWEEP_H
