// SOR sweeps of the frozen linear system of one fixed-point iteration. For pixel i with the
// neighbour weights φ and neighbour increments (du_n, dv_n):
//   du ← (1 − ω)·du + ω/(ψD·J11 + Σφ + ψG·G11 + M) · (Su − ψD·(dv·J12 + J13) − ψG·(dv·G12 + G13) −
//   RU) dv ← (1 − ω)·dv + ω/(ψD·J22 + Σφ + ψG·G22 + M) · (Sv − ψD·(du·J12 + J23) − ψG·(du·G12 +
//   G23) − RV)
// with Su = Σ (du_n + u_n − u)·φ and Sv likewise, the new du entering the update of dv.
#include "flow/solver/sor_sweep.h"

namespace flowsolver {

namespace {

// ω divided by a denominator; a zero denominator contributes no correction.
inline float relaxedReciprocal(float omega, float denominator) {
  return denominator != 0.0f ? omega / denominator : 0.0f;
}

// Σφ over the neighbours that exist, in the order left, up, right, down.
inline float neighbourWeightSum(const SorSystem& s, int x, int y, int i) {
  float sum = 0.0f;
  if (x > 0) sum += s.horizontal[i - 1];
  if (y > 0) sum += s.vertical[i - s.xSize];
  if (x + 1 < s.xSize) sum += s.horizontal[i];
  if (y + 1 < s.ySize) sum += s.vertical[i];
  return sum;
}

// One pixel of the fast sweep. Which neighbours exist is passed as flags; on the interior
// they are constants and the tests fold away once this is inlined.
inline void updatePixel(const SorSystem& s, int i, bool left, bool up, bool right, bool down,
                        float oneMinusOmega, const float* factorU, const float* factorV, float* du,
                        float* dv) {
  const int nx = s.xSize;
  // flow(neighbour) − flow(pixel) is formed here from the flow rather than read from the eight
  // difference arrays: the same subtraction gives the same bits, and the sweep reads six
  // fewer arrays.
  const float* u0 = s.u;
  const float* v0 = s.v;
  const float ui = u0[i], vi = v0[i];
  float su = 0.0f, sv = 0.0f;
  if (left) {
    const float phi = s.horizontal[i - 1];
    su += (du[i - 1] + (u0[i - 1] - ui)) * phi;
    sv += (dv[i - 1] + (v0[i - 1] - vi)) * phi;
  }
  if (up) {
    const float phi = s.vertical[i - nx];
    su += (du[i - nx] + (u0[i - nx] - ui)) * phi;
    sv += (dv[i - nx] + (v0[i - nx] - vi)) * phi;
  }
  if (right) {
    const float phi = s.horizontal[i];
    su += (du[i + 1] + (u0[i + 1] - ui)) * phi;
    sv += (dv[i + 1] + (v0[i + 1] - vi)) * phi;
  }
  if (down) {
    const float phi = s.vertical[i];
    su += (du[i + nx] + (u0[i + nx] - ui)) * phi;
    sv += (dv[i + nx] + (v0[i + nx] - vi)) * phi;
  }
  const float psiD = s.psiD[i], psiG = s.psiG[i];
  const float u = du[i], v = dv[i];
  const float numeratorU =
      su - psiD * (v * s.j12[i] + s.j13[i]) - psiG * (v * s.g12[i] + s.g13[i]) - s.ru[i];
  const float newU = oneMinusOmega * u + factorU[i] * numeratorU;
  du[i] = newU;
  const float numeratorV =
      sv - psiD * (newU * s.j12[i] + s.j23[i]) - psiG * (newU * s.g12[i] + s.g23[i]) - s.rv[i];
  dv[i] = oneMinusOmega * v + factorV[i] * numeratorV;
}

// A pixel that may lie on the image border: the neighbour tests at run time.
inline void updateBorderPixel(const SorSystem& s, int x, int y, float oneMinusOmega,
                              const float* factorU, const float* factorV, float* du, float* dv) {
  updatePixel(s, x + y * s.xSize, x > 0, y > 0, x + 1 < s.xSize, y + 1 < s.ySize, oneMinusOmega,
              factorU, factorV, du, dv);
}

}  // namespace

void sorSweepsReference(const SorSystem& s, float* du, float* dv, int sweeps) {
  const int nx = s.xSize, ny = s.ySize;
  const float omega = s.omega;
  const float oneMinusOmega = 1.0f - omega;
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    for (int y = 0; y < ny; ++y) {
      for (int x = 0; x < nx; ++x) {
        const int i = x + y * nx;
        // Neighbour sums: left, up, right, down; visited neighbours carry their new values.
        float sumPhi = 0.0f, su = 0.0f, sv = 0.0f;
        if (x > 0) {
          const float phi = s.horizontal[i - 1];
          sumPhi += phi;
          su += (du[i - 1] + s.uLeft[i]) * phi;
          sv += (dv[i - 1] + s.vLeft[i]) * phi;
        }
        if (y > 0) {
          const float phi = s.vertical[i - nx];
          sumPhi += phi;
          su += (du[i - nx] + s.uUp[i]) * phi;
          sv += (dv[i - nx] + s.vUp[i]) * phi;
        }
        if (x + 1 < nx) {
          const float phi = s.horizontal[i];
          sumPhi += phi;
          su += (du[i + 1] + s.uRight[i]) * phi;
          sv += (dv[i + 1] + s.vRight[i]) * phi;
        }
        if (y + 1 < ny) {
          const float phi = s.vertical[i];
          sumPhi += phi;
          su += (du[i + nx] + s.uDown[i]) * phi;
          sv += (dv[i + nx] + s.vDown[i]) * phi;
        }
        // Relaxed Gauss–Seidel step for du, then for dv with the new du.
        const float denominatorU = s.psiD[i] * s.j11[i] + sumPhi + s.psiG[i] * s.g11[i] + s.m[i];
        du[i] = oneMinusOmega * du[i] + relaxedReciprocal(omega, denominatorU) *
                                            (su - s.psiD[i] * (dv[i] * s.j12[i] + s.j13[i]) -
                                             s.psiG[i] * (dv[i] * s.g12[i] + s.g13[i]) - s.ru[i]);
        const float denominatorV = s.psiD[i] * s.j22[i] + sumPhi + s.psiG[i] * s.g22[i] + s.m[i];
        dv[i] = oneMinusOmega * dv[i] + relaxedReciprocal(omega, denominatorV) *
                                            (sv - s.psiD[i] * (du[i] * s.j12[i] + s.j23[i]) -
                                             s.psiG[i] * (du[i] * s.g12[i] + s.g23[i]) - s.rv[i]);
      }
    }
  }
}

void sorSweeps(const SorSystem& s, float* du, float* dv, int sweeps, SorScratch& scratch) {
  if (sweeps <= 0) return;
  const int nx = s.xSize, ny = s.ySize;
  const int n = nx * ny;
  const float omega = s.omega;
  const float oneMinusOmega = 1.0f - omega;
  // The denominators change only with the weights: ω/denominator once per fixed-point
  // iteration, formed exactly as in the sweep.
  scratch.factorU.resize(n);
  scratch.factorV.resize(n);
  float* factorU = scratch.factorU.data();
  float* factorV = scratch.factorV.data();
  for (int y = 0; y < ny; ++y) {
    for (int x = 0; x < nx; ++x) {
      const int i = x + y * nx;
      const float sumPhi = neighbourWeightSum(s, x, y, i);
      factorU[i] =
          relaxedReciprocal(omega, s.psiD[i] * s.j11[i] + sumPhi + s.psiG[i] * s.g11[i] + s.m[i]);
      factorV[i] =
          relaxedReciprocal(omega, s.psiD[i] * s.j22[i] + sumPhi + s.psiG[i] * s.g22[i] + s.m[i]);
    }
  }
  // Interior rows go in bands of kBand along a diagonal wavefront: at step t, pixel x = t − j
  // of band row j. Every pixel still sees the new values of its left and upper neighbours and
  // the old values of its right and lower ones, as in the row-by-row order, so the result is
  // the same bits; the kBand updates of one step do not depend on each other and overlap in
  // the processor instead of waiting on one long chain of roundings.
  constexpr int kBand = 4;
  auto interior = [&](int i) {
    updatePixel(s, i, true, true, true, true, oneMinusOmega, factorU, factorV, du, dv);
  };
  auto border = [&](int x, int y) {
    updateBorderPixel(s, x, y, oneMinusOmega, factorU, factorV, du, dv);
  };
  auto sweepRow = [&](int y) {
    for (int x = 0; x < nx; ++x)
      border(x, y);
  };
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    if (nx < kBand + 2 || ny < 3) {
      for (int y = 0; y < ny; ++y)
        sweepRow(y);
      continue;
    }
    sweepRow(0);
    int y = 1;
    for (; y + kBand <= ny - 1; y += kBand) {
      // Start of the wavefront: the triangle before the first full diagonal.
      for (int t = 0; t < kBand - 1; ++t) {
        for (int j = 0; j <= t; ++j) {
          if (t == j) {
            border(0, y + j);
          } else {
            interior(t - j + (y + j) * nx);
          }
        }
      }
      // Full diagonals: kBand independent updates (the last may be the left border).
      for (int t = kBand - 1; t < nx - 1; ++t) {
        const int base = t + y * nx;
        for (int j = 0; j < kBand - 1; ++j)
          interior(base + j * (nx - 1));
        if (t == kBand - 1) {
          border(0, y + kBand - 1);
        } else {
          interior(base + (kBand - 1) * (nx - 1));
        }
      }
      // End of the wavefront: the right border column and the triangle after it.
      for (int t = nx - 1; t < nx - 1 + kBand; ++t) {
        for (int j = t - (nx - 1); j < kBand; ++j) {
          if (t - j == nx - 1) {
            border(nx - 1, y + j);
          } else {
            interior(t - j + (y + j) * nx);
          }
        }
      }
    }
    for (; y < ny; ++y)
      sweepRow(y);
  }
}

}  // namespace flowsolver
