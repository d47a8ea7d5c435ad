// FoundStatusPopoverController: the popover of a row's found marker. It says
// whether the item was found on this computer and, when it was, where: the
// installed application and the settings paths that exist here. One
// controller serves every row of a list.
//
// Threads: main thread only.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QStringList>

#include <filesystem>
#include <optional>
#include <vector>

#include "gantry/PopoverController.h"

namespace desktop {

class FoundStatusPopoverController : public gantry::PopoverController {
public:
    // Where an item was found: the application that uses the settings, when
    // there is one, and the settings paths that exist on this computer.
    struct Locations {
        std::optional<std::filesystem::path> application;
        std::vector<std::filesystem::path> settings;
    };

    FoundStatusPopoverController() = default;
    ~FoundStatusPopoverController() override;

    QWidget* contentView();
    QLabel* tipTextField() { return (contentView(), tipTextField_); }
    // The locations, one a line; hidden when there is none.
    QLabel* locationsTextField() { return (contentView(), locationsTextField_); }
    bool statusIsFound() const { return statusIsFound_; }

    void setStatus(bool isFound, const Locations& locations);
    // Opens the popover at `anchor` showing the status, or closes it when open.
    void toggle(QWidget* anchor, bool isFound, const Locations& locations);

    // How a location is shown: under the home folder as "~/…".
    static QString displayPath(const std::filesystem::path& url);

private:
    QPointer<QWidget> contentView_;
    QPointer<QLabel> tipTextField_;
    QPointer<QLabel> locationsTextField_;
    bool statusIsFound_ = false;
};

}  // namespace desktop
