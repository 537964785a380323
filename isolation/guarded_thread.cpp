#include "isolation/guarded_thread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace duvane::isolation {
namespace {

// What the service's side and the worker thread share. The worker keeps it
// alive when it outlives the service's side (a call that never returns).
struct Shared {
  Shared(const IsolatedWork& w, FaultGuard g)
      : work(w),
        guard(g),
        request(w.Largest(&IsolatedCall::requestSize)),
        reply(w.Largest(&IsolatedCall::replySize)) {}

  const IsolatedWork work;
  const FaultGuard guard;
  std::mutex mutex;
  std::condition_variable changed;
  bool posted = false;   // a call waits for the worker
  bool running = false;  // a call is posted or in the library
  bool quit = false;
  bool retired = false;  // a fault left the thread unfit for another call
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

// Owns nothing that needs destroying: a fault abandons this frame.
void RunPosted(void* context) {
  Shared& shared = *static_cast<Shared*>(context);
  ThreadMarks marks(shared.step);
  shared.work.calls[shared.index].run(shared.request.data(), shared.reply.data(), marks);
}

CallOutcome RunGuarded(Shared& shared, bool& retired) {
  Fault fault;
  try {
    std::fill(shared.reply.begin(), shared.reply.end(), 0);
    if (shared.guard(RunPosted, &shared, fault)) return {};
  } catch (const std::exception& e) {
    return {CallEnd::kRaised, -1, std::string("raised an exception: ") + e.what()};
  } catch (...) {
    return {CallEnd::kRaised, -1, "raised an exception of unknown kind"};
  }
  retired = fault.retire;
  return {CallEnd::kCrashed, -1, std::move(fault.detail)};
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

class GuardedThread final : public Isolation {
 public:
  GuardedThread(const IsolatedWork& work, IsolationSettings settings, FaultGuard guard)
      : settings_(std::move(settings)), shared_(std::make_shared<Shared>(work, guard)) {}
  ~GuardedThread() override;

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

GuardedThread::~GuardedThread() {
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

CallOutcome GuardedThread::Call(std::size_t index, const void* request, void* reply) {
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
            "did not return within " + Milliseconds(settings_.callBound) +
                "; the call goes on by itself, and until it returns the library is not "
                "called again"};
  }
  if (shared_->outcome.end == CallEnd::kReturned) {
    std::copy_n(shared_->reply.data(), call.replySize, static_cast<char*>(reply));
  }
  return shared_->outcome;
}

}  // namespace

std::unique_ptr<Isolation> CreateGuardedThread(const IsolatedWork& work, IsolationSettings settings,
                                               FaultGuard guard) {
  return std::make_unique<GuardedThread>(work, std::move(settings), guard);
}

}  // namespace duvane::isolation
