#include "outfitter/FeedbackForm.h"

#include <cstdio>

#include "keel/LocalizedString.h"
#include "keel/UserSettings.h"
#include "outfitter/FeedbackAttachments.h"
#include "outfitter/FeedbackUploader.h"
#include "outfitter/Presenter.h"
#include "outfitter/ReleaseController.h"
#include "outfitter/ReleaseSettings.h"

namespace outfitter {

namespace {

// Asks with the texts under "<prefix>MessageText" and "<prefix>CancelButtonTitle"
// and a second button that goes on; without a presenter the answer is cancel.
std::size_t askUser(Presenter* presenter, const std::string& prefix, std::string informative,
                    const char* goOnButton) {
    if (!presenter) return 0;
    return presenter->ask({keel::TL(prefix + "MessageText"),
                           std::move(informative),
                           {keel::TL(prefix + "CancelButtonTitle"), keel::TL(goOnButton)}});
}

}  // namespace

FeedbackForm::FeedbackForm(ReleaseController& controller) : controller_(controller) {}

FeedbackForm::~FeedbackForm() = default;

void FeedbackForm::setConfiguration(std::optional<ReleaseConfiguration> configuration) {
    configuration_ = std::move(configuration);
    if (!attachmentsEnabled()) attachments_.clear();
    emit changed();
}

void FeedbackForm::reloadComponents() {
    auto& settings = keel::UserSettings::standard();
    userName_ = settings.get(ReleaseSettings::userName).value_or("");
    userEmail_ = settings.get(ReleaseSettings::userEmail).value_or("");
    componentsEnabled_ = !isSending_;
    emit changed();
}

void FeedbackForm::populate(SystemProfile& profile) {
    systemInformation_ = profile.features();
    consoleInformation_ = profile.retrieveConsoleLog();
    preferencesInformation_ = profile.retrievePreferences();
    emit changed();
}

void FeedbackForm::present() {
    Presenter* presenter = controller_.presenter();
    if (!presenter) return;  // no window to show
    isReporting_ = true;
    emit changed();
    presenter->show(*this);
}

void FeedbackForm::close() {
    emit closeRequested();
    windowDidClose();
}

void FeedbackForm::windowDidClose() {
    if (!isReporting_) return;
    isReporting_ = false;
    emit changed();
}

std::string FeedbackForm::windowTitle() const {
    return keel::TL("FeedbackWindowWindowTitle");
}

void FeedbackForm::setFeedbackTypeIndex(int index) {
    feedbackTypeIndex_ = index;
    emit changed();
}

void FeedbackForm::setUserName(std::string name) {
    userName_ = std::move(name);
    emit changed();
}

void FeedbackForm::setUserEmail(std::string email) {
    userEmail_ = std::move(email);
    emit changed();
}

void FeedbackForm::setMessage(std::string text) {
    message_ = std::move(text);
    emit changed();
}

void FeedbackForm::setIncludeInformation(bool include) {
    includeInformation_ = include;
    emit changed();
}

bool FeedbackForm::attachmentsEnabled() const {
    return configuration_ && configuration_->feedbackEnableAttachments;
}

void FeedbackForm::setAttachments(std::vector<std::filesystem::path> attachments) {
    if (attachmentsEnabled()) attachments_ = std::move(attachments);
    emit changed();
}

bool FeedbackForm::canSend() const {
    return configuration_ &&
           FeedbackUploader::make(*configuration_, controller_.network(),
                                  controller_.environment().bundle,
                                  controller_.environment().reachability) != nullptr;
}

void FeedbackForm::send() {
    if (!configuration_ || isSending_) return;
    auto uploader = FeedbackUploader::make(*configuration_, controller_.network(),
                                           controller_.environment().bundle,
                                           controller_.environment().reachability);
    if (!uploader) return;
    isSending_ = true;
    componentsEnabled_ = false;
    emit changed();

    Presenter* presenter = controller_.presenter();
    if (!uploader->checkReachability() &&
        askUser(presenter, "HostNotReachable", keel::TL("HostNotReachableInformativeText"),
                "HostNotReachableTryButtonTitle") == 0) {
        endSending();
        return;
    }

    FeedbackContent content;
    const auto selection = FeedbackAttachments::select(attachments_);
    if (!selection.skipped.empty()) {
        std::string list;
        for (const auto& skipped : selection.skipped)
            list += skipped.path.filename().string() + ": " +
                    FeedbackAttachments::describe(skipped.reason) + "\n";
        if (askUser(presenter, "AttachmentsSkipped",
                    keel::TL("AttachmentsSkippedInformativeText", list),
                    "AttachmentsSkippedSendButtonTitle") == 0) {
            endSending();
            return;
        }
    }
    if (!selection.kept.empty()) content.attachments = selection.kept;
    content.type = feedbackTypeFromRawValue(feedbackTypeIndex_).value_or(FeedbackType::bugReport);
    content.userName = userName_;
    content.userEmail = userEmail_;
    content.message = message_;
    if (includeInformation_) {
        content.preferences = preferencesInformation_;
        content.console = consoleInformation_;
        content.system = systemInformation_;
    }
    uploader_ = std::move(uploader);
    uploader_->upload(content, [this](const std::optional<FeedbackUploaderError>& error) {
        finishSending(error);
    });
}

void FeedbackForm::endSending() {
    isSending_ = false;
    componentsEnabled_ = true;
    emit changed();
}

void FeedbackForm::finishSending(const std::optional<FeedbackUploaderError>& error) {
    // Kept until the next send or the form's end: this runs inside its completion.
    componentsEnabled_ = true;
    try {
        ReleaseSettings::storeUserContact(userName_, userEmail_);
    } catch (const std::exception& storeError) {
        std::printf("FeedbackReporter cannot store the contact: %s\n", storeError.what());
    }
    isSending_ = false;
    if (!error) {
        message_.clear();
        attachments_.clear();
        includeInformation_ = false;
        emit changed();
        close();
        return;
    }
    emit changed();
    const std::string description = error->errorDescription();
    std::printf("%s\n", description.c_str());
    if (Presenter* presenter = controller_.presenter())
        presenter->alert({keel::TL("SendingDidFailMessageText"),
                          keel::TL("SendingDidFailInformativeText", description),
                          {keel::TL("SendingDidFailOKButtonTitle")}});
}

}  // namespace outfitter
