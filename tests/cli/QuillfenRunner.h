// Runs the built quillfen program as a user would, on a computer of its own:
// a home folder, a settings folder and a data folder under a temporary
// folder, a system data folder (the only one of XDG_DATA_DIRS, whose
// "applications" folder holds its desktop entries), and an applications
// folder. The child gets only the environment
// built here, so nothing of the real home folder or settings is touched.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace clitest {

namespace fs = std::filesystem;

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;

    // Standard output parsed as one JSON document; fails the test and
    // returns null when it is not one.
    nlohmann::json json() const;
    // The lines of standard error that start with "quillfen: warning: ",
    // without that prefix.
    std::vector<std::string> warnings() const;
};

// Where a run's standard error goes: a pipe, or a pseudo-terminal (so the
// program believes it talks to a person).
enum class ErrorStream { pipe, terminal };

class Computer {
public:
    // A computer whose folders live under `root` (created as needed):
    // root/home, root/config, root/data, root/share. `applications` is the
    // folder searched for application bundles.
    Computer(const fs::path& root, fs::path applications);

    const fs::path& home() const { return home_; }
    const fs::path& config() const { return config_; }
    const fs::path& data() const { return data_; }
    // The computer's one folder of XDG_DATA_DIRS.
    const fs::path& systemData() const { return systemData_; }
    const fs::path& applications() const { return applications_; }
    // The package used when neither --package nor a stored location says
    // otherwise.
    fs::path defaultPackage() const;

    // Runs `quillfen --applications <folder> ARGS...` with `input` on its
    // standard input, from the home folder. Fails the test (and returns
    // exit code -1) when the program cannot be started, or when it hangs.
    // `extraEnvironment` holds more "NAME=value" entries for the child.
    RunResult run(const std::vector<std::string>& args, const std::string& input = {},
                  ErrorStream errorStream = ErrorStream::pipe,
                  const std::vector<std::string>& extraEnvironment = {}) const;

    // The environment of the child: HOME, XDG_CONFIG_HOME, XDG_DATA_HOME,
    // XDG_DATA_DIRS, PATH, LANG and the sanitizer options of the test's own environment.
    std::vector<std::string> environment() const;

private:
    fs::path home_;
    fs::path config_;
    fs::path data_;
    fs::path systemData_;
    fs::path applications_;
};

// The path of the program under test: the one built with the tests, or the
// one QUILLFEN_TEST_PROGRAM names.
fs::path quillfenBinary();

// The parsed content of a package's JSON file, or null when it is missing.
nlohmann::json readJSON(const fs::path& file);

// Every regular file under `folder` with its content, keyed by the path
// relative to `folder`; folders appear with an empty content and a "/" at
// the end. Used to tell that nothing at all changed.
std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& folder);

}  // namespace clitest
