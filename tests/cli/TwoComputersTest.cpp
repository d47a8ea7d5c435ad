// Settings carried between two computers through one package, driven only
// through the command line, and what the device runs print and return.
#include <map>

#include "cli/CommandLineFixture.h"
#include "keel/FileManager.h"

namespace clitest {
namespace {

std::map<std::string, std::string> itemStates(const nlohmann::json& status, const char* list,
                                              const char* key = "name") {
    std::map<std::string, std::string> states;
    for (const auto& row : status[list])
        states[row[key].get<std::string>()] = row["state"].get<std::string>();
    return states;
}

std::vector<std::string> historyActions(const nlohmann::json& document) {
    std::vector<std::string> actions;
    for (const auto& event : document["history"])
        actions.push_back(event["action"].get<std::string>());
    return actions;
}

class TwoComputersTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        authorize(second);
        writeSetting(first, ".curlrc", "--silent\n");
        writeSetting(first, ".config/nano/nanorc", "set tabsize 4\n", 1'600'000'100);
        writeSetting(first, "notes/todo.txt", "milk\n", 1'600'000'200);
        ASSERT_EQ(on(first, {"add", "exec", "curl", "Nano"}).exitCode, 0);
        ASSERT_EQ(on(first, {"add", "file", "notes/todo.txt"}).exitCode, 0);
    }

    const std::vector<std::string> files{".curlrc", ".config/nano/nanorc", "notes/todo.txt"};
};

TEST_F(TwoComputersTest, SettingsTravelBothWaysThroughOnePackage) {
    auto document = jsonOn(first, {"backup"});
    EXPECT_EQ(document, (nlohmann::json{{"ok", true},
                                        {"action", "BackUp"},
                                        {"failures", nlohmann::json::array()},
                                        {"warnings", nlohmann::json::array()}}));
    for (const auto& path : files) {
        ASSERT_FALSE(dataCopy(path).empty()) << path;
        EXPECT_EQ(contentOf(dataCopy(path)), contentOf(first.home() / path)) << path;
    }

    // The second computer sees what it lacks, and nothing it would overwrite.
    auto status = jsonOn(second, {"status"});
    EXPECT_EQ(itemStates(status, "execs"),
              (std::map<std::string, std::string>{{"Nano", "DoNothing"}, {"curl", "DoNothing"}}));
    EXPECT_EQ(status["files"][0]["found"], false);

    const auto installed = on(second, {"install"});
    EXPECT_EQ(installed.exitCode, 0) << installed.err;
    EXPECT_NE(installed.out.find("Install: done, no failures."), std::string::npos)
        << installed.out;
    for (const auto& path : files) {
        EXPECT_EQ(contentOf(second.home() / path), contentOf(first.home() / path)) << path;
        EXPECT_EQ(keel::FileManager::modifyDateForFile(second.home() / path),
                  keel::FileManager::modifyDateForFile(first.home() / path))
            << path;
    }
    status = jsonOn(second, {"status"});
    EXPECT_EQ(status["files"][0]["found"], true);
    for (const auto& row : status["execs"])
        EXPECT_EQ(row["state"], "DoNothing") << row;

    // A change on the second computer goes back up there and comes down on
    // the first one, and only that file changes.
    writeSetting(second, ".curlrc", "--silent\n--location\n", std::time(nullptr) + 3600);
    status = jsonOn(second, {"status"});
    EXPECT_EQ(itemStates(status, "execs")["curl"], "BackUp");
    EXPECT_EQ(on(second, {"sync"}).exitCode, 0);
    EXPECT_EQ(itemStates(jsonOn(first, {"status"}), "execs")["curl"], "Install");
    const auto nanoCopy = contentOf(dataCopy(".config/nano/nanorc"));
    EXPECT_EQ(on(first, {"sync"}).exitCode, 0);
    EXPECT_EQ(contentOf(first.home() / ".curlrc"), "--silent\n--location\n");
    EXPECT_EQ(contentOf(first.home() / ".config/nano/nanorc"), "set tabsize 4\n");
    EXPECT_EQ(contentOf(dataCopy(".config/nano/nanorc")), nanoCopy);

    // Every run is in the package's history, newest first, as both see it.
    const auto history = jsonOn(second, {"history"});
    EXPECT_EQ(historyActions(history),
              (std::vector<std::string>{"Synchronize", "Synchronize", "Install", "BackUp"}));
    for (const auto& event : history["history"])
        EXPECT_TRUE(event["date"].is_number()) << event;
    EXPECT_EQ(historyActions(jsonOn(first, {"status"})), historyActions(history));
}

TEST_F(TwoComputersTest, FailedPathsArePrintedAndExitOne) {
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    // On the second computer ".config" is a file, so nothing can go below it.
    testsupport::writeFile(second.home() / ".config", "not a folder");

    const auto text = on(second, {"install"});
    EXPECT_EQ(text.exitCode, 1) << text.err;
    EXPECT_NE(text.out.find("Nano\n  .config/nano/nanorc: "), std::string::npos) << text.out;
    // The other paths are installed all the same.
    EXPECT_EQ(contentOf(second.home() / ".curlrc"), "--silent\n");

    const auto document = jsonOn(second, {"install"}, 1);
    EXPECT_EQ(document["action"], "Install");
    ASSERT_EQ(document["failures"].size(), 1u) << document;
    EXPECT_EQ(document["failures"][0]["identifier"], "Nano");
    const auto& errors = document["failures"][0]["errors"];
    ASSERT_EQ(errors.size(), 1u) << errors;
    EXPECT_TRUE(errors[".config/nano/nanorc"].is_string());
    EXPECT_FALSE(errors[".config/nano/nanorc"].get<std::string>().empty());
}

TEST_F(TwoComputersTest, ProgressIsShownOnATerminalOnly) {
    const auto onTerminal = on(first, {"backup"}, {}, ErrorStream::terminal);
    EXPECT_EQ(onTerminal.exitCode, 0) << onTerminal.err;
    EXPECT_NE(onTerminal.err.find("Back Up: 3 of 3 items"), std::string::npos) << onTerminal.err;

    const auto onPipe = on(first, {"backup"});
    EXPECT_EQ(onPipe.exitCode, 0);
    EXPECT_EQ(onPipe.err, "");
    EXPECT_NE(onPipe.out.find("Back Up: done, no failures."), std::string::npos) << onPipe.out;
}

TEST_F(TwoComputersTest, APackageThatDoesNotOpenChangesNothingAnywhere) {
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    // One record the reader refuses: an action in the wrong case.
    testsupport::writeFile(package / "History.json",
                           R"([{"action": "backup", "date": 700000000}])");
    const auto packageBefore = snapshot(package);
    const auto firstBefore = snapshot(first.home());
    const auto secondBefore = snapshot(second.home());

    for (const char* command : {"install", "sync", "backup"}) {
        SCOPED_TRACE(command);
        for (const Computer* computer : {&first, &second}) {
            const auto result = on(*computer, {command});
            EXPECT_EQ(result.exitCode, 3) << result.out;
            EXPECT_NE(result.err.find("The backup file is not readable."), std::string::npos)
                << result.err;
            EXPECT_NE(result.err.find((package / "History.json").string()), std::string::npos)
                << result.err;
        }
    }
    EXPECT_EQ(snapshot(package), packageBefore);
    EXPECT_EQ(snapshot(first.home()), firstBefore);
    EXPECT_EQ(snapshot(second.home()), secondBefore);
}

}  // namespace
}  // namespace clitest
