#include "keel/FinderOrder.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/unistr.h>

#include <functional>
#include <memory>
#include <unordered_map>

namespace keel {

namespace {

std::unique_ptr<icu::Collator> makeCollator() {
    UErrorCode status = U_ZERO_ERROR;
    // The C and POSIX locales collate by code point, which is no order for
    // people: use the root collation there.
    icu::Locale locale = icu::Locale::getDefault();
    if (std::string_view(locale.getVariant()) == "POSIX" ||
        std::string_view(locale.getLanguage()).empty())
        locale = icu::Locale::getRoot();
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) return nullptr;
    }
    // Secondary strength: accents count, case does not.
    collator->setStrength(icu::Collator::SECONDARY);
    status = U_ZERO_ERROR;
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    return collator;
}

// A collator is costly to make and not meant for concurrent use: one per
// thread. Null when ICU has none.
icu::Collator* threadCollator() {
    thread_local std::unique_ptr<icu::Collator> collator = makeCollator();
    return collator.get();
}

// The keys of names this thread made before. A list shown again is mostly
// the same few hundred names, and collating a name costs far more than
// finding its key; bounded, for a thread that sees ever new names.
struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};
constexpr std::size_t kMaximumCachedKeys = 8192;

std::string collationKey(std::string_view name);

}  // namespace

std::string finderSortKey(std::string_view name) {
    thread_local std::unordered_map<std::string, std::string, KeyHash, std::equal_to<>> cache;
    if (const auto found = cache.find(name); found != cache.end()) return found->second;
    std::string key = collationKey(name);
    if (cache.size() >= kMaximumCachedKeys) cache.clear();
    cache.emplace(std::string(name), key);
    return key;
}

namespace {

std::string collationKey(std::string_view name) {
    std::string key;
    if (icu::Collator* collator = threadCollator()) {
        // Ill-formed UTF-8 becomes U+FFFD, as in compareUTF8.
        const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
            icu::StringPiece(name.data(), static_cast<int32_t>(name.size())));
        key.resize(64);
        int32_t length = collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()),
                                              static_cast<int32_t>(key.size()));
        if (length > static_cast<int32_t>(key.size())) {
            key.resize(static_cast<std::size_t>(length));
            length = collator->getSortKey(text, reinterpret_cast<uint8_t*>(key.data()), length);
        }
        // The collation key ends with its one zero byte, so what follows
        // breaks ties between names that collate alike, by code points.
        key.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        if (key.empty() || key.back() != '\0') key.push_back('\0');
    }
    key.append(name);
    return key;
}

}  // namespace

int finderCompare(std::string_view a, std::string_view b) {
    if (icu::Collator* collator = threadCollator()) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult result = collator->compareUTF8(
            icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
            icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status) && result != UCOL_EQUAL) return result == UCOL_LESS ? -1 : 1;
    }
    return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace keel
