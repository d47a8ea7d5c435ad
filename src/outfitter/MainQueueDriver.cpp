#include "outfitter/MainQueueDriver.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include <atomic>
#include <cassert>
#include <mutex>

#include "keel/DispatchQueue.h"

namespace outfitter {

struct MainQueueDriver::State {
    std::mutex mutex;
    QObject* context = nullptr;  // lives on the main thread; null once stopped
    std::atomic<bool> scheduled{false};
};

namespace {

// Asks the event loop for one drain, unless one is already waiting: a burst
// of blocks costs one event.
void schedule(const std::shared_ptr<MainQueueDriver::State>& state) {
    if (state->scheduled.exchange(true)) return;
    std::lock_guard lock(state->mutex);
    if (!state->context) {
        state->scheduled = false;
        return;
    }
    // Posting is safe from any thread while the context is alive, which the
    // lock guarantees; an event still queued when it goes is dropped with it.
    QMetaObject::invokeMethod(
        state->context,
        [state] {
            state->scheduled = false;
            keel::DispatchQueue::drainMain();
        },
        Qt::QueuedConnection);
}

}  // namespace

MainQueueDriver::MainQueueDriver() : state_(std::make_shared<State>()) {
    assert(QCoreApplication::instance() &&
           QCoreApplication::instance()->thread() == QThread::currentThread());
    state_->context = new QObject();
    keel::DispatchQueue::markCurrentThreadAsMain();
    std::weak_ptr<State> weak = state_;
    keel::DispatchQueue::setMainDriver([weak] {
        if (auto state = weak.lock()) schedule(state);
    });
    // Blocks given before the driver existed.
    schedule(state_);
}

MainQueueDriver::~MainQueueDriver() {
    keel::DispatchQueue::setMainDriver(nullptr);
    QObject* context = nullptr;
    {
        std::lock_guard lock(state_->mutex);
        context = state_->context;
        state_->context = nullptr;
    }
    delete context;
}

}  // namespace outfitter
