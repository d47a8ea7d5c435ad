// Date: a point in time as seconds since 1 January 2001 00:00:00 UTC, held as
// a double. This is the form the backup package stores, so a modification date
// read from the file system, written to JSON and read back compares equal to
// the same date read again from the file system: the conversion from a file
// time is deterministic and JSON numbers round-trip doubles exactly.
#pragma once

#include <compare>
#include <ctime>

namespace keel {

struct Date {
    // Seconds between 1 January 1970 and 1 January 2001, both UTC.
    static constexpr double kReferenceFromUnixEpoch = 978307200.0;

    double timeIntervalSinceReferenceDate = 0;

    static Date now();
    static Date fromUnixTime(double secondsSince1970) {
        return Date{secondsSince1970 - kReferenceFromUnixEpoch};
    }
    // A file system time stamp; nanoseconds are kept to the precision of a double.
    static Date fromTimespec(const timespec& ts);

    double timeIntervalSince1970() const {
        return timeIntervalSinceReferenceDate + kReferenceFromUnixEpoch;
    }

    friend auto operator<=>(const Date&, const Date&) = default;
    friend bool operator==(const Date&, const Date&) = default;
};

}  // namespace keel
