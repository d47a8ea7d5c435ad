#include "Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>

extern char** environ;

namespace quillfen::bench {

namespace {

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
    std::map<std::string, std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        entries[text.substr(0, text.find('='))] = text;
    }
    for (const auto& text : overrides)
        entries[text.substr(0, text.find('='))] = text;
    std::vector<std::string> result;
    for (auto& [name, text] : entries)
        result.push_back(std::move(text));
    return result;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (auto& text : strings)
        result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

void check(int error, const char* what) {
    if (error != 0) throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

ProcessResult runProcess(const ProcessSpec& spec) {
    std::vector<std::string> arguments = spec.arguments;
    char memoryFile[] = "/tmp/quillfen-bench-memory.XXXXXX";
    if (spec.measureMemory) {
        const int fd = ::mkstemp(memoryFile);
        if (fd < 0) throw std::system_error(errno, std::generic_category(), "mkstemp");
        ::close(fd);
        arguments.insert(arguments.begin(), {"/usr/bin/time", "-f", "%M", "-o", memoryFile});
    }
    std::vector<std::string> environment = mergedEnvironment(spec.environment);
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    const std::string log = spec.log.empty() ? "/dev/null" : spec.log.string();
    const std::string directory = spec.directory.string();

    posix_spawn_file_actions_t actions;
    check(posix_spawn_file_actions_init(&actions), "posix_spawn_file_actions_init");
    struct Cleanup {
        posix_spawn_file_actions_t* actions;
        ~Cleanup() { posix_spawn_file_actions_destroy(actions); }
    } cleanup{&actions};
    check(posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0),
          "posix_spawn_file_actions_addopen");
    check(posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                           O_WRONLY | O_CREAT | O_APPEND, 0644),
          "posix_spawn_file_actions_addopen");
    check(posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO),
          "posix_spawn_file_actions_adddup2");
    if (!directory.empty()) {
        check(posix_spawn_file_actions_addchdir_np(&actions, directory.c_str()),
              "posix_spawn_file_actions_addchdir_np");
    }

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    check(posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()),
          ("cannot start " + arguments.front()).c_str());
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "wait4");
    }
    const auto end = std::chrono::steady_clock::now();

    ProcessResult result;
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (spec.measureMemory) {
        // The last line is the figure; a failed program adds a line before it.
        std::ifstream in(memoryFile);
        std::string line, last;
        while (std::getline(in, line)) {
            if (!line.empty()) last = line;
        }
        ::unlink(memoryFile);
        try {
            result.maxResidentKiB = std::stol(last);
        } catch (const std::exception&) {
            if (result.status == 0) result.status = 127;
        }
    }
    return result;
}

}  // namespace quillfen::bench
