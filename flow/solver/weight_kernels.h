// The per-pixel loops of a level's set-up and of a fixed-point iteration's weights as
// plain-data operands: the motion tensors' sums, the robust data weights, one match
// candidate's weights and sums, and the smoothness weights of pixel pairs. The baseline loops
// stand in nonlinear_iteration.cpp and diffusivity.cpp; the AVX2
// ones (weights_avx2.cpp, only where the processor has AVX2) give the same bits in every
// lane: each lane runs the baseline loop's operations in its order, and the square roots and
// divisions of IEEE arithmetic are correctly rounded at any vector width. Plain data only, so
// that the AVX2 object shares no inline code with the rest of the program.
#ifndef MOTIONSEG_FLOW_SOLVER_WEIGHT_KERNELS_H
#define MOTIONSEG_FLOW_SOLVER_WEIGHT_KERNELS_H

namespace flowsolver {
namespace detail {

/// One channel's contributions to the motion tensors J (brightness) and G (gradient), each
/// six planes in the channel order 11, 22, 33, 12, 13, 23, added in place: the derivatives
/// Ix, Iy, It and Ixx, Ixy, Iyy, Ixt, Iyt, each term normalised by the inverse gradient norm;
/// on the last channel every sum is then multiplied by the validity mask.
struct TensorTerms {
  const float* ix;
  const float* iy;
  const float* it;
  const float* ixx;
  const float* ixy;
  const float* iyy;
  const float* ixt;
  const float* iyt;
  const float* mask;
  float* j[6];
  float* g[6];
  bool last;
  // The first channel: the sums hold nothing yet and are taken as 0.
  bool first = false;
};

/// Robust data weights Ψ′ of the linearised brightness and gradient terms: the increment
/// (du, dv), the masked tensors J and G in the channel order 11, 22, 33, 12, 13, 23, the
/// scales 1/α and γ/α, and the two weight planes written.
struct RobustTerms {
  const float* du;
  const float* dv;
  const float* j[6];
  const float* g[6];
  float data, gradient;
  float* psiD;
  float* psiG;
};

/// One match candidate (mu, mv) of confidence p: where p > 0, its weight βp/α·Ψ′ is added to
/// `sum`, and the weighted flow-minus-match differences to ru and rv; elsewhere they keep
/// their values. With `first`, the three hold nothing yet and are taken as 0 (the first
/// candidate then writes them whole, as after filling them with 0).
struct MatchTerms {
  const float* du;
  const float* dv;
  const float* u;
  const float* v;
  const float* mu;
  const float* mv;
  const float* confidence;
  float scale;  // β/α
  float* sum;
  float* ru;
  float* rv;
  bool first = false;
};

/// Smoothness weights of the pixel pairs (i, i + step): the totals s0, s1 of both flow
/// components and their across-derivatives d0, d1, the extra term extraWeight·m² when m is
/// given; step 0 for pixels without that pair. Horizontal pairs sum the forward term first,
/// vertical ones the across term first.
struct PairTerms {
  const float* s0;
  const float* s1;
  const float* d0;
  const float* d1;
  const float* m;
  float extraWeight;
  int step;
  bool horizontal;
  float* weights;
};

/// The loops over pixels [begin, end) with the baseline instruction set, the oracles.
void accumulateMotionTensorsBaseline(int begin, int end, const TensorTerms& t);
void robustWeightsBaseline(int begin, int end, const RobustTerms& t);
void addMatchCandidateBaseline(int begin, int end, const MatchTerms& t);
void pairWeightsBaseline(int begin, int end, const PairTerms& t);

/// The same loops in AVX2 vectors, same bits.
void accumulateMotionTensorsAvx2(int begin, int end, const TensorTerms& t);
void robustWeightsAvx2(int begin, int end, const RobustTerms& t);
void addMatchCandidateAvx2(int begin, int end, const MatchTerms& t);
void pairWeightsAvx2(int begin, int end, const PairTerms& t);

}  // namespace detail
}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_WEIGHT_KERNELS_H
