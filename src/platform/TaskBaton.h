// Cooperative tasks: each on a thread of its own, but only one runs at any
// moment, the one that holds the baton.
//
// A task runs until it ends or stalls (Stall: it cannot go on until
// something outside the tasks happens, such as the next block of a file
// being read). The baton then goes to the next task that can run, in task
// order and round. When every task that has not ended stalls, the baton's
// idle step runs (it does what the stalled tasks wait for), and they all go
// on, the first in task order first.
//
// Since one task runs at a time and the baton is handed over under a lock,
// the tasks need no locks of their own for the program's shared state; what
// is a task's own slice of it is put in place and taken out again by the
// switch hook at every hand-over.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace spekolar::platform {

class TaskBaton {
 public:
  // `idle` does what stalled tasks wait for; it runs on the thread of the
  // task that stalled last, with no task running.
  explicit TaskBaton(std::function<void()> idle) : idle_(std::move(idle)) {}
  TaskBaton(const TaskBaton&) = delete;
  TaskBaton& operator=(const TaskBaton&) = delete;

  // Called with (task, true) as a task takes the baton and (task, false)
  // as it gives it up; no task runs during the call.
  using SwitchHook = std::function<void(size_t task, bool entering)>;

  // Runs every task to its end, task 0 first, and returns when all have
  // ended.
  void Run(std::vector<std::function<void()>> tasks, SwitchHook onSwitch = {});

  // From within a task of this baton: lets the other tasks run until every
  // task stalls or has ended and the idle step has run. Outside a task (a
  // caller on another thread, or no Run under way) it runs the idle step
  // itself and returns.
  void Stall();

  // Tests: later runs start at most this many threads, as a system out of
  // threads would (SIZE_MAX: no limit).
  static void LimitThreadsForTesting(size_t threads);

 private:
  enum class TaskState { kReady, kStalled, kEnded };
  static constexpr size_t kNobody = static_cast<size_t>(-1);

  // The holder gives up the baton: picks the next task (running the idle
  // step when all stall) and wakes it. Called with mutex_ held.
  void HandOver();
  void WaitForTurn(std::unique_lock<std::mutex>& lock, size_t task);

  std::function<void()> idle_;
  SwitchHook onSwitch_;
  std::mutex mutex_;
  // One per task, so that a hand-over wakes only the task that takes the
  // baton; `ended_` wakes Run when the last task has ended.
  std::unique_ptr<std::condition_variable[]> turns_;
  std::condition_variable ended_;
  std::vector<TaskState> states_;
  size_t holder_ = kNobody;
};

}  // namespace spekolar::platform
