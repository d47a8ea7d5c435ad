// The open panel that chooses files and folders together, driven through the
// program's panel presenter with the mouse and keyboard on real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileSystemModel>
#include <QTest>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <vector>

#include "gantry/FileChooserDialog.h"
#include "gantry/QtPanelPresenter.h"
#include "support/TestSupport.h"

using namespace gantry;
namespace fs = std::filesystem;

namespace {

class FileChooserDialogTest : public ::testing::Test {
protected:
    FileChooserDialogTest() {
        testsupport::writeFile(folder.path() / ".settingsrc", "x");
        testsupport::writeFile(folder.path() / "plain.txt", "x");
        testsupport::writeFile(folder.path() / "Folder/inside.conf", "x");
        window.resize(700, 500);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // Opens a mixed panel on the test folder and waits until it lists it.
    FileChooserDialog* open(bool showsHiddenFiles) {
        PanelRequest request;
        request.name = "AddFilesPanel";
        request.prompt = "Add";
        request.directoryURL = folder.path();
        request.canChooseFiles = true;
        request.canChooseDirectories = true;
        request.allowsMultipleSelection = true;
        request.showsHiddenFiles = showsHiddenFiles;
        presenter.beginSheet(&window, request,
                             [this](std::vector<fs::path> urls) { chosen = std::move(urls); });
        auto* dialog = window.findChild<FileChooserDialog*>("AddFilesPanel");
        EXPECT_NE(dialog, nullptr);
        if (dialog) {
            EXPECT_TRUE(waitUntilListed(dialog));
        }
        return dialog;
    }
    static bool waitUntilListed(FileChooserDialog* dialog) {
        return QTest::qWaitFor([dialog] { return dialog->directoryIsLoaded(); }, 20000);
    }
    static QModelIndex indexOf(FileChooserDialog* dialog, const fs::path& url) {
        auto* model = static_cast<QFileSystemModel*>(dialog->fileView()->model());
        return model->index(QString::fromStdString(url.string()));
    }
    static bool isListed(FileChooserDialog* dialog, const fs::path& url) {
        const QModelIndex index = indexOf(dialog, url);
        return index.isValid() && index.parent() == dialog->fileView()->rootIndex();
    }
    static void click(FileChooserDialog* dialog, const fs::path& url,
                      Qt::KeyboardModifiers modifiers = {}) {
        QTreeView* view = dialog->fileView();
        const QRect rect = view->visualRect(indexOf(dialog, url));
        ASSERT_TRUE(rect.isValid()) << url;
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers, rect.center());
    }

    testsupport::TemporaryDirectory folder;
    QWidget window;
    QtPanelPresenter presenter;
    std::optional<std::vector<fs::path>> chosen;
};

TEST_F(FileChooserDialogTest, AHiddenFileAndAFolderAreChosenTogether) {
    FileChooserDialog* dialog = open(true);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->acceptButton()->text(), "Add");
    EXPECT_TRUE(dialog->showHiddenFilesButton()->isChecked());
    EXPECT_FALSE(dialog->acceptButton()->isEnabled()) << "nothing is selected yet";
    ASSERT_TRUE(isListed(dialog, folder.path() / ".settingsrc"));

    click(dialog, folder.path() / ".settingsrc");
    click(dialog, folder.path() / "Folder", Qt::ControlModifier);
    EXPECT_TRUE(dialog->acceptButton()->isEnabled());
    QTest::mouseClick(dialog->acceptButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }, 20000));
    std::vector<fs::path> urls = *chosen;
    std::sort(urls.begin(), urls.end());
    EXPECT_EQ(urls,
              (std::vector<fs::path>{folder.path() / ".settingsrc", folder.path() / "Folder"}));
}

TEST_F(FileChooserDialogTest, HiddenEntriesFoldersAndTypedLocationsAndCancelChooseNothing) {
    FileChooserDialog* dialog = open(false);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(isListed(dialog, folder.path() / ".settingsrc"));
    EXPECT_TRUE(isListed(dialog, folder.path() / "plain.txt"));
    // Ctrl+H lists hidden entries, as the desktop's own dialogs do.
    QTest::keyClick(dialog->fileView(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(dialog->showHiddenFilesButton()->isChecked());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return isListed(dialog, folder.path() / ".settingsrc"); }, 20000));

    // A double click enters a folder; the enclosing-folder button comes back.
    const QRect folderRect =
        dialog->fileView()->visualRect(indexOf(dialog, folder.path() / "Folder"));
    // A double click is a press, a release, then the second press.
    QTest::mouseClick(dialog->fileView()->viewport(), Qt::LeftButton, {}, folderRect.center());
    QTest::mouseDClick(dialog->fileView()->viewport(), Qt::LeftButton, {}, folderRect.center());
    EXPECT_EQ(dialog->directoryURL(), folder.path() / "Folder");
    ASSERT_TRUE(waitUntilListed(dialog));
    EXPECT_TRUE(isListed(dialog, folder.path() / "Folder/inside.conf"));
    QTest::mouseClick(dialog->parentFolderButton(), Qt::LeftButton);
    EXPECT_EQ(dialog->directoryURL(), folder.path());

    // Return in the location field goes to a typed file and selects it,
    // without accepting the panel.
    ASSERT_TRUE(waitUntilListed(dialog));
    dialog->locationField()->setText(
        QString::fromStdString((folder.path() / "Folder/inside.conf").string()));
    QTest::keyClick(dialog->locationField(), Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->directoryURL(), folder.path() / "Folder");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return dialog->chosenURLs() ==
                   std::vector<fs::path>{folder.path() / "Folder/inside.conf"};
        },
        20000));

    QTest::mouseClick(dialog->cancelButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return chosen.has_value(); }, 20000));
    EXPECT_TRUE(chosen->empty());
}

}  // namespace
