#include "outfitter/SystemSources.h"

#include <cstdlib>

namespace outfitter {

std::optional<std::string> SystemSources::variable(const std::string& name) const {
    if (environment) return environment(name);
    if (const char* value = std::getenv(name.c_str())) return std::string(value);
    return std::nullopt;
}

}  // namespace outfitter
