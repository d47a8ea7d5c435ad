#include "keel/DateFormatter.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <ctime>
#include <string_view>

namespace keel {

struct DateFormatter::Format {
    std::unique_ptr<icu::DateFormat> icu;
};

namespace {

icu::DateFormat::EStyle icuStyle(DateFormatter::Style style) {
    switch (style) {
        case DateFormatter::Style::none:
            return icu::DateFormat::kNone;
        case DateFormatter::Style::shortStyle:
            return icu::DateFormat::kShort;
        case DateFormatter::Style::mediumStyle:
            return icu::DateFormat::kMedium;
        case DateFormatter::Style::longStyle:
            return icu::DateFormat::kLong;
    }
    return icu::DateFormat::kShort;
}

// The C and POSIX locales name no language; people there read English.
icu::Locale usableLocale(icu::Locale locale) {
    if (std::string_view(locale.getVariant()) == "POSIX" ||
        std::string_view(locale.getLanguage()).empty() ||
        std::string_view(locale.getLanguage()) == "c")
        return icu::Locale("en_US");
    return locale;
}

std::unique_ptr<icu::DateFormat> makeFormat(DateFormatter::Style dateStyle,
                                            DateFormatter::Style timeStyle,
                                            const icu::Locale& locale) {
    if (dateStyle == DateFormatter::Style::none && timeStyle == DateFormatter::Style::none)
        dateStyle = DateFormatter::Style::shortStyle;
    return std::unique_ptr<icu::DateFormat>(
        icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle), icuStyle(timeStyle), locale));
}

std::string fallbackText(Date date) {
    const auto seconds = static_cast<std::time_t>(date.timeIntervalSince1970());
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr) return "?";
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

}  // namespace

DateFormatter::DateFormatter(Style dateStyle, Style timeStyle)
    : format_(std::make_unique<Format>(
          Format{makeFormat(dateStyle, timeStyle, usableLocale(icu::Locale::getDefault()))})) {}

DateFormatter::DateFormatter(Style dateStyle, Style timeStyle, const std::string& locale,
                             const std::string& timeZone)
    : format_(std::make_unique<Format>(
          Format{makeFormat(dateStyle, timeStyle, usableLocale(icu::Locale(locale.c_str())))})) {
    if (format_->icu && !timeZone.empty())
        format_->icu->adoptTimeZone(
            icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone)));
}

DateFormatter::~DateFormatter() = default;

std::string DateFormatter::string(Date date) const {
    if (!format_->icu) return fallbackText(date);
    icu::UnicodeString text;
    // ICU counts milliseconds since 1970.
    format_->icu->format(date.timeIntervalSince1970() * 1000.0, text);
    std::string result;
    text.toUTF8String(result);
    return result.empty() ? fallbackText(date) : result;
}

}  // namespace keel
