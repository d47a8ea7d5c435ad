// DateFormatter: a date as people of the current locale write it, in one of
// the conventional styles (none, short, medium, long) for the date and for
// the time of day, through ICU. The locale is the process's default one
// (from LC_ALL, LC_TIME or LANG); the C and POSIX locales write English.
//
// A formatter is costly to make: keep one for repeated use. It is not meant
// for concurrent use; make one per thread.
#pragma once

#include <memory>
#include <string>

#include "keel/Date.h"

namespace keel {

class DateFormatter {
public:
    enum class Style { none, shortStyle, mediumStyle, longStyle };

    // At least one of the two styles should be other than none; with both
    // none, the short date style is used.
    DateFormatter(Style dateStyle, Style timeStyle);
    // For tests and programs that must not follow the environment: an ICU
    // locale identifier such as "en_US" or "de_DE", and an IANA time zone
    // ("UTC", "Europe/Berlin"); an empty zone keeps the system's.
    DateFormatter(Style dateStyle, Style timeStyle, const std::string& locale,
                  const std::string& timeZone = {});
    ~DateFormatter();
    DateFormatter(const DateFormatter&) = delete;
    DateFormatter& operator=(const DateFormatter&) = delete;

    // The text of `date` in UTF-8; never throws. Should ICU fail, the date is
    // written as "YYYY-MM-DD HH:MM" in local time.
    std::string string(Date date) const;

private:
    struct Format;
    std::unique_ptr<Format> format_;
};

}  // namespace keel
