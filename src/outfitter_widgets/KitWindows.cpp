#include "outfitter_widgets/KitWindows.h"

#include "outfitter/FeedbackForm.h"
#include "outfitter/NewsletterForm.h"
#include "outfitter/UpdateForm.h"
#include "outfitter_widgets/FeedbackWindowController.h"
#include "outfitter_widgets/NewsletterWindowController.h"
#include "outfitter_widgets/UpdateWindowController.h"

namespace outfitter {

namespace {

// A window controller is a child of its form: it goes when the form goes,
// and never outlives the form it points to.
template <typename Controller, typename Form>
Controller* windowOf(QPointer<Controller>& current, Form& form) {
    if (current && current->parent() == &form) return current;
    current = form.template findChild<Controller*>(QString(), Qt::FindDirectChildrenOnly);
    if (!current) current = new Controller(form, &form);
    return current;
}

}  // namespace

KitWindows::KitWindows(QObject* parent) : QObject(parent) {}

KitWindows::~KitWindows() = default;

FeedbackWindowController* KitWindows::feedbackWindow() const {
    return feedback_.data();
}

NewsletterWindowController* KitWindows::newsletterWindow() const {
    return newsletter_.data();
}

UpdateWindowController* KitWindows::updateWindow() const {
    return update_.data();
}

void KitWindows::show(FeedbackForm& form) {
    windowOf(feedback_, form)->showWindow();
}

void KitWindows::show(NewsletterForm& form) {
    NewsletterWindowController* window = windowOf(newsletter_, form);
    if (openLink_) window->setLinkOpener(openLink_);
    window->showWindow();
}

void KitWindows::show(UpdateForm& form) {
    windowOf(update_, form)->showWindow();
}

}  // namespace outfitter
