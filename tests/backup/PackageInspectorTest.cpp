#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "backup/BackupFileData.h"
#include "backup/PackageInspector.h"
#include "support/TestSupport.h"

namespace quillfen {
namespace {

namespace fs = std::filesystem;
using testsupport::TemporaryDirectory;

TEST(PackageInspectorTest, TellsConflictCopiesFromThePackagesOwnFilesAndStrangers) {
    struct Case {
        const char* name;
        bool conflict;
    };
    const Case cases[] = {
        {"Apps (conflicted copy 2026-12-07).json", true},
        {"Apps.sync-conflict-20261207-101010-ABCDEF.json", true},
        {"Apps 2.json", true},
        {"Apps (1).json", true},
        {"Execs (1).json", true},
        {"Files 2.json", true},
        {"History (Laptop).json", true},
        {"Data 2.json", true},
        {"Notes (conflicted copy).json", true},
        {"Apps.json.json", true},
        // The package's own files and folder.
        {"Apps.json", false},
        {"Execs.json", false},
        {"Files.json", false},
        {"History.json", false},
        {"Data.json", false},
        {"Notes.json", false},
        {"Data", false},
        // Other names.
        {"Apps", false},
        {".json", false},
        {"Apps.json.bak", false},
        {"apps (1).json", false},
        {"Readme.json", false},
        {".Apps.json.qftmp-abc123", false},
        {"My Apps.json", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PackageInspector::isConflictCopyName(c.name), c.conflict) << c.name;
}

TEST(PackageInspectorTest, ListsTheConflictCopiesOfAPackageFolderInFinderOrder) {
    TemporaryDirectory temp;
    const fs::path package = temp / "Settings.qfbackup";
    for (const char* name :
         {"Apps.json", "Apps 10.json", "Apps 2.json", "Readme.json", "Notes.sync-conflict-1.json"})
        testsupport::writeFile(package / name, "[]");
    // A folder under such a name is named too: the user should look at it.
    fs::create_directories(package / "Data (1).json");
    fs::create_directories(package / "Data");

    EXPECT_EQ(PackageInspector::conflictCopies(package),
              (std::vector<std::string>{"Apps 2.json", "Apps 10.json", "Data (1).json",
                                        "Notes.sync-conflict-1.json"}));
    // Looking changes nothing.
    EXPECT_TRUE(fs::exists(package / "Apps 2.json"));

    EXPECT_TRUE(PackageInspector::conflictCopies(temp / "Missing.qfbackup").empty());
    testsupport::writeFile(temp / "File.qfbackup", "");
    EXPECT_TRUE(PackageInspector::conflictCopies(temp / "File.qfbackup").empty());
}

TEST(PackageInspectorTest, NamesTheRecordsWhoseCopyIsNotInThePackage) {
    TemporaryDirectory temp;
    const fs::path package = temp / "Settings.qfbackup";
    const auto record = [](const char* uuid) {
        return BackupDataItem{uuid, keel::Date{700'000'000.0}, std::nullopt};
    };
    const BackupFileData::DataItems records{
        {".curlrc", record("11111111-1111-1111-1111-111111111111")},
        {".config/fish", record("22222222-2222-2222-2222-222222222222")},
        {".ssh/config", record("33333333-3333-3333-3333-333333333333")},
        {".nanorc", record("44444444-4444-4444-4444-444444444444")},
    };
    // Nothing arrived yet: every record lacks its copy.
    EXPECT_EQ(PackageInspector::missingCopies(package, records),
              (std::vector<std::string>{".config/fish", ".curlrc", ".nanorc", ".ssh/config"}));

    testsupport::writeFile(package / "Data" / "11111111-1111-1111-1111-111111111111.qfdata", "x");
    // A copy of a folder is a folder.
    fs::create_directories(package / "Data" / "22222222-2222-2222-2222-222222222222.qfdata");
    // A copy under another extension or in the package's top folder does not count.
    testsupport::writeFile(package / "Data" / "33333333-3333-3333-3333-333333333333", "x");
    testsupport::writeFile(package / "44444444-4444-4444-4444-444444444444.qfdata", "x");
    EXPECT_EQ(PackageInspector::missingCopies(package, records),
              (std::vector<std::string>{".nanorc", ".ssh/config"}));
    EXPECT_TRUE(PackageInspector::missingCopies(package, {}).empty());
}

TEST(PackageInspectorTest, NamesConflictCopiesOfTheDataFolderAndOfDataCopies) {
    TemporaryDirectory temp;
    const fs::path package = temp / "Settings.qfbackup";
    const std::string uuid = "11111111-1111-1111-1111-111111111111";
    struct Entry {
        std::string path;
        bool folder;
        bool conflict;
    };
    const std::vector<Entry> entries = {
        {"Data", true, false},
        {"Data/" + uuid + ".qfdata", false, false},
        {"Data/22222222-2222-2222-2222-222222222222.qfdata", true, false},
        {"Data 2", true, true},
        {"Data (1)", true, true},
        {"Data (conflicted copy 2026-12-07)", true, true},
        {"Data.sync-conflict-20261207-101010-ABCDEF", true, true},
        {"Data/" + uuid + " 2.qfdata", false, true},
        {"Data/" + uuid + " (conflicted copy 2026-12-07).qfdata", true, true},
        {"Data/" + uuid + ".sync-conflict-20261207-101010-ABCDEF.qfdata", false, true},
        // A file under a folder conflict's name, a folder under a list
        // file's name, and what a copy in progress leaves.
        {"Data.json.bak", false, false},
        {"Database", true, false},
        {"Data.json", true, false},
        {"Data/." + uuid + ".qfdata.qftmp-0123456789abcdef", false, false},
        {"Data/notes.txt", false, false},
        {"Data/" + uuid, false, false},
    };
    std::vector<std::string> expected;
    for (const auto& entry : entries) {
        if (entry.folder)
            fs::create_directories(package / entry.path);
        else
            testsupport::writeFile(package / entry.path, "x");
        if (entry.conflict) expected.push_back(entry.path);
    }
    auto found = PackageInspector::conflictCopies(package);
    std::sort(found.begin(), found.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);
}

TEST(PackageInspectorTest, NeverLooksThroughADataLinkLeadingOutOfThePackage) {
    TemporaryDirectory temp;
    const fs::path package = temp / "Settings.qfbackup";
    const fs::path outside = temp / "outside";
    const std::string uuid = "11111111-1111-1111-1111-111111111111";
    testsupport::writeFile(outside / (uuid + ".qfdata"), "canary");
    testsupport::writeFile(outside / (uuid + " 2.qfdata"), "canary");
    fs::create_directories(package / "Inside");
    testsupport::writeFile(package / "Inside" / (uuid + ".qfdata"), "copy");
    const BackupFileData::DataItems records{
        {".curlrc", BackupDataItem{uuid, keel::Date{1.0}, std::nullopt}}};

    const std::vector<std::pair<const char*, fs::path>> links = {
        {"a folder outside", outside},
        {"a relative path outside", fs::path("..") / "outside"},
        {"the package itself", "."},
    };
    for (const auto& [what, target] : links) {
        SCOPED_TRACE(what);
        fs::remove(package / "Data");
        fs::create_directory_symlink(target, package / "Data");
        EXPECT_EQ(PackageInspector::missingCopies(package, records),
                  std::vector<std::string>{".curlrc"});
        EXPECT_TRUE(PackageInspector::conflictCopies(package).empty());
    }
    // A link to a folder inside the package is followed, as the package does.
    fs::remove(package / "Data");
    fs::create_directory_symlink("Inside", package / "Data");
    EXPECT_TRUE(PackageInspector::missingCopies(package, records).empty());
}

}  // namespace
}  // namespace quillfen
