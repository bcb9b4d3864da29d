// The fused, threaded set-up of a pyramid level and of the whole scheme against the
// straightforward loops, bit for bit, and the work split they share.
#include "flow/parallel/instruction_set.h"
#include "flow/parallel/for_each_range.h"
#include "flow/solver/COpticFlow.h"
#include "flow/solver/warp.h"
#include "flow/solver/diffusivity.h"
#include "flow/solver/level_solver.h"
#include "flow/solver/sor_sweep.h"
#include "solver_test_support.h"
#include "tests/flow/instruction_sets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using flowsolver::LevelOptions;

// Fast options on `threads` threads, split even on the smallest images.
LevelOptions fastOn(int threads) {
  LevelOptions o;
  o.threads = threads;
  o.minPixelsPerThread = 1;
  return o;
}

bool sameBits(const CMatrix<float>& a, const CMatrix<float>& b) {
  return a.xSize() == b.xSize() && a.ySize() == b.ySize() &&
         std::memcmp(a.data(), b.data(), sizeof(float) * a.size()) == 0;
}

// The instruction sets this processor can run.
std::vector<flowsimd::InstructionSet> instructionSets() {
  return flowtest::runnableInstructionSets();
}

TEST(WorkSplit, EveryItemOnceForAnyThreadCount) {
  for (const int count : {0, 1, 2, 5, 17, 100}) {
    for (const int threads : {-3, 0, 1, 2, 3, 7, 200}) {
      std::vector<std::atomic<int>> visits(count);
      std::atomic<int> pieces{0};
      flowthreads::forEachRange(count, threads, [&](int begin, int end) {
        ++pieces;
        ASSERT_LE(0, begin);
        ASSERT_LT(begin, end);
        ASSERT_LE(end, count);
        for (int i = begin; i < end; ++i)
          ++visits[i];
      });
      for (int i = 0; i < count; ++i)
        EXPECT_EQ(visits[i].load(), 1) << count << " items, " << threads << " threads";
      const int expected = count == 0 ? 0 : std::max(1, std::min(threads, count));
      EXPECT_EQ(pieces.load(), expected) << count << " items, " << threads << " threads";
    }
  }
}

TEST(WorkSplit, ExceptionOfAnyPieceReachesTheCaller) {
  for (const int failing : {0, 2}) {
    std::atomic<int> done{0};
    EXPECT_THROW(flowthreads::forEachRange(3, 3,
                                           [&](int begin, int) {
                                             ++done;
                                             if (begin == failing) {
                                               throw std::runtime_error("piece failed");
                                             }
                                           }),
                 std::runtime_error);
    // The other pieces still ran and every thread was joined.
    EXPECT_EQ(done.load(), 3);
  }
}

TEST(FastDiffusivity, SameBitsAsTheStraightforwardWeights) {
  struct Case {
    int nx, ny;
    bool extra;
  };
  std::mt19937 rng(41);
  for (const Case c : {Case{1, 1, false}, Case{1, 7, true}, Case{9, 1, false}, Case{2, 2, true},
                       Case{13, 8, false}, Case{13, 8, true}, Case{40, 33, true}}) {
    const CTensor<float> flow = solvertest::randomTensor(c.nx, c.ny, 2, rng, -3, 3);
    const CTensor<float> increment = solvertest::randomTensor(c.nx, c.ny, 2, rng, -0.5f, 0.5f);
    CMatrix<float> extra(c.nx, c.ny);
    for (int i = 0; i < c.nx * c.ny; ++i)
      extra.data()[i] = std::uniform_real_distribution<float>(-2, 2)(rng);
    CMatrix<float>* extraPointer = c.extra ? &extra : nullptr;
    CTensor<float> f(flow), d(increment);
    CMatrix<float> horizontal(c.nx, c.ny), vertical(c.nx, c.ny);
    COpticFlow::diffusivity(f, d, horizontal, vertical, extraPointer, 0.7f);
    for (const int threads : {1, 2, 3, 5}) {
      // Stale contents must not survive: every weight is written.
      CMatrix<float> h(c.nx, c.ny, 9.0f), v(c.nx, c.ny, 9.0f);
      flowsolver::diffusivity(flow, increment, h, v, extraPointer, 0.7f, threads);
      EXPECT_TRUE(sameBits(h, horizontal)) << c.nx << " x " << c.ny << ", " << threads;
      EXPECT_TRUE(sameBits(v, vertical)) << c.nx << " x " << c.ny << ", " << threads;
    }
  }
}

// A random level whose images differ only by noise and a few stripes, so the robust weights
// and the clamps of the constancy terms see varied values, with some pixels outside the mask.
struct Level {
  CTensor<float> image1, image2, matchU, matchV, confidence, flow;
  CMatrix<float> mask, extra;

  Level(int nx, int ny, int channels, int candidates, std::mt19937& rng)
      : image1(solvertest::randomTensor(nx, ny, channels, rng, 0, 255)),
        image2(image1),
        matchU(solvertest::randomTensor(nx, ny, candidates, rng, -3, 3)),
        matchV(solvertest::randomTensor(nx, ny, candidates, rng, -3, 3)),
        confidence(solvertest::randomTensor(nx, ny, candidates, rng, -1, 1)),
        flow(solvertest::randomTensor(nx, ny, 2, rng, -2, 2)),
        mask(nx, ny, 1.0f),
        extra(nx, ny, 0.25f) {
    std::uniform_real_distribution<float> noise(-20, 20);
    for (int i = 0; i < image2.size(); ++i)
      image2.data()[i] += (i % 7 == 0) ? 60.0f : noise(rng);
    for (int i = 0; i < nx * ny; i += 5)
      mask.data()[i] = 0.0f;
  }

  void run(const LevelOptions& options, bool withExtra) {
    flowsolver::nonlinearIteration(image1, image2, mask, matchU, matchV, confidence, flow,
                                   withExtra ? &extra : nullptr, 30.0f, 300.0f, 5.0f, 0.5f, 3, 4,
                                   1.85f, options);
  }
  void runReference(bool withExtra) {
    flowsolver::nonlinearIterationReference(image1, image2, mask, matchU, matchV, confidence, flow,
                                            withExtra ? &extra : nullptr, 30.0f, 300.0f, 5.0f, 0.5f,
                                            3, 4, 1.85f);
  }
};

TEST(FastLevel, SameFlowAsTheStraightforwardLevel) {
  struct Case {
    int nx, ny, channels, candidates;
    bool extra;
  };
  const Case cases[] = {{1, 1, 1, 0, false},
                        {1, 6, 3, 1, true},
                        {7, 1, 2, 2, false},
                        {3, 4, 0, 1, false},
                        {6, 3, 1, 0, true},
                        {23, 17, 3, 2, true},
                        {31, 12, 1, 3, false},
                        {40, 29, 3, 0, false},
                        // Levels set up in several strips of rows, the last one short.
                        {11, 75, 3, 1, true},
                        {9, 33, 2, 0, false}};
  for (const Case& c : cases) {
    std::mt19937 rng(50 + c.nx * 7 + c.ny);
    const Level original(c.nx, c.ny, c.channels, c.candidates, rng);
    Level reference(original);
    reference.runReference(c.extra);
    for (const int threads : {1, 2, 3, 8}) {
      // On a pool of workers and on threads started per step; with either instruction set.
      for (const flowsimd::InstructionSet set : instructionSets()) {
        ASSERT_TRUE(flowsimd::force(set));
        flowthreads::Pool pool(threads);
        for (flowthreads::Pool* onPool : {static_cast<flowthreads::Pool*>(nullptr), &pool}) {
          Level fast(original);
          LevelOptions options = fastOn(threads);
          options.pool = onPool;
          options.sorOnTwoThreads = onPool != nullptr;
          fast.run(options, c.extra);
          EXPECT_TRUE(solvertest::sameBits(fast.flow, reference.flow))
              << c.nx << " x " << c.ny << " x " << c.channels << ", " << c.candidates
              << " candidates, " << threads << " threads, " << flowsimd::name(set)
              << (onPool ? ", pool" : "");
        }
      }
      flowsimd::unforce();
    }
  }
}

TEST(FastLevel, ZeroMaskEverywhereStillMatchesTheStraightforwardLevel) {
  // With the whole mask 0 the data terms vanish in both versions; the smoothness and match
  // terms alone decide the flow.
  std::mt19937 rng(57);
  Level original(19, 11, 2, 1, rng);
  original.mask.fill(0.0f);
  Level reference(original), fast(original);
  reference.runReference(false);
  fast.run(fastOn(3), false);
  EXPECT_TRUE(solvertest::sameBits(fast.flow, reference.flow));
}

// The whole coarse-to-fine scheme on a moving textured pair: presmoothing, every level's
// resampling and warp, the level solver and the final passes.
TEST(FastScheme, SameFlowAsTheStraightforwardScheme) {
  struct Case {
    int nx, ny, channels, candidates;
    float sigma, eta;
    bool extra;
  };
  const Case cases[] = {{48, 36, 3, 1, 0.8f, 0.8f, true},
                        {37, 23, 1, 2, 0.0f, 0.75f, false},
                        {16, 17, 2, 0, 1.2f, 0.9f, false},
                        {5, 4, 1, 1, 0.5f, 0.5f, true}};
  for (const Case& c : cases) {
    CTensor<float> image1, image2, truth;
    solvertest::makeMovingPair(
        c.nx, c.ny, c.channels,
        [](double x, double y, double& u, double& v) {
          u = 0.8 + 0.3 * std::sin(0.2 * y);
          v = -0.5 + 0.2 * std::cos(0.15 * x);
        },
        image1, image2, truth);
    std::mt19937 rng(60 + c.nx);
    CTensor<float> matchU = solvertest::randomTensor(c.nx, c.ny, c.candidates, rng, -2, 2);
    CTensor<float> matchV = solvertest::randomTensor(c.nx, c.ny, c.candidates, rng, -2, 2);
    CTensor<float> confidence = solvertest::randomTensor(c.nx, c.ny, c.candidates, rng, -1, 1);
    CMatrix<float> extra(c.nx, c.ny, 0.3f);
    CMatrix<float>* extraPointer = c.extra ? &extra : nullptr;
    CTensor<float> reference;
    flowsolver::warpingGeometricReference(image1, image2, reference, matchU, matchV, confidence,
                                          extraPointer, c.sigma, 30.0f, 300.0f, 5.0f, 0.5f, c.eta,
                                          2, 3, 1.85f);
    ASSERT_EQ(reference.zSize(), 2);
    for (const int threads : {1, 2, 5}) {
      for (const flowsimd::InstructionSet set : instructionSets()) {
        ASSERT_TRUE(flowsimd::force(set));
        flowthreads::Pool pool(threads);
        LevelOptions options = fastOn(threads);
        options.pool = &pool;
        options.sorOnTwoThreads = true;
        CTensor<float> flow;
        flowsolver::warpingGeometric(image1, image2, flow, matchU, matchV, confidence, extraPointer,
                                     c.sigma, 30.0f, 300.0f, 5.0f, 0.5f, c.eta, 2, 3, 1.85f,
                                     options);
        EXPECT_TRUE(solvertest::sameBits(flow, reference))
            << c.nx << " x " << c.ny << ", " << threads << " threads, " << flowsimd::name(set);
      }
      flowsimd::unforce();
    }
  }
}

TEST(FastScheme, RowSplitWarpEqualsTheWholeWarp) {
  std::mt19937 rng(70);
  for (const int ny : {1, 2, 9}) {
    const int nx = 11;
    const CTensor<float> first = solvertest::randomTensor(nx, ny, 2, rng, 0, 9);
    const CTensor<float> second = solvertest::randomTensor(nx, ny, 2, rng, 0, 9);
    // Displacements up to two pixels, so some samples leave the image.
    const CTensor<float> flow = solvertest::randomTensor(nx, ny, 2, rng, -2, 2);
    CTensor<float> whole(nx, ny, 2, -1.0f);
    CMatrix<float> wholeMask(nx, ny, 1.0f);
    flowsolver::warpSecondImage(first, second, flow, whole, wholeMask);
    for (const int threads : {2, 4, 16}) {
      CTensor<float> split(nx, ny, 2, -1.0f);
      CMatrix<float> splitMask(nx, ny, 1.0f);
      flowsolver::warpSecondImage(first, second, flow, split, splitMask, threads);
      EXPECT_TRUE(solvertest::sameBits(split, whole)) << ny << " rows, " << threads;
      EXPECT_TRUE(sameBits(splitMask, wholeMask)) << ny << " rows, " << threads;
    }
  }
}

TEST(FastScheme, SizeChecksComeBeforeAnyThread) {
  // A wrong operand is refused with the same text whichever version runs.
  CTensor<float> first(6, 5, 1, 1.0f), second(6, 4, 1, 1.0f), flow(6, 5, 2, 0.0f);
  CTensor<float> warped(6, 5, 1);
  CMatrix<float> mask(6, 5, 1.0f);
  std::string texts[2];
  for (int k = 0; k < 2; ++k) {
    try {
      if (k == 0) {
        flowsolver::warpSecondImage(first, second, flow, warped, mask);
      } else {
        flowsolver::warpSecondImage(first, second, flow, warped, mask, 3);
      }
    } catch (const std::invalid_argument& e) {
      texts[k] = e.what();
    }
  }
  EXPECT_NE(texts[0].find("the second image is 6 x 4 x 1"), std::string::npos) << texts[0];
  EXPECT_EQ(texts[1], texts[0]);
}

}  // namespace
