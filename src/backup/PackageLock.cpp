#include "backup/PackageLock.h"

#include "backup/BackupError.h"
#include "backup/BackupFileData.h"
#include "keel/FileManager.h"

namespace fs = std::filesystem;
using keel::FileManager;

namespace quillfen {

PackageLock PackageLock::acquire(const keel::URL& package, const Options& options) {
    const auto existence = FileManager::contentExists(package);
    if (existence.exists && !existence.isDirectory)
        throw BackupError(BackupError::Code::backupFileIsNotADirectory, package);
    if (keel::pathExtension(package) != BackupFileData::packageExtension)
        throw BackupError(BackupError::Code::backupFileExtensionIsInvalid, package);
    if (!existence.exists) {
        if (!options.createsPackage)
            throw BackupError(BackupError::Code::backupFileDoesNotExist, package);
        // Readable by the owner only, as every package folder.
        fs::create_directories(package.parent_path());
        FileManager::createOwnerOnlyFolder(package);
    }
    PackageLock lock;
    lock.package_ = package;
    try {
        lock.lock_ = keel::FileLock::acquire(package / fileName, options.wait, options.willWait);
    } catch (const keel::FileLock::Busy&) {
        throw BackupError(BackupError::Code::backupFileIsInUse, package);
    }
    return lock;
}

}  // namespace quillfen
