#include "backup/BackupError.h"

namespace quillfen {

const char* BackupError::description(Code code) noexcept {
    switch (code) {
        case Code::autorizationRequired:
            return "An autorization is required to get access to the disk.";
        case Code::noBackupLocation:
            return "The backup file location is not defined.";
        case Code::backupFileIsNotReadable:
            return "The backup file is not readable.";
        case Code::syncActionIsNotSupported:
            return "The performed sync action is not supported.";
        case Code::backupFileIsNotADirectory:
            return "The backup file should be a directory.";
        case Code::backupFileExtensionIsInvalid:
            return "The backup file extension is invalid.";
        case Code::localDataCannotBeWritten:
            return "The local data cannot be written by the application. It may due to the "
                   "sandboxing of the application.";
        case Code::backupFileDoesNotExist:
            return "The backup file does not exist.";
        case Code::backupFileIsInUse:
            return "The backup file is in use by another run of Quillfen on this computer.";
        case Code::backupFileWasMovedOrDeleted:
            return "The backup file was moved or deleted while it was in use; nothing was "
                   "written in its place.";
        case Code::dataCopyHasNotArrived:
            return "Its copy has not arrived in the package yet.";
        case Code::dataListHasNotArrived:
            return "The backup file is incomplete: Data.json has not arrived yet, while its Data "
                   "folder holds copies.";
    }
    return "The backup file is not readable.";
}

const char* BackupError::what() const noexcept {
    return description(code_);
}

}  // namespace quillfen
