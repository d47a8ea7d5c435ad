// SheetController: the base of controllers whose window is shown as a sheet
// of another window: a dialog modal to that window only, opened without
// waiting for it. The main window keeps at most one at a time.
//
// Threads: main thread only.
#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <functional>

namespace desktop {

class SheetController : public QObject {
    Q_OBJECT

public:
    using Completion = std::function<void(int returnCode)>;

    explicit SheetController(QObject* parent = nullptr) : QObject(parent) {}
    ~SheetController() override;

    // The sheet's window, built on first use.
    QDialog* window();
    bool isSheetShown() const { return dialog_ && dialog_->isVisible(); }

    // Shows the window as a sheet of `parent` and returns at once;
    // `completion` runs once the sheet ended, with its return code.
    void beginSheet(QWidget* parent, Completion completion);
    // Ends the sheet with `returnCode`.
    void endSheet(int returnCode);

protected:
    // Builds the window; called once.
    virtual QDialog* loadWindow() = 0;
    virtual void windowDidLoad() {}

private:
    QPointer<QDialog> dialog_;
    bool loaded_ = false;
    Completion completion_;
};

}  // namespace desktop
