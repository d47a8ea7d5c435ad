// QtAlertPresenter: alerts as Qt message boxes, window-modal for sheets.
//
// Threads: main thread only.
#pragma once

#include "gantry/AlertPresenter.h"

namespace gantry {

class QtAlertPresenter : public AlertPresenter {
public:
    void beginSheet(QWidget* window, const AlertRequest& request, Completion completion) override;
    std::size_t runModal(QWidget* window, const AlertRequest& request) override;
};

}  // namespace gantry
