// UpdateForm: the state and actions of the update window, without the window.
// The updater fills it while it downloads, verifies and installs a new
// version, and asks the presenter to show it; the window draws the phase, the
// version and the progress, and offers Cancel while the download runs.
//
// Threads: main thread only. `changed` is emitted after every change of state
// (progress at most once per whole percent); `closeRequested` when the window
// should close (the update ended, one way or the other).
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

namespace outfitter {

class UpdateForm : public QObject {
    Q_OBJECT

public:
    enum class Phase { idle, downloading, verifying, installing, installed, failed };

    UpdateForm() = default;

    Phase phase() const { return phase_; }
    const std::string& version() const { return version_; }            // as shown: "1.3.0"
    const std::string& releaseNotes() const { return releaseNotes_; }  // plain text
    std::int64_t receivedBytes() const { return receivedBytes_; }
    std::int64_t totalBytes() const { return totalBytes_; }
    // 0 to 1 while downloading; 0 before.
    double fraction() const;
    // What the window says: "Downloading Quillfen 1.3.0…" and so on.
    std::string statusText() const;
    const std::string& errorText() const { return errorText_; }
    // Only the download can be stopped; nothing is installed then.
    bool canCancel() const { return phase_ == Phase::downloading; }
    bool isBusy() const;

    // The window's Cancel button.
    void cancel();
    // The window closed.
    void windowDidClose() {}

    // Used by the updater.
    void begin(std::string version, std::string releaseNotes, std::int64_t totalBytes,
               std::function<void()> onCancel);
    void setReceived(std::int64_t receivedBytes);
    void setPhase(Phase phase);
    void fail(std::string errorText);
    void close();

signals:
    void changed();
    void closeRequested();

private:
    Phase phase_ = Phase::idle;
    std::string version_;
    std::string releaseNotes_;
    std::int64_t receivedBytes_ = 0;
    std::int64_t totalBytes_ = 0;
    std::string errorText_;
    std::function<void()> onCancel_;
};

}  // namespace outfitter
