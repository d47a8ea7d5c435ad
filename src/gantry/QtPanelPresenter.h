// QtPanelPresenter: open and save panels as Qt file dialogs, window-modal;
// an open panel that chooses files and folders together is a
// FileChooserDialog.
//
// Threads: main thread only.
#pragma once

#include "gantry/PanelPresenter.h"

namespace gantry {

class QtPanelPresenter : public PanelPresenter {
public:
    void beginSheet(QWidget* window, const PanelRequest& request, Completion completion) override;
};

}  // namespace gantry
