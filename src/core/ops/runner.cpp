#include "core/ops/runner.h"

#include <memory>
#include <utility>

namespace kvx {

OperationRunner::~OperationRunner() {
  RequestStop();
  Join();
}

bool OperationRunner::Start(Workspace& ws, Work work, Ended ended) {
  {
    std::lock_guard lock(mutex_);
    if (running_) return false;
  }
  Join();  // a worker that has ended
  auto guard = std::make_unique<WorkspaceBusyGuard>(ws);
  if (!guard->owns()) return false;
  std::stop_token stop;
  {
    std::lock_guard lock(mutex_);
    running_ = true;
    outcome_ = OpOutcome::Ok;
    stop_ = std::stop_source();
    stop = stop_.get_token();
  }
  thread_ = std::jthread([this, stop, guard = std::move(guard), work = std::move(work),
                          ended = std::move(ended)]() mutable {
    const OpOutcome outcome = work(stop);
    guard.reset();  // the workspace is free before anyone hears of the end
    {
      std::lock_guard lock(mutex_);
      outcome_ = outcome;
      running_ = false;
    }
    ended_.notify_all();
    if (ended) ended(outcome);
  });
  return true;
}

bool OperationRunner::Start(const Command& command, RunTarget target, long passNumber,
                            PassEnded ended) {
  auto result = std::make_shared<PassResult>();
  return Start(
      target.ws,
      [&command, target, passNumber, result](std::stop_token stop) {
        OperationContext ctx{target.ws, target.port, target.clock, target.view, stop};
        *result = RunPass(command, ctx, passNumber);
        return result->outcome;
      },
      [result, ended = std::move(ended)](OpOutcome) {
        if (ended) ended(*result);
      });
}

bool OperationRunner::StartPasses(const Command& command, RunTarget target, long count,
                                  std::function<void(long, const PassResult&)> afterPass,
                                  PassEnded ended) {
  auto result = std::make_shared<PassResult>();
  return Start(
      target.ws,
      [&command, target, count, result, afterPass = std::move(afterPass)](std::stop_token stop) {
        OperationContext ctx{target.ws, target.port, target.clock, target.view, stop};
        *result = RunPasses(command, ctx, count, [&](long n, const PassResult& r) {
          if (afterPass) afterPass(n, r);
        });
        return result->outcome;
      },
      [result, ended = std::move(ended)](OpOutcome) {
        if (ended) ended(*result);
      });
}

void OperationRunner::RequestStop() {
  std::lock_guard lock(mutex_);
  stop_.request_stop();
}

bool OperationRunner::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

bool OperationRunner::WaitFor(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return ended_.wait_for(lock, limit, [this] { return !running_; });
}

OpOutcome OperationRunner::Wait() {
  Join();
  std::lock_guard lock(mutex_);
  return outcome_;
}

void OperationRunner::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

}  // namespace kvx
