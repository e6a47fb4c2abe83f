#include "d3d11/workers.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "control/d3d11_control.h"

namespace {

// One batch of tasks at a time; workers take indices from a shared counter, so a slow
// row range on one thread is evened out by the others.
struct Pool {
  std::mutex mutex;
  std::condition_variable wake, done;
  std::vector<std::thread> threads;
  uint64_t generation = 0;
  int active = 0;  // workers still inside the current batch
  int wanted = 0;  // workers taking part in it
  bool stopping = false;
  void (*task)(void*, int) = nullptr;
  void* context = nullptr;
  int count = 0;
  std::atomic<int> next{0};

  ~Pool() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopping = true;
    }
    wake.notify_all();
    for (std::thread& thread : threads) thread.join();
  }

  void Drain() {
    for (int i = next++; i < count; i = next++) task(context, i);
  }

  void Work(int id) {
    uint64_t seen = 0;
    for (;;) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        wake.wait(lock, [&] { return stopping || generation != seen; });
        if (stopping) return;
        seen = generation;
        if (id >= wanted) continue;
      }
      Drain();
      std::lock_guard<std::mutex> lock(mutex);
      if (--active == 0) done.notify_one();
    }
  }
};

std::mutex gConfigure;
int gRequestedThreads = 0;  // 0: one per processor

Pool& ThePool() {
  static Pool pool;
  return pool;
}

}  // namespace

int WorkerThreadCount() {
  std::lock_guard<std::mutex> lock(gConfigure);
  if (gRequestedThreads > 0) return gRequestedThreads;
  unsigned processors = std::thread::hardware_concurrency();
  return processors > 0 ? (int)processors : 1;
}

void PortableSetWorkerThreads(int count) {
  std::lock_guard<std::mutex> lock(gConfigure);
  gRequestedThreads = count > 0 ? count : 0;
}

void RunTasks(int count, void (*task)(void*, int), void* context) {
  int helpers = WorkerThreadCount() - 1;
  if (helpers > count - 1) helpers = count - 1;
  if (helpers <= 0) {
    for (int i = 0; i < count; ++i) task(context, i);
    return;
  }
  Pool& pool = ThePool();
  std::unique_lock<std::mutex> lock(pool.mutex);
  while ((int)pool.threads.size() < helpers) {
    int id = (int)pool.threads.size();
    pool.threads.emplace_back([&pool, id] { pool.Work(id); });
  }
  pool.task = task;
  pool.context = context;
  pool.count = count;
  pool.next = 0;
  pool.wanted = helpers;
  pool.active = helpers;
  ++pool.generation;
  lock.unlock();
  pool.wake.notify_all();
  pool.Drain();
  lock.lock();
  pool.done.wait(lock, [&] { return pool.active == 0; });
}
