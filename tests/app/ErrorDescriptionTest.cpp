#include <gtest/gtest.h>

#include <stdexcept>

#include "app/ErrorDescription.h"
#include "backup/BackupError.h"

using quillfen::BackupError;
using quillfen::ErrorDescription;
using Lines = std::vector<std::string>;

namespace {

std::exception_ptr unreadable(const std::string& package, const std::string& reason) {
    try {
        try {
            throw std::runtime_error(reason);
        } catch (...) {
            std::throw_with_nested(
                BackupError(BackupError::Code::backupFileIsNotReadable, package));
        }
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

}  // namespace

TEST(ErrorDescriptionTest, APackageErrorNamesThePackageOnceWithItsReason) {
    const std::string what = BackupError::description(BackupError::Code::backupFileIsNotReadable);
    EXPECT_EQ(ErrorDescription::lines(unreadable("/p/A.qfbackup", "Apps.json: bad JSON")),
              (Lines{what, "/p/A.qfbackup: Apps.json: bad JSON"}));
    // A reason that already names it is left as it is.
    EXPECT_EQ(ErrorDescription::lines(unreadable("/p/A.qfbackup", "/p/A.qfbackup is a file")),
              (Lines{what, "/p/A.qfbackup is a file"}));
    EXPECT_EQ(ErrorDescription::lines(std::make_exception_ptr(
                  BackupError(BackupError::Code::backupFileIsNotReadable, "/p/A.qfbackup"))),
              (Lines{what, "/p/A.qfbackup"}));
    EXPECT_EQ(ErrorDescription::text(unreadable("/p/A.qfbackup", "bad"), "\n  "),
              what + "\n  /p/A.qfbackup: bad");
}

TEST(ErrorDescriptionTest, OtherErrorsAreTheirOwnTexts) {
    EXPECT_EQ(ErrorDescription::lines(std::make_exception_ptr(std::runtime_error("Disk full"))),
              Lines{"Disk full"});
    EXPECT_EQ(ErrorDescription::lines(
                  std::make_exception_ptr(BackupError(BackupError::Code::noBackupLocation))),
              Lines{BackupError::description(BackupError::Code::noBackupLocation)});
    EXPECT_TRUE(ErrorDescription::lines(nullptr).empty());
    EXPECT_EQ(ErrorDescription::lines(std::make_exception_ptr(42)), Lines{"Unknown error"});
}
