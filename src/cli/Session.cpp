#include "cli/Session.h"

#include <chrono>
#include <cstdio>

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "app/ErrorDescription.h"
#include "app/PackageWarnings.h"
#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "cli/CliError.h"
#include "keel/CarriedException.h"
#include "keel/DispatchQueue.h"
#include "keel/FileManager.h"
#include "keel/NoteSubscriber.h"
#include "local/AccessManager.h"
#include "local/DesktopEntryCache.h"
#include "local/LocalResources.h"

namespace fs = std::filesystem;

namespace quillfen::cli {

namespace {

fs::path absolutePath(const fs::path& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return (error ? path : absolute).lexically_normal();
}

}  // namespace

Session::Session(const GlobalOptions& options, const Printer& print)
    : options_(options), print_(print) {
    keel::DispatchQueue::markCurrentThreadAsMain();
    if (options_.applications)
        LocalResources::setApplicationsDirectory(absolutePath(*options_.applications));
    if (options_.package) options_.package = absolutePath(*options_.package);
    // The installed applications are read while the package is, the parsed
    // desktop entries kept between commands.
    LocalResources::setDesktopEntryCacheURL(DesktopEntryCache::defaultURL());
    LocalResources::prefetchApplications();
    BackupManager& manager = BackupManager::shared();
    manager.setProcessingDelay(std::chrono::milliseconds(0));
    if (options_.package) manager.setBackupFileURLOverride(options_.package);
    manager.setWaitsForPackageLock(!options_.noWait);
    manager.setPackageLockWaitHandler([] {
        std::fputs("quillfen: waiting for another Quillfen run on this package\u2026\n", stderr);
        std::fflush(stderr);
    });
}

Session::~Session() {
    // The lock goes last, once the core is at rest.
    // Edits post to the main queue; the viewer's updates run on its queue and
    // post to the main queue again.
    keel::DispatchQueue::drainMain();
    manager().viewer()->serialQueue().sync([] {});
    keel::DispatchQueue::drainMain();
    lock_.release();
    LocalResources::finishPrefetch();
}

BackupManager& Session::manager() {
    return BackupManager::shared();
}

std::shared_ptr<BackupProcess> Session::run(std::shared_ptr<BackupProcess> process) {
    bool finished = false;
    keel::NoteSubscriber subscriber;
    subscriber.subscribe({BackupManager::didProcessNotification}, &manager(),
                         [&](const keel::Notification& n) {
                             if (BackupManager::backupProcess(n) == process) finished = true;
                         });
    manager().process(process);
    while (!keel::DispatchQueue::runMainUntil([&] { return finished; }, std::chrono::hours(24))) {
    }
    return process;
}

std::shared_ptr<BackupProcess> Session::run(BackupAction action, std::optional<fs::path> url) {
    return run(manager().makeProcess(action, std::move(url)));
}

std::string Session::describe(std::exception_ptr error) {
    return ErrorDescription::text(error, "\n  ");
}

namespace {

// The hint for the errors about the package as a whole.
std::string hintFor(const BackupError& error) {
    switch (error.code()) {
        case BackupError::Code::autorizationRequired:
            return "Run 'quillfen authorize' to grant Quillfen access to the disk.";
        case BackupError::Code::backupFileDoesNotExist:
            return "Check the path, or run 'quillfen backup' to make a package there.";
        case BackupError::Code::backupFileIsInUse:
            return "Run the command again without --no-wait to wait for the other run.";
        case BackupError::Code::dataListHasNotArrived:
            return "Wait until the cloud drive has brought Data.json, or run 'quillfen backup "
                   "--force' to record this computer afresh (the copies the missing Data.json "
                   "names are then no longer used).";
        default:
            return {};
    }
}

// The error's text, then the package it is about when the text does not
// name it already.
std::string describeWithPackage(std::exception_ptr error) {
    std::string text = Session::describe(error);
    const auto backupError = keel::carriedException<BackupError>(error);
    if (backupError && backupError->url()) {
        const std::string package = backupError->url()->string();
        if (text.find(package) == std::string::npos) text += "\n  " + package;
    }
    return text;
}

}  // namespace

void Session::check(const BackupProcess& process) {
    if (!process.error()) return;
    std::string hint;
    if (const auto error = keel::carriedException<BackupError>(process.error()))
        hint = hintFor(*error);
    throw CliError(describeWithPackage(process.error()), exitFailure, hint);
}

void Session::lock(const fs::path& url, bool createsMissing) {
    if (lock_.holds()) return;
    try {
        lock_ = manager().lockPackage(url, createsMissing);
    } catch (const BackupError& error) {
        // The read reports a location that cannot be a package.
        if (error.code() == BackupError::Code::backupFileIsNotADirectory ||
            error.code() == BackupError::Code::backupFileExtensionIsInvalid)
            return;
        throw CliError(describeWithPackage(std::current_exception()), exitFailure, hintFor(error));
    } catch (const std::exception&) {
        throw CliError(url.string() + ": " + describe(std::current_exception()));
    }
}

void Session::lockExistingPackage() {
    const auto url = manager().backupFileURL();
    if (url && keel::FileManager::contentExists(*url).isDirectory) lock(*url, false);
}

std::shared_ptr<BackupFile> Session::openPackage(bool createsMissing) {
    const auto url = manager().backupFileURL();
    const bool creates = createsMissing || url == BackupManager::defaultBackupFileURL();
    manager().setCreatesMissingPackage(creates);
    // Without access the read fails before it touches anything.
    if (url && AccessManager::shared().hasAccess(fs::path("/"))) lock(*url, creates);
    auto process = run(BackupAction::readBackupFile);
    const auto error = keel::carriedException<BackupError>(process->error());
    // The description names the package and why it could not be read.
    if (error && error->code() == BackupError::Code::backupFileIsNotReadable)
        throw CliError(describe(process->error()));
    check(*process);
    auto file = manager().file();
    if (!file) throw CliError("The backup file is not readable.");
    if (warnsAboutPackage_) {
        packageWarnings_ = PackageWarnings::of(*file);
        for (const auto& warning : packageWarnings_)
            print_.warning(warning);
    }
    return file;
}

void Session::save(const std::shared_ptr<BackupFile>& file) {
    try {
        file->save();
    } catch (...) {
        throw CliError(file->url().string() + ": " + describe(std::current_exception()));
    }
}

}  // namespace quillfen::cli
