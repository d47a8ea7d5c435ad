#include "keel/JSON.h"

namespace keel {

std::string prettyJSON(const nlohmann::json& json) {
    // Invalid UTF-8 in a string is replaced rather than thrown: output must not fail.
    return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace keel
