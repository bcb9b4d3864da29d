// Random-call robustness harness: each plug-in's test executable supplies a few valid calls
// ("seeds"); the harness checks them, then derives many mutated calls from them (arguments
// dropped or added, classes and shapes changed, cells emptied, extreme values) and checks
// that every call either ends with an error text or returns every requested output, and
// never writes into its inputs. Built with the sanitizers, it also catches any read or
// write outside an array.
#ifndef MOTIONSEG_TESTS_ROBUSTNESS_RANDOM_CALLS_H
#define MOTIONSEG_TESTS_ROBUSTNESS_RANDOM_CALLS_H

#include "gateway/standalone/host.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace robust {

// The vocabulary of the seed files.
using host::make;
using host::scalar;
using std::int16_t;
using std::uint16_t;
using std::uint32_t;
using std::uint8_t;

/// The documented class and size of one output of a valid call.
struct Output {
  mxClassID id;
  std::vector<mwSize> dims;
};

/// A valid call: its arguments, the outputs requested and what they must look like.
struct Seed {
  std::string name;
  std::vector<host::Array> args;
  int nlhs = 1;
  std::vector<Output> outputs;
};

/// What a plug-in's test executable gives the harness.
struct Plan {
  std::vector<Seed> seeds;
  int calls = 3000;               ///< mutated calls to make
  double minSuccessShare = 0.10;  ///< mutated calls that must still compute
  int maxNlhs = 4;                ///< largest nlhs tried
};

/// Defined once per plug-in, in its seeds file.
Plan plan();

/// Argument-list builder: args(a, b, c) moves the arrays into a vector.
template <class... A>
std::vector<host::Array> args(A&&... a) {
  std::vector<host::Array> v;
  (v.push_back(std::forward<A>(a)), ...);
  return v;
}

/// A 1-by-n cell array of the given arrays.
template <class... A>
host::Array cellOf(A&&... a) {
  return host::cell(args(std::forward<A>(a)...));
}

/// n values first, first + step, ... taken modulo period and shifted by first (labels, pixels).
template <class T>
std::vector<T> cycle(std::size_t n, long period, long first = 0, long step = 1) {
  std::vector<T> v(n);
  for (std::size_t i = 0; i < n; ++i)
    v[i] = static_cast<T>(first + (static_cast<long>(i) * step) % period);
  return v;
}

/// n smooth real values of both signs (fields, speeds, images when scaled).
std::vector<double> wave(std::size_t n, double scale = 1.0, double offset = 0.0);

/// Adds a seed to a plan.
inline void add(Plan& p, std::string name, std::vector<host::Array> arguments, int nlhs,
                std::vector<Output> outputs) {
  Seed s;
  s.name = std::move(name);
  s.args = std::move(arguments);
  s.nlhs = nlhs;
  s.outputs = std::move(outputs);
  p.seeds.push_back(std::move(s));
}

}  // namespace robust

#endif  // MOTIONSEG_TESTS_ROBUSTNESS_RANDOM_CALLS_H
