#include "keel/OperationQueue.h"

#include <algorithm>
#include <cstdio>
#include <exception>

namespace keel {

OperationQueue::OperationQueue(int maxConcurrentOperationCount)
    : maxCount_(std::max(1, maxConcurrentOperationCount)) {}

OperationQueue::~OperationQueue() {
    waitUntilAllOperationsAreFinished();
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void OperationQueue::addOperation(std::function<void()> operation) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(operation));
        // Start another thread when every existing one is busy and the limit allows.
        if (idle_ == 0 && static_cast<int>(threads_.size()) < maxCount_)
            threads_.emplace_back([this] { workerLoop(); });
    }
    changed_.notify_all();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return pending_.empty() && running_ == 0; });
}

void OperationQueue::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        changed_.wait(lock,
                      [&] { return stopping_ || (!pending_.empty() && running_ < maxCount_); });
        --idle_;
        if (stopping_ && pending_.empty()) return;
        if (pending_.empty() || running_ >= maxCount_) continue;
        auto operation = std::move(pending_.front());
        pending_.pop_front();
        ++running_;
        lock.unlock();
        try {
            operation();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "Uncaught exception in an operation: %s\n", e.what());
        } catch (...) {
            std::fprintf(stderr, "Uncaught exception in an operation\n");
        }
        lock.lock();
        --running_;
        changed_.notify_all();
    }
}

}  // namespace keel
