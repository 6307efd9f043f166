#include "platform/TaskBaton.h"

#include <cstdint>
#include <system_error>
#include <thread>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace spekolar::platform {

namespace {

// The baton and the task the calling thread runs; null outside a task.
thread_local TaskBaton* t_baton = nullptr;
thread_local size_t t_task = 0;

size_t g_threadLimit = SIZE_MAX;

}  // namespace

void TaskBaton::Run(std::vector<std::function<void()>> tasks, SwitchHook onSwitch) {
  if (tasks.empty()) return;
#if defined(__GLIBC__)
  // glibc gives each new thread a heap of its own, to spare threads that run
  // at once the wait for each other; ours never do, and the extra heaps
  // only keep freed memory apart (some MiB over a report of many days).
  mallopt(M_ARENA_MAX, 1);
#endif
  onSwitch_ = std::move(onSwitch);
  states_.assign(tasks.size(), TaskState::kReady);
  turns_ = std::make_unique<std::condition_variable[]>(tasks.size());
  // Nobody holds the baton while the threads are started: each waits for
  // its turn before it runs.
  holder_ = kNobody;

  // A thread the system cannot start (no memory, a limit on threads)
  // leaves its task and the ones after it to the calling thread, which
  // runs them one after another once the threaded ones have ended: the
  // result is the same, only their reads are not shared.
  std::vector<std::thread> threads;
  threads.reserve(tasks.size());
  for (size_t i = 0; i < tasks.size(); ++i) {
    try {
      if (i >= g_threadLimit) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      threads.emplace_back([this, i, &tasks]() {
        std::unique_lock<std::mutex> lock(mutex_);
        WaitForTurn(lock, i);
        lock.unlock();
        t_baton = this;
        t_task = i;
        tasks[i]();
        t_baton = nullptr;
        lock.lock();
        states_[i] = TaskState::kEnded;
        HandOver();
      });
    } catch (const std::system_error&) {
      break;
    }
  }
  const size_t threaded = threads.size();
  if (threaded > 0) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (size_t i = threaded; i < states_.size(); ++i) states_[i] = TaskState::kEnded;
    holder_ = 0;
    if (onSwitch_) onSwitch_(0, true);
    turns_[0].notify_one();
    ended_.wait(lock, [this] { return holder_ == kNobody; });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t i = threaded; i < tasks.size(); ++i) {
    if (onSwitch_) onSwitch_(i, true);
    tasks[i]();
    if (onSwitch_) onSwitch_(i, false);
  }
  onSwitch_ = nullptr;
  states_.clear();
  turns_.reset();
}

void TaskBaton::LimitThreadsForTesting(size_t threads) { g_threadLimit = threads; }

void TaskBaton::Stall() {
  if (t_baton != this) {
    if (idle_) idle_();
    return;
  }
  const size_t self = t_task;
  std::unique_lock<std::mutex> lock(mutex_);
  states_[self] = TaskState::kStalled;
  HandOver();
  WaitForTurn(lock, self);
}

void TaskBaton::WaitForTurn(std::unique_lock<std::mutex>& lock, size_t task) {
  turns_[task].wait(lock, [this, task] { return holder_ == task; });
}

void TaskBaton::HandOver() {
  const size_t count = states_.size();
  if (onSwitch_) onSwitch_(holder_, false);
  size_t next = kNobody;
  for (size_t step = 1; step <= count && next == kNobody; ++step) {
    const size_t candidate = (holder_ + step) % count;
    if (states_[candidate] == TaskState::kReady) next = candidate;
  }
  if (next == kNobody) {
    bool stalled = false;
    for (TaskState& state : states_) {
      if (state != TaskState::kStalled) continue;
      state = TaskState::kReady;
      if (!stalled) next = static_cast<size_t>(&state - states_.data());
      stalled = true;
    }
    if (stalled && idle_) idle_();
  }
  holder_ = next;
  if (next == kNobody) {
    ended_.notify_one();
    return;
  }
  if (onSwitch_) onSwitch_(next, true);
  turns_[next].notify_one();
}

}  // namespace spekolar::platform
