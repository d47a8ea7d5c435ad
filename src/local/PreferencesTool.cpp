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
#include "local/ChildProcessSettings.h"

extern char** environ;

namespace quillfen {

namespace {

// One line on standard output in a single stdio call, so that lines of tools
// stopped at the same time on different threads do not mix.
void writeLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

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
        // Standard streams on /dev/null, a process group of its own.
        ChildProcessSettings settings;
        settings.openNull(STDIN_FILENO, O_RDONLY)
            .openNull(STDOUT_FILENO, O_WRONLY)
            .duplicate(STDOUT_FILENO, STDERR_FILENO)
            .ownProcessGroup();
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
