// EntryListViewController: a content view listing one of the viewer's entry
// lists (applications, command-line tools or custom files) in a table, with
// a message in its place while the list is empty.
//
// Rows come from an EntryTableModel that follows the viewer's
// did-reload announcements of this list. Every change the user makes (the
// row switch, Enable, Disable, Delete, adding files) is an edit of the open
// package through the item editor, followed by a save run by the backup
// manager, which holds the package's lock while it writes; the list never
// changes its rows itself: the viewer follows the edit and the model follows
// the viewer.
//
// Commands are QActions of the view (context menu and shortcuts: Space
// toggles the switch of the selected rows, Delete asks to delete them), each
// enabled by `validate` as the selection changes; the menu bar's Items menu
// follows the same actions. While the manager works every command is
// disabled. A click on a row's found marker explains it in a popover, a
// click on its count of settings paths lists their states in another.
//
// Threads: main thread only.
#pragma once

#include <QAction>
#include <QPointer>
#include <QTableView>

#include <array>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "backup/BackupEdition.h"
#include "catalog/ItemKind.h"
#include "desktop/ContentViewController.h"
#include "desktop/EntryTableModel.h"
#include "desktop/ListCommand.h"

namespace keel {
class NoteSubscriber;
}

namespace desktop {

class ShellContext;
class ItemStatePopoverController;

class FoundStatusPopoverController;

template <class Entry>
class EntryListViewController : public ContentViewController, public ListCommandTarget {
public:
    using Model = EntryTableModel<Entry>;

    ~EntryListViewController() override;

    QTableView* tableView() { return (forceLoadIfNeeded(), tableView_); }
    QWidget* messageView() { return (forceLoadIfNeeded(), messageView_); }
    QWidget* contentView() { return (forceLoadIfNeeded(), contentView_); }
    Model& model() { return (forceLoadIfNeeded(), *model_); }
    QAction* action(ListCommand command) override;

    // Whether `command` can run on the current selection.
    bool validate(ListCommand command);
    // Runs `command` when valid.
    void perform(ListCommand command);
    // The row switch: turns the item of `row` on when it is off, else off.
    void toggleRow(int row);
    // Opens the popover of the settings paths of the item of `row` under its
    // count, or closes it (applications and executables).
    void toggleItemStatePopover(int row);
    // Opens the popover that says whether the item of `row` is found on this
    // computer and where, at its found marker, or closes it.
    void toggleFoundStatusPopover(int row);
    // Null before the first use.
    ItemStatePopoverController* itemStatePopoverController() const {
        return itemStatePopover_.get();
    }
    FoundStatusPopoverController* foundStatusPopoverController() const {
        return foundStatusPopover_.get();
    }

    void didAppear() override;

protected:
    EntryListViewController(MainWindowController& mainWindowController, ShellContext& context,
                            quillfen::ItemKind kind, QString viewName,
                            std::vector<typename Model::Column> columns,
                            std::vector<ListCommand> commands);

    QWidget* loadView() override;
    void viewDidLoad() override;

    ShellContext& context() const { return context_; }
    // The selected rows, in row order.
    std::vector<int> selectedRows() const;
    // The entries of the selected rows, in row order.
    std::vector<Entry> selectedEntries() const;
    void setEnabled(const std::vector<Entry>& entries, bool enabled);
    // Hands the edit just made to the manager to save.
    void save();

private:
    // Places the popover anchor over the cell of `row` in `columnName`;
    // null when the list has no such column or row.
    QWidget* anchorAt(int row, const QString& columnName);
    void updateMessage();
    void updateActions();
    void deleteSelected();
    void reveal(ListCommand command);
    void addCustomFiles();
    void addChosenFiles(const std::vector<std::filesystem::path>& urls);

    ShellContext& context_;
    quillfen::ItemKind kind_;
    QString viewName_;
    std::vector<ListCommand> commands_;
    std::unique_ptr<Model> model_;
    QPointer<QTableView> tableView_;
    QPointer<QWidget> messageView_;
    QPointer<QWidget> contentView_;
    std::vector<std::pair<ListCommand, QPointer<QAction>>> actions_;
    std::unique_ptr<keel::NoteSubscriber> viewerDidReloadSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> managerSubscriber_;
    std::unique_ptr<ItemStatePopoverController> itemStatePopover_;
    std::unique_ptr<FoundStatusPopoverController> foundStatusPopover_;
    // Placed over a cell to anchor a popover there.
    QPointer<QWidget> popoverAnchor_;
};

}  // namespace desktop
