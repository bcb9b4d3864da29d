// The parameters of one flow computation and their defaults, in one place for every caller
// (the denseMotion plug-in, the programs, the Python module, the benchmarks): the four a
// caller may choose and the solver settings the driver fixes.
#ifndef MOTIONSEG_FLOW_DRIVER_FLOW_PARAMETERS_H
#define MOTIONSEG_FLOW_DRIVER_FLOW_PARAMETERS_H

namespace flowdriver {

struct FlowParameters {
  float sigma = 0.8f;   ///< presmoothing scale in pixels
  float alpha = 30.0f;  ///< smoothness weight
  float beta = 300.0f;  ///< weight of the descriptor matches
  float gamma = 5.0f;   ///< weight of gradient constancy

  // The solver settings the driver fixes: size ratio of neighbouring pyramid levels,
  // fixed-point iterations per level, SOR sweeps per fixed-point iteration, relaxation.
  static constexpr float kEta = 0.95f;
  static constexpr int kOuterIterations = 5;
  static constexpr int kInnerSweeps = 5;
  static constexpr float kOmega = 1.85f;
};

}  // namespace flowdriver

#endif  // MOTIONSEG_FLOW_DRIVER_FLOW_PARAMETERS_H
