// The weights' per-pixel loops in AVX2 vectors, eight pixels at a time with the same
// operations per lane as the baseline loops; the last pixels of a range go through masked
// loads and stores, so no lane reads or writes outside it. This file alone is compiled with
// -mavx2; it includes only the intrinsics and plain-data headers, so none of its code can be
// picked by the linker for another caller.
#include "flow/solver/weight_kernels.h"

#include <immintrin.h>

namespace flowsolver {
namespace detail {
namespace {

// Loads and stores of a whole vector, or of the lanes of a mask.
struct Whole {
  static __m256 load(const float* p, __m256i) { return _mm256_loadu_ps(p); }
  static void store(float* p, __m256i, __m256 a) { _mm256_storeu_ps(p, a); }
};
struct Masked {
  static __m256 load(const float* p, __m256i mask) { return _mm256_maskload_ps(p, mask); }
  static void store(float* p, __m256i mask, __m256 a) { _mm256_maskstore_ps(p, mask, a); }
};

// kernel.template step<Whole>(i, mask) for every full vector of [begin, end), then
// step<Masked> with the lanes that are left.
template <typename Kernel>
void overVectors(int begin, int end, const Kernel& kernel) {
  int i = begin;
  const __m256i all = _mm256_set1_epi32(-1);
  for (; i + 8 <= end; i += 8)
    kernel.template step<Whole>(i, all);
  if (i < end) {
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    kernel.template step<Masked>(i, _mm256_cmpgt_epi32(_mm256_set1_epi32(end - i), lanes));
  }
}

// float(double(n) / √(double(s) + 10⁻⁶)) in every lane: each half of the lanes widened to four
// doubles, the root and the quotient correctly rounded there, rounded back to float.
__m256 ratioToRoot(__m256 n, __m256 s) {
  const __m256d tiny = _mm256_set1_pd(1e-6);
  const __m256d sLow = _mm256_cvtps_pd(_mm256_castps256_ps128(s));
  const __m256d sHigh = _mm256_cvtps_pd(_mm256_extractf128_ps(s, 1));
  const __m256d nLow = _mm256_cvtps_pd(_mm256_castps256_ps128(n));
  const __m256d nHigh = _mm256_cvtps_pd(_mm256_extractf128_ps(n, 1));
  const __m128 low =
      _mm256_cvtpd_ps(_mm256_div_pd(nLow, _mm256_sqrt_pd(_mm256_add_pd(sLow, tiny))));
  const __m128 high =
      _mm256_cvtpd_ps(_mm256_div_pd(nHigh, _mm256_sqrt_pd(_mm256_add_pd(sHigh, tiny))));
  return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

// float(double(q) + 2.0·double(m)) in every lane.
__m256 quadraticPlusTwiceMixed(__m256 q, __m256 m) {
  const __m256d two = _mm256_set1_pd(2.0);
  const __m256d low = _mm256_add_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(q)),
                                    _mm256_mul_pd(two, _mm256_cvtps_pd(_mm256_castps256_ps128(m))));
  const __m256d high =
      _mm256_add_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(q, 1)),
                    _mm256_mul_pd(two, _mm256_cvtps_pd(_mm256_extractf128_ps(m, 1))));
  return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(low)), _mm256_cvtpd_ps(high),
                              1);
}

// The clamped linearised constancy term of one tensor T at the increment (x, y):
// max(T11·x² + T22·y² + T33 + 2·(T12·x·y + T13·x + T23·y), 0), the max keeping a
// not-a-number sum as std::max(s, 0) does.
template <typename Access>
__m256 constancyTerm(const float* const* t, int i, __m256i mask, __m256 x, __m256 y) {
  const __m256 t11 = Access::load(t[0] + i, mask), t22 = Access::load(t[1] + i, mask);
  const __m256 t33 = Access::load(t[2] + i, mask), t12 = Access::load(t[3] + i, mask);
  const __m256 t13 = Access::load(t[4] + i, mask), t23 = Access::load(t[5] + i, mask);
  const __m256 quadratic = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(t11, _mm256_mul_ps(x, x)),
                                                       _mm256_mul_ps(t22, _mm256_mul_ps(y, y))),
                                         t33);
  const __m256 mixed =
      _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(t12, x), y), _mm256_mul_ps(t13, x)),
                    _mm256_mul_ps(t23, y));
  // max_ps(0, s) is 0 only where 0 > s: a not-a-number s (and −0) stay as they are.
  return _mm256_max_ps(_mm256_setzero_ps(), quadraticPlusTwiceMixed(quadratic, mixed));
}

// float(1.0 / √(double(a² + b² + 10⁻⁶))), the sum in single precision.
__m256 inverseGradientNorm(__m256 a, __m256 b) {
  const __m256 s =
      _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(a, a), _mm256_mul_ps(b, b)), _mm256_set1_ps(1e-6f));
  const __m256d one = _mm256_set1_pd(1.0);
  const __m128 low = _mm256_cvtpd_ps(
      _mm256_div_pd(one, _mm256_sqrt_pd(_mm256_cvtps_pd(_mm256_castps256_ps128(s)))));
  const __m128 high = _mm256_cvtpd_ps(
      _mm256_div_pd(one, _mm256_sqrt_pd(_mm256_cvtps_pd(_mm256_extractf128_ps(s, 1)))));
  return _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1);
}

struct TensorKernel {
  const TensorTerms& t;
  template <typename Access>
  void step(int i, __m256i mask) const {
    const __m256 x = Access::load(t.ix + i, mask), y = Access::load(t.iy + i, mask);
    const __m256 z = Access::load(t.it + i, mask);
    const __m256 theta = inverseGradientNorm(x, y);
    const __m256 tx = _mm256_mul_ps(theta, x), ty = _mm256_mul_ps(theta, y);
    __m256 e[6] = {_mm256_mul_ps(theta, _mm256_mul_ps(x, x)),
                   _mm256_mul_ps(theta, _mm256_mul_ps(y, y)),
                   _mm256_mul_ps(theta, _mm256_mul_ps(z, z)),
                   _mm256_mul_ps(tx, y),
                   _mm256_mul_ps(tx, z),
                   _mm256_mul_ps(ty, z)};
    const __m256 xx = Access::load(t.ixx + i, mask), xy = Access::load(t.ixy + i, mask);
    const __m256 yy = Access::load(t.iyy + i, mask);
    const __m256 xt = Access::load(t.ixt + i, mask), yt = Access::load(t.iyt + i, mask);
    const __m256 thetaX = inverseGradientNorm(xx, xy);
    const __m256 thetaY = inverseGradientNorm(xy, yy);
    auto mul = [](__m256 a, __m256 b) { return _mm256_mul_ps(a, b); };
    auto add = [](__m256 a, __m256 b) { return _mm256_add_ps(a, b); };
    __m256 f[6] = {
        add(mul(thetaX, mul(xx, xx)), mul(thetaY, mul(xy, xy))),
        add(mul(thetaX, mul(xy, xy)), mul(thetaY, mul(yy, yy))),
        add(mul(thetaX, mul(xt, xt)), mul(thetaY, mul(yt, yt))),
        mul(add(mul(thetaX, xx), mul(thetaY, yy)), xy),
        add(mul(mul(thetaX, xx), xt), mul(mul(thetaY, xy), yt)),
        add(mul(mul(thetaX, xy), xt), mul(mul(thetaY, yy), yt)),
    };
    const __m256 m = t.last ? Access::load(t.mask + i, mask) : _mm256_setzero_ps();
    const __m256 zero = _mm256_setzero_ps();
    for (int c = 0; c < 6; ++c) {
      __m256 je = add(t.first ? zero : Access::load(t.j[c] + i, mask), e[c]);
      __m256 gf = add(t.first ? zero : Access::load(t.g[c] + i, mask), f[c]);
      if (t.last) {
        je = mul(je, m);
        gf = mul(gf, m);
      }
      Access::store(t.j[c] + i, mask, je);
      Access::store(t.g[c] + i, mask, gf);
    }
  }
};

struct RobustKernel {
  const RobustTerms& t;
  template <typename Access>
  void step(int i, __m256i mask) const {
    const __m256 x = Access::load(t.du + i, mask), y = Access::load(t.dv + i, mask);
    const __m256 sD = constancyTerm<Access>(t.j, i, mask, x, y);
    Access::store(t.psiD + i, mask, ratioToRoot(_mm256_set1_ps(t.data), sD));
    const __m256 sG = constancyTerm<Access>(t.g, i, mask, x, y);
    Access::store(t.psiG + i, mask, ratioToRoot(_mm256_set1_ps(t.gradient), sG));
  }
};

// kFirst: the sums are taken as 0 instead of read (MatchTerms::first).
template <bool kFirst>
struct MatchKernel {
  const MatchTerms& t;
  template <typename Access>
  void step(int i, __m256i mask) const {
    const __m256 p = Access::load(t.confidence + i, mask);
    const __m256 counts = _mm256_cmp_ps(p, _mm256_setzero_ps(), _CMP_GT_OQ);
    const __m256 u = Access::load(t.u + i, mask), v = Access::load(t.v + i, mask);
    const __m256 mu = Access::load(t.mu + i, mask), mv = Access::load(t.mv + i, mask);
    const __m256 eu = _mm256_sub_ps(_mm256_add_ps(Access::load(t.du + i, mask), u), mu);
    const __m256 ev = _mm256_sub_ps(_mm256_add_ps(Access::load(t.dv + i, mask), v), mv);
    const __m256 w = ratioToRoot(_mm256_mul_ps(_mm256_set1_ps(t.scale), p),
                                 _mm256_add_ps(_mm256_mul_ps(eu, eu), _mm256_mul_ps(ev, ev)));
    const __m256 zero = _mm256_setzero_ps();
    const __m256 oldSum = kFirst ? zero : Access::load(t.sum + i, mask);
    const __m256 oldU = kFirst ? zero : Access::load(t.ru + i, mask);
    const __m256 oldV = kFirst ? zero : Access::load(t.rv + i, mask);
    const __m256 sum = _mm256_add_ps(oldSum, w);
    const __m256 r = _mm256_add_ps(oldU, _mm256_mul_ps(_mm256_sub_ps(u, mu), w));
    const __m256 s = _mm256_add_ps(oldV, _mm256_mul_ps(w, _mm256_sub_ps(v, mv)));
    Access::store(t.sum + i, mask, _mm256_blendv_ps(oldSum, sum, counts));
    Access::store(t.ru + i, mask, _mm256_blendv_ps(oldU, r, counts));
    Access::store(t.rv + i, mask, _mm256_blendv_ps(oldV, s, counts));
  }
};

struct PairKernel {
  const PairTerms& t;
  template <typename Access>
  void step(int i, __m256i mask) const {
    __m256 sum = _mm256_setzero_ps();
    if (t.step != 0) {
      const __m256 half = _mm256_set1_ps(0.5f);
      const float* const totals[2] = {t.s0, t.s1};
      const float* const across[2] = {t.d0, t.d1};
      for (int k = 0; k < 2; ++k) {
        const __m256 forward = _mm256_sub_ps(Access::load(totals[k] + i + t.step, mask),
                                             Access::load(totals[k] + i, mask));
        const __m256 mean =
            _mm256_mul_ps(half, _mm256_add_ps(Access::load(across[k] + i, mask),
                                              Access::load(across[k] + i + t.step, mask)));
        const __m256 f2 = _mm256_mul_ps(forward, forward), a2 = _mm256_mul_ps(mean, mean);
        sum = _mm256_add_ps(sum, t.horizontal ? _mm256_add_ps(f2, a2) : _mm256_add_ps(a2, f2));
      }
    }
    if (t.m != nullptr) {
      const __m256 m = Access::load(t.m + i, mask);
      sum = _mm256_add_ps(sum, _mm256_mul_ps(m, _mm256_mul_ps(_mm256_set1_ps(t.extraWeight), m)));
    }
    Access::store(t.weights + i, mask, ratioToRoot(_mm256_set1_ps(1.0f), sum));
  }
};

}  // namespace

void accumulateMotionTensorsAvx2(int begin, int end, const TensorTerms& t) {
  overVectors(begin, end, TensorKernel{t});
}

void robustWeightsAvx2(int begin, int end, const RobustTerms& t) {
  overVectors(begin, end, RobustKernel{t});
}

void addMatchCandidateAvx2(int begin, int end, const MatchTerms& t) {
  if (t.first) {
    overVectors(begin, end, MatchKernel<true>{t});
  } else {
    overVectors(begin, end, MatchKernel<false>{t});
  }
}

void pairWeightsAvx2(int begin, int end, const PairTerms& t) {
  overVectors(begin, end, PairKernel{t});
}

}  // namespace detail
}  // namespace flowsolver
