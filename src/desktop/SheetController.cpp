#include "desktop/SheetController.h"

#include <utility>

namespace desktop {

SheetController::~SheetController() {
    delete dialog_.data();
}

QDialog* SheetController::window() {
    if (!loaded_) {
        loaded_ = true;
        dialog_ = loadWindow();
        if (dialog_)
            connect(dialog_, &QDialog::finished, this, [this](int returnCode) {
                if (auto completion = std::exchange(completion_, nullptr)) completion(returnCode);
            });
        windowDidLoad();
    }
    return dialog_;
}

void SheetController::beginSheet(QWidget* parent, Completion completion) {
    QDialog* dialog = window();
    if (!dialog) return;
    completion_ = std::move(completion);
    if (dialog->parentWidget() != parent) dialog->setParent(parent, dialog->windowFlags());
    dialog->setWindowModality(Qt::WindowModal);
    dialog->open();
}

void SheetController::endSheet(int returnCode) {
    if (dialog_) dialog_->done(returnCode);
}

}  // namespace desktop
