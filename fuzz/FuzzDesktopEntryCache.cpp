// Fuzzes the reader of the desktop-entry cache, a file in the user's cache
// folder that anything may have written: the input becomes the cache file,
// which is loaded and asked for an entry; a cache that loads is saved and
// loaded again.
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "local/DesktopEntryCache.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One file per process, removed when it exits.
    static const struct Place {
        std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("quillfen-fuzz-cache-" + std::to_string(::getpid()));
        ~Place() {
            std::error_code ignored;
            std::filesystem::remove(file, ignored);
        }
    } place;
    const std::filesystem::path& file = place.file;
    {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    struct stat info {};
    info.st_dev = 1;
    info.st_ino = 2;
    info.st_size = 3;
    quillfen::DesktopEntryCache cache(file);
    if (const auto entry = cache.entry("/a.desktop", info)) {
        // What loads is written back whole and reads the same.
        cache.remember("/a.desktop", info, *entry);
        cache.save({"/a.desktop"});
        const quillfen::DesktopEntryCache again(file);
        if (again.entry("/a.desktop", info) != entry) __builtin_trap();
    }
    return 0;
}
