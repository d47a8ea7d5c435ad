// ReleaseKitPresenter: how the release kit reaches the user in this program.
// Its alerts and questions (an update is available, the check failed, may
// Quillfen install itself in the home folder) become application-modal
// alerts over the main window, through the shell's alert presenter.
//
// The kit's own windows (the feedback and newsletter forms, the update
// progress) are not part of this program: showing a form does nothing, and
// the application does not offer the commands that would open one. An
// update runs all the same; its outcome is told through an alert.
//
// Threads: main thread only. `alert` and `ask` return once the user
// answered, running an event loop of their own while they wait.
#pragma once

#include "outfitter/Presenter.h"

namespace gantry {
class AlertPresenter;
}

namespace desktop {

class ReleaseKitPresenter : public outfitter::Presenter {
public:
    // The alerts stand over the active window, if there is one.
    explicit ReleaseKitPresenter(gantry::AlertPresenter& alerts);

    void show(outfitter::FeedbackForm& form) override;
    void show(outfitter::NewsletterForm& form) override;
    void alert(const outfitter::Alert& alert) override;
    std::size_t ask(const outfitter::Alert& alert) override;

private:
    gantry::AlertPresenter& alerts_;
};

}  // namespace desktop
