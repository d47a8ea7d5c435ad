#include <map>

#include <QByteArray>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "KitWindowsFixture.h"
#include "keel/LocalizedString.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseSettings.h"
#include "outfitter_widgets/FeedbackWindowController.h"

using namespace outfitter;
using namespace outfittertest;
using namespace kitwindowstest;
using testsupport::ScriptedAnswer;

namespace {

const QByteArray kAccepted = R"({"code":-1,"message":"Thanks"})";

class KitWindowsFeedbackTest : public KitWindowsFixture {
protected:
    // Opens the feedback window and types a message into it.
    QWidget* open(FeedbackType type = FeedbackType::bugReport) {
        controller().feedbackReporter().reportFeedback(type);
        FeedbackWindowController* controllerOfWindow = windowPresenter->windows.feedbackWindow();
        EXPECT_TRUE(controllerOfWindow);
        if (!controllerOfWindow) return nullptr;
        QWidget* window = controllerOfWindow->window();
        EXPECT_TRUE(window->isVisible());
        QTest::keyClicks(find<QPlainTextEdit>(window, "messageTextView"), "It crashed.");
        return window;
    }
    FeedbackForm& form() { return *controller().feedbackReporter().feedbackForm(); }
    static std::string decoded(const nlohmann::json& base64) {
        return QByteArray::fromBase64(QByteArray::fromStdString(base64.get<std::string>()))
            .toStdString();
    }
};

TEST_F(KitWindowsFeedbackTest, TheWindowShowsTheTypeAndTheLastContactAndStartsWithoutInformation) {
    ReleaseSettings::storeUserContact("Ana", "ana@example.org");
    QWidget* window = open(FeedbackType::supportRequest);
    ASSERT_TRUE(window);
    EXPECT_EQ(find<QComboBox>(window, "feedbackTypePopUp")->currentIndex(), 1);
    EXPECT_EQ(find<QLineEdit>(window, "nameTextField")->text(), "Ana");
    EXPECT_EQ(find<QLineEdit>(window, "emailTextField")->text(), "ana@example.org");
    EXPECT_FALSE(find<QCheckBox>(window, "includeInformationButton")->isChecked());
    // Attachments only when the configuration enables them.
    EXPECT_FALSE(find<QWidget>(window, "attachmentsArea")->isVisible());
    EXPECT_EQ(form().message(), "It crashed.");
}

TEST_F(KitWindowsFeedbackTest, CancellingTheUnreachableQuestionSendsNothingAndEnablesTheWindow) {
    reachable = false;
    windowPresenter->answers = {0};
    QWidget* window = open();
    ASSERT_TRUE(window);
    click(window, "sendFeedbackButton");

    ASSERT_EQ(windowPresenter->questions.size(), 1u);
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(network.requestCount(), 0);
    EXPECT_TRUE(window->isVisible());
    for (const char* name : {"messageTextView", "nameTextField", "sendFeedbackButton",
                             "includeInformationButton", "cancelFeedbackButton"})
        EXPECT_TRUE(find<QWidget>(window, name)->isEnabled()) << name;
    EXPECT_FALSE(find<QWidget>(window, "sendProgressIndicator")->isVisible());
    EXPECT_EQ(find<QPlainTextEdit>(window, "messageTextView")->toPlainText(), "It crashed.");
}

TEST_F(KitWindowsFeedbackTest, ADoubleClickOnSendMakesOneRequestAndTheWindowClosesOnSuccess) {
    ScriptedAnswer slow = ScriptedAnswer::json(kAccepted);
    slow.delay = std::chrono::milliseconds(300);
    server.enqueue(slow);
    QWidget* window = open();
    ASSERT_TRUE(window);
    auto* send = find<QPushButton>(window, "sendFeedbackButton");
    QTest::mouseDClick(send, Qt::LeftButton);
    QTest::mouseClick(send, Qt::LeftButton);
    EXPECT_FALSE(send->isEnabled());
    EXPECT_TRUE(find<QWidget>(window, "sendProgressIndicator")->isVisible());
    EXPECT_FALSE(find<QWidget>(window, "messageTextView")->isEnabled());

    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_FALSE(form().isReporting());
    // The next window starts with an empty message.
    controller().feedbackReporter().reportFeedback(FeedbackType::suggestion);
    EXPECT_TRUE(find<QPlainTextEdit>(window, "messageTextView")->toPlainText().isEmpty());
}

TEST_F(KitWindowsFeedbackTest, WithoutTheInformationBoxNoSystemFactsAreSent) {
    server.enqueue(ScriptedAnswer::json(kAccepted));
    QWidget* window = open();
    ASSERT_TRUE(window);
    click(window, "sendFeedbackButton");
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));

    ASSERT_EQ(server.requests().size(), 1u);
    const nlohmann::json body = bodyOf(0);
    EXPECT_TRUE(body["system"].empty());
    EXPECT_FALSE(body.contains("console"));
    EXPECT_FALSE(body.contains("preferences"));
    EXPECT_EQ(body["message"], "It crashed.");
    EXPECT_EQ(body["type"], "2");
}

TEST_F(KitWindowsFeedbackTest, WithTheInformationBoxExactlyWhatTheViewShowedIsSent) {
    server.enqueue(ScriptedAnswer::json(kAccepted));
    QWidget* window = open();
    ASSERT_TRUE(window);
    click(window, "showInformationButton");
    QDialog* view = windowPresenter->windows.feedbackWindow()->informationDialog();
    ASSERT_TRUE(view->isVisible());
    std::map<std::string, std::string> shownFacts;
    auto* facts = find<QTreeWidget>(view, "systemInformationView");
    for (int row = 0; row < facts->topLevelItemCount(); ++row)
        shownFacts[facts->topLevelItem(row)->text(0).toStdString()] =
            facts->topLevelItem(row)->text(1).toStdString();
    const std::string shownConsole =
        find<QPlainTextEdit>(view, "consoleInformationView")->toPlainText().toStdString();
    const std::string shownSettings =
        find<QPlainTextEdit>(view, "preferencesInformationView")->toPlainText().toStdString();
    view->close();
    EXPECT_FALSE(shownFacts.empty());
    EXPECT_NE(shownConsole.find("started"), std::string::npos);

    click(window, "includeInformationButton");
    click(window, "sendFeedbackButton");
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));

    ASSERT_EQ(server.requests().size(), 1u);
    const nlohmann::json body = bodyOf(0);
    using Facts = std::map<std::string, std::string>;
    EXPECT_EQ(body["system"].get<Facts>(), shownFacts);
    EXPECT_EQ(decoded(body["console"]), shownConsole);
    EXPECT_EQ(decoded(body["preferences"]), shownSettings);
    // The box is unticked again for the next report.
    controller().feedbackReporter().reportFeedback(FeedbackType::bugReport);
    EXPECT_FALSE(find<QCheckBox>(window, "includeInformationButton")->isChecked());
}

TEST_F(KitWindowsFeedbackTest, AFailedSendTellsWhyAndKeepsTheReport) {
    server.enqueue(ScriptedAnswer::json(R"({"code":0,"message":"No"})"));
    QWidget* window = open();
    ASSERT_TRUE(window);
    click(window, "sendFeedbackButton");
    ASSERT_TRUE(waitUntil([&] { return !windowPresenter->alerts.empty(); }));

    EXPECT_EQ(windowPresenter->alerts[0].messageText, keel::TL("SendingDidFailMessageText"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(find<QPlainTextEdit>(window, "messageTextView")->toPlainText(), "It crashed.");
    EXPECT_TRUE(find<QWidget>(window, "sendFeedbackButton")->isEnabled());
}

TEST_F(KitWindowsFeedbackTest, QuittingWhileSendingAsksAndTheFirstAnswerKeepsTheApplication) {
    ScriptedAnswer slow = ScriptedAnswer::json(kAccepted);
    slow.delay = std::chrono::milliseconds(400);
    server.enqueue(slow);
    QWidget* window = open();
    ASSERT_TRUE(window);
    click(window, "sendFeedbackButton");
    ASSERT_TRUE(form().isSending());
    // The window cannot be closed under a running send either.
    window->close();
    EXPECT_TRUE(window->isVisible());

    windowPresenter->answers = {0};
    EXPECT_FALSE(controller().askCanQuitApplication());
    ASSERT_EQ(windowPresenter->questions.size(), 1u);
    EXPECT_EQ(windowPresenter->questions[0].messageText,
              keel::TL("QuitAppWhileSendingMessageText"));
    // The send goes on and ends as usual.
    ASSERT_TRUE(waitUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(controller().askCanQuitApplication());
}

TEST_F(KitWindowsFeedbackTest, AttachmentsAreListedWhenEnabledAndTheSkippedOnesNamedFirst) {
    configuration.feedbackEnableAttachments = true;
    const auto small = root() / "notes.txt";
    const auto large = root() / "big.log";
    writeFile(small, "settings");
    writeFile(large, std::string(30 * 1024, 'x'));
    windowPresenter->answers = {0};  // cancel at the list of skipped files
    QWidget* window = open();
    ASSERT_TRUE(window);
    EXPECT_TRUE(find<QWidget>(window, "attachmentsArea")->isVisible());
    windowPresenter->windows.feedbackWindow()->setFileChooser([&](QWidget*) {
        return QStringList{QString::fromStdString(small.string()),
                           QString::fromStdString(large.string())};
    });
    click(window, "addAttachmentButton");
    auto* list = find<QListWidget>(window, "attachmentsTable");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), "big.log");

    click(window, "sendFeedbackButton");
    ASSERT_EQ(windowPresenter->questions.size(), 1u);
    EXPECT_NE(windowPresenter->questions[0].informativeText.find("big.log"), std::string::npos);
    spinFor(std::chrono::milliseconds(100));
    EXPECT_EQ(network.requestCount(), 0);
    EXPECT_TRUE(find<QWidget>(window, "sendFeedbackButton")->isEnabled());

    list->item(1)->setSelected(true);
    click(window, "removeAttachmentButton");
    EXPECT_EQ(form().attachments(), std::vector<std::filesystem::path>{small});
}

}  // namespace
