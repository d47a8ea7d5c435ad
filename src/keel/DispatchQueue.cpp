#include "keel/DispatchQueue.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "keel/Bundle.h"

namespace keel {

namespace {

// The queues whose blocks the calling thread is running, innermost first, as
// a list threaded through the scopes on the stack. Thread-locals of trivial
// type only: they must stay usable while the program exits.
struct QueueScope;
thread_local const QueueScope* tInnermostScope = nullptr;
thread_local bool tIsMainThread = false;

struct QueueScope {
    explicit QueueScope(const DispatchQueue* running) : queue(running), outer(tInnermostScope) {
        tInnermostScope = this;
    }
    ~QueueScope() { tInnermostScope = outer; }
    QueueScope(const QueueScope&) = delete;
    QueueScope& operator=(const QueueScope&) = delete;

    const DispatchQueue* queue;
    const QueueScope* outer;
};

void reportUncaught(const std::string& label) {
    try {
        throw;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "Uncaught exception in a block of queue %s: %s\n", label.c_str(),
                     e.what());
    } catch (...) {
        std::fprintf(stderr, "Uncaught exception in a block of queue %s\n", label.c_str());
    }
}

struct MainState {
    std::mutex mutex;
    std::function<void()> driver;
};

MainState& mainState() {
    static MainState state;
    return state;
}

}  // namespace

// A synchronous block waiting for its turn on a serial or main queue.
struct DispatchQueue::SyncSlot {
    std::mutex mutex;
    std::condition_variable changed;
    bool mayRun = false;    // serial: the worker handed the queue to the caller
    bool finished = false;  // the block has run
    const std::function<void()>* block = nullptr;  // main: the block to run
    std::exception_ptr error;
};

// The threads behind a global concurrent queue: started as blocks arrive
// that no idle thread can take, up to `limit`, then kept. A short command
// that gives one block starts one thread, not the whole pool.
struct DispatchQueue::Pool {
    explicit Pool(std::size_t count) : limit(count) {}
    ~Pool() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (auto& t : threads)
            t.join();
    }
    void add(Block block) {
        {
            std::lock_guard lock(mutex);
            pending.push_back(std::move(block));
            if (idle < pending.size() && threads.size() < limit) {
                try {
                    threads.emplace_back([this] { loop(); });
                } catch (const std::system_error&) {
                    // The threads there are take it; without any, nothing would.
                    if (threads.empty()) {
                        pending.pop_back();
                        throw;
                    }
                }
            }
        }
        changed.notify_one();
    }
    void loop() {
        for (;;) {
            Block block;
            {
                std::unique_lock lock(mutex);
                ++idle;
                changed.wait(lock, [&] { return stopping || !pending.empty(); });
                --idle;
                if (pending.empty()) return;
                block = std::move(pending.front());
                pending.pop_front();
            }
            run(block);
        }
    }
    std::function<void(const Block&)> run;
    const std::size_t limit;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Block> pending;
    std::size_t idle = 0;  // threads waiting for a block
    bool stopping = false;
    std::vector<std::thread> threads;
};

DispatchQueue::DispatchQueue(std::string label) : DispatchQueue(std::move(label), Kind::serial) {}

DispatchQueue::DispatchQueue(std::string label, Kind kind) : label_(std::move(label)), kind_(kind) {
    if (kind_ == Kind::concurrent) {
        const std::size_t count = std::max(4u, std::thread::hardware_concurrency());
        pool_ = std::make_unique<Pool>(count);
        pool_->run = [this](const Block& block) {
            QueueScope scope(this);
            runGuarded(block);
        };
    }
}

DispatchQueue::~DispatchQueue() {
    if (kind_ == Kind::serial) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (worker_.joinable()) worker_.join();
    }
    pool_.reset();
}

DispatchQueue& DispatchQueue::main() {
    // Never destroyed: other process-wide objects may still use it while the
    // program exits, whatever the order of their destruction.
    static DispatchQueue* queue = new DispatchQueue(uniqueID("main"), Kind::mainQueue);
    return *queue;
}

DispatchQueue& DispatchQueue::global(QualityOfService qos) {
    // One queue per quality of service, made on first use and never destroyed,
    // like the main queue: a block may still run on them while the program
    // exits. Their threads end with the process.
    static std::mutex mutex;
    static DispatchQueue* queues[5] = {};
    static const char* const names[5] = {"global.userInteractive", "global.userInitiated",
                                         "global.default", "global.utility", "global.background"};
    const auto index = static_cast<std::size_t>(qos);
    std::lock_guard lock(mutex);
    if (!queues[index]) queues[index] = new DispatchQueue(uniqueID(names[index]), Kind::concurrent);
    return *queues[index];
}

void DispatchQueue::runGuarded(const Block& block) const {
    try {
        block();
    } catch (...) {
        reportUncaught(label_);
    }
}

void DispatchQueue::async(Block block) {
    switch (kind_) {
        case Kind::concurrent:
            pool_->add(std::move(block));
            return;
        case Kind::mainQueue: {
            {
                std::lock_guard lock(mutex_);
                pending_.push_back(Task{std::move(block), nullptr});
            }
            changed_.notify_all();
            std::function<void()> driver;
            {
                std::lock_guard lock(mainState().mutex);
                driver = mainState().driver;
            }
            if (driver) driver();
            return;
        }
        case Kind::serial: {
            {
                std::lock_guard lock(mutex_);
                pending_.push_back(Task{std::move(block), nullptr});
                if (!worker_.joinable()) worker_ = std::thread([this] { workerLoop(); });
            }
            changed_.notify_all();
            return;
        }
    }
}

void DispatchQueue::execute(bool synchronized, Block block) {
    if (synchronized) {
        runSync(block);
    } else {
        async(std::move(block));
    }
}

void DispatchQueue::concurrentPerform(std::size_t iterations,
                                      const std::function<void(std::size_t)>& block,
                                      QualityOfService qos) {
    if (iterations == 0) return;
    // Shared with helpers that start only after the work is done, which must
    // find it still there to learn that they have nothing to do.
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        bool closed = false;     // the caller has finished its part
        std::size_t active = 0;  // helpers inside `work`
    };
    const auto shared = std::make_shared<Shared>();
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    const auto work = [&] {
        for (std::size_t i = next++; i < iterations && !failed; i = next++) {
            try {
                block(i);
            } catch (...) {
                std::lock_guard lock(shared->mutex);
                if (!error) error = std::current_exception();
                failed = true;
            }
        }
    };

    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t helpers = std::min(cores, iterations) - 1;
    const QueueScope* callerScope = tInnermostScope;
    DispatchQueue& pool = global(qos);
    for (std::size_t h = 0; h < helpers; ++h) {
        pool.async([shared, &work, callerScope] {
            {
                std::lock_guard lock(shared->mutex);
                // Too late: the caller no longer waits, and what `work`
                // refers to may be gone.
                if (shared->closed) return;
                ++shared->active;
            }
            const QueueScope* own = tInnermostScope;
            tInnermostScope = callerScope;
            work();
            tInnermostScope = own;
            {
                std::lock_guard lock(shared->mutex);
                --shared->active;
            }
            shared->changed.notify_all();
        });
    }
    work();
    {
        std::unique_lock lock(shared->mutex);
        shared->closed = true;
        shared->changed.wait(lock, [&] { return shared->active == 0; });
    }
    if (error) std::rethrow_exception(error);
}

bool DispatchQueue::isCurrent() const {
    if (kind_ == Kind::mainQueue) return tIsMainThread;
    for (const QueueScope* scope = tInnermostScope; scope; scope = scope->outer)
        if (scope->queue == this) return true;
    return false;
}

void DispatchQueue::runSync(const std::function<void()>& block) {
    switch (kind_) {
        case Kind::concurrent: {
            QueueScope scope(this);
            block();
            return;
        }
        case Kind::mainQueue:
            runMainSync(block);
            return;
        case Kind::serial:
            runSerialSync(block);
            return;
    }
}

void DispatchQueue::runSerialSync(const std::function<void()>& block) {
    if (isCurrent()) {
        std::fprintf(stderr,
                     "Fatal: a block of queue %s waits synchronously for that same queue; "
                     "this would never return.\n",
                     label_.c_str());
        std::abort();
    }
    auto slotPointer = std::make_shared<SyncSlot>();
    SyncSlot& slot = *slotPointer;
    {
        std::unique_lock lock(mutex_);
        if (!busy_ && pending_.empty()) {
            // The queue is idle: run at once on this thread.
            busy_ = true;
        } else {
            // In line behind what was given before. Whoever has the queue
            // when this slot comes first hands the queue straight over: the
            // worker, or a caller whose synchronous block is done.
            pending_.push_back(Task{nullptr, slotPointer});
            const bool free = !busy_;
            lock.unlock();
            if (free) changed_.notify_all();
            std::unique_lock slotLock(slot.mutex);
            slot.changed.wait(slotLock, [&] { return slot.mayRun; });
        }
    }
    std::exception_ptr error;
    {
        QueueScope scope(this);
        try {
            block();
        } catch (...) {
            error = std::current_exception();
        }
    }
    {
        std::unique_lock lock(mutex_);
        handOver(lock);
    }
    if (error) std::rethrow_exception(error);
}

void DispatchQueue::handOver(std::unique_lock<std::mutex>& lock) {
    if (!pending_.empty() && pending_.front().slot) {
        // A synchronous caller is next: the queue passes to it directly and
        // stays busy, without a round trip through the worker.
        const std::shared_ptr<SyncSlot> next = std::move(pending_.front().slot);
        pending_.pop_front();
        lock.unlock();
        {
            std::lock_guard slotLock(next->mutex);
            next->mayRun = true;
        }
        next->changed.notify_all();
        return;
    }
    // An asynchronous block is the worker's to run; with nothing pending the
    // worker may be waiting to stop.
    busy_ = false;
    lock.unlock();
    changed_.notify_all();
}

void DispatchQueue::workerLoop() {
    for (;;) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] {
            return (!pending_.empty() && !busy_) || (stopping_ && pending_.empty() && !busy_);
        });
        if (pending_.empty()) return;
        Task task = std::move(pending_.front());
        pending_.pop_front();
        busy_ = true;
        lock.unlock();
        if (task.slot) {
            // The caller runs its block and hands the queue on when done.
            {
                std::lock_guard slotLock(task.slot->mutex);
                task.slot->mayRun = true;
            }
            task.slot->changed.notify_all();
            continue;
        }
        {
            QueueScope scope(this);
            runGuarded(task.block);
        }
        lock.lock();
        handOver(lock);
    }
}

// Main queue.

bool DispatchQueue::isMainThread() {
    return tIsMainThread;
}

void DispatchQueue::markCurrentThreadAsMain() {
    tIsMainThread = true;
}

void DispatchQueue::setMainDriver(std::function<void()> wakeUp) {
    std::lock_guard lock(mainState().mutex);
    mainState().driver = std::move(wakeUp);
}

void DispatchQueue::runMainSync(const std::function<void()>& block) {
    if (tIsMainThread) {
        block();
        return;
    }
    auto slotPointer = std::make_shared<SyncSlot>();
    SyncSlot& slot = *slotPointer;
    slot.block = &block;
    {
        std::lock_guard lock(mutex_);
        pending_.push_back(Task{nullptr, slotPointer});
    }
    changed_.notify_all();
    std::function<void()> driver;
    {
        std::lock_guard lock(mainState().mutex);
        driver = mainState().driver;
    }
    if (driver) driver();
    std::unique_lock slotLock(slot.mutex);
    slot.changed.wait(slotLock, [&] { return slot.finished; });
    if (slot.error) std::rethrow_exception(slot.error);
}

std::size_t DispatchQueue::drainMain() {
    tIsMainThread = true;
    DispatchQueue& queue = main();
    std::size_t count = 0;
    for (;;) {
        Task task;
        {
            std::lock_guard lock(queue.mutex_);
            if (queue.pending_.empty()) return count;
            task = std::move(queue.pending_.front());
            queue.pending_.pop_front();
        }
        ++count;
        if (task.slot) {
            SyncSlot& slot = *task.slot;
            std::exception_ptr error;
            try {
                (*slot.block)();
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard slotLock(slot.mutex);
                slot.error = error;
                slot.finished = true;
            }
            slot.changed.notify_all();
        } else {
            queue.runGuarded(task.block);
        }
    }
}

bool DispatchQueue::runMainUntil(const std::function<bool()>& done,
                                 std::chrono::milliseconds timeout) {
    tIsMainThread = true;
    DispatchQueue& queue = main();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        drainMain();
        if (done()) return true;
        std::unique_lock lock(queue.mutex_);
        // Wake for new work, and at least every few milliseconds to ask `done`
        // again: its answer may change on another thread without any main-queue block.
        const auto wakeAt =
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
        queue.changed_.wait_until(lock, wakeAt, [&] { return !queue.pending_.empty(); });
        if (std::chrono::steady_clock::now() >= deadline && queue.pending_.empty()) {
            lock.unlock();
            return done();
        }
    }
}

}  // namespace keel
