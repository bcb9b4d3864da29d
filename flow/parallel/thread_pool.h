// A set of worker threads that lives as long as one flow computation: started once, handed
// many small parallel steps, joined when the pool is destroyed. No thread outlives the pool.
#ifndef MOTIONSEG_FLOW_PARALLEL_THREAD_POOL_H
#define MOTIONSEG_FLOW_PARALLEL_THREAD_POOL_H

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace flowthreads {

class Pool {
 public:
  /// Starts threads − 1 workers (the calling thread is the last one); fewer when the system
  /// refuses to start more. threads ≤ 1 starts none.
  explicit Pool(int threads);
  /// Joins every worker.
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  /// Workers plus the calling thread.
  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  /// Calls work(piece) once for every piece in [0, pieces), spread over the workers and the
  /// calling thread (which always runs piece 0), and returns when all have ended. The first
  /// exception of any piece is rethrown here, after the others have ended; pieces not yet begun
  /// then are skipped. A call made from inside a piece (or while another call runs) runs its pieces
  /// on the calling thread alone.
  void run(int pieces, const std::function<void(int)>& work);

 private:
  void workerLoop();
  // Takes pieces of the current job until none is left or one has failed.
  void takePieces(const std::function<void(int)>& work, int pieces);

  std::vector<std::thread> workers_;
  // Turns of the short spin with which a worker waits for the next job, and the caller for
  // the workers, before sleeping: the parallel steps of a flow follow each other within
  // microseconds, and waking a sleeping thread costs more than many small steps take.
  static constexpr int kSpinsBeforeSleep = 2000;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  // The current job, published under the mutex with a new generation number.
  const std::function<void(int)>* work_ = nullptr;
  int pieces_ = 0;
  unsigned long generation_ = 0;
  // Changed under the mutex; read without it by the spins.
  std::atomic<unsigned long> announced_{0};
  std::atomic<int> busyWorkers_{0};
  std::atomic<bool> quit_{false};
  std::atomic<int> next_{0};
  std::atomic<bool> failed_{false};
  std::exception_ptr failure_;
  std::atomic<bool> running_{false};
};

}  // namespace flowthreads

#endif  // MOTIONSEG_FLOW_PARALLEL_THREAD_POOL_H
