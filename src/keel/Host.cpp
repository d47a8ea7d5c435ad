#include "keel/Host.h"

#include <unistd.h>

#include <climits>
#include <fstream>

namespace keel {

namespace {

std::string unquoted(std::string value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

}  // namespace

std::optional<std::string> localizedHostName() {
    std::ifstream machineInfo("/etc/machine-info");
    for (std::string line; std::getline(machineInfo, line);) {
        constexpr std::string_view key = "PRETTY_HOSTNAME=";
        if (line.starts_with(key)) {
            std::string value = unquoted(line.substr(key.size()));
            if (!value.empty()) return value;
        }
    }
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') return std::string(name);
    return std::nullopt;
}

}  // namespace keel
