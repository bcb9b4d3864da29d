// The error funnel (through the probe plug-in) and the standalone host's array semantics.
#include "gateway/standalone/host.h"

#include "gateway/memory_guard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct FunnelCase {
  double mode;
  const char* error;
  const char* id;  // empty for the host's own error, which carries none
};

void PrintTo(const FunnelCase& c, std::ostream* os) {
  *os << "mode " << c.mode;
}

class ErrorFunnel : public ::testing::TestWithParam<FunnelCase> {};

TEST_P(ErrorFunnel, EndsTheCallWithOneHostErrorAndItsText) {
  const auto mode = host::scalar(GetParam().mode);
  const host::CallResult r = host::call(1, {mode.get()});
  ASSERT_TRUE(r.failed);
  EXPECT_EQ(r.error, GetParam().error);
  EXPECT_EQ(r.errorId, GetParam().id);
}

INSTANTIATE_TEST_SUITE_P(
    Gateway, ErrorFunnel,
    ::testing::Values(
        FunnelCase{1, "Probe failure with a\n\tline feed and a tab.",
                   "motionseg:gatewayProbe:value"},
        FunnelCase{2, "Out of memory.", "motionseg:gatewayProbe:memory"},
        // The host's own error passes through once, not caught and re-raised.
        FunnelCase{3, "Raised by the host itself.", ""},
        FunnelCase{5, "Size does not fit in 32 bits.", "motionseg:gatewayProbe:size"},
        FunnelCase{6, "Second input must be a numeric scalar.", "motionseg:gatewayProbe:size"},
        FunnelCase{7, "Failed after creating an output.", "motionseg:gatewayProbe:internal"},
        // Texts are not formats: a '%' reaches the caller as it stands.
        FunnelCase{9, "100% of 0 is %d.", "motionseg:gatewayProbe:value"}));

TEST(MemoryGuard, RefusalSaysWhatWasAskedAndWhatTheMachineHas) {
  membudget::Limit limit;
  limit.bytes = 23100000000;
  limit.description = "this machine has 23.1 GB available";
  membudget::Estimate table;
  table.outputs = membudget::Bytes(17179344900);  // 65535 * 65535 * 4
  table.what = "a 65535-by-65535 table";
  EXPECT_EQ(gw::memoryRefusal("regionLinkage", table, limit),
            "regionLinkage needs 34.4 GB for a 65535-by-65535 table (twice that while the host "
            "copies it); this machine has 23.1 GB available.");
  membudget::Estimate both = table;
  both.working = membudget::Bytes(8000000000);
  EXPECT_EQ(gw::memoryRefusal("regionLinkage", both, limit),
            "regionLinkage needs 42.4 GB for a 65535-by-65535 table (17.2 GB of output, twice "
            "while the host copies it, and 8.00 GB of working memory); this machine has 23.1 GB "
            "available.");
  membudget::Estimate huge = table;
  huge.outputs = membudget::Bytes::product({1ull << 40, 1ull << 40});
  EXPECT_EQ(gw::memoryRefusal("regionLinkage", huge, limit),
            "regionLinkage needs more than 18.4 EB for a 65535-by-65535 table; this machine has "
            "23.1 GB available.");
}

// A pending interrupt ends a polling call as interrupted, with nothing returned; without one
// the call runs to its end.
TEST(Interrupt, PendingInterruptEndsThePollingCall) {
  const auto mode = host::scalar(10);
  const auto seconds = host::scalar(30);
  host::requestInterrupt();
  const host::CallResult r = host::call(1, {mode.get(), seconds.get()});
  EXPECT_TRUE(r.interrupted);
  EXPECT_FALSE(r.failed);
  EXPECT_EQ(r.outputs.size(), 0u);
  const auto none = host::scalar(0);
  const host::CallResult done = host::call(1, {mode.get(), none.get()});
  ASSERT_FALSE(done.failed || done.interrupted);
  EXPECT_EQ(host::values<double>(done.outputs[0].get()), std::vector<double>{1});
}

TEST(ErrorFunnel, StandardLogicErrorsBecomeInternalErrors) {
  const auto mode = host::scalar(4);
  const host::CallResult r = host::call(1, {mode.get()});
  ASSERT_TRUE(r.failed);
  EXPECT_EQ(r.error.rfind("Internal error: ", 0), 0u) << r.error;
  EXPECT_EQ(r.errorId, "motionseg:gatewayProbe:internal");
}

TEST(ErrorFunnel, IdentifiersNameEveryKindAndOnlyIdentifierCharacters) {
  const std::pair<gw::Kind, const char*> kinds[] = {
      {gw::Kind::Nargin, "nargin"}, {gw::Kind::Nargout, "nargout"},  {gw::Kind::Class, "class"},
      {gw::Kind::Size, "size"},     {gw::Kind::Value, "value"},      {gw::Kind::Memory, "memory"},
      {gw::Kind::System, "system"}, {gw::Kind::Internal, "internal"}};
  for (const auto& [kind, word] : kinds) {
    EXPECT_EQ(gw::errorId("edgeTrim", kind), std::string("motionseg:edgeTrim:") + word);
  }
  // A plug-in file renamed by its user still gives an identifier a script can match.
  EXPECT_EQ(gw::errorId("my plug-in.v2", gw::Kind::Size), "motionseg:my_plug_in_v2:size");
  EXPECT_EQ(gw::errorId("", gw::Kind::Size), "motionseg:plugin:size");
  EXPECT_EQ(gw::errorId(nullptr, gw::Kind::Size), "motionseg:plugin:size");
}

TEST(ErrorFunnel, ScalarTellsAMissingValueFromAWrongClass) {
  const auto mode = host::scalar(6);
  const auto empty = host::make(mxDOUBLE_CLASS, {0, 3});
  std::vector<host::Array> one;
  one.push_back(host::scalar(1));
  const auto cell = host::cell(std::move(one));
  EXPECT_EQ(host::call(1, {mode.get(), empty.get()}).errorId, "motionseg:gatewayProbe:size");
  EXPECT_EQ(host::call(1, {mode.get(), cell.get()}).errorId, "motionseg:gatewayProbe:class");
}

TEST(ErrorFunnel, ScalarRefusesEmptyCellAndAcceptsAnyNumericClass) {
  const auto mode = host::scalar(6);
  const auto empty = host::make(mxDOUBLE_CLASS, {0, 0});
  const auto cell = host::cell({});
  EXPECT_TRUE(host::call(1, {mode.get(), empty.get()}).failed);
  EXPECT_TRUE(host::call(1, {mode.get(), cell.get()}).failed);

  const auto small = host::make<std::int16_t>({1, 1}, {-7});
  const host::CallResult r = host::call(1, {mode.get(), small.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_EQ(host::values<double>(r.outputs[0].get()), std::vector<double>{-7});
}

TEST(ErrorFunnel, SuccessfulCallSetsItsOutput) {
  const auto mode = host::scalar(0);
  const host::CallResult r = host::call(0, {mode.get()});
  ASSERT_FALSE(r.failed) << r.error;
  EXPECT_TRUE(r.hostFault.empty());
  ASSERT_EQ(r.outputs.size(), 1u);
  EXPECT_NE(r.outputs[0], nullptr);
}

TEST(StandaloneHost, ArraysFollowTheHostModel) {
  const auto a = host::make(mxSINGLE_CLASS, {2, 3, 4});
  EXPECT_EQ(mxGetM(a.get()), 2u);
  EXPECT_EQ(mxGetN(a.get()), 12u);  // product of the trailing dimensions
  EXPECT_EQ(mxGetNumberOfElements(a.get()), 24u);
  EXPECT_EQ(mxGetNumberOfDimensions(a.get()), 3u);
  for (float v : host::values<float>(a.get()))
    EXPECT_EQ(v, 0.0f);

  // Trailing singleton dimensions are dropped, as in the real hosts.
  const auto b = host::make(mxUINT8_CLASS, {4, 5, 1});
  EXPECT_EQ(mxGetNumberOfDimensions(b.get()), 2u);

  // An unfilled cell element: null as MATLAB's interface reads it, the empty matrix Octave
  // stores there.
  const auto c = host::make(mxCELL_CLASS, {1, 2});
#if defined(MOTIONSEG_STANDALONE_OCTAVE_TYPES)
  const mxArray* unfilled = mxGetCell(c.get(), 0);
  ASSERT_NE(unfilled, nullptr);
  EXPECT_TRUE(mxIsDouble(unfilled));
  EXPECT_EQ(host::dims(unfilled), (std::vector<mwSize>{0, 0}));
#else
  EXPECT_EQ(mxGetCell(c.get(), 0), nullptr);
#endif
}

TEST(StandaloneHost, DuplicateIsDeep) {
  std::vector<host::Array> elements;
  elements.push_back(host::make<std::uint32_t>({2, 1}, {5, 6}));
  const auto c = host::cell(std::move(elements));
  host::Array copy(mxDuplicateArray(c.get()));
  auto* inner = static_cast<std::uint32_t*>(mxGetData(mxGetCell(copy.get(), 0)));
  inner[0] = 9;
  EXPECT_EQ(host::values<std::uint32_t>(mxGetCell(c.get(), 0))[0], 5u);
}

// Empty arrays whose other dimensions multiply beyond mwSize exist in the hosts (and the
// plug-ins' checks must see them); arrays beyond the host's limit do not.
TEST(StandaloneHost, SizesAtTheLimitsOfStdSizeT) {
  const mwSize half = (std::numeric_limits<mwSize>::max() >> 1) + 1;
  const struct {
    std::vector<mwSize> dims;
    bool created;
  } cases[] = {
      {{half, 2, 0}, true},  // the product of the first two alone wraps
      {{0, half, half}, true}, {{half, 4, 1, 0}, true},
      {{half, 2, 1}, false},  // no zero dimension: too large
      {{half, 1}, false},     // beyond the host's 2^40-byte limit (or the address space)
  };
  for (const auto& c : cases) {
    bool created = false;
    try {
      const host::Array a = host::make(mxDOUBLE_CLASS, c.dims);
      created = true;
      EXPECT_EQ(mxGetNumberOfElements(a.get()), 0u);
      EXPECT_TRUE(mxIsEmpty(a.get()));
    } catch (const host::HostError& e) {
      EXPECT_EQ(e.id, "standalone:host");
    }
    EXPECT_EQ(created, c.created) << c.dims.size() << " dimensions, first " << c.dims[0];
  }
}

}  // namespace
