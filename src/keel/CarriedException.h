// Looks into the exception a std::exception_ptr carries: an error caught on
// one thread (a worker, a queue) and handed on to the code that reports it.
// Callers ask what they need to know instead of writing a rethrow-and-catch
// block of their own each time.
//
// Pure functions of their argument; safe on any thread. Nothing here throws,
// except what copying the exception into the result may throw.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keel {

// A copy of the exception `error` carries when it is an `E` or derives from
// one (so sliced to `E`); nothing when `error` is null or carries anything
// else.
template <class E>
std::optional<E> carriedException(const std::exception_ptr& error) {
    if (!error) return std::nullopt;
    try {
        std::rethrow_exception(error);
    } catch (const E& exception) {
        return exception;
    } catch (...) {
    }
    return std::nullopt;
}

// what() of the exception `error` carries; `unknown` when it carries no
// std::exception, and empty for a null `error`.
std::string carriedDescription(const std::exception_ptr& error,
                               std::string_view unknown = "Unknown error");

// The exception nested in the one `error` carries (see std::throw_with_nested);
// null when there is none.
std::exception_ptr nestedException(const std::exception_ptr& error);

// The descriptions of the carried exception and of every exception nested in
// it, outermost first; empty for a null `error`.
std::vector<std::string> carriedDescriptions(const std::exception_ptr& error,
                                             std::string_view unknown = "Unknown error");

}  // namespace keel
