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

using namespace outfitter;
using namespace kitwindowstest;

namespace {

QPalette darkPalette() {
    QPalette palette;
    const QColor window("#2a2c30"), base("#1e1f22"), text("#e3e5e8"), button("#34373c");
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, QColor("#26282b"));
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, button);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::Highlight, QColor("#3d7bd9"));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor("#9b9fa6"));
    palette.setColor(QPalette::Link, QColor("#6ea8ff"));
    palette.setColor(QPalette::Light, QColor("#4a4d53"));
    palette.setColor(QPalette::Midlight, QColor("#3d4045"));
    palette.setColor(QPalette::Mid, QColor("#232427"));
    palette.setColor(QPalette::Dark, QColor("#1a1b1d"));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor("#6b6f76"));
    return palette;
}

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
