// JSON output in the form Quillfen writes its files and documents: pretty
// printed, indented by two spaces, UTF-8, with a trailing newline.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace keel {

std::string prettyJSON(const nlohmann::json& json);

}  // namespace keel
