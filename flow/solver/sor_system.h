// The frozen linear system of one fixed-point iteration, as plain arrays: what every version
// of the SOR sweep reads. Plain data only, so that the AVX2 sweep shares no inline code with
// the rest of the program.
#ifndef MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_H
#define MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_H

namespace flowsolver {

/// Work on rows y0 .. y1 − 1 of a system: run(context, y0, y1).
struct RowsJob {
  void (*run)(void* context, int y0, int y1) = nullptr;
  void* context = nullptr;
};

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
  // When set, what writes psiD, psiG, m, ru and rv of some rows: the sweeps run it once for
  // every row, before anything reads these rows of the five arrays (the vector sweeps just
  // before a band is laid out, on the thread that lays it out, so that the rows it reads are
  // still in the cache; the others for every row first). It may read anything but du and dv
  // outside its rows, and du and dv of its rows as they were when the sweeps began.
  RowsJob formRows;
};

/// Runs s.formRows over rows y0 .. y1 − 1, if it is set.
inline void formRows(const SorSystem& s, int y0, int y1) {
  if (s.formRows.run != nullptr) s.formRows.run(s.formRows.context, y0, y1);
}

class BandPipeline;

/// The vector sweep with eight rows per band in AVX2 vectors (only where the processor has
/// AVX2), in the order of `pipeline`, which every thread calling it with the same arguments
/// shares; the floats of scratch it needs for a system of nx × ny with `sweeps` sweeps; and
/// the bands and ring blocks of its layout with `room` floats of scratch.
void sorSweepsAvx2(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                   unsigned long long room, BandPipeline& pipeline);
unsigned long long sorBandFloatsAvx2(int nx, int ny, int sweeps);
void sorBandRingAvx2(int nx, int ny, int sweeps, unsigned long long room, int& bands,
                     int& ringBlocks);

/// The same with sixteen rows per band in AVX-512 vectors (only where the processor has the
/// AVX-512 subsets F, DQ, BW and VL).
void sorSweepsAvx512(const SorSystem& s, float* du, float* dv, int sweeps, float* band,
                     unsigned long long room, BandPipeline& pipeline);
unsigned long long sorBandFloatsAvx512(int nx, int ny, int sweeps);
void sorBandRingAvx512(int nx, int ny, int sweeps, unsigned long long room, int& bands,
                       int& ringBlocks);

/// For the tests: every band of the AVX2 (AVX-512) layout, each in a block of its own, into
/// `band` of sorLayoutFloats…(nx, ny) floats, by the straightforward layout or by the
/// transposed one the sweep uses.
unsigned long long sorLayoutFloatsAvx2(int nx, int ny);
void sorLayOutAvx2(const SorSystem& s, const float* du, const float* dv, bool transposed,
                   float* band);
unsigned long long sorLayoutFloatsAvx512(int nx, int ny);
void sorLayOutAvx512(const SorSystem& s, const float* du, const float* dv, bool transposed,
                     float* band);

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_SOR_SYSTEM_H
