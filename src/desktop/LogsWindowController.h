// LogsWindowController: the sheet shown over the main window after a back-up,
// install or synchronize run in which some settings paths failed. One row per
// item: its name, how many of its paths failed, and each failing path with
// the reason it failed. Continue ends the sheet.
//
// Threads: main thread only.
#pragma once

#include <QPushButton>
#include <QTreeWidget>

#include <optional>
#include <vector>

#include "desktop/SheetController.h"
#include "sync/SyncResult.h"

namespace desktop {

class LogsWindowController : public SheetController {
    Q_OBJECT

public:
    // `results`: the failed items of one run, in the run's order.
    explicit LogsWindowController(std::vector<quillfen::SyncResult> results,
                                  QObject* parent = nullptr);

    // Outlets, named after themselves.
    QTreeWidget* resultTableView() { return (window(), resultTableView_); }
    QPushButton* continueButton() { return (window(), continueButton_); }

    void closeLogsSheet() { endSheet(1); }

protected:
    QDialog* loadWindow() override;
    void windowDidLoad() override;

private:
    std::vector<quillfen::SyncResult> results_;
    QPointer<QTreeWidget> resultTableView_;
    QPointer<QPushButton> continueButton_;
};

}  // namespace desktop
