// Seconds per stage of the flow driver on the real pairs of ../shared/data/flow (skipped when
// the folder is absent), at 1 and 2 threads: presmoothing, descriptors (histograms and the
// confidence map), matching, and the solver's stages (resampling, warps, the levels' set-up,
// the weights of every fixed-point iteration, the SOR sweeps). The stages run as the driver
// runs them, on one pool of threads per call. Arguments: [data folder [pair...]].
#include "bench/flow_pairs.h"
#include "flow/matching/descriptor_matching.h"
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "flow/driver/run_flow.h"
#include "flow/parallel/instruction_set.h"
#include "flow/parallel/for_each_range.h"
#include "flow/solver/level_solver.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

struct Stages {
  double presmooth = 0, descriptors = 0, matching = 0;
  flowsolver::StageTimes solver;
  double solverTotal = 0;
  double total() const { return presmooth + descriptors + matching + solverTotal; }
  void add(const Stages& s) {
    presmooth += s.presmooth;
    descriptors += s.descriptors;
    matching += s.matching;
    solver.resample += s.solver.resample;
    solver.warp += s.solver.warp;
    solver.tensors += s.solver.tensors;
    solver.weights += s.solver.weights;
    solver.sor += s.solver.sor;
    solverTotal += s.solverTotal;
  }
};

// runFlow's steps with a clock around each.
Stages timeFlow(CTensor<float> image1, CTensor<float> image2, int threads) {
  Stages s;
  flowthreads::Pool pool(threads);
  auto t = Clock::now();
  flowthreads::forEachRange(&pool, 2, threads, [&](int begin, int end) {
    for (int k = begin; k < end; ++k)
      flowdriver::presmooth(k == 0 ? image1 : image2, 0.8f);
  });
  s.presmooth = since(t);
  t = Clock::now();
  CTensor<float> hog1, hog2, u, v, c;
  CMatrix<float> confidence;
  flowthreads::forEachRange(&pool, 2, threads, [&](int begin, int end) {
    for (int k = begin; k < end; ++k) {
      if (k == 0) computeHOG(image1, hog1);
      if (k == 1) computeConfidence(image1, image2, confidence);
    }
  });
  computeHOG(image2, hog2);
  s.descriptors = since(t);
  t = Clock::now();
  flowmatch::match({image1, image2, hog1, hog2, confidence}, u, v, c, &pool, threads, {});
  s.matching = since(t);
  t = Clock::now();
  flowsolver::LevelOptions options = flowsolver::defaultLevelOptions();
  options.threads = threads;
  options.pool = &pool;
  options.minPixelsPerThread = 1 << 12;  // as runFlow
  options.times = &s.solver;
  CTensor<float> flow;
  flowdriver::solve(image1, image2, flow, u, v, c, 30.0f, 300.0f, 5.0f, options);
  s.solverTotal = since(t);
  return s;
}

void print(const char* name, const Stages& s) {
  std::printf("%-28s %7.3f %7.3f %7.3f | %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f | %7.3f\n", name,
              s.presmooth, s.descriptors, s.matching, s.solver.resample, s.solver.warp,
              s.solver.tensors, s.solver.weights, s.solver.sor, s.solverTotal, s.total());
}

}  // namespace

int main(int argc, char** argv) {
  const flowpairs::fs::path root = flowpairs::dataRoot(argc, argv);
  if (!flowpairs::fs::exists(root)) {
    std::printf("flow stages: no data folder %s, skipped\n", root.string().c_str());
    return 0;
  }
  const std::vector<std::string> names = flowpairs::pairNames(root, argc, argv);
  std::printf("flow stages in seconds, instruction set %s\n", flowsimd::name(flowsimd::active()));
  for (int threads : {1, 2}) {
    std::printf(
        "\n%d thread(s)                  presm.  descr.   match | resamp.    warp  set-up "
        "weights     SOR  solver |   total\n",
        threads);
    Stages all;
    for (const std::string& name : names) {
      flowpairs::Pair pair;
      std::string problem;
      if (!flowpairs::readPair(root / name, pair, problem)) {
        std::printf("%-28s unreadable: %s\n", name.c_str(), problem.c_str());
        continue;
      }
      const Stages s = timeFlow(pair.image1, pair.image2, threads);
      print(name.c_str(), s);
      all.add(s);
    }
    print("all pairs", all);
  }
  return 0;
}
