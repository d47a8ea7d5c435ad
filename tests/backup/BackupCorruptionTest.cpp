// Packages as a replicated or shared folder may deliver them: truncated,
// altered, missing files, doubled records, hostile shapes. Opening either
// succeeds or throws a BackupDecodingError naming the broken file; it never
// writes anything, in the package or outside it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "PackageSnapshot.h"
#include "backup/BackupDecodingError.h"
#include "backup/BackupFileData.h"
#include "keel/JSONLimits.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using nlohmann::json;
using namespace quillfen;
using quillfen::testing::snapshotOf;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const char* const kListFiles[] = {"Apps.json",    "Execs.json", "Files.json",
                                  "History.json", "Data.json",  "Notes.json"};
constexpr const char* kCopyName = "0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0";

class BackupCorruptionTest : public ::testing::Test {
protected:
    testsupport::TemporaryDirectory dir;
    fs::path package = dir / "Shared.qfbackup";
    fs::path home = dir / "home";
    fs::path outside = dir / "outside";
    testsupport::ScopedEnv homeEnv{"HOME", home.string()};

    void SetUp() override {
        writeFile(home / ".toolrc", "local settings");
        writeFile(outside / "canary.txt", "must stay");
        writeFile(outside / "folder" / "inner.txt", "must stay too");

        BackupFileData data(package);
        data.setAppItems({{"Hazel", {"Hazel", true, "a comment"}},
                          {"Tower 2", {"Tower 2", false, std::nullopt}},
                          {"Tower 10", {"Tower 10", true, std::nullopt}}});
        data.setExecItems({{"git", {"git", true, std::nullopt}}});
        data.setFileItems({{".toolrc", {".toolrc", true, "file/with\\slashes"}}});
        data.setEventItems({{SyncAction::backUp, keel::Date{700000000.25}, "Laptop"},
                            {SyncAction::install, keel::Date{690000000.5}, std::nullopt}});
        data.setDataItems({{".toolrc", {kCopyName, keel::Date{700000000.0}, keel::Date{1.5}}}});
        data.setNoteItems({BackupNoteItem{"# Notes\n\nWith \"quotes\" and ünïcode."}});
        data.storeData(home / ".toolrc", kCopyName);
        data.write();
        for (const char* file : kListFiles)
            originals.push_back(readFile(package / file));
    }

    // Opens the package as it now is. Anything but success or a decoding
    // error that names `file` fails the test, and so does any change in the
    // package, in the home folder or in the folder of canaries.
    bool opensOrNames(const fs::path& file, const std::string& label) {
        const auto packageBefore = snapshotOf(package);
        const auto homeBefore = snapshotOf(home);
        const auto outsideBefore = snapshotOf(outside);
        bool opened = false;
        try {
            BackupFileData data(package);
            opened = true;
        } catch (const BackupDecodingError& error) {
            EXPECT_EQ(error.file(), file) << label << ": " << error.what();
            EXPECT_LT(std::string(error.what()).size(), 1000u) << label;
        } catch (const std::exception& error) {
            ADD_FAILURE() << label << ": unexpected error " << error.what();
        }
        EXPECT_EQ(snapshotOf(package), packageBefore) << label;
        EXPECT_EQ(snapshotOf(home), homeBefore) << label;
        EXPECT_EQ(snapshotOf(outside), outsideBefore) << label;
        return opened;
    }

    // Runs `damage` on each list file in turn, each time on a fresh copy of
    // the original, and checks opening. Returns how many damaged packages
    // still opened.
    int forEachDamagedFile(
        const std::function<std::vector<std::string>(const std::string&)>& variants) {
        int opened = 0;
        for (std::size_t index = 0; index < std::size(kListFiles); ++index) {
            const fs::path file = package / kListFiles[index];
            const auto texts = variants(originals[index]);
            for (std::size_t v = 0; v < texts.size(); ++v) {
                writeFile(file, texts[v]);
                opened += opensOrNames(file, std::string(kListFiles[index]) + " variant " +
                                                 std::to_string(v))
                              ? 1
                              : 0;
            }
            writeFile(file, originals[index]);
        }
        return opened;
    }

    std::vector<std::string> originals;
};

TEST_F(BackupCorruptionTest, TruncatedFilesFailWithTheirNameAndWriteNothing) {
    int variants = 0;
    const int opened = forEachDamagedFile([&](const std::string& text) {
        std::vector<std::string> cuts;
        const std::size_t step = std::max<std::size_t>(1, text.size() / 40);
        for (std::size_t length = 0; length + 2 < text.size(); length += step)
            cuts.push_back(text.substr(0, length));
        // Just before the last bracket, and without the final newline only.
        cuts.push_back(text.substr(0, text.size() - 2));
        cuts.push_back(text.substr(0, text.size() - 1));
        variants += static_cast<int>(cuts.size());
        return cuts;
    });
    // Only the cut of the trailing newline leaves a whole document.
    EXPECT_EQ(opened, static_cast<int>(std::size(kListFiles)));
    EXPECT_GT(variants, 200);
}

TEST_F(BackupCorruptionTest, AlteredBytesEitherStillDecodeOrFailWithTheFileName) {
    int variants = 0;
    const int opened = forEachDamagedFile([&](const std::string& text) {
        std::vector<std::string> altered;
        const std::size_t step = std::max<std::size_t>(1, text.size() / 25);
        for (std::size_t at = 0; at < text.size(); at += step) {
            for (const unsigned char mask : {0x01, 0x20, 0x80, 0xFF}) {
                std::string copy = text;
                copy[at] = static_cast<char>(static_cast<unsigned char>(copy[at]) ^ mask);
                altered.push_back(copy);
            }
            std::string zero = text;
            zero[at] = '\0';
            altered.push_back(zero);
        }
        variants += static_cast<int>(altered.size());
        return altered;
    });
    // Some changes hit white space or letters of a string and keep the file
    // valid; most do not.
    EXPECT_GT(opened, 0);
    EXPECT_LT(opened, variants / 2);
}

TEST_F(BackupCorruptionTest, AMissingFileReadsAsAnEmptyListAndLeavesTheOthers) {
    for (std::size_t index = 0; index < std::size(kListFiles); ++index) {
        SCOPED_TRACE(kListFiles[index]);
        fs::remove(package / kListFiles[index]);
        ASSERT_TRUE(opensOrNames(package / kListFiles[index], "missing"));
        const BackupFileData data(package);
        const std::vector<std::size_t> sizes = {data.appItems().size(),  data.execItems().size(),
                                                data.fileItems().size(), data.eventItems().size(),
                                                data.dataItems().size(), data.noteItems().size()};
        const std::vector<std::size_t> full = {3, 1, 1, 2, 1, 1};
        for (std::size_t other = 0; other < sizes.size(); ++other)
            EXPECT_EQ(sizes[other], other == index ? 0 : full[other]) << kListFiles[other];
        writeFile(package / kListFiles[index], originals[index]);
    }
    // A half-replicated package: the records arrived, the copy did not.
    fs::remove_all(package / "Data");
    ASSERT_TRUE(opensOrNames(package / "Data.json", "no data folder"));
    BackupFileData data(package);
    data.restoreData(kCopyName, home / ".toolrc");
    EXPECT_EQ(readFile(home / ".toolrc"), "local settings");
}

TEST_F(BackupCorruptionTest, DoubledRecordsOpenWithOneRecordPerKey) {
    auto doubled = [](const std::string& text) {
        json content = json::parse(text);
        if (content.is_array()) {
            json twice = json::array();
            for (const auto& record : content) {
                twice.push_back(record);
                twice.push_back(record);
            }
            return twice.dump(2);
        }
        // A member twice in one object: the text form keeps both.
        const std::string member = content.begin().value().dump();
        return "{\"" + content.begin().key() + "\": " + member + ", " + text.substr(1);
    };
    for (std::size_t index = 0; index < std::size(kListFiles); ++index)
        writeFile(package / kListFiles[index], doubled(originals[index]));
    ASSERT_TRUE(opensOrNames(package / "Apps.json", "doubled"));

    const BackupFileData data(package);
    EXPECT_EQ(data.appItems().size(), 3u);
    EXPECT_EQ(data.appItems().at("Hazel").comment, "a comment");
    EXPECT_EQ(data.execItems().size(), 1u);
    EXPECT_EQ(data.fileItems().size(), 1u);
    EXPECT_EQ(data.eventItems().size(), 4u);  // a history keeps what it holds
    EXPECT_EQ(data.dataItems().size(), 1u);
    EXPECT_EQ(data.dataItems().at(".toolrc").uuid, kCopyName);
    EXPECT_EQ(data.noteItems().size(), 2u);
}

TEST_F(BackupCorruptionTest, HostileShapesAreRefusedBeforeTheyAreParsed) {
    const fs::path apps = package / "Apps.json";
    std::string deep;
    for (int i = 0; i < 65; ++i)
        deep += "[";
    deep += std::string(65, ']');
    std::string shallowEnough = "[{\"name\": \"A\", \"isEnabled\": true, \"comment\": \"";
    shallowEnough += std::string(100000, '[') + "\"}]";

    struct Case {
        const char* what;
        std::function<void()> plant;
        const char* reasonPart;  // empty when the package opens
    };
    const std::vector<Case> table = {
        {"larger than the bound",
         [&] {
             writeFile(apps, "");
             fs::resize_file(apps, keel::JSONLimits::defaultMaximumSize + 1);
         },
         "64 MiB"},
        {"nested past the bound", [&] { writeFile(apps, deep); }, "64 levels"},
        {"brackets in a string are no nesting", [&] { writeFile(apps, shallowEnough); }, ""},
        {"a long unterminated string", [&] { writeFile(apps, "[\"" + std::string(1 << 20, 'x')); },
         "parse error"},
        {"a pipe", [&] { ASSERT_EQ(::mkfifo(apps.c_str(), 0600), 0); }, "not a regular file"},
        {"a link to a file outside", [&] { fs::create_symlink(outside / "canary.txt", apps); },
         "symbolic link"},
        {"a link to a folder outside", [&] { fs::create_symlink(outside / "folder", apps); },
         "symbolic link"},
        {"a dangling link", [&] { fs::create_symlink(outside / "missing.json", apps); },
         "symbolic link"},
        {"a folder", [&] { fs::create_directory(apps); }, ""},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        fs::remove_all(apps);
        c.plant();
        const bool opened = opensOrNames(apps, c.what);
        EXPECT_EQ(opened, std::string(c.reasonPart).empty());
        if (!opened) {
            try {
                BackupFileData data(package);
            } catch (const BackupDecodingError& error) {
                EXPECT_NE(error.reason().find(c.reasonPart), std::string::npos) << error.what();
            }
        }
    }
}

TEST_F(BackupCorruptionTest, ErrorsQuoteLittleOfALongMemberName) {
    fs::remove(package / "Apps.json");
    const std::string name(1 << 20, 'k');
    writeFile(package / "Data.json", "{\"" + name + "\": {\"uuid\": 1}}");
    EXPECT_FALSE(opensOrNames(package / "Data.json", "a long member name"));
}

TEST_F(BackupCorruptionTest, AListTooLargeToReadBackIsNotWritten) {
    BackupFileData data(package);
    data.setNoteItems({BackupNoteItem{std::string(keel::JSONLimits::defaultMaximumSize, 'n')}});
    const auto before = snapshotOf(package);
    try {
        data.write();
        ADD_FAILURE() << "a note larger than the bound was written";
    } catch (const fs::filesystem_error& error) {
        EXPECT_EQ(error.code(), std::errc::file_too_large);
        EXPECT_EQ(error.path1(), package / "Notes.json");
    }
    EXPECT_EQ(snapshotOf(package), before);
    EXPECT_TRUE(data.needsToWriteNoteItems());

    data.setNoteItems({BackupNoteItem{"short again"}});
    data.write();
    EXPECT_EQ(BackupFileData(package).noteItems(), data.noteItems());
}

}  // namespace
