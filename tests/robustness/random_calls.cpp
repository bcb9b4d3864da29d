// The generator of mutated calls and the checking loop shared by every plug-in's
// robustness test (see random_calls.h).
#include "random_calls.h"

#include "tests/class_names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace robust {

std::vector<double> wave(std::size_t n, double scale, double offset) {
  std::vector<double> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = offset + scale * std::sin(0.7 * static_cast<double>(i) + 0.3);
  return v;
}

namespace {

using host::Array;
using Rng = std::mt19937;

// The largest array the generator builds (the seeds are far smaller).
constexpr std::size_t kLargestCount = 1 << 16;

std::size_t numel(const mxArray* a) {
  return a == nullptr ? 0 : mxGetNumberOfElements(a);
}

int below(Rng& rng, int n) {
  return n <= 1 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng);
}

bool chance(Rng& rng, double p) {
  return std::uniform_real_distribution<double>(0.0, 1.0)(rng) < p;
}

using plugintest::className;

std::string describe(const mxArray* a) {
  if (a == nullptr) return "unfilled";
  std::ostringstream s;
  const std::vector<mwSize> d = host::dims(a);
  for (std::size_t i = 0; i < d.size(); ++i)
    s << (i ? "x" : "") << d[i];
  s << ' ' << className(mxGetClassID(a));
  return s.str();
}

// Element access as double, whatever the numeric class.
template <class T>
double readAs(const mxArray* a, std::size_t i) {
  return static_cast<double>(static_cast<const T*>(mxGetData(a))[i]);
}

// Stores v as the host's conversion would: integers round and saturate, NaN becomes 0.
template <class T>
void writeAs(mxArray* a, std::size_t i, double v) {
  T* data = static_cast<T*>(mxGetData(a));
  if constexpr (std::is_floating_point_v<T>) {
    data[i] = static_cast<T>(v);
  } else {
    if (std::isnan(v)) v = 0;
    v = std::round(v);
    const double lo = static_cast<double>(std::numeric_limits<T>::lowest());
    const double hi = static_cast<double>(std::numeric_limits<T>::max());
    if (v <= lo) {
      data[i] = std::numeric_limits<T>::lowest();
    } else if (v >= hi) {
      data[i] = std::numeric_limits<T>::max();
    } else {
      data[i] = static_cast<T>(v);
    }
  }
}

double get(const mxArray* a, std::size_t i) {
  switch (mxGetClassID(a)) {
    case mxLOGICAL_CLASS:
      return static_cast<const mxLogical*>(mxGetData(a))[i] ? 1 : 0;
    case mxCHAR_CLASS:
      return readAs<std::uint8_t>(a, i);
    case mxDOUBLE_CLASS:
      return readAs<double>(a, i);
    case mxSINGLE_CLASS:
      return readAs<float>(a, i);
    case mxINT8_CLASS:
      return readAs<std::int8_t>(a, i);
    case mxUINT8_CLASS:
      return readAs<std::uint8_t>(a, i);
    case mxINT16_CLASS:
      return readAs<std::int16_t>(a, i);
    case mxUINT16_CLASS:
      return readAs<std::uint16_t>(a, i);
    case mxINT32_CLASS:
      return readAs<std::int32_t>(a, i);
    case mxUINT32_CLASS:
      return readAs<std::uint32_t>(a, i);
    case mxINT64_CLASS:
      return readAs<std::int64_t>(a, i);
    case mxUINT64_CLASS:
      return readAs<std::uint64_t>(a, i);
    default:
      return 0;
  }
}

void set(mxArray* a, std::size_t i, double v) {
  switch (mxGetClassID(a)) {
    case mxLOGICAL_CLASS:
      static_cast<mxLogical*>(mxGetData(a))[i] = !(v == 0 || std::isnan(v));
      break;
    case mxCHAR_CLASS:
      writeAs<std::uint8_t>(a, i, v);
      break;
    case mxDOUBLE_CLASS:
      writeAs<double>(a, i, v);
      break;
    case mxSINGLE_CLASS:
      writeAs<float>(a, i, v);
      break;
    case mxINT8_CLASS:
      writeAs<std::int8_t>(a, i, v);
      break;
    case mxUINT8_CLASS:
      writeAs<std::uint8_t>(a, i, v);
      break;
    case mxINT16_CLASS:
      writeAs<std::int16_t>(a, i, v);
      break;
    case mxUINT16_CLASS:
      writeAs<std::uint16_t>(a, i, v);
      break;
    case mxINT32_CLASS:
      writeAs<std::int32_t>(a, i, v);
      break;
    case mxUINT32_CLASS:
      writeAs<std::uint32_t>(a, i, v);
      break;
    case mxINT64_CLASS:
      writeAs<std::int64_t>(a, i, v);
      break;
    case mxUINT64_CLASS:
      writeAs<std::uint64_t>(a, i, v);
      break;
    default:
      break;
  }
}

Array clone(const mxArray* a);

// Places an owned array into a cell (the cell takes it over).
void put(mxArray* c, std::size_t i, Array element) {
  mxSetCell(c, i, element.release());
}

// A new array of a's class with the given dimensions, filled from a's elements in linear
// order, repeated cyclically when the new array is larger (so labels stay labels).
Array reshaped(const mxArray* a, std::vector<mwSize> dims) {
  const mxClassID id = mxGetClassID(a);
  Array b = host::make(id, std::move(dims));
  const std::size_t from = numel(a), to = numel(b.get());
  if (from == 0) return b;
  for (std::size_t i = 0; i < to; ++i) {
    if (id == mxCELL_CLASS) {
      const mxArray* e = mxGetCell(a, i % from);
      if (e != nullptr) put(b.get(), i, clone(e));
    } else {
      std::memcpy(static_cast<char*>(mxGetData(b.get())) + i * mxGetElementSize(a),
                  static_cast<const char*>(mxGetData(a)) + (i % from) * mxGetElementSize(a),
                  mxGetElementSize(a));
    }
  }
  return b;
}

Array clone(const mxArray* a) {
  if (a == nullptr) return nullptr;
  return reshaped(a, host::dims(a));
}

// The element values carried over into another numeric class; a cell becomes its first
// element converted (or zeros), a numeric array becomes a 1-by-1 cell holding it.
Array converted(const mxArray* a, mxClassID id) {
  if (id == mxCELL_CLASS) {
    Array c = host::make(mxCELL_CLASS, {1, 1});
    put(c.get(), 0, clone(a));
    return c;
  }
  if (mxGetClassID(a) == mxCELL_CLASS) {
    const mxArray* first = numel(a) > 0 ? mxGetCell(a, 0) : nullptr;
    if (first != nullptr && mxGetClassID(first) != mxCELL_CLASS) return converted(first, id);
    return host::make(id, host::dims(a));
  }
  Array b = host::make(id, host::dims(a));
  for (std::size_t i = 0; i < numel(a); ++i)
    set(b.get(), i, get(a, i));
  return b;
}

const mxClassID kClasses[] = {mxDOUBLE_CLASS, mxSINGLE_CLASS, mxLOGICAL_CLASS, mxUINT8_CLASS,
                              mxINT16_CLASS,  mxUINT16_CLASS, mxUINT32_CLASS,  mxINT32_CLASS,
                              mxINT8_CLASS,   mxUINT64_CLASS, mxCHAR_CLASS,    mxCELL_CLASS};

// A small array of a random class and shape, with small random values.
Array randomArray(Rng& rng) {
  const mxClassID id = kClasses[below(rng, std::size(kClasses) - 1)];  // no cells here
  std::vector<mwSize> dims = {static_cast<mwSize>(below(rng, 4)),
                              static_cast<mwSize>(below(rng, 4))};
  if (chance(rng, 0.2)) dims.push_back(static_cast<mwSize>(1 + below(rng, 3)));
  Array a = host::make(id, dims);
  for (std::size_t i = 0; i < numel(a.get()); ++i)
    set(a.get(), i, below(rng, 6));
  return a;
}

double largest(const mxArray* a) {
  double m = 0;
  for (std::size_t i = 0; i < numel(a); ++i) {
    const double v = get(a, i);
    if (!std::isnan(v)) m = std::max(m, v);
  }
  return m;
}

// A value chosen to hit the edges of ranges: signs, non-numbers, the integer limits, a label
// one above the largest present.
double extremeValue(Rng& rng, const mxArray* a) {
  const double values[] = {0,
                           -1,
                           1,
                           NAN,
                           INFINITY,
                           -INFINITY,
                           1e300,
                           -1e300,
                           0.5,
                           -0.5,
                           32767,
                           -32768,
                           65535,
                           65536,
                           2147483647.0,
                           2147483648.0,
                           4294967295.0,
                           4294967296.0,
                           1e-40,
                           largest(a) + 1};
  return values[below(rng, std::size(values))];
}

// Changes the values of a numeric or logical array in place.
void mutateValues(Rng& rng, mxArray* a, std::string& log) {
  const std::size_t n = numel(a);
  if (n == 0) return;
  switch (below(rng, 4)) {
    case 0: {  // one element
      const std::size_t i = below(rng, static_cast<int>(n));
      const double v = extremeValue(rng, a);
      set(a, i, v);
      log += " value[" + std::to_string(i) + "]=" + std::to_string(v);
      break;
    }
    case 1: {  // every element
      const double v = extremeValue(rng, a);
      for (std::size_t i = 0; i < n; ++i)
        set(a, i, v);
      log += " all=" + std::to_string(v);
      break;
    }
    case 2: {  // small random values around the present range
      const int top = static_cast<int>(std::min(largest(a), 1000.0)) + 2;
      for (std::size_t i = 0; i < n; ++i)
        set(a, i, below(rng, top + 2) - 1);
      log += " scramble";
      break;
    }
    default: {  // a few elements
      for (int k = 0; k < 3; ++k)
        set(a, below(rng, static_cast<int>(n)), extremeValue(rng, a));
      log += " values";
      break;
    }
  }
}

// A changed shape: transposed, an empty dimension, extra trailing dimensions, one element
// fewer or more.
Array mutateDims(Rng& rng, const mxArray* a, std::string& log) {
  std::vector<mwSize> d = host::dims(a);
  const std::size_t n = numel(a);
  switch (below(rng, 8)) {
    case 0: {  // transpose (a real transpose of the first two dimensions)
      std::vector<mwSize> t = d;
      std::swap(t[0], t[1]);
      Array b = host::make(mxGetClassID(a), t);
      const std::size_t m = d[0], plane = d[0] * d[1];
      for (std::size_t i = 0; i < n; ++i) {
        const std::size_t p = i / (plane ? plane : 1), r = i % (plane ? plane : 1);
        const std::size_t row = r % m, col = r / m;
        const std::size_t j = p * plane + row * d[1] + col;
        if (mxGetClassID(a) == mxCELL_CLASS) {
          if (mxGetCell(a, i) != nullptr) put(b.get(), j, clone(mxGetCell(a, i)));
        } else {
          set(b.get(), j, get(a, i));
        }
      }
      log += " transpose";
      return b;
    }
    case 1:
      d[below(rng, static_cast<int>(d.size()))] = 0;
      log += " zero-dim";
      break;
    case 2:
      d.push_back(static_cast<mwSize>(2 + below(rng, 2)));
      log += " extra-dim";
      break;
    case 3:
      if (d.size() > 2) {
        d.pop_back();
      } else {
        d = {static_cast<mwSize>(n), 1};
      }
      log += " fewer-dims";
      break;
    case 4: {
      const std::size_t k = below(rng, static_cast<int>(d.size()));
      d[k] = chance(rng, 0.5) ? d[k] + 1 : (d[k] > 0 ? d[k] - 1 : 1);
      log += " dim" + std::to_string(k) + "+-1";
      break;
    }
    case 5:
      d = chance(rng, 0.5) ? std::vector<mwSize>{static_cast<mwSize>(n + 1), 1}
                           : std::vector<mwSize>{1, static_cast<mwSize>(n ? n - 1 : 0)};
      log += " numel+-1";
      break;
    case 6: {  // no elements, but a dimension beyond the 15-, 16- and 31-bit ranges
      const mwSize huge[] = {40000, 70000, mwSize{1} << 20, mwSize{1} << 31};
      const std::size_t k = below(rng, static_cast<int>(d.size()));
      d[k] = 0;
      d[(k + 1) % d.size()] = huge[below(rng, 4)];
      log += " huge-empty";
      break;
    }
    default:
      d = {0, 0};
      log += " empty";
      break;
  }
  // A further change of a huge empty array would ask for billions of elements: keep the
  // arrays the harness itself builds small.
  bool empty = false, tooLarge = false;
  std::size_t count = 1;
  for (mwSize x : d) {
    empty = empty || x == 0;
    if (x != 0 && !tooLarge) {
      tooLarge = count > kLargestCount / x;
      count *= x;
    }
  }
  if (tooLarge && !empty) d[0] = 0;
  return reshaped(a, d);
}

Array mutateArray(Rng& rng, const mxArray* a, std::string& log, int depth = 0);

// Changes of a cell array: fewer or more cells, unfilled or empty cells, a changed element.
Array mutateCell(Rng& rng, const mxArray* a, std::string& log, int depth) {
  const std::size_t n = numel(a);
  switch (below(rng, 6)) {
    case 0:
      log += " fewer-cells";
      return reshaped(a, {1, static_cast<mwSize>(n ? n - 1 : 0)});
    case 1:
      log += " more-cells";
      return reshaped(a, {1, static_cast<mwSize>(n + 1)});
    case 2: {
      if (n == 0) break;
      Array b = clone(a);
      const std::size_t i = below(rng, static_cast<int>(n));
      mxSetCell(b.get(), i, nullptr);
      log += " unfilled[" + std::to_string(i) + "]";
      return b;
    }
    case 3: {
      if (n == 0) break;
      Array b = clone(a);
      const std::size_t i = below(rng, static_cast<int>(n));
      const mxArray* e = mxGetCell(a, i);
      put(b.get(), i, host::make(e ? mxGetClassID(e) : mxDOUBLE_CLASS, {0, 0}));
      log += " empty-cell[" + std::to_string(i) + "]";
      return b;
    }
    default: {
      if (n == 0) break;
      Array b = clone(a);
      const std::size_t i = below(rng, static_cast<int>(n));
      const mxArray* e = mxGetCell(a, i);
      log += " cell[" + std::to_string(i) + "]:";
      put(b.get(), i, e ? mutateArray(rng, e, log, depth + 1) : randomArray(rng));
      return b;
    }
  }
  log += " (cell unchanged)";
  return clone(a);
}

Array mutateArray(Rng& rng, const mxArray* a, std::string& log, int depth) {
  if (mxGetClassID(a) == mxCELL_CLASS && depth < 2 && chance(rng, 0.5)) {
    return mutateCell(rng, a, log, depth);
  }
  const int what = below(rng, 10);
  if (what < 2) {
    const mxClassID id = kClasses[below(rng, std::size(kClasses))];
    log += std::string(" class->") + className(id);
    return converted(a, id);
  }
  if (what < 5) return mutateDims(rng, a, log);
  if (what < 6 && numel(a) == 1) {
    log += " scalar->empty";
    return host::make(mxGetClassID(a), {0, 0});
  }
  Array b = clone(a);
  if (mxGetClassID(a) == mxCELL_CLASS) {
    const std::size_t n = numel(a);
    if (n == 0) return b;
    const std::size_t i = below(rng, static_cast<int>(n));
    const mxArray* e = mxGetCell(a, i);
    if (e == nullptr || mxGetClassID(e) == mxCELL_CLASS) return b;
    Array changed = clone(e);
    log += " cell[" + std::to_string(i) + "]:";
    mutateValues(rng, changed.get(), log);
    put(b.get(), i, std::move(changed));
  } else {
    mutateValues(rng, b.get(), log);
  }
  return b;
}

// One mutated call derived from a seed.
struct Call {
  std::vector<Array> args;
  int nlhs = 1;
  std::string log;
};

Call mutatedCall(Rng& rng, const Seed& seed, int maxNlhs) {
  Call c;
  for (const Array& a : seed.args)
    c.args.push_back(clone(a.get()));
  c.nlhs = seed.nlhs;
  c.log = seed.name + ":";
  // One change in half of the calls, two in a quarter, ... up to six.
  int steps = 1;
  while (steps < 6 && chance(rng, 0.5))
    ++steps;
  for (int s = 0; s < steps; ++s) {
    const int what = below(rng, 20);
    if (what < 2 && !c.args.empty()) {  // drop an argument, usually the last
      const std::size_t i =
          chance(rng, 0.6) ? c.args.size() - 1 : below(rng, static_cast<int>(c.args.size()));
      c.args.erase(c.args.begin() + i);
      c.log += " drop#" + std::to_string(i + 1);
    } else if (what < 4) {  // add an argument: a copy of another or a random array
      Array extra = !c.args.empty() && chance(rng, 0.5)
                        ? clone(c.args[below(rng, static_cast<int>(c.args.size()))].get())
                        : randomArray(rng);
      c.log += " add(" + describe(extra.get()) + ")";
      c.args.push_back(std::move(extra));
    } else if (what < 5 && c.args.size() > 1) {  // swap two arguments
      const std::size_t i = below(rng, static_cast<int>(c.args.size()));
      const std::size_t j = below(rng, static_cast<int>(c.args.size()));
      std::swap(c.args[i], c.args[j]);
      c.log += " swap#" + std::to_string(i + 1) + "#" + std::to_string(j + 1);
    } else if (what < 7) {
      c.nlhs = below(rng, maxNlhs + 1);
      c.log += " nlhs=" + std::to_string(c.nlhs);
    } else if (!c.args.empty()) {
      const std::size_t i = below(rng, static_cast<int>(c.args.size()));
      c.log += " #" + std::to_string(i + 1);
      c.args[i] = mutateArray(rng, c.args[i].get(), c.log);
    }
  }
  return c;
}

std::vector<const mxArray*> pointers(const std::vector<Array>& args) {
  std::vector<const mxArray*> p;
  for (const Array& a : args)
    p.push_back(a.get());
  return p;
}

// The same class, dimensions and bytes.
bool sameArray(const mxArray* a, const mxArray* b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (mxGetClassID(a) != mxGetClassID(b) || host::dims(a) != host::dims(b)) return false;
  if (mxGetClassID(a) == mxCELL_CLASS) {
    for (std::size_t i = 0; i < numel(a); ++i) {
      if (!sameArray(mxGetCell(a, i), mxGetCell(b, i))) return false;
    }
    return true;
  }
  return std::memcmp(mxGetData(a), mxGetData(b), numel(a) * mxGetElementSize(a)) == 0;
}

// Whether an error identifier is motionseg:NAME:KIND, NAME this plug-in and KIND a word of the
// gateway's vocabulary, or the host's own (an output it cannot create).
bool wellFormedId(const std::string& id) {
  if (id == "standalone:host") return true;
  static const char* const kinds[] = {"nargin", "nargout", "class",  "size",
                                      "value",  "memory",  "system", "internal"};
  const std::string prefix = std::string("motionseg:") + mexFunctionName() + ":";
  if (id.compare(0, prefix.size(), prefix) != 0) return false;
  const std::string kind = id.substr(prefix.size());
  return std::find(std::begin(kinds), std::end(kinds), kind) != std::end(kinds);
}

// The promise every call keeps, whatever its arguments. Returns whether it computed.
bool checkCall(const Call& c, const host::CallResult& r) {
  EXPECT_TRUE(r.inputsUnchanged) << "an input was written: " << c.log;
  if (r.failed) {
    EXPECT_FALSE(r.error.empty()) << "an error without a text: " << c.log;
    EXPECT_TRUE(wellFormedId(r.errorId))
        << "error identifier \"" << r.errorId << "\" for \"" << r.error << "\": " << c.log;
    return false;
  }
  EXPECT_TRUE(r.hostFault.empty()) << r.hostFault << ": " << c.log;
  EXPECT_EQ(r.outputs.size(), static_cast<std::size_t>(std::max(c.nlhs, 1))) << c.log;
  return true;
}

TEST(RandomCalls, SeedsComputeDocumentedOutputs) {
  const Plan p = plan();
  ASSERT_FALSE(p.seeds.empty());
  for (const Seed& s : p.seeds) {
    SCOPED_TRACE(s.name);
    const host::CallResult r = host::call(s.nlhs, pointers(s.args));
    ASSERT_FALSE(r.failed) << r.error;
    ASSERT_TRUE(r.hostFault.empty()) << r.hostFault;
    EXPECT_TRUE(r.inputsUnchanged);
    ASSERT_EQ(s.outputs.size(), static_cast<std::size_t>(std::max(s.nlhs, 1)));
    for (std::size_t k = 0; k < s.outputs.size(); ++k) {
      const mxArray* out = r.outputs[k].get();
      ASSERT_NE(out, nullptr) << "output " << k + 1;
      EXPECT_EQ(className(mxGetClassID(out)), std::string(className(s.outputs[k].id)))
          << "output " << k + 1;
      EXPECT_EQ(host::dims(out), s.outputs[k].dims) << "output " << k + 1;
    }
  }
}

TEST(RandomCalls, EveryCallFailsCleanlyOrReturnsItsOutputs) {
  Plan p = plan();
  ASSERT_FALSE(p.seeds.empty());
  // Fixed by default; ROBUST_CALLS and ROBUST_SEED widen a search by hand.
  unsigned seedValue = 20260611u;
  if (const char* env = std::getenv("ROBUST_SEED")) seedValue = std::strtoul(env, nullptr, 10);
  if (const char* env = std::getenv("ROBUST_CALLS")) p.calls = std::atoi(env);
  ASSERT_GT(p.calls, 0);
  Rng rng(seedValue);
  int computed = 0, checkedTwice = 0;
  for (int k = 0; k < p.calls; ++k) {
    const Seed& seed = p.seeds[below(rng, static_cast<int>(p.seeds.size()))];
    const Call c = mutatedCall(rng, seed, p.maxNlhs);
    const host::CallResult r = host::call(c.nlhs, pointers(c.args));
    if (checkCall(c, r)) ++computed;
    // Every fifth call is repeated: the same arguments must give the same answer, which
    // catches reads of uninitialised memory and state kept between calls.
    if (k % 5 == 0) {
      const host::CallResult again = host::call(c.nlhs, pointers(c.args));
      ++checkedTwice;
      EXPECT_EQ(again.failed, r.failed) << c.log;
      EXPECT_EQ(again.error, r.error) << c.log;
      EXPECT_EQ(again.errorId, r.errorId) << c.log;
      EXPECT_EQ(again.printed, r.printed) << c.log;
      if (!r.failed && !again.failed && again.outputs.size() == r.outputs.size()) {
        for (std::size_t o = 0; o < r.outputs.size(); ++o)
          EXPECT_TRUE(sameArray(r.outputs[o].get(), again.outputs[o].get()))
              << "output " << o + 1 << " differs on a repeated call: " << c.log;
      }
    }
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << "stopped after call " << k + 1 << ": " << c.log;
      return;
    }
  }
  const double share = static_cast<double>(computed) / p.calls;
  std::printf("%d mutated calls (%d repeated), %d computed (%.0f%%)\n", p.calls, checkedTwice,
              computed, 100 * share);
  // The mutations must reach the computation, and must also reach the checks.
  EXPECT_GE(share, p.minSuccessShare);
  EXPECT_LT(computed, p.calls);
}

// The generator must produce every kind of change it claims to, for this plug-in's seeds (a
// branch that is never taken would leave its faults unexercised).
TEST(RandomCalls, MutationsCoverEveryKind) {
  const Plan p = plan();
  ASSERT_FALSE(p.seeds.empty());
  bool cells = false, scalars = false;
  for (const Seed& s : p.seeds) {
    for (const Array& a : s.args) {
      cells = cells || mxGetClassID(a.get()) == mxCELL_CLASS;
      scalars = scalars || numel(a.get()) == 1;
    }
  }
  std::vector<std::string> kinds = {
      " drop#",        " add(",          " swap#",      " nlhs=0",   " nlhs=4",    " class->cell",
      " class->uint8", " class->single", " transpose",  " zero-dim", " extra-dim", " fewer-dims",
      " numel+-1",     " empty",         " huge-empty", " value[",   " all=nan",   " all=inf",
      " all=-1",       " scramble",      " values"};
  if (cells) {
    for (const char* k : {" unfilled[", " empty-cell[", " fewer-cells", " more-cells", " cell["})
      kinds.push_back(k);
  }
  if (scalars) kinds.push_back(" scalar->empty");
  Rng rng(7u);
  std::string logs;
  for (int k = 0; k < 4000; ++k)
    logs += mutatedCall(rng, p.seeds[below(rng, static_cast<int>(p.seeds.size()))], 4).log;
  for (const std::string& kind : kinds)
    EXPECT_NE(logs.find(kind), std::string::npos) << "never generated:" << kind;
}

}  // namespace
}  // namespace robust
