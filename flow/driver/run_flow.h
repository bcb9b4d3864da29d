// The flow driver behind denseMotion: presmoothing, orientation descriptors, confidence,
// sparse descriptor matches, and the coarse-to-fine variational solver with fixed settings.
#ifndef MOTIONSEG_FLOW_DRIVER_RUN_FLOW_H
#define MOTIONSEG_FLOW_DRIVER_RUN_FLOW_H

#include "flow/containers/CTensor.h"
#include "flow/containers/array_memory.h"
#include "flow/driver/flow_parameters.h"
#include "flow/solver/level_options.h"
#include "flow/solver/stage_times.h"

#include <exception>
#include <functional>

/// Smallest presmoothing scale runFlow accepts: below it the recursive smoothing's
/// coefficients overflow and every smoothed value would be not a number.
constexpr float kSmallestSigma = 1.0e-38f;

/// Dense flow from image1 to image2 (xSize × ySize × Nc each, Nc ≥ 3). On return `flow` is
/// xSize × ySize × 2 (channel 0 u, channel 1 v, in pixels) and both images hold their
/// presmoothed versions. sigma is the presmoothing scale (finite, at least kSmallestSigma),
/// alpha the smoothness weight, beta the weight of the descriptor matches and gamma that of
/// gradient constancy. Every stage runs on flowthreads::threadCount() threads
/// (OMP_NUM_THREADS, else the cores). Throws std::invalid_argument for frames of different
/// sizes, fewer than 3 channels or a sigma outside that range.
void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma);

/// The same on `threads` threads (1 or less: the calling thread alone), for every stage:
/// presmoothing, descriptors, matching and solver. The result does not depend on the count.
void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma, int threads);

namespace flowdriver {

/// Asked on the calling thread, between pyramid levels and between grid rows of the
/// matching, whether the computation should stop.
using CancelHook = std::function<bool()>;

/// Thrown by runFlow when its cancel hook returned true. Every thread the call started has
/// ended by then; the frames may hold their presmoothed versions, the flow is unspecified.
class Interrupted : public std::exception {
 public:
  const char* what() const noexcept override { return "flow computation interrupted"; }
};

}  // namespace flowdriver

/// The same with a cancel hook (may be empty): when it returns true the call stops at the
/// next check, joins its threads and throws flowdriver::Interrupted.
void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow, float sigma,
             float alpha, float beta, float gamma, int threads,
             const flowdriver::CancelHook& cancel);

namespace flowdriver {

/// Keeps the working memory of runFlow open while it lives. Every call holds one for its
/// duration, so that the large buffers it frees serve its later ones; a caller that computes
/// several flows (of one frame size, say the pairs of a video) holds one across the calls,
/// and the memory of one call serves the next instead of being returned to the system and
/// cleared again. Nothing is released while one is held: the process keeps about one call's
/// peak (flowWorkingBytes) between the calls.
using WorkingMemory = flowdetail::ArenaUse;

/// Seconds of each stage of one runFlow call (for the stage benchmark): presmoothing, the
/// descriptors and the confidence map, the matching, the solver as a whole and its stages.
struct DriverTimes {
  double presmooth = 0, descriptors = 0, matching = 0, solver = 0;
  flowsolver::StageTimes solverStages;
};

}  // namespace flowdriver

/// The same with the parameters in one record, and, when `times` is given, the seconds of
/// every stage added to it.
void runFlow(CTensor<float>& image1, CTensor<float>& image2, CTensor<float>& flow,
             const flowdriver::FlowParameters& parameters, int threads,
             const flowdriver::CancelHook& cancel = {}, flowdriver::DriverTimes* times = nullptr);

namespace flowdriver {

/// Step 2 of the driver: recursive Gaussian presmoothing of a frame in place, along x then y.
void presmooth(CTensor<float>& image, float sigma);

/// Whether runFlow accepts sigma as a presmoothing scale.
bool validSigma(float sigma);

/// The variational solver call of the driver with its fixed settings (FlowParameters): no
/// extra matrix, no further smoothing, η = 0.95, 5 outer iterations, 5 inner sweeps, ω = 1.85.
void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence,
           float alpha, float beta, float gamma);

/// The same computed as the options say (threads, pool, checkpoint between levels).
void solve(const CTensor<float>& image1, const CTensor<float>& image2, CTensor<float>& flow,
           CTensor<float>& matchU, CTensor<float>& matchV, CTensor<float>& matchConfidence,
           float alpha, float beta, float gamma, const flowsolver::LevelOptions& options);

}  // namespace flowdriver

#endif  // MOTIONSEG_FLOW_DRIVER_RUN_FLOW_H
