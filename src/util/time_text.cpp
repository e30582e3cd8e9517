#include "util/time_text.h"

#include <climits>
#include <cmath>

#include "util/strings.h"

namespace tf {

namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;
constexpr double kMonth = 30 * kDay;

std::string withCount(std::string_view key, double count) {
    double floored = std::floor(count);
    // Casting a double beyond the integer range is undefined; such ages are clamped.
    long long whole = floored < 9.0e18 ? static_cast<long long>(floored) : LLONG_MAX;
    return localizedFormat(key, {std::to_string(whole)});
}

}  // namespace

std::string timeAgo(SystemTime timestamp, SystemTime now) {
    // Subtract in exact ticks (so 60 s is exactly 60.0); only time points too far apart for
    // the tick type fall back to an infinite age.
    SystemTime::rep ticks = 0;
    double s = 0;
    if (__builtin_sub_overflow(now.time_since_epoch().count(), timestamp.time_since_epoch().count(),
                               &ticks)) {
        s = now > timestamp ? HUGE_VAL : -HUGE_VAL;
    } else {
        s = std::chrono::duration<double>(SystemTime::duration(ticks)).count();
    }
    if (s < kMinute)
        return localized("Just now");
    if (s < 2 * kMinute)
        return localized("1 minute ago");
    // From 45 minutes on the text rounds up to the hour.
    if (s < 45 * kMinute)
        return withCount("%d minutes ago", s / kMinute);
    if (s < 90 * kMinute)
        return localized("1 hour ago");
    if (s < kDay)
        return withCount("%d hours ago", s / kHour);
    if (s < 2 * kDay)
        return localized("Yesterday");
    if (s < kMonth)
        return withCount("%d days ago", s / kDay);
    if (s < 12 * kMonth) {
        if (std::floor(s / kMonth) < 2)
            return localized("A month ago");
        return withCount("%d months ago", s / kMonth);
    }
    if (std::floor(s / kMonth / 12) < 2)
        return localized("One year ago");
    return withCount("%d years ago", s / kMonth / 12);
}

}  // namespace tf
