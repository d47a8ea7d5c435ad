#include "app/SettingsDiff.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "app/ItemEditor.h"
#include "backup/BackupFile.h"
#include "keel/FileDescriptor.h"
#include "local/DiffTool.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "local/SettingsLink.h"

namespace fs = std::filesystem;

namespace quillfen {

namespace {

bool comparable(SyncAction action) {
    return action == SyncAction::backUp || action == SyncAction::install;
}

template <class Entry>
void addTargets(std::vector<SettingsDiff::Target>& targets, ItemKind kind, const Entry& entry,
                const std::optional<std::string>& onlyPath) {
    for (const auto& [path, state] : entry.state.states) {
        if (!comparable(state.action) || (onlyPath && path != *onlyPath)) continue;
        targets.push_back(
            {kind, entry.name, path, state.action, entry.isEnabled().value_or(false)});
    }
}

// What one side holds at a relative path.
struct Node {
    enum class Type { file, folder, link, other } type = Type::other;
    std::uintmax_t size = 0;
    std::string linkTarget;
};

using Tree = std::map<std::string, Node>;

Node nodeOf(const fs::path& location) {
    struct stat status {};
    Node node;
    if (::lstat(location.c_str(), &status) != 0) return node;
    if (S_ISREG(status.st_mode)) {
        node.type = Node::Type::file;
        node.size = static_cast<std::uintmax_t>(status.st_size);
    } else if (S_ISDIR(status.st_mode)) {
        node.type = Node::Type::folder;
    } else if (S_ISLNK(status.st_mode)) {
        node.type = Node::Type::link;
        std::error_code error;
        node.linkTarget = fs::read_symlink(location, error).string();
    }
    return node;
}

// The entries at and below `root` by path relative to it ("" for `root`),
// without those at the relative paths `leftOut` and what is inside them;
// links are not followed. Empty when nothing is at `root`.
Tree treeOf(const std::optional<fs::path>& root, const std::vector<fs::path>& leftOut) {
    Tree tree;
    std::error_code error;
    if (!root || !fs::exists(fs::symlink_status(*root, error))) return tree;
    tree[""] = nodeOf(*root);
    if (tree[""].type != Node::Type::folder) return tree;
    const std::set<fs::path> excluded(leftOut.begin(), leftOut.end());
    fs::recursive_directory_iterator it(*root, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path relative = it->path().lexically_relative(*root);
        if (excluded.contains(relative)) {
            it.disable_recursion_pending();
            continue;
        }
        tree[relative.string()] = nodeOf(it->path());
    }
    // Half a folder would show the rest as missing on this side.
    if (error) throw fs::filesystem_error("cannot list the folder", *root, error);
    return tree;
}

const char* typeName(Node::Type type) {
    switch (type) {
        case Node::Type::file:
            return "a file";
        case Node::Type::folder:
            return "a folder";
        case Node::Type::link:
            return "a symbolic link";
        case Node::Type::other:
            break;
    }
    return "a special file (a pipe, socket or device)";
}

// A file opened for reading without following a link or waiting on a pipe;
// throws unless it is a regular file.
keel::FileDescriptor openRegular(const fs::path& location) {
    const int fd = ::open(location.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) keel::throwFileSystemError("cannot read", location, errno);
    keel::FileDescriptor file(fd);
    struct stat status {};
    if (::fstat(fd, &status) != 0) keel::throwFileSystemError("cannot read", location, errno);
    if (!S_ISREG(status.st_mode))
        throw std::runtime_error(location.string() + " is not a regular file");
    return file;
}

// Reads `fd` from its start, up to `limit` bytes; nothing when it is longer.
std::optional<std::string> contentOf(int fd, std::uintmax_t limit, const fs::path& location) {
    std::string content;
    char buffer[65536];
    ::lseek(fd, 0, SEEK_SET);
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) keel::throwFileSystemError("cannot read", location, errno);
        if (count == 0) return content;
        if (content.size() + static_cast<std::size_t>(count) > limit) return std::nullopt;
        content.append(buffer, static_cast<std::size_t>(count));
    }
}

// Whether two open files hold the same bytes, read in chunks.
bool sameBytes(int a, int b, const fs::path& aLocation, const fs::path& bLocation) {
    ::lseek(a, 0, SEEK_SET);
    ::lseek(b, 0, SEEK_SET);
    std::vector<char> left(65536), right(65536);
    for (;;) {
        const ssize_t count = ::read(a, left.data(), left.size());
        if (count < 0) keel::throwFileSystemError("cannot read", aLocation, errno);
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(count)) {
            const ssize_t more =
                ::read(b, right.data() + got, static_cast<std::size_t>(count) - got);
            if (more < 0) keel::throwFileSystemError("cannot read", bLocation, errno);
            if (more == 0) return false;
            got += static_cast<std::size_t>(more);
        }
        if (std::memcmp(left.data(), right.data(), got) != 0) return false;
        if (count == 0) return ::read(b, right.data(), 1) == 0;
    }
}

}  // namespace

std::vector<SettingsDiff::Target> SettingsDiff::targets(const std::vector<BackupAppEntry>& apps,
                                                        const std::vector<BackupExecEntry>& execs,
                                                        const std::vector<BackupFileEntry>& files,
                                                        const std::optional<std::string>& name) {
    std::vector<Target> targets;
    const auto fileTarget = [&](const BackupFileEntry& entry) {
        if (entry.backupItem && comparable(entry.state.action))
            targets.push_back({ItemKind::file, entry.path, entry.path, entry.state.action,
                               entry.isEnabled().value_or(false)});
    };
    if (!name) {
        for (const auto& entry : apps)
            if (entry.backupItem && entry.isEnabled().value_or(false))
                addTargets(targets, ItemKind::app, entry, std::nullopt);
        for (const auto& entry : execs)
            if (entry.backupItem && entry.isEnabled().value_or(false))
                addTargets(targets, ItemKind::exec, entry, std::nullopt);
        for (const auto& entry : files)
            if (entry.isEnabled().value_or(false)) fileTarget(entry);
        return targets;
    }

    bool named = false;
    for (const auto& entry : apps)
        if (entry.backupItem && entry.name == *name) {
            named = true;
            addTargets(targets, ItemKind::app, entry, std::nullopt);
        }
    for (const auto& entry : execs)
        if (entry.backupItem && entry.name == *name) {
            named = true;
            addTargets(targets, ItemKind::exec, entry, std::nullopt);
        }
    if (named) return targets;

    // A path: a custom file, or one settings path of a recorded item.
    const std::string path = PathConverter::path(ItemEditor::customFileLocation(*name));
    for (const auto& entry : files)
        if (entry.backupItem && entry.path == path) {
            fileTarget(entry);
            return targets;
        }
    for (const auto& entry : apps)
        if (entry.backupItem && entry.state.states.contains(path)) {
            named = true;
            addTargets(targets, ItemKind::app, entry, path);
        }
    for (const auto& entry : execs)
        if (entry.backupItem && entry.state.states.contains(path)) {
            named = true;
            addTargets(targets, ItemKind::exec, entry, path);
        }
    if (!named)
        throw Refusal(*name +
                      ": not an application, executable or custom file of the package, nor a "
                      "settings path of one");
    return targets;
}

SettingsDiff::SettingsDiff(std::shared_ptr<BackupFile> file, const LocalResources& local,
                           Options options)
    : file_(std::move(file)), local_(local), options_(options) {
    if (!file_) throw std::invalid_argument("SettingsDiff needs a backup file");
}

std::string SettingsDiff::label(bool package, const std::string& path) {
    const std::string side = package ? "package" : "local";
    return side + (!path.empty() && path.front() == '/' ? ":" : "/") + path;
}

SettingsDiff::PathDiff SettingsDiff::compare(const Target& target) const {
    PathDiff result{target, {}, std::nullopt};
    try {
        const std::optional<fs::path> copy = file_->dataCopyLocation(target.path);
        if (copy) {
            const Node stored = nodeOf(*copy);
            std::error_code error;
            if (!fs::exists(fs::symlink_status(*copy, error))) {
                result.error = "its copy has not arrived in the package yet";
                return result;
            }
            if (stored.type == Node::Type::link) {
                result.error = "the package's copy is a symbolic link, which is never read";
                return result;
            }
        }
        const keel::URL location = PathConverter::url(target.path);
        const keel::URL content = SettingsLink::contentLocation(location);
        const std::vector<fs::path> leftOut = local_.excludedInside(location);
        const Tree package = treeOf(copy, leftOut);
        const Tree here = treeOf(content, leftOut);

        // A folder on one side with nothing inside is named; one with entries
        // shows through them.
        std::set<std::string> keys;
        for (const auto& [key, node] : package)
            keys.insert(key);
        for (const auto& [key, node] : here)
            keys.insert(key);
        const auto hasEntries = [](const Tree& tree, const std::string& key) {
            const auto next = tree.upper_bound(key);
            return next != tree.end() && (key.empty() || next->first.starts_with(key + "/"));
        };

        const bool fromPackage = target.state == SyncAction::backUp;
        for (const std::string& key : keys) {
            const auto inPackage = package.find(key);
            const auto inHere = here.find(key);
            const Node* a = inPackage == package.end() ? nullptr : &inPackage->second;
            const Node* b = inHere == here.end() ? nullptr : &inHere->second;
            Change change;
            change.path = key.empty() ? target.path : target.path + "/" + key;
            using Type = Node::Type;
            const auto only = [&](const Node& node, const char* side) {
                change.kind = Change::Kind::other;
                change.description =
                    std::string(typeName(node.type)) + " only " + side +
                    (node.type == Type::link ? " (to " + node.linkTarget + ")" : "");
            };
            if (a && b && a->type == Type::folder && b->type == Type::folder) continue;
            if ((a && a->type == Type::folder && !b && hasEntries(package, key)) ||
                (b && b->type == Type::folder && !a && hasEntries(here, key)))
                continue;
            const bool aFile = !a || a->type == Type::file;
            const bool bFile = !b || b->type == Type::file;
            if (a && b && a->type == Type::link && b->type == Type::link) {
                if (a->linkTarget == b->linkTarget) continue;
                change.kind = Change::Kind::other;
                change.description = "a symbolic link to " + a->linkTarget +
                                     " in the package, to " + b->linkTarget + " here";
            } else if (aFile && bFile) {
                // A side without the file reads as empty.
                const auto at = [&key](const fs::path& root) {
                    return key.empty() ? root : root / key;
                };
                const fs::path packageFile = a ? at(*copy) : fs::path("/dev/null");
                const fs::path localFile = b ? at(content) : fs::path("/dev/null");
                const keel::FileDescriptor ours =
                    a ? openRegular(packageFile)
                      : keel::FileDescriptor(::open("/dev/null", O_RDONLY | O_CLOEXEC));
                const keel::FileDescriptor theirs =
                    b ? openRegular(localFile)
                      : keel::FileDescriptor(::open("/dev/null", O_RDONLY | O_CLOEXEC));
                if (a) change.packageSize = a->size;
                if (b) change.localSize = b->size;
                const auto aText = contentOf(ours.get(), options_.textLimit, packageFile);
                const auto bText = contentOf(theirs.get(), options_.textLimit, localFile);
                if (aText && bText) {
                    if (*aText == *bText) continue;
                    const bool binary = aText->find('\0') != std::string::npos ||
                                        bText->find('\0') != std::string::npos;
                    if (binary) {
                        change.kind = Change::Kind::binary;
                    } else {
                        const std::string aLabel = label(true, change.path);
                        const std::string bLabel = label(false, change.path);
                        const DiffTool::Result diff =
                            fromPackage
                                ? DiffTool::unified(ours.get(), aLabel, theirs.get(), bLabel,
                                                    options_.contextLines, options_.outputLimit)
                                : DiffTool::unified(theirs.get(), bLabel, ours.get(), aLabel,
                                                    options_.contextLines, options_.outputLimit);
                        if (!diff.differ) continue;
                        change.kind = Change::Kind::text;
                        change.diff = diff.output;
                        change.truncated = diff.truncated;
                    }
                } else {
                    if (a && b && a->size == b->size &&
                        sameBytes(ours.get(), theirs.get(), packageFile, localFile))
                        continue;
                    change.kind = Change::Kind::binary;
                }
            } else if (a && !b) {
                only(*a, "in the package");
            } else if (b && !a) {
                only(*b, "here");
            } else {
                change.kind = Change::Kind::other;
                change.description = std::string(typeName(a->type)) + " in the package, " +
                                     typeName(b->type) + " here";
            }
            result.changes.push_back(std::move(change));
        }
    } catch (const std::exception& error) {
        result.changes.clear();
        result.error = error.what();
    }
    return result;
}

}  // namespace quillfen
