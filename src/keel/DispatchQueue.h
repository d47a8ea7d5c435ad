// DispatchQueue: a queue of blocks. Three kinds exist:
//
// - Serial queues (`DispatchQueue(label)`): one block at a time, in the order
//   given. A synchronous call runs the block on the calling thread once the
//   queue is free and everything given before it has run, and rethrows what the
//   block threw. Asynchronous blocks run on the queue's own worker thread, which
//   is started on first need and joined when the queue is destroyed (after the
//   blocks already given have run).
// - Global concurrent queues (`global(qos)`): asynchronous blocks run on a
//   shared pool of threads; synchronous blocks run on the calling thread.
// - The main queue (`main()`): blocks run only when the thread that drives it
//   calls `drainMain()` or `runMainUntil()`. A GUI front end drives it from its
//   event loop (`setMainDriver` tells it when work arrives); the command line
//   and the tests drive it with `runMainUntil`. A synchronous call from the main
//   thread runs at once; from another thread it waits until the driver runs it.
//
// Calling a serial queue synchronously from one of its own blocks would wait
// forever; it is a programming error and aborts the process with a message.
//
// Thread safety: every member may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>

namespace keel {

enum class QualityOfService { userInteractive, userInitiated, defaultQoS, utility, background };

class DispatchQueue {
public:
    using Block = std::function<void()>;

    // A new serial queue.
    explicit DispatchQueue(std::string label);
    ~DispatchQueue();
    DispatchQueue(const DispatchQueue&) = delete;
    DispatchQueue& operator=(const DispatchQueue&) = delete;

    static DispatchQueue& main();
    static DispatchQueue& global(QualityOfService qos = QualityOfService::defaultQoS);

    // Runs `block(0)` to `block(iterations - 1)`, spread over the calling
    // thread and the threads of the global queue of `qos`, and returns when
    // every call has returned. Calls run in no set order and at the same time,
    // each index once; the calling thread takes part, so the work is done
    // even when every thread of the pool is busy. When a call throws, indices
    // not yet begun are skipped and the first exception is rethrown here.
    //
    // The calls count as running inside the caller's queues: a call that asks
    // one of them synchronously aborts the process, as from the caller itself
    // (it would wait forever). A call made on the main thread must not ask the
    // main queue synchronously either.
    static void concurrentPerform(std::size_t iterations,
                                  const std::function<void(std::size_t)>& block,
                                  QualityOfService qos = QualityOfService::userInitiated);

    const std::string& label() const { return label_; }

    void async(Block block);

    // Runs `f` on the queue and waits; returns its result and rethrows its exception.
    template <class F>
    std::invoke_result_t<F&> sync(F&& f) {
        using R = std::invoke_result_t<F&>;
        if constexpr (std::is_void_v<R>) {
            runSync([&] { f(); });
        } else {
            std::optional<R> result;
            runSync([&] { result.emplace(f()); });
            return std::move(*result);
        }
    }

    // Runs the block on the queue, waiting for it when `synchronized` is true
    // (and then rethrowing what it threw).
    void execute(bool synchronized, Block block);

    // True while the calling thread runs a block of this queue (also when that
    // block called into another queue synchronously).
    bool isCurrent() const;

    // The main thread is the thread that drives the main queue.
    static bool isMainThread();
    // Marks the calling thread as the main thread. Front ends call it first thing.
    static void markCurrentThreadAsMain();
    // Called, on any thread, each time a block is given to the main queue, so
    // that an event loop can schedule a call of `drainMain()`.
    static void setMainDriver(std::function<void()> wakeUp);
    // Runs every block waiting on the main queue, on the calling thread, which
    // becomes the main thread. Returns how many ran.
    static std::size_t drainMain();
    // Drives the main queue until `done()` is true or the timeout has passed;
    // returns the last answer of `done()`.
    static bool runMainUntil(const std::function<bool()>& done,
                             std::chrono::milliseconds timeout = std::chrono::seconds(30));

private:
    enum class Kind { serial, concurrent, mainQueue };
    struct SyncSlot;
    struct Task {
        Block block;
        // Shared: the waiting thread and the thread that hands over the
        // queue both touch it after the other may have moved on.
        std::shared_ptr<SyncSlot> slot;
    };
    struct Pool;

    DispatchQueue(std::string label, Kind kind);
    void runSync(const std::function<void()>& block);
    void runSerialSync(const std::function<void()>& block);
    void runMainSync(const std::function<void()>& block);
    void workerLoop();
    // With `lock` held on mutex_ by the thread whose block is done: passes
    // the queue to the next synchronous caller, or frees it. Unlocks `lock`.
    void handOver(std::unique_lock<std::mutex>& lock);
    void runGuarded(const Block& block) const;

    std::string label_;
    Kind kind_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Task> pending_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread worker_;
    std::unique_ptr<Pool> pool_;
};

}  // namespace keel
