// Seconds per stage of the flow driver on the real pairs of ../shared/data/flow (skipped when
// the folder is absent), at 1 and 2 threads: presmoothing, descriptors (histograms and the
// confidence map), matching, and the solver's stages (resampling, warps, the levels' set-up,
// the smoothness weights of every fixed-point iteration, the SOR sweeps with the robust and
// match weights they form band by band), from the driver's own stage clocks. Arguments:
// [data folder [pair...]].
#include "bench/flow_pairs.h"
#include "flow/driver/run_flow.h"
#include "flow/parallel/instruction_set.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Stages {
  flowdriver::DriverTimes driver;
  double total() const {
    return driver.presmooth + driver.descriptors + driver.matching + driver.solver;
  }
  void add(const Stages& s) {
    driver.presmooth += s.driver.presmooth;
    driver.descriptors += s.driver.descriptors;
    driver.matching += s.driver.matching;
    driver.solver += s.driver.solver;
    flowsolver::StageTimes& mine = driver.solverStages;
    const flowsolver::StageTimes& theirs = s.driver.solverStages;
    mine.resample += theirs.resample;
    mine.warp += theirs.warp;
    mine.tensors += theirs.tensors;
    mine.weights += theirs.weights;
    mine.sor += theirs.sor;
  }
};

// runFlow with its stage clocks, with the default parameters.
Stages timeFlow(CTensor<float> image1, CTensor<float> image2, int threads) {
  Stages s;
  CTensor<float> flow;
  runFlow(image1, image2, flow, flowdriver::FlowParameters(), threads, {}, &s.driver);
  return s;
}

void print(const char* name, const Stages& s) {
  std::printf("%-28s %7.3f %7.3f %7.3f | %7.3f %7.3f %7.3f %7.3f %7.3f %7.3f | %7.3f\n", name,
              s.driver.presmooth, s.driver.descriptors, s.driver.matching,
              s.driver.solverStages.resample, s.driver.solverStages.warp,
              s.driver.solverStages.tensors, s.driver.solverStages.weights,
              s.driver.solverStages.sor, s.driver.solver, s.total());
}

}  // namespace

int main(int argc, char** argv) {
  const flowpairs::fs::path root = flowpairs::dataRoot(argc, argv);
  if (!flowpairs::fs::exists(root)) {
    std::printf("flow stages: no data folder %s, skipped\n", root.string().c_str());
    return 0;
  }
  const std::vector<std::string> names = flowpairs::pairNames(root, argc, argv);
  std::printf("flow stages in seconds, instruction set %s (matching %s)\n",
              flowsimd::name(flowsimd::active()), flowsimd::name(flowsimd::activeWidest()));
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
