// ReleaseKitPresenter: how the release kit reaches the user in this program.
// Its windows (feedback, newsletter, update progress) are the kit's own,
// made on first use; the maker's pages they link to open through the shell's
// workspace. Its alerts and questions (an update is available, the check
// failed, may Quillfen install itself in the home folder, quit while a
// report is being sent) become application-modal alerts over the active
// window, through the shell's alert presenter.
//
// Threads: main thread only. `alert` and `ask` return once the user
// answered, running an event loop of their own while they wait.
#pragma once

#include <QUrl>

#include <functional>

#include "outfitter/Presenter.h"
#include "outfitter_widgets/KitWindows.h"

namespace gantry {
class AlertPresenter;
}

namespace desktop {

class ReleaseKitPresenter : public outfitter::Presenter {
public:
    // The alerts stand over the active window, if there is one.
    // `openLink` opens the maker's pages that the newsletter window offers.
    ReleaseKitPresenter(gantry::AlertPresenter& alerts, std::function<void(const QUrl&)> openLink);

    void show(outfitter::FeedbackForm& form) override;
    void show(outfitter::NewsletterForm& form) override;
    void showUpdate(outfitter::UpdateForm& form) override;
    void alert(const outfitter::Alert& alert) override;
    std::size_t ask(const outfitter::Alert& alert) override;

private:
    gantry::AlertPresenter& alerts_;
    outfitter::KitWindows windows_;
};

}  // namespace desktop
