// Variational optical flow: the coarse-to-fine warping scheme, the fixed-point and SOR
// iteration of one pyramid level, the smoothness weights, flow utilities and .flo files.
#ifndef MOTIONSEG_FLOW_SOLVER_COPTICFLOW_H
#define MOTIONSEG_FLOW_SOLVER_COPTICFLOW_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"

/// The flow solver's interface. A flow field is a CTensor<float> of two channels, channel 0
/// the horizontal component u (towards larger x), channel 1 the vertical component v
/// (towards larger y), in pixels of its own resolution.
class COpticFlow {
 public:
  /// Dense flow from image1 to image2 (both xSize × ySize × Nc) by coarse-to-fine warping
  /// with size reduction factor eta per level. The matches (u, v and confidence, xSize ×
  /// ySize × K each, full resolution) take part on every pyramid level; the final five
  /// full-resolution passes drop them and double the sweeps. On return flow is xSize ×
  /// ySize × 2; whatever it held before is discarded. `extra` may be null.
  static void warpingGeometric(CTensor<float> image1, CTensor<float> image2, CTensor<float>& flow,
                               CTensor<float>& matchU, CTensor<float>& matchV,
                               CTensor<float>& matchConfidence, CMatrix<float>* extra, float sigma,
                               float alpha, float beta, float gamma, float extraWeight, float eta,
                               int outer, int inner, float omega);

  /// One pyramid level: `outer` lagged fixed-point iterations, each solving the frozen linear
  /// system by `inner` in-place SOR sweeps with relaxation omega; then flow += increment.
  /// Every operand has the level's x and y size; the match tensors share one channel count.
  static void nonlinearIteration(CTensor<float>& image1, CTensor<float>& warpedImage2,
                                 CMatrix<float>& mask, CTensor<float>& matchU,
                                 CTensor<float>& matchV, CTensor<float>& matchConfidence,
                                 CTensor<float>& flow, CMatrix<float>* extra, float alpha,
                                 float beta, float gamma, float extraWeight, int outer, int inner,
                                 float omega);

  /// Smoothness weights 1/√(s + 10⁻⁶) between horizontal pairs (x, y)–(x+1, y) and vertical
  /// pairs (x, y)–(x, y+1) of the total flow flow + increment. Both weight matrices must
  /// already have the flow's x and y size. `extra` (may be null) adds extraWeight·m² to s.
  static void diffusivity(CTensor<float>& flow, CTensor<float>& increment,
                          CMatrix<float>& horizontalWeights, CMatrix<float>& verticalWeights,
                          CMatrix<float>* extra, float extraWeight);

  /// Backward warp: result(x, y, k) = image sampled bilinearly at (x + u, y + v). Pixels whose
  /// sample leaves the image are marked in `outside` and left untouched in `result`, which
  /// must already have the image's size, as must `outside` and the flow.
  static void warp(const CTensor<float>& image, CTensor<float>& result, CMatrix<bool>& outside,
                   CTensor<float>& flow);

  /// Mean angular error in degrees between flow and reference, skipping pixels whose reference
  /// component exceeds 10⁹ in magnitude (not a number when no pixel counts).
  static float angularError(CTensor<float>& flow, CTensor<float>& reference);

  /// Colour-wheel colour of one flow vector, saturated at length 1. Channels are whole
  /// numbers 0..255. A vector whose angle is not a number leaves r, g, b untouched.
  static void cartesianToRGB(float x, float y, float& r, float& g, float& b);

  /// Colour image (xSize × ySize × 3, resized here) of a flow; vectors of length
  /// 2√2·divisor or more are fully saturated.
  static void flowToImage(CTensor<float>& flow, CTensor<float>& image, float divisor);

  /// Replaces flow by the contents of a .flo file. Problems are printed on standard output
  /// and leave the flow unchanged.
  static void readMiddlebury(const char* path, CTensor<float>& flow);

  /// Writes channels 0 and 1 of flow as a .flo file. Problems are printed on standard
  /// output.
  static void writeMiddlebury(CTensor<float>& flow, const char* path);
};

#endif  // MOTIONSEG_FLOW_SOLVER_COPTICFLOW_H
