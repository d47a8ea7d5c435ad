// NotesListViewController: the content view of the package's free-form
// note. The note's raw Markdown text is edited as plain text (so it is
// stored exactly as typed) with highlighting that follows the light or dark
// appearance; a preview shows it rendered, read-only. While the package has
// no note a message takes the editor's place, with the commands to start one.
//
// Typing saves the note once the user pauses: each change restarts a
// one-shot timer (one second unless set otherwise) and when it fires the
// text is stored as the package's note and the backup manager saves the
// package, as every edit of the lists is saved; a failed save is the error
// of its run, shown by the main window, and the note stays marked for the
// next save. A reload of the viewer shows a note changed elsewhere, but
// never replaces text the user typed and that is not saved yet.
//
// Commands (QActions of the view, named after themselves): add the example
// note (while there is no note), load a note from a text file (refused with
// an alert when it is over `maxNoteFileSize` or not UTF-8), delete the note
// (after the confirmation the lists ask for), and switch the preview. While
// the manager works the commands are disabled and the editor read-only.
//
// Threads: main thread only.
#pragma once

#include <QAction>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "desktop/ContentViewController.h"

namespace keel {
class NoteSubscriber;
}
namespace quillfen {
class BackupFile;
struct BackupNoteEntry;
}  // namespace quillfen
namespace gantry {
class AppearanceObserver;
}

namespace desktop {

class MarkdownHighlighter;
class ShellContext;

class NotesListViewController : public ContentViewController {
public:
    enum class Command { addEmptyNote, addNoteFromFile, deleteSelectedNotes, togglePreview };

    // The largest text file a note is loaded from: 1 MiB.
    static constexpr std::uintmax_t maxNoteFileSize = 1024 * 1024;

    NotesListViewController(MainWindowController& mainWindowController, ShellContext& context);
    ~NotesListViewController() override;

    // Outlets, named after themselves (objectName).
    QWidget* messageView() { return (forceLoadIfNeeded(), messageView_); }
    QWidget* contentView() { return (forceLoadIfNeeded(), contentView_); }
    QPlainTextEdit* noteTextView() { return (forceLoadIfNeeded(), noteTextView_); }
    QTextBrowser* previewView() { return (forceLoadIfNeeded(), previewView_); }
    QAction* action(Command command);
    MarkdownHighlighter& highlighter() { return (forceLoadIfNeeded(), *highlighter_); }

    bool validate(Command command) const;
    // Runs `command` when valid.
    void perform(Command command);
    bool isPreviewShown() const;
    // Shows the rendered note (when there is one) or the editor.
    void setPreviewShown(bool shown);

    // How long after the last change the note is saved.
    std::chrono::milliseconds autosaveInterval() const { return autosaveInterval_; }
    void setAutosaveInterval(std::chrono::milliseconds interval) { autosaveInterval_ = interval; }
    bool isAutosavePending() const { return autosaveTimer_.isActive(); }
    // Stores and saves the pending change now, as the timer would.
    void saveNow();
    // Stores the pending change and submits its save at once, so that a quit
    // can wait for it; whether a save was submitted.
    bool saveBeforeQuitting() override;

    void didAppear() override;

protected:
    QWidget* loadView() override;
    void viewDidLoad() override;

private:
    std::optional<quillfen::BackupNoteEntry> noteEntry() const;
    std::optional<std::string> noteText() const;
    bool hasNoteText() const;
    void textDidChange();
    void refreshText();
    void refreshMessage();
    void refreshPreview();
    void updateActions();
    void applyAppearanceTheme();
    // Stores `text` (nothing: removes the note) in the open package and saves it.
    void storeNote(const std::optional<std::string>& text);
    void save();
    void addNoteFromFile();
    void loadNote(const std::filesystem::path& url);
    void deleteNote();
    void refuse(const char* name, const std::string& detail);

    ShellContext& context_;
    QPointer<QWidget> messageView_;
    QPointer<QWidget> contentView_;
    QPointer<QStackedWidget> editorStack_;
    QPointer<QPlainTextEdit> noteTextView_;
    QPointer<QTextBrowser> previewView_;
    QPointer<QToolButton> previewButton_;
    QPointer<QToolButton> loadNoteButton_;
    QPointer<QToolButton> deleteNoteButton_;
    MarkdownHighlighter* highlighter_ = nullptr;
    std::vector<std::pair<Command, QPointer<QAction>>> actions_;
    QTimer autosaveTimer_;
    std::chrono::milliseconds autosaveInterval_{1000};
    // The package the pending change was typed into.
    std::weak_ptr<quillfen::BackupFile> autosaveFile_;
    // A stored change whose save the manager could not take yet.
    bool saveOwed_ = false;
    // Set while the editor's text is replaced from the package.
    bool settingText_ = false;
    std::unique_ptr<gantry::AppearanceObserver> appearanceObserver_;
    std::unique_ptr<keel::NoteSubscriber> viewerDidReloadSubscriber_;
    std::unique_ptr<keel::NoteSubscriber> managerSubscriber_;
};

}  // namespace desktop
