// Session: what every command of the command line shares: the global
// options, the backup manager driven from this thread (which is the main
// thread of the program), and the open package.
//
// The manager runs each process on its worker; `run` hands it a process and
// drives the main queue until the did-process step has run, so commands read
// like sequential code while the core keeps its threading exactly as a window
// front end would see it.
#pragma once

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/BackupAction.h"
#include "app/BackupProcess.h"
#include "backup/PackageLock.h"
#include "cli/Printer.h"

namespace quillfen {
class BackupFile;
class BackupManager;
}  // namespace quillfen

namespace quillfen::cli {

struct GlobalOptions {
    std::optional<std::filesystem::path> package;
    std::optional<std::filesystem::path> applications;
    bool json = false;
    // Fail at once when another run holds the package, instead of waiting.
    bool noWait = false;
};

class Session {
public:
    // Points the local resources at the applications folder, makes this
    // thread the main thread and sets the manager up for a terminal (no
    // waiting before a process, the --package override).
    // Warnings about the package go to `print`, which must outlive the session.
    Session(const GlobalOptions& options, const Printer& print);
    // Delivers what the package and the viewer still have to announce, so a
    // command ends with the core at rest.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    BackupManager& manager();

    // Runs `process` through the manager and waits for its completion.
    std::shared_ptr<BackupProcess> run(std::shared_ptr<BackupProcess> process);
    std::shared_ptr<BackupProcess> run(BackupAction action,
                                       std::optional<std::filesystem::path> url = {});

    // Takes the package's lock for the rest of the command (waiting for
    // another run, with a message on standard error, unless --no-wait), then
    // reads the package (the manager's read) and returns it. A package that
    // does not exist is refused, naming its location, unless `createsMissing`
    // or it is the default package; then it is created. Throws CliError with
    // the reason (the file and what was wrong with it) when it cannot.
    // Warns about what the user should look at in the package (conflict
    // copies, copies that have not arrived) unless told not to.
    std::shared_ptr<BackupFile> openPackage(bool createsMissing = false);
    // For a command that warns with warnings of its own.
    void setWarnsAboutPackage(bool warns) { warnsAboutPackage_ = warns; }
    // The warnings openPackage gave.
    const std::vector<std::string>& packageWarnings() const { return packageWarnings_; }

    // Takes the lock of the package in use for the rest of the command when
    // the package exists; nothing otherwise. Throws CliError as openPackage.
    void lockExistingPackage();

    // Saves the open package; throws CliError when that fails.
    void save(const std::shared_ptr<BackupFile>& file);

    // Throws CliError for a process that ended with an error.
    static void check(const BackupProcess& process);

    // The text of an error, then the errors nested in it, each on its own
    // indented line.
    static std::string describe(std::exception_ptr error);

private:
    void lock(const std::filesystem::path& url, bool createsMissing);

    GlobalOptions options_;
    const Printer& print_;
    bool warnsAboutPackage_ = true;
    std::vector<std::string> packageWarnings_;
    PackageLock lock_;
};

}  // namespace quillfen::cli
