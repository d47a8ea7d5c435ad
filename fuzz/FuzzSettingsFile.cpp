// Fuzzes the reader of the settings file. Each input becomes the settings
// file; every value type is read from it, then one value is written and read
// back, which must work whatever the file held before.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "keel/UserSettings.h"

namespace fs = std::filesystem;
using keel::EvaluedUserSettingKey;
using keel::OptionalUserSettingKey;

namespace {

const fs::path& workFolder() {
    static const fs::path folder = [] {
        std::string pattern =
            (fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path()) /
            "quillfen-fuzz-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(workFolder(), ignored);
        });
        return fs::path(pattern);
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path file = workFolder() / "settings.json";
    std::error_code ignored;
    fs::remove(fs::path(file.string() + ".unreadable"), ignored);
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) std::abort();
    }

    auto& settings = keel::UserSettings::standard();
    settings.setFileURL(file);
    (void)settings.get(EvaluedUserSettingKey<bool>{"EnableNoteAfterProcessing", false});
    (void)settings.get(EvaluedUserSettingKey<std::int64_t>{"Count", 0});
    (void)settings.get(OptionalUserSettingKey<std::string>{"Text"});
    (void)settings.get(OptionalUserSettingKey<keel::Date>{"Date"});
    (void)settings.get(OptionalUserSettingKey<fs::path>{"BackupFileURLLocation"});
    (void)settings.get(OptionalUserSettingKey<keel::Data>{"AccessBookmarksData"});
    (void)settings.get(EvaluedUserSettingKey<std::vector<fs::path>>{"LocalExcludeFileURLs", {}});

    const EvaluedUserSettingKey<std::int64_t> written{"FuzzWritten", 0};
    settings.set(written, std::int64_t{42});
    settings.setFileURL(file);
    if (settings.get(written) != 42) {
        std::fprintf(stderr, "a written setting did not read back\n");
        std::abort();
    }
    return 0;
}
