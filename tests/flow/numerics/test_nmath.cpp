// NMath: scalar and angle routines against hand-checked values and brute-force oracles, the
// factorisations against the identities they promise on random well-conditioned matrices,
// and the size refusals with their diagnostic lines.
#include "flow/numerics/NMath.h"
#include "tests/flow/capture_cerr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// Row i, column j.
float& rc(CMatrix<float>& m, int i, int j) {
  return m(j, i);
}
float rc(const CMatrix<float>& m, int i, int j) {
  return m(j, i);
}

CMatrix<float> randomMatrix(int rows, int cols, std::mt19937& rng, float lo = -1, float hi = 1) {
  std::uniform_real_distribution<float> u(lo, hi);
  CMatrix<float> m(cols, rows);
  for (int i = 0; i < m.size(); ++i)
    m.data()[i] = u(rng);
  return m;
}

// B B^T + n I: symmetric and well conditioned.
CMatrix<float> randomSpd(int n, std::mt19937& rng) {
  const CMatrix<float> b = randomMatrix(n, n, rng);
  CMatrix<float> a(n, n);
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      double s = i == j ? n : 0.0;
      for (int k = 0; k < n; ++k)
        s += double(rc(b, i, k)) * rc(b, j, k);
      rc(a, i, j) = static_cast<float>(s);
    }
  }
  return a;
}

// Product in double of (rows of a) by (columns of b), with optional transposes.
CMatrix<double> product(const CMatrix<float>& a, bool ta, const CMatrix<float>& b, bool tb) {
  const int rows = ta ? a.xSize() : a.ySize(), inner = ta ? a.ySize() : a.xSize();
  const int cols = tb ? b.ySize() : b.xSize();
  CMatrix<double> p(cols, rows, 0.0);
  for (int i = 0; i < rows; ++i) {
    for (int j = 0; j < cols; ++j) {
      double s = 0;
      for (int k = 0; k < inner; ++k)
        s += double(ta ? rc(a, k, i) : rc(a, i, k)) * (tb ? rc(b, j, k) : rc(b, k, j));
      p(j, i) = s;
    }
  }
  return p;
}

void expectIdentity(const CMatrix<double>& p, double tol, const std::string& what) {
  for (int i = 0; i < p.ySize(); ++i) {
    for (int j = 0; j < p.xSize(); ++j)
      EXPECT_NEAR(p(j, i), i == j ? 1.0 : 0.0, tol) << what << " (" << i << "," << j << ")";
  }
}

// Runs f, expects it to throw E and returns what it wrote to std::cerr.
template <typename E>
std::string thrownLine(const std::function<void()>& f) {
  CaptureCerr capture;
  EXPECT_THROW(f(), E);
  return capture.text();
}

TEST(NMathScalars, FacultyAndBinomialAgainstPascal) {
  std::int64_t fact = 1;
  for (int n = 0; n <= 15; ++n) {
    if (n >= 2) fact *= n;
    EXPECT_EQ(NMath::faculty(n), fact > INT_MAX ? INT_MAX : fact) << n;
  }
  EXPECT_EQ(NMath::faculty(-3), 1);
  std::vector<std::int64_t> row{1};
  for (int n = 1; n <= 34; ++n) {
    std::vector<std::int64_t> next(n + 1, 1);
    for (int k = 1; k < n; ++k)
      next[k] = row[k - 1] + row[k];
    row = next;
    for (int k = 0; k <= n; ++k) {
      EXPECT_EQ(NMath::binCoeff(n, k), row[k] > INT_MAX ? INT_MAX : row[k]) << n << " " << k;
    }
  }
  // k beyond n is computed as n over n - k < 0, an empty product.
  EXPECT_EQ(NMath::binCoeff(5, 2), 10);
  EXPECT_EQ(NMath::binCoeff(5, 3), 10);
  EXPECT_EQ(NMath::binCoeff(3, 5), 1);
  EXPECT_EQ(NMath::binCoeff(4, -1), 1);
}

TEST(NMathScalars, RoundHalvesUpAndSaturates) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    float x;
    int expected;
  };
  for (const Case& c : std::vector<Case>{{2.5f, 3},
                                         {-2.5f, -2},
                                         {2.4999f, 2},
                                         {-2.5001f, -3},
                                         {-0.5f, 0},
                                         {7.0f, 7},
                                         {1e10f, INT_MAX},
                                         {-1e10f, INT_MIN},
                                         {nan, 0}}) {
    EXPECT_EQ(NMath::round(c.x), c.expected) << c.x;
  }
}

TEST(NMathScalars, AngleRoutines) {
  const float pi = NMath::Pi;
  EXPECT_EQ(NMath::Pi, 3.14159274f);
  struct Case {
    float a, b, diff, absDiff, sum;
  };
  for (const Case& c : std::vector<Case>{{3.0f, -3.0f, 6.0f - 6.2831855f, 6.2831855f - 6.0f, 0.0f},
                                         {-3.0f, 3.0f, -6.0f + 6.2831855f, 6.2831855f - 6.0f, 0.0f},
                                         {1.0f, 0.5f, 0.5f, 0.5f, 1.5f},
                                         {2.0f, 2.0f, 0.0f, 0.0f, 4.0f - 6.2831855f},
                                         {-2.0f, -2.0f, 0.0f, 0.0f, -4.0f + 6.2831855f},
                                         {pi, 0.0f, pi, pi, pi}}) {
    EXPECT_FLOAT_EQ(NMath::angleDifference(c.a, c.b), c.diff) << c.a << " " << c.b;
    EXPECT_FLOAT_EQ(NMath::absAngleDifference(c.a, c.b), c.absDiff) << c.a << " " << c.b;
    EXPECT_FLOAT_EQ(NMath::angleSum(c.a, c.b), c.sum) << c.a << " " << c.b;
  }
  // tangent: every branch, and the direction it names.
  struct Line {
    float x2, y2, expected;
  };
  for (const Line& l : std::vector<Line>{{-1, 0, -pi},
                                         {0, 2, 1.5707964f},
                                         {0, -2, -1.5707964f},
                                         {0, 0, -1.5707964f},
                                         {1, 1, pi / 4},
                                         {1, -1, -pi / 4},
                                         {-1, 1, 3 * pi / 4},
                                         {-1, -1, -3 * pi / 4}}) {
    EXPECT_FLOAT_EQ(NMath::tangent(1, 2, 1 + l.x2, 2 + l.y2), l.expected) << l.x2 << "," << l.y2;
  }
}

TEST(NMathSolve, TriangularSolvesReadOnlyTheirTriangle) {
  std::mt19937 rng(3);
  const int n = 6;
  CMatrix<float> L = randomMatrix(n, n, rng, -0.5f, 0.5f);
  for (int i = 0; i < n; ++i) {
    rc(L, i, i) = 1.5f + 0.1f * i;
    for (int j = i + 1; j < n; ++j)
      rc(L, i, j) = std::numeric_limits<float>::quiet_NaN();  // must never be read
  }
  const CMatrix<float> X0 = randomMatrix(3, n, rng);  // three right-hand sides as rows
  CMatrix<float> B(n, 3), Bt(n, 3), X(n, 3), Xt(n, 3);
  for (int r = 0; r < 3; ++r) {
    CVector<float> x0(n), b(n), bt(n), x(n), xt(n);
    for (int i = 0; i < n; ++i) {
      x0(i) = rc(X0, r, i);
      double s = 0, st = 0;
      for (int j = 0; j <= i; ++j)
        s += double(rc(L, i, j)) * rc(X0, r, j);
      for (int j = i; j < n; ++j)
        st += double(rc(L, j, i)) * rc(X0, r, j);
      b(i) = rc(B, r, i) = float(s);
      bt(i) = rc(Bt, r, i) = float(st);
    }
    NMath::triangularSolve(L, b, x);
    NMath::triangularSolveTransposed(L, bt, xt);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(x(i), x0(i), 1e-5f) << r << " " << i;
      EXPECT_NEAR(xt(i), x0(i), 1e-5f) << r << " " << i;
    }
  }
  NMath::triangularSolve(L, B, X);
  NMath::triangularSolveTransposed(L, Bt, Xt);
  for (int i = 0; i < X0.size(); ++i) {
    EXPECT_NEAR(X.data()[i], X0.data()[i], 1e-5f) << i;
    EXPECT_NEAR(Xt.data()[i], X0.data()[i], 1e-5f) << i;
  }
}

TEST(NMathFactor, CholeskyAndItsInverse) {
  std::mt19937 rng(5);
  for (int n : {1, 2, 5, 9}) {
    const CMatrix<float> A = randomSpd(n, rng);
    CMatrix<float> F(A);
    ASSERT_TRUE(NMath::cholesky(F)) << n;
    CMatrix<float> L(n, n, 0.0f);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j <= i; ++j)
        rc(L, i, j) = rc(F, i, j);
      for (int j = i + 1; j < n; ++j)
        EXPECT_EQ(rc(F, i, j), rc(A, i, j)) << "upper triangle keeps the input";
    }
    const CMatrix<double> llt = product(L, false, L, true);
    for (int i = 0; i < A.size(); ++i)
      EXPECT_NEAR(llt.data()[i], A.data()[i], 2e-5 * n) << "L L^T " << i;
    CMatrix<float> inverse(n, n, 7.0f);
    NMath::choleskyInv(F, inverse);  // reads only the lower triangle of F
    expectIdentity(product(A, false, inverse, false), 1e-5, "A Ainv");
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j)
        EXPECT_EQ(rc(inverse, i, j), rc(inverse, j, i));
    }
  }
  // A pivot of 0 ends at once: the diagonal keeps the input (4, not its root 2).
  CMatrix<float> singular(2, 2);
  rc(singular, 0, 0) = 4, rc(singular, 0, 1) = 2, rc(singular, 1, 0) = 2, rc(singular, 1, 1) = 1;
  EXPECT_FALSE(NMath::cholesky(singular));
  EXPECT_EQ(rc(singular, 0, 0), 4.0f);
  EXPECT_EQ(rc(singular, 1, 0), 1.0f);
}

TEST(NMathFactor, JacobiEigenDecomposition) {
  std::mt19937 rng(7);
  for (int n : {2, 4, 7}) {
    CMatrix<float> A = randomMatrix(n, n, rng, -2, 2);
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < i; ++j)
        rc(A, i, j) = rc(A, j, i);
    }
    const CMatrix<float> before(A);
    CVector<float> lambda(n);
    CMatrix<float> Q(n, n);
    NMath::PATransformation(A, lambda, Q, true);
    EXPECT_EQ(std::vector<float>(A.data(), A.data() + A.size()),
              std::vector<float>(before.data(), before.data() + before.size()));
    expectIdentity(product(Q, false, Q, true), 1e-5, "Q Q^T");
    for (int k = 0; k < n; ++k) {
      if (k > 0) {
        EXPECT_GE(std::fabs(lambda(k - 1)), std::fabs(lambda(k)));
      }
      for (int i = 0; i < n; ++i) {  // (A q_k)(i) = lambda_k q_k(i)
        double s = 0;
        for (int j = 0; j < n; ++j)
          s += double(rc(A, i, j)) * rc(Q, k, j);
        EXPECT_NEAR(s, lambda(k) * rc(Q, k, i), 2e-5) << n << " " << k << " " << i;
      }
    }
    CMatrix<float> rebuilt(n, n);
    NMath::PABacktransformation(Q, lambda, rebuilt);
    for (int i = 0; i < A.size(); ++i)
      EXPECT_NEAR(rebuilt.data()[i], A.data()[i], 2e-5) << i;
  }
  // A diagonal matrix needs no rotation: Q stays the identity, or the sorting permutation.
  CMatrix<float> D(3, 3, 0.0f);
  rc(D, 0, 0) = 1, rc(D, 1, 1) = -5, rc(D, 2, 2) = 3;
  CVector<float> lambda(3);
  CMatrix<float> Q(3, 3);
  NMath::PATransformation(D, lambda, Q, false);
  EXPECT_EQ(std::vector<float>(lambda.data(), lambda.data() + 3), (std::vector<float>{1, -5, 3}));
  EXPECT_EQ(std::vector<float>(Q.data(), Q.data() + 9),
            (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  NMath::PATransformation(D, lambda, Q, true);
  EXPECT_EQ(std::vector<float>(lambda.data(), lambda.data() + 3), (std::vector<float>{-5, 3, 1}));
  EXPECT_EQ(std::vector<float>(Q.data(), Q.data() + 9),
            (std::vector<float>{0, 1, 0, 0, 0, 1, 1, 0, 0}));
}

TEST(NMathFactor, RegularisedInverse) {
  std::mt19937 rng(9);
  const CMatrix<float> A = randomSpd(5, rng);  // eigenvalues >= 5 > a: the plain inverse
  CMatrix<float> inverse(A);
  NMath::invRegularized(inverse, 1);
  expectIdentity(product(A, false, inverse, false), 1e-5, "A Ainv");
  // Eigenvalues 4 and 0.5 of a rotated diagonal matrix; a = 1 replaces 0.5 by 1.
  const float c = std::cos(0.3f), s = std::sin(0.3f);
  CMatrix<float> R(2, 2), E(2, 2, 0.0f), Expected(2, 2, 0.0f);
  rc(R, 0, 0) = c, rc(R, 0, 1) = -s, rc(R, 1, 0) = s, rc(R, 1, 1) = c;
  rc(E, 0, 0) = 4, rc(E, 1, 1) = 0.5f;
  rc(Expected, 0, 0) = 0.25f, rc(Expected, 1, 1) = 1;
  CMatrix<float> M = R * E * trans(R);
  NMath::invRegularized(M, 1);
  const CMatrix<float> want = R * Expected * trans(R);
  for (int i = 0; i < 4; ++i)
    EXPECT_NEAR(M.data()[i], want.data()[i], 1e-6f) << i;
}

TEST(NMathFactor, HouseholderLeastSquares) {
  std::mt19937 rng(13);
  const int m = 8, n = 4;
  const CMatrix<float> A = randomMatrix(m, n, rng);
  CVector<float> b(m);
  for (int i = 0; i < m; ++i)
    b(i) = std::uniform_real_distribution<float>(-1, 1)(rng);
  CMatrix<float> R(A);
  CVector<float> c(b);
  const CVector<float> x = NMath::leastSquares(R, c);
  ASSERT_EQ(x.size(), n);
  // The residual of the minimiser is orthogonal to every column: A^T (A x - b) = 0.
  for (int j = 0; j < n; ++j) {
    double dot = 0;
    for (int i = 0; i < m; ++i) {
      double r = -b(i);
      for (int k = 0; k < n; ++k)
        r += double(rc(A, i, k)) * x(k);
      dot += rc(A, i, j) * r;
    }
    EXPECT_NEAR(dot, 0.0, 1e-5) << j;
  }
  // R^T R = A^T A, for R the upper triangle left in A.
  CMatrix<float> upper(n, n, 0.0f);
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j)
      rc(upper, i, j) = rc(R, i, j);
  }
  const CMatrix<double> rtr = product(upper, true, upper, false), ata = product(A, true, A, false);
  for (int i = 0; i < ata.size(); ++i)
    EXPECT_NEAR(rtr.data()[i], ata.data()[i], 1e-4) << i;

  // A zero column stops the reduction with the message.
  CMatrix<float> Z(2, 3, 0.0f);
  rc(Z, 0, 0) = 3, rc(Z, 1, 0) = 4;
  CVector<float> z(3, 1.0f);
  CaptureCerr capture;
  EXPECT_FALSE(NMath::householder(Z, z));
  EXPECT_EQ(capture.text(), "NMath::householder(): matrix is singular!\n");
  EXPECT_EQ(rc(Z, 0, 0), -5.0f);  // R(0, 0) = -sign(3) * 5
}

// U0 diag(s) V0^T with U0, V0 products of plane rotations: singular values known exactly.
CMatrix<float> withSingularValues(int m, int n, const std::vector<double>& s, std::mt19937& rng) {
  auto orthogonal = [&rng](int k) {
    std::vector<std::vector<double>> q(k, std::vector<double>(k, 0.0));
    for (int i = 0; i < k; ++i)
      q[i][i] = 1;
    std::uniform_real_distribution<double> angle(0, 6.28);
    for (int p = 0; p < k; ++p) {
      for (int r = p + 1; r < k; ++r) {
        const double phi = angle(rng), cs = std::cos(phi), ss = std::sin(phi);
        for (int i = 0; i < k; ++i) {
          const double a = q[i][p], b = q[i][r];
          q[i][p] = cs * a - ss * b;
          q[i][r] = ss * a + cs * b;
        }
      }
    }
    return q;
  };
  const auto u = orthogonal(m), v = orthogonal(n);
  CMatrix<float> a(n, m);
  for (int i = 0; i < m; ++i) {
    for (int j = 0; j < n; ++j) {
      double sum = 0;
      for (size_t k = 0; k < s.size(); ++k)
        sum += u[i][k] * s[k] * v[j][k];
      rc(a, i, j) = float(sum);
    }
  }
  return a;
}

TEST(NMathFactor, SingularValueDecomposition) {
  std::mt19937 rng(17);
  struct Case {
    int m, n;
    std::vector<double> s;  // the min(m, n) non-zero singular values, any order
  };
  for (const Case& c : std::vector<Case>{{3, 3, {3, 2, 1}},
                                         {6, 4, {0.5, 4, 2, 1}},
                                         {5, 5, {1, 1, 2, 0.001, 3}},
                                         {4, 2, {7, 0}},
                                         {3, 5, {2, 5, 1}}}) {
    const CMatrix<float> A = withSingularValues(c.m, c.n, c.s, rng);
    CMatrix<float> U(A), S(c.n, c.n, 9.0f), V(c.n, c.n);
    {
      CaptureCerr quiet;
      NMath::svd(U, S, V, true, 30);
      EXPECT_EQ(quiet.text(), "");
    }
    std::vector<double> want(c.s);
    want.resize(c.n, 0.0);
    std::sort(want.begin(), want.end(), std::greater<double>());
    for (int i = 0; i < c.n; ++i) {
      for (int j = 0; j < c.n; ++j)
        EXPECT_NEAR(rc(S, i, j), i == j ? want[i] : 0.0, 1e-5 * want[0]) << c.m << "x" << c.n;
    }
    expectIdentity(product(V, true, V, false), 1e-5, "V^T V");
    if (c.m >= c.n) expectIdentity(product(U, true, U, false), 1e-5, "U^T U");
    NMath::svdBack(U, S, V);
    for (int i = 0; i < A.size(); ++i)
      EXPECT_NEAR(U.data()[i], A.data()[i], 1e-5 * want[0]) << c.m << "x" << c.n << " " << i;
  }
  // One sweep is not enough for a full matrix: the message, and the sweep is still made.
  CMatrix<float> A = randomMatrix(4, 4, rng), S(4, 4), V(4, 4);
  CaptureCerr capture;
  NMath::svd(A, S, V, false, 1);
  EXPECT_NE(capture.text().find("svd: No convergence in 1 iterations\n"), std::string::npos);
}

TEST(NMathGeometry, EulerAnglesAndTwists) {
  // Single-axis rotations by a quarter turn, and the composition order Rz Ry Rx.
  const float q = 1.5707964f;
  struct Case {
    float a, b, g;
    int axis, image;  // unit vector e_axis is taken to +-e_|image|-1
  };
  for (const Case& c : std::vector<Case>{
           {q, 0, 0, 1, 3}, {0, q, 0, 2, 1}, {0, 0, q, 0, 2}, {q, 0, q, 1, 3}, {0, q, q, 0, -3}}) {
    CMatrix<float> M(2, 2);
    NMath::eulerAngles(c.a, c.b, c.g, M);
    ASSERT_EQ(M.xSize(), 4);
    ASSERT_EQ(M.ySize(), 4);
    for (int i = 0; i < 4; ++i) {
      const float want = i == std::abs(c.image) - 1 ? (c.image > 0 ? 1.0f : -1.0f) : 0.0f;
      EXPECT_NEAR(rc(M, i, c.axis), want, 1e-6f) << c.a << c.b << c.g << " row " << i;
      EXPECT_NEAR(rc(M, i, 3), i == 3 ? 1.0f : 0.0f, 0.0f);
    }
  }

  // RBM2Twist inverts the exponential map (theta v, theta omega) -> [R t; 0 1].
  struct Twist {
    double v[3], w[3];
  };
  for (const Twist& tw : std::vector<Twist>{{{0.5, -1, 2}, {0, 0, 0.7}},
                                            {{0.2, 0.1, -0.3}, {0.3, -0.4, 1.2}},
                                            {{1, 0, 0}, {2.0, 1.0, -1.5}}}) {
    const double theta = std::sqrt(tw.w[0] * tw.w[0] + tw.w[1] * tw.w[1] + tw.w[2] * tw.w[2]);
    double R[3][3], t[3], w[3], v[3];
    for (int i = 0; i < 3; ++i)
      w[i] = tw.w[i] / theta, v[i] = tw.v[i] / theta;
    const double h[3][3] = {{0, -w[2], w[1]}, {w[2], 0, -w[0]}, {-w[1], w[0], 0}};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        double h2 = 0;
        for (int k = 0; k < 3; ++k)
          h2 += h[i][k] * h[k][j];
        R[i][j] = (i == j) + std::sin(theta) * h[i][j] + (1 - std::cos(theta)) * h2;
      }
    }
    // t = (I - R) (w x v) + w w^T v theta
    const double wxv[3] = {w[1] * v[2] - w[2] * v[1], w[2] * v[0] - w[0] * v[2],
                           w[0] * v[1] - w[1] * v[0]};
    const double wv = w[0] * v[0] + w[1] * v[1] + w[2] * v[2];
    for (int i = 0; i < 3; ++i) {
      t[i] = w[i] * wv * theta;
      for (int j = 0; j < 3; ++j)
        t[i] += ((i == j) - R[i][j]) * wxv[j];
    }
    CMatrix<float> M(4, 4, 0.0f);
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j)
        rc(M, i, j) = float(R[i][j]);
      rc(M, i, 3) = float(t[i]);
    }
    rc(M, 3, 3) = 1;
    CVector<float> twist(2);
    NMath::RBM2Twist(twist, M);
    ASSERT_EQ(twist.size(), 6);
    for (int i = 0; i < 3; ++i) {
      EXPECT_NEAR(twist(i), tw.v[i], 2e-5) << theta << " v" << i;
      EXPECT_NEAR(twist(i + 3), tw.w[i], 2e-5) << theta << " w" << i;
    }
  }
}

TEST(NMathGeometry, TranslationsAndNearIdentityRotationsGiveTheTranslation) {
  // No turn, and a turn of 1e-4 about z (sum of (R - I)^2 = 2e-8 < 1e-7): only t is kept.
  for (float angle : {0.0f, 1e-4f}) {
    CMatrix<float> M(4, 4, 0.0f);
    const float c = std::cos(angle), s = std::sin(angle);
    rc(M, 0, 0) = c, rc(M, 0, 1) = -s, rc(M, 1, 0) = s, rc(M, 1, 1) = c, rc(M, 2, 2) = 1;
    rc(M, 0, 3) = 1, rc(M, 1, 3) = 2, rc(M, 2, 3) = 3, rc(M, 3, 3) = 1;
    CVector<float> twist;
    NMath::RBM2Twist(twist, M);
    EXPECT_EQ(std::vector<float>(twist.data(), twist.data() + twist.size()),
              (std::vector<float>{1, 2, 3, 0, 0, 0}))
        << angle;
  }
}

TEST(NMathFactor, NonFiniteInputEnds) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // Jacobi: the off-diagonal sum is not a number, so no sweep is made.
  CMatrix<float> A(3, 3, 0.0f), Q(3, 3);
  rc(A, 0, 0) = 1, rc(A, 1, 1) = 2, rc(A, 2, 2) = 3, rc(A, 0, 1) = rc(A, 1, 0) = nan;
  CVector<float> lambda(3);
  NMath::PATransformation(A, lambda, Q, false);
  EXPECT_EQ(std::vector<float>(lambda.data(), lambda.data() + 3), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(std::vector<float>(Q.data(), Q.data() + 9),
            (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  // SVD: a NaN is never negligible, so no value converges and the sweeps end with the
  // message.
  CMatrix<float> S(3, 3), V(3, 3);
  CaptureCerr capture;
  NMath::svd(A, S, V, true, 5);
  EXPECT_NE(capture.text().find("svd: No convergence in 5 iterations\n"), std::string::npos);
}

TEST(NMathSizes, NonSquareAndTooSmallOperandsAreRefused) {
  CMatrix<float> wide(2, 3, 1.0f), square(3, 3, 1.0f), small(2, 2, 1.0f), tall(2, 3, 1.0f);
  CVector<float> v3(3, 1.0f), v2(2, 1.0f);
  const std::string nonSquare = "Exception ENonquadarticMatrix: M = 2x3\n";
  EXPECT_EQ(thrownLine<ENonquadraticMatrix>([&] { NMath::cholesky(wide); }), nonSquare);
  EXPECT_EQ(thrownLine<ENonquadraticMatrix>([&] { NMath::invRegularized(wide, 1); }), nonSquare);
  EXPECT_EQ(thrownLine<ENonquadraticMatrix>([&] { NMath::triangularSolve(wide, v3, v3); }),
            nonSquare);
  struct Case {
    std::function<void()> call;
    std::string line;
  };
  const std::string head = "Exception EIncompatibleMatrices: M1 = ";
  for (const Case& c : std::vector<Case>{
           {[&] { NMath::triangularSolve(square, v3, v2); }, "3x3  M2 = 1x2"},
           {[&] { NMath::triangularSolveTransposed(square, v2, v3); }, "3x3  M2 = 1x2"},
           {[&] { NMath::triangularSolve(square, small, small); }, "3x3  M2 = 2x2"},
           {[&] { NMath::triangularSolveTransposed(square, tall, small); }, "3x3  M2 = 2x3"},
           {[&] { NMath::choleskyInv(square, small); }, "3x3  M2 = 2x2"},
           {[&] { NMath::PATransformation(small, v3, square); }, "2x2  M2 = 1x3"},
           {[&] { NMath::PATransformation(square, v3, small); }, "2x2  M2 = 1x3"},
           {[&] { NMath::PABacktransformation(square, v3, small); }, "3x3  M2 = 2x2"},
           {[&] { NMath::householder(tall, v2); }, "2x3  M2 = 1x2"},
           {[&] {
              CMatrix<float> w3x2(3, 2, 1.0f);
              NMath::leastSquares(w3x2, v3);
            },
            "3x2  M2 = 1x3"},
           {[&] { NMath::svd(square, small, square); }, "3x3  M2 = 2x2"},
           {[&] { NMath::svd(square, square, small); }, "3x3  M2 = 2x2"},
           {[&] { NMath::svdBack(square, small, square); }, "3x3  M2 = 2x2"},
           {[&] { NMath::svdBack(square, square, small); }, "3x3  M2 = 2x2"},
           {[&] { NMath::RBM2Twist(v3, square); }, "3x3  M2 = 4x4"}}) {
    EXPECT_EQ(thrownLine<EIncompatibleMatrices>(c.call), head + c.line + "\n") << c.line;
  }
}

}  // namespace
