// Accuracy of the variational solver alone (no descriptor matches) on the real frame pairs of
// ../shared/data/flow: prints the average endpoint error and angular error of every pair.
// Usage: bench_flow_solver_accuracy [data folder [pair name ...]]. Exits 0, printing a note,
// when the folder is absent.
#include "flow/driver/flow_parameters.h"
#include "bench/flow_pairs.h"
#include "flow/solver/COpticFlow.h"

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
  std::printf("%-28s %10s %10s %10s %9s\n", "pair", "size", "AEE (px)", "AAE (deg)", "time (s)");
  std::fflush(stdout);
  for (const std::string& name : flowpairs::pairNames(root, argc, argv)) {
    flowpairs::Pair pair;
    std::string problem;
    if (!flowpairs::readPair(root / name, pair, problem)) {
      std::printf("%-28s %s\n", name.c_str(), problem.c_str());
      continue;
    }
    // The solver with the flow driver's settings, presmoothing sigma 0.8, no matches.
    const int nx = pair.image1.xSize(), ny = pair.image1.ySize();
    CTensor<float> none(nx, ny, 0), flow;
    const auto start = std::chrono::steady_clock::now();
    const flowdriver::FlowParameters d;
    COpticFlow::warpingGeometric(pair.image1, pair.image2, flow, none, none, none, nullptr, d.sigma,
                                 d.alpha, d.beta, d.gamma, 0.0f, d.kEta, d.kOuterIterations,
                                 d.kInnerSweeps, d.kOmega);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<const CTensor<float>*> excluded;
    if (pair.hasInvalid) excluded.push_back(&pair.invalid);
    const flowpairs::Score s = flowpairs::score(flow, pair.truth, excluded);
    const std::string size = std::to_string(nx) + "x" + std::to_string(ny);
    std::printf("%-28s %10s %10.3f %10.3f %9.2f\n", name.c_str(), size.c_str(), s.endpoint,
                s.angular, seconds);
    std::fflush(stdout);
  }
  return 0;
}
