#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "keel/DispatchQueue.h"
#include "keel/OperationQueue.h"
#include "keel/Timer.h"

using namespace std::chrono_literals;
using keel::DispatchQueue;

TEST(DispatchQueueConcurrencyTest, SerialQueueRunsBlocksOneAtATimeInOrder) {
    DispatchQueue queue("test.serial");
    std::vector<int> order;
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    auto block = [&](int i) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        order.push_back(i);
        inside.fetch_sub(1);
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 100; ++i)
        queue.async([&, i] { block(i); });
    // Synchronous calls from other threads interleave with the asynchronous ones
    // but never run at the same time as them.
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                queue.sync([&] { block(-1); });
        });
    for (auto& t : threads)
        t.join();
    queue.sync([] {});
    EXPECT_FALSE(overlapped);
    ASSERT_EQ(order.size(), 300u);
    std::vector<int> asyncOrder;
    for (int i : order)
        if (i >= 0) asyncOrder.push_back(i);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(asyncOrder[i], i);
}

TEST(DispatchQueueConcurrencyTest, SyncWaitsForEarlierAsyncBlocksAndReturnsValues) {
    DispatchQueue queue("test.order");
    int value = 0;
    queue.async([&] {
        std::this_thread::sleep_for(20ms);
        value = 41;
    });
    EXPECT_EQ(queue.sync([&] { return value + 1; }), 42);
}

TEST(DispatchQueueConcurrencyTest, SyncRethrowsWhatTheBlockThrewAndTheQueueGoesOn) {
    DispatchQueue queue("test.throw");
    EXPECT_THROW(queue.sync([] { throw std::runtime_error("no"); }), std::runtime_error);
    EXPECT_THROW(queue.execute(true, [] { throw std::logic_error("no"); }), std::logic_error);
    EXPECT_EQ(queue.sync([] { return 7; }), 7);
}

TEST(DispatchQueueConcurrencyTest, IsCurrentHoldsInsideNestedCallsOfOtherQueues) {
    DispatchQueue outer("test.outer");
    DispatchQueue inner("test.inner");
    EXPECT_FALSE(outer.isCurrent());
    outer.sync([&] {
        EXPECT_TRUE(outer.isCurrent());
        inner.sync([&] {
            EXPECT_TRUE(inner.isCurrent());
            EXPECT_TRUE(outer.isCurrent());
        });
    });
}

TEST(DispatchQueueDeathTest, SyncFromTheQueuesOwnBlockAbortsInsteadOfHanging) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            DispatchQueue queue("test.reentrant");
            queue.sync([&] { queue.sync([] {}); });
        },
        "waits synchronously");
}

TEST(DispatchQueueConcurrencyTest, MainQueueRunsOnlyWhenDrivenAndSyncWaitsForTheDriver) {
    DispatchQueue::markCurrentThreadAsMain();
    std::atomic<bool> ranOnMain{false};
    std::atomic<bool> backgroundDone{false};
    std::thread background([&] {
        EXPECT_FALSE(DispatchQueue::isMainThread());
        DispatchQueue::main().sync([&] { ranOnMain = DispatchQueue::isMainThread(); });
        backgroundDone = true;
    });
    EXPECT_TRUE(DispatchQueue::runMainUntil([&] { return backgroundDone.load(); }, 10s));
    background.join();
    EXPECT_TRUE(ranOnMain);

    int count = 0;
    DispatchQueue::main().async([&] { ++count; });
    DispatchQueue::main().async([&] { ++count; });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(DispatchQueue::drainMain(), 2u);
    EXPECT_EQ(count, 2);
    // On the main thread itself a synchronous call runs at once.
    DispatchQueue::main().sync([&] { ++count; });
    EXPECT_EQ(count, 3);
}

TEST(DispatchQueueConcurrencyTest, GlobalQueueRunsBlocksConcurrently) {
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<int> done{0};
    for (int i = 0; i < 4; ++i)
        DispatchQueue::global(keel::QualityOfService::utility).async([&] {
            int now = ++inside;
            for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(50ms);
            --inside;
            ++done;
        });
    DispatchQueue::runMainUntil([&] { return done == 4; }, 10s);
    EXPECT_EQ(done, 4);
    EXPECT_GE(most, 2);
}

// Synchronous callers that find the queue busy get it handed over by whoever
// has it; with asynchronous blocks in between, still one block at a time,
// each caller's blocks in the order given, and none lost.
TEST(DispatchQueueConcurrencyTest, ContendedSyncCallsNeverOverlapAndKeepTheirOrder) {
    DispatchQueue queue("test.contended");
    std::atomic<int> inside{0};
    std::atomic<int> overlaps{0};
    int ran = 0;  // only touched on the queue
    std::vector<int> lastSeen(6, -1);
    std::atomic<int> outOfOrder{0};
    const auto enter = [&] {
        if (inside.fetch_add(1) != 0) overlaps.fetch_add(1);
        ++ran;
        inside.fetch_sub(1);
    };
    std::vector<std::thread> callers;
    for (int t = 0; t < 6; ++t) {
        callers.emplace_back([&, t] {
            for (int i = 0; i < 1500; ++i) {
                if (i % 5 == 0) {
                    queue.async([&, t, i] {
                        enter();
                        if (lastSeen[t] >= i) outOfOrder.fetch_add(1);
                        lastSeen[t] = i;
                    });
                } else if (i % 97 == 0) {
                    EXPECT_THROW(queue.sync([&] {
                        enter();
                        throw std::runtime_error("refused");
                    }),
                                 std::runtime_error);
                } else {
                    // Runs after this thread's earlier asynchronous blocks.
                    const int seen = queue.sync([&, t] {
                        enter();
                        return lastSeen[t];
                    });
                    if (seen != i - (i % 5)) outOfOrder.fetch_add(1);
                }
            }
        });
    }
    for (auto& caller : callers)
        caller.join();
    queue.sync([] {});
    EXPECT_EQ(overlaps, 0);
    EXPECT_EQ(outOfOrder, 0);
    EXPECT_EQ(queue.sync([&] { return ran; }), 6 * 1500);
}

TEST(DispatchQueueConcurrencyTest, ConcurrentPerformRunsEachIndexOnceEvenWhenThePoolIsBusy) {
    const auto qos = keel::QualityOfService::background;
    // Every thread of the pool held until after the calls below: the calling
    // thread must do all the work itself, and the late helpers must find
    // nothing to touch.
    std::atomic<bool> release{false};
    std::atomic<int> held{0};
    const int poolSize = static_cast<int>(std::max(4u, std::thread::hardware_concurrency()));
    for (int i = 0; i < poolSize; ++i)
        DispatchQueue::global(qos).async([&] {
            ++held;
            while (!release)
                std::this_thread::sleep_for(1ms);
            // The last touch of this test's variables: it waits for it.
            --held;
        });
    while (held < poolSize)
        std::this_thread::sleep_for(1ms);
    std::vector<std::atomic<int>> busyRuns(100);
    DispatchQueue::concurrentPerform(
        busyRuns.size(), [&](std::size_t i) { ++busyRuns[i]; }, qos);
    release = true;
    for (const auto& runs : busyRuns)
        EXPECT_EQ(runs, 1);
    while (held > 0)
        std::this_thread::sleep_for(1ms);

    // With the pool free, nested and spread over threads.
    std::vector<std::atomic<int>> runs(64 * 8);
    DispatchQueue::concurrentPerform(64, [&](std::size_t outer) {
        DispatchQueue::concurrentPerform(8, [&](std::size_t inner) { ++runs[outer * 8 + inner]; });
    });
    for (const auto& count : runs)
        EXPECT_EQ(count, 1);

    std::atomic<int> ran{0};
    EXPECT_THROW(DispatchQueue::concurrentPerform(1000,
                                                  [&](std::size_t i) {
                                                      ++ran;
                                                      if (i == 3) throw std::runtime_error("three");
                                                  }),
                 std::runtime_error);
    EXPECT_LE(ran, 1000);
    DispatchQueue::concurrentPerform(0, [](std::size_t) { FAIL() << "no index to run"; });
}

TEST(DispatchQueueDeathTest, ConcurrentPerformCallsAskingTheCallersQueueAbortInsteadOfHanging) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            DispatchQueue queue("test.perform");
            queue.sync([&] {
                DispatchQueue::concurrentPerform(64, [&](std::size_t) { queue.sync([] {}); });
            });
        },
        "waits synchronously");
}

TEST(OperationQueueConcurrencyTest, NeverRunsMoreThanTheLimitAndWaitsForAll) {
    keel::OperationQueue queue(3);
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    std::atomic<int> done{0};
    for (int i = 0; i < 24; ++i)
        queue.addOperation([&] {
            int now = ++inside;
            for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
            }
            std::this_thread::sleep_for(5ms);
            --inside;
            ++done;
        });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done, 24);
    EXPECT_LE(most, 3);
    EXPECT_GE(most, 2);
}

TEST(OperationQueueConcurrencyTest, AThrowingOperationDoesNotStopTheOthers) {
    keel::OperationQueue queue(2);
    std::atomic<int> done{0};
    queue.addOperation([] { throw std::runtime_error("one failed"); });
    for (int i = 0; i < 5; ++i)
        queue.addOperation([&] { ++done; });
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(done, 5);
}

// Queues one after another run on the threads the first one started; a
// queue whose operations wait for another queue's still finishes, and a
// queue destroyed right after its last operation leaves nothing behind for
// the shared threads to touch (ThreadSanitizer and AddressSanitizer tell).
TEST(OperationQueueConcurrencyTest, QueuesShareTheirThreadsAndMayWaitForEachOther) {
    std::mutex mutex;
    std::set<std::thread::id> first;
    {
        keel::OperationQueue queue(4);
        for (int i = 0; i < 8; ++i)
            queue.addOperation([&] {
                std::this_thread::sleep_for(2ms);
                std::lock_guard lock(mutex);
                first.insert(std::this_thread::get_id());
            });
    }
    int reused = 0;
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> done{0};
        {
            keel::OperationQueue outer(2);
            for (int i = 0; i < 2; ++i)
                outer.addOperation([&] {
                    keel::OperationQueue inner(3);
                    for (int j = 0; j < 3; ++j)
                        inner.addOperation([&] {
                            ++done;
                            std::lock_guard lock(mutex);
                            if (first.contains(std::this_thread::get_id())) ++reused;
                        });
                });
        }
        EXPECT_EQ(done, 6);
    }
    EXPECT_GT(reused, 0);
}

TEST(TimerConcurrencyTest, FiresOnceUnlessCancelled) {
    std::atomic<int> fired{0};
    auto timer = keel::Timer::schedule(0.01, [&] { ++fired; });
    DispatchQueue::runMainUntil([&] { return fired == 1; }, 10s);
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(timer->hasFired());

    std::atomic<int> cancelledFired{0};
    auto cancelled = keel::Timer::schedule(30, [&] { ++cancelledFired; });
    cancelled->cancel();
    cancelled.reset();
    EXPECT_EQ(cancelledFired, 0);
}

TEST(DispatchQueueConcurrencyTest, ContendedSynchronousCallsAllComplete) {
    // Many threads queue up synchronous calls behind each other, so most of them
    // wait for the worker to hand the queue over; every call must come back.
    DispatchQueue queue("test.contended");
    std::atomic<int> calls{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                if (i % 7 == 0) queue.async([&] { ++calls; });
                queue.sync([&] { ++calls; });
            }
        });
    for (auto& t : threads)
        t.join();
    queue.sync([] {});
    EXPECT_EQ(calls.load(), 6 * (2000 + 286));
}
