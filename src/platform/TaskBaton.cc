#include "platform/TaskBaton.h"

#include <thread>
#include <utility>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace platform {

namespace {

// The baton and the task the calling thread runs; null outside a task.
thread_local TaskBaton* t_baton = nullptr;
thread_local size_t t_task = 0;

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
  holder_ = 0;
  if (onSwitch_) onSwitch_(0, true);

  std::vector<std::thread> threads;
  threads.reserve(tasks.size());
  for (size_t i = 0; i < tasks.size(); ++i) {
    threads.emplace_back([this, i, task = std::move(tasks[i])]() {
      std::unique_lock<std::mutex> lock(mutex_);
      WaitForTurn(lock, i);
      lock.unlock();
      t_baton = this;
      t_task = i;
      task();
      t_baton = nullptr;
      lock.lock();
      states_[i] = TaskState::kEnded;
      HandOver();
    });
  }
  {
    std::unique_lock<std::mutex> lock(mutex_);
    ended_.wait(lock, [this] { return holder_ == kNobody; });
  }
  for (std::thread& thread : threads) thread.join();
  onSwitch_ = nullptr;
  states_.clear();
  turns_.reset();
}

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

}  // namespace platform
