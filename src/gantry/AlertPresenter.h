// AlertPresenter: how windows ask the user something or tell them something
// went wrong. A window describes the alert (texts, buttons) and gets the
// chosen button back; the program shows Qt message boxes (QtAlertPresenter),
// tests answer from a script.
//
// `beginSheet` is the normal way: the alert is modal to its window only and
// the call returns at once; the answer comes later, on the main thread,
// through the completion. `runModal` blocks the whole application until the
// user answers, running an event loop of its own while it waits; keep it for
// the one question that must be answered before anything else happens (may
// the application quit?).
//
// Threads: main thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace gantry {

struct AlertRequest {
    enum class Style { informational, warning, critical };

    // Names the alert's window (its objectName), so that tests and
    // accessibility tools can tell one alert from another.
    std::string name;
    std::string messageText;
    std::string informativeText;
    // The first is the default button and the choice that changes nothing;
    // closing the alert any other way (Escape, the window's close button)
    // chooses it. One button "OK" when empty.
    std::vector<std::string> buttons;
    Style style = Style::warning;
};

class AlertPresenter {
public:
    // The index of the chosen button in `AlertRequest::buttons`.
    using Completion = std::function<void(std::size_t button)>;

    virtual ~AlertPresenter() = default;

    // Shows the alert modal to `window` and returns at once. `completion`
    // (which may be empty) runs once, on the main thread, after the user
    // answered. With a null window the alert is modal to the application.
    virtual void beginSheet(QWidget* window, const AlertRequest& request,
                            Completion completion) = 0;
    // Shows the alert modal to the application and returns the answer.
    virtual std::size_t runModal(QWidget* window, const AlertRequest& request) = 0;
};

}  // namespace gantry
