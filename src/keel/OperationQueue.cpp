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
    workAvailable_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

void OperationQueue::addOperation(std::function<void()> operation) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(operation));
        // Start another thread when every existing one is busy and the limit
        // allows; otherwise an idle one takes it.
        if (idle_ == 0 && static_cast<int>(threads_.size()) < maxCount_)
            threads_.emplace_back([this] { workerLoop(); });
        else
            wake = idle_ > 0;
    }
    if (wake) workAvailable_.notify_one();
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    allFinished_.wait(lock, [&] { return pending_.empty() && running_ == 0; });
}

void OperationQueue::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        workAvailable_.wait(
            lock, [&] { return stopping_ || (!pending_.empty() && running_ < maxCount_); });
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
        // This thread takes what is pending next itself; only the end of all
        // work has anyone to tell.
        if (pending_.empty() && running_ == 0) allFinished_.notify_all();
    }
}

}  // namespace keel
