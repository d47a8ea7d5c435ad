// The common ground of the command-line tests: two computers sharing one
// applications folder and one package in a replicated folder, all under a
// temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/QuillfenRunner.h"
#include "support/TestSupport.h"

namespace clitest {

class CommandLineTest : public ::testing::Test {
protected:
    CommandLineTest()
        : root(fs::canonical(temp_.path())),
          first(root / "first", root / "Applications"),
          second(root / "second", root / "Applications"),
          package(root / "Cloud" / "Settings.qfbackup") {}

    // Runs on `computer` with the shared package.
    RunResult on(const Computer& computer, std::vector<std::string> args,
                 const std::string& input = {}, ErrorStream errorStream = ErrorStream::pipe) const {
        args.insert(args.begin(), {"--package", package.string()});
        return computer.run(args, input, errorStream);
    }

    // As `on`, with --json, and the document parsed.
    nlohmann::json jsonOn(const Computer& computer, std::vector<std::string> args,
                          int expectedExitCode = 0) const {
        args.insert(args.begin(), "--json");
        const auto result = on(computer, args);
        EXPECT_EQ(result.exitCode, expectedExitCode) << result.err;
        return result.json();
    }

    static void authorize(const Computer& computer) {
        const auto result = computer.run({"authorize", "--yes"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

    // Writes a settings file of `computer` with a fixed modification date,
    // seconds since 1970.
    static void writeSetting(const Computer& computer, const std::string& path,
                             const std::string& content, time_t date = 1'600'000'000) {
        testsupport::writeFile(computer.home() / path, content);
        testsupport::setModifyDate(computer.home() / path, date);
    }

    static std::string contentOf(const fs::path& path) { return testsupport::readFile(path); }

    nlohmann::json packageFile(const std::string& name) const { return readJSON(package / name); }

    // The data copy recorded for settings path `path`, from "Data.json".
    fs::path dataCopy(const std::string& path) const {
        const auto data = packageFile("Data.json");
        if (!data.is_object() || !data.contains(path)) return {};
        return package / "Data" / (data[path]["uuid"].get<std::string>() + ".qfdata");
    }

private:
    testsupport::TemporaryDirectory temp_;

protected:
    const fs::path root;
    const Computer first;
    const Computer second;
    const fs::path package;
};

}  // namespace clitest
