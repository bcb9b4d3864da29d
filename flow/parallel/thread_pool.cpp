#include "flow/parallel/thread_pool.h"

#include "flow/parallel/spin_pause.h"

#include <system_error>

namespace flowthreads {

Pool::Pool(int threads) {
  for (int k = 1; k < threads; ++k) {
    try {
      workers_.emplace_back([this] { workerLoop(); });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones running share the work
    }
  }
}

Pool::~Pool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_)
    t.join();
}

void Pool::takePieces(const std::function<void(int)>& work, int pieces) {
  for (;;) {
    const int piece = next_.fetch_add(1);
    if (piece >= pieces || failed_.load()) return;
    try {
      work(piece);
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!failure_) failure_ = std::current_exception();
      failed_.store(true);
    }
  }
}

void Pool::workerLoop() {
  unsigned long seen = 0;
  for (;;) {
    const std::function<void(int)>* work = nullptr;
    int pieces = 0;
    for (int spin = 0; spin < kSpinsBeforeSleep && announced_.load() == seen && !quit_.load();
         ++spin)
      spinPause();
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || generation_ != seen; });
      if (quit_) return;
      seen = generation_;
      // A worker that wakes after its job has ended joins none: the caller only waits for
      // the workers counted here, under the same lock as its test.
      if (work_ == nullptr) continue;
      work = work_;
      pieces = pieces_;
      ++busyWorkers_;
    }
    takePieces(*work, pieces);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      --busyWorkers_;
    }
    done_.notify_all();
  }
}

void Pool::run(int pieces, const std::function<void(int)>& work) {
  if (pieces <= 0) return;
  if (workers_.empty() || pieces == 1 || running_.exchange(true)) {
    // Alone, or nested inside a running job: every piece on this thread, in order.
    for (int piece = 0; piece < pieces; ++piece)
      work(piece);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    work_ = &work;
    pieces_ = pieces;
    next_.store(1);  // piece 0 is the calling thread's
    failed_.store(false);
    failure_ = nullptr;
    ++generation_;
    announced_.store(generation_);
  }
  wake_.notify_all();
  try {
    work(0);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
    failed_.store(true);
  }
  takePieces(work, pieces);
  std::exception_ptr failure;
  {
    // Every piece has been taken once takePieces returns here; wait for the workers still
    // inside one. A worker that wakes late finds no piece left and takes none.
    for (int spin = 0; spin < kSpinsBeforeSleep && busyWorkers_.load() > 0; ++spin)
      spinPause();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return busyWorkers_.load() == 0; });
    work_ = nullptr;
    failure = failure_;
    failure_ = nullptr;
  }
  running_.store(false);
  if (failure) std::rethrow_exception(failure);
}

}  // namespace flowthreads
