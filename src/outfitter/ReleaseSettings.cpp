#include "outfitter/ReleaseSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "keel/Bundle.h"

namespace fs = std::filesystem;

namespace outfitter {

const keel::OptionalUserSettingKey<std::string>& ReleaseSettings::analyticsClientID() {
    static const keel::OptionalUserSettingKey<std::string> key{
        keel::bundleIdentifier() + ".AnalyticsReporter.uniqueUserIdentifier"};
    return key;
}

void ReleaseSettings::storeUserContact(const std::string& name, const std::string& email) {
    makeSettingsFileOwnerOnly();
    auto& settings = keel::UserSettings::standard();
    settings.set(userName, std::optional(name));
    settings.set(userEmail, std::optional(email));
}

void ReleaseSettings::makeSettingsFileOwnerOnly() {
    const fs::path file = keel::UserSettings::standard().fileURL();
    std::error_code ignored;
    fs::create_directories(file.parent_path(), ignored);
    // A new file starts as an empty object with the final mode; the settings
    // store keeps the mode of the file it replaces.
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
        static constexpr char kEmpty[] = "{}\n";
        [[maybe_unused]] const ssize_t written = ::write(fd, kEmpty, sizeof kEmpty - 1);
        ::close(fd);
        return;
    }
    if (errno != EEXIST) return;
    fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0)
        ::fchmod(fd, info.st_mode & 0700);
    ::close(fd);
}

}  // namespace outfitter
