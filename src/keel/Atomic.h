// Atomic<T>: a box whose value is read and replaced under a lock. Safe to use
// from any thread; a reader always sees a whole value, never a half-replaced one.
#pragma once

#include <mutex>
#include <utility>

namespace keel {

template <class T>
class Atomic {
public:
    Atomic() = default;
    explicit Atomic(T value) : value_(std::move(value)) {}
    Atomic(const Atomic&) = delete;
    Atomic& operator=(const Atomic&) = delete;

    // A copy of the current value.
    T value() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void setValue(T value) {
        std::lock_guard lock(mutex_);
        value_ = std::move(value);
    }

    // Runs `f` on the value under the lock and returns what it returns; for
    // read-modify-write steps that must not interleave with other writers.
    template <class F>
    decltype(auto) mutate(F&& f) {
        std::lock_guard lock(mutex_);
        return std::forward<F>(f)(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace keel
