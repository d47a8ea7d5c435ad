// ChildProcessSettings: how a program we start begins, for posix_spawn: no
// blocked signals and default handling of the signals that stop it (SIGINT,
// SIGTERM, SIGQUIT, SIGHUP, SIGPIPE), whatever the calling thread had, plus
// the descriptors and process group the caller asks for.
//
// Build one on the thread that spawns, use it for one spawn, then let it go.
// Nothing here throws.
#pragma once

#include <spawn.h>

namespace quillfen {

class ChildProcessSettings {
public:
    ChildProcessSettings();
    ~ChildProcessSettings();
    ChildProcessSettings(const ChildProcessSettings&) = delete;
    ChildProcessSettings& operator=(const ChildProcessSettings&) = delete;

    // Descriptor `fd` of the child opened on /dev/null with `flags`.
    ChildProcessSettings& openNull(int fd, int flags);
    // Descriptor `to` of the child a copy of the caller's `from`.
    ChildProcessSettings& duplicate(int from, int to);
    // A process group of its own, so that an interruption sent to it also
    // reaches what a wrapper script started.
    ChildProcessSettings& ownProcessGroup();

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    short flags_ = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
};

}  // namespace quillfen
