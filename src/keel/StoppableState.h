// StoppableState: a two-valued answer to "may this go on?". Combining two
// answers with `||` gives `stop` when either says stop.
#pragma once

namespace keel {

enum class StoppableState { goOn, stop };

constexpr StoppableState operator||(StoppableState a, StoppableState b) {
    return (a == StoppableState::stop || b == StoppableState::stop) ? StoppableState::stop
                                                                    : StoppableState::goOn;
}

}  // namespace keel
