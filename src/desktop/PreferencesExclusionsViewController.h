// PreferencesExclusionsViewController: the Exclusions pane of the
// preferences: the files and folders that back-ups, installs and
// synchronizations leave alone, one full path a row. Any file or folder may
// be added; the selected rows can be removed or shown in the file manager,
// and the list sorted as the file manager sorts paths. Every change is
// stored at once under "LocalExcludeFileURLs"; one that cannot be stored is
// told in an alert. The table follows the list whenever it changes.
//
// Threads: main thread only.
#pragma once

#include <QListWidget>
#include <QPointer>
#include <QToolButton>

#include <filesystem>
#include <memory>
#include <vector>

#include "gantry/Popover.h"
#include "gantry/ViewController.h"

namespace keel {
class NoteSubscriber;
}
namespace quillfen {
class LocalResources;
}

namespace desktop {

class ShellContext;

class PreferencesExclusionsViewController : public gantry::ViewController {
public:
    PreferencesExclusionsViewController(ShellContext& context, quillfen::LocalResources& resources);
    ~PreferencesExclusionsViewController() override;

    // Outlets, named after themselves (objectName).
    QListWidget* filesTableView() { return (forceLoadIfNeeded(), filesTableView_); }
    QToolButton* addFilesButton() { return (forceLoadIfNeeded(), addFilesButton_); }
    QToolButton* removeFilesButton() { return (forceLoadIfNeeded(), removeFilesButton_); }
    QToolButton* sortFilesButton() { return (forceLoadIfNeeded(), sortFilesButton_); }
    QToolButton* showFilesButton() { return (forceLoadIfNeeded(), showFilesButton_); }
    QToolButton* helpButton() { return (forceLoadIfNeeded(), helpButton_); }
    // Null until first shown.
    gantry::Popover* helpPopover() const { return helpPopover_; }

    // Actions.
    void addExcludedFiles();
    void removeExcludedFiles();
    void sortExcludedFiles();
    void showExcludedFiles();
    void toggleHelpPopover();

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    void reloadTable();
    void updateButtons();
    std::vector<int> selectedRows() const;
    // Assigns `urls` (when given) and stores the list; tells the user when
    // it cannot be stored.
    void store(const std::vector<std::filesystem::path>* urls);

    ShellContext& context_;
    quillfen::LocalResources& resources_;
    QPointer<QListWidget> filesTableView_;
    QPointer<QToolButton> addFilesButton_;
    QPointer<QToolButton> removeFilesButton_;
    QPointer<QToolButton> sortFilesButton_;
    QPointer<QToolButton> showFilesButton_;
    QPointer<QToolButton> helpButton_;
    QPointer<gantry::Popover> helpPopover_;
    std::unique_ptr<keel::NoteSubscriber> resourcesDidExcludeFilesSubscriber_;
};

}  // namespace desktop
