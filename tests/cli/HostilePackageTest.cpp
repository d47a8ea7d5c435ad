// The built program on packages that a cloud drive or another person left in
// a state Quillfen never writes: what the user reads, and that nothing is
// lost.
#include <algorithm>
#include <cctype>

#include "cli/CommandLineFixture.h"

namespace clitest {
namespace {

// Whether `text` starts with a date as "YYYY-MM-DD ".
bool startsWithReadableDate(const std::string& text) {
    const std::string shape = "dddd-dd-dd ";
    if (text.size() < shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool digit = std::isdigit(static_cast<unsigned char>(text[i])) != 0;
        if (shape[i] == 'd' ? !digit : text[i] != shape[i]) return false;
    }
    return true;
}

class HostilePackageTest : public CommandLineTest {
protected:
    void SetUp() override {
        authorize(first);
        writeSetting(first, ".curlrc", "--silent\n");
        writeSetting(first, ".config/tool/a.conf", "a\n");
        ASSERT_EQ(on(first, {"add", "exec", "curl"}).exitCode, 0);
        ASSERT_EQ(on(first, {"add", "file", ".config/tool"}).exitCode, 0);
        ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    }
};

TEST_F(HostilePackageTest, ConflictCopiesOfTheDataFolderAndOfACopyAreNamedAndKept) {
    const fs::path curlCopy = dataCopy(".curlrc");
    const fs::path folderCopy = dataCopy(".config/tool");
    ASSERT_TRUE(fs::exists(curlCopy) && fs::exists(folderCopy));
    const std::string uuid = curlCopy.stem().string();
    const std::vector<std::string> conflicts{
        "Data 2",
        "Data (conflicted copy 2026-12-07)",
        "Data/" + uuid + " 2.qfdata",
        "Data/" + folderCopy.stem().string() + ".sync-conflict-20261207-101010-ABCDEF.qfdata",
    };
    fs::create_directories(package / conflicts[0]);
    fs::copy(package / "Data", package / conflicts[1], fs::copy_options::recursive);
    fs::copy(curlCopy, package / conflicts[2]);
    fs::copy(folderCopy, package / conflicts[3], fs::copy_options::recursive);

    const auto text = on(first, {"status"});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    const auto warnings = text.warnings();
    EXPECT_EQ(warnings.size(), conflicts.size()) << text.err;
    for (const auto& name : conflicts) {
        EXPECT_TRUE(std::any_of(warnings.begin(), warnings.end(),
                                [&](const std::string& warning) {
                                    return warning.starts_with((package / name).string() + ":");
                                }))
            << name << "\n"
            << text.err;
    }

    ASSERT_EQ(on(first, {"backup"}).exitCode, 0);
    for (const auto& name : conflicts)
        EXPECT_TRUE(fs::exists(package / name)) << name;
}

// A date the program never writes, far before or after any computer's
// clock, is shown as a date a person can read or as unknown, never as a
// year of nine digits (converting such a value to time_t is undefined).
TEST_F(HostilePackageTest, DatesFarOutOfRangeAreNotPrintedAsNonsense) {
    for (const char* date : {"1e300", "-1e300", "1e17", "-1e17"}) {
        SCOPED_TRACE(date);
        testsupport::writeFile(package / "History.json",
                               std::string(R"([{"action": "BackUp", "date": )") + date + "}]");
        const auto history = on(first, {"history"});
        EXPECT_EQ(history.exitCode, 0) << history.err;
        EXPECT_TRUE(startsWithReadableDate(history.out) || history.out.starts_with("unknown"))
            << history.out;
    }
}

}  // namespace
}  // namespace clitest
