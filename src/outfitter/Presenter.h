// Presenter: how the release kit reaches the user. The window layer installs
// one on the release controller; it shows the kit's windows, each bound to a
// form that holds its state and actions, and runs the kit's alerts.
// Without a presenter nothing is shown, and every question gets its first
// button, which is always the choice that changes nothing.
//
// Threads: called on the main thread. `alert` and `ask` are modal: they
// return once the user answered.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace outfitter {

class FeedbackForm;
class NewsletterForm;
class UpdateForm;

struct Alert {
    std::string messageText;
    std::string informativeText;
    std::vector<std::string> buttons;  // the first is the default and the safe one
};

class Presenter {
public:
    virtual ~Presenter() = default;

    // Shows the window of `form`, or brings it to the front. The window
    // follows the form's `changed` signal, closes on `closeRequested`, and
    // tells the form `windowDidClose()` when it closed.
    virtual void show(FeedbackForm& form) = 0;
    virtual void show(NewsletterForm& form) = 0;
    // Shows the update window of `form` (download, verification and install
    // progress, with Cancel while downloading), or brings it to the front.
    // A presenter without one shows nothing; the update runs all the same,
    // and its outcome is told through `alert` and `ask`.
    virtual void showUpdate(UpdateForm& form) { static_cast<void>(form); }
    // Tells the user something; `alert.buttons` holds one button.
    virtual void alert(const Alert& alert) = 0;
    // Asks the user; returns the index of the chosen button.
    virtual std::size_t ask(const Alert& alert) = 0;
};

}  // namespace outfitter
