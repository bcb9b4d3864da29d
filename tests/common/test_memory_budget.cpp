#include "common/memory_budget.h"

#include "tests/platform/environment.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

using membudget::Bytes;

constexpr std::uint64_t kMax = UINT64_MAX;

TEST(MemoryBudget, BytesSaturateInsteadOfWrapping) {
  EXPECT_EQ(Bytes::product({65535, 65535, 4}).value(), 17179344900ull);
  EXPECT_TRUE(Bytes::product({1ull << 32, 1ull << 32}).saturated());
  EXPECT_TRUE((Bytes(kMax - 1) + Bytes(2)).saturated());
  // A saturated count stays saturated through later steps.
  EXPECT_TRUE((Bytes::product({1ull << 40, 1ull << 40}) * 1).saturated());
  EXPECT_EQ((Bytes(kMax - 2) + Bytes(2)).value(), kMax);
  EXPECT_FALSE(membudget::fits(Bytes(kMax), membudget::Limit{kMax, "", ""}));
}

TEST(MemoryBudget, SizesInEverydayNotation) {
  const struct {
    const char* text;
    std::optional<std::uint64_t> bytes;
  } cases[] = {
      {"8G", 8000000000ull},    {"8GB", 8000000000ull},   {"8 GiB", 8589934592ull},
      {"512M", 512000000ull},   {"512mib", 536870912ull}, {"1.5G", 1500000000ull},
      {"1000000", 1000000ull},  {" 42 ", 42ull},          {"2k", 2000ull},
      {"1T", 1000000000000ull}, {"0", std::nullopt},      {"-1G", std::nullopt},
      {"", std::nullopt},       {"G", std::nullopt},      {"12X", std::nullopt},
      {"1e30", std::nullopt},   {"nan", std::nullopt},    {"inf", std::nullopt},
      {"5i", std::nullopt},     {"0.0001", std::nullopt}, {"20000000T", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(membudget::parseSize(c.text), c.bytes) << '"' << c.text << '"';
}

TEST(MemoryBudget, FormatsThreeSignificantDigits) {
  const struct {
    std::uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0 bytes"},
      {1, "1 byte"},
      {999, "999 bytes"},
      {1000, "1.00 kB"},
      {12345, "12.3 kB"},
      {999499, "999 kB"},
      {999500, "1.00 MB"},
      {34359738368ull, "34.4 GB"},
      {23100000000ull, "23.1 GB"},
      {kMax, "18.4 EB"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(membudget::formatBytes(c.bytes), c.text) << c.bytes;
}

TEST(MemoryBudget, MemAvailableFromMeminfo) {
  const std::string meminfo =
      "MemTotal:       24576000 kB\nMemFree:         1000 kB\nMemAvailable:   22558720 kB\n";
  EXPECT_EQ(membudget::parseMemAvailable(meminfo), 22558720ull * 1024);
  EXPECT_EQ(membudget::parseMemAvailable("MemTotal: 5 kB\n"), std::nullopt);
  EXPECT_EQ(membudget::parseMemAvailable("MemAvailableX: 5 kB\n"), std::nullopt);
}

TEST(MemoryBudget, SmallestBoundWinsAndSaysWhy) {
  using membudget::combineLimit;
  auto limit = combineLimit(23100000000ull, 1, std::nullopt, nullptr);
  EXPECT_EQ(limit.bytes, 23100000000ull);
  EXPECT_EQ(limit.description, "this machine has 23.1 GB available");

  limit = combineLimit(std::nullopt, 8000000000ull, std::nullopt, "");
  EXPECT_EQ(limit.bytes, 8000000000ull);

  limit = combineLimit(23100000000ull, 1, 2000000000ull, nullptr);
  EXPECT_EQ(limit.bytes, 2000000000ull);
  EXPECT_EQ(limit.description, "the process's address-space limit leaves 2.00 GB available");

  limit = combineLimit(23100000000ull, 1, 2000000000ull, "1G");
  EXPECT_EQ(limit.bytes, 1000000000ull);
  EXPECT_EQ(limit.description, "the limit MOTIONSEG_MEMORY_LIMIT=1G allows 1.00 GB");
  EXPECT_TRUE(limit.problem.empty());

  // A ceiling above what the machine has does not raise the limit.
  limit = combineLimit(1000ull, 1, std::nullopt, "1T");
  EXPECT_EQ(limit.bytes, 1000ull);

  limit = combineLimit(1000ull, 1, std::nullopt, "lots");
  EXPECT_EQ(
      limit.problem,
      "MOTIONSEG_MEMORY_LIMIT is \"lots\"; set it to a size such as 8G or 512M, or unset it.");
}

TEST(MemoryBudget, CurrentLimitFollowsTheEnvironment) {
  const membudget::Limit machine = membudget::currentLimit();
  ASSERT_GT(machine.bytes, 1000000u);
  ASSERT_EQ(setenv(membudget::kLimitVariable, "1M", 1), 0);
  const membudget::Limit capped = membudget::currentLimit();
  ASSERT_EQ(unsetenv(membudget::kLimitVariable), 0);
  EXPECT_EQ(capped.bytes, 1000000u);
  EXPECT_EQ(capped.description, "the limit MOTIONSEG_MEMORY_LIMIT=1M allows 1.00 MB");
}

}  // namespace
