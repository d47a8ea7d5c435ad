#include "sync/SyncPathState.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "backup/BackupFile.h"
#include "local/LocalResources.h"
#include "local/PathConverter.h"
#include "local/PathStatuses.h"

namespace quillfen {

namespace {

bool later(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

// The newest of `newest` and the modification dates of everything below the
// folder at `folder`, every level down, links not followed (a link counts by
// its own date). Each folder is opened relative to its parent, so the walk
// costs one stat per entry. A folder that cannot be opened is left out: an
// unreadable folder could not be copied either, and a tree deeper than the
// process may hold folders open stops there rather than failing the state.
timespec newestBelow(const keel::URL& folder, timespec newest) {
    using Directory = std::unique_ptr<DIR, int (*)(DIR*)>;
    const auto open = [](int parent, const char* name) -> Directory {
        const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) return {nullptr, ::closedir};
        DIR* dir = ::fdopendir(fd);
        if (!dir) ::close(fd);
        return {dir, ::closedir};
    };
    std::vector<Directory> stack;
    if (Directory root = open(AT_FDCWD, folder.c_str())) stack.push_back(std::move(root));
    while (!stack.empty()) {
        DIR* current = stack.back().get();
        const dirent* entry = ::readdir(current);
        if (!entry) {
            stack.pop_back();
            continue;
        }
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info {};
        if (::fstatat(::dirfd(current), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (later(info.st_mtim, newest)) newest = info.st_mtim;
        if (!S_ISDIR(info.st_mode)) continue;
        if (Directory child = open(::dirfd(current), entry->d_name))
            stack.push_back(std::move(child));
    }
    return newest;
}

}  // namespace

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID)
    : SyncPathState(file, std::move(settingsPath), std::move(applicationID),
                    LocalResources::shared()) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID, const LocalResources& local)
    : SyncPathState(file, std::move(settingsPath), std::move(applicationID), local, nullptr) {}

SyncPathState::SyncPathState(const std::shared_ptr<BackupFile>& file, std::string settingsPath,
                             std::optional<std::string> applicationID, const LocalResources& local,
                             const PathStatuses* statuses)
    : path(std::move(settingsPath)), bundleID(std::move(applicationID)) {
    if (!file) throw std::invalid_argument("SyncPathState needs a backup file");
    url = PathConverter::url(this->path);

    if (const std::optional<BackupDataItem> record = file->dataItem(this->path)) {
        backupDate = record->backupDate;
        originalDate = record->originalDate;
    }
    // The item's own date is what a back-up records as the original date.
    // A folder's own date changes only when entries are added, removed or
    // renamed in it, not when a file in it is edited in place or anything
    // changes in a subfolder: its date here is the newest of the folder and
    // everything in it, so that such an edit is seen at all.
    std::optional<keel::Date> ownDate;
    // Finding an application's paths has just asked the system about most
    // locations; its answer stands for the lstat here.
    std::optional<PathStatuses::Status> status;
    if (statuses) status = statuses->find(url.native());
    if (!status) {
        status.emplace();
        status->exists = ::lstat(url.c_str(), &status->info) == 0;
    }
    if (status->exists) {
        const struct stat& info = status->info;
        ownDate = keel::Date::fromTimespec(info.st_mtim);
        modifyDate = S_ISDIR(info.st_mode)
                         ? keel::Date::fromTimespec(newestBelow(url, info.st_mtim))
                         : *ownDate;
    }
    // Something in the folder is newer than the folder and than the copy.
    const bool changedInside = modifyDate > ownDate && (!backupDate || *modifyDate > *backupDate);

    // The dates are kept whatever the outcome, so that a list can still show
    // them for a path the user excluded.
    if (local.isExcluded(url)) {
        action = SyncAction::doNothing;
    } else if (!modifyDate) {
        // Nothing to back up, and a synchronization does not bring back an
        // item the user removed from this computer.
        action = SyncAction::doNothing;
    } else if (ownDate == originalDate && !changedInside) {
        // The local item is the very one that was copied into the package
        // (files in a folder may be newer than the folder, but not than the
        // copy).
        action = SyncAction::doNothing;
    } else {
        action = decision(backupDate, modifyDate);
    }
}

}  // namespace quillfen
