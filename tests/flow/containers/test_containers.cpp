// The flow's containers: layout, deep copies, fresh allocation, the tensor operators, the
// channel copy, the matrix algebra and the size-mismatch diagnostics.
#include "flow/containers/CMatrix.h"
#include "flow/containers/CTensor.h"
#include "flow/containers/CVector.h"
#include "tests/flow/capture_cerr.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Elements constructed by array new carry a marker, so a test can tell a freshly allocated
// array from one that kept earlier contents, whatever address the allocator hands back.
struct Marked {
  int v = -7;
};

template <typename T>
std::vector<T> elements(const T* data, int n) {
  return std::vector<T>(data, data + n);
}

TEST(Containers, ElementOrderIsXFastestAndChannelsArePlanes) {
  CTensor<float> t(4, 3, 2);
  CMatrix<float> m(4, 3);
  CVector<float> v(5);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = static_cast<float>(i);
  for (int i = 0; i < m.size(); ++i)
    m.data()[i] = static_cast<float>(i);
  for (int i = 0; i < v.size(); ++i)
    v.data()[i] = static_cast<float>(i);
  struct Case {
    int x, y, z, index;
  };
  for (const Case& c : std::vector<Case>{{0, 0, 0, 0},
                                         {3, 0, 0, 3},
                                         {0, 1, 0, 4},
                                         {1, 2, 0, 9},
                                         {0, 0, 1, 12},
                                         {2, 1, 1, 18},
                                         {3, 2, 1, 23}}) {
    EXPECT_EQ(t(c.x, c.y, c.z), c.index) << c.x << "," << c.y << "," << c.z;
    if (c.z == 0) {
      EXPECT_EQ(m(c.x, c.y), c.index) << c.x << "," << c.y;
    }
  }
  EXPECT_EQ(v(3), 3.0f);
  EXPECT_EQ(t.size(), 24);
  EXPECT_EQ(m.size(), 12);
}

TEST(Containers, FillAndFillConstructorsSetEveryElement) {
  CTensor<float> t(3, 2, 4, 2.5f);
  CMatrix<float> m(5, 3, -1.0f);
  CVector<double> v(7, 4.0);
  CMatrix<bool> mask(3, 3, true);
  EXPECT_EQ(elements(t.data(), t.size()), std::vector<float>(24, 2.5f));
  EXPECT_EQ(elements(m.data(), m.size()), std::vector<float>(15, -1.0f));
  EXPECT_EQ(elements(v.data(), v.size()), std::vector<double>(7, 4.0));
  mask.fill(false);
  for (int i = 0; i < mask.size(); ++i)
    EXPECT_FALSE(mask.data()[i]);
  t.fill(0.0f);
  EXPECT_EQ(elements(t.data(), t.size()), std::vector<float>(24, 0.0f));
}

TEST(Containers, CopiesAreDeepAndIndependent) {
  CTensor<float> t(2, 2, 2);
  for (int i = 0; i < 8; ++i)
    t.data()[i] = static_cast<float>(i);
  CTensor<float> tc(t);
  CTensor<float> ta;
  ta = t;
  CMatrix<float> m(3, 1);
  for (int i = 0; i < 3; ++i)
    m.data()[i] = static_cast<float>(10 + i);
  CMatrix<float> mc(m);
  CMatrix<float> ma(1, 1, 0.0f);
  ma = m;
  CVector<float> v(2, 1.0f);
  CVector<float> vc(v);

  t.fill(-1.0f);
  m.fill(-1.0f);
  v.fill(-1.0f);
  EXPECT_EQ(elements(tc.data(), 8), (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(elements(ta.data(), 8), (std::vector<float>{0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(ta.xSize() * 100 + ta.ySize() * 10 + ta.zSize(), 222);
  EXPECT_EQ(elements(mc.data(), 3), (std::vector<float>{10, 11, 12}));
  EXPECT_EQ(elements(ma.data(), 3), (std::vector<float>{10, 11, 12}));
  EXPECT_EQ(ma.xSize(), 3);
  EXPECT_EQ(ma.ySize(), 1);
  EXPECT_EQ(elements(vc.data(), 2), (std::vector<float>{1, 1}));

  // Self-assignment keeps the contents.
  CTensor<float>& self = tc;
  tc = self;
  EXPECT_EQ(tc(1, 1, 1), 7.0f);
}

TEST(Containers, EmptySourcesGiveContainersWithoutArray) {
  CTensor<float> filled(3, 2, 2, 1.0f);
  filled = CTensor<float>();
  EXPECT_EQ(filled.xSize(), 0);
  EXPECT_EQ(filled.ySize(), 0);
  EXPECT_EQ(filled.zSize(), 0);
  EXPECT_EQ(filled.data(), nullptr);

  const CMatrix<float> empty;
  const CMatrix<float> copy(empty);
  EXPECT_EQ(copy.data(), nullptr);
  EXPECT_EQ(copy.xSize(), 0);
  CMatrix<float> target(2, 2, 1.0f);
  target = empty;
  EXPECT_EQ(target.data(), nullptr);
  EXPECT_EQ(target.size(), 0);
}

TEST(Containers, SetSizeAlwaysAllocatesAFreshArray) {
  CVector<Marked> v(3);
  CMatrix<Marked> m(2, 2);
  CTensor<Marked> t(2, 1, 2);
  v.fill(Marked{1});
  m.fill(Marked{1});
  t.fill(Marked{1});
  v.setSize(3);
  m.setSize(2, 2);
  t.setSize(2, 1, 2);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(v.data()[i].v, -7);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(m.data()[i].v, -7);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(t.data()[i].v, -7);

  t.setSize(5, 4, 3);
  EXPECT_EQ(t.xSize() * 100 + t.ySize() * 10 + t.zSize(), 543);
  EXPECT_EQ(t.size(), 60);
  m.setSize(7, 1);
  EXPECT_EQ(m.size(), 7);
}

TEST(Containers, SizesOutsideThe32BitRangeAreRefusedBeforeAllocation) {
  const std::vector<std::function<void()>> calls = {
      [] { CTensor<float> t(65536, 65536, 1); },
      [] { CTensor<float> t(2, 1 << 15, 1 << 15); },
      [] { CMatrix<float> m(-1, 4); },
      [] { CVector<float> v(-3); },
      [] {
        CMatrix<float> m;
        m.setSize(1 << 16, 1 << 15);
      },
      [] {
        CTensor<float> t;
        t.setSize(3, -2, 1);
      },
  };
  for (std::size_t i = 0; i < calls.size(); ++i) {
    EXPECT_THROW(calls[i](), std::length_error) << "case " << i;
  }
  CMatrix<float> m(2, 2, 1.0f);
  EXPECT_THROW(m.setSize(-1, 2), std::length_error);
  EXPECT_EQ(m.size(), 4);  // a refused resize leaves the matrix as it was
}

TEST(Containers, TensorSumAndScaling) {
  CTensor<float> a(3, 2, 2), b(3, 2, 2);
  for (int i = 0; i < 12; ++i) {
    a.data()[i] = 0.5f * static_cast<float>(i);
    b.data()[i] = static_cast<float>(100 - i);
  }
  a += b;
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(a.data()[i], 100.0f - 0.5f * static_cast<float>(i));
  // Sizes are not compared: only the element count has to suffice.
  CTensor<float> flat(12, 1, 1, 1.0f), shortOne(11, 1, 1, 1.0f);
  CTensor<float> c(a);
  c += flat;
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(c.data()[i], a.data()[i] + 1.0f);
  EXPECT_THROW(c += shortOne, std::invalid_argument);
  a *= 0.25f;
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(a.data()[i], 0.25f * (100.0f - 0.5f * i));
  CVector<double> v(3, 2.0);
  v *= 1.5;
  EXPECT_EQ(elements(v.data(), 3), (std::vector<double>{3, 3, 3}));
}

TEST(Containers, GetMatrixCopiesOneChannel) {
  CTensor<float> t(4, 2, 3);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = static_cast<float>(i);
  CMatrix<float> m(4, 2);
  for (int z = 0; z < 3; ++z) {
    CaptureCerr err;
    t.getMatrix(m, z);
    std::vector<float> expected;
    for (int i = 8 * z; i < 8 * z + 8; ++i)
      expected.push_back(static_cast<float>(i));
    EXPECT_EQ(elements(m.data(), 8), expected) << "channel " << z;
    EXPECT_EQ(err.text(), "");
  }
}

TEST(Containers, GetMatrixWithAnotherPlaneSizePrintsAndThrows) {
  struct Case {
    int mx, my, tx, ty;
    std::string line;
  };
  const std::vector<Case> cases = {
      {4, 3, 4, 2, "Exception ETensorIncompatibleSize: x = 4:4, y = 3:2\n"},
      {10, 20, 12, 20, "Exception ETensorIncompatibleSize: x = 10:12, y = 20:20\n"},
      {3, 3, 2, 5, "Exception ETensorIncompatibleSize: x = 3:2, y = 3:5\n"},
  };
  for (const Case& c : cases) {
    CTensor<float> t(c.tx, c.ty, 1, 1.0f);
    CMatrix<float> m(c.mx, c.my, 0.0f);
    CaptureCerr err;
    EXPECT_THROW(t.getMatrix(m, 0), ETensorIncompatibleSize);
    EXPECT_EQ(err.text(), c.line);
    EXPECT_EQ(elements(m.data(), m.size()), std::vector<float>(m.size(), 0.0f));
  }
}

// Integer-valued entries keep every product and sum exact, so a plain double loop is an
// independent oracle of the single-precision product.
CMatrix<float> integerMatrix(int xSize, int ySize, std::mt19937& rng) {
  std::uniform_int_distribution<int> d(-9, 9);
  CMatrix<float> m(xSize, ySize);
  for (int i = 0; i < m.size(); ++i)
    m.data()[i] = static_cast<float>(d(rng));
  return m;
}

TEST(Containers, MatrixProductMatchesRowTimesColumn) {
  std::mt19937 rng(5);
  struct Case {
    int ax, ay, bx;
  };
  for (const Case& c : std::vector<Case>{{3, 2, 4}, {1, 1, 1}, {5, 3, 2}, {4, 4, 4}, {2, 6, 1}}) {
    const CMatrix<float> a = integerMatrix(c.ax, c.ay, rng);
    const CMatrix<float> b = integerMatrix(c.bx, c.ax, rng);
    CMatrix<float> inPlace(a);
    inPlace *= b;
    const CMatrix<float> product = a * b;
    ASSERT_EQ(inPlace.xSize(), c.bx);
    ASSERT_EQ(inPlace.ySize(), c.ay);
    ASSERT_EQ(product.xSize(), c.bx);
    ASSERT_EQ(product.ySize(), c.ay);
    for (int row = 0; row < c.ay; ++row) {
      for (int col = 0; col < c.bx; ++col) {
        double sum = 0;
        for (int k = 0; k < c.ax; ++k)
          sum += double(a(k, row)) * double(b(col, k));
        EXPECT_EQ(inPlace(col, row), sum);
        EXPECT_EQ(product(col, row), sum);
      }
    }
  }
}

TEST(Containers, TransposeSwapsRowsAndColumns) {
  std::mt19937 rng(6);
  const CMatrix<float> a = integerMatrix(3, 5, rng);
  const CMatrix<float> t = trans(a);
  ASSERT_EQ(t.xSize(), 5);
  ASSERT_EQ(t.ySize(), 3);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(t(y, x), a(x, y));
  }
}

TEST(Containers, IncompatibleOperandsPrintBothSizesAndThrow) {
  struct Case {
    std::function<void()> call;
    std::string line;
  };
  const CMatrix<float> a32(3, 2, 1.0f), b43(4, 3, 1.0f);
  const CMatrix<double> d22(2, 2, 1.0), d23(2, 3, 1.0);
  const CVector<double> v3(3, 1.0);
  const std::vector<Case> cases = {
      {[&] {
         CMatrix<float> m(a32);
         m *= CMatrix<float>(3, 2, 1.0f);
       },
       "Exception EIncompatibleMatrices: M1 = 3x2  M2 = 3x2\n"},
      {[&] { CMatrix<float> m = a32 * a32; },
       "Exception EIncompatibleMatrices: M1 = 3x2  M2 = 3x2\n"},
      {[&] { CMatrix<float> m = b43 * a32; },
       "Exception EIncompatibleMatrices: M1 = 4x3  M2 = 3x2\n"},
      {[&] {
         CMatrix<double> m(d22);
         m += d23;
       },
       "Exception EIncompatibleMatrices: M1 = 2x2  M2 = 2x3\n"},
      {[&] {
         CMatrix<double> m(d23);
         m -= d22;
       },
       "Exception EIncompatibleMatrices: M1 = 2x3  M2 = 2x2\n"},
      {[&] { CMatrix<double> m = d22 + d23; },
       "Exception EIncompatibleMatrices: M1 = 2x2  M2 = 2x3\n"},
      {[&] { CVector<double> r = d22 * v3; },
       "Exception EIncompatibleMatrices: M1 = 2x2  M2 = 1x3\n"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CaptureCerr err;
    EXPECT_THROW(cases[i].call(), EIncompatibleMatrices) << "case " << i;
    EXPECT_EQ(err.text(), cases[i].line) << "case " << i;
  }
  // The one compatible in-place product of the pair leaves the documented shape.
  CMatrix<float> m(a32);
  m *= b43;
  EXPECT_EQ(m.xSize(), 4);
  EXPECT_EQ(m.ySize(), 2);
}

TEST(Containers, DoubleAlgebraAgainstElementwiseOracle) {
  CMatrix<double> a(3, 2), b(3, 2);
  CVector<double> v(3);
  for (int i = 0; i < 6; ++i) {
    a.data()[i] = 0.5 * i + 1;
    b.data()[i] = 3.0 - i;
  }
  for (int i = 0; i < 3; ++i)
    v(i) = i + 1.0;
  const CMatrix<double> sum = a + b;
  CMatrix<double> diff(a);
  diff -= b;
  const CMatrix<double> scaled = a * 2.0;
  const CVector<double> av = a * v;
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(sum.data()[i], a.data()[i] + b.data()[i]);
    EXPECT_EQ(diff.data()[i], a.data()[i] - b.data()[i]);
    EXPECT_EQ(scaled.data()[i], 2.0 * a.data()[i]);
  }
  ASSERT_EQ(av.size(), 2);
  // Rows of a: (1, 1.5, 2) and (2.5, 3, 3.5).
  EXPECT_EQ(av(0), 1 * 1 + 1.5 * 2 + 2 * 3);
  EXPECT_EQ(av(1), 2.5 * 1 + 3 * 2 + 3.5 * 3);
}

TEST(Containers, InverseTimesMatrixIsIdentity) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> d(-1.0, 1.0);
  std::vector<CMatrix<double>> inputs;
  for (int n : {1, 2, 3, 5, 8}) {
    CMatrix<double> a(n, n);
    for (int i = 0; i < a.size(); ++i)
      a.data()[i] = d(rng);
    for (int i = 0; i < n; ++i)
      a(i, i) += n;  // diagonally dominant: well conditioned
    inputs.push_back(a);
  }
  // Zero diagonal: only row exchanges make the inversion possible.
  CMatrix<double> swap(3, 3, 0.0);
  swap(1, 0) = 2;
  swap(2, 1) = -4;
  swap(0, 2) = 0.5;
  inputs.push_back(swap);
  CMatrix<double> rotated(3, 3);
  const double values[9] = {0, 2, 1, 3, 0, 4, 1, 5, 0.5};
  for (int i = 0; i < 9; ++i)
    rotated.data()[i] = values[i];
  inputs.push_back(rotated);

  for (const CMatrix<double>& a : inputs) {
    CMatrix<double> inverse(a);
    ASSERT_TRUE(inverse.inv());
    for (const CMatrix<double>& p : {a * inverse, inverse * a}) {
      for (int y = 0; y < a.ySize(); ++y) {
        for (int x = 0; x < a.xSize(); ++x) {
          EXPECT_NEAR(p(x, y), x == y ? 1.0 : 0.0, 1e-12) << "n=" << a.xSize();
        }
      }
    }
  }
}

TEST(Containers, InverseOfSingularOrNonSquareMatrix) {
  CMatrix<double> singular(2, 2);
  singular(0, 0) = 1;
  singular(1, 0) = 2;
  singular(0, 1) = 2;
  singular(1, 1) = 4;
  EXPECT_FALSE(singular.inv());

  CMatrix<double> wide(2, 3, 1.0);
  CaptureCerr err;
  EXPECT_THROW(wide.inv(), ENonquadraticMatrix);
  EXPECT_EQ(err.text(), "Exception ENonquadarticMatrix: M = 2x3\n");
  EXPECT_EQ(elements(wide.data(), 6), std::vector<double>(6, 1.0));
}

}  // namespace
