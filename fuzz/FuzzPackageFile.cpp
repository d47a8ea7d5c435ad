// Fuzzes the reader of one package file, named by QUILLFEN_FUZZ_FILE at build
// time ("Apps.json", ...). Each input becomes that file of a package on disk,
// read through the same path as a real package. A package that opens must
// also save, and read back to the same lists: nothing Quillfen writes may be
// refused or changed by its own reader.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "backup/BackupFileData.h"
#include "catalog/BackupDecodingError.h"

#ifndef QUILLFEN_FUZZ_FILE
#error "QUILLFEN_FUZZ_FILE names the package file to fuzz"
#endif

namespace fs = std::filesystem;
using quillfen::BackupFileData;

namespace {

// A private folder for this process, in memory when the system offers one.
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

void writeInput(const fs::path& file, const uint8_t* data, size_t size) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!out) std::abort();
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path package = workFolder() / "Input.qfbackup";
    const fs::path copy = workFolder() / "Copy.qfbackup";
    fs::create_directories(package);
    writeInput(package / QUILLFEN_FUZZ_FILE, data, size);

    try {
        BackupFileData opened(package);

        // Save every list into a fresh package and read it back.
        std::error_code ignored;
        fs::remove_all(copy, ignored);
        BackupFileData saved(copy);
        saved.setAppItems(opened.appItems());
        saved.setExecItems(opened.execItems());
        saved.setFileItems(opened.fileItems());
        saved.setEventItems(opened.eventItems());
        saved.setDataItems(opened.dataItems());
        saved.setNoteItems(opened.noteItems());
        saved.write();

        BackupFileData reread(copy);
        if (reread.appItems() != opened.appItems()) fail("apps changed in a round trip");
        if (reread.execItems() != opened.execItems()) fail("executables changed in a round trip");
        if (reread.fileItems() != opened.fileItems()) fail("files changed in a round trip");
        if (reread.eventItems() != opened.eventItems()) fail("history changed in a round trip");
        if (reread.dataItems() != opened.dataItems()) fail("data records changed in a round trip");
        if (reread.noteItems() != opened.noteItems()) fail("notes changed in a round trip");
    } catch (const quillfen::BackupDecodingError&) {
        // The expected answer to a broken file; anything else escapes and
        // stops the fuzzer.
    }
    return 0;
}
