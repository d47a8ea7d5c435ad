// Packages as a replicated or shared folder may deliver them: truncated,
// altered, missing files, doubled records, hostile shapes. Opening either
// succeeds or throws a BackupDecodingError naming the broken file; it never
// writes anything, in the package or outside it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "backup/BackupError.h"
#include "backup/BackupFileData.h"
#include "catalog/BackupDecodingError.h"
#include "keel/JSONLimits.h"
#include "support/PackageSnapshot.h"
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
    testsupport::ScopedEnv dataEnv{"XDG_DATA_HOME", (dir / "support").string()};
    testsupport::ScopedEnv configEnv{"XDG_CONFIG_HOME", (dir / "config").string()};

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
        // Every length of a small file, about 64 spread over a larger one;
        // always the cut just before the last bracket and the one that drops
        // only the final newline.
        std::vector<std::string> cuts;
        const std::size_t step = text.size() <= 1024 ? 1 : text.size() / 64;
        for (std::size_t length = 0; length + 2 < text.size(); length += step)
            cuts.push_back(text.substr(0, length));
        cuts.push_back(text.substr(0, text.size() - 2));
        cuts.push_back(text.substr(0, text.size() - 1));
        variants += static_cast<int>(cuts.size());
        return cuts;
    });
    // Only the cut of the trailing newline leaves a whole document.
    EXPECT_EQ(opened, static_cast<int>(std::size(kListFiles)));
    EXPECT_GT(variants, 500);
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
    try {
        data.restoreData(kCopyName, home / ".toolrc");
        ADD_FAILURE() << "a missing copy was restored";
    } catch (const BackupError& error) {
        EXPECT_EQ(error.code(), BackupError::Code::dataCopyHasNotArrived);
    }
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

// Whole files replaced by what a broken disk, a half-finished download or
// another program leaves: each list file in turn.
TEST_F(BackupCorruptionTest, ForeignContentInAnyFileFailsWithItsName) {
    struct Case {
        const char* what;
        std::function<std::string(const std::string&)> text;
        bool opens;
    };
    const std::vector<Case> table = {
        {"an empty file", [](const std::string&) { return std::string(); }, false},
        {"white space only", [](const std::string&) { return std::string(" \n\t\r\n"); }, false},
        {"NUL bytes", [](const std::string&) { return std::string(4096, '\0'); }, false},
        {"NUL bytes after the document",
         [](const std::string& text) { return text + std::string(16, '\0'); }, false},
        {"a NUL byte, then another document",
         [](const std::string& text) { return text + std::string(1, '\0') + text; }, false},
        {"a byte that is never UTF-8", [](const std::string&) { return std::string("\xFF"); },
         false},
        {"the document in UTF-16",
         [](const std::string& text) {
             std::string wide = "\xFF\xFE";
             for (const char c : text) {
                 wide += c;
                 wide += '\0';
             }
             return wide;
         },
         false},
        {"JSON null", [](const std::string&) { return std::string("null"); }, false},
        {"a bare string", [](const std::string&) { return std::string("\"Apps\""); }, false},
        {"a number out of range", [](const std::string&) { return std::string("1e400"); }, false},
        {"NaN spelled out", [](const std::string&) { return std::string("NaN"); }, false},
        {"two documents", [](const std::string& text) { return text + text; }, false},
        {"a comment after the document",
         [](const std::string& text) { return text + "// written by hand\n"; }, false},
        // What an editor may add or change without changing the content.
        {"a UTF-8 byte order mark", [](const std::string& text) { return "\xEF\xBB\xBF" + text; },
         true},
        {"Windows line ends",
         [](const std::string& text) {
             std::string crlf;
             for (const char c : text)
                 crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
             return crlf;
         },
         true},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        const int opened = forEachDamagedFile(
            [&](const std::string& text) { return std::vector<std::string>{c.text(text)}; });
        EXPECT_EQ(opened, c.opens ? static_cast<int>(std::size(kListFiles)) : 0);
    }
}

// Records whose text is valid JSON but whose values are not what the
// package holds. `opens` is empty where either outcome is sound, as long as
// a failure names the file.
TEST_F(BackupCorruptionTest, WrongTypesAndValuesFailWithTheFileName) {
    const std::string uuid = std::string("\"") + kCopyName + "\"";
    struct Case {
        const char* file;
        std::string text;
        std::optional<bool> opens;
    };
    const std::vector<Case> table = {
        {"Apps.json", R"([{"name": 7, "isEnabled": true}])", false},
        {"Apps.json", R"([{"name": "A", "isEnabled": 1}])", false},
        {"Apps.json", R"([{"name": "A", "isEnabled": null}])", false},
        {"Apps.json", R"([{"name": "A", "isEnabled": "true"}])", false},
        {"Apps.json", R"([{"name": "A", "isEnabled": true, "comment": 5}])", false},
        {"Apps.json", R"([{"name": "A"}])", false},
        {"Apps.json", R"([["A", true]])", false},
        {"Apps.json", R"([null])", false},
        {"Apps.json", R"([{"name": "A", "isEnabled": true, "unknown": [1, 2]}])", true},
        {"Apps.json", R"([{"name": "A\ud800", "isEnabled": true}])", false},
        {"Execs.json", R"({"name": "git", "isEnabled": true})", false},
        {"Files.json", R"([{"path": ["a"], "isEnabled": true}])", false},
        {"Files.json", R"([{"path": "a\u0000b", "isEnabled": true}])", std::nullopt},
        {"History.json", R"([{"action": "backUp", "date": 1}])", false},
        {"History.json", R"([{"action": "BackUp ", "date": 1}])", false},
        {"History.json", R"([{"action": "", "date": 1}])", false},
        {"History.json", R"([{"action": 4, "date": 1}])", false},
        {"History.json", R"([{"action": "BackUp", "date": "2026-12-07T10:10:10Z"}])", false},
        {"History.json", R"([{"action": "BackUp", "date": 1e400}])", false},
        {"History.json", R"([{"action": "BackUp", "date": -1e400}])", false},
        {"History.json", R"([{"action": "BackUp", "date": NaN}])", false},
        {"History.json", R"([{"action": "BackUp", "date": Infinity}])", false},
        {"History.json", R"([{"action": "BackUp", "date": 0x10}])", false},
        {"History.json", R"([{"action": "BackUp", "date": -0}])", true},
        {"History.json", R"([{"action": "BackUp", "date": 1e300}])", std::nullopt},
        {"History.json", R"([{"action": "BackUp", "date": -1e300}])", std::nullopt},
        {"History.json", R"([{"action": "BackUp", "date": 123456789012345678901234567890}])",
         std::nullopt},
        {"Data.json", R"({".toolrc": {"uuid": )" + uuid + R"(, "backupDate": "now"}})", false},
        {"Data.json", R"({".toolrc": {"uuid": )" + uuid + R"(}})", false},
        {"Data.json",
         R"({".toolrc": {"uuid": )" + uuid + R"(, "backupDate": 1, "originalDate": null}})", true},
        {"Data.json",
         R"({".toolrc": {"uuid": )" + uuid + R"(, "backupDate": 1, "originalDate": 1e999}})",
         false},
        {"Data.json", R"({".toolrc": )" + uuid + "}", false},
        {"Data.json", R"({".toolrc": null})", false},
        {"Data.json", R"({".toolrc": {"uuid": null, "backupDate": 1}})", false},
        {"Notes.json", R"([{"content": 12}])", false},
        {"Notes.json", R"(["just text"])", false},
        {"Notes.json", R"([{"content": "\uDC00 lone"}])", false},
        {"Notes.json", R"([])", true},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.text);
        const fs::path file = package / c.file;
        const std::string original = readFile(file);
        writeFile(file, c.text);
        const bool opened = opensOrNames(file, c.text);
        if (c.opens) {
            EXPECT_EQ(opened, *c.opens);
        }
        writeFile(file, original);
    }
}

// UUIDs name files, so a record can reach outside "Data" only through its
// "uuid": every value that is not a UUID in its text form fails the file.
TEST_F(BackupCorruptionTest, DataRecordsWhoseCopyNameIsNotAUUIDFailTheFile) {
    const std::vector<std::pair<std::string, bool>> names = {
        {"0f1e2d3c-4b5a-4968-8776-a5b4c3d2e1f0", true},  // lower case names the same file
        {"../../outside/canary", false},
        {"/etc/passwd", false},
        {"..", false},
        {"", false},
        {"{0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0}", false},
        {"0F1E2D3C4B5A49688776A5B4C3D2E1F0", false},
        {"0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F0.qfdata", false},
        {"0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F/", false},
        {"0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1G0", false},
        {std::string("0F1E2D3C-4B5A-4968-8776-A5B4C3D2E1F") + '\0', false},
    };
    const fs::path file = package / "Data.json";
    for (const auto& [name, valid] : names) {
        SCOPED_TRACE(name);
        writeFile(file, json{{".toolrc", {{"uuid", name}, {"backupDate", 1.0}}}}.dump());
        EXPECT_EQ(opensOrNames(file, name), valid);
    }
}

// The same key twice: in a list the later record wins, and in "Data.json"
// the later member; either way one record per key.
TEST_F(BackupCorruptionTest, ConflictingRecordsForOneKeyKeepTheLaterOne) {
    writeFile(package / "Files.json",
              R"([{"path": ".toolrc", "isEnabled": true, "comment": "first"},
                  {"path": ".toolrc", "isEnabled": false, "comment": "second"}])");
    writeFile(package / "Data.json",
              R"({".toolrc": {"uuid": "11111111-1111-1111-1111-111111111111", "backupDate": 1},
                  ".toolrc": {"uuid": "22222222-2222-2222-2222-222222222222", "backupDate": 2}})");
    ASSERT_TRUE(opensOrNames(package / "Files.json", "conflicting records"));
    const BackupFileData data(package);
    ASSERT_EQ(data.fileItems().size(), 1u);
    EXPECT_EQ(data.fileItems().at(".toolrc").comment, "second");
    EXPECT_FALSE(data.fileItems().at(".toolrc").isEnabled);
    ASSERT_EQ(data.dataItems().size(), 1u);
    EXPECT_EQ(data.dataItems().at(".toolrc").uuid, "22222222-2222-2222-2222-222222222222");
}

// Every list file replaced by something that is not a regular file.
TEST_F(BackupCorruptionTest, AnyFileReplacedByAFolderALinkOrAPipe) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> plant;
        bool opens;
    };
    const std::vector<Case> table = {
        {"deleted", [](const fs::path&) {}, true},
        {"a folder", [](const fs::path& file) { fs::create_directory(file); }, true},
        {"a folder holding a file of the right name",
         [](const fs::path& file) { writeFile(file / "Apps.json", "[]"); }, true},
        {"a link to a file outside",
         [&](const fs::path& file) { fs::create_symlink(outside / "canary.txt", file); }, false},
        {"a link to a valid copy inside the package",
         [&](const fs::path& file) {
             writeFile(package / "Copy.json", "[]");
             fs::create_symlink("Copy.json", file);
         },
         false},
        {"a link to a folder", [&](const fs::path& file) { fs::create_symlink(outside, file); },
         false},
        {"a link to a link outside",
         [&](const fs::path& file) {
             fs::create_symlink(outside / "canary.txt", package / "Hop");
             fs::create_symlink("Hop", file);
         },
         false},
        {"a pipe", [](const fs::path& file) { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); }, false},
    };
    for (std::size_t index = 0; index < std::size(kListFiles); ++index) {
        const fs::path file = package / kListFiles[index];
        for (const auto& c : table) {
            SCOPED_TRACE(std::string(kListFiles[index]) + ", " + c.what);
            fs::remove_all(file);
            c.plant(file);
            EXPECT_EQ(opensOrNames(file, c.what), c.opens);
            fs::remove_all(file);
            fs::remove(package / "Copy.json");
            fs::remove(package / "Hop");
            writeFile(file, originals[index]);
        }
    }
}

}  // namespace
