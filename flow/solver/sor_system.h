// The frozen linear system of one fixed-point iteration, as plain arrays: what every version
// of the SOR sweep reads. Plain data only, so that the AVX2 sweep shares no inline code with
// the rest of the program.
#ifndef MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_H
#define MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_H

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

/// Where a thread sleeps while no piece of the sweep is ready for it (sor_sweep.cpp).
struct SorSleep;

/// What the threads that share one call of the vector sweep use to take work and wait for
/// each other (every counter 0 at first): the threads met so far, the pieces taken from each
/// of the two streams of work, the sweeps done on every band (`progress`, one counter per
/// band), the pieces being worked on, the pieces done, the threads asleep and where they
/// sleep, and the floats of scratch there is room for (a larger ring of bands lets one
/// thread run further ahead of the other).
struct SorShare {
  int next = 0;
  int taken[2] = {0, 0};
  int* progress = nullptr;
  int running = 0;
  unsigned done = 0;
  int sleepers = 0;
  SorSleep* sleep = nullptr;
  unsigned long long room = 0;
};

/// Blocks until share.done differs from `seen`.
void sorShareSleep(SorShare& share, unsigned seen);
/// Wakes the threads in sorShareSleep to look at share.done again.
void sorShareWake(SorShare& share);

/// The vector sweep with eight rows per band in AVX2 vectors (only where the processor has
/// AVX2), and the floats of scratch it needs for a system of nx × ny with `sweeps` sweeps.
/// With `shared`, each thread calling it with the same arguments takes a share of the work.
void sorSweepsAvx2(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                   SorShare* shared);
unsigned long long sorBandFloatsAvx2(int nx, int ny, int sweeps);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_H
