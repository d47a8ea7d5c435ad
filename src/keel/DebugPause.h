// DebugPause: lets a person or a test stop the program at a chosen moment,
// to change files under it (deliver another computer's package file, remove
// the package) and then let it go on.
//
// When the environment variable `variable` names a folder, the first call
// in the process writes the process id to "<folder>/paused" and waits until
// "<folder>/resume" exists (polling; at most five minutes), then returns.
// Without the variable it returns at once and costs one getenv. Later calls
// return at once.
//
// Threads: may be called from any thread; blocks the calling thread only.
// Errors: none are thrown; a folder that cannot be written is not waited on.
#pragma once

namespace keel {

void pauseIfAsked(const char* variable) noexcept;

}  // namespace keel
