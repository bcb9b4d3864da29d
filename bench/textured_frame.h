// The generated colour frame of the flow benchmarks: a smooth texture with some finer detail,
// moved by (du, dv) pixels, so that a pair of them has a known, matchable motion.
#ifndef MOTIONSEG_BENCH_TEXTURED_FRAME_H
#define MOTIONSEG_BENCH_TEXTURED_FRAME_H

#include "flow/containers/CTensor.h"

#include <cmath>

namespace benchframes {

/// A w-by-h-by-3 frame of the texture moved by (du, dv).
inline CTensor<float> texturedFrame(int w, int h, double du, double dv) {
  CTensor<float> t(w, h, 3);
  for (int z = 0; z < 3; ++z) {
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const double u = x - du, v = y - dv;
        t(x, y, z) =
            static_cast<float>(128 + 50 * std::sin(0.11 * u + 0.07 * v + z) +
                               40 * std::cos(0.05 * v - 0.13 * u + 2 * z) +
                               25 * std::sin(0.37 * u * (1 + 0.1 * z)) * std::cos(0.29 * v));
      }
    }
  }
  return t;
}

}  // namespace benchframes

#endif  // MOTIONSEG_BENCH_TEXTURED_FRAME_H
