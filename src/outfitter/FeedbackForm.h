// FeedbackForm: the state and actions of the feedback window, without the
// window. The feedback reporter fills it and asks the presenter to show it;
// the window displays what the form holds, writes the user's input into it,
// and calls `send()`.
//
// The system facts, log messages and settings are gathered when the form is
// presented, so that the user can see them, but they go with the report only
// when the user ticks `includeInformation`, which starts unticked. Attached
// files go only when the configuration enables attachments; files that cannot
// go (see FeedbackAttachments) are named to the user before anything is sent.
//
// Threads: main thread only. `changed` is emitted after every change of
// state; `closeRequested` when the window should close (after a successful
// send, or when the reporter closes it).
#pragma once

#include <QObject>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outfitter/FeedbackType.h"
#include "outfitter/ReleaseConfiguration.h"
#include "outfitter/SystemProfile.h"

namespace outfitter {

class FeedbackUploader;
class ReleaseController;

class FeedbackForm : public QObject {
    Q_OBJECT

public:
    explicit FeedbackForm(ReleaseController& controller);
    ~FeedbackForm() override;

    // Set up by the reporter before it presents the form.
    void setConfiguration(std::optional<ReleaseConfiguration> configuration);
    // Fills the name and address with the ones last sent.
    void reloadComponents();
    // Takes the facts, log messages and settings from `profile`.
    void populate(SystemProfile& profile);
    // Shows the window through the presenter and marks the form as reporting;
    // does nothing without a presenter.
    void present();
    // Asks the window to close; the form stops reporting.
    void close();

    // What the window shows and edits.
    std::string windowTitle() const;
    int feedbackTypeIndex() const { return feedbackTypeIndex_; }
    void setFeedbackTypeIndex(int index);
    const std::string& userName() const { return userName_; }
    void setUserName(std::string name);
    const std::string& userEmail() const { return userEmail_; }
    void setUserEmail(std::string email);
    const std::string& message() const { return message_; }
    void setMessage(std::string message);
    bool includeInformation() const { return includeInformation_; }
    void setIncludeInformation(bool include);
    bool attachmentsEnabled() const;
    const std::vector<std::filesystem::path>& attachments() const { return attachments_; }
    void setAttachments(std::vector<std::filesystem::path> attachments);
    const SystemProfile::Features& systemInformation() const { return systemInformation_; }
    const std::string& consoleInformation() const { return consoleInformation_; }
    const std::string& preferencesInformation() const { return preferencesInformation_; }

    // False while a send runs: every control is disabled.
    bool componentsEnabled() const { return componentsEnabled_; }
    bool isReporting() const { return isReporting_; }
    bool isSending() const { return isSending_; }
    // Whether the configuration names a feedback service that can be used.
    bool canSend() const;

    // The send button: checks reachability, names the attachments that
    // cannot go, uploads, and on completion stores the name and address
    // (in an owner-only settings file), then closes the window on success or
    // tells the user why it failed. Does nothing while a send runs or when
    // there is no usable feedback service.
    void send();
    // The window closed (by the user or on request).
    void windowDidClose();

signals:
    void changed();
    void closeRequested();

private:
    void endSending();
    void finishSending(const std::optional<class FeedbackUploaderError>& error);

    ReleaseController& controller_;
    std::optional<ReleaseConfiguration> configuration_;
    int feedbackTypeIndex_ = 0;
    std::string userName_;
    std::string userEmail_;
    std::string message_;
    bool includeInformation_ = false;
    std::vector<std::filesystem::path> attachments_;
    SystemProfile::Features systemInformation_;
    std::string consoleInformation_;
    std::string preferencesInformation_;
    bool componentsEnabled_ = true;
    bool isReporting_ = false;
    bool isSending_ = false;
    std::unique_ptr<FeedbackUploader> uploader_;
};

}  // namespace outfitter
