// Seconds of the grid matching alone on the real pairs of ../shared/data/flow (skipped when
// the folder is absent), at 1 and 2 threads, the fastest of a few runs, with a checksum of
// the three match tensors so that two builds can be compared run for run. The frames are
// prepared as the driver prepares them (presmoothing, histograms, confidence map).
// Arguments: [data folder [pair...]]; MOTIONSEG_BENCH_RUNS sets the runs per pair (3).
#include "bench/flow_pairs.h"
#include "flow/matching/descriptor_matching.h"
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "flow/driver/run_flow.h"
#include "flow/parallel/instruction_set.h"
#include "flow/parallel/thread_count.h"
#include "flow/parallel/thread_pool.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

/// FNV-1a over the bytes of the three tensors.
std::uint64_t checksum(const std::vector<const CTensor<float>*>& tensors) {
  std::uint64_t h = 1469598103934665603ull;
  for (const CTensor<float>* t : tensors) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(t->data());
    for (std::size_t i = 0; i < static_cast<std::size_t>(t->size()) * sizeof(float); ++i) {
      h ^= bytes[i];
      h *= 1099511628211ull;
    }
  }
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  const flowpairs::fs::path root = flowpairs::dataRoot(argc, argv);
  if (!flowpairs::fs::exists(root)) {
    std::printf("flow matching: no data folder %s, skipped\n", root.string().c_str());
    return 0;
  }
  const char* runsText = std::getenv("MOTIONSEG_BENCH_RUNS");
  const int runs = runsText ? std::max(1, std::atoi(runsText)) : 3;
  const std::vector<std::string> names = flowpairs::pairNames(root, argc, argv);
  std::printf("matching in seconds (fastest of %d), instruction set %s\n", runs,
              flowsimd::name(flowsimd::activeWidest()));
  double total[2] = {0, 0};
  for (const std::string& name : names) {
    flowpairs::Pair pair;
    std::string problem;
    if (!flowpairs::readPair(root / name, pair, problem)) {
      std::printf("%-28s unreadable: %s\n", name.c_str(), problem.c_str());
      continue;
    }
    flowdriver::presmooth(pair.image1, flowdriver::FlowParameters().sigma);
    flowdriver::presmooth(pair.image2, flowdriver::FlowParameters().sigma);
    CTensor<float> hog1, hog2;
    CMatrix<float> confidence;
    computeHOG(pair.image1, hog1);
    computeHOG(pair.image2, hog2);
    computeConfidence(pair.image1, pair.image2, confidence);
    std::printf("%-28s", name.c_str());
    for (int threads : {1, 2}) {
      flowthreads::Pool pool(threads);
      double fastest = 1e30;
      std::uint64_t sum = 0;
      for (int run = 0; run < runs; ++run) {
        CTensor<float> u, v, c;
        const auto t = Clock::now();
        flowmatch::match({pair.image1, pair.image2, hog1, hog2, confidence}, u, v, c, &pool,
                         threads, {});
        fastest = std::min(fastest, std::chrono::duration<double>(Clock::now() - t).count());
        sum = checksum({&u, &v, &c});
      }
      total[threads - 1] += fastest;
      std::printf("  %d thread(s) %7.3f", threads, fastest);
      if (threads == 1) std::printf(" %016llx", static_cast<unsigned long long>(sum));
    }
    std::printf("\n");
  }
  std::printf("%-28s  1 thread(s) %7.3f%18s  2 thread(s) %7.3f\n", "all pairs", total[0], "",
              total[1]);
  return 0;
}
