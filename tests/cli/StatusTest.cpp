// The status command: its JSON document, its text, and the warnings about
// conflict copies and data copies that have not arrived.
#include <algorithm>
#include <set>

#include "cli/CommandLineFixture.h"

namespace clitest {
namespace {

using nlohmann::json;

std::set<std::string> memberNames(const json& object) {
    std::set<std::string> names;
    for (const auto& [name, value] : object.items())
        names.insert(name);
    return names;
}

bool anyContains(const std::vector<std::string>& lines, const std::string& text) {
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    });
}

std::vector<std::string> strings(const json& list) {
    return list.get<std::vector<std::string>>();
}

// Seconds since 1 January 2001 of a date given in seconds since 1970.
double referenceDate(time_t seconds) {
    return static_cast<double>(seconds) - 978'307'200.0;
}

class StatusTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        writeSetting(first, ".curlrc", "--silent\n");
        writeSetting(first, "notes/todo.txt", "milk\n", 1'600'000'500);
        ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
        ASSERT_EQ(on(first, {"add", "file", "notes/todo.txt"}).exitCode, 0);
    }
};

TEST_F(StatusTest, TheDocumentHoldsEveryRowWithRawStatesDatesAndNulls) {
    ASSERT_EQ(on(first, {"add", "app", "Hazel"}).exitCode, 0);
    ASSERT_EQ(on(first, {"disable", "app", "Hazel"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    writeSetting(first, ".curlrc", "--silent\n--location\n", std::time(nullptr) + 3600);
    ASSERT_EQ(on(first, {"note", "--set", "-"}, "Hello\nWorld\n").exitCode, 0);

    const auto status = jsonOn(first, {"status"});
    EXPECT_EQ(memberNames(status),
              (std::set<std::string>{"ok", "package", "apps", "execs", "files", "note", "history",
                                     "warnings", "summary"}));
    EXPECT_EQ(status["ok"], true);
    EXPECT_EQ(status["package"], package.string());
    EXPECT_EQ(status["note"], "Hello\nWorld\n");
    EXPECT_EQ(status["warnings"], json::array());
    ASSERT_EQ(status["history"].size(), 1u);
    EXPECT_EQ(status["history"][0]["action"], "BackUp");
    EXPECT_TRUE(status["history"][0]["date"].is_number());
    // The ISO twin names the same second, in UTC.
    const double since2001 = status["history"][0]["date"];
    const auto seconds = static_cast<time_t>(since2001 + 978'307'200.0);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char iso[32];
    std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &utc);
    EXPECT_EQ(status["history"][0]["dateISO"], iso);

    const std::set<std::string> rowMembers{"name",          "enabled", "found", "backupDate",
                                           "backupDateISO", "state",   "paths"};
    const std::set<std::string> pathMembers{"path",          "state",         "backupDate",
                                            "backupDateISO", "originalDate",  "originalDateISO",
                                            "modifyDate",    "modifyDateISO", "excluded"};
    ASSERT_EQ(status["apps"].size(), 1u);
    const auto& hazel = status["apps"][0];
    EXPECT_EQ(memberNames(hazel), rowMembers);
    EXPECT_EQ(hazel["name"], "Hazel");
    EXPECT_EQ(hazel["enabled"], false);
    EXPECT_EQ(hazel["found"], false);
    EXPECT_EQ(hazel["backupDate"], nullptr);
    EXPECT_EQ(hazel["state"], "DoNothing");
    ASSERT_FALSE(hazel["paths"].empty());
    for (const auto& path : hazel["paths"]) {
        EXPECT_EQ(memberNames(path), pathMembers);
        EXPECT_EQ(path["backupDate"], nullptr);
        EXPECT_EQ(path["originalDate"], nullptr);
        EXPECT_EQ(path["modifyDate"], nullptr);
        EXPECT_EQ(path["modifyDateISO"], nullptr);
    }

    ASSERT_EQ(status["execs"].size(), 1u);
    const auto& curl = status["execs"][0];
    EXPECT_EQ(curl["name"], "curl");
    EXPECT_EQ(curl["enabled"], true);
    EXPECT_EQ(curl["found"], true);
    EXPECT_EQ(curl["state"], "BackUp");
    ASSERT_EQ(curl["paths"].size(), 1u);
    const auto& curlrc = curl["paths"][0];
    EXPECT_EQ(curlrc["path"], ".curlrc");
    EXPECT_EQ(curlrc["state"], "BackUp");
    EXPECT_EQ(curlrc["originalDate"], referenceDate(1'600'000'000));
    EXPECT_EQ(curlrc["originalDateISO"], "2020-09-13T12:26:40Z");
    ASSERT_TRUE(curlrc["backupDate"].is_number());
    EXPECT_EQ(curl["backupDate"], curlrc["backupDate"]);
    EXPECT_GT(curlrc["modifyDate"].get<double>(), curlrc["backupDate"].get<double>());

    ASSERT_EQ(status["files"].size(), 1u);
    const auto& todo = status["files"][0];
    EXPECT_EQ(memberNames(todo), (std::set<std::string>{"path", "enabled", "found", "backupDate",
                                                        "backupDateISO", "state", "excluded"}));
    EXPECT_EQ(todo["path"], "notes/todo.txt");
    EXPECT_EQ(todo["enabled"], true);
    EXPECT_EQ(todo["found"], true);
    EXPECT_TRUE(todo["backupDate"].is_number());
    EXPECT_EQ(todo["state"], "DoNothing");

    const auto text = on(first, {"status"});
    EXPECT_EQ(text.exitCode, 0);
    // Hazel has nothing on either side, so the text counts it instead.
    for (const char* line :
         {"1 to back up, 1 up to date; run `quillfen backup`.\n", "[x] curl  settings here",
          "        .curlrc  Back Up", "  1 item with nothing here or in the package",
          "[x] notes/todo.txt  settings here", "Note: Hello\n", "Last run: Back Up"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << " in\n" << text.out;
}

// A new computer with a package from another: status says what only an
// install brings, and shows only what exists on some side.
TEST_F(StatusTest, AFreshComputerIsToldToInstallAndSeesOnlyWhatExistsSomewhere) {
    ASSERT_EQ(on(first, {"add", "exec", "Vim"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    authorize(second);

    auto text = on(second, {"status"}).out;
    EXPECT_NE(text.find("\nNothing to synchronize.\n2 items have settings in the package and "
                        "none on this computer: `quillfen install` puts them here.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[x] curl  no settings here"), std::string::npos) << text;
    EXPECT_NE(text.find("  1 item with nothing here or in the package (shown with --verbose)\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Vim"), std::string::npos) << text;
    EXPECT_EQ(text.find(".vimrc"), std::string::npos) << text;
    const auto verbose = on(second, {"status", "--verbose"}).out;
    EXPECT_NE(verbose.find("[x] Vim  no settings here, backed up never"), std::string::npos)
        << verbose;
    EXPECT_NE(verbose.find(".vimrc  Nothing to Do"), std::string::npos) << verbose;

    auto summary = jsonOn(second, {"status"})["summary"];
    EXPECT_EQ(summary, (json{{"backUp", 0},
                             {"install", 0},
                             {"synchronize", 0},
                             {"upToDate", 0},
                             {"switchedOff", 0},
                             {"empty", 1},
                             {"lackingHere", 2},
                             {"command", nullptr}}));
    // The JSON keeps every row.
    EXPECT_EQ(jsonOn(second, {"status"})["execs"].size(), 2u);

    ASSERT_EQ(on(second, {"install"}).exitCode, 0);
    text = on(second, {"status"}).out;
    EXPECT_NE(text.find("\n2 up to date; nothing to do.\n"), std::string::npos) << text;
    // Both ways at once is a synchronize.
    writeSetting(second, ".curlrc", "--verbose\n", std::time(nullptr) + 60);
    writeSetting(first, "notes/todo.txt", "eggs\n", std::time(nullptr) + 60);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    summary = jsonOn(second, {"status"})["summary"];
    EXPECT_EQ(summary["backUp"], 1);
    EXPECT_EQ(summary["install"], 1);
    EXPECT_EQ(summary["command"], "quillfen sync");
    EXPECT_NE(on(second, {"status"}).out.find("1 to back up, 1 to install; run `quillfen sync`."),
              std::string::npos);
}

TEST_F(StatusTest, AllAddsInstalledApplicationsAndEveryCatalogExecutable) {
    fs::create_directories(first.applications() / "Frobnicator.app" / "Contents");
    const auto status = jsonOn(first, {"status", "--all"});
    const json* frobnicator = nullptr;
    for (const auto& row : status["apps"])
        if (row["name"] == "Frobnicator") frobnicator = &row;
    ASSERT_NE(frobnicator, nullptr) << status["apps"];
    EXPECT_EQ((*frobnicator)["enabled"], nullptr);
    std::set<std::string> execs;
    for (const auto& row : status["execs"])
        execs.insert(row["name"].get<std::string>());
    EXPECT_GT(execs.size(), 20u);
    EXPECT_TRUE(execs.count("curl") && execs.count("Nano") && execs.count("SSH"));
    // Without --all only what the package records.
    EXPECT_EQ(jsonOn(first, {"status"})["execs"].size(), 1u);
}

TEST_F(StatusTest, ConflictCopiesAreNamedButNeitherReadNorDeleted) {
    const std::vector<std::string> conflicts{
        "Execs (conflicted copy 2026-12-07).json",
        "Execs.sync-conflict-20261207-101010-ABCDEF.json",
        "Apps 2.json",
        "History (1).json",
        "Data (Laptop's conflicted copy).json",
    };
    // Names that are no conflict copies of the package's files.
    const std::vector<std::string> others{"Readme.json", "Apps.json.bak", "apps (1).json",
                                          ".Apps.json.qftmp-1234"};
    for (const auto& name : conflicts)
        testsupport::writeFile(package / name, R"([{"name": "ack", "isEnabled": true}])");
    testsupport::writeFile(package / "History (1).json", "not even JSON");
    for (const auto& name : others)
        testsupport::writeFile(package / name, "[]");

    const auto text = on(first, {"status"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    const auto warnings = text.warnings();
    EXPECT_EQ(warnings.size(), conflicts.size()) << text.err;
    for (const auto& name : conflicts)
        EXPECT_TRUE(anyContains(warnings, (package / name).string())) << name << "\n" << text.err;

    const auto status = jsonOn(first, {"status"});
    EXPECT_EQ(status["warnings"].size(), conflicts.size()) << status["warnings"];
    for (const auto& name : conflicts)
        EXPECT_TRUE(anyContains(strings(status["warnings"]), name)) << name;
    // Only the package's own file counts.
    ASSERT_EQ(status["execs"].size(), 1u);
    EXPECT_EQ(status["execs"][0]["name"], "curl");

    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    for (const auto& name : conflicts)
        EXPECT_TRUE(fs::exists(package / name)) << name;
    for (const auto& name : others)
        EXPECT_TRUE(fs::exists(package / name)) << name;
}

TEST_F(StatusTest, RecordsWhoseCopyHasNotArrivedAreNamedAndTheRunGoesOn) {
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    const auto curlCopy = dataCopy(".curlrc");
    ASSERT_TRUE(fs::exists(curlCopy));
    fs::remove(curlCopy);

    const auto text = on(first, {"status"});
    EXPECT_EQ(text.exitCode, 0);
    ASSERT_EQ(text.warnings().size(), 1u) << text.err;
    EXPECT_TRUE(text.warnings()[0].starts_with(".curlrc: ")) << text.err;
    EXPECT_NE(text.warnings()[0].find(curlCopy.filename().string()), std::string::npos);
    const auto status = jsonOn(first, {"status"});
    EXPECT_EQ(status["warnings"].size(), 1u);
    EXPECT_TRUE(anyContains(strings(status["warnings"]), ".curlrc"));

    // An install installs the rest, and names the path whose copy is
    // missing as a failure: it did not do what was asked.
    authorize(second);
    const auto install = on(second, {"install"});
    EXPECT_EQ(install.exitCode, 1) << install.out;
    EXPECT_NE(install.out.find(".curlrc: Its copy has not arrived in the package yet."),
              std::string::npos)
        << install.out << install.err;
    EXPECT_FALSE(fs::exists(second.home() / ".curlrc"));
    EXPECT_EQ(contentOf(second.home() / "notes/todo.txt"), "milk\n");
}

// Not only status: every command that reads the package names what the user
// should look at in it, once, and a run's document carries it too.
TEST_F(StatusTest, EveryCommandThatReadsThePackageWarnsAboutIt) {
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    const std::string conflict = "Apps (conflicted copy 2026-12-07).json";
    testsupport::writeFile(package / conflict, "[]");

    // A back-up makes the copy again, so it goes before each command.
    const std::vector<std::vector<std::string>> commands{{"backup"},
                                                         {"sync"},
                                                         {"install"},
                                                         {"diff"},
                                                         {"history"},
                                                         {"note"},
                                                         {"add", "exec", "Nano"}};
    for (const auto& command : commands) {
        fs::remove(dataCopy(".curlrc"));
        const auto result = on(first, command);
        const auto warnings = result.warnings();
        EXPECT_EQ(warnings.size(), 2u) << command[0] << "\n" << result.err;
        EXPECT_TRUE(anyContains(warnings, conflict)) << command[0] << "\n" << result.err;
        EXPECT_TRUE(anyContains(warnings, ".curlrc: its backed-up copy")) << command[0];
    }
    const auto document = jsonOn(first, {"backup"});
    EXPECT_TRUE(anyContains(strings(document["warnings"]), conflict)) << document;
}

// Copies without the "Data.json" that names them: status says the package
// is incomplete, every run refuses it, and only a forced back-up goes on.
TEST_F(StatusTest, APackageWithoutItsDataListIsIncompleteUntilItArrives) {
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    fs::remove(package / "Data.json");

    const auto status = jsonOn(first, {"status"});
    EXPECT_TRUE(anyContains(strings(status["warnings"]), "Data.json has not arrived yet"))
        << status["warnings"];
    for (const char* command : {"backup", "install", "sync"}) {
        const auto refused = on(first, {command});
        EXPECT_EQ(refused.exitCode, 3) << command;
        EXPECT_NE(refused.err.find("Data.json has not arrived yet"), std::string::npos)
            << refused.err;
        EXPECT_FALSE(fs::exists(package / "Data.json")) << command;
    }
    EXPECT_EQ(on(first, {"backup", "--force"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(package / "Data.json"));
    EXPECT_TRUE(jsonOn(first, {"status"})["warnings"].empty());
}

}  // namespace
}  // namespace clitest
