#include "keel/CarriedException.h"

namespace keel {

std::string carriedDescription(const std::exception_ptr& error, std::string_view unknown) {
    if (!error) return {};
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
    }
    return std::string(unknown);
}

std::exception_ptr nestedException(const std::exception_ptr& error) {
    if (const auto nesting = carriedException<std::nested_exception>(error))
        return nesting->nested_ptr();
    return nullptr;
}

std::vector<std::string> carriedDescriptions(const std::exception_ptr& error,
                                             std::string_view unknown) {
    std::vector<std::string> descriptions;
    for (auto current = error; current; current = nestedException(current))
        descriptions.push_back(carriedDescription(current, unknown));
    return descriptions;
}

}  // namespace keel
