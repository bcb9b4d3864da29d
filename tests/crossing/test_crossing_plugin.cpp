// crossingCounts or crossingRuns (whichever plug-in this executable links) through the
// standalone host: the documented checks in their order, the added size refusal, empty
// images, and the votes against a brute-force ray walk.
#include "gateway/standalone/host.h"
#include "tests/crossing/ray_oracle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using host::Array;

const char* const kBadInputs = "Invalid number of input arguments";
const char* const kBadClass = "Input matrix must be of type uint8";
const char* const kBadOutputs = "Invalid number of output arguments";
const char* const kBadRank = "Input matrix must be 2-dimensional";

Array image(const oracle::Image& im) {
  return host::make<std::uint8_t>({static_cast<mwSize>(im.m), static_cast<mwSize>(im.n)}, im.v);
}

TEST(CrossingPlugin, VotesMatchRayWalk) {
  std::mt19937 rng(5);
  const int sides[][2] = {{1, 1}, {1, 12}, {12, 1}, {8, 8}, {9, 21}, {21, 9}, {31, 30}};
  for (const auto& s : sides) {
    for (int levels : {2, 256}) {
      const oracle::Image im = oracle::random(rng, s[0], s[1], levels);
      const Array in = image(im);
      for (int nlhs : {0, 1}) {
        const host::CallResult r = host::call(nlhs, {in.get()});
        ASSERT_FALSE(r.failed) << r.error;
        EXPECT_TRUE(r.hostFault.empty()) << r.hostFault;
        EXPECT_TRUE(r.inputsUnchanged);
        ASSERT_EQ(r.outputs.size(), 1u);
        const mxArray* out = r.outputs[0].get();
        EXPECT_EQ(host::dims(out),
                  (std::vector<mwSize>{static_cast<mwSize>(s[0]), static_cast<mwSize>(s[1])}));
        EXPECT_EQ(host::values<std::uint8_t>(out), oracle::votes(im))
            << s[0] << "x" << s[1] << ", nlhs " << nlhs;
      }
    }
  }
}

TEST(CrossingPlugin, EmptyImageGivesEmptyResultOfItsSize) {
  const std::vector<std::vector<mwSize>> shapes = {{0, 0}, {0, 5}, {5, 0}, {0, 32767}};
  for (const auto& shape : shapes) {
    const Array in = host::make(mxUINT8_CLASS, shape);
    const host::CallResult r = host::call(1, {in.get()});
    ASSERT_FALSE(r.failed) << r.error;
    EXPECT_EQ(host::dims(r.outputs[0].get()), shape);
    EXPECT_EQ(mxGetClassID(r.outputs[0].get()), mxUINT8_CLASS);
  }
}

TEST(CrossingPlugin, LargestSupportedSideIsAccepted) {
  // A single column of 32767 pixels rising at every other step: only up and down votes.
  oracle::Image im{32767, 1, std::vector<std::uint8_t>(32767)};
  for (std::size_t k = 0; k < im.v.size(); ++k)
    im.v[k] = static_cast<std::uint8_t>(k % 2);
  const Array in = image(im);
  const host::CallResult r = host::call(1, {in.get()});
  ASSERT_FALSE(r.failed) << r.error;
  const std::vector<std::uint8_t> out = host::values<std::uint8_t>(r.outputs[0].get());
  // The steps into odd pixels rise: 16383 in all. Pixel k sees floor(k/2) of them among the
  // pixels before it, the step entering it belongs to neither ray, the rest lie after it.
  for (std::size_t k = 0; k < out.size(); ++k) {
    const std::size_t before = k / 2;
    const std::size_t entering = k % 2;
    const std::size_t after = 16383 - before - entering;
    const int expected = static_cast<int>(k > 0 ? before % 2 : 0) +
                         static_cast<int>(k + 1 < out.size() ? after % 2 : 0);
    ASSERT_EQ(out[k], expected) << "at " << k;
  }
}

struct BadCall {
  const char* what;
  int nlhs;
  std::vector<std::vector<mwSize>> inputs;  // shapes, all uint8 unless classId says otherwise
  mxClassID classId;
  std::string error;
};

TEST(CrossingPlugin, RefusesBadCallsWithTheFirstFailingCheck) {
  const BadCall cases[] = {
      {"no input", 1, {}, mxUINT8_CLASS, kBadInputs},
      {"two inputs", 1, {{2, 2}, {2, 2}}, mxUINT8_CLASS, kBadInputs},
      {"two inputs of the wrong class", 3, {{2, 2}, {2, 2}}, mxDOUBLE_CLASS, kBadInputs},
      {"double image", 1, {{2, 2}}, mxDOUBLE_CLASS, kBadClass},
      {"int8 image", 1, {{2, 2}}, mxINT8_CLASS, kBadClass},
      {"logical image", 1, {{2, 2}}, mxLOGICAL_CLASS, kBadClass},
      {"wrong class before outputs", 2, {{2, 2, 2}}, mxUINT16_CLASS, kBadClass},
      {"two outputs", 2, {{2, 2}}, mxUINT8_CLASS, kBadOutputs},
      {"outputs before rank", 2, {{2, 2, 2}}, mxUINT8_CLASS, kBadOutputs},
      {"3-D image", 1, {{2, 2, 2}}, mxUINT8_CLASS, kBadRank},
      {"rank before size", 1, {{40000, 1, 2}}, mxUINT8_CLASS, kBadRank},
      {"too many rows",
       1,
       {{32768, 1}},
       mxUINT8_CLASS,
       "Input matrix is 32768-by-1; at most 32767 rows and 32767 columns are supported."},
      {"empty but too wide",
       1,
       {{0, 40000}},
       mxUINT8_CLASS,
       "Input matrix is 0-by-40000; at most 32767 rows and 32767 columns are supported."},
      {"too many columns",
       0,
       {{2, 32768}},
       mxUINT8_CLASS,
       "Input matrix is 2-by-32768; at most 32767 rows and 32767 columns are supported."},
  };
  for (const BadCall& c : cases) {
    std::vector<Array> owned;
    std::vector<const mxArray*> inputs;
    for (const auto& shape : c.inputs) {
      owned.push_back(host::make(c.classId, shape));
      inputs.push_back(owned.back().get());
    }
    const host::CallResult r = host::call(c.nlhs, inputs);
    EXPECT_TRUE(r.failed) << c.what;
    EXPECT_EQ(r.error, c.error) << c.what;
    EXPECT_TRUE(r.inputsUnchanged) << c.what;
  }
}

}  // namespace
