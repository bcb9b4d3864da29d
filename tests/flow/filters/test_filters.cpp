// Filter masks, mask correlation in every direction, box filters and recursive smoothing,
// against the worked examples and brute-force oracles written independently of the filters.
#include "flow/filters/CFilter.h"
#include "flow/filters/NFilter.h"
#include "tests/flow/capture_cerr.h"
#include "tests/flow/instruction_sets.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Half-sample mirror, one reflection at a time until the index lands inside the line.
int reflect(int q, int n) {
  while (q < 0 || q >= n)
    q = q < 0 ? -1 - q : 2 * n - 1 - q;
  return q;
}

// Correlation of one line, sample by sample, straight from the definition.
std::vector<float> correlate(const std::vector<float>& line, const CFilter<float>& mask) {
  const int n = static_cast<int>(line.size());
  std::vector<float> out(n);
  for (int p = 0; p < n; ++p) {
    float acc = 0.0f;
    for (int i = 0; i < mask.size(); ++i)
      acc += mask(i) * line[reflect(p + i - mask.delta(), n)];
    out[p] = acc;
  }
  return out;
}

CTensor<float> randomTensor(int x, int y, int z, std::mt19937& rng, bool integers = false) {
  std::uniform_real_distribution<float> d(-10.0f, 10.0f);
  CTensor<float> t(x, y, z);
  for (int i = 0; i < t.size(); ++i)
    t.data()[i] = integers ? std::round(d(rng)) : d(rng);
  return t;
}

// The line of a tensor through (x, y, z) along direction dir (0 = x, 1 = y, 2 = z).
std::vector<float> lineOf(const CTensor<float>& t, int dir, int x, int y, int z) {
  std::vector<float> line;
  const int n = dir == 0 ? t.xSize() : dir == 1 ? t.ySize() : t.zSize();
  for (int p = 0; p < n; ++p) {
    line.push_back(dir == 0 ? t(p, y, z) : dir == 1 ? t(x, p, z) : t(x, y, p));
  }
  return line;
}

TEST(FilterMasks, DerivativeTapsAreTheNearestFloatsOfTheFractions) {
  struct Row {
    int size, delta;
    std::vector<std::pair<long long, long long>> fractions;
  };
  const std::vector<Row> rows = {
      {2, 0, {{-1, 1}, {1, 1}}},
      {3, 1, {{-1, 2}, {0, 1}, {1, 2}}},
      {4, 1, {{1, 24}, {-9, 8}, {9, 8}, {-1, 24}}},
      {5, 2, {{1, 12}, {-2, 3}, {0, 1}, {2, 3}, {-1, 12}}},
      {6, 2, {{-3, 640}, {25, 384}, {-75, 64}, {75, 64}, {-25, 384}, {3, 640}}},
      {7, 3, {{-1, 60}, {3, 20}, {-3, 4}, {0, 1}, {3, 4}, {-3, 20}, {1, 60}}},
      {8,
       3,
       {{5, 7168},
        {-49, 5120},
        {245, 3072},
        {-1225, 1024},
        {1225, 1024},
        {-245, 3072},
        {49, 5120},
        {-5, 7168}}},
      {9, 4, {{1, 280}, {-4, 105}, {1, 5}, {-4, 5}, {0, 1}, {4, 5}, {-1, 5}, {4, 105}, {-1, 280}}},
      {10,
       4,
       {{-35, 294912},
        {405, 229376},
        {-567, 40960},
        {735, 8192},
        {-19845, 16384},
        {19845, 16384},
        {-735, 8192},
        {567, 40960},
        {-405, 229376},
        {35, 294912}}},
  };
  for (const Row& row : rows) {
    const CDerivative<float> d(row.size);
    ASSERT_EQ(d.size(), row.size);
    EXPECT_EQ(d.delta(), row.delta) << "size " << row.size;
    for (int i = 0; i < row.size; ++i) {
      // Nearest float: no neighbouring float lies closer to the exact fraction.
      const long double exact =
          static_cast<long double>(row.fractions[i].first) / row.fractions[i].second;
      const float t = d(i);
      const long double err = std::fabs(static_cast<long double>(t) - exact);
      EXPECT_LE(err, std::fabs(static_cast<long double>(std::nextafter(t, 1e9f)) - exact));
      EXPECT_LE(err, std::fabs(static_cast<long double>(std::nextafter(t, -1e9f)) - exact));
      EXPECT_LT(err, 1e-7L) << "size " << row.size << " tap " << i;
    }
  }
}

TEST(FilterMasks, DerivativeOfUnavailableSizePrintsAndThrows) {
  for (int size : {0, 1, 11, -1, -100, 64}) {
    CaptureCerr err;
    EXPECT_THROW(CDerivative<float> d(size), EFilterNotAvailable);
    EXPECT_EQ(err.text(),
              "Exception EFilterNotAvailable: Mask size: " + std::to_string(size) + "\n");
  }
}

TEST(FilterMasks, GaussianExamplesAndRadius) {
  const CSmooth<float> narrow(0.8f, 1.0f);
  const std::vector<float> narrowTaps = {0.2389943f, 0.5220115f, 0.2389943f};
  const CSmooth<float> wide(1.0f, 3.0f);
  const std::vector<float> wideTaps = {0.0044330f, 0.0540056f, 0.2420362f, 0.3990503f,
                                       0.2420362f, 0.0540056f, 0.0044330f};
  ASSERT_EQ(narrow.size(), 3);
  ASSERT_EQ(wide.size(), 7);
  for (int i = 0; i < 3; ++i)
    EXPECT_NEAR(narrow(i), narrowTaps[i], 1e-7);
  for (int i = 0; i < 7; ++i)
    EXPECT_NEAR(wide(i), wideTaps[i], 1e-7);

  struct Case {
    float sigma, precision;
    int radius;
  };
  for (const Case& c : std::vector<Case>{
           {0.8f, 1, 1}, {1, 3, 3}, {0.5f, 3, 2}, {4, 3, 12}, {0.1f, 1, 1}, {2.5f, 2, 5}}) {
    const CSmooth<float> g(c.sigma, c.precision);
    EXPECT_EQ(g.delta(), c.radius) << c.sigma << " " << c.precision;
    EXPECT_EQ(g.size(), 2 * c.radius + 1);
  }
}

TEST(FilterMasks, GaussianAgainstLongDoubleOracle) {
  for (float sigma : {0.3f, 0.8f, 1.0f, 1.7f, 4.0f, 9.5f}) {
    const CSmooth<float> g(sigma, 3.0f);
    const int r = g.delta();
    long double total = 0;
    std::vector<long double> ideal(g.size());
    for (int i = -r; i <= r; ++i) {
      ideal[i + r] = std::exp(-static_cast<long double>(i) * i / (2.0L * sigma * sigma));
      total += ideal[i + r];
    }
    float sum = 0.0f;
    for (int i = 0; i < g.size(); ++i) {
      EXPECT_NEAR(g(i), static_cast<double>(ideal[i] / total), 2e-7) << sigma << " tap " << i;
      EXPECT_EQ(g(i), g(g.size() - 1 - i));  // symmetric
      sum += g(i);
    }
    EXPECT_NEAR(sum, 1.0f, 3e-7f);
    EXPECT_NEAR(g.sum(), 1.0f, 3e-7f);
  }
}

TEST(FilterMasks, SumIsOfAbsoluteValues) {
  CFilter<float> f(4, 1);
  const std::vector<float> values = {-1.5f, 2.0f, -0.25f, 0.5f};
  for (int i = 0; i < 4; ++i)
    f(i) = values[i];
  EXPECT_EQ(f.sum(), 4.25f);
  EXPECT_EQ(CDerivative<float>(2).sum(), 2.0f);
}

TEST(FilterMasks, NegativeSigmaOrPrecisionIsRefused) {
  for (auto c : std::vector<std::pair<float, float>>{{-0.5f, 3}, {-2, 1}, {1, -3}, {NAN, 1}}) {
    EXPECT_THROW(CSmooth<float>(c.first, c.second), std::invalid_argument)
        << c.first << " " << c.second;
  }
}

TEST(MaskCorrelation, WorkedDerivativeRows) {
  struct Case {
    int size;
    std::vector<float> expected;
  };
  const std::vector<Case> cases = {{3, {0.5f, 2, 4, 2.5f}}, {2, {1, 3, 5, 0}}};
  for (const Case& c : cases) {
    CMatrix<float> src(4, 1), dst(4, 1);
    const float row[4] = {0, 1, 4, 9};
    std::copy(row, row + 4, src.data());
    NFilter::filter(src, dst, CDerivative<float>(c.size), 1);
    EXPECT_EQ(std::vector<float>(dst.data(), dst.data() + 4), c.expected) << "size " << c.size;
    // Along y on the same samples as a column.
    CMatrix<float> col(1, 4), colDst(1, 4);
    std::copy(row, row + 4, col.data());
    NFilter::filter(col, colDst, 1, CDerivative<float>(c.size));
    EXPECT_EQ(std::vector<float>(colDst.data(), colDst.data() + 4), c.expected);
  }
}

TEST(MaskCorrelation, EveryDirectionMatchesTheLineDefinition) {
  std::mt19937 rng(11);
  std::vector<std::function<CFilter<float>()>> masks = {
      [] { return CFilter<float>(CDerivative<float>(3)); },
      [] { return CFilter<float>(CDerivative<float>(5)); },
      [] { return CFilter<float>(CDerivative<float>(8)); },
      [] { return CFilter<float>(CSmooth<float>(1.0f, 3.0f)); },
      [] { return CFilter<float>(CSmooth<float>(2.0f, 3.0f)); },  // 13 taps
      [] {
        CFilter<float> f(4, 0);  // one-sided mask reaching only forward
        for (int i = 0; i < 4; ++i)
          f(i) = 0.5f + i;
        return f;
      },
  };
  struct Size {
    int x, y, z;
  };
  // Lines of 1 and 2 samples and lines shorter than the mask radius included; rows of 37 and
  // 64 give the x direction whole interior blocks of eight and a remainder, rows of 45 and 131
  // the vector path's groups of four blocks besides.
  const std::vector<Size> sizes = {{9, 7, 3},  {1, 5, 2},  {2, 1, 4},  {3, 3, 1},  {16, 2, 2},
                                   {37, 3, 2}, {64, 2, 1}, {45, 3, 1}, {131, 2, 1}};
  for (const flowsimd::InstructionSet set : flowtest::runnableInstructionSets()) {
    ASSERT_TRUE(flowsimd::force(set));
    SCOPED_TRACE(flowsimd::name(set));
    for (const auto& makeMask : masks) {
      const CFilter<float> mask = makeMask();
      for (const Size& s : sizes) {
        const CTensor<float> src = randomTensor(s.x, s.y, s.z, rng);
        for (int dir = 0; dir < 3; ++dir) {
          CTensor<float> dst(s.x, s.y, s.z, 1e30f);
          if (dir == 0) NFilter::filter(src, dst, mask, 1, 1);
          if (dir == 1) NFilter::filter(src, dst, 1, mask, 1);
          if (dir == 2) NFilter::filter(src, dst, 1, 1, mask);
          for (int z = 0; z < s.z; ++z) {
            for (int y = 0; y < s.y; ++y) {
              for (int x = 0; x < s.x; ++x) {
                const std::vector<float> expected = correlate(lineOf(src, dir, x, y, z), mask);
                const int p = dir == 0 ? x : dir == 1 ? y : z;
                ASSERT_EQ(dst(x, y, z), expected[p])
                    << "mask " << mask.size() << " dir " << dir << " at " << x << "," << y << ","
                    << z << " of " << s.x << "x" << s.y << "x" << s.z;
              }
            }
          }
          // The matrix overloads agree with the tensor ones on channel 0.
          if (dir < 2) {
            CMatrix<float> m(s.x, s.y), md(s.x, s.y);
            src.getMatrix(m, 0);
            if (dir == 0) NFilter::filter(m, md, mask, 1);
            if (dir == 1) NFilter::filter(m, md, 1, mask);
            for (int i = 0; i < m.size(); ++i)
              ASSERT_EQ(md.data()[i], dst.data()[i]);
          }
        }
      }
    }
  }
  flowsimd::unforce();
}

TEST(MaskCorrelation, MismatchedDestinationPrintsBothCountsAndThrows) {
  struct Case {
    std::function<void()> call;
    std::string line;
  };
  const CDerivative<float> d(3);
  const CTensor<float> t4x3x1(4, 3, 1, 0.0f);
  const CMatrix<float> m5x2(5, 2, 0.0f);
  const std::vector<Case> cases = {
      {[&] {
         CTensor<float> dst(4, 3, 2);
         NFilter::filter(t4x3x1, dst, d, 1, 1);
       },
       "Exception EFilterIncompatibleSize: Initial container size: 12  Resulting container size: "
       "24\n"},
      {[&] {
         CTensor<float> dst(3, 4, 1);
         NFilter::filter(t4x3x1, dst, 1, d, 1);
       },
       "Exception EFilterIncompatibleSize: Initial container size: 12  Resulting container size: "
       "12\n"},
      {[&] {
         CTensor<float> dst(4, 3, 3);
         NFilter::filter(t4x3x1, dst, 1, 1, d);
       },
       "Exception EFilterIncompatibleSize: Initial container size: 12  Resulting container size: "
       "36\n"},
      {[&] {
         CMatrix<float> dst(2, 5);
         NFilter::filter(m5x2, dst, d, 1);
       },
       "Exception EFilterIncompatibleSize: Initial container size: 10  Resulting container size: "
       "10\n"},
      {[&] {
         CMatrix<float> dst(5, 1);
         NFilter::filter(m5x2, dst, 1, d);
       },
       "Exception EFilterIncompatibleSize: Initial container size: 10  Resulting container size: "
       "5\n"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    CaptureCerr err;
    EXPECT_THROW(cases[i].call(), EFilterIncompatibleSize) << "case " << i;
    EXPECT_EQ(err.text(), cases[i].line) << "case " << i;
  }
}

TEST(BoxFilter, WorkedExamples) {
  // Size 6 acts as 7; every output of a row of ones is exactly 1, borders included.
  CTensor<float> ones(10, 1, 1, 1.0f), out(10, 1, 1);
  NFilter::boxFilterX(ones, out, 6);
  EXPECT_EQ(std::vector<float>(out.data(), out.data() + 10), std::vector<float>(10, 1.0f));
  // Size 7 on two samples: both outputs are the mean of both.
  CTensor<float> two(2, 1, 1), twoOut(2, 1, 1);
  two(0, 0, 0) = 3.0f;
  two(1, 0, 0) = 8.0f;
  NFilter::boxFilterX(two, twoOut, 7);
  EXPECT_EQ(twoOut(0, 0, 0), 5.5f);
  EXPECT_EQ(twoOut(1, 0, 0), 5.5f);
  CTensor<float> column(1, 2, 1), columnOut(1, 2, 1);
  column(0, 0, 0) = 3.0f;
  column(0, 1, 0) = 8.0f;
  NFilter::boxFilterY(column, columnOut, 7);
  EXPECT_EQ(columnOut(0, 0, 0), 5.5f);
  EXPECT_EQ(columnOut(0, 1, 0), 5.5f);
}

TEST(BoxFilter, WindowMeansAgainstDirectSums) {
  // Integer samples keep every running sum exact, so the window sum formed afresh times the
  // rounded reciprocal of the count is the exact expected output.
  std::mt19937 rng(12);
  struct Case {
    int x, y, z, size;
  };
  const std::vector<Case> cases = {{12, 9, 2, 7}, {12, 9, 2, 6}, {5, 4, 3, 1},   {5, 4, 1, 0},
                                   {3, 8, 2, 11}, {1, 1, 1, 3},  {20, 3, 1, 100}};
  for (const Case& c : cases) {
    const CTensor<float> src = randomTensor(c.x, c.y, c.z, rng, true);
    const int r = (c.size % 2 == 0 ? c.size + 1 : c.size) / 2;
    for (int dir = 0; dir < 2; ++dir) {
      CTensor<float> dst(c.x, c.y, c.z, 1e30f);
      if (dir == 0) NFilter::boxFilterX(src, dst, c.size);
      if (dir == 1) NFilter::boxFilterY(src, dst, c.size);
      for (int z = 0; z < c.z; ++z) {
        for (int y = 0; y < c.y; ++y) {
          for (int x = 0; x < c.x; ++x) {
            const std::vector<float> line = lineOf(src, dir, x, y, z);
            const int n = static_cast<int>(line.size());
            const int p = dir == 0 ? x : y;
            double sum = 0;
            int count = 0;
            for (int q = std::max(0, p - r); q <= std::min(n - 1, p + r); ++q, ++count) {
              sum += line[q];
            }
            const float expected = static_cast<float>(sum) * static_cast<float>(1.0 / count);
            ASSERT_EQ(dst(x, y, z), expected) << "size " << c.size << " dir " << dir;
          }
        }
      }
    }
  }
}

TEST(BoxFilter, RefusesNegativeSizesAndMismatchedDestinations) {
  const CTensor<float> src(4, 3, 2, 1.0f);
  CTensor<float> dst(4, 3, 2), small(4, 3, 1), wide(5, 3, 2);
  EXPECT_THROW(NFilter::boxFilterX(src, dst, -3), std::invalid_argument);
  EXPECT_THROW(NFilter::boxFilterY(src, dst, -1), std::invalid_argument);
  EXPECT_THROW(NFilter::boxFilterX(src, small, 3), std::invalid_argument);
  EXPECT_THROW(NFilter::boxFilterY(src, wide, 3), std::invalid_argument);
}

std::vector<float> smoothLine(const std::vector<float>& line, float sigma) {
  CMatrix<float> m(static_cast<int>(line.size()), 1);
  std::copy(line.begin(), line.end(), m.data());
  NFilter::recursiveSmoothX(m, sigma);
  return std::vector<float>(m.data(), m.data() + m.size());
}

TEST(RecursiveSmoothing, LineOfOnesHasTheFixedStarts) {
  const std::vector<float> out = smoothLine(std::vector<float>(40, 1.0f), 0.8f);
  const std::vector<float> head = {0.7821f, 0.9317f, 0.9830f, 0.9962f};
  const std::vector<float> tail = {1.0038f, 1.0170f, 1.0683f, 1.2178f};
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(out[i], head[i], 1e-4) << i;
    EXPECT_NEAR(out[36 + i], tail[i], 1e-4) << 36 + i;
  }
  for (int i = 10; i < 30; ++i)
    EXPECT_NEAR(out[i], 1.0f, 1e-5) << i;
}

TEST(RecursiveSmoothing, ImpulseResponse) {
  std::vector<float> line(40, 0.0f);
  line[20] = 1.0f;
  const std::vector<float> out = smoothLine(line, 1.0f);
  const std::vector<float> expected = {0.3509f, 0.2064f, 0.0798f, 0.0267f};
  for (int d = 0; d < 4; ++d) {
    EXPECT_NEAR(out[20 + d], expected[d], 1e-4) << d;
    EXPECT_NEAR(out[20 - d], expected[d], 1e-4) << -d;
  }
  double sum = 0;
  for (float v : out)
    sum += v;
  EXPECT_NEAR(sum, 1.0, 1e-5);
  // At the impulse only the causal term k·x[20] remains: the gain k with the rounding of
  // each coefficient step (α rounded to float, a single-precision exponential).
  const float alpha = static_cast<float>(2.5 / std::sqrt(static_cast<double>(3.14159274f)));
  const float e = std::exp(-alpha);
  const float b2 = e * e;
  const float k = static_cast<float>((1.0 - e) * (1.0 - e) / (1.0 + 2.0 * alpha * e - b2));
  EXPECT_EQ(out[20], k);
  EXPECT_NEAR(alpha, 1.4105f, 1e-4f);
  EXPECT_NEAR(e, 0.2440f, 1e-4f);
}

TEST(RecursiveSmoothing, SigmaZeroGivesNotANumberAndNegativeSigmaIsRefused) {
  for (float v : smoothLine(std::vector<float>(6, 2.0f), 0.0f))
    EXPECT_TRUE(std::isnan(v));
  CMatrix<float> m(5, 4, 1.0f);
  CTensor<float> t(5, 4, 2, 1.0f);
  EXPECT_THROW(NFilter::recursiveSmoothX(m, -0.8f), std::invalid_argument);
  EXPECT_THROW(NFilter::recursiveSmoothY(m, -1.0f), std::invalid_argument);
  EXPECT_THROW(NFilter::recursiveSmoothX(t, -2.0f), std::invalid_argument);
  EXPECT_THROW(NFilter::recursiveSmoothY(t, -0.1f), std::invalid_argument);
  EXPECT_EQ(m(2, 2), 1.0f);
}

TEST(RecursiveSmoothing, LinesOfOneSampleStayAsTheyAre) {
  CMatrix<float> row(1, 3), column(3, 1);
  for (int i = 0; i < 3; ++i)
    row.data()[i] = column.data()[i] = 1.5f + i;
  NFilter::recursiveSmoothX(row, 2.0f);
  NFilter::recursiveSmoothY(column, 2.0f);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(row.data()[i], 1.5f + i);
    EXPECT_EQ(column.data()[i], 1.5f + i);
  }
}

TEST(RecursiveSmoothing, ColumnsAndChannelsEqualTheRowFilterOnTransposedPlanes) {
  std::mt19937 rng(13);
  for (float sigma : {0.8f, 4.0f}) {
    const CTensor<float> t = randomTensor(7, 5, 3, rng);
    CTensor<float> tx(t), ty(t);
    NFilter::recursiveSmoothX(tx, sigma);
    NFilter::recursiveSmoothY(ty, sigma);
    for (int z = 0; z < 3; ++z) {
      CMatrix<float> plane(7, 5);
      t.getMatrix(plane, z);
      // Row by row on this channel alone.
      CMatrix<float> px(plane);
      NFilter::recursiveSmoothX(px, sigma);
      // Columns as rows of the transposed plane.
      CMatrix<float> transposed = trans(plane);
      NFilter::recursiveSmoothX(transposed, sigma);
      for (int y = 0; y < 5; ++y) {
        for (int x = 0; x < 7; ++x) {
          ASSERT_EQ(tx(x, y, z), px(x, y));
          ASSERT_EQ(ty(x, y, z), transposed(y, x));
        }
      }
    }
  }
}

}  // namespace
