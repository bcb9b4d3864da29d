// The runner of the plug-in digests (see plugin_digests.h): every call of the linked
// plug-in's plan, in every setting, compared with its recorded digest.
#include "plugin_digests.h"

#include "tests/class_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace digest {

std::uint64_t fnv1a(const void* data, std::size_t bytes, std::uint64_t hash) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (std::size_t i = 0; i < bytes; ++i) {
    hash ^= p[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

namespace {

constexpr std::uint64_t kOffsetBasis = 0xcbf29ce484222325ull;

std::uint64_t hashText(const std::string& text, std::uint64_t hash) {
  const std::uint64_t length = text.size();
  hash = fnv1a(&length, sizeof length, hash);
  return fnv1a(text.data(), text.size(), hash);
}

std::uint64_t hashArray(const mxArray* a, std::uint64_t hash) {
  if (a == nullptr) return hashText("unset", hash);
  hash = hashText(plugintest::className(mxGetClassID(a)), hash);
  const std::uint64_t rank = mxGetNumberOfDimensions(a);
  hash = fnv1a(&rank, sizeof rank, hash);
  for (std::uint64_t d = 0; d < rank; ++d) {
    const std::uint64_t size = mxGetDimensions(a)[d];
    hash = fnv1a(&size, sizeof size, hash);
  }
  const std::size_t count = mxGetNumberOfElements(a);
  if (mxIsCell(a)) {
    for (std::size_t i = 0; i < count; ++i)
      hash = hashArray(mxGetCell(a, static_cast<mwIndex>(i)), hash);
  } else if (mxGetClassID(a) == mxCHAR_CLASS) {
    const mxChar* chars = static_cast<const mxChar*>(mxGetData(a));
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint16_t code = static_cast<std::uint16_t>(chars[i]);
      hash = fnv1a(&code, sizeof code, hash);
    }
  } else if (count > 0) {
    hash = fnv1a(mxGetData(a), count * mxGetElementSize(a), hash);
  }
  return hash;
}

std::string hex(std::uint64_t value) {
  char text[19];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(value));
  return text;
}

void runCalls(const Plan& p, const std::string& setting) {
  for (const Call& c : p.calls) {
    const std::vector<host::Array> inputs = c.arguments();
    std::vector<const mxArray*> pointers;
    for (const host::Array& a : inputs)
      pointers.push_back(a.get());
    const host::CallResult r = host::call(c.nlhs, pointers);
    EXPECT_FALSE(r.failed) << c.name << ": " << r.error;  // every call is a valid one
    EXPECT_FALSE(r.interrupted) << c.name;
    EXPECT_TRUE(r.hostFault.empty()) << c.name << ": " << r.hostFault;
    EXPECT_TRUE(r.inputsUnchanged) << c.name;
    EXPECT_EQ(hex(digestOf(r)), hex(c.digest))
        << c.name << setting << (r.failed ? " (failed: " + r.error + ")" : std::string());
  }
}

}  // namespace

std::uint64_t digestOf(const host::CallResult& result) {
  std::uint64_t hash = kOffsetBasis;
  if (result.failed) return hashText("error " + result.error, hash);
  hash = hashText(result.printed, hash);
  const std::uint64_t slots = result.outputs.size();
  hash = fnv1a(&slots, sizeof slots, hash);
  for (const host::Array& out : result.outputs)
    hash = hashArray(out.get(), hash);
  return hash;
}

TEST(PluginDigests, SameOnEveryPlatform) {
  const Plan p = plan();
  ASSERT_FALSE(p.calls.empty());
  if (p.settings.empty()) {
    runCalls(p, "");
    return;
  }
  int applied = 0;
  for (const Setting& s : p.settings) {
    // A path this processor or build lacks is skipped; the log names the settings run.
    const bool here = s.apply();
    std::printf("[ SETTING  ] %s%s\n", s.name.c_str(), here ? "" : ": not on this processor");
    if (!here) continue;
    ++applied;
    runCalls(p, " (" + s.name + ")");
  }
  if (p.restore) p.restore();
  EXPECT_GT(applied, 0);
}

// The digest itself: every part of an output reaches it.
TEST(PluginDigests, DigestSeesClassSizeBytesAndText) {
  const auto result = [](host::Array a, std::string printed = "") {
    host::CallResult r;
    r.printed = std::move(printed);
    r.outputs.push_back(std::move(a));
    return r;
  };
  const std::uint64_t base = digestOf(result(make<std::uint8_t>({2, 3}, {1, 2, 3, 4, 5, 6})));
  const std::uint64_t changed[] = {
      digestOf(result(make<std::uint8_t>({2, 3}, {1, 2, 3, 4, 5, 7}))),
      digestOf(result(make<std::uint8_t>({3, 2}, {1, 2, 3, 4, 5, 6}))),
      digestOf(result(make<std::int8_t>({2, 3}, {1, 2, 3, 4, 5, 6}))),
      digestOf(result(make<std::uint8_t>({2, 1, 3}, {1, 2, 3, 4, 5, 6}))),
      digestOf(result(make<std::uint8_t>({2, 3}, {1, 2, 3, 4, 5, 6}), "x")),
      digestOf(result(cellOf(make<std::uint8_t>({2, 3}, {1, 2, 3, 4, 5, 6})))),
      digestOf(result(nullptr)),
  };
  for (std::size_t k = 0; k < sizeof changed / sizeof changed[0]; ++k)
    EXPECT_NE(changed[k], base) << "variant " << k;
  EXPECT_EQ(digestOf(result(make<std::uint8_t>({2, 3}, {1, 2, 3, 4, 5, 6}))), base);
}

}  // namespace digest
