// Dense gradient-orientation histograms: for every pixel, 15 direction bins of the gradient
// magnitude pooled over a 7-by-7 neighbourhood and softened across neighbouring directions.
#ifndef MOTIONSEG_FLOW_MATCHING_ORIENTATION_HISTOGRAM_H
#define MOTIONSEG_FLOW_MATCHING_ORIENTATION_HISTOGRAM_H

#include "flow/containers/CTensor.h"
#include "flow/parallel/thread_pool.h"

/// Number of direction bins of a histogram; each bin spans 24 degrees.
constexpr int kOrientationBins = 15;

/// Fills `histogram` (resized to the image's xSize by ySize by 15) with the orientation
/// histogram of `image` (any number of channels; every channel votes into the same bins).
/// Bin b holds the gradients whose direction atan2(gy, gx) + π lies in [b, b + 1)·24°; a
/// gradient towards +x falls into bin 7, towards −x into bin 0. Pixels whose derivatives are
/// not numbers have no direction and cast no vote.
void computeHOG(const CTensor<float>& image, CTensor<float>& histogram);

/// The same histogram with every step's rows (or pixels) shared among `threads` threads of
/// `pool` (a null pool starts threads for the call); the bits do not depend on the threads.
void computeHOG(const CTensor<float>& image, CTensor<float>& histogram, flowthreads::Pool* pool,
                int threads);

/// The same histogram with the smoothing across directions and the window mean done over all
/// bins at once, through a scratch tensor of the histogram's size; computeHOG does them bin by
/// bin in place with five planes of scratch. What the tests compare computeHOG with.
void computeHOGWhole(const CTensor<float>& image, CTensor<float>& histogram,
                     flowthreads::Pool* pool, int threads);

#endif  // MOTIONSEG_FLOW_MATCHING_ORIENTATION_HISTOGRAM_H
