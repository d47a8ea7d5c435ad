#include "cli/Session.h"

#include <chrono>

#include "app/BackupManager.h"
#include "app/BackupViewer.h"
#include "backup/BackupError.h"
#include "backup/BackupFile.h"
#include "cli/CliError.h"
#include "keel/CarriedException.h"
#include "keel/DispatchQueue.h"
#include "keel/NoteSubscriber.h"
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

Session::Session(const GlobalOptions& options) : options_(options) {
    keel::DispatchQueue::markCurrentThreadAsMain();
    if (options_.applications)
        LocalResources::setApplicationsDirectory(absolutePath(*options_.applications));
    if (options_.package) options_.package = absolutePath(*options_.package);
    BackupManager& manager = BackupManager::shared();
    manager.setProcessingDelay(std::chrono::milliseconds(0));
    if (options_.package) manager.setBackupFileURLOverride(options_.package);
}

Session::~Session() {
    // Edits post to the main queue; the viewer's updates run on its queue and
    // post to the main queue again.
    keel::DispatchQueue::drainMain();
    manager().viewer()->serialQueue().sync([] {});
    keel::DispatchQueue::drainMain();
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
    std::string text;
    for (const auto& description : keel::carriedDescriptions(error, "unknown error"))
        text += (text.empty() ? "" : "\n  ") + description;
    return text;
}

void Session::check(const BackupProcess& process) {
    if (!process.error()) return;
    std::string hint;
    const auto error = keel::carriedException<BackupError>(process.error());
    if (error && error->code() == BackupError::Code::autorizationRequired)
        hint = "Run 'quillfen authorize' to grant Quillfen access to the disk.";
    throw CliError(describe(process.error()), exitFailure, hint);
}

std::shared_ptr<BackupFile> Session::openPackage() {
    auto process = run(BackupAction::readBackupFile);
    const auto error = keel::carriedException<BackupError>(process->error());
    if (error && error->code() == BackupError::Code::backupFileIsNotReadable) {
        // Say which package could not be read when the reason does not.
        std::string text = error->what();
        const std::string reason = describe(keel::nestedException(process->error()));
        const std::string package = error->url() ? error->url()->string() : std::string();
        if (reason.empty()) {
            if (!package.empty()) text += "\n  " + package;
        } else {
            text += "\n  ";
            if (!package.empty() && reason.find(package) == std::string::npos)
                text += package + ": ";
            text += reason;
        }
        throw CliError(text);
    }
    check(*process);
    auto file = manager().file();
    if (!file) throw CliError("The backup file is not readable.");
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
