// Renders the kit's windows, light and dark, into the build's "screenshots"
// folder for people to look at. Nothing is compared: the test fails only
// when a picture cannot be made or written.
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QPalette>
#include <QStyle>

#include "KitWindowsFixture.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter/UpdateForm.h"
#include "outfitter_widgets/FeedbackWindowController.h"
#include "outfitter_widgets/NewsletterWindowController.h"
#include "outfitter_widgets/UpdateWindowController.h"
#include "support/DarkPalette.h"

using namespace outfitter;
using namespace kitwindowstest;

using quillfen::testing::darkPalette;

namespace {

class KitWindowsScreenshotTest : public KitWindowsFixture,
                                 public ::testing::WithParamInterface<bool> {
protected:
    KitWindowsScreenshotTest() : folder_(QUILLFEN_SCREENSHOT_DIR) {
        QDir().mkpath(folder_);
        if (GetParam()) QApplication::setPalette(darkPalette());
        configuration.feedbackEnableAttachments = true;
        configuration.feedbackTwitterURL = "https://twitter.example.org";
        configuration.feedbackYoutubeURL = "https://youtube.example.org";
        configuration.feedbackForumURL = "https://forum.example.org";
    }
    ~KitWindowsScreenshotTest() override {
        QApplication::setPalette(QApplication::style()->standardPalette());
    }
    void save(QWidget* widget, const QString& name) {
        QCoreApplication::processEvents();
        const QPixmap picture = widget->grab();
        ASSERT_FALSE(picture.isNull()) << name.toStdString();
        const QString file = name + (GetParam() ? "-dark.png" : "-light.png");
        EXPECT_TRUE(picture.save(QDir(folder_).filePath(file))) << file.toStdString();
    }

    QString folder_;
};

TEST_P(KitWindowsScreenshotTest, EveryWindow) {
    ReleaseSettings::storeUserContact("Ana Lima", "ana@example.org");
    controller().feedbackReporter().reportFeedback(FeedbackType::bugReport);
    FeedbackWindowController* feedback = windowPresenter->windows.feedbackWindow();
    ASSERT_TRUE(feedback);
    FeedbackForm& form = *controller().feedbackReporter().feedbackForm();
    form.setMessage("The sidebar stays empty after I pick a package on my cloud drive.");
    form.setAttachments({root() / "etc/os-release"});
    save(feedback->window(), "kit-feedback");
    QDialog* information = feedback->informationDialog();
    information->show();
    save(information, "kit-feedback-information");
    information->close();

    controller().feedbackReporter().askToJoinNewsletter(false);
    NewsletterWindowController* newsletter = windowPresenter->windows.newsletterWindow();
    ASSERT_TRUE(newsletter);
    NewsletterForm& letter = *controller().feedbackReporter().newsletterForm();
    letter.setOffersDontAskAgain(true);
    save(newsletter->window(), "kit-newsletter");
    letter.setEmail("ana@example");
    letter.send();
    newsletter->window()->findChild<QLineEdit*>("emailTextField")->setText("ana@example");
    save(newsletter->window(), "kit-newsletter-invalid");
    server.enqueue(testsupport::ScriptedAnswer::json(R"({"code":-1,"message":"Welcome"})"));
    letter.setEmail("ana@example.org");
    letter.send();
    ASSERT_TRUE(outfittertest::waitUntil([&] { return !letter.isSending(); }));
    save(newsletter->window(), "kit-newsletter-thanks");

    UpdateForm update;
    update.begin("1.3.0", "Faster scans of large folders.\nThe sidebar remembers its width.",
                 18'400'000, [] {});
    update.setReceived(7'100'000);
    windowPresenter->showUpdate(update);
    save(windowPresenter->windows.updateWindow()->window(), "kit-update");
    update.close();
}

INSTANTIATE_TEST_SUITE_P(Appearances, KitWindowsScreenshotTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Dark" : "Light";
                         });

}  // namespace
