// Updater: the release kit's software-update service, one of the release
// controller's life-cycle handlers (the first). It reads the update feed
// (see Appcast), offers a version strictly newer than the running one, and
// acts by how Quillfen was installed (see InstallLocation):
//
// - a per-user install: with the user's agreement it downloads the release
//   archive (HTTPS, exactly the feed's length, at most 256 MiB, into a new
//   owner-only file of $XDG_CACHE_HOME/Quillfen/Updates), checks its Ed25519
//   signature against the public key built into the program before anything
//   else reads it, and installs it beside the running version (see
//   PerUserInstall); the new version starts at the next start. A download
//   that fails any check is deleted and nothing is installed.
// - a system package (under /usr), or a copy outside any install: it only
//   tells the user that a new version exists, with its notes and how to
//   get it; nothing is downloaded.
// - Flatpak or Snap: the updater is off, says so in one line on the standard
//   output, and the application runs on.
//
// The feed address and the public key come from the bundle (build-time
// settings QUILLFEN_UPDATE_FEED_URL and QUILLFEN_UPDATE_PUBLIC_KEY, empty by
// default); without either the updater prints two lines for each that is
// missing and checks nothing. Automatic checks (every 24 hours, counted from
// the last check) follow the user's choice ("UpdaterAutomaticallyChecks"),
// else `checkForUpdatesAutomatically` (true when absent);
// `checkForUpdatesAtLaunch` (false when absent) adds a check at launch.
// Questions and news go through the controller's presenter; without one,
// nothing is shown and nothing is installed.
//
// Threads: main thread only. The signature check and the install run on a
// queue of their own; their outcome comes back on the main queue.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "outfitter/AppLifeCycleHandler.h"
#include "outfitter/Appcast.h"
#include "outfitter/InstallLocation.h"
#include "outfitter/UpdateForm.h"

class QObject;
class QTimer;

namespace keel {
class DispatchQueue;
}

namespace outfitter {

class DownloadedFile;
class HttpDownload;
class HttpExchange;
struct HttpAnswer;
class ReleaseController;
class UpdateError;

class Updater : public AppLifeCycleHandler {
public:
    static constexpr std::int64_t maxFeedBytes = 1024 * 1024;
    static constexpr std::int64_t maxDownloadBytes = 256 * 1024 * 1024;
    static constexpr std::chrono::hours checkInterval{24};

    explicit Updater(ReleaseController& releaseController);
    ~Updater() override;
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // At launch: announces a sandbox or a missing feed address or key, then
    // turns automatic checks on or off and runs the check at launch.
    void setup();
    // The check-for-updates command: tells the user the outcome, also when
    // there is nothing new or the feed cannot be read. While an update runs,
    // brings its window to the front. `sender` is not used.
    void checkForUpdates(QObject* sender = nullptr);
    // A quiet check: speaks only of a new version that was not skipped.
    void checkForUpdatesInBackground();
    // Offers once, when the program runs from a release unpacked in the
    // downloads or a temporary folder, to install it per user under
    // ~/.local (no administrator rights needed); the installed copy starts
    // the next time. Inside a sandbox it only says that updates are off.
    void moveToApplicationsFolderIfNeeded();

    // Whether the check command can run: not sandboxed, a feed and a key.
    bool canCheckForUpdates() const;
    bool automaticallyChecksForUpdates() const { return automaticallyChecks_; }
    // The user's choice: stored in the settings (it outlasts the build's
    // default), and the daily check starts or stops at once. Throws like
    // keel::UserSettings::set; the choice is then not taken.
    void setAutomaticallyChecksForUpdates(bool checks);
    // Whether a background check is waiting for its time; for tests.
    bool isAutomaticCheckScheduled() const;
    // A check or an update is under way.
    bool isBusy() const;
    const InstallLocation& installLocation() const;
    UpdateForm& form() { return form_; }

    // How the application quits and starts again; with one, the updater
    // offers to restart once a new version is installed.
    void setRelaunchHandler(std::function<void()> relaunch) { relaunch_ = std::move(relaunch); }

    void applicationWillFinishLaunch() override {}
    void applicationDidFinishLaunch() override { setup(); }
    void applicationDidBecomeActive() override {}
    void applicationWillResignActive() override {}
    // Stops a running download and deletes what arrived of it.
    void applicationWillTerminate() override;
    bool askCanQuitApplication() override { return true; }

    ReleaseController& releaseController() const { return releaseController_; }

private:
    void check(bool userInitiated);
    void feedArrived(const HttpAnswer& answer);
    void offer(const AppcastItem& item);
    void startDownload(const AppcastItem& item);
    void downloadArrived(const AppcastItem& item, const HttpAnswer& answer,
                         std::unique_ptr<DownloadedFile> file);
    void installFinished(const AppcastItem& item, const std::optional<UpdateError>& error);
    void cancelDownload();
    void fail(const std::string& messageKey, const UpdateError& error, bool tellUser);
    void scheduleAutomaticCheck(std::chrono::milliseconds delay);
    void scheduleNextAutomaticCheck();
    void announceSandbox();
    std::string withNotes(std::string text, const AppcastItem& item) const;

    ReleaseController& releaseController_;
    mutable std::optional<InstallLocation> location_;
    bool sandboxAnnounced_ = false;
    bool configured_ = false;
    bool automaticallyChecks_ = true;
    bool userInitiated_ = false;
    bool installing_ = false;
    std::function<void()> relaunch_;
    UpdateForm form_;
    std::unique_ptr<QTimer> timer_;
    std::unique_ptr<HttpExchange> feedExchange_;
    std::unique_ptr<HttpDownload> download_;
    // Expires with the updater: completions from the install queue check it.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // Last: destroyed first, waiting for a running install.
    std::unique_ptr<keel::DispatchQueue> installQueue_;
};

}  // namespace outfitter
