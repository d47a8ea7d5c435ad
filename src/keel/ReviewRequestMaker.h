// ReviewRequestMaker: asks the system to show its rating prompt. This platform
// has no such prompt, so `make()` answers false: nothing was shown.
#pragma once

namespace keel {

struct ReviewRequestMaker {
    static bool make() { return false; }
};

}  // namespace keel
