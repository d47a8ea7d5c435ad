#include "cli/QuillfenRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "support/TestSupport.h"

namespace clitest {

namespace {

// A program that has not finished after this long is taken to hang: it is
// killed so that the test fails instead of blocking the whole suite.
constexpr auto kHangLimit = std::chrono::minutes(3);

// Variables passed on from the test's own environment: they only steer the
// sanitizers the program may be built with.
constexpr const char* kPassedOn[] = {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS",
                                     "TSAN_OPTIONS"};

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

struct Pipe {
    Descriptor read;
    Descriptor write;
    Pipe() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
        read.reset(fds[0]);
        write.reset(fds[1]);
    }
};

// The master and slave sides of a new pseudo-terminal.
struct Terminal {
    Descriptor master;
    Descriptor slave;
    Terminal() {
        master.reset(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (master.get() < 0 || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave.reset(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (slave.get() < 0) throw std::runtime_error("cannot open the pseudo-terminal");
    }
};

void setNonBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Reads what is there; false once the other side is closed (a terminal's
// master reports EIO when the last slave descriptor is gone).
bool drain(int fd, std::string& into) {
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            into.append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
        return false;
    }
}

}  // namespace

fs::path quillfenBinary() {
    // Another build of the program may be tried with the same tests.
    if (const char* other = std::getenv("QUILLFEN_TEST_PROGRAM"); other && *other)
        return fs::path(other);
    return fs::path(QUILLFEN_BINARY);
}

nlohmann::json RunResult::json() const {
    try {
        return nlohmann::json::parse(out);
    } catch (const nlohmann::json::exception& e) {
        ADD_FAILURE() << "standard output is not one JSON document (" << e.what() << "):\n"
                      << out << "\nstandard error:\n"
                      << err;
        return nullptr;
    }
}

std::vector<std::string> RunResult::warnings() const {
    static const std::string prefix = "quillfen: warning: ";
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        if (line.starts_with(prefix)) lines.push_back(line.substr(prefix.size()));
    return lines;
}

Computer::Computer(const fs::path& root, fs::path applications)
    : home_(root / "home"),
      config_(root / "config"),
      data_(root / "data"),
      systemData_(root / "share"),
      applications_(std::move(applications)) {
    fs::create_directories(home_);
    fs::create_directories(systemData_);
    fs::create_directories(config_);
    fs::create_directories(data_);
    fs::create_directories(applications_);
}

fs::path Computer::defaultPackage() const {
    return data_ / "Quillfen" / "DefaultBackup.qfbackup";
}

std::vector<std::string> Computer::environment() const {
    std::vector<std::string> env{
        "HOME=" + home_.string(),
        "XDG_CONFIG_HOME=" + config_.string(),
        "XDG_DATA_HOME=" + data_.string(),
        "XDG_DATA_DIRS=" + systemData_.string(),
        "PATH=/usr/local/bin:/usr/bin:/bin",
        "LANG=C.UTF-8",
    };
    for (const char* name : kPassedOn)
        if (const char* value = std::getenv(name)) env.push_back(std::string(name) + "=" + value);
    return env;
}

RunResult Computer::run(const std::vector<std::string>& args, const std::string& input,
                        ErrorStream errorStream,
                        const std::vector<std::string>& extraEnvironment) const {
    RunResult result;
    std::vector<std::string> argStrings{quillfenBinary().string(), "--applications",
                                        applications_.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argStrings)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    auto envStrings = environment();
    envStrings.insert(envStrings.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<char*> envp;
    for (auto& entry : envStrings)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    Pipe in, out;
    std::optional<Pipe> errPipe;
    std::optional<Terminal> terminal;
    int errChildSide = -1;
    if (errorStream == ErrorStream::terminal) {
        terminal.emplace();
        errChildSide = terminal->slave.get();
    } else {
        errPipe.emplace();
        errChildSide = errPipe->write.get();
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.read.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errChildSide, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, home_.c_str());
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
        return result;
    }
    // Only the child keeps its ends open now, so end of file means it is done.
    in.read.reset();
    out.write.reset();
    if (errPipe) errPipe->write.reset();
    if (terminal) terminal->slave.reset();

    const int errFd = terminal ? terminal->master.get() : errPipe->read.get();
    setNonBlocking(in.write.get());
    setNonBlocking(out.read.get());
    setNonBlocking(errFd);
    std::size_t written = 0;
    if (input.empty()) in.write.reset();
    bool outOpen = true, errOpen = true;
    const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
    bool hung = false;
    while (outOpen || errOpen) {
        if (std::chrono::steady_clock::now() > deadline) {
            hung = true;
            ::kill(pid, SIGKILL);
            break;
        }
        std::vector<pollfd> fds;
        if (outOpen) fds.push_back({out.read.get(), POLLIN, 0});
        if (errOpen) fds.push_back({errFd, POLLIN, 0});
        if (in.write.get() >= 0) fds.push_back({in.write.get(), POLLOUT, 0});
        if (::poll(fds.data(), fds.size(), 1000) < 0 && errno != EINTR) break;
        for (const auto& fd : fds) {
            if (fd.revents == 0) continue;
            if (fd.fd == out.read.get()) {
                outOpen = drain(fd.fd, result.out);
            } else if (fd.fd == errFd) {
                errOpen = drain(fd.fd, result.err);
            } else {
                const ssize_t n = ::write(fd.fd, input.data() + written, input.size() - written);
                if (n > 0) written += static_cast<size_t>(n);
                if (n < 0 && errno != EAGAIN && errno != EINTR) written = input.size();
                if (written == input.size()) in.write.reset();
            }
        }
    }
    in.write.reset();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (hung) {
        ADD_FAILURE() << "quillfen did not finish and was stopped; output so far:\n"
                      << result.out << "\n"
                      << result.err;
        return result;
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else {
        ADD_FAILURE() << "quillfen ended by signal " << WTERMSIG(status) << "\n" << result.err;
    }
    return result;
}

nlohmann::json readJSON(const fs::path& file) {
    if (!fs::exists(file)) return nullptr;
    return nlohmann::json::parse(testsupport::readFile(file));
}

std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& folder) {
    std::vector<std::pair<std::string, std::string>> entries;
    if (!fs::exists(folder)) return entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string relative = fs::relative(entry.path(), folder).string();
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        const std::string stamp = std::to_string(info.st_mtim.tv_sec) + "." +
                                  std::to_string(info.st_mtim.tv_nsec) + " mode " +
                                  std::to_string(info.st_mode);
        if (entry.is_directory()) {
            entries.emplace_back(relative + "/", stamp);
        } else {
            entries.emplace_back(relative, stamp + "\n" + testsupport::readFile(entry.path()));
        }
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace clitest
