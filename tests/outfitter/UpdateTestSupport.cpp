#include "UpdateTestSupport.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "OutfitterTestSupport.h"
#include "outfitter/PerUserInstall.h"

namespace fs = std::filesystem;

namespace outfittertest {

namespace {

la_ssize_t appendTo(archive*, void* output, const void* buffer, size_t length) {
    static_cast<std::string*>(output)->append(static_cast<const char*>(buffer), length);
    return static_cast<la_ssize_t>(length);
}

}  // namespace

std::string makeTarGz(const std::vector<ArchiveEntry>& entries) {
    std::string bytes;
    std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(),
                                                                   archive_write_free);
    archive_write_set_format_pax_restricted(writer.get());
    archive_write_add_filter_gzip(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    if (archive_write_open(writer.get(), &bytes, nullptr, appendTo, nullptr) != ARCHIVE_OK)
        throw std::runtime_error("cannot start an archive");
    for (const ArchiveEntry& item : entries) {
        std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                            archive_entry_free);
        archive_entry_set_pathname(entry.get(), item.name.c_str());
        archive_entry_set_perm(entry.get(), item.mode);
        archive_entry_set_mtime(entry.get(), 1700000000, 0);
        switch (item.kind) {
            case ArchiveEntry::Kind::file:
                archive_entry_set_filetype(entry.get(), AE_IFREG);
                archive_entry_set_size(entry.get(), static_cast<la_int64_t>(item.content.size()));
                break;
            case ArchiveEntry::Kind::folder:
                archive_entry_set_filetype(entry.get(), AE_IFDIR);
                break;
            case ArchiveEntry::Kind::symlink:
                archive_entry_set_filetype(entry.get(), AE_IFLNK);
                archive_entry_set_symlink(entry.get(), item.content.c_str());
                break;
            case ArchiveEntry::Kind::hardlink:
                archive_entry_set_filetype(entry.get(), AE_IFREG);
                archive_entry_set_hardlink(entry.get(), item.content.c_str());
                break;
            case ArchiveEntry::Kind::device:
                archive_entry_set_filetype(entry.get(), AE_IFCHR);
                archive_entry_set_rdev(entry.get(), makedev(1, 3));
                break;
        }
        if (archive_write_header(writer.get(), entry.get()) != ARCHIVE_OK)
            throw std::runtime_error(archive_error_string(writer.get()));
        if (item.kind == ArchiveEntry::Kind::file && !item.content.empty())
            archive_write_data(writer.get(), item.content.data(), item.content.size());
    }
    archive_write_close(writer.get());
    return bytes;
}

std::string fakeProgram(std::string_view marker) {
    std::ifstream self("/proc/self/exe", std::ios::binary);
    std::string header(64, '\0');
    self.read(header.data(), static_cast<std::streamsize>(header.size()));
    return header + std::string(marker);
}

std::vector<ArchiveEntry> releaseEntries(const std::string& version) {
    return {
        {ArchiveEntry::Kind::folder, "./bin", {}, 0755},
        ArchiveEntry::file("./bin/quillfen-gui", fakeProgram("quillfen-gui " + version), 0755),
        ArchiveEntry::file("./bin/quillfen", fakeProgram("quillfen " + version), 0755),
        ArchiveEntry::file("./share/applications/org.quillfen.Quillfen.desktop",
                           "[Desktop Entry]\nName=Quillfen " + version + "\n"),
        ArchiveEntry::file("./share/icons/hicolor/256x256/apps/org.quillfen.Quillfen.png",
                           "icon " + version),
    };
}

void writeEntries(const fs::path& folder, const std::vector<ArchiveEntry>& entries) {
    for (const ArchiveEntry& entry : entries) {
        const fs::path path = folder / fs::path(entry.name).lexically_normal();
        if (entry.kind == ArchiveEntry::Kind::folder) {
            fs::create_directories(path);
        } else if (entry.kind == ArchiveEntry::Kind::file) {
            writeFile(path, entry.content);
            fs::permissions(path, static_cast<fs::perms>(entry.mode));
        }
    }
}

void makePerUserInstall(const fs::path& prefix, const std::string& version) {
    const std::vector<ArchiveEntry> entries = releaseEntries(version);
    writeEntries(prefix / "lib/quillfen" / version, entries);
    fs::create_directory_symlink(version, prefix / "lib/quillfen/current");
    for (const ArchiveEntry& entry : entries) {
        if (entry.kind != ArchiveEntry::Kind::file) continue;
        const fs::path relative = fs::path(entry.name).lexically_normal();
        fs::create_directories((prefix / relative).parent_path());
        fs::create_symlink(outfitter::PerUserInstall::linkTarget(relative), prefix / relative);
    }
}

void makePlainInstall(const fs::path& prefix, const std::string& version) {
    writeEntries(prefix, releaseEntries(version));
}

std::map<std::string, std::string> treeOf(const fs::path& root) {
    std::map<std::string, std::string> tree;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path& path = it->path();
        if (path.filename() == ".lock") continue;
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) continue;
        std::string text = std::to_string(info.st_mode) + " ";
        if (S_ISLNK(info.st_mode))
            text += "-> " + fs::read_symlink(path).string();
        else if (S_ISREG(info.st_mode))
            text += std::to_string(info.st_mtim.tv_sec) + "." +
                    std::to_string(info.st_mtim.tv_nsec) + " " + contentAt(path);
        tree[path.lexically_relative(root).string()] = text;
    }
    return tree;
}

std::string contentAt(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

}  // namespace outfittertest
