#include "keel/Bundle.h"

namespace keel {

const std::string& bundleIdentifier() {
    static const std::string identifier = "org.quillfen.Quillfen";
    return identifier;
}

const std::string& bundleShortVersion() {
#ifdef QUILLFEN_VERSION
    static const std::string version = QUILLFEN_VERSION;
#else
    static const std::string version = "0.1.0";
#endif
    return version;
}

std::string uniqueID(const std::string& label) {
    return bundleIdentifier() + "." + label;
}

}  // namespace keel
