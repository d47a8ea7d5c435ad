// MainQueueDriver: runs keel's main queue on the Qt event loop, so that the
// core's main-queue blocks and notifications, and the release kit's
// completions, share one main thread with the windows.
//
// Create one on the Qt main thread once the QCoreApplication exists and keep
// it for as long as the event loop runs; a desktop program makes it first
// thing in main(). While it lives, every block given to
// `keel::DispatchQueue::main()`, from any thread, runs on the next turn of the
// event loop. Destroying it stops that; blocks given later wait for the next
// driver (or for `DispatchQueue::runMainUntil`).
//
// Thread safety: construct and destroy on the Qt main thread only.
#pragma once

#include <memory>

namespace outfitter {

class MainQueueDriver {
public:
    MainQueueDriver();
    ~MainQueueDriver();
    MainQueueDriver(const MainQueueDriver&) = delete;
    MainQueueDriver& operator=(const MainQueueDriver&) = delete;

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace outfitter
