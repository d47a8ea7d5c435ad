#include "keel/CarriedException.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// An error thrown with std::throw_with_nested over `inner`, as a worker hands
// it on.
std::exception_ptr nestedOver(std::exception_ptr inner, const std::string& outer) {
    try {
        try {
            std::rethrow_exception(inner);
        } catch (...) {
            std::throw_with_nested(std::runtime_error(outer));
        }
    } catch (...) {
        return std::current_exception();
    }
    return nullptr;
}

}  // namespace

TEST(CarriedExceptionTest, GivesACopyOfTheTypeAskedForOrOfABaseAndNothingOtherwise) {
    const auto error = std::make_exception_ptr(std::out_of_range("past the end"));
    ASSERT_TRUE(keel::carriedException<std::out_of_range>(error));
    EXPECT_STREQ(keel::carriedException<std::out_of_range>(error)->what(), "past the end");
    EXPECT_TRUE(keel::carriedException<std::logic_error>(error));
    EXPECT_FALSE(keel::carriedException<std::runtime_error>(error));
    EXPECT_FALSE(keel::carriedException<std::logic_error>(std::exception_ptr()));
    EXPECT_FALSE(keel::carriedException<std::logic_error>(std::make_exception_ptr(42)));
}

TEST(CarriedExceptionTest, DescriptionsFollowTheNestedErrorsOutermostFirst) {
    const auto error =
        nestedOver(nestedOver(std::make_exception_ptr(42), "cannot read"), "cannot open");
    EXPECT_EQ(keel::carriedDescription(error), "cannot open");
    EXPECT_EQ(keel::carriedDescriptions(error, "?"),
              (std::vector<std::string>{"cannot open", "cannot read", "?"}));
    EXPECT_EQ(keel::carriedDescription(keel::nestedException(error)), "cannot read");
    // An error nested in nothing, and no error at all.
    EXPECT_EQ(keel::nestedException(std::make_exception_ptr(std::runtime_error("x"))), nullptr);
    EXPECT_EQ(keel::carriedDescription(nullptr), "");
    EXPECT_TRUE(keel::carriedDescriptions(nullptr).empty());
    EXPECT_EQ(keel::carriedDescription(std::make_exception_ptr(42)), "Unknown error");
}
