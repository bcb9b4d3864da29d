// NMath: small dense linear algebra and rigid-body geometry in single precision on the flow's
// containers, with the double-precision matrix algebra the twist conversion needs.
//
// Matrices are read as rows = y and columns = x: "A(i, j)" in the comments below is row i,
// column j, that is element (x = j, y = i) of a CMatrix.
//
// Size faults raise the empty structs ENonquadraticMatrix and EIncompatibleMatrices after one
// diagnostic line on std::cerr. Besides the documented checks, every routine refuses, in the
// same way, containers too small for the indices it reads or writes (the operands named in the
// line are the two whose sizes disagree; a vector shows as 1 x its size).
#ifndef MOTIONSEG_FLOW_NUMERICS_NMATH_H
#define MOTIONSEG_FLOW_NUMERICS_NMATH_H

#include "flow/containers/CMatrix.h"
#include "flow/containers/CVector.h"

namespace NMath {

/// The single-precision constant nearest pi.
constexpr float Pi = 3.1415927f;
/// 2 pi and pi / 2 as the single-precision constants the angle routines use.
constexpr float TwoPi = 6.2831855f;
constexpr float HalfPi = 1.5707964f;

// ---- Scalar and angle routines --------------------------------------------------------------

/// n! for n >= 2, 1 for n < 2. Values beyond the 32-bit range (n > 12) saturate at INT_MAX.
int faculty(int n);

/// Binomial coefficient n over k; for k > n / 2 (integer halving) it is computed as n over
/// n - k, so any k <= 0 (and k > n) gives 1. Exact whenever the result fits in 32 bits;
/// larger results saturate at INT_MAX.
int binCoeff(int n, int k);

/// |a - b| folded into [0, pi] (one fold of 2 pi).
float absAngleDifference(float a, float b);

/// a - b folded once into [-pi, pi].
float angleDifference(float a, float b);

/// a + b folded once into [-pi, pi].
float angleSum(float a, float b);

/// Nearest integer, halves rounded up: round(2.5) = 3, round(-2.5) = -2. Values outside the
/// 32-bit range saturate; NaN gives 0.
int round(float x);

/// Direction angle of the line from (x1, y1) to (x2, y2), in [-pi, pi]; a horizontal line
/// to the left (dy = 0, dx < 0) gives -pi.
float tangent(float x1, float y1, float x2, float y2);

// ---- Triangular solves ----------------------------------------------------------------------

/// Forward substitution: x with L x = b, reading only the lower triangle of the square L.
void triangularSolve(const CMatrix<float>& L, const CVector<float>& b, CVector<float>& x);

/// Backward substitution: x with L^T x = b, reading only the lower triangle of L.
void triangularSolveTransposed(const CMatrix<float>& L, const CVector<float>& b, CVector<float>& x);

/// Forward substitution for every row of B (its first n elements the right-hand side) into
/// the same row of X, that is X L^T = B.
void triangularSolve(const CMatrix<float>& L, const CMatrix<float>& B, CMatrix<float>& X);

/// Backward substitution for every row of B into the same row of X, that is X L = B.
void triangularSolveTransposed(const CMatrix<float>& L, const CMatrix<float>& B, CMatrix<float>& X);

// ---- Factorisations and decompositions ------------------------------------------------------

/// Cholesky factor of a symmetric positive definite A in place: afterwards the lower triangle
/// with the diagonal holds L with A = L L^T, the strict upper triangle keeps the input.
/// Returns false, leaving A partly overwritten, when a pivot is not positive.
/// Throws ENonquadraticMatrix for a non-square A.
bool cholesky(CMatrix<float>& A);

/// Ainv = (L L^T)^-1 from the Cholesky factor L. Ainv must have L's sizes.
void choleskyInv(const CMatrix<float>& L, CMatrix<float>& Ainv);

/// Eigen-decomposition of the symmetric n-by-n A (n = lambda.size()) by cyclic Jacobi
/// rotations on a copy of A: lambda(k) is the k-th eigenvalue and row k of Q its unit
/// eigenvector. With sort set, the eigenvalues come in decreasing absolute value.
void PATransformation(const CMatrix<float>& A, CVector<float>& lambda, CMatrix<float>& Q,
                      bool sort = true);

/// A(i, j) = sum over k of lambda(k) Q(k, i) Q(k, j): the inverse of PATransformation.
void PABacktransformation(const CMatrix<float>& Q, const CVector<float>& lambda, CMatrix<float>& A);

/// Regularised inverse of the symmetric A in place: each eigenvalue lambda becomes
/// 1 / a where a > lambda, else 1 / lambda. Throws ENonquadraticMatrix for a non-square A.
void invRegularized(CMatrix<float>& A, int a);

/// Householder QR of the m-by-n A (m = ySize >= n = xSize), applied to b in the same pass.
/// Afterwards the upper triangle of A holds R, the part below it the reflection vectors.
/// A column that is zero from the diagonal down ends the reduction with a message on
/// std::cerr; the diagonal then holds R only for the columns before it. Returns false then.
bool householder(CMatrix<float>& A, CVector<float>& b);

/// x minimising |A x - b| by householder and back substitution; A and b are overwritten.
CVector<float> leastSquares(CMatrix<float>& A, CVector<float>& b);

/// Singular value decomposition A = U S V^T (Golub-Reinsch): A becomes U, S (n-by-n) gets the
/// singular values on its diagonal and zeros elsewhere, V (n-by-n) the right singular
/// vectors as columns. With sort set, singular values come in decreasing order. At most
/// maxIter QR sweeps are made per singular value.
void svd(CMatrix<float>& A, CMatrix<float>& S, CMatrix<float>& V, bool sort = true,
         int maxIter = 30);

/// U := U S V^T for the factors of svd.
void svdBack(CMatrix<float>& U, const CMatrix<float>& S, const CMatrix<float>& V);

// ---- Rigid-body geometry ------------------------------------------------------------------

/// M := Rz(gamma) Ry(beta) Rx(alpha) as a 4-by-4 homogeneous matrix (M is resized).
void eulerAngles(float alpha, float beta, float gamma, CMatrix<float>& M);

/// Twist coordinates (theta v, theta omega) of the 4-by-4 rigid-body motion M = [R t; 0 1];
/// twist is resized to 6.
void RBM2Twist(CVector<float>& twist, const CMatrix<float>& M);

}  // namespace NMath

#endif  // MOTIONSEG_FLOW_NUMERICS_NMATH_H
