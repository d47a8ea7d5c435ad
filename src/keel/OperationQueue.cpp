#include "keel/OperationQueue.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>
#include <utility>

namespace keel {

namespace {

// The threads of every operation queue. A task is a queue's drain; a thread
// without one waits for the next, for as long as the process lives.
class SharedThreads {
public:
    // Never destroyed: a thread may still be returning from its task while
    // the program exits.
    static SharedThreads& shared() {
        static SharedThreads* threads = new SharedThreads;
        return *threads;
    }

    // Runs `task` on an idle thread, or on one started for it.
    void run(std::function<void()> task) {
        bool start = false;
        std::uint64_t number = 0;
        {
            std::lock_guard lock(mutex_);
            number = nextNumber_++;
            tasks_.emplace_back(number, std::move(task));
            // Threads being started count as idle: each will take a task.
            if (idle_ + starting_ < tasks_.size()) {
                ++starting_;
                start = true;
            }
        }
        if (!start) {
            taskAvailable_.notify_one();
            return;
        }
        // Started outside the lock, so that the idle threads and the one
        // starting are not held up while the system makes it.
        try {
            std::thread([this] { loop(); }).detach();
        } catch (const std::system_error&) {
            {
                std::lock_guard lock(mutex_);
                --starting_;
                // Without any thread nothing would run it: it is taken back,
                // by its number, as other tasks may have come after it.
                if (threads_ == 0 && starting_ == 0) {
                    std::erase_if(tasks_,
                                  [&](const auto& queued) { return queued.first == number; });
                    throw;
                }
            }
            // The threads there are take it.
            taskAvailable_.notify_one();
        }
    }

private:
    SharedThreads() = default;

    void loop() {
        std::unique_lock lock(mutex_);
        --starting_;
        ++threads_;
        for (;;) {
            ++idle_;
            taskAvailable_.wait(lock, [&] { return !tasks_.empty(); });
            --idle_;
            std::function<void()> task = std::move(tasks_.front().second);
            tasks_.pop_front();
            lock.unlock();
            task();
            task = nullptr;
            lock.lock();
        }
    }

    std::mutex mutex_;
    std::condition_variable taskAvailable_;
    std::deque<std::pair<std::uint64_t, std::function<void()>>> tasks_;
    std::uint64_t nextNumber_ = 0;
    std::size_t threads_ = 0;
    std::size_t idle_ = 0;
    std::size_t starting_ = 0;
};

}  // namespace

OperationQueue::OperationQueue(int maxConcurrentOperationCount)
    : maxCount_(std::max(1, maxConcurrentOperationCount)) {}

OperationQueue::~OperationQueue() {
    waitUntilAllOperationsAreFinished();
}

void OperationQueue::addOperation(std::function<void()> operation) {
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(std::move(operation));
        // A drainer between two operations takes the next itself; another
        // one is needed only when every drainer is inside an operation.
        const bool needsDrainer = drainers_ < maxCount_ &&
                                  static_cast<std::size_t>(drainers_ - running_) < pending_.size();
        if (!needsDrainer) return;
        ++drainers_;
    }
    try {
        SharedThreads::shared().run([this] { drain(); });
    } catch (...) {
        std::lock_guard lock(mutex_);
        --drainers_;
        pending_.pop_back();
        if (drainers_ == 0 && pending_.empty()) allFinished_.notify_all();
        throw;
    }
}

void OperationQueue::waitUntilAllOperationsAreFinished() {
    std::unique_lock lock(mutex_);
    allFinished_.wait(lock, [&] { return pending_.empty() && drainers_ == 0; });
}

void OperationQueue::drain() {
    std::unique_lock lock(mutex_);
    while (!pending_.empty()) {
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
        operation = nullptr;
        lock.lock();
        --running_;
    }
    --drainers_;
    // Told while the lock is held: once a waiter sees the queue finished it
    // may destroy it, and this thread touches nothing of it after unlocking.
    if (drainers_ == 0) allFinished_.notify_all();
}

}  // namespace keel
