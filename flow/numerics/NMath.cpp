// Dense linear algebra and rigid-body geometry of NMath. Everything is single precision except
// the twist conversion, which works in double.
#include "flow/numerics/NMath.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <utility>
#include <vector>

namespace NMath {

namespace {

// Row i, column j of a matrix stored x fastest (x = column, y = row).
inline float& at(CMatrix<float>& m, int i, int j) {
  return m.data()[j + i * m.xSize()];
}
inline float at(const CMatrix<float>& m, int i, int j) {
  return m.data()[j + i * m.xSize()];
}

void requireSquare(const CMatrix<float>& m) {
  if (m.xSize() != m.ySize()) flowdetail::nonquadraticMatrix(m.xSize(), m.ySize());
}

// The routines write and read fixed index ranges; a container smaller than them is refused
// with the line of the two operands involved instead of being run over.
void requireCovers(const CMatrix<float>& first, const CMatrix<float>& m, int cols, int rows) {
  if (m.xSize() < cols || m.ySize() < rows) {
    flowdetail::incompatibleMatrices(first.xSize(), first.ySize(), m.xSize(), m.ySize());
  }
}

void requireCovers(const CMatrix<float>& first, const CVector<float>& v, int n) {
  if (v.size() < n) flowdetail::incompatibleMatrices(first.xSize(), first.ySize(), 1, v.size());
}

// sqrt(a² + b²) with the larger magnitude factored out, so that neither square overflows.
float hypotenuse(float a, float b) {
  const float absA = std::fabs(a), absB = std::fabs(b);
  if (absA > absB) {
    const float r = absB / absA;
    return absA * std::sqrt(1.0f + r * r);
  }
  if (absB == 0.0f) return 0.0f;
  const float r = absA / absB;
  return absB * std::sqrt(1.0f + r * r);
}

// |a| with the sign of b, where b = -0 counts as positive.
inline float withSignOf(float a, float b) {
  return b >= 0.0f ? std::fabs(a) : -std::fabs(a);
}

// Jacobi sweeps stop long before this on any matrix of finite numbers; the cap only keeps
// input holding NaN or infinity from sweeping forever.
constexpr int kMaxJacobiSweeps = 100;

}  // namespace

// ---- Scalar and angle routines --------------------------------------------------------------

int faculty(int n) {
  std::int64_t result = 1;
  for (int i = 2; i <= n; ++i) {
    result *= i;
    if (result > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(result);
}

int binCoeff(int n, int k) {
  if (n / 2 < k) {
    // n - k <= 0 (also where it would leave the int range) is an empty product.
    const std::int64_t mirrored = static_cast<std::int64_t>(n) - k;
    return mirrored <= 0 ? 1 : binCoeff(n, static_cast<int>(mirrored));
  }
  // n (n-1) ... (n-k+1) / (2 3 ... k), with each division done as soon as it is exact:
  // after step i the running value is the binomial coefficient n over i, so the intermediate
  // values stay as small as the result allows and equal what the full product divided in
  // turn gives whenever that product fits.
  std::int64_t result = 1;
  for (int i = 1; i <= k; ++i) {
    result = result * (n - k + i) / i;
    if (result > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(result);
}

float absAngleDifference(float a, float b) {
  const float d = std::fabs(a - b);
  return d > Pi ? TwoPi - d : d;
}

float angleDifference(float a, float b) {
  const float d = a - b;
  if (d > Pi) return d - TwoPi;
  if (d < -Pi) return d + TwoPi;
  return d;
}

float angleSum(float a, float b) {
  const float s = a + b;
  if (s > Pi) return s - TwoPi;
  if (s < -Pi) return s + TwoPi;
  return s;
}

int round(float x) {
  const float down = std::floor(x);
  const float r = x - down < 0.5f ? down : std::ceil(x);
  // The conversion of a value outside the int range is undefined; clamp before it.
  if (std::isnan(r)) return 0;
  if (r >= 2147483648.0f) return INT_MAX;
  if (r < -2147483648.0f) return INT_MIN;
  return static_cast<int>(r);
}

float tangent(float x1, float y1, float x2, float y2) {
  const float dx = x2 - x1, dy = y2 - y1;
  if (dy > 0.0f) {
    if (dx == 0.0f) return HalfPi;
    if (dx > 0.0f) return std::atan(dy / dx);
    return std::atan(dy / dx) + Pi;
  }
  if (dx == 0.0f) return -HalfPi;
  if (dx > 0.0f) return std::atan(dy / dx);
  return std::atan(dy / dx) - Pi;
}

// ---- Triangular solves ----------------------------------------------------------------------

void triangularSolve(const CMatrix<float>& L, const CVector<float>& b, CVector<float>& x) {
  requireSquare(L);
  const int n = L.xSize();
  requireCovers(L, b, n);
  requireCovers(L, x, n);
  for (int i = 0; i < n; ++i) {
    float sum = 0.0f;
    for (int j = 0; j < i; ++j)
      sum += at(L, i, j) * x(j);
    x(i) = (b(i) - sum) / at(L, i, i);
  }
}

void triangularSolveTransposed(const CMatrix<float>& L, const CVector<float>& b,
                               CVector<float>& x) {
  requireSquare(L);
  const int n = L.xSize();
  requireCovers(L, b, n);
  requireCovers(L, x, n);
  for (int i = n - 1; i >= 0; --i) {
    float sum = 0.0f;
    for (int j = i + 1; j < n; ++j)
      sum += at(L, j, i) * x(j);
    x(i) = (b(i) - sum) / at(L, i, i);
  }
}

void triangularSolve(const CMatrix<float>& L, const CMatrix<float>& B, CMatrix<float>& X) {
  requireSquare(L);
  const int n = L.xSize();
  requireCovers(L, B, n, 0);
  requireCovers(B, X, n, B.ySize());
  std::vector<float> reciprocal(n);
  for (int i = 0; i < n; ++i)
    reciprocal[i] = 1.0f / at(L, i, i);
  for (int row = 0; row < B.ySize(); ++row) {
    const float* b = B.data() + row * B.xSize();
    float* x = X.data() + row * X.xSize();
    for (int i = 0; i < n; ++i) {
      float sum = 0.0f;
      for (int j = 0; j < i; ++j)
        sum += at(L, i, j) * x[j];
      x[i] = (b[i] - sum) * reciprocal[i];
    }
  }
}

void triangularSolveTransposed(const CMatrix<float>& L, const CMatrix<float>& B,
                               CMatrix<float>& X) {
  requireSquare(L);
  const int n = L.xSize();
  requireCovers(L, B, n, 0);
  requireCovers(B, X, n, B.ySize());
  std::vector<float> reciprocal(n);
  for (int i = 0; i < n; ++i)
    reciprocal[i] = 1.0f / at(L, i, i);
  for (int row = 0; row < B.ySize(); ++row) {
    const float* b = B.data() + row * B.xSize();
    float* x = X.data() + row * X.xSize();
    for (int i = n - 1; i >= 0; --i) {
      float sum = 0.0f;
      for (int j = i + 1; j < n; ++j)
        sum += at(L, j, i) * x[j];
      x[i] = (b[i] - sum) * reciprocal[i];
    }
  }
}

// ---- Factorisations and decompositions ------------------------------------------------------

bool cholesky(CMatrix<float>& A) {
  requireSquare(A);
  const int n = A.xSize();
  // The diagonal of L is kept aside until the end: the input diagonal is still read while the
  // rows below are formed.
  std::vector<float> p(n);
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < i; ++k)
        sum += at(A, i, k) * at(A, j, k);
      const float d = at(A, i, j) - sum;
      if (j == i) {
        if (d <= 0.0f) return false;
        p[i] = std::sqrt(d);
      } else {
        at(A, j, i) = d / p[i];
      }
    }
  }
  for (int i = 0; i < n; ++i)
    at(A, i, i) = p[i];
  return true;
}

void choleskyInv(const CMatrix<float>& L, CMatrix<float>& Ainv) {
  requireSquare(L);
  const int n = L.xSize();
  requireCovers(L, Ainv, n, n);
  Ainv.fill(0.0f);
  // Step 1: L^-1 in the lower triangle of Ainv, its diagonal first, then column by column:
  // L^-1(i, j) = -(sum over j <= k < i of L(i, k) L^-1(k, j)) / L(i, i).
  for (int i = 0; i < n; ++i)
    at(Ainv, i, i) = 1.0f / at(L, i, i);
  for (int j = 0; j < n; ++j) {
    for (int i = j + 1; i < n; ++i) {
      float sum = 0.0f;
      for (int k = j; k < i; ++k)
        sum += at(L, i, k) * at(Ainv, k, j);
      at(Ainv, i, j) = -sum * at(Ainv, i, i);
    }
  }
  // Step 2: (L L^T)^-1 = L^-T L^-1 on the upper triangle. Entry (i, j), i <= j, reads columns
  // i and j of L^-1 from row j down only, so it can overwrite L^-1 in place: the diagonal
  // entry (i, i) is read last by entry (i, i) itself.
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      float sum = 0.0f;
      for (int k = j; k < n; ++k)
        sum += at(Ainv, k, i) * at(Ainv, k, j);
      at(Ainv, i, j) = sum;
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j)
      at(Ainv, j, i) = at(Ainv, i, j);
  }
}

void PATransformation(const CMatrix<float>& A, CVector<float>& lambda, CMatrix<float>& Q,
                      bool sort) {
  const int n = lambda.size();
  if (A.xSize() < n || A.ySize() < n) {
    flowdetail::incompatibleMatrices(A.xSize(), A.ySize(), 1, n);
  }
  if (Q.xSize() < n || Q.ySize() < n) {
    flowdetail::incompatibleMatrices(Q.xSize(), Q.ySize(), 1, n);
  }
  CMatrix<float> a(A);
  Q.fill(0.0f);
  for (int k = 0; k < n; ++k)
    at(Q, k, k) = 1.0f;

  // Rotates the pair (g, h) of one rotation: g - sigma (h + tau g), h + sigma (g - tau h).
  auto rotate = [](float& g, float& h, float sigma, float tau) {
    const float gOld = g, hOld = h;
    g = gOld - sigma * (hOld + tau * gOld);
    h = hOld + sigma * (gOld - tau * hOld);
  };

  for (int sweep = 0; n > 1 && sweep < kMaxJacobiSweeps; ++sweep) {
    // Step 1: stop once the part above the diagonal has vanished.
    float s = 0.0f;
    for (int i = 0; i < n; ++i) {
      for (int l = i + 1; l < n; ++l)
        s += at(a, i, l) * at(a, i, l);
    }
    if (2.0f * s <= 1e-8f || !std::isfinite(s)) break;
    // Step 2: one rotation per pair i < l that zeroes a(i, l).
    for (int i = 0; i < n; ++i) {
      for (int l = i + 1; l < n; ++l) {
        const float ail = at(a, i, l);
        if (std::fabs(ail) < 1e-8f) continue;
        const float theta = (at(a, l, l) - at(a, i, i)) / (2.0f * ail);
        float t = 1.0f;
        if (std::fabs(theta) > 1e-6f) {
          const float sign = theta > 0.0f ? 1.0f : -1.0f;
          t = 1.0f / (theta + sign * std::sqrt(theta * theta + 1.0f));
        }
        at(a, i, i) -= t * ail;
        at(a, l, l) += t * ail;
        // The whole symmetric matrix is rotated, so the mirror element goes to 0 as well.
        at(a, i, l) = at(a, l, i) = 0.0f;
        const float kappa = 1.0f / std::sqrt(t * t + 1.0f);
        const float sigma = t * kappa;
        const float tau = sigma / (1.0f + kappa);
        for (int k = 0; k < n; ++k) {
          if (k == i || k == l) continue;
          rotate(at(a, k, i), at(a, k, l), sigma, tau);  // columns i and l
          rotate(at(a, i, k), at(a, l, k), sigma, tau);  // rows i and l
        }
        for (int k = 0; k < n; ++k)
          rotate(at(Q, i, k), at(Q, l, k), sigma, tau);
      }
    }
  }

  // Step 3: eigenvalues from the diagonal, optionally by decreasing magnitude.
  for (int k = 0; k < n; ++k)
    lambda(k) = at(a, k, k);
  if (!sort) return;
  for (int i = 0; i < n - 1; ++i) {
    int best = i;
    for (int k = i + 1; k < n; ++k) {
      if (std::fabs(lambda(k)) > std::fabs(lambda(best))) best = k;
    }
    if (best == i) continue;
    std::swap(lambda(i), lambda(best));
    for (int k = 0; k < Q.xSize(); ++k)
      std::swap(at(Q, i, k), at(Q, best, k));
  }
}

void PABacktransformation(const CMatrix<float>& Q, const CVector<float>& lambda,
                          CMatrix<float>& A) {
  const int n = lambda.size();
  if (Q.xSize() < n || Q.ySize() < n) {
    flowdetail::incompatibleMatrices(Q.xSize(), Q.ySize(), 1, n);
  }
  requireCovers(Q, A, n, n);
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      float sum = 0.0f;
      for (int k = 0; k < n; ++k)
        sum += lambda(k) * at(Q, k, i) * at(Q, k, j);
      at(A, i, j) = sum;
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = i + 1; j < n; ++j)
      at(A, j, i) = at(A, i, j);
  }
}

void invRegularized(CMatrix<float>& A, int a) {
  requireSquare(A);
  const int n = A.xSize();
  CVector<float> lambda(n);
  CMatrix<float> Q(n, n);
  PATransformation(A, lambda, Q, true);
  const float bound = static_cast<float>(a);
  for (int k = 0; k < n; ++k)
    lambda(k) = bound > lambda(k) ? 1.0f / bound : 1.0f / lambda(k);
  PABacktransformation(Q, lambda, A);
}

namespace {

// m >= n and b long enough for the m rows.
void requireTallSystem(const CMatrix<float>& A, const CVector<float>& b) {
  if (A.ySize() < A.xSize() || b.size() < A.ySize()) {
    flowdetail::incompatibleMatrices(A.xSize(), A.ySize(), 1, b.size());
  }
}

}  // namespace

bool householder(CMatrix<float>& A, CVector<float>& b) {
  requireTallSystem(A, b);
  const int m = A.ySize(), n = A.xSize();
  std::vector<float> rDiagonal(n);
  int reached = 0;
  bool complete = true;
  for (int i = 0; i < n; ++i) {
    float s = 0.0f;
    for (int j = i; j < m; ++j)
      s += at(A, j, i) * at(A, j, i);
    if (s == 0.0f) {
      std::cerr << "NMath::householder(): matrix is singular!" << std::endl;
      complete = false;
      break;
    }
    // The reflection vector v is column i from row i down, with alpha taken off its top.
    const float old = at(A, i, i);
    const float alpha = old >= 0.0f ? -std::sqrt(s) : std::sqrt(s);
    at(A, i, i) = old - alpha;
    // H = I + f v v^T with f = -2 / (v^T v) = 1 / (alpha a_ii - s).
    const float f = 1.0f / (alpha * old - s);
    for (int k = i + 1; k < n; ++k) {
      float dot = 0.0f;
      for (int j = i; j < m; ++j)
        dot += at(A, j, i) * at(A, j, k);
      const float scale = f * dot;
      for (int j = i; j < m; ++j)
        at(A, j, k) += at(A, j, i) * scale;
    }
    float dot = 0.0f;
    for (int j = i; j < m; ++j)
      dot += at(A, j, i) * b(j);
    const float scale = f * dot;
    for (int j = i; j < m; ++j)
      b(j) += at(A, j, i) * scale;
    rDiagonal[i] = alpha;
    reached = i + 1;
  }
  // R's diagonal replaces the tops of the reflection vectors of the columns reduced.
  for (int i = 0; i < reached; ++i)
    at(A, i, i) = rDiagonal[i];
  return complete;
}

CVector<float> leastSquares(CMatrix<float>& A, CVector<float>& b) {
  requireTallSystem(A, b);
  householder(A, b);
  const int n = A.xSize();
  CVector<float> x(n);
  for (int i = n - 1; i >= 0; --i) {
    float sum = 0.0f;
    for (int j = i + 1; j < n; ++j)
      sum += at(A, i, j) * x(j);
    x(i) = (b(i) - sum) / at(A, i, i);
  }
  return x;
}

void svd(CMatrix<float>& A, CMatrix<float>& S, CMatrix<float>& V, bool sort, int maxIter) {
  const int m = A.ySize(), n = A.xSize();
  requireCovers(A, S, n, n);
  requireCovers(A, V, n, n);
  std::vector<float> w(n), e(n);  // diagonal and superdiagonal of the bidiagonal form
  CMatrix<float>& a = A;

  // Step 1: Householder reduction to upper bidiagonal form, a column reflection and a row
  // reflection in turn, each on its part scaled by the sum of its magnitudes.
  float g = 0.0f, scale = 0.0f, anorm = 0.0f;
  for (int i = 0; i < n; ++i) {
    const int l = i + 1;
    e[i] = scale * g;
    g = scale = 0.0f;
    if (i < m) {
      for (int k = i; k < m; ++k)
        scale += std::fabs(at(a, k, i));
      if (scale != 0.0f) {
        float s = 0.0f;
        for (int k = i; k < m; ++k) {
          at(a, k, i) /= scale;
          s += at(a, k, i) * at(a, k, i);
        }
        const float f = at(a, i, i);
        g = -withSignOf(std::sqrt(s), f);
        const float h = f * g - s;
        at(a, i, i) = f - g;
        for (int j = l; j < n; ++j) {
          float dot = 0.0f;
          for (int k = i; k < m; ++k)
            dot += at(a, k, i) * at(a, k, j);
          const float factor = dot / h;
          for (int k = i; k < m; ++k)
            at(a, k, j) += factor * at(a, k, i);
        }
        for (int k = i; k < m; ++k)
          at(a, k, i) *= scale;
      }
    }
    w[i] = scale * g;
    g = scale = 0.0f;
    if (i < m && i != n - 1) {
      for (int k = l; k < n; ++k)
        scale += std::fabs(at(a, i, k));
      if (scale != 0.0f) {
        float s = 0.0f;
        for (int k = l; k < n; ++k) {
          at(a, i, k) /= scale;
          s += at(a, i, k) * at(a, i, k);
        }
        const float f = at(a, i, l);
        g = -withSignOf(std::sqrt(s), f);
        const float h = f * g - s;
        at(a, i, l) = f - g;
        for (int k = l; k < n; ++k)
          e[k] = at(a, i, k) / h;
        for (int j = l; j < m; ++j) {
          float dot = 0.0f;
          for (int k = l; k < n; ++k)
            dot += at(a, j, k) * at(a, i, k);
          for (int k = l; k < n; ++k)
            at(a, j, k) += dot * e[k];
        }
        for (int k = l; k < n; ++k)
          at(a, i, k) *= scale;
      }
    }
    anorm = std::max(anorm, std::fabs(w[i]) + std::fabs(e[i]));
  }

  // Step 2: accumulate the right-hand reflections into V, last first.
  {
    int l = n;
    for (int i = n - 1; i >= 0; --i) {
      if (i < n - 1) {
        if (g != 0.0f) {
          // Two divisions rather than one product keep a tiny g from underflowing.
          for (int j = l; j < n; ++j)
            at(V, j, i) = (at(a, i, j) / at(a, i, l)) / g;
          for (int j = l; j < n; ++j) {
            float dot = 0.0f;
            for (int k = l; k < n; ++k)
              dot += at(a, i, k) * at(V, k, j);
            for (int k = l; k < n; ++k)
              at(V, k, j) += dot * at(V, k, i);
          }
        }
        for (int j = l; j < n; ++j)
          at(V, i, j) = at(V, j, i) = 0.0f;
      }
      at(V, i, i) = 1.0f;
      g = e[i];
      l = i;
    }
  }

  // Step 3: accumulate the left-hand reflections into A, which becomes U.
  for (int i = std::min(m, n) - 1; i >= 0; --i) {
    const int l = i + 1;
    float gi = w[i];
    for (int j = l; j < n; ++j)
      at(a, i, j) = 0.0f;
    if (gi != 0.0f) {
      gi = 1.0f / gi;
      for (int j = l; j < n; ++j) {
        float dot = 0.0f;
        for (int k = l; k < m; ++k)
          dot += at(a, k, i) * at(a, k, j);
        const float f = (dot / at(a, i, i)) * gi;
        for (int k = i; k < m; ++k)
          at(a, k, j) += f * at(a, k, i);
      }
      for (int j = i; j < m; ++j)
        at(a, j, i) *= gi;
    } else {
      for (int j = i; j < m; ++j)
        at(a, j, i) = 0.0f;
    }
    at(a, i, i) += 1.0f;
  }

  // Step 4: diagonalise the bidiagonal form by implicit-shift QR sweeps, from the last
  // singular value to the first.
  auto negligible = [anorm](float value) { return std::fabs(value) + anorm == anorm; };
  for (int k = n - 1; k >= 0; --k) {
    for (int its = 1; its <= maxIter; ++its) {
      // Find the top l of the unreduced block ending at k. e[0] is always 0, so the search
      // ends at l = 0 at the latest (tested directly, as NaN would fail every comparison).
      bool cancel = true;
      int l = k;
      for (; l >= 0; --l) {
        if (l == 0 || negligible(e[l])) {
          cancel = false;
          break;
        }
        if (negligible(w[l - 1])) break;
      }
      if (cancel) {
        // w[l-1] is negligible: chase e[l] out of the block by rotations with row l-1.
        const int nm = l - 1;
        float c = 0.0f, s = 1.0f;
        for (int i = l; i <= k; ++i) {
          const float f = s * e[i];
          e[i] = c * e[i];
          if (negligible(f)) break;
          const float gw = w[i];
          float h = hypotenuse(f, gw);
          w[i] = h;
          h = 1.0f / h;
          c = gw * h;
          s = -f * h;
          for (int j = 0; j < m; ++j) {
            const float y = at(a, j, nm), z = at(a, j, i);
            at(a, j, nm) = y * c + z * s;
            at(a, j, i) = z * c - y * s;
          }
        }
      }
      float z = w[k];
      if (l == k) {
        // Converged: make the singular value non-negative.
        if (z < 0.0f) {
          w[k] = -z;
          for (int j = 0; j < n; ++j)
            at(V, j, k) = -at(V, j, k);
        }
        break;
      }
      if (its == maxIter) {
        std::cerr << "svd: No convergence in " << maxIter << " iterations" << std::endl;
      }
      // Shift from the trailing 2-by-2 block.
      float x = w[l];
      int nm = k - 1;
      float y = w[nm];
      float gs = e[nm];
      float h = e[k];
      float f = ((y - z) * (y + z) + (gs - h) * (gs + h)) / (2.0f * h * y);
      gs = hypotenuse(f, 1.0f);
      f = ((x - z) * (x + z) + h * ((y / (f + withSignOf(gs, f))) - h)) / x;
      // Next QR transformation: Givens rotations chasing the bulge down the block.
      float c = 1.0f, s = 1.0f;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        gs = e[i];
        y = w[i];
        h = s * gs;
        gs = c * gs;
        z = hypotenuse(f, h);
        e[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + gs * s;
        gs = gs * c - x * s;
        h = y * s;
        y *= c;
        for (int jj = 0; jj < n; ++jj) {
          const float vx = at(V, jj, j), vz = at(V, jj, i);
          at(V, jj, j) = vx * c + vz * s;
          at(V, jj, i) = vz * c - vx * s;
        }
        z = hypotenuse(f, h);
        w[j] = z;
        if (z != 0.0f) {
          z = 1.0f / z;
          c = f * z;
          s = h * z;
        }
        f = c * gs + s * y;
        x = c * y - s * gs;
        for (int jj = 0; jj < m; ++jj) {
          const float uy = at(a, jj, j), uz = at(a, jj, i);
          at(a, jj, j) = uy * c + uz * s;
          at(a, jj, i) = uz * c - uy * s;
        }
      }
      e[l] = 0.0f;
      e[k] = f;
      w[k] = x;
    }
  }

  // Step 5: optional selection sort by decreasing magnitude, columns of U and V alike.
  if (sort) {
    for (int i = 0; i < n - 1; ++i) {
      int best = i;
      for (int k = i + 1; k < n; ++k) {
        if (std::fabs(w[k]) > std::fabs(w[best])) best = k;
      }
      if (best == i) continue;
      std::swap(w[i], w[best]);
      for (int j = 0; j < m; ++j)
        std::swap(at(a, j, i), at(a, j, best));
      for (int j = 0; j < n; ++j)
        std::swap(at(V, j, i), at(V, j, best));
    }
  }
  S.fill(0.0f);
  for (int i = 0; i < n; ++i)
    at(S, i, i) = w[i];
}

void svdBack(CMatrix<float>& U, const CMatrix<float>& S, const CMatrix<float>& V) {
  const int n = U.xSize();
  requireCovers(U, S, n, n);
  for (int i = 0; i < U.ySize(); ++i) {
    for (int j = 0; j < n; ++j)
      at(U, i, j) *= at(S, j, j);
  }
  U *= trans(V);
}

// ---- Rigid-body geometry ------------------------------------------------------------------

void eulerAngles(float alpha, float beta, float gamma, CMatrix<float>& M) {
  const float ca = std::cos(alpha), sa = std::sin(alpha);
  const float cb = std::cos(beta), sb = std::sin(beta);
  const float cg = std::cos(gamma), sg = std::sin(gamma);
  CMatrix<float> rx(4, 4, 0.0f), ry(4, 4, 0.0f), rz(4, 4, 0.0f);
  at(rx, 0, 0) = 1.0f;
  at(rx, 1, 1) = ca;
  at(rx, 1, 2) = -sa;
  at(rx, 2, 1) = sa;
  at(rx, 2, 2) = ca;
  at(rx, 3, 3) = 1.0f;
  at(ry, 0, 0) = cb;
  at(ry, 0, 2) = sb;
  at(ry, 1, 1) = 1.0f;
  at(ry, 2, 0) = -sb;
  at(ry, 2, 2) = cb;
  at(ry, 3, 3) = 1.0f;
  at(rz, 0, 0) = cg;
  at(rz, 0, 1) = -sg;
  at(rz, 1, 0) = sg;
  at(rz, 1, 1) = cg;
  at(rz, 2, 2) = 1.0f;
  at(rz, 3, 3) = 1.0f;
  M = rz * ry;
  M *= rx;
}

void RBM2Twist(CVector<float>& twist, const CMatrix<float>& M) {
  if (M.xSize() < 4 || M.ySize() < 4) {
    flowdetail::incompatibleMatrices(M.xSize(), M.ySize(), 4, 4);
  }
  // r[i][j] is row i, column j of the rotation block; t the translation column.
  double r[3][3];
  CVector<double> t(3);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j)
      r[i][j] = at(M, i, j);
    t(i) = at(M, i, 3);
  }
  twist.setSize(6);

  // Step 1: a rotation this close to the identity is a pure translation.
  double deviation = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const double d = r[i][j] - (i == j ? 1.0 : 0.0);
      deviation += d * d;
    }
  }
  if (deviation < 1e-7) {
    for (int i = 0; i < 3; ++i) {
      twist(i) = static_cast<float>(t(i));
      twist(i + 3) = 0.0f;
    }
    return;
  }

  // Step 2: rotation angle and unit axis.
  const double trace = r[0][0] + r[1][1] + r[2][2];
  double theta = std::acos(std::min(1.0, std::max(-1.0, (trace - 1.0) / 2.0)));
  if (std::sin(theta) == 0.0) theta += 1e-7;
  const double twoSin = 2.0 * std::sin(theta);
  CVector<double> omega(3);
  omega(0) = (r[2][1] - r[1][2]) / twoSin;
  omega(1) = (r[0][2] - r[2][0]) / twoSin;
  omega(2) = (r[1][0] - r[0][1]) / twoSin;

  // Step 3: v = G^-1 t with G = (I - A) w^ + theta w w^T and A = exp(theta w^).
  CMatrix<double> identity(3, 3, 0.0);
  for (int i = 0; i < 3; ++i)
    identity(i, i) = 1.0;
  CMatrix<double> hat(3, 3, 0.0);  // skew matrix of omega; element (x, y) is row y, column x
  hat(1, 0) = -omega(2);
  hat(2, 0) = omega(1);
  hat(0, 1) = omega(2);
  hat(2, 1) = -omega(0);
  hat(0, 2) = -omega(1);
  hat(1, 2) = omega(0);
  const CMatrix<double> rotation =
      identity + hat * std::sin(theta) + (hat * hat) * (1.0 - std::cos(theta));
  CMatrix<double> omegaColumn(1, 3), omegaRow(3, 1);
  for (int i = 0; i < 3; ++i)
    omegaColumn(0, i) = omegaRow(i, 0) = omega(i);
  CMatrix<double> G = identity;
  G -= rotation;
  G *= hat;
  G += (omegaColumn * omegaRow) * theta;
  G.inv();  // G is regular for every angle in (0, pi]
  CVector<double> v = G * t;

  // Step 4: twist = (theta v, theta omega).
  v *= theta;
  omega *= theta;
  for (int i = 0; i < 3; ++i) {
    twist(i) = static_cast<float>(v(i));
    twist(i + 3) = static_cast<float>(omega(i));
  }
}

}  // namespace NMath
