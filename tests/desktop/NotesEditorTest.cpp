#include <QApplication>
#include <QPlainTextEdit>
#include <QStyle>
#include <QTextBrowser>

#include <atomic>

#include "app/ItemEditor.h"
#include "desktop/DesktopFixture.h"
#include "desktop/MarkdownHighlighter.h"
#include "desktop/NotesListViewController.h"
#include "keel/DispatchQueue.h"
#include "keel/FileSystemFaults.h"
#include "keel/NoteSubscriber.h"
#include "support/DarkPalette.h"

using namespace desktop;
using namespace desktop::testing;
using Command = NotesListViewController::Command;

namespace {

// As other computers' packages may hold it: never to change.
const std::string exampleNote =
    "#Example\n\n##New macOS Install\n\n###Step1: Homebrew\n\n- imagemagick\n- opencv\n"
    "- ffmpeg\n- much more...\n\n";

class NotesEditorTest : public DesktopTest {
protected:
    ~NotesEditorTest() override { keel::FileSystemFaults::disarm(); }

    // The window on a package holding `note` (none: no note), showing the note.
    void launchWith(std::optional<std::string> note) {
        grantRoot();
        storeLocation(packageURL());
        markTipsShown();
        {
            auto file = quillfen::BackupFile::open(packageURL());
            if (note) file->setNote(*note);
            file->save();
        }
        launch();
        ASSERT_TRUE(waitForIdle());
        main().showContent(MainWindowController::notesList);
        // Timing plays no part: saves happen when the test says.
        notes().setAutosaveInterval(std::chrono::hours(1));
        editions = 0;
        editionsSubscriber.subscribe({quillfen::BackupFile::didItemsNotification},
                                     manager.file().get(),
                                     [this](const keel::Notification&) { ++editions; });
    }
    NotesListViewController& notes() {
        return *static_cast<NotesListViewController*>(
            main().contentViewControllers()[MainWindowController::notesList]);
    }
    std::optional<std::string> storedNote() {
        const auto note = quillfen::BackupFile::open(packageURL())->note();
        return note ? note->content : std::nullopt;
    }
    void type(const QString& text) {
        QPlainTextEdit* editor = notes().noteTextView();
        editor->moveCursor(QTextCursor::End);
        QTest::keyClicks(editor, text);
    }
    // Lets a save start and end, and the view follow.
    void settle() {
        for (int round = 0; round < 2; ++round) {
            bool reached = false;
            keel::DispatchQueue::main().async([&] { reached = true; });
            ASSERT_TRUE(waitUntil([&] { return reached; }));
            ASSERT_TRUE(waitForIdle());
        }
    }

    std::atomic<int> editions{0};
    keel::NoteSubscriber editionsSubscriber;
};

}  // namespace

TEST_F(NotesEditorTest, TenKeystrokesAreOneSaveOfTheWholeText) {
    launchWith(std::string("Notes\n"));
    EXPECT_EQ(notes().noteTextView()->toPlainText(), "Notes\n");
    NotesListViewController fresh(main(), *context);
    EXPECT_EQ(fresh.autosaveInterval(), std::chrono::seconds(1));

    type("0123456789");
    EXPECT_TRUE(notes().isAutosavePending());
    EXPECT_EQ(editions, 0) << "nothing is written while the user types";
    notes().saveNow();
    settle();
    EXPECT_EQ(editions, 1);
    EXPECT_FALSE(notes().isAutosavePending());
    EXPECT_EQ(storedNote(), "Notes\n0123456789");

    // What is typed while the save of the text before runs stays in the editor.
    type("ab");
    notes().saveNow();
    type("c");
    settle();
    EXPECT_EQ(notes().noteTextView()->toPlainText(), "Notes\n0123456789abc");
    notes().saveNow();
    settle();
    EXPECT_EQ(storedNote(), "Notes\n0123456789abc");
}

TEST_F(NotesEditorTest, TheExampleNoteIsStoredByteForByteAndTheNoteCanBeDeleted) {
    launchWith(std::nullopt);
    EXPECT_FALSE(notes().messageView()->isHidden());
    EXPECT_TRUE(notes().contentView()->isHidden());
    EXPECT_TRUE(notes().action(Command::addEmptyNote)->isEnabled());
    EXPECT_FALSE(notes().action(Command::deleteSelectedNotes)->isEnabled());

    notes().action(Command::addEmptyNote)->trigger();
    settle();
    ASSERT_EQ(exampleNote.size(), 99u);
    EXPECT_EQ(quillfen::ItemEditor::exampleNote, exampleNote);
    EXPECT_EQ(storedNote(), exampleNote);
    EXPECT_EQ(notes().noteTextView()->toPlainText().toStdString(), exampleNote);
    EXPECT_TRUE(notes().messageView()->isHidden());
    EXPECT_FALSE(notes().contentView()->isHidden());
    EXPECT_FALSE(notes().action(Command::addEmptyNote)->isEnabled());
    EXPECT_TRUE(notes().action(Command::deleteSelectedNotes)->isEnabled());
    EXPECT_FALSE(notes().isAutosavePending()) << "showing a note is no edit";

    // Cancel keeps it; the second button deletes it.
    alerts->script(0);
    notes().action(Command::deleteSelectedNotes)->trigger();
    settle();
    EXPECT_EQ(storedNote(), exampleNote);
    alerts->script(1);
    notes().action(Command::deleteSelectedNotes)->trigger();
    settle();
    EXPECT_EQ(alerts->shown("BackupDeleteSingleItemAlert").size(), 2u);
    EXPECT_EQ(storedNote(), std::nullopt);
    EXPECT_FALSE(notes().messageView()->isHidden());
    EXPECT_TRUE(notes().action(Command::addEmptyNote)->isEnabled());
}

TEST_F(NotesEditorTest, APaletteChangeSwitchesTheTheme) {
    launchWith(exampleNote);
    EXPECT_EQ(notes().highlighter().theme().name, "color-brewer");
    QApplication::setPalette(quillfen::testing::darkPalette());
    QCoreApplication::processEvents();
    EXPECT_EQ(notes().highlighter().theme().name, "tomorrow-night-eighties");
    EXPECT_EQ(notes().noteTextView()->palette().color(QPalette::Base),
              MarkdownHighlighter::Theme::dark().background);
    QApplication::setPalette(QApplication::style()->standardPalette());
    QCoreApplication::processEvents();
    EXPECT_EQ(notes().highlighter().theme().name, "color-brewer");
    // The heading line is coloured, the text itself is left as it is.
    const QTextBlock heading = notes().noteTextView()->document()->firstBlock();
    ASSERT_FALSE(heading.layout()->formats().isEmpty());
    EXPECT_EQ(heading.layout()->formats().front().format.foreground().color(),
              MarkdownHighlighter::Theme::light().heading);
    EXPECT_EQ(notes().noteTextView()->toPlainText().toStdString(), exampleNote);
}

TEST_F(NotesEditorTest, LoadingRefusesLargeAndNonTextFilesAndTakesATextFile) {
    launchWith(std::string("kept"));
    const fs::path large = settings.home() / "large.md";
    testsupport::writeFile(large, std::string(2 * 1024 * 1024, 'a'));
    const fs::path binary = settings.home() / "binary.txt";
    testsupport::writeFile(binary, std::string("caf\xe9\n", 5));
    const fs::path text = settings.home() / "setup.md";
    testsupport::writeFile(text, "# Setup\r\n\n- brew \xc3\xa9\n");

    for (const auto& [url, alert] :
         {std::pair{large, "NoteFileTooLargeAlert"}, std::pair{binary, "NoteFileNotTextAlert"},
          std::pair{settings.home(), "NoteFileNotReadableAlert"}}) {
        panels->script({url});
        notes().action(Command::addNoteFromFile)->trigger();
        settle();
        EXPECT_EQ(alerts->shown(alert).size(), 1u) << url;
        EXPECT_EQ(storedNote(), "kept") << url;
    }
    EXPECT_EQ(editions, 0);
    // A cancelled panel changes nothing either.
    notes().action(Command::addNoteFromFile)->trigger();
    settle();
    EXPECT_EQ(storedNote(), "kept");

    panels->script({text});
    notes().action(Command::addNoteFromFile)->trigger();
    settle();
    EXPECT_EQ(storedNote(), "# Setup\r\n\n- brew \xc3\xa9\n");
    EXPECT_EQ(panels->shown().back().request.canChooseDirectories, false);
}

TEST_F(NotesEditorTest, AFailedSaveIsReportedAndTheNextSaveWritesTheNote) {
    launchWith(std::string("draft"));
    type("!");
    keel::FileSystemFaults::arm(1, ENOSPC, keel::FileSystemFaults::Persistence::fromThenOn);
    notes().saveNow();
    settle();
    keel::FileSystemFaults::disarm();
    EXPECT_EQ(alerts->shown("BackupErrorDidOccurAlert").size(), 1u);
    EXPECT_EQ(notes().noteTextView()->toPlainText(), "draft!");
    EXPECT_EQ(storedNote(), "draft");

    type("?");
    notes().saveNow();
    settle();
    EXPECT_EQ(storedNote(), "draft!?");
}

TEST_F(NotesEditorTest, ThePreviewRendersMarkdownAndShowsHtmlAsText) {
    launchWith(std::string("# Title\n\n<b>raw</b> and *soft*\n"));
    QAction* preview = notes().action(Command::togglePreview);
    ASSERT_TRUE(preview->isEnabled());
    preview->trigger();
    ASSERT_TRUE(notes().isPreviewShown());
    QTextBrowser* browser = notes().previewView();
    EXPECT_TRUE(browser->isReadOnly());
    const QString shown = browser->toPlainText();
    EXPECT_TRUE(shown.startsWith("Title")) << shown.toStdString();
    EXPECT_FALSE(shown.contains("# Title"));
    EXPECT_FALSE(browser->document()->firstBlock().next().text().isEmpty());
    // No markup of HTML reaches the document: the tag is no bold text.
    const QTextBlock paragraph = browser->document()->lastBlock();
    EXPECT_NE(paragraph.begin().fragment().charFormat().fontWeight(), QFont::Bold);
    EXPECT_EQ(storedNote(), "# Title\n\n<b>raw</b> and *soft*\n") << "showing changes nothing";
    preview->trigger();
    EXPECT_FALSE(notes().isPreviewShown());
}

// Typing and quitting at once: the quit saves the note and ends only after
// the save, by the window's quit and by a signal to end alike.
TEST_F(NotesEditorTest, ANoteTypedJustBeforeQuittingIsSavedBeforeTheProgramEnds) {
    launchWith(std::string("Notes\n"));
    type("milk");
    ASSERT_TRUE(notes().isAutosavePending());
    app->terminate();
    EXPECT_FALSE(notes().isAutosavePending());
    ASSERT_TRUE(waitUntil([&] { return !exitCodes.empty(); }));
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    EXPECT_EQ(storedNote(), "Notes\nmilk");
}

TEST_F(NotesEditorTest, ASignalToEndSavesTheNoteTypedJustBefore) {
    launchWith(std::string("Notes\n"));
    type("eggs");
    app->terminateWhenIdle();
    ASSERT_TRUE(waitUntil([&] { return !exitCodes.empty(); }));
    EXPECT_EQ(storedNote(), "Notes\neggs");
}
