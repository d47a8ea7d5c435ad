// OperationQueue: runs operations on its own threads, at most
// `maxConcurrentOperationCount` at a time, in the order added as far as
// concurrency allows. Threads are started on demand and joined when the queue
// is destroyed, after every operation added has finished.
//
// Thread safety: every member may be called from any thread, but not
// `waitUntilAllOperationsAreFinished` from one of the queue's own operations.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace keel {

class OperationQueue {
public:
    explicit OperationQueue(int maxConcurrentOperationCount = 1);
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // An operation that throws is reported on standard error; the others go on.
    void addOperation(std::function<void()> operation);
    void waitUntilAllOperationsAreFinished();

private:
    void workerLoop();

    mutable std::mutex mutex_;
    // Separate, so that an operation added wakes one idle thread and one
    // finished wakes only those waiting for all: waking every thread at each
    // step costs more than short operations do.
    std::condition_variable workAvailable_;
    std::condition_variable allFinished_;
    std::deque<std::function<void()>> pending_;
    std::vector<std::thread> threads_;
    const int maxCount_;
    int running_ = 0;
    int idle_ = 0;
    bool stopping_ = false;
};

}  // namespace keel
