#include "local/ChildProcessSettings.h"

#include <csignal>
#include <initializer_list>

namespace quillfen {

ChildProcessSettings::ChildProcessSettings() {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    posix_spawnattr_setflags(&attributes_, flags_);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes_, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int number : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE})
        sigaddset(&defaults, number);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
}

ChildProcessSettings::~ChildProcessSettings() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
}

ChildProcessSettings& ChildProcessSettings::openNull(int fd, int flags) {
    posix_spawn_file_actions_addopen(&actions_, fd, "/dev/null", flags, 0);
    return *this;
}

ChildProcessSettings& ChildProcessSettings::duplicate(int from, int to) {
    posix_spawn_file_actions_adddup2(&actions_, from, to);
    return *this;
}

ChildProcessSettings& ChildProcessSettings::ownProcessGroup() {
    flags_ |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setflags(&attributes_, flags_);
    posix_spawnattr_setpgroup(&attributes_, 0);
    return *this;
}

}  // namespace quillfen
