#include "outfitter/PerUserInstall.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include "keel/LocalizedString.h"
#include "outfitter/ArchiveUnpacker.h"
#include "outfitter/InstallSteps.h"
#include "outfitter/UpdateError.h"

namespace fs = std::filesystem;

namespace outfitter {

namespace {

using namespace InstallSteps;

constexpr const char* kCurrent = "current";
constexpr const char* kPrevious = "previous";
// The folders whose files get a link under the prefix.
constexpr std::array<const char*, 2> kExportedFolders = {"bin", "share"};

[[noreturn]] void refuse(std::string_view key, const std::string& name) {
    throw UpdateError(UpdateError::Kind::archiveRefused, keel::TL(key, name));
}

Descriptor openVersions(const fs::path& folder) {
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    auto versions = openFolder(AT_FDCWD, folder.string());
    if (!versions) fail(folder.string(), ENOENT);
    return std::move(*versions);
}

// Holds the install lock of the versions folder for its lifetime.
Descriptor lockVersions(int versions) {
    Descriptor lock(::openat(versions, ".lock", O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (lock.get() < 0) fail(".lock", errno);
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) throw UpdateError(UpdateError::Kind::updateInProgress);
        fail(".lock", errno);
    }
    return lock;
}

struct Entry {
    std::string name;
    mode_t type;
};

std::vector<Entry> entriesOf(int folder) {
    std::vector<Entry> entries;
    const int listing = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return entries;
    DIR* directory = ::fdopendir(listing);
    if (!directory) {
        ::close(listing);
        return entries;
    }
    while (dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        entries.push_back({name, static_cast<mode_t>(info.st_mode & S_IFMT)});
    }
    ::closedir(directory);
    return entries;
}

bool exists(int parent, const std::string& name) {
    struct stat info {};
    return ::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool isFolder(int parent, const std::string& name) {
    struct stat info {};
    return ::fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISDIR(info.st_mode);
}

// Moves `name` out of the way under a hidden name, then deletes it.
void discard(int versions, const std::string& name) {
    const std::string trash = uniqueName(name + ".trash");
    rename(versions, name, versions, trash);
    removeTree(versions, trash);
}

// What an interrupted install left: hidden staging folders, discarded
// versions and half-made links. Only ever called with the lock held.
void removeLeftovers(int versions) {
    for (const Entry& entry : entriesOf(versions)) {
        if (entry.name.empty() || entry.name[0] != '.') continue;
        const bool ours = entry.name.find(".partial-") != std::string::npos ||
                          entry.name.find(".trash-") != std::string::npos ||
                          entry.name.find(".link-") != std::string::npos;
        if (!ours) continue;
        if (entry.type == S_IFDIR)
            removeTree(versions, entry.name);
        else
            remove(versions, entry.name, false);
    }
}

// Points the link `name` at `target` with one rename.
void setLink(int versions, const std::string& name, const std::string& target) {
    const std::string temporary = uniqueName(name + ".link");
    makeLink(target, versions, temporary);
    try {
        rename(versions, temporary, versions, name);
    } catch (...) {
        ::unlinkat(versions, temporary.c_str(), 0);
        throw;
    }
}

// Every regular file under the version's exported folders, relative to it.
void collectFiles(int folder, const fs::path& relative, std::vector<fs::path>& files) {
    for (const Entry& entry : entriesOf(folder)) {
        if (entry.type == S_IFREG) {
            files.push_back(relative / entry.name);
        } else if (entry.type == S_IFDIR) {
            if (auto child = openFolder(folder, entry.name))
                collectFiles(child->get(), relative / entry.name, files);
        }
    }
}

std::vector<fs::path> exportedFiles(int versions, const std::string& version) {
    std::vector<fs::path> files;
    auto root = openFolder(versions, version);
    if (!root) return files;
    for (const char* exported : kExportedFolders)
        if (auto folder = openFolder(root->get(), exported))
            collectFiles(folder->get(), exported, files);
    return files;
}

// Opens the folder `relative` below `root`, making what is missing; the
// folders of a prefix are the user's own and may be links.
Descriptor openBelow(const fs::path& root, const fs::path& relative) {
    const fs::path folder = root / relative;
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    Descriptor opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (opened.get() < 0) fail(folder.string(), errno);
    return opened;
}

// Opens the folder `relative` below the folder `root`, never through a link.
Descriptor openInside(int root, const fs::path& relative) {
    Descriptor current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
    if (current.get() < 0) fail(relative.string(), errno);
    for (const fs::path& part : relative)
        current = openOrMakeFolder(current.get(), part.string());
    return current;
}

void copyFile(int fromParent, const std::string& from, int toParent, const std::string& to) {
    Descriptor source(::openat(fromParent, from.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (source.get() < 0) fail(from, errno);
    struct stat info {};
    if (::fstat(source.get(), &info) != 0) fail(from, errno);
    Descriptor copy = createFile(toParent, to);
    std::vector<char> buffer(64 * 1024);
    while (true) {
        const ssize_t read = ::read(source.get(), buffer.data(), buffer.size());
        if (read < 0 && errno == EINTR) continue;
        if (read < 0) fail(from, errno);
        if (read == 0) break;
        writeAll(copy.get(), std::string_view(buffer.data(), static_cast<std::size_t>(read)), to);
    }
    setMode(copy.get(), info.st_mode & 0755, to);
}

// Keeps the regular files of an older install that stand where the new
// version's links go, in the folder `keep` of the versions folder (made
// when missing), by a hard link or else a copy. Returns whether it kept any.
// A file that `keep` holds already stays as it is.
bool keepPlainFiles(const fs::path& prefix, int versions, const std::string& keep,
                    const std::vector<fs::path>& files) {
    bool keptAny = false;
    for (const fs::path& relative : files) {
        const fs::path place = prefix / relative;
        struct stat info {};
        if (::lstat(place.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        Descriptor keepRoot = openOrMakeFolder(versions, keep);
        Descriptor keepParent = openInside(keepRoot.get(), relative.parent_path());
        const std::string leaf = relative.filename().string();
        if (exists(keepParent.get(), leaf)) continue;
        Descriptor placeParent = openBelow(prefix, relative.parent_path());
        try {
            makeHardLink(placeParent.get(), leaf, keepParent.get(), leaf);
        } catch (const UpdateError&) {
            // Another file system, or one without hard links: a copy.
            copyFile(placeParent.get(), leaf, keepParent.get(), leaf);
        }
        keptAny = true;
    }
    return keptAny;
}

// Whether the two files hold the same bytes (the very same file, or a copy).
bool sameFile(const fs::path& a, const fs::path& b) {
    struct stat first {
    }, second{};
    if (::lstat(a.c_str(), &first) != 0 || ::lstat(b.c_str(), &second) != 0 ||
        !S_ISREG(first.st_mode) || !S_ISREG(second.st_mode) || first.st_size != second.st_size)
        return false;
    if (first.st_dev == second.st_dev && first.st_ino == second.st_ino) return true;
    Descriptor one(::open(a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    Descriptor other(::open(b.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (one.get() < 0 || other.get() < 0) return false;
    std::vector<char> left(64 * 1024), right(64 * 1024);
    while (true) {
        const ssize_t l = ::read(one.get(), left.data(), left.size());
        const ssize_t r = ::read(other.get(), right.data(), right.size());
        if (l != r || l < 0) return false;
        if (l == 0) return true;
        if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(l)) != 0) return false;
    }
}

bool isOurLink(const std::string& target) {
    return target.find("lib/quillfen/") != std::string::npos;
}

// Makes <prefix>/<relative> the link through `current` for every file of
// the new version, and removes the links of the old version's files that
// the new one lacks. A file in the way is replaced only when the folder
// `kept` (the previous version's) holds it; a link only when it leads into
// a versions folder. Anything else is left alone.
void exportLinks(const fs::path& prefix, const std::vector<fs::path>& files,
                 const std::vector<fs::path>& oldFiles, const std::optional<fs::path>& kept) {
    std::set<fs::path> folders;
    for (const fs::path& relative : files) {
        const std::string target = PerUserInstall::linkTarget(relative);
        Descriptor parent = openBelow(prefix, relative.parent_path());
        const std::string leaf = relative.filename().string();
        struct stat info {};
        if (::fstatat(parent.get(), leaf.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
            const bool replace = S_ISLNK(info.st_mode)
                                     ? isOurLink(readLink(parent.get(), leaf).value_or(""))
                                     : S_ISREG(info.st_mode) && kept &&
                                           sameFile(prefix / relative, *kept / relative);
            if (S_ISLNK(info.st_mode) && readLink(parent.get(), leaf) == target) continue;
            if (!replace) {
                std::printf("Updater leaves %s as it is: it is not a link of Quillfen's.\n",
                            (prefix / relative).c_str());
                continue;
            }
        }
        const std::string temporary = uniqueName(leaf + ".link");
        makeLink(target, parent.get(), temporary);
        try {
            rename(parent.get(), temporary, parent.get(), leaf);
        } catch (...) {
            ::unlinkat(parent.get(), temporary.c_str(), 0);
            throw;
        }
        folders.insert(relative.parent_path());
    }
    const std::set<fs::path> current(files.begin(), files.end());
    for (const fs::path& relative : oldFiles) {
        if (current.count(relative)) continue;
        Descriptor parent = openBelow(prefix, relative.parent_path());
        const std::string leaf = relative.filename().string();
        if (readLink(parent.get(), leaf) == PerUserInstall::linkTarget(relative)) {
            remove(parent.get(), leaf, false);
            folders.insert(relative.parent_path());
        }
    }
    for (const fs::path& folder : folders) {
        Descriptor opened = openBelow(prefix, folder);
        flush(opened.get(), (prefix / folder).string());
    }
}

// Removes every version but the ones in `keep`. A failure here leaves an
// extra folder, never a broken install, so it is only reported.
void removeOldVersions(int versions, const std::set<std::string>& keep) {
    for (const Entry& entry : entriesOf(versions)) {
        if (entry.type != S_IFDIR || keep.count(entry.name) || !UpdateVersion::parse(entry.name))
            continue;
        try {
            discard(versions, entry.name);
        } catch (const UpdateError& error) {
            std::printf("Updater cannot remove the old version %s: %s\n", entry.name.c_str(),
                        error.what());
        }
    }
}

// The running program must have a successor of the same name, executable,
// and built for the same kind of computer.
void checkProgram(int release, const fs::path& runningProgram) {
    const std::string relative = "bin/" + runningProgram.filename().string();
    Descriptor program(::openat(release, relative.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (program.get() < 0 || ::fstat(program.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !(info.st_mode & S_IXUSR))
        refuse("UpdateArchiveNoProgram", relative);
    // ELF identification: magic, class, byte order; the machine at 18.
    std::array<unsigned char, 20> mine{}, theirs{};
    Descriptor running(::open(runningProgram.c_str(), O_RDONLY | O_CLOEXEC));
    if (running.get() < 0 ||
        ::read(running.get(), mine.data(), mine.size()) != static_cast<ssize_t>(mine.size()) ||
        std::memcmp(mine.data(), "\177ELF", 4) != 0)
        return;  // not a program whose machine we can tell
    const bool same = ::read(program.get(), theirs.data(), theirs.size()) ==
                          static_cast<ssize_t>(theirs.size()) &&
                      std::memcmp(theirs.data(), mine.data(), 6) == 0 && theirs[18] == mine[18] &&
                      theirs[19] == mine[19];
    if (!same) refuse("UpdateArchiveWrongMachine", relative);
}

// The version folder that holds `program`, when it is one of `versions`.
std::optional<std::string> versionHolding(const fs::path& versions, const fs::path& program) {
    const fs::path relative = program.lexically_relative(versions);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return relative.begin()->string();
}

}  // namespace

PerUserInstall::PerUserInstall(fs::path prefix) {
    // Without links, so that the running program's path can be compared.
    std::error_code error;
    prefix_ = fs::weakly_canonical(prefix, error);
    if (error) prefix_ = prefix.lexically_normal();
}

std::string PerUserInstall::linkTarget(const fs::path& relative) {
    std::string target;
    const auto depth = std::distance(relative.begin(), relative.end()) - 1;
    for (std::ptrdiff_t i = 0; i < depth; ++i)
        target += "../";
    return target + "lib/quillfen/current/" + relative.generic_string();
}

std::optional<std::string> PerUserInstall::currentVersion() const {
    auto versions = openFolder(AT_FDCWD, versionsFolder().string());
    return versions ? readLink(versions->get(), kCurrent) : std::nullopt;
}

std::optional<std::string> PerUserInstall::previousVersion() const {
    auto versions = openFolder(AT_FDCWD, versionsFolder().string());
    return versions ? readLink(versions->get(), kPrevious) : std::nullopt;
}

PerUserInstall::Outcome PerUserInstall::installArchive(int archiveFD, const UpdateVersion& version,
                                                       const fs::path& runningProgram,
                                                       const std::string& runningVersion) {
    return install(version, runningProgram, runningVersion, [archiveFD](int release) {
        ArchiveUnpacker::unpackArchive(archiveFD, release);
    });
}

PerUserInstall::Outcome PerUserInstall::installFolder(const fs::path& folder,
                                                      const UpdateVersion& version,
                                                      const fs::path& runningProgram,
                                                      const std::string& runningVersion) {
    return install(version, runningProgram, runningVersion,
                   [&folder](int release) { ArchiveUnpacker::copyFolder(folder, release); });
}

PerUserInstall::Outcome PerUserInstall::install(const UpdateVersion& version,
                                                const fs::path& runningProgram,
                                                const std::string& runningVersion,
                                                const std::function<void(int)>& fill) {
    const fs::path folder = versionsFolder();
    const Descriptor versions = openVersions(folder);
    const Descriptor lock = lockVersions(versions.get());
    removeLeftovers(versions.get());

    const std::string name = version.text();
    const std::optional<std::string> current = readLink(versions.get(), kCurrent);
    const std::optional<std::string> running = versionHolding(folder, runningProgram);
    const bool alreadyCurrent = current == name && isFolder(versions.get(), name);
    if (!alreadyCurrent) {
        if (exists(versions.get(), name)) {
            // An earlier install of this version that never became current.
            if (running == name) fail(name, EBUSY);
            discard(versions.get(), name);
        }
        // 1. The release, whole and on the disk, under its version's name.
        const std::string staging = uniqueName(name + ".partial");
        try {
            const Descriptor release = openOrMakeFolder(versions.get(), staging);
            fill(release.get());
            checkProgram(release.get(), runningProgram);
            flushFileSystem(release.get(), staging);
            rename(versions.get(), staging, versions.get(), name);
            flush(versions.get(), folder.string());
        } catch (...) {
            try {
                removeTree(versions.get(), staging);
            } catch (const UpdateError&) {
                // Removed as a leftover by the next install.
            }
            throw;
        }
    }

    // 2. The files of a plain install, kept with the running version.
    const std::vector<fs::path> files = exportedFiles(versions.get(), name);
    std::optional<std::string> previous;
    if (alreadyCurrent) {
        previous = readLink(versions.get(), kPrevious);
    } else if (current && *current != name && isFolder(versions.get(), *current)) {
        previous = current;
    } else {
        const std::string keep = running.value_or(runningVersion);
        if (UpdateVersion::parse(keep) && keep != name) {
            if (keepPlainFiles(prefix_, versions.get(), keep, files))
                flushFileSystem(versions.get(), folder.string());
            if (isFolder(versions.get(), keep)) previous = keep;
        }
    }
    if (previous && !isFolder(versions.get(), *previous)) previous.reset();

    // 3. The switch.
    if (!alreadyCurrent) {
        if (previous) setLink(versions.get(), kPrevious, *previous);
        setLink(versions.get(), kCurrent, name);
        flush(versions.get(), folder.string());
    }

    // 4. The links into the prefix (again, when an install ended before them).
    exportLinks(prefix_, files, previous ? exportedFiles(versions.get(), *previous) : files,
                previous ? std::optional(folder / *previous) : std::nullopt);

    // 5. One version to go back to, and the one running now, are kept.
    std::set<std::string> keepVersions{name};
    if (previous) keepVersions.insert(*previous);
    if (running) keepVersions.insert(*running);
    removeOldVersions(versions.get(), keepVersions);
    flush(versions.get(), folder.string());
    return alreadyCurrent ? Outcome::alreadyCurrent : Outcome::installed;
}

void PerUserInstall::rollBack() {
    const Descriptor versions = openVersions(versionsFolder());
    const Descriptor lock = lockVersions(versions.get());
    const auto current = readLink(versions.get(), kCurrent);
    const auto previous = readLink(versions.get(), kPrevious);
    if (!previous || !isFolder(versions.get(), *previous) || previous == current)
        throw UpdateError(UpdateError::Kind::installFailed, keel::TL("UpdateNoPreviousVersion"));
    if (current) setLink(versions.get(), kPrevious, *current);
    setLink(versions.get(), kCurrent, *previous);
    flush(versions.get(), versionsFolder().string());
    exportLinks(prefix_, exportedFiles(versions.get(), *previous),
                current ? exportedFiles(versions.get(), *current) : std::vector<fs::path>{},
                std::nullopt);
}

}  // namespace outfitter
