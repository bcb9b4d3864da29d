#include "flow/driver/run_flow.h"

#include "flow/containers/CMatrix.h"
#include "flow/filters/NFilter.h"
#include "flow/matching/descriptor_matching.h"
#include "flow/matching/match_confidence.h"
#include "flow/matching/orientation_histogram.h"
#include "flow/parallel/for_each_range.h"
#include "flow/parallel/thread_count.h"
#include "flow/solver/COpticFlow.h"
#include "flow/solver/level_solver.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <stdexcept>

namespace flowdriver {

void presmooth(CTensor<float>& image, float sigma) {
  NFilter::recursiveSmoothX(image, sigma);
  NFilter::recursiveSmoothY(image, sigma);
}

namespace {

// Steps 3 and 4: the descriptors of both frames and the confidence map of the first, one
// after the other, each on every thread of the pool; so no two of them hold their scratch at
// once (together they would need more memory than the rest of the flow).
void descriptors(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& hog1,
                 CTensor<float>& hog2, CMatrix<float>& confidence, flowthreads::Pool* pool,
                 int threads) {
  computeHOG(image1, hog1, pool, threads);
  computeConfidence(image1, image2, confidence, pool, threads);
  computeHOG(image2, hog2, pool, threads);
}

}  // namespace

bool validSigma(float sigma) {
  return sigma >= kSmallestSigma && std::isfinite(sigma);
}

void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence,
           float alpha, float beta, float gamma) {
  solve(image1, image2, flow, matchU, matchV, matchConfidence, alpha, beta, gamma,
        flowsolver::defaultLevelOptions());
}

void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence,
           float alpha, float beta, float gamma, const flowsolver::LevelOptions& options) {
  flowsolver::warpingGeometric(image1, image2, flow, matchU, matchV, matchConfidence, nullptr, 0.0f,
                               alpha, beta, gamma, 0.0f, FlowParameters::kEta,
                               FlowParameters::kOuterIterations, FlowParameters::kInnerSweeps,
                               FlowParameters::kOmega, options);
}

}  // namespace flowdriver

void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma) {
  runFlow(image1, image2, flow, sigma, alpha, beta, gamma, flowthreads::threadCount(), {});
}

void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma, int threads) {
  runFlow(image1, image2, flow, sigma, alpha, beta, gamma, threads, {});
}

void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma, int threads,
             const flowdriver::CancelHook& cancel) {
  flowdriver::FlowParameters parameters;
  parameters.sigma = sigma;
  parameters.alpha = alpha;
  parameters.beta = beta;
  parameters.gamma = gamma;
  runFlow(image1, image2, flow, parameters, threads, cancel, nullptr);
}

void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow,
             const flowdriver::FlowParameters& parameters, int threads,
             const flowdriver::CancelHook& cancel, flowdriver::DriverTimes* times) {
  // Whatever the call frees before it ends serves its later buffers (and, when the caller
  // keeps a WorkingMemory, the next call's) instead of going back to the system.
  const flowdriver::WorkingMemory arena;
  const float sigma = parameters.sigma;
  // Adds the seconds of a stage to its field of `times` (nothing without times).
  auto clock = [times](double flowdriver::DriverTimes::*field) {
    return flowsolver::StageClock(times != nullptr ? &(times->*field) : nullptr);
  };
  const int xSize = image1.xSize(), ySize = image1.ySize();
  if (image2.xSize() != xSize || image2.ySize() != ySize || image2.zSize() != image1.zSize()) {
    throw std::invalid_argument("runFlow: the two frames must have the same size");
  }
  // The colour test of the matching reads channels 0, 1 and 2.
  if (image1.zSize() < 3)
    throw std::invalid_argument("runFlow: the frames need 3 channels or more");
  // Sigma 0 or below (or too small to form the smoothing coefficients) would turn both
  // frames into not-a-number images.
  if (!flowdriver::validSigma(sigma)) {
    throw std::invalid_argument("runFlow: sigma must be finite and at least 1e-38");
  }
  threads = std::max(1, threads);
  // Asked on this thread only; a true answer ends the call.
  std::function<void()> checkpoint;
  if (cancel) {
    checkpoint = [&cancel] {
      if (cancel()) throw flowdriver::Interrupted();
    };
  }
  // One set of worker threads for every stage of this call, joined when it ends (normally or
  // by an exception).
  flowthreads::Pool pool(threads);

  // Step 1: no matches yet.
  CTensor<float> matchU(xSize, ySize, 1, 0.0f), matchV(xSize, ySize, 1, 0.0f),
      matchConfidence(xSize, ySize, 1, 0.0f);

  // Step 2: presmoothing of both frames, in place, one frame per thread.
  auto presmoothClock = clock(&flowdriver::DriverTimes::presmooth);
  flowthreads::forEachRange(&pool, 2, threads, [&](int begin, int end) {
    for (int k = begin; k < end; ++k)
      flowdriver::presmooth(k == 0 ? image1 : image2, sigma);
  });
  presmoothClock.stop();
  if (checkpoint) checkpoint();

  {
    // Steps 3 and 4: descriptors of both frames, the confidence map of the first.
    auto descriptorClock = clock(&flowdriver::DriverTimes::descriptors);
    CTensor<float> hog1, hog2;
    CMatrix<float> confidence;
    flowdriver::descriptors(image1, image2, hog1, hog2, confidence, &pool, threads);
    descriptorClock.stop();

    // Step 5: grid matching with the backward check.
    auto matchingClock = clock(&flowdriver::DriverTimes::matching);
    flowmatch::match({image1, image2, hog1, hog2, confidence}, matchU, matchV, matchConfidence,
                     &pool, threads, checkpoint);
  }

  // Step 6: the variational solver on the smoothed frames.
  auto solverClock = clock(&flowdriver::DriverTimes::solver);
  flowsolver::LevelOptions options = flowsolver::defaultLevelOptions();
  options.threads = threads;
  options.pool = &pool;
  // Handing a step to the pool's waiting workers costs far less than starting threads: small
  // levels are split too.
  options.minPixelsPerThread = 1 << 12;
  options.checkpoint = checkpoint;
  if (times != nullptr) options.times = &times->solverStages;
  flowdriver::solve(image1, image2, flow, matchU, matchV, matchConfidence, parameters.alpha,
                    parameters.beta, parameters.gamma, options);
}
