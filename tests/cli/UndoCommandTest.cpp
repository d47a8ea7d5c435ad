// quillfen undo and undo --list, run as a user would.
#include "cli/CommandLineFixture.h"
#include "keel/FileManager.h"

namespace clitest {
namespace {

class UndoCommandTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        authorize(second);
        writeSetting(first, ".curlrc", "--silent\n");
        writeSetting(first, "notes/todo.txt", "milk\n");
        ASSERT_EQ(on(first, {"add", "file", ".curlrc", "notes/todo.txt"}).exitCode, 0);
        ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
        // The second computer has its own .curlrc and no notes folder.
        writeSetting(second, ".curlrc", "--verbose\n", 1'500'000'000);
    }
};

TEST_F(UndoCommandTest, UndoPutsBackTheLastInstallAndListsWhatIsKept) {
    ASSERT_EQ(on(second, {"install"}).exitCode, 0);
    ASSERT_EQ(contentOf(second.home() / ".curlrc"), "--silent\n");

    const auto list = jsonOn(second, {"undo", "--list"});
    ASSERT_EQ(list["runs"].size(), 1u);
    EXPECT_EQ(list["runs"][0]["action"], "Install");
    EXPECT_EQ(list["runs"][0]["paths"], 2);
    EXPECT_EQ(list["runs"][0]["size"], std::string("--verbose\n").size());
    EXPECT_EQ(list["runs"][0]["package"], package.string());
    EXPECT_TRUE(list["runs"][0]["undone"].is_null());
    EXPECT_EQ(list["maximumRuns"], 10);
    EXPECT_GT(list["maximumSize"].get<std::uint64_t>(), 0u);
    const auto text = on(second, {"undo", "--list"});
    EXPECT_NE(text.out.find("Install  2 paths  10 bytes"), std::string::npos) << text.out;

    const auto undone = on(second, {"undo"});
    EXPECT_EQ(undone.exitCode, 0) << undone.err;
    EXPECT_NE(undone.out.find("1 put back, 1 removed"), std::string::npos) << undone.out;
    EXPECT_EQ(contentOf(second.home() / ".curlrc"), "--verbose\n");
    EXPECT_EQ(keel::FileManager::modifyDateForFile(second.home() / ".curlrc"),
              keel::Date::fromUnixTime(1'500'000'000));
    EXPECT_FALSE(fs::exists(second.home() / "notes"));

    // Nothing further back: an error, and nothing changes.
    const auto again = on(second, {"undo"});
    EXPECT_EQ(again.exitCode, 3);
    EXPECT_NE(again.err.find("nothing to undo"), std::string::npos) << again.err;
    EXPECT_EQ(contentOf(second.home() / ".curlrc"), "--verbose\n");
    EXPECT_FALSE(jsonOn(second, {"undo", "--list"})["runs"][0]["undone"].is_null());
}

TEST_F(UndoCommandTest, AFileEditedSinceTheInstallIsLeftAndReported) {
    ASSERT_EQ(on(second, {"install"}).exitCode, 0);
    writeSetting(second, ".curlrc", "--edited\n", 1'650'000'000);

    const auto document = jsonOn(second, {"undo"}, 1);
    EXPECT_EQ(document["ok"], false);
    EXPECT_EQ(document["leftAlone"], nlohmann::json::array({".curlrc"}));
    EXPECT_EQ(document["removed"], nlohmann::json::array({"notes/todo.txt"}));
    EXPECT_EQ(contentOf(second.home() / ".curlrc"), "--edited\n");
    const auto list = on(second, {"undo", "--list"});
    EXPECT_NE(list.out.find("left as changed since: .curlrc"), std::string::npos) << list.out;
}

}  // namespace
}  // namespace clitest
