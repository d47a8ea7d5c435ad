#include "local/PreferencesTool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "keel/Timer.h"

extern char** environ;

namespace quillfen {

namespace {

// One line on standard output in a single stdio call, so that lines of tools
// stopped at the same time on different threads do not mix.
void writeLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

// The child's start-up settings: standard streams on /dev/null, a process
// group of its own (so an interruption also reaches what a wrapper script
// started), no blocked signals, and default handling of the signals that
// stop it, whatever the calling thread had.
class SpawnSettings {
public:
    SpawnSettings() {
        posix_spawn_file_actions_init(&actions_);
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions_, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, STDOUT_FILENO, STDERR_FILENO);

        posix_spawnattr_init(&attributes_);
        posix_spawnattr_setflags(
            &attributes_, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
        posix_spawnattr_setpgroup(&attributes_, 0);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes_, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int number : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE})
            sigaddset(&defaults, number);
        posix_spawnattr_setsigdefault(&attributes_, &defaults);
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&attributes_);
        posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

}  // namespace

PreferencesTool::PreferencesTool(std::filesystem::path executable, double timeLimit,
                                 double gracePeriod)
    : executable_(std::move(executable)), timeLimit_(timeLimit), gracePeriod_(gracePeriod) {}

bool PreferencesTool::isAvailable() const {
    return !executable_.empty() && ::access(executable_.c_str(), X_OK) == 0;
}

void PreferencesTool::read(const std::filesystem::path& url) const {
    run({"-currentHost", "read", url.string()}, url.string());
}

bool PreferencesTool::run(const std::vector<std::string>& arguments,
                          const std::string& subject) const {
    if (!isAvailable()) return false;

    const std::string program = executable_.string();
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid = 0;
    {
        const SpawnSettings settings;
        if (::posix_spawn(&pid, program.c_str(), settings.actions(), settings.attributes(),
                          argv.data(), environ) != 0)
            return false;
    }

    // The child is reaped only after `exited` is set under the lock, and the
    // timer signals only while `exited` is false: its process id (and so its
    // group's) cannot have been given to another process in between.
    std::mutex mutex;
    std::condition_variable changed;
    bool exited = false;
    const auto grace = std::chrono::duration<double>(gracePeriod_);
    std::unique_ptr<keel::Timer> timer = keel::Timer::schedule(timeLimit_, [&] {
        std::unique_lock lock(mutex);
        if (exited) return;
        writeLine("KILL for " + subject + "\n");
        ::kill(-pid, SIGINT);
        // A tool that ignores the interruption is not allowed to hold the run.
        if (changed.wait_for(lock, grace, [&] { return exited; })) return;
        ::kill(-pid, SIGKILL);
    });

    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) == -1 &&
           errno == EINTR) {
    }
    {
        std::lock_guard lock(mutex);
        exited = true;
    }
    changed.notify_all();
    timer->cancel();

    int status = 0;
    while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    return true;
}

}  // namespace quillfen
