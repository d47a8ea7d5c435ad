// OperationQueue: runs operations at most `maxConcurrentOperationCount` at a
// time, in the order added as far as concurrency allows, on threads that
// every operation queue of the process shares. Those threads are started as
// operations arrive that no idle thread can take, and are kept for later
// operations of any queue: a run of a few milliseconds does not pay for
// starting and joining threads each time. Destroying a queue waits until
// every operation added to it has finished.
//
// Thread safety: every member may be called from any thread, but not
// `waitUntilAllOperationsAreFinished` (nor the destructor) from one of the
// queue's own operations.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace keel {

class OperationQueue {
public:
    explicit OperationQueue(int maxConcurrentOperationCount = 1);
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    // An operation that throws is reported on standard error; the others go
    // on. Throws std::system_error when no thread can be started to run it
    // and none is idle; the operation is then not added.
    void addOperation(std::function<void()> operation);
    void waitUntilAllOperationsAreFinished();

private:
    // What one shared thread does for this queue: runs its pending
    // operations one after another until none is left.
    void drain();

    mutable std::mutex mutex_;
    std::condition_variable allFinished_;
    std::deque<std::function<void()>> pending_;
    const int maxCount_;
    // Shared threads working for this queue, and how many of them are inside
    // an operation; at most `maxCount_`.
    int drainers_ = 0;
    int running_ = 0;
};

}  // namespace keel
