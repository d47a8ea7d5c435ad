#include "local/DiffTool.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "keel/FileDescriptor.h"
#include "local/ChildProcessSettings.h"

extern char** environ;

namespace quillfen {

namespace {

// A duplicate of `fd` numbered 10 or above, closed on exec: the child's
// descriptors 1 to 4 are then set up from descriptors that none of those
// numbers can overwrite on the way.
keel::FileDescriptor highDuplicate(int fd) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 10);
    if (copy < 0) throw std::runtime_error(std::string("diff: ") + std::strerror(errno));
    return keel::FileDescriptor(copy);
}

}  // namespace

DiffTool::Result DiffTool::unified(int fromFD, const std::string& fromLabel, int toFD,
                                   const std::string& toLabel, int contextLines,
                                   std::size_t outputLimit) {
    ::lseek(fromFD, 0, SEEK_SET);
    ::lseek(toFD, 0, SEEK_SET);
    const keel::FileDescriptor from = highDuplicate(fromFD);
    const keel::FileDescriptor to = highDuplicate(toFD);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("diff: ") + std::strerror(errno));
    keel::FileDescriptor reading(ends[0]);
    keel::FileDescriptor writing(ends[1]);
    writing = highDuplicate(writing.get());

    std::vector<std::string> arguments{
        "diff",     "--text",  "--unified=" + std::to_string(contextLines),
        "--label",  fromLabel, "--label",
        toLabel,    "--",      "/dev/fd/3",
        "/dev/fd/4"};
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    {
        // Standard input on /dev/null, output and error into the pipe, the
        // compared files as descriptors 3 and 4.
        ChildProcessSettings settings;
        settings.openNull(STDIN_FILENO, O_RDONLY)
            .duplicate(writing.get(), STDOUT_FILENO)
            .duplicate(writing.get(), STDERR_FILENO)
            .duplicate(from.get(), 3)
            .duplicate(to.get(), 4);
        const int failed = ::posix_spawnp(&pid, "diff", settings.actions(), settings.attributes(),
                                          argv.data(), environ);
        if (failed != 0)
            throw std::runtime_error(std::string("the diff program (diffutils) cannot be run: ") +
                                     std::strerror(failed));
    }
    writing = keel::FileDescriptor();

    Result result;
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::read(reading.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        const std::size_t room = outputLimit - result.output.size();
        if (static_cast<std::size_t>(count) > room) {
            result.output.append(buffer, room);
            result.truncated = true;
            ::kill(pid, SIGKILL);
            break;
        }
        result.output.append(buffer, static_cast<std::size_t>(count));
    }
    reading = keel::FileDescriptor();

    int status = 0;
    while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
    }
    if (result.truncated) {
        const auto lastLine = result.output.rfind('\n');
        result.output.resize(lastLine == std::string::npos ? 0 : lastLine + 1);
        result.differ = true;
        return result;
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 0 || code == 1) {
        result.differ = code == 1;
        return result;
    }
    while (!result.output.empty() && result.output.back() == '\n')
        result.output.pop_back();
    throw std::runtime_error(result.output.empty() ? "diff failed" : result.output);
}

}  // namespace quillfen
