#include "desktop/ReleaseKitPresenter.h"

#include <QApplication>

#include "gantry/AlertPresenter.h"

namespace desktop {

namespace {

gantry::AlertRequest request(const outfitter::Alert& alert, const char* name) {
    return {name, alert.messageText, alert.informativeText, alert.buttons,
            gantry::AlertRequest::Style::informational};
}

}  // namespace

ReleaseKitPresenter::ReleaseKitPresenter(gantry::AlertPresenter& alerts,
                                         std::function<void(const QUrl&)> openLink)
    : alerts_(alerts) {
    windows_.setLinkOpener(std::move(openLink));
}

void ReleaseKitPresenter::show(outfitter::FeedbackForm& form) {
    windows_.show(form);
}

void ReleaseKitPresenter::show(outfitter::NewsletterForm& form) {
    windows_.show(form);
}

void ReleaseKitPresenter::showUpdate(outfitter::UpdateForm& form) {
    windows_.show(form);
}

void ReleaseKitPresenter::alert(const outfitter::Alert& alert) {
    alerts_.runModal(QApplication::activeWindow(), request(alert, "ReleaseKitAlert"));
}

std::size_t ReleaseKitPresenter::ask(const outfitter::Alert& alert) {
    const std::size_t answer =
        alerts_.runModal(QApplication::activeWindow(), request(alert, "ReleaseKitQuestion"));
    // An answer outside the buttons offered is the first, safe one.
    return answer < alert.buttons.size() ? answer : 0;
}

}  // namespace desktop
