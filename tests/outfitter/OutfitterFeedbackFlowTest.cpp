#include <sys/stat.h>

#include "OutfitterKitFixture.h"
#include "keel/LocalizedString.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackReporter.h"
#include "outfitter/ReleaseSettings.h"

using namespace outfitter;
using namespace outfittertest;
using namespace std::chrono_literals;
using testsupport::ScriptedAnswer;

namespace {

const QByteArray kAccepted = R"({"code":-1,"message":"Thanks"})";

class OutfitterFeedbackFlowTest : public KitFixture {
protected:
    FeedbackForm& open(FeedbackType type = FeedbackType::bugReport) {
        controller().feedbackReporter().reportFeedback(type);
        FeedbackForm* form = controller().feedbackReporter().feedbackForm();
        EXPECT_TRUE(form && form->isReporting());
        return *form;
    }
    void sendAndWait(FeedbackForm& form) {
        form.send();
        EXPECT_TRUE(waitUntil([&] { return !form.isSending(); }));
    }
};

TEST_F(OutfitterFeedbackFlowTest, TheBoxStartsUncheckedAndThenNoFactsLogOrSettingsAreSent) {
    auto& settings = keel::UserSettings::standard();
    settings.set(ReleaseSettings::userName, std::optional<std::string>("Ana"));
    server.enqueue(ScriptedAnswer::json(kAccepted));

    FeedbackForm& form = open(FeedbackType::supportRequest);
    EXPECT_EQ(presenter->feedbackShown, 1);
    EXPECT_EQ(form.feedbackTypeIndex(), 1);
    EXPECT_EQ(form.userName(), "Ana");
    EXPECT_FALSE(form.includeInformation());
    EXPECT_EQ(form.systemInformation().size(), 13u);  // shown, but not sent
    EXPECT_NE(form.consoleInformation().find("started"), std::string::npos);
    form.setUserEmail("ana@example.org");
    form.setMessage("Hello");
    form.send();
    EXPECT_TRUE(form.isSending());
    EXPECT_FALSE(form.componentsEnabled());
    ASSERT_TRUE(waitUntil([&] { return !form.isSending(); }));

    const auto body = bodyOf(0);
    EXPECT_EQ(body["type"], "1");
    EXPECT_EQ(body["message"], "Hello");
    EXPECT_TRUE(body["system"].empty());
    EXPECT_FALSE(body.contains("console"));
    EXPECT_FALSE(body.contains("preferences"));
    // Success: the window closed, the text is gone, the contact is kept in an
    // owner-only file.
    EXPECT_FALSE(form.isReporting());
    EXPECT_TRUE(form.componentsEnabled());
    EXPECT_EQ(form.message(), "");
    EXPECT_EQ(settings.get(ReleaseSettings::userEmail), "ana@example.org");
    struct stat info {};
    ASSERT_EQ(::stat(settingsFile.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(presenter->alerts.empty());
}

TEST_F(OutfitterFeedbackFlowTest, TheCheckedBoxSendsFactsLogAndSettingsButNotTheContactOrClientID) {
    auto& settings = keel::UserSettings::standard();
    settings.set(ReleaseSettings::userEmail, std::optional<std::string>("ana@example.org"));
    settings.set(ReleaseSettings::analyticsClientID(),
                 std::optional<std::string>("0123456789abcdef"));
    settings.set(keel::EvaluedUserSettingKey<bool>{"EnableNoteAfterProcessing", false}, true);
    server.enqueue(ScriptedAnswer::json(kAccepted));

    FeedbackForm& form = open();
    form.setIncludeInformation(true);
    sendAndWait(form);

    const auto body = bodyOf(0);
    EXPECT_EQ(body["system"].size(), 13u);
    EXPECT_EQ(body["system"]["Langage"], "fr-CA");
    const std::string preferences =
        QByteArray::fromBase64(QByteArray::fromStdString(body["preferences"])).toStdString();
    EXPECT_NE(preferences.find("EnableNoteAfterProcessing"), std::string::npos);
    EXPECT_EQ(preferences.find("ana@example.org"), std::string::npos);
    EXPECT_EQ(preferences.find("0123456789abcdef"), std::string::npos);
    EXPECT_NE(QByteArray::fromBase64(QByteArray::fromStdString(body["console"])).indexOf("started"),
              -1);
}

TEST_F(OutfitterFeedbackFlowTest, AnUnreachableHostAsksFirstAndCancelSendsNothing) {
    reachable = false;
    FeedbackForm& form = open();
    form.setMessage("Hello");
    presenter->answers = {0};
    form.send();
    ASSERT_EQ(presenter->questions.size(), 1u);
    EXPECT_EQ(presenter->questions[0].messageText, keel::TL("HostNotReachableMessageText"));
    EXPECT_FALSE(form.isSending());
    EXPECT_TRUE(form.componentsEnabled());
    EXPECT_EQ(form.message(), "Hello");
    EXPECT_EQ(network.requestCount(), 0);

    presenter->answers = {1};  // try anyway
    server.enqueue(ScriptedAnswer::json(kAccepted));
    sendAndWait(form);
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(OutfitterFeedbackFlowTest, AttachmentsThatCannotGoAreNamedBeforeAnythingIsSent) {
    configuration.feedbackEnableAttachments = true;
    const auto base = std::filesystem::path(folder.path().toStdString());
    writeFile(base / "notes.txt", "notes");
    std::filesystem::create_directory(base / "Photos");
    FeedbackForm& form = open();
    form.setAttachments({base / "notes.txt", base / "Photos"});

    presenter->answers = {0};
    form.send();
    ASSERT_EQ(presenter->questions.size(), 1u);
    EXPECT_NE(presenter->questions[0].informativeText.find("Photos"), std::string::npos);
    EXPECT_EQ(presenter->questions[0].informativeText.find("notes.txt"), std::string::npos);
    EXPECT_FALSE(form.isSending());
    EXPECT_EQ(network.requestCount(), 0);

    presenter->answers = {1};  // send without it
    server.enqueue(ScriptedAnswer::json(kAccepted));
    sendAndWait(form);
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_TRUE(bodyOf(0).contains("attachments"));
}

TEST_F(OutfitterFeedbackFlowTest, AFailedSendKeepsTheReportAndTellsWhy) {
    server.enqueue(ScriptedAnswer::json(kAccepted, 503));
    FeedbackForm& form = open();
    form.setMessage("Hello");
    sendAndWait(form);
    ASSERT_EQ(presenter->alerts.size(), 1u);
    EXPECT_EQ(presenter->alerts[0].messageText, keel::TL("SendingDidFailMessageText"));
    EXPECT_NE(presenter->alerts[0].informativeText.find("503"), std::string::npos);
    EXPECT_TRUE(form.isReporting());
    EXPECT_TRUE(form.componentsEnabled());
    EXPECT_EQ(form.message(), "Hello");
}

TEST_F(OutfitterFeedbackFlowTest, QuittingWhileSendingAsksAndTheFirstButtonKeepsTheApplication) {
    ScriptedAnswer slow = ScriptedAnswer::json(kAccepted);
    slow.delay = 300ms;
    server.enqueue(slow);
    FeedbackForm& form = open();
    form.send();
    form.send();  // a second click while sending does nothing

    presenter->answers = {0};
    EXPECT_FALSE(controller().askCanQuitApplication());
    ASSERT_EQ(presenter->questions.size(), 1u);
    EXPECT_EQ(presenter->questions[0].messageText, keel::TL("QuitAppWhileSendingMessageText"));

    presenter->answers = {1, 0};  // quit despite the send, but keep the open window
    EXPECT_FALSE(controller().askCanQuitApplication());
    EXPECT_EQ(presenter->questions.back().messageText,
              keel::TL("QuitAppWhileReportingMessageText"));

    ASSERT_TRUE(waitUntil([&] { return !form.isSending(); }));
    EXPECT_EQ(server.requests().size(), 1u);
    presenter->questions.clear();
    EXPECT_TRUE(controller().askCanQuitApplication());  // sent and closed: nothing to lose
    EXPECT_TRUE(presenter->questions.empty());
}

}  // namespace
