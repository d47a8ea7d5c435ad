// The editing commands, checked where it matters: in the package's JSON
// files and data copies, and in the stored settings.
#include <sys/stat.h>

#include "cli/CommandLineFixture.h"

namespace clitest {
namespace {

using nlohmann::json;

std::vector<std::string> keys(const json& list, const char* key) {
    std::vector<std::string> values;
    for (const auto& record : list)
        values.push_back(record[key].get<std::string>());
    return values;
}

class PackageEditsTest : public CommandLineTest {
protected:
    void SetUp() override { authorize(first); }
};

TEST_F(PackageEditsTest, AddedItemsAreRecordedEnabledAndRemovedWithTheirCopies) {
    writeSetting(first, ".curlrc", "--silent\n");
    writeSetting(first, ".ackrc", "--smart-case\n");
    writeSetting(first, "notes/todo.txt", "milk\n");
    testsupport::writeFile(root / "elsewhere" / "tool.conf", "x = 1\n");

    EXPECT_EQ(on(first, {"add", "app", "Hazel"}).exitCode, 0);
    EXPECT_EQ(on(first, {"add", "exec", "curl", "ack"}).exitCode, 0);
    // Relative to the home folder, absolute inside it, absolute outside it.
    EXPECT_EQ(on(first, {"add", "file", "notes/todo.txt", (first.home() / ".ackrc").string(),
                         (root / "elsewhere" / "tool.conf").string()})
                  .exitCode,
              0);
    EXPECT_EQ(packageFile("Apps.json"), json::parse(R"([{"name": "Hazel", "isEnabled": true}])"));
    EXPECT_EQ(packageFile("Execs.json"), json::parse(R"([{"name": "ack", "isEnabled": true},
                                                         {"name": "curl", "isEnabled": true}])"));
    auto files = keys(packageFile("Files.json"), "path");
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{
                         ".ackrc", (root / "elsewhere" / "tool.conf").string(), "notes/todo.txt"}));

    // Adding again keeps one record, switched on.
    EXPECT_EQ(on(first, {"disable", "exec", "curl"}).exitCode, 0);
    EXPECT_EQ(packageFile("Execs.json")[1], json::parse(R"({"name": "curl", "isEnabled": false})"));
    EXPECT_EQ(on(first, {"enable", "exec", "curl"}).exitCode, 0);
    EXPECT_EQ(packageFile("Execs.json")[1], json::parse(R"({"name": "curl", "isEnabled": true})"));

    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    const auto curlCopy = dataCopy(".curlrc");
    const auto todoCopy = dataCopy("notes/todo.txt");
    ASSERT_TRUE(fs::exists(curlCopy));
    ASSERT_TRUE(fs::exists(todoCopy));

    const auto removed = jsonOn(first, {"remove", "exec", "curl"});
    EXPECT_EQ(removed["ok"], true);
    EXPECT_EQ(keys(packageFile("Execs.json"), "name"), std::vector<std::string>{"ack"});
    EXPECT_FALSE(packageFile("Data.json").contains(".curlrc"));
    EXPECT_FALSE(fs::exists(curlCopy));
    EXPECT_TRUE(packageFile("Data.json").contains(".ackrc"));

    EXPECT_EQ(on(first, {"remove", "file", (first.home() / "notes/todo.txt").string()}).exitCode,
              0);
    EXPECT_FALSE(packageFile("Data.json").contains("notes/todo.txt"));
    EXPECT_FALSE(fs::exists(todoCopy));
    // The local files are never touched by a removal.
    EXPECT_EQ(contentOf(first.home() / ".curlrc"), "--silent\n");
    EXPECT_EQ(contentOf(first.home() / "notes/todo.txt"), "milk\n");

    // Removing what is not there says so, fails, and changes nothing.
    const auto before = snapshot(package);
    const auto again = on(first, {"remove", "exec", "curl"});
    EXPECT_EQ(again.exitCode, 3);
    EXPECT_NE(again.err.find("curl: not in the package"), std::string::npos) << again.err;
    EXPECT_EQ(snapshot(package), before);
}

TEST_F(PackageEditsTest, RefusedNamesAndFilesAreNamedWhileTheOthersAreAdded) {
    writeSetting(first, ".curlrc", "--silent\n");
    writeSetting(first, "notes/todo.txt", "milk\n");

    const auto execs = on(first, {"add", "exec", "NoSuchTool", "curl"});
    EXPECT_EQ(execs.exitCode, 3);
    EXPECT_NE(execs.err.find("NoSuchTool"), std::string::npos) << execs.err;
    EXPECT_EQ(keys(packageFile("Execs.json"), "name"), std::vector<std::string>{"curl"});

    // Things that cannot be a custom file: nothing there, the home folder
    // itself, a folder holding it, the package or something inside it.
    const std::vector<std::string> refused{"missing.txt",         ".",
                                           first.home().string(), "/",
                                           package.string(),      (package / "Apps.json").string()};
    std::vector<std::string> args{"--json", "add", "file", "notes/todo.txt"};
    args.insert(args.end(), refused.begin(), refused.end());
    const auto files = on(first, args);
    EXPECT_EQ(files.exitCode, 3) << files.err;
    const auto document = files.json();
    EXPECT_EQ(document["ok"], false);
    EXPECT_EQ(document["refused"].size(), refused.size()) << document;
    EXPECT_EQ(keys(packageFile("Files.json"), "path"), std::vector<std::string>{"notes/todo.txt"});
}

// An installed application's name is its folder's, which need not be UTF-8;
// the package's JSON could only hold it altered, naming no application.
TEST_F(PackageEditsTest, AnApplicationNameThatIsNotUTF8IsNeverRecorded) {
    const std::string latin1 = "Caf\xE9";
    fs::create_directories(first.applications() / (latin1 + ".app") / "Contents");
    for (const char* command : {"add", "enable", "disable"}) {
        const auto result = on(first, {command, "app", latin1, "Hazel"});
        EXPECT_EQ(result.exitCode, 3) << command;
        // The name is shown escaped: raw, it is no text a terminal can show.
        EXPECT_NE(result.err.find("Caf\\xe9: not UTF-8; the package cannot hold this name"),
                  std::string::npos)
            << command << ": " << result.err;
        EXPECT_EQ(keys(packageFile("Apps.json"), "name"), std::vector<std::string>{"Hazel"})
            << command;
    }
}

TEST_F(PackageEditsTest, AFileOffTheMainDiskIsRefused) {
    struct stat rootInfo {
    }, shmInfo{};
    if (::stat("/", &rootInfo) != 0 || ::stat("/dev/shm", &shmInfo) != 0 ||
        rootInfo.st_dev == shmInfo.st_dev || ::access("/dev/shm", W_OK) != 0)
        GTEST_SKIP() << "no writable file system other than the main disk";
    const fs::path other = fs::path("/dev/shm") / ("quillfen-test-" + std::to_string(::getpid()) +
                                                   "-" + root.filename().string());
    testsupport::writeFile(other / "settings.conf", "x");
    writeSetting(first, "notes/todo.txt", "milk\n");

    const auto result =
        on(first, {"add", "file", (other / "settings.conf").string(), "notes/todo.txt"});
    fs::remove_all(other);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("not on the main disk"), std::string::npos) << result.err;
    EXPECT_EQ(keys(packageFile("Files.json"), "path"), std::vector<std::string>{"notes/todo.txt"});
}

TEST_F(PackageEditsTest, NoteFromAFileFromStandardInputAndTheExample) {
    const std::string text = "# Laptop\n\n- brew install ffmpeg\n- caf\xc3\xa9\n";
    auto set = on(first, {"note", "--set", "-"}, text);
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(packageFile("Notes.json"), (json::array({{{"content", text}}})));
    EXPECT_EQ(on(first, {"note"}).out, text);
    EXPECT_EQ(jsonOn(first, {"note"})["note"], text);

    testsupport::writeFile(root / "note.md", "from a file");
    EXPECT_EQ(on(first, {"note", "--set", (root / "note.md").string()}).exitCode, 0);
    EXPECT_EQ(packageFile("Notes.json")[0]["content"], "from a file");

    EXPECT_EQ(on(first, {"note", "--example"}).exitCode, 0);
    EXPECT_TRUE(packageFile("Notes.json")[0]["content"].get<std::string>().starts_with("#Example"));

    EXPECT_EQ(on(first, {"note", "--remove"}).exitCode, 0);
    EXPECT_EQ(jsonOn(first, {"note"})["note"], nullptr);

    // Text that is not UTF-8 cannot be stored as JSON: refused, and the
    // package keeps what it had.
    EXPECT_EQ(on(first, {"note", "--set", "-"}, "kept").exitCode, 0);
    const auto bad = on(first, {"note", "--set", "-"}, "caf\xe9\n");
    EXPECT_EQ(bad.exitCode, 3);
    EXPECT_NE(bad.err.find("UTF-8"), std::string::npos) << bad.err;
    EXPECT_EQ(packageFile("Notes.json")[0]["content"], "kept");
}

TEST_F(PackageEditsTest, HistoryIsShownAndCleared) {
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    ASSERT_EQ(on(first, {"sync"}).exitCode, 0);
    auto history = jsonOn(first, {"history"});
    ASSERT_EQ(history["history"].size(), 2u) << history;
    EXPECT_EQ(history["history"][0]["action"], "Synchronize");
    EXPECT_TRUE(history["history"][0]["date"].is_number());
    EXPECT_EQ(jsonOn(first, {"history", "--clear"})["history"], json::array());
    EXPECT_EQ(packageFile("History.json"), json::array());
    EXPECT_EQ(on(first, {"history"}).out, "No history.\n");
}

TEST_F(PackageEditsTest, APackageGivenOnTheCommandLineIsUsedForThatCommandOnly) {
    // Without --package the default package is used and created.
    auto shown = first.run({"--json", "package", "show"});
    EXPECT_EQ(
        shown.json(),
        (json{{"ok", true}, {"package", first.defaultPackage().string()}, {"default", true}}));
    EXPECT_EQ(first.run({"status"}).exitCode, 0);
    EXPECT_TRUE(fs::is_directory(first.defaultPackage() / "Data"));

    EXPECT_EQ(on(first, {"add", "app", "Hazel"}).exitCode, 0);
    EXPECT_TRUE(fs::exists(package / "Apps.json"));
    EXPECT_FALSE(fs::exists(first.defaultPackage() / "Apps.json"));
    EXPECT_EQ(first.run({"--json", "package", "show"}).json()["package"],
              first.defaultPackage().string());

    // Moving the default package stores the new location.
    const fs::path moved = root / "Moved.qfbackup";
    const auto move = first.run({"package", "move", moved.string()});
    EXPECT_EQ(move.exitCode, 0) << move.err;
    EXPECT_FALSE(fs::exists(first.defaultPackage()));
    EXPECT_TRUE(fs::is_directory(moved));
    shown = first.run({"--json", "package", "show"});
    EXPECT_EQ(shown.json(), (json{{"ok", true}, {"package", moved.string()}, {"default", false}}));

    // Exporting copies, importing replaces the content of the package in use.
    const fs::path exported = root / "Exported.qfbackup";
    EXPECT_EQ(on(first, {"package", "export", exported.string()}).exitCode, 0);
    EXPECT_EQ(readJSON(exported / "Apps.json"), packageFile("Apps.json"));
    EXPECT_EQ(first.run({"package", "import", "--yes", exported.string()}).exitCode, 0);
    EXPECT_EQ(readJSON(moved / "Apps.json"), packageFile("Apps.json"));
}

// An import overwrites everything the package holds: it asks, and keeps the
// package as it was, for the last few imports, so that it can be put back.
TEST_F(PackageEditsTest, ImportNeedsYesAndKeepsTheReplacedPackage) {
    const fs::path other = root / "Other.qfbackup";
    ASSERT_EQ(on(first, {"add", "app", "Hazel"}).exitCode, 0);
    ASSERT_EQ(first.run({"--package", other.string(), "add", "exec", "curl"}).exitCode, 0);

    const auto before = snapshot(package);
    const auto refused = on(first, {"package", "import", other.string()});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos) << refused.err;
    EXPECT_EQ(snapshot(package), before);
    EXPECT_NE(on(first, {"package", "--help"}).out.find("replace all of this package's"),
              std::string::npos);

    const auto imported = jsonOn(first, {"package", "import", "--yes", other.string()});
    EXPECT_EQ(imported["ok"], true);
    EXPECT_EQ(packageFile("Apps.json"), nullptr);
    EXPECT_EQ(packageFile("Execs.json"), readJSON(other / "Execs.json"));
    const fs::path kept = imported["replacedCopy"].get<std::string>();
    EXPECT_EQ(kept.parent_path().parent_path(), first.data() / "Quillfen" / "Replaced packages");
    EXPECT_EQ(kept.filename(), package.filename());
    EXPECT_EQ(readJSON(kept / "Apps.json"), json::parse(R"([{"isEnabled":true,"name":"Hazel"}])"));

    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(on(first, {"package", "import", "--yes", other.string()}).exitCode, 0);
    std::size_t copies = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(first.data() / "Quillfen" / "Replaced packages"))
        ++copies;
    EXPECT_EQ(copies, 3u);
}

TEST_F(PackageEditsTest, ExcludedFoldersAreStoredAndLeftAlone) {
    writeSetting(first, ".curlrc", "--silent\n");
    writeSetting(first, ".config/nano/nanorc", "set tabsize 4\n");
    ASSERT_EQ(on(first, {"add", "exec", "curl", "Nano"}).exitCode, 0);

    const auto added = first.run({"--json", "exclude", "add", (first.home() / ".config").string()});
    EXPECT_EQ(added.json()["excluded"], json::array({(first.home() / ".config").string()}));
    EXPECT_EQ(first.run({"exclude"}).out, (first.home() / ".config").string() + "\n");

    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    EXPECT_FALSE(dataCopy(".curlrc").empty());
    EXPECT_TRUE(dataCopy(".config/nano/nanorc").empty());

    EXPECT_EQ(first.run({"exclude", "remove", (first.home() / ".config").string()}).exitCode, 0);
    EXPECT_EQ(first.run({"--json", "exclude", "list"}).json()["excluded"], json::array());
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    EXPECT_FALSE(dataCopy(".config/nano/nanorc").empty());
}

// Exclusions are named like custom files, relative to the home folder
// whatever the current folder; one that names nothing yet is kept with a
// warning, and status shows what each exclusion leaves out.
TEST_F(PackageEditsTest, RelativeExclusionsAreInTheHomeFolderAndShownInStatus) {
    writeSetting(first, ".curlrc", "--silent\n");
    writeSetting(first, ".config/tool/settings", "a");
    ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
    ASSERT_EQ(on(first, {"add", "file", ".config/tool"}).exitCode, 0);

    const auto added = first.run({"--json", "exclude", "add", ".curlrc", ".config/tool/secret/"});
    EXPECT_EQ(added.exitCode, 0);
    EXPECT_EQ(added.json()["excluded"],
              json::array({(first.home() / ".curlrc").string(),
                           (first.home() / ".config/tool/secret").string()}));
    ASSERT_EQ(added.warnings().size(), 1u) << added.err;
    EXPECT_NE(added.warnings()[0].find(".config/tool/secret does not exist"), std::string::npos)
        << added.err;

    const auto status = jsonOn(first, {"status"});
    EXPECT_EQ(status["execs"][0]["paths"][0]["excluded"], true) << status["execs"];
    EXPECT_EQ(status["files"][0]["excluded"], false);
    EXPECT_EQ(status["files"][0]["excludedInside"], json::array({"secret"}));
    EXPECT_NE(on(first, {"status"}).out.find(".config/tool  settings here"), std::string::npos);
    EXPECT_NE(on(first, {"status"}).out.find("(leaves out secret)"), std::string::npos);
}

// A custom file that a recorded item covers too is recorded, and the user
// is told; removing either item keeps the copy the other still uses.
TEST_F(PackageEditsTest, AFileThatARecordedItemCoversIsNamedAndItsCopyShared) {
    writeSetting(first, ".bashrc", "alias ll='ls -l'\n");
    ASSERT_EQ(on(first, {"add", "exec", "Bash"}).exitCode, 0);
    const auto added = on(first, {"add", "file", ".bashrc"});
    EXPECT_EQ(added.exitCode, 0);
    ASSERT_EQ(added.warnings().size(), 1u) << added.err;
    EXPECT_NE(added.warnings()[0].find(".bashrc: the executable Bash already covers it"),
              std::string::npos)
        << added.err;
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    const fs::path copy = dataCopy(".bashrc");
    ASSERT_FALSE(copy.empty());

    EXPECT_EQ(on(first, {"remove", "file", ".bashrc"}).exitCode, 0);
    EXPECT_EQ(dataCopy(".bashrc"), copy);
    EXPECT_TRUE(fs::exists(copy));
}

TEST_F(PackageEditsTest, VersionHelpAndCatalog) {
    const auto version = first.run({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("quillfen ")) << version.out;
    for (const char* command : {"status", "add", "package", "note"}) {
        const auto help = first.run({command, "--help"});
        EXPECT_EQ(help.exitCode, 0) << command;
        EXPECT_NE(help.out.find(command), std::string::npos) << help.out;
    }
    const auto curl = first.run({"--json", "catalog", "curl"});
    EXPECT_EQ(curl.json(), (json{{"ok", true},
                                 {"name", "curl"},
                                 {"kind", "exec"},
                                 {"catalogName", "curl"},
                                 {"paths", {".curlrc"}}}));
    const auto all = first.run({"--json", "catalog"}).json();
    EXPECT_GT(all["names"].size(), 400u);
}

}  // namespace
}  // namespace clitest
