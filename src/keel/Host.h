// Host: facts about this computer.
#pragma once

#include <optional>
#include <string>

namespace keel {

// The computer's name as its user set it: the "pretty" host name where the
// system keeps one (PRETTY_HOSTNAME in /etc/machine-info), else the host name;
// nothing when neither is known.
std::optional<std::string> localizedHostName();

}  // namespace keel
