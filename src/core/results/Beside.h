// Long steps of the results build run on a helper thread while the thread that
// asked for them keeps its window alive. On millions of files one step (a sort
// of every file, a layout of every tile) takes seconds; done in place it would
// freeze the window for all that time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

namespace vd {

// Runs work() on a helper thread; meanwhile the calling thread calls tick()
// every `every` until the work has ended. Returns when both are done, with
// what either threw rethrown (the work's first). tick must not touch what the
// work writes.
template <class TWork, class TTick>
void RunBeside(TWork&& work, TTick&& tick, std::chrono::milliseconds every = std::chrono::milliseconds(10)) {
  std::mutex m;
  std::condition_variable cv;
  bool done = false;
  std::exception_ptr workError, tickError;
  std::thread helper([&] {
    try {
      work();
    } catch (...) {
      workError = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(m);
      done = true;
    }
    cv.notify_one();
  });
  {
    std::unique_lock<std::mutex> lock(m);
    while (!cv.wait_for(lock, every, [&] { return done; })) {
      if (tickError) continue;  // a failed tick only waits for the work now
      lock.unlock();
      try {
        tick();
      } catch (...) {
        tickError = std::current_exception();
      }
      lock.lock();
    }
  }
  helper.join();
  if (workError) std::rethrow_exception(workError);
  if (tickError) std::rethrow_exception(tickError);
}

// While one lives, core steps that take long and build into storage of their
// own run beside the thread that made it, and that thread calls `pump` (the
// window's event loop) about every 10 ms meanwhile. Without one, or inside
// the pump itself, they run in place.
class TPumpScope {
 public:
  explicit TPumpScope(std::function<void()> pump) : FPump(std::move(pump)), FOuter(Current()) { Current() = this; }
  ~TPumpScope() { Current() = FOuter; }
  TPumpScope(const TPumpScope&) = delete;
  TPumpScope& operator=(const TPumpScope&) = delete;

  template <class TWork>
  static void Run(TWork&& work) {
    TPumpScope* s = Current();
    if (!s || s->FPumping) {
      work();
      return;
    }
    RunBeside(std::forward<TWork>(work), [s] {
      s->FPumping = true;
      try {
        s->FPump();
      } catch (...) {
        s->FPumping = false;
        throw;
      }
      s->FPumping = false;
    });
  }

 private:
  static TPumpScope*& Current() {
    static thread_local TPumpScope* current = nullptr;
    return current;
  }
  std::function<void()> FPump;
  TPumpScope* FOuter;
  bool FPumping = false;
};

// Work started on a helper thread ahead of the step that takes its result, so
// that it overlaps what the calling thread does meanwhile. Whatever the work
// reads must stay unchanged, and alive, until it has been waited for; the
// destructor waits too.
class TAhead {
 public:
  template <class TWork>
  explicit TAhead(TWork&& work)
      : FThread([this, w = std::forward<TWork>(work)]() mutable {
          try {
            w();
          } catch (...) {
            FError = std::current_exception();
          }
        }) {}
  ~TAhead() {
    if (FThread.joinable()) FThread.join();
  }
  TAhead(const TAhead&) = delete;
  TAhead& operator=(const TAhead&) = delete;

  // Returns when the work has ended (inside a TPumpScope the window turns
  // meanwhile), with what it threw rethrown.
  void Wait() {
    if (FThread.joinable()) TPumpScope::Run([this] { FThread.join(); });
    if (FError) std::rethrow_exception(std::exchange(FError, nullptr));
  }

 private:
  std::exception_ptr FError;  // before the thread, which may set it at once
  std::thread FThread;
};

}  // namespace vd
