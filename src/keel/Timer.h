// Timer: a one-shot timer. `schedule(in:block:)` runs the block once after the
// given number of seconds, on the timer's own thread, unless the timer is
// cancelled first. Destroying the timer cancels it and waits for a block that
// is already running.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace keel {

class Timer {
public:
    static std::unique_ptr<Timer> schedule(double seconds, std::function<void()> block);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // After `cancel` returns the block has either run to its end or will never run.
    void cancel();
    bool hasFired() const;

private:
    Timer() = default;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool cancelled_ = false;
    bool fired_ = false;
    std::thread thread_;
};

}  // namespace keel
