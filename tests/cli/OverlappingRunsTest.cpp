// Runs that overlap: two homes synchronizing one package at once, two
// back-ups at once, an undo started during an install, another computer's
// files delivered during a run, a package that goes away during a run, a
// package named by mistake, and the copies nobody names.
#include <chrono>
#include <future>
#include <set>
#include <thread>

#include "cli/CommandLineFixture.h"

namespace clitest {
namespace {

using namespace std::chrono_literals;

// Stops the next save of a run until `resume()` (see the README's debugging
// variable).
class SavePause {
public:
    std::vector<std::string> environment() const {
        return {"QUILLFEN_DEBUG_PAUSE_BEFORE_SAVE=" + folder_.path().string()};
    }
    // Waits until the run stands at its save; false after a minute.
    bool waitUntilPaused() const {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (!fs::exists(folder_ / "paused")) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }
    void resume() const { testsupport::writeFile(folder_ / "resume", ""); }

private:
    testsupport::TemporaryDirectory folder_;
};

class OverlappingRunsTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        authorize(second);
    }

    std::future<RunResult> start(const Computer& computer, std::vector<std::string> args,
                                 std::vector<std::string> environment = {},
                                 const fs::path& at = {}) const {
        args.insert(args.begin(), {"--package", (at.empty() ? package : at).string()});
        return std::async(std::launch::async, [&computer, args, environment] {
            return computer.run(args, {}, ErrorStream::pipe, environment);
        });
    }

    // The settings paths whose record names a copy that is not in "Data".
    std::vector<std::string> danglingRecords(const fs::path& at) const {
        std::vector<std::string> dangling;
        const auto data = readJSON(at / "Data.json");
        for (const auto& member : data.items()) {
            const auto uuid = member.value()["uuid"].get<std::string>();
            if (!fs::exists(at / "Data" / (uuid + ".qfdata"))) dangling.push_back(member.key());
        }
        return dangling;
    }

    // The copies in "Data" that no record names.
    std::set<std::string> unnamedCopies(const fs::path& at) const {
        std::set<std::string> copies;
        for (const auto& entry : fs::directory_iterator(at / "Data"))
            copies.insert(entry.path().stem().string());
        const auto data = readJSON(at / "Data.json");
        for (const auto& member : data.items())
            copies.erase(member.value()["uuid"].get<std::string>());
        return copies;
    }

    std::vector<std::string> historyActions() const {
        std::vector<std::string> actions;
        for (const auto& event : packageFile("History.json"))
            actions.push_back(event["action"].get<std::string>());
        return actions;
    }
};

TEST_F(OverlappingRunsTest, TwoHomesSynchronizingAtOnceLoseNoRecordAndNoEdit) {
    testsupport::writeFile(first.home() / "first.txt", "first, start");
    testsupport::writeFile(first.home() / "second.txt", "second, start");
    ASSERT_EQ(on(first, {"add", "file", "first.txt", "second.txt"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    ASSERT_EQ(on(second, {"install"}).exitCode, 0);

    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // Each side edits its own file, now, then both synchronize at once.
        testsupport::writeFile(first.home() / "first.txt", "first, " + std::to_string(round));
        testsupport::writeFile(second.home() / "second.txt", "second, " + std::to_string(round));
        auto one = start(first, {"sync"});
        auto other = start(second, {"sync"});
        const auto a = one.get(), b = other.get();
        EXPECT_EQ(a.exitCode, 0) << a.err;
        EXPECT_EQ(b.exitCode, 0) << b.err;
        ASSERT_EQ(danglingRecords(package), std::vector<std::string>{});
    }

    const Computer third(root / "third", root / "Applications");
    authorize(third);
    const auto installed = on(third, {"install"});
    EXPECT_EQ(installed.exitCode, 0) << installed.err;
    EXPECT_EQ(contentOf(third.home() / "first.txt"), "first, 19");
    EXPECT_EQ(contentOf(third.home() / "second.txt"), "second, 19");
    EXPECT_EQ(unnamedCopies(package), std::set<std::string>{});
}

TEST_F(OverlappingRunsTest, TwoBackUpsAtOnceKeepBothEventsAndLeaveNoUnnamedCopy) {
    for (int i = 0; i < 20; ++i)
        testsupport::writeFile(first.home() / ("settings/file" + std::to_string(i)),
                               std::string(20000, 'a' + i % 26));
    ASSERT_EQ(on(first, {"add", "file", "settings"}).exitCode, 0);

    auto one = start(first, {"backup"});
    auto other = start(first, {"backup"});
    const auto a = one.get(), b = other.get();
    EXPECT_EQ(a.exitCode, 0) << a.err;
    EXPECT_EQ(b.exitCode, 0) << b.err;
    EXPECT_EQ(historyActions(), (std::vector<std::string>{"BackUp", "BackUp"}));
    EXPECT_EQ(danglingRecords(package), std::vector<std::string>{});
    EXPECT_EQ(unnamedCopies(package), std::set<std::string>{});
}

TEST_F(OverlappingRunsTest, AnUndoStartedDuringAnInstallNeverLosesTheOriginal) {
    testsupport::writeFile(second.home() / "settings.conf", "from the package");
    ASSERT_EQ(on(second, {"add", "file", "settings.conf"}).exitCode, 0);
    ASSERT_EQ(on(second, {"backup"}).exitCode, 0);

    constexpr int rounds = 30;
    for (int round = 0; round < rounds; ++round) {
        const auto delay = std::chrono::microseconds(500'000 * round / (rounds - 1));
        SCOPED_TRACE("undo started " + std::to_string(delay.count()) + " us after the install");
        const Computer computer(root / ("undo" + std::to_string(round)), root / "Applications");
        authorize(computer);
        const std::string original = "original " + std::to_string(round);
        testsupport::writeFile(computer.home() / "settings.conf", original);

        auto install = start(computer, {"install"});
        std::this_thread::sleep_for(delay);
        auto undo = start(computer, {"undo"});
        const auto installed = install.get(), undone = undo.get();
        EXPECT_EQ(installed.exitCode, 0) << installed.err;
        // Before the install has kept anything there is nothing to undo.
        EXPECT_TRUE(undone.exitCode == 0 || undone.exitCode == 3) << undone.err;

        // The original is in the home, or the undo store gives it back.
        if (contentOf(computer.home() / "settings.conf") != original) {
            const auto last = on(computer, {"undo"});
            EXPECT_EQ(last.exitCode, 0) << last.err;
        }
        EXPECT_EQ(contentOf(computer.home() / "settings.conf"), original);
    }
}

TEST_F(OverlappingRunsTest, FilesAnotherComputerDeliversDuringABackUpKeepTheirRecords) {
    testsupport::writeFile(first.home() / "mine.txt", "mine, first");
    ASSERT_EQ(on(first, {"add", "file", "mine.txt"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    testsupport::writeFile(first.home() / "mine.txt", "mine, second");

    const SavePause pause;
    auto backup = start(first, {"backup"}, pause.environment());
    ASSERT_TRUE(pause.waitUntilPaused());

    // The cloud drive delivers the other computer's "Data.json" and
    // "History.json" (with the copy the record names), each replaced whole.
    const std::string theirs = "6A4C2E10-1111-4222-8333-944455556666";
    testsupport::writeFile(package / "Data" / (theirs + ".qfdata"), "theirs");
    auto data = packageFile("Data.json");
    data["theirs.txt"] = {{"uuid", theirs}, {"backupDate", 800'000'000.0}};
    auto history = packageFile("History.json");
    history.push_back(nlohmann::json::object({{"action", "Install"}, {"date", 800'000'001.0}}));
    for (const auto& [name, content] : {std::pair{"Data.json", data}, {"History.json", history}}) {
        testsupport::writeFile(package / (std::string(name) + ".delivered"), content.dump(2));
        fs::rename(package / (std::string(name) + ".delivered"), package / name);
    }
    pause.resume();
    const auto result = backup.get();
    EXPECT_EQ(result.exitCode, 0) << result.err;

    EXPECT_EQ(contentOf(dataCopy("mine.txt")), "mine, second");
    EXPECT_EQ(dataCopy("theirs.txt"), package / "Data" / (theirs + ".qfdata"));
    EXPECT_EQ(danglingRecords(package), std::vector<std::string>{});
    // Newest first: the other computer's event is older than both back-ups.
    EXPECT_EQ(historyActions(), (std::vector<std::string>{"BackUp", "BackUp", "Install"}));
}

TEST_F(OverlappingRunsTest, APackageDeletedOrReplacedDuringARunEndsItWithoutMakingItAgain) {
    for (const bool replaced : {false, true}) {
        SCOPED_TRACE(replaced ? "replaced" : "deleted");
        const fs::path at = root / "Cloud" / (replaced ? "Replaced.qfbackup" : "Deleted.qfbackup");
        testsupport::writeFile(first.home() / "a.txt", "one");
        ASSERT_EQ(start(first, {"add", "file", "a.txt"}, {}, at).get().exitCode, 0);
        ASSERT_EQ(start(first, {"backup"}, {}, at).get().exitCode, 0);
        testsupport::writeFile(first.home() / "a.txt", "two");

        const SavePause pause;
        auto backup = start(first, {"backup"}, pause.environment(), at);
        ASSERT_TRUE(pause.waitUntilPaused());
        fs::rename(at, root / (replaced ? "replaced-away" : "deleted-away"));
        if (replaced) testsupport::writeFile(at / "someone else's", "");
        pause.resume();
        const auto result = backup.get();

        EXPECT_EQ(result.exitCode, 3) << result.out;
        EXPECT_NE(result.err.find("moved or deleted"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(at.string()), std::string::npos) << result.err;
        if (replaced) {
            EXPECT_EQ(snapshot(at).size(), 1u);
        } else {
            EXPECT_FALSE(fs::exists(at));
        }
    }
}

TEST_F(OverlappingRunsTest, ASecondRunWaitsForTheFirstOrFailsAtOnceWithNoWait) {
    testsupport::writeFile(first.home() / "a.txt", "one");
    ASSERT_EQ(on(first, {"add", "file", "a.txt"}).exitCode, 0);

    const SavePause pause;
    auto backup = start(first, {"backup"}, pause.environment());
    ASSERT_TRUE(pause.waitUntilPaused());

    const auto refused = on(first, {"--no-wait", "history"});
    EXPECT_EQ(refused.exitCode, 3);
    EXPECT_NE(refused.err.find("in use by another run"), std::string::npos) << refused.err;

    auto waiting = start(second, {"history"});
    // Time for the second run to reach the lock; were it late, only the
    // message below would be missing.
    std::this_thread::sleep_for(1s);
    pause.resume();
    EXPECT_EQ(backup.get().exitCode, 0);
    const auto history = waiting.get();
    EXPECT_EQ(history.exitCode, 0) << history.err;
    EXPECT_NE(history.err.find("waiting for another Quillfen run on this package\u2026"),
              std::string::npos)
        << history.err;
    // It ran after the back-up had saved.
    EXPECT_NE(history.out.find("Back Up"), std::string::npos) << history.out;
}

TEST_F(OverlappingRunsTest, APackageThatIsNotThereIsNamedAndNotMadeExceptByABackUp) {
    const fs::path typo = root / "Cloud" / "Setings.qfbackup";
    const std::vector<std::vector<std::string>> commands{
        {"status"}, {"install"}, {"sync"}, {"history"}, {"note"}, {"undo"}, {"undo", "--list"}};
    for (const auto& command : commands) {
        SCOPED_TRACE(command.front() + (command.size() > 1 ? " " + command.back() : ""));
        const auto result = start(first, command, {}, typo).get();
        EXPECT_EQ(result.exitCode, 3);
        EXPECT_NE(result.err.find("does not exist"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(typo.string()), std::string::npos) << result.err;
        EXPECT_FALSE(fs::exists(typo));
    }
    // The default package is made on first use, as before.
    EXPECT_EQ(first.run({"status"}).exitCode, 0);
    EXPECT_TRUE(fs::is_directory(first.defaultPackage()));
    EXPECT_EQ(start(first, {"backup"}, {}, typo).get().exitCode, 0);
    EXPECT_TRUE(fs::is_directory(typo));
}

TEST_F(OverlappingRunsTest, CleanListsAndRemovesExactlyTheUnnamedCopiesOlderThanTheGracePeriod) {
    const fs::path settings = first.config() / "Quillfen" / "settings.json";
    auto values = readJSON(settings);
    values["OrphanCopyGracePeriod"] = 2;
    testsupport::writeFile(settings, values.dump());
    testsupport::writeFile(first.home() / "a.txt", "named");
    ASSERT_EQ(on(first, {"add", "file", "a.txt"}).exitCode, 0);
    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);

    const std::string old = "0F0F0F0F-0000-4000-8000-000000000001";
    const std::string recent = "0F0F0F0F-0000-4000-8000-000000000002";
    testsupport::writeFile(package / "Data" / (old + ".qfdata"), "0123456789");
    std::this_thread::sleep_for(2500ms);
    testsupport::writeFile(package / "Data" / (recent + ".qfdata"), "x");

    const nlohmann::json expected = {{{"name", old}, {"bytes", 10}}};
    const auto dry = jsonOn(first, {"package", "clean", "--dry-run"});
    EXPECT_EQ(dry["copies"], expected);
    EXPECT_TRUE(fs::exists(package / "Data" / (old + ".qfdata")));

    const auto cleaned = jsonOn(first, {"package", "clean"});
    EXPECT_EQ(cleaned["copies"], expected);
    EXPECT_EQ(cleaned["bytes"], 10);
    EXPECT_EQ(unnamedCopies(package), std::set<std::string>{recent});
    EXPECT_EQ(danglingRecords(package), std::vector<std::string>{});
}

}  // namespace
}  // namespace clitest
