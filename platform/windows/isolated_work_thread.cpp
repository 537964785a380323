// Windows: the isolated work runs on one thread of its own in the service,
// under the fault guard. The service thread waits for each call at most the
// bound; a call that overruns it goes on by itself, and until it returns
// every later call is refused at once, so the library never runs two calls
// at a time. All calls run on that one thread: a lock that a fault left
// taken (a critical section) stays the thread's to take again.
#include <malloc.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/isolated_work.h"
#include "platform/windows/fault_guard.h"

namespace duvane::platform {
namespace {

std::string Hexadecimal(uint32_t code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
  return text;
}

// What the service's side and the worker thread share. The worker keeps it
// alive when it outlives the service's side (a call that never returns).
struct Shared {
  explicit Shared(const IsolatedWork& w)
      : work(w),
        request(w.Largest(&IsolatedCall::requestSize)),
        reply(w.Largest(&IsolatedCall::replySize)) {}

  const IsolatedWork work;
  std::mutex mutex;
  std::condition_variable changed;
  bool posted = false;   // a call waits for the worker
  bool running = false;  // a call is posted or in the library
  bool quit = false;
  bool retired = false;  // the stack's guard page could not be restored
  std::size_t index = 0;
  std::vector<char> request;
  std::vector<char> reply;
  std::atomic<int> step{-1};
  CallOutcome outcome;
};

class ThreadMarks final : public StepMarks {
 public:
  explicit ThreadMarks(std::atomic<int>& step) : step_(step) {}
  void Mark(uint8_t step) override { step_.store(step); }

 private:
  std::atomic<int>& step_;
};

void RunPosted(void* context) {
  Shared& shared = *static_cast<Shared*>(context);
  ThreadMarks marks(shared.step);
  shared.work.calls[shared.index].run(shared.request.data(), shared.reply.data(), marks);
}

// A stack overflow leaves the thread's stack without its guard page, and a
// second one would end the process. Restored, the library may be called
// again as after any other fault; otherwise it never is.
std::string AfterStackOverflow(bool& retired) {
  if (_resetstkoflw() != 0) return " (stack overflow); its guard page is restored";
  retired = true;
  return " (stack overflow); the library is not called again until the service restarts";
}

CallOutcome RunGuarded(Shared& shared, bool& retired) {
  CallOutcome outcome;
  uint32_t code = 0;
  try {
    std::fill(shared.reply.begin(), shared.reply.end(), 0);
    if (RunGuardingFaults(RunPosted, &shared, code)) return outcome;
  } catch (const std::exception& e) {
    return {CallEnd::kRaised, -1, std::string("raised an exception: ") + e.what()};
  } catch (...) {
    return {CallEnd::kRaised, -1, "raised an exception of unknown kind"};
  }
  outcome.end = CallEnd::kCrashed;
  outcome.detail = "exception " + Hexadecimal(code);
  if (code == kStackOverflowCode) outcome.detail += AfterStackOverflow(retired);
  return outcome;
}

void Serve(std::shared_ptr<Shared> shared) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->changed.wait(lock, [&] { return shared->posted || shared->quit; });
    if (!shared->posted) return;
    shared->posted = false;
    lock.unlock();
    bool retired = false;
    CallOutcome outcome = RunGuarded(*shared, retired);
    lock.lock();
    outcome.step = shared->step.load();
    shared->outcome = std::move(outcome);
    shared->retired = shared->retired || retired;
    shared->running = false;
    shared->changed.notify_all();
  }
}

class ThreadIsolation final : public Isolation {
 public:
  ThreadIsolation(const IsolatedWork& work, IsolationSettings settings)
      : settings_(std::move(settings)), shared_(std::make_shared<Shared>(work)) {}

  ~ThreadIsolation() override {
    if (!worker_.joinable()) return;
    bool running = false;
    {
      std::lock_guard lock(shared_->mutex);
      shared_->quit = true;
      running = shared_->running;
      shared_->changed.notify_all();
    }
    // A call that never returns keeps its thread: the process ends with it.
    if (running) {
      worker_.detach();
    } else {
      worker_.join();
    }
  }

  bool Start(std::string& error) override {
    if (worker_.joinable()) return true;
    if (!shared_->work.prepare(settings_.argument, error)) return false;
    worker_ = std::thread(Serve, shared_);
    return true;
  }

  CallOutcome Call(std::size_t index, const void* request, void* reply) override;

 private:
  IsolationSettings settings_;
  std::shared_ptr<Shared> shared_;
  std::thread worker_;
};

CallOutcome ThreadIsolation::Call(std::size_t index, const void* request, void* reply) {
  std::string error;
  if (!Start(error)) return {CallEnd::kUnavailable, -1, error};
  std::unique_lock lock(shared_->mutex);
  if (shared_->running) {
    return {CallEnd::kRefused, shared_->step.load(), "still in a call that overran its bound"};
  }
  if (shared_->retired) return {CallEnd::kRefused, -1, "out of use since a stack overflow"};
  const IsolatedCall& call = shared_->work.calls[index];
  std::copy_n(static_cast<const char*>(request), call.requestSize, shared_->request.data());
  shared_->index = index;
  shared_->step.store(-1);
  shared_->posted = true;
  shared_->running = true;
  shared_->changed.notify_all();
  if (!shared_->changed.wait_for(lock, settings_.callBound, [&] { return !shared_->running; })) {
    return {CallEnd::kTimedOut, shared_->step.load(),
            "did not return within " + std::to_string(settings_.callBound.count()) +
                " ms; the call goes on by itself, and until it returns the library is not "
                "called again"};
  }
  if (shared_->outcome.end == CallEnd::kReturned) {
    std::copy_n(shared_->reply.data(), call.replySize, static_cast<char*>(reply));
  }
  return shared_->outcome;
}

}  // namespace

std::unique_ptr<Isolation> Isolation::Create(const IsolatedWork& work, IsolationSettings settings) {
  return std::make_unique<ThreadIsolation>(work, std::move(settings));
}

}  // namespace duvane::platform
