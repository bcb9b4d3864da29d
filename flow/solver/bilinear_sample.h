// The bilinear sampling rule shared by the backward warp of finished flows and the per-level
// warp of the solver.
#ifndef MOTIONSEG_FLOW_SOLVER_BILINEAR_SAMPLE_H
#define MOTIONSEG_FLOW_SOLVER_BILINEAR_SAMPLE_H

namespace flowsolver {

/// Sample position (fx, fy) on an nx × ny grid: x0, y0 are fx, fy truncated toward zero, ax, ay
/// the remainders (negative between −1 and 0, where the sample extrapolates).
struct SamplePoint {
  int x0, y0;
  float ax, ay;
};

/// True when the four samples (x0..x0+1, y0..y0+1) of (fx, fy) lie inside the grid. The range
/// test on the floats comes first so that a far-off or non-numeric position is never converted
/// to an integer.
inline bool locateSample(float fx, float fy, int nx, int ny, SamplePoint& p) {
  if (!(fx > -1.0f && fy > -1.0f && fx < static_cast<float>(nx) && fy < static_cast<float>(ny))) {
    return false;
  }
  p.x0 = static_cast<int>(fx);
  p.y0 = static_cast<int>(fy);
  p.ax = fx - static_cast<float>(p.x0);
  p.ay = fy - static_cast<float>(p.y0);
  return p.x0 >= 0 && p.x0 + 1 < nx && p.y0 >= 0 && p.y0 + 1 < ny;
}

/// (1 − ay)·T + ay·B with T = (1 − ax)·S(x0, y0) + ax·S(x0+1, y0) and B the same on row y0+1:
/// the factors (1 − ax), (1 − ay) and each blend in double precision, the products with ax
/// and ay in single precision, T and B rounded to single before use.
inline float sampleBilinear(const float* plane, int nx, const SamplePoint& p) {
  const float* top = plane + p.x0 + p.y0 * nx;
  const float* bottom = top + nx;
  const double bx = 1.0 - static_cast<double>(p.ax);
  const float t = static_cast<float>(bx * top[0] + static_cast<double>(p.ax * top[1]));
  const float b = static_cast<float>(bx * bottom[0] + static_cast<double>(p.ax * bottom[1]));
  return static_cast<float>((1.0 - static_cast<double>(p.ay)) * t + static_cast<double>(p.ay * b));
}

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_BILINEAR_SAMPLE_H
