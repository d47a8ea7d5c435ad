#include "desktop/NotesListViewController.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

#include <fstream>
#include <system_error>

#include "app/BackupManager.h"
#include "app/BackupNoteEntry.h"
#include "app/BackupViewer.h"
#include "app/ItemEditor.h"
#include "backup/BackupFile.h"
#include "desktop/MarkdownHighlighter.h"
#include "desktop/ShellCommon.h"
#include "desktop/ShellContext.h"
#include "desktop/StyleSheet.h"
#include "gantry/AlertPresenter.h"
#include "gantry/Appearance.h"
#include "gantry/PanelPresenter.h"
#include "gantry/ViewConveniences.h"
#include "gantry/Workspace.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/LocalizedString.h"
#include "keel/NoteSubscriber.h"

namespace desktop {

namespace {

struct CommandInfo {
    NotesListViewController::Command command;
    const char* objectName;
    const char* titleKey;
};

constexpr CommandInfo commandInfos[] = {
    {NotesListViewController::Command::addEmptyNote, "addEmptyNote", "NotesAddEmptyNoteCommand"},
    {NotesListViewController::Command::addNoteFromFile, "addNoteFromFile",
     "NotesAddNoteFromFileCommand"},
    {NotesListViewController::Command::deleteSelectedNotes, "deleteSelectedNotes",
     "NotesDeleteNoteCommand"},
    {NotesListViewController::Command::togglePreview, "togglePreview", "NotesPreviewCommand"},
};

QToolButton* makeBarButton(QAction* action, const char* name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(true);
    return button;
}

}  // namespace

NotesListViewController::NotesListViewController(MainWindowController& mainWindowController,
                                                 ShellContext& context)
    : ContentViewController(mainWindowController), context_(context) {
    autosaveTimer_.setSingleShot(true);
    QObject::connect(&autosaveTimer_, &QTimer::timeout, [this] { saveNow(); });
}

NotesListViewController::~NotesListViewController() = default;

QWidget* NotesListViewController::loadView() {
    auto* view = new QWidget();
    view->setObjectName("NotesListView");
    auto* stack = new QVBoxLayout(view);
    stack->setContentsMargins(0, 0, 0, 0);

    for (const CommandInfo& info : commandInfos) {
        auto* action = new QAction(localized(info.titleKey), view);
        action->setObjectName(info.objectName);
        const Command command = info.command;
        if (command == Command::togglePreview)
            QObject::connect(action, &QAction::triggered, view,
                             [this](bool checked) { setPreviewShown(checked); });
        else
            QObject::connect(action, &QAction::triggered, view,
                             [this, command] { perform(command); });
        actions_.emplace_back(command, action);
    }
    QAction* preview = this->action(Command::togglePreview);
    preview->setCheckable(true);
    preview->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));
    preview->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    view->addAction(preview);

    contentView_ = new QWidget(view);
    contentView_->setObjectName("contentView");
    auto* contentLayout = new QVBoxLayout(contentView_);
    contentLayout->setContentsMargins(8, 4, 8, 8);
    contentLayout->setSpacing(4);
    auto* bar = new QHBoxLayout();
    bar->setContentsMargins(0, 0, 0, 0);
    previewButton_ = makeBarButton(preview, "previewButton", contentView_);
    bar->addWidget(previewButton_);
    bar->addStretch(1);
    loadNoteButton_ =
        makeBarButton(action(Command::addNoteFromFile), "loadNoteButton", contentView_);
    bar->addWidget(loadNoteButton_);
    deleteNoteButton_ =
        makeBarButton(action(Command::deleteSelectedNotes), "deleteNoteButton", contentView_);
    bar->addWidget(deleteNoteButton_);
    contentLayout->addLayout(bar);

    editorStack_ = new QStackedWidget(contentView_);
    noteTextView_ = new QPlainTextEdit(editorStack_);
    noteTextView_->setObjectName("noteTextView");
    noteTextView_->setPlaceholderText(localized("WriteNoteInMarkdownPlaceholder"));
    noteTextView_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    noteTextView_->setTabChangesFocus(false);
    noteTextView_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    noteTextView_->setFrameShape(QFrame::NoFrame);
    noteTextView_->document()->setDocumentMargin(6);
    // Pasted rich text arrives as its plain text.
    noteTextView_->setContextMenuPolicy(Qt::DefaultContextMenu);
    highlighter_ = new MarkdownHighlighter(noteTextView_->document());
    editorStack_->addWidget(noteTextView_);

    previewView_ = new QTextBrowser(editorStack_);
    previewView_->setObjectName("previewView");
    previewView_->setReadOnly(true);
    previewView_->setOpenLinks(false);
    previewView_->setFrameShape(QFrame::NoFrame);
    previewView_->document()->setDocumentMargin(12);
    editorStack_->addWidget(previewView_);
    contentLayout->addWidget(editorStack_, 1);
    stack->addWidget(contentView_);

    messageView_ = new QWidget(view);
    messageView_->setObjectName("messageView");
    auto* messageLayout = new QVBoxLayout(messageView_);
    messageLayout->addStretch(1);
    auto* messageLabel = new QLabel(localized("NotesListViewEmptyText"), messageView_);
    messageLabel->setObjectName("messageTextField");
    messageLabel->setAlignment(Qt::AlignCenter);
    messageLabel->setWordWrap(true);
    messageLabel->setForegroundRole(QPalette::PlaceholderText);
    // A wrapped label is as narrow as its longest word unless told its width.
    messageLabel->setFixedWidth(440);
    messageLabel->setMinimumHeight(messageLabel->heightForWidth(440));
    messageLayout->addWidget(messageLabel, 0, Qt::AlignHCenter);
    messageLayout->addSpacing(6);
    auto* messageButtons = new QHBoxLayout();
    messageButtons->addStretch(1);
    for (auto [command, name] : {std::pair{Command::addEmptyNote, "addEmptyNoteButton"},
                                 std::pair{Command::addNoteFromFile, "addNoteFromFileButton"}}) {
        QAction* commandAction = action(command);
        auto* button = new QPushButton(commandAction->text(), messageView_);
        button->setObjectName(name);
        QObject::connect(button, &QPushButton::clicked, commandAction, &QAction::trigger);
        QObject::connect(commandAction, &QAction::changed, button, [button, commandAction] {
            button->setEnabled(commandAction->isEnabled());
        });
        messageButtons->addWidget(button);
    }
    messageButtons->addStretch(1);
    messageLayout->addLayout(messageButtons);
    messageLayout->addStretch(1);
    stack->addWidget(messageView_);
    return view;
}

void NotesListViewController::viewDidLoad() {
    QObject::connect(noteTextView_, &QPlainTextEdit::textChanged, noteTextView_,
                     [this] { textDidChange(); });
    QObject::connect(previewView_, &QTextBrowser::anchorClicked, previewView_,
                     [this](const QUrl& url) {
                         // Only addresses of the web and of mail leave the program.
                         const QString scheme = url.scheme();
                         if (scheme == "http" || scheme == "https" || scheme == "mailto")
                             context_.workspace().open(url);
                     });
    appearanceObserver_ = std::make_unique<gantry::AppearanceObserver>();
    QObject::connect(appearanceObserver_.get(), &gantry::AppearanceObserver::paletteChanged,
                     noteTextView_, [this] { applyAppearanceTheme(); });
    applyAppearanceTheme();

    const auto viewer = context_.manager().viewer();
    viewerDidReloadSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    viewerDidReloadSubscriber_->subscribe({quillfen::BackupViewer::didReloadNotification},
                                          viewer.get(), [this](const keel::Notification&) {
                                              refreshText();
                                              refreshMessage();
                                              updateActions();
                                          });
    managerSubscriber_ = std::make_unique<keel::NoteSubscriber>();
    managerSubscriber_->subscribe({quillfen::BackupManager::willProcessNotification},
                                  &context_.manager(), [this](const keel::Notification&) {
                                      // The change typed before the run is stored now, so that the
                                      // run sees it; its save follows the run.
                                      if (isAutosavePending()) saveNow();
                                      updateActions();
                                  });
    managerSubscriber_->subscribe({quillfen::BackupManager::didProcessNotification},
                                  &context_.manager(), [this](const keel::Notification&) {
                                      updateActions();
                                      if (saveOwed_) save();
                                  });
    refreshText();
    refreshMessage();
    updateActions();
}

void NotesListViewController::didAppear() {
    applyAppearanceTheme();
    if (noteTextView_ && !isPreviewShown()) noteTextView_->setFocus();
}

QAction* NotesListViewController::action(Command command) {
    forceLoadIfNeeded();
    for (auto& [listed, action] : actions_)
        if (listed == command) return action;
    return nullptr;
}

std::optional<quillfen::BackupNoteEntry> NotesListViewController::noteEntry() const {
    return context_.manager().viewer()->backupNoteEntry();
}

std::optional<std::string> NotesListViewController::noteText() const {
    // The open package itself, not the viewer's copy of it: the viewer does
    // not follow edits while the manager works, and an older text shown
    // here would replace what the user typed last.
    const auto entry = noteEntry();
    if (!entry || !entry->file) return std::nullopt;
    const auto note = entry->file->note();
    return note ? note->content : std::nullopt;
}

bool NotesListViewController::hasNoteText() const {
    return noteText().has_value();
}

bool NotesListViewController::validate(Command command) const {
    if (context_.manager().isProcessing() || !context_.manager().file()) return false;
    switch (command) {
        case Command::addEmptyNote:
            return !hasNoteText();
        case Command::addNoteFromFile:
            return true;
        case Command::deleteSelectedNotes:
        case Command::togglePreview:
            return hasNoteText();
    }
    return false;
}

void NotesListViewController::perform(Command command) {
    if (!validate(command)) return;
    switch (command) {
        case Command::addEmptyNote:
            return storeNote(quillfen::ItemEditor::exampleNote);
        case Command::addNoteFromFile:
            return addNoteFromFile();
        case Command::deleteSelectedNotes:
            return deleteNote();
        case Command::togglePreview:
            return setPreviewShown(!isPreviewShown());
    }
}

void NotesListViewController::setPreviewShown(bool shown) {
    if (!editorStack_) return;
    shown = shown && validate(Command::togglePreview);
    action(Command::togglePreview)->setChecked(shown);
    if (shown) refreshPreview();
    editorStack_->setCurrentWidget(shown ? static_cast<QWidget*>(previewView_)
                                         : static_cast<QWidget*>(noteTextView_));
}

bool NotesListViewController::isPreviewShown() const {
    return editorStack_ && editorStack_->currentWidget() == previewView_;
}

void NotesListViewController::updateActions() {
    for (auto& [command, action] : actions_)
        if (action) action->setEnabled(validate(command));
    if (noteTextView_) noteTextView_->setReadOnly(context_.manager().isProcessing());
}

void NotesListViewController::applyAppearanceTheme() {
    if (!noteTextView_) return;
    const auto& theme = gantry::currentAppearance() == gantry::Appearance::dark
                            ? MarkdownHighlighter::Theme::dark()
                            : MarkdownHighlighter::Theme::light();
    highlighter_->setTheme(theme);
    // The editor and the preview take the theme's colours; the selection
    // keeps the desktop's.
    for (QWidget* widget :
         {static_cast<QWidget*>(noteTextView_), static_cast<QWidget*>(previewView_)}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Base, theme.background);
        palette.setColor(QPalette::Text, theme.text);
        QColor placeholder = theme.text;
        placeholder.setAlphaF(0.45f);
        palette.setColor(QPalette::PlaceholderText, placeholder);
        widget->setPalette(palette);
    }
    if (isPreviewShown()) refreshPreview();
}

void NotesListViewController::refreshText() {
    if (!noteTextView_) return;
    // Text typed and not yet saved stays: the reload that follows a save
    // may carry an older text than the one in the editor.
    if (isAutosavePending()) return;
    const QString text = QString::fromStdString(noteText().value_or(std::string()));
    if (text != noteTextView_->toPlainText()) {
        settingText_ = true;
        noteTextView_->setPlainText(text);
        settingText_ = false;
    }
    if (isPreviewShown()) refreshPreview();
}

void NotesListViewController::refreshMessage() {
    const bool hasText = hasNoteText();
    const double duration = view()->window() && view()->window()->isVisible() ? 0.3 : 0;
    gantry::animate(messageView_, duration, hasText);
    gantry::animate(contentView_, duration, !hasText);
    if (!hasText && isPreviewShown()) setPreviewShown(false);
}

void NotesListViewController::refreshPreview() {
    if (!previewView_) return;
    // The note is Markdown only: HTML in it is shown as text, never run.
    const int scroll = previewView_->verticalScrollBar()->value();
    previewView_->document()->setMarkdown(
        noteTextView_->toPlainText(),
        QTextDocument::MarkdownFeatures(QTextDocument::MarkdownDialectGitHub |
                                        QTextDocument::MarkdownNoHTML));
    previewView_->verticalScrollBar()->setValue(scroll);
}

void NotesListViewController::textDidChange() {
    if (settingText_) return;
    const auto entry = noteEntry();
    autosaveFile_ = entry ? entry->file : nullptr;
    autosaveTimer_.start(autosaveInterval_);
}

void NotesListViewController::saveNow() {
    if (!noteTextView_) return;
    autosaveTimer_.stop();
    const auto file = autosaveFile_.lock();
    autosaveFile_.reset();
    // A change typed into a package that is no longer the open one (a
    // replace came between) is not written into the new one.
    if (!file || file != context_.manager().file()) return;
    file->setNote(noteTextView_->toPlainText().toStdString());
    save();
}

bool NotesListViewController::saveBeforeQuitting() {
    if (!noteTextView_) return false;
    if (autosaveTimer_.isActive()) {
        autosaveTimer_.stop();
        const auto file = autosaveFile_.lock();
        autosaveFile_.reset();
        if (file && file == context_.manager().file()) {
            file->setNote(noteTextView_->toPlainText().toStdString());
            saveOwed_ = true;
        }
    }
    // Not posted as a save otherwise is: the application ends before the
    // main queue would run it.
    if (!saveOwed_ || context_.manager().isProcessing()) return false;
    if (!context_.submit(quillfen::BackupAction::saveBackupFile)) return false;
    saveOwed_ = false;
    return true;
}

void NotesListViewController::storeNote(const std::optional<std::string>& text) {
    const auto file = context_.manager().file();
    if (!file || context_.manager().isProcessing()) return;
    // What is typed and not saved yet would otherwise overwrite this.
    autosaveTimer_.stop();
    autosaveFile_.reset();
    if (text)
        file->setNote(*text);
    else
        file->removeNote();
    save();
}

void NotesListViewController::save() {
    // As the lists do: the manager saves under the package's lock, after the
    // package's announcement of the edit has reached the viewer; a failed
    // save is the error of its run. A save the manager cannot take now (it
    // is at work) follows the end of that work.
    saveOwed_ = true;
    QPointer<QWidget> alive = noteTextView_.data();
    keel::DispatchQueue::main().async([this, alive] {
        if (!alive || !saveOwed_ || context_.manager().isProcessing()) return;
        if (context_.submit(quillfen::BackupAction::saveBackupFile)) saveOwed_ = false;
    });
}

void NotesListViewController::addNoteFromFile() {
    gantry::PanelRequest request;
    request.kind = gantry::PanelRequest::Kind::open;
    request.name = "AddNoteFromFilePanel";
    request.title = keel::TL("AddNoteFromFilePanelTitle");
    request.prompt = keel::TL("AddNoteFromFilePanelPrompt");
    request.directoryURL = keel::FileManager::noSandboxHomeURL();
    request.canChooseFiles = true;
    request.canChooseDirectories = false;
    request.canCreateDirectories = false;
    request.allowsMultipleSelection = false;
    QPointer<QWidget> alive = noteTextView_.data();
    context_.panels().beginSheet(view()->window(), request,
                                 [this, alive](std::vector<std::filesystem::path> urls) {
                                     if (alive && !urls.empty()) loadNote(urls.front());
                                 });
}

void NotesListViewController::loadNote(const std::filesystem::path& url) {
    std::error_code error;
    const auto status = std::filesystem::status(url, error);
    if (error || !std::filesystem::is_regular_file(status))
        return refuse("NoteFileNotReadableAlert", url.string());
    const std::uintmax_t size = std::filesystem::file_size(url, error);
    if (error) return refuse("NoteFileNotReadableAlert", url.string());
    if (size > maxNoteFileSize) return refuse("NoteFileTooLargeAlert", url.string());
    std::ifstream stream(url, std::ios::binary);
    std::string text;
    if (stream) {
        // Read at most one byte past the limit: the file may grow meanwhile.
        text.resize(static_cast<std::size_t>(maxNoteFileSize) + 1);
        stream.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(stream.gcount()));
    }
    if (!stream && !stream.eof()) return refuse("NoteFileNotReadableAlert", url.string());
    if (text.size() > maxNoteFileSize) return refuse("NoteFileTooLargeAlert", url.string());
    if (!quillfen::ItemEditor::isStorableText(text))
        return refuse("NoteFileNotTextAlert", url.string());
    storeNote(text);
}

void NotesListViewController::refuse(const char* name, const std::string& detail) {
    const std::string key(name);
    context_.alerts().beginSheet(view()->window(),
                                 {key,
                                  keel::TL(key + "MessageText"),
                                  keel::TL(key + "InformativeText", detail),
                                  {keel::TL(key + "OKButton")},
                                  gantry::AlertRequest::Style::warning},
                                 {});
}

void NotesListViewController::deleteNote() {
    auto entry = noteEntry();
    if (!entry || !hasNoteText()) return;
    entry->string = noteText();
    gantry::AlertRequest request;
    request.name = "BackupDeleteSingleItemAlert";
    request.messageText = keel::TL("BackupDeleteSingleItemAlertMessageText");
    request.informativeText = keel::TL("BackupDeleteNoteAlertInformativeText", entry->title());
    request.buttons = {keel::TL("BackupDeleteSingleItemAlertCancelButton"),
                       keel::TL("BackupDeleteSingleItemAlertContinueButton")};
    request.style = gantry::AlertRequest::Style::warning;
    QPointer<QWidget> alive = noteTextView_.data();
    context_.alerts().beginSheet(view()->window(), request, [this, alive](std::size_t button) {
        if (alive && button == 1) storeNote(std::nullopt);
    });
}

}  // namespace desktop
