// One turn of a spin-wait loop, shared by the thread pool and the SOR pipeline.
#ifndef MOTIONSEG_FLOW_PARALLEL_SPIN_PAUSE_H
#define MOTIONSEG_FLOW_PARALLEL_SPIN_PAUSE_H

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace flowthreads {

/// Tells the processor that this is a spin-wait loop (lets the other hyper-thread run).
inline void spinPause() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

}  // namespace flowthreads

#endif  // MOTIONSEG_FLOW_PARALLEL_SPIN_PAUSE_H
