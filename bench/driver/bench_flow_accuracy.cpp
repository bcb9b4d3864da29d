// Accuracy and time of the whole flow driver (presmoothing, descriptor matching, variational
// solver; the computation behind denseMotion) on the real frame pairs of ../shared/data/flow.
// For every pair it prints the average endpoint error over the pixels with a known reference
// vector (|u|, |v| <= 1e9, and not marked in invalid10.png where a pair has one), the same over
// the pixels not marked occluded in occ10.png where a pair has one, and the time of runFlow.
// Usage: bench_flow_accuracy [data folder [pair name ...]]. Exits 0, printing a note, when
// the folder is absent.
#include "bench/flow_pairs.h"
#include "flow/driver/run_flow.h"
#include "flow/parallel/thread_count.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  namespace fs = flowpairs::fs;
  const fs::path root = flowpairs::dataRoot(argc, argv);
  if (!fs::is_directory(root)) {
    std::printf("no frame pairs at %s: skipped\n", root.string().c_str());
    return 0;
  }
  const flowdriver::FlowParameters d;
  std::printf("runFlow with sigma %g, alpha %g, beta %g, gamma %g\n", d.sigma, d.alpha, d.beta,
              d.gamma);
  std::printf("%-28s %10s %10s %12s %9s\n", "pair", "size", "AEE (px)", "AEE noc (px)", "time (s)");
  double totalSeconds = 0;
  int pairs = 0;
  for (const std::string& name : flowpairs::pairNames(root, argc, argv)) {
    flowpairs::Pair pair;
    std::string problem;
    if (!flowpairs::readPair(root / name, pair, problem)) {
      std::printf("%-28s %s\n", name.c_str(), problem.c_str());
      continue;
    }
    CTensor<float> flow;
    const auto start = std::chrono::steady_clock::now();
    runFlow(pair.image1, pair.image2, flow, flowdriver::FlowParameters(),
            flowthreads::threadCount());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    totalSeconds += seconds;
    ++pairs;

    std::vector<const CTensor<float>*> excluded;
    if (pair.hasInvalid) excluded.push_back(&pair.invalid);
    const double all = flowpairs::score(flow, pair.truth, excluded).endpoint;
    std::string noc = "-";
    if (pair.hasOccluded) {
      excluded.push_back(&pair.occluded);
      char text[32];
      std::snprintf(text, sizeof text, "%.3f",
                    flowpairs::score(flow, pair.truth, excluded).endpoint);
      noc = text;
    }
    const std::string size = std::to_string(flow.xSize()) + "x" + std::to_string(flow.ySize());
    std::printf("%-28s %10s %10.3f %12s %9.2f\n", name.c_str(), size.c_str(), all, noc.c_str(),
                seconds);
    std::fflush(stdout);
  }
  if (pairs > 0) std::printf("mean time per pair: %.2f s\n", totalSeconds / pairs);
  return 0;
}
