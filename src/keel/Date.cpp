#include "keel/Date.h"

#include <chrono>

namespace keel {

Date Date::now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return fromTimespec(ts);
}

Date Date::fromTimespec(const timespec& ts) {
    // Subtract the reference offset in integer seconds first, so the fraction
    // keeps as many bits as the double can hold.
    const double seconds =
        static_cast<double>(ts.tv_sec - static_cast<time_t>(kReferenceFromUnixEpoch));
    return Date{seconds + static_cast<double>(ts.tv_nsec) / 1e9};
}

}  // namespace keel
