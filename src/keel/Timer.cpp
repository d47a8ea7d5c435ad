#include "keel/Timer.h"

#include <chrono>

namespace keel {

std::unique_ptr<Timer> Timer::schedule(double seconds, std::function<void()> block) {
    std::unique_ptr<Timer> timer(new Timer());
    Timer* self = timer.get();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(seconds));
    timer->thread_ = std::thread([self, deadline, block = std::move(block)] {
        {
            std::unique_lock lock(self->mutex_);
            if (self->changed_.wait_until(lock, deadline, [self] { return self->cancelled_; }))
                return;
            self->fired_ = true;
        }
        block();
    });
    return timer;
}

Timer::~Timer() {
    cancel();
}

void Timer::cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool Timer::hasFired() const {
    std::lock_guard lock(mutex_);
    return fired_;
}

}  // namespace keel
