// The order in which the vector SOR sweep runs its pieces of work, the pairs (band b, sweep
// k), on one thread or shared by several, apart from what a piece computes. Declarations
// only, every member defined in band_pipeline.cpp: the AVX2 sweep calls it, and no code of
// the baseline may be compiled for AVX2 there.
#ifndef MOTIONSEG_FLOW_SOLVER_BAND_PIPELINE_H
#define MOTIONSEG_FLOW_SOLVER_BAND_PIPELINE_H

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace flowsolver {

/// What runs one pair: run(context, band, sweep).
struct BandJob {
  void (*run)(void* context, int band, int sweep);
  void* context;
};

/// Sweep k of band b reads sweep k of band b − 1 and sweep k − 1 of band b + 1, and must come
/// before sweep k of band b + 1: exactly what the row order gives. Running the pairs in the
/// order of the stage b + 2k keeps that, and lets all sweeps pass over a few neighbouring
/// bands while they are still in the cache. The bands live in a ring of `ringBlocks` blocks:
/// a band may be laid out (its sweep 0) only once the last sweep of the band that held its
/// block before, and of the band after that one, is done.
///
/// Threads that share the work (work() called by each of them) run two streams of pairs,
/// each in stage order: the first half of the sweeps and the second. The first thread to come
/// takes the first stream and the next one the second, which follows some bands behind, so
/// that the two meet only where one catches up with the other (or the first fills the ring).
/// A thread whose next pair cannot run yet takes the next pair of the other stream if that
/// one can (so one thread alone does the whole work), else it waits: kSpinsBeforeSleep turns
/// of a spin, then asleep while another thread works on a pair.
///
/// A pair can run once what it reads is done; each of these is an earlier pair in the order,
/// so the earliest pair not done can always run: it is the next pair of its stream. What a
/// pair writes no pair can still read. Every thread therefore sees the same values as in the
/// order, and the result is that of one thread.
class BandPipeline {
 public:
  /// Turns of the waiting loop before a thread sleeps: long enough for the other thread to
  /// finish a pair of a small level, short enough not to hold a core that another runnable
  /// thread needs.
  static constexpr int kSpinsBeforeSleep = 4000;
  /// The two streams of shared work.
  static constexpr int kStreams = 2;

  /// The fewest ring blocks that hold every band while it is needed: min(bands, 2·sweeps).
  static int smallestRing(int bands, int sweeps);

  /// Pairs of `bands` bands and `sweeps` sweeps in a ring of `ringBlocks` blocks, for
  /// `threads` threads: with 1, the calling thread runs every pair in stage order without any
  /// synchronisation, and only one thread may join. Throws std::logic_error for a ring
  /// smaller than smallestRing(bands, sweeps), which would make the threads wait for ever.
  BandPipeline(int bands, int sweeps, int ringBlocks, int threads);
  ~BandPipeline();
  BandPipeline(const BandPipeline&) = delete;
  BandPipeline& operator=(const BandPipeline&) = delete;

  /// Each thread that shares the work joins once, then takes pairs with next() and reports
  /// each one run with finish(); every pair is handed exactly once to one of the threads.
  /// The loop stays with the caller, so that the code of a pair is compiled into it.
  class Worker;
  Worker join();
  /// The next pair this thread may run (waiting until one can); false when none is left.
  bool next(Worker& worker, int& band, int& sweep);
  /// Pair (band, sweep), handed out by next(), has run.
  void finish(int band, int sweep);

  /// join(), then next(), the job and finish() until no pair is left.
  void work(BandJob job);

  /// Throws std::logic_error unless the pipeline was made for `bands` bands in a ring of
  /// `ringBlocks` blocks: a job over another layout would see its pairs in the wrong order.
  void expectLayout(int bands, int ringBlocks) const;

 private:
  // A place in a stream: the pair (stage − 2k, k) and how many pairs of the stream come
  // before it; stage == stages_ past the end.
  struct Place {
    int stage, k, index;
  };
  void advance(Place& place, int stream) const;
  bool ready(int band, int sweep) const;
  bool take(Worker& worker, int& band, int& sweep);
  void sleepUntilChanged(unsigned seen);

  const int bands_, sweeps_, ringBlocks_, threads_, stages_, ringAfter_;
  int lowest_[3], highest_[3];  // streams 0 and 1 of shared work, stream 2 of one thread
  std::unique_ptr<std::atomic<int>[]> progress_;  // sweeps done per band
  std::atomic<int> next_{0};                      // threads met so far
  std::atomic<int> taken_[kStreams];              // pairs taken from each stream
  std::atomic<int> running_{0};                   // pairs being worked on
  std::atomic<unsigned> done_{0};                 // pairs done
  std::atomic<int> sleepers_{0};                  // threads asleep
  std::mutex mutex_;
  std::condition_variable wake_;
};

/// Where one thread stands in each stream, and the stream it prefers. Plain data without
/// initialisers (join() fills it in), so that no code of it is compiled where it is used.
class BandPipeline::Worker {
  friend class BandPipeline;
  Place place_[3];  // streams 0 and 1 of shared work, stream 2 of one thread
  int own_;
};

}  // namespace flowsolver

#endif  // MOTIONSEG_FLOW_SOLVER_BAND_PIPELINE_H
