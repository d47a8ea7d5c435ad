// The diff command: what a synchronize would change, shown in its direction,
// for text files, binary files and folders; the names it refuses; a package
// whose copies must not be followed or waited on.
#include <sys/stat.h>

#include "cli/CommandLineFixture.h"

namespace clitest {
namespace {

using nlohmann::json;

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class DiffTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        authorize(second);
    }

    // The entry of `path` in a diff document.
    static json entryFor(const json& document, const std::string& path) {
        for (const auto& entry : document["paths"])
            if (entry["path"] == path) return entry;
        ADD_FAILURE() << "no entry for " << path << " in " << document.dump();
        return nullptr;
    }
};

TEST_F(DiffTest, AChangedTextFileIsShownFromTheSideASynchronizeWouldReplace) {
    writeSetting(first, ".curlrc", "--silent\n--location\n", 1'600'000'500);
    ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);

    // Here the local file is newer: the package's copy would be replaced.
    writeSetting(first, ".curlrc", "--silent\n--location\n--compressed\n", 1'600'000'900);
    const auto newer = on(first, {"diff"});
    EXPECT_EQ(newer.exitCode, 0) << newer.err;
    EXPECT_TRUE(contains(newer.out, "Back Up  .curlrc  (curl;")) << newer.out;
    EXPECT_TRUE(contains(newer.out, "--- package/.curlrc\n+++ local/.curlrc\n")) << newer.out;
    EXPECT_TRUE(contains(newer.out, " --location\n+--compressed\n")) << newer.out;

    // On a computer whose file is older, the local file would be replaced.
    writeSetting(second, ".curlrc", "--silent\n", 1'500'000'000);
    const auto older = jsonOn(second, {"diff", "curl"});
    EXPECT_EQ(older["ok"], true);
    const auto entry = entryFor(older, ".curlrc");
    EXPECT_EQ(entry["kind"], "exec");
    EXPECT_EQ(entry["item"], "curl");
    EXPECT_EQ(entry["state"], "Install");
    EXPECT_EQ(entry["from"], "local");
    EXPECT_EQ(entry["to"], "package");
    ASSERT_EQ(entry["changes"].size(), 1u);
    EXPECT_EQ(entry["changes"][0]["kind"], "text");
    const std::string diff = entry["changes"][0]["diff"];
    EXPECT_TRUE(contains(diff, "--- local/.curlrc\n+++ package/.curlrc\n")) << diff;
    EXPECT_TRUE(contains(diff, " --silent\n+--location\n")) << diff;
    // Only shown: neither side changed.
    EXPECT_EQ(contentOf(second.home() / ".curlrc"), "--silent\n");
}

TEST_F(DiffTest, ABinaryFileIsReportedWithItsSizesAndAFolderFileByFile) {
    writeSetting(first, "game.sav", std::string("\x01\x00\x02\x03", 4), 1'600'000'000);
    writeSetting(first, "notes/same.txt", "unchanged\n", 1'600'000'000);
    writeSetting(first, "notes/todo.txt", "milk\n", 1'600'000'000);
    ASSERT_EQ(on(first, {"add", "file", "game.sav", "notes"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);

    writeSetting(first, "game.sav", std::string("\x01\x00\x02\x03\x04\x05", 6), 1'600'001'000);
    writeSetting(first, "notes/todo.txt", "milk\neggs\n", 1'600'001'000);
    writeSetting(first, "notes/new.txt", "fresh\x1b[2J\n", 1'600'001'000);

    const auto text = on(first, {"diff"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_TRUE(contains(text.out,
                         "Binary files package/game.sav and local/game.sav differ "
                         "(package: 4 bytes, local: 6 bytes)"))
        << text.out;
    EXPECT_TRUE(contains(text.out, "+++ local/notes/todo.txt\n")) << text.out;
    EXPECT_TRUE(contains(text.out, "+eggs\n")) << text.out;
    EXPECT_FALSE(contains(text.out, "same.txt")) << text.out;
    // A file's control characters never reach the terminal as they are.
    EXPECT_TRUE(contains(text.out, "+fresh^[[2J\n")) << text.out;
    EXPECT_FALSE(contains(text.out, "\x1b")) << text.out;

    const auto document = jsonOn(first, {"diff", "notes"});
    ASSERT_EQ(document["paths"].size(), 1u);
    const auto changes = entryFor(document, "notes")["changes"];
    ASSERT_EQ(changes.size(), 2u) << changes.dump();
    EXPECT_EQ(changes[0]["path"], "notes/new.txt");
    EXPECT_EQ(changes[1]["path"], "notes/todo.txt");

    const auto binary = entryFor(jsonOn(first, {"diff", "game.sav"}), "game.sav")["changes"];
    ASSERT_EQ(binary.size(), 1u);
    EXPECT_EQ(binary[0]["kind"], "binary");
    EXPECT_EQ(binary[0]["packageSize"], 4);
    EXPECT_EQ(binary[0]["localSize"], 6);
}

TEST_F(DiffTest, ANameThatIsNoItemOfThePackageIsRefused) {
    writeSetting(first, ".curlrc", "--silent\n");
    ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
    // Known to the catalog, but not recorded; and no name at all.
    for (const std::string name : {"Hazel", "Nope", "notes/none.txt"}) {
        const auto text = on(first, {"diff", name});
        EXPECT_EQ(text.exitCode, 3) << name;
        EXPECT_TRUE(contains(text.err, name + ": not an application, executable or custom file"))
            << text.err;
        const auto document = jsonOn(first, {"diff", name}, 3);
        EXPECT_EQ(document["ok"], false);
        EXPECT_TRUE(contains(document["error"].get<std::string>(), name));
    }
}

TEST_F(DiffTest, NothingToCompareAndContentThatOnlyChangedItsDate) {
    writeSetting(first, ".curlrc", "--silent\n");
    ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);

    const auto nothing = on(first, {"diff"});
    EXPECT_EQ(nothing.exitCode, 0) << nothing.err;
    EXPECT_EQ(nothing.out, "Nothing to compare: no settings path needs a back-up or an install.\n");
    const auto empty = jsonOn(first, {"diff"});
    EXPECT_EQ(empty["ok"], true);
    EXPECT_EQ(empty["paths"], json::array());

    writeSetting(first, ".curlrc", "--silent\n", 1'700'000'000);
    const auto touched = on(first, {"diff", ".curlrc"});
    EXPECT_EQ(touched.exitCode, 0) << touched.err;
    EXPECT_TRUE(contains(touched.out, "same content; only the dates differ")) << touched.out;
}

TEST_F(DiffTest, CopiesThatAreLinksOrPipesAreNeitherFollowedNorOpened) {
    writeSetting(first, ".curlrc", "--silent\n");
    writeSetting(first, "notes/todo.txt", "milk\n");
    ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
    ASSERT_EQ(on(first, {"add", "file", "notes"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    writeSetting(first, ".curlrc", "--location\n", 1'700'000'000);
    // Later than the folder's own date at the back-up, which is now.
    writeSetting(first, "notes/todo.txt", "eggs\n", std::time(nullptr) + 3600);

    // A planted copy: a link to a file elsewhere, and a pipe inside a folder.
    testsupport::writeFile(root / "secret", "password\n");
    const fs::path curlCopy = dataCopy(".curlrc");
    fs::remove(curlCopy);
    fs::create_symlink(root / "secret", curlCopy);
    ASSERT_EQ(::mkfifo((dataCopy("notes") / "pipe").c_str(), 0600), 0);

    const auto result = jsonOn(first, {"diff"}, 1);
    EXPECT_EQ(result["ok"], false);
    const auto curl = entryFor(result, ".curlrc");
    EXPECT_TRUE(contains(curl["error"].get<std::string>(), "symbolic link")) << curl.dump();
    EXPECT_FALSE(contains(result.dump(), "password"));
    const auto notes = entryFor(result, "notes")["changes"];
    ASSERT_EQ(notes.size(), 2u) << notes.dump();
    EXPECT_EQ(notes[0]["path"], "notes/pipe");
    EXPECT_EQ(notes[0]["kind"], "other");
    EXPECT_EQ(notes[1]["path"], "notes/todo.txt");
}

}  // namespace
}  // namespace clitest
