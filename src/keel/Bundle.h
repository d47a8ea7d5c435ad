// Bundle: facts about this application that other facilities build on.
#pragma once

#include <string>

namespace keel {

// The application's reverse-domain identifier.
const std::string& bundleIdentifier();
// The application's short version, as `--version` shows it.
const std::string& bundleShortVersion();
// `label` made unique to this application, for queue labels.
std::string uniqueID(const std::string& label);

}  // namespace keel
