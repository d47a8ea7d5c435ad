#include "outfitter/ArchiveUnpacker.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "keel/LocalizedString.h"
#include "outfitter/InstallSteps.h"
#include "outfitter/UpdateError.h"

namespace fs = std::filesystem;

namespace outfitter {

namespace {

struct ArchiveFree {
    void operator()(archive* a) const { archive_read_free(a); }
};
using Reader = std::unique_ptr<archive, ArchiveFree>;

struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

using InstallSteps::Descriptor;

[[noreturn]] void refuse(std::string_view key, const std::string& name) {
    throw UpdateError(UpdateError::Kind::archiveRefused, keel::TL(key, name));
}

[[noreturn]] void unreadable(archive* reader) {
    const char* why = archive_error_string(reader);
    throw UpdateError(UpdateError::Kind::archiveRefused,
                      keel::TL("UpdateArchiveUnreadable", why ? std::string(why) : std::string()));
}

// The name's components below the release folder: "./" in front, doubled
// slashes and "." dropped. Refuses an absolute name and "..".
std::vector<std::string> componentsOf(const std::string& name, std::size_t maxDepth) {
    if (name.empty()) return {};
    if (name.front() == '/') refuse("UpdateArchiveEntryAbsolute", name);
    std::vector<std::string> components;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t slash = name.find('/', start);
        if (slash == std::string::npos) slash = name.size();
        const std::string part = name.substr(start, slash - start);
        if (part == "..") refuse("UpdateArchiveEntryOutside", name);
        if (!part.empty() && part != ".") components.push_back(part);
        start = slash + 1;
    }
    if (components.size() > maxDepth) refuse("UpdateArchiveEntryTooDeep", name);
    return components;
}

// The folder holding the last component, made along the way.
Descriptor openParent(int root, const std::vector<std::string>& components,
                      const std::string& shown) {
    Descriptor current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (current.get() < 0) InstallSteps::fail(shown, errno);
    for (std::size_t i = 0; i + 1 < components.size(); ++i)
        current = InstallSteps::openOrMakeFolder(current.get(), components[i]);
    return current;
}

void writeFile(archive* reader, int parent, const std::string& leaf, bool executable,
               const std::string& shown, std::uint64_t& totalBytes, std::uint64_t maxBytes) {
    struct stat existing {};
    if (::fstatat(parent, leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
        refuse("UpdateArchiveEntryTwice", shown);
    const Descriptor file = InstallSteps::createFile(parent, leaf);
    std::vector<char> buffer(64 * 1024);
    while (true) {
        const la_ssize_t read = archive_read_data(reader, buffer.data(), buffer.size());
        if (read < 0) unreadable(reader);
        if (read == 0) break;
        totalBytes += static_cast<std::uint64_t>(read);
        if (totalBytes > maxBytes) refuse("UpdateArchiveTooLarge", std::to_string(maxBytes));
        InstallSteps::writeAll(
            file.get(), std::string_view(buffer.data(), static_cast<std::size_t>(read)), shown);
    }
    InstallSteps::setMode(file.get(), executable ? 0755 : 0644, shown);
}

// Takes every entry of `reader` into `destination`; `prefix` is cut from the
// front of each name (the source folder when reading from disk).
void unpackEntries(archive* reader, bool fromDisk, const std::string& prefix, int destination,
                   const ArchiveUnpacker::Limits& limits) {
    std::unique_ptr<archive_entry, EntryFree> holder(archive_entry_new());
    std::uint64_t entries = 0;
    std::uint64_t totalBytes = 0;
    while (true) {
        archive_entry* entry = holder.get();
        const int status = archive_read_next_header2(reader, entry);
        if (status == ARCHIVE_EOF) break;
        if (status < ARCHIVE_WARN) unreadable(reader);
        if (fromDisk && archive_entry_filetype(entry) == AE_IFDIR)
            archive_read_disk_descend(reader);
        if (++entries > limits.maxEntries)
            refuse("UpdateArchiveTooManyEntries", std::to_string(limits.maxEntries));

        const char* rawName = archive_entry_pathname(entry);
        std::string name = rawName ? rawName : "";
        if (fromDisk) {
            if (name.compare(0, prefix.size(), prefix) != 0) unreadable(reader);
            name.erase(0, prefix.size());
            while (!name.empty() && name.front() == '/')
                name.erase(0, 1);
            if (name.empty()) continue;  // the source folder itself
        }
        const std::vector<std::string> components = componentsOf(name, limits.maxDepth);
        const mode_t type = archive_entry_filetype(entry);
        const mode_t mode = archive_entry_mode(entry);
        if (archive_entry_hardlink(entry) || type == AE_IFLNK)
            refuse("UpdateArchiveEntryLink", name);
        if (type != AE_IFREG && type != AE_IFDIR) refuse("UpdateArchiveEntryType", name);
        if (mode & (S_ISUID | S_ISGID)) refuse("UpdateArchiveEntrySetID", name);
        if (components.empty()) continue;  // "." or "./"

        const Descriptor parent = openParent(destination, components, name);
        if (type == AE_IFDIR) {
            InstallSteps::openOrMakeFolder(parent.get(), components.back());
            continue;
        }
        writeFile(reader, parent.get(), components.back(), (mode & S_IXUSR) != 0, name, totalBytes,
                  limits.maxBytes);
    }
}

}  // namespace

void ArchiveUnpacker::unpackArchive(int archiveFD, int destinationFD, const Limits& limits) {
    if (::lseek(archiveFD, 0, SEEK_SET) != 0) InstallSteps::fail("archive", errno);
    Reader reader(archive_read_new());
    archive_read_support_filter_all(reader.get());
    archive_read_support_format_tar(reader.get());
    if (archive_read_open_fd(reader.get(), archiveFD, 64 * 1024) != ARCHIVE_OK)
        unreadable(reader.get());
    unpackEntries(reader.get(), false, {}, destinationFD, limits);
}

void ArchiveUnpacker::copyFolder(const fs::path& source, int destinationFD, const Limits& limits) {
    Reader reader(archive_read_disk_new());
    archive_read_disk_set_symlink_physical(reader.get());
    archive_read_disk_set_behavior(reader.get(), ARCHIVE_READDISK_NO_XATTR |
                                                     ARCHIVE_READDISK_NO_ACL |
                                                     ARCHIVE_READDISK_NO_FFLAGS);
    const std::string root = source.lexically_normal().string();
    if (archive_read_disk_open(reader.get(), root.c_str()) != ARCHIVE_OK) unreadable(reader.get());
    std::string prefix = root;
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    unpackEntries(reader.get(), true, prefix, destinationFD, limits);
}

}  // namespace outfitter
