// denseMotion through the standalone host: the documented checks in order with their texts,
// the added refusals, defaults, and the shape and layout of the output.
#include "gateway/standalone/host.h"
#include "tests/plugin_calls.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using host::Array;

const std::string kUsage = "INPUT: (image1, image2, sigma, alpha, beta, gamma) ";
const std::string kOutput = "OUTPUT: optical_flow ";
const std::string kFirst = "First input must be a 3-dimensional array of noncomplex doubles.";
const std::string kSecond = "Second input must be a 3-dimensional array of noncomplex doubles.";
const std::string kSameSize = "Input images must have the same size !";
const std::string kChannels =
    "Input images must have at least 3 channels; the colour test reads channels 1 to 3.";
const std::string kSigma =
    "Sigma must be a finite number of at least 1e-38; smaller values leave no image to match.";

/// An M-by-N-by-K double image with a smooth texture, moved by (du, dv) pixels.
Array frame(mwSize m, mwSize n, mwSize k, double du = 0.0, double dv = 0.0) {
  std::vector<double> v(m * n * k);
  for (mwSize p = 0; p < k; ++p)
    for (mwSize j = 0; j < n; ++j)
      for (mwSize i = 0; i < m; ++i) {
        const double x = double(j) - du, y = double(i) - dv;
        v[i + j * m + p * m * n] = 128 + 60 * std::sin(0.31 * x + 0.17 * y + p) +
                                   50 * std::cos(0.23 * y - 0.4 * x + 2 * p);
      }
  return host::make<double>({m, n, k}, v);
}

TEST(DenseMotion, ChecksRunInOrderWithTheirTexts) {
  const Array a = frame(12, 10, 3), b = frame(12, 10, 3);
  const Array gray = host::make<double>({12, 10}, std::vector<double>(120, 1.0));
  const Array single = host::make(mxSINGLE_CLASS, {12, 10, 3});
  const Array wider = frame(12, 11, 3), twoChannels = frame(12, 10, 2);
  const Array s = host::scalar(0.8), zero = host::scalar(0.0), nan = host::scalar(NAN);
  const Array empty = host::make(mxDOUBLE_CLASS, {0, 0});
  const Array cells = host::cell({});
  struct Case {
    const char* name;
    int nlhs;
    std::vector<const mxArray*> inputs;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"one input", 1, {a.get()}, kUsage},
      {"seven inputs", 1, {a.get(), b.get(), s.get(), s.get(), s.get(), s.get(), s.get()}, kUsage},
      {"seven inputs and no output",
       0,
       {a.get(), b.get(), s.get(), s.get(), s.get(), s.get(), s.get()},
       kUsage},
      {"no output", 0, {a.get(), b.get()}, kOutput},
      {"two outputs", 2, {a.get(), b.get()}, kOutput},
      {"grayscale first", 1, {gray.get(), b.get()}, kFirst},
      {"single-precision first", 1, {single.get(), gray.get()}, kFirst},
      {"grayscale second", 1, {a.get(), gray.get()}, kSecond},
      {"sizes differ", 1, {a.get(), wider.get()}, kSameSize},
      {"channels differ", 1, {a.get(), twoChannels.get()}, kSameSize},
      {"two channels", 1, {twoChannels.get(), twoChannels.get()}, kChannels},
      {"empty sigma", 1, {a.get(), b.get(), empty.get()}, "Sigma must be a numeric scalar."},
      {"cell alpha",
       1,
       {a.get(), b.get(), s.get(), cells.get()},
       "Alpha must be a numeric scalar."},
      {"empty beta",
       1,
       {a.get(), b.get(), s.get(), s.get(), empty.get()},
       "Beta must be a numeric scalar."},
      {"empty gamma",
       1,
       {a.get(), b.get(), s.get(), s.get(), s.get(), empty.get()},
       "Gamma must be a numeric scalar."},
      {"parameters read before sigma is judged",
       1,
       {a.get(), b.get(), zero.get(), empty.get()},
       "Alpha must be a numeric scalar."},
      {"sigma 0", 1, {a.get(), b.get(), zero.get()}, kSigma},
      {"sigma not a number", 1, {a.get(), b.get(), nan.get()}, kSigma},
  };
  for (const Case& c : cases) {
    const host::CallResult r = host::call(c.nlhs, c.inputs);
    EXPECT_TRUE(r.failed) << c.name;
    EXPECT_EQ(r.error, c.text) << c.name;
    EXPECT_TRUE(r.inputsUnchanged) << c.name;
  }
  const Array negative = host::scalar(-0.5), tiny = host::scalar(1e-45);
  for (const Array* bad : {&negative, &tiny}) {
    const host::CallResult r = host::call(1, {a.get(), b.get(), bad->get()});
    EXPECT_EQ(r.error, kSigma);
  }
}

// Parameters whose flow could only be not a number (the call used to return an all-NaN flow as
// if it had succeeded): refused, while the edges of the accepted ranges still compute.
TEST(DenseMotion, RefusesWeightsThatGiveNoFlow) {
  const Array a = frame(12, 14, 3), b = frame(12, 14, 3, 1.0, 0.5);
  const std::string kAlpha =
      "Alpha must be a finite number above 0; without smoothness the flow is undetermined.";
  const struct {
    double sigma, alpha, beta, gamma;
    std::string text;
  } cases[] = {
      {0.8, 0.0, 300, 5, kAlpha},
      {0.8, -1.0, 300, 5, kAlpha},
      {0.8, HUGE_VAL, 300, 5, kAlpha},
      {0.8, 30, -1e-3, 5, "Beta must be a finite number of 0 or more."},
      {0.8, 30, 300, -5, "Gamma must be a finite number of 0 or more."},
      {0.8, 30, 300, NAN, "Gamma must be a finite number of 0 or more."},
      {2e6, 30, 300, 5,
       "Sigma must be at most 1e6; larger values smooth the frames into not-a-number images."},
      {1e6, 30, 0, 0, ""},
      {0.8, 1e-3, 0, 0, ""},
  };
  for (const auto& c : cases) {
    const Array s = host::scalar(c.sigma), al = host::scalar(c.alpha), be = host::scalar(c.beta),
                ga = host::scalar(c.gamma);
    const host::CallResult r =
        host::call(1, {a.get(), b.get(), s.get(), al.get(), be.get(), ga.get()});
    EXPECT_EQ(r.error, c.text) << c.sigma << " " << c.alpha << " " << c.beta << " " << c.gamma;
    if (c.text.empty()) {
      ASSERT_FALSE(r.failed);
      const double* f = static_cast<const double*>(mxGetData(r.outputs.at(0).get()));
      for (std::size_t i = 0; i < 12 * 14 * 2; ++i)
        ASSERT_TRUE(std::isfinite(f[i])) << i;
    }
  }
}

TEST(DenseMotion, OutputIsRowsByColumnsByTwoForAnyChannelCount) {
  for (mwSize k : {3, 4, 6}) {
    SCOPED_TRACE(k);
    const Array a = frame(20, 24, k), b = frame(20, 24, k);
    const host::CallResult r = host::call(1, {a.get(), b.get()});
    ASSERT_FALSE(r.failed) << r.error;
    ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
    EXPECT_TRUE(r.inputsUnchanged);
    const mxArray* flow = r.outputs[0].get();
    EXPECT_EQ(mxGetClassID(flow), mxDOUBLE_CLASS);
    EXPECT_EQ(host::dims(flow), (std::vector<mwSize>{20, 24, 2}));
    // Identical frames: no motion anywhere.
    for (double v : host::values<double>(flow))
      ASSERT_LT(std::abs(v), 0.05);
  }
}

TEST(DenseMotion, MissingParametersTakeTheirDefaults) {
  const Array a = frame(24, 28, 3), b = frame(24, 28, 3, 1.0, 0.5);
  const Array sigma = host::scalar(0.8), alpha = host::scalar(30), beta = host::scalar(300),
              gamma = host::scalar(5), otherSigma = host::scalar(1.5),
              otherAlpha = host::scalar(10);
  const std::vector<double> defaults = host::values<double>(
      host::call(1, {a.get(), b.get(), sigma.get(), alpha.get(), beta.get(), gamma.get()})
          .outputs[0]
          .get());
  const std::vector<double> sigmaOnly = host::values<double>(
      host::call(1, {a.get(), b.get(), otherSigma.get(), alpha.get(), beta.get(), gamma.get()})
          .outputs[0]
          .get());
  struct Case {
    const char* name;
    std::vector<const mxArray*> inputs;
    const std::vector<double>* expected;
  };
  const std::vector<Case> cases = {
      {"two inputs", {a.get(), b.get()}, &defaults},
      {"sigma given", {a.get(), b.get(), otherSigma.get()}, &sigmaOnly},
      {"sigma and alpha given", {a.get(), b.get(), sigma.get(), alpha.get()}, &defaults},
      {"up to beta", {a.get(), b.get(), sigma.get(), alpha.get(), beta.get()}, &defaults},
  };
  for (const Case& c : cases) {
    const host::CallResult r = host::call(1, c.inputs);
    ASSERT_FALSE(r.failed) << c.name << ": " << r.error;
    EXPECT_EQ(host::values<double>(r.outputs[0].get()), *c.expected) << c.name;
  }
  // A parameter that takes part changes the result.
  const host::CallResult r = host::call(1, {a.get(), b.get(), sigma.get(), otherAlpha.get()});
  EXPECT_NE(host::values<double>(r.outputs[0].get()), defaults);
  EXPECT_NE(sigmaOnly, defaults);
}

// A pending interrupt ends the call at the driver's first check, with nothing returned; the
// next call is not affected.
TEST(DenseMotion, PendingInterruptEndsTheCall) {
  const Array a = frame(24, 32, 3), b = frame(24, 32, 3, 1.0, 0.0);
  host::requestInterrupt();
  const host::CallResult r = host::call(1, {a.get(), b.get()});
  EXPECT_TRUE(r.interrupted);
  EXPECT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.outputs.empty());
  const host::CallResult again = host::call(1, {a.get(), b.get()});
  ASSERT_FALSE(again.failed || again.interrupted) << again.error;
  EXPECT_EQ(host::dims(again.outputs[0].get()), (std::vector<mwSize>{24, 32, 2}));
}

TEST(DenseMotion, EmptyFramesGiveAnEmptyFlow) {
  const Array a = host::make(mxDOUBLE_CLASS, {0, 5, 3}), b = host::make(mxDOUBLE_CLASS, {0, 5, 3});
  const host::CallResult r = host::call(1, {a.get(), b.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::dims(r.outputs[0].get()), (std::vector<mwSize>{0, 5, 2}));
}

// Every parameter sparse in turn is refused (sparse frames cannot be 3-dimensional).
TEST(DenseMotionSparse, EveryArgumentRefusedWhenSparse) {
  std::vector<double> v(16 * 16 * 3);
  for (std::size_t p = 0; p < v.size(); ++p)
    v[p] = static_cast<double>((p * 37) % 251);
  const host::Array first = host::make<double>({16, 16, 3}, v);
  const host::Array second = host::make<double>({16, 16, 3}, v);
  const host::Array sigma = host::scalar(0.8), alpha = host::scalar(30), beta = host::scalar(300),
                    gamma = host::scalar(5);
  EXPECT_EQ(plugintest::expectSparseRefused(
                "denseMotion", 1,
                {first.get(), second.get(), sigma.get(), alpha.get(), beta.get(), gamma.get()}),
            4);
}

}  // namespace
