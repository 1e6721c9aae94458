// The conversion of written start times to UTC.
#include "model/clock.hpp"

#include <array>

namespace hs {
namespace {

constexpr std::int64_t kDay = 86400;

// Days since 1970-01-01 of a civil date (no check: the callers pass real dates).
std::int64_t days_of(unsigned year, unsigned month, unsigned day) noexcept {
    const auto seconds = date_seconds(pack_date(year, month, day, 0, 0, 0));
    return seconds ? *seconds / kDay : 0;
}

// 0 for Sunday ... 6 for Saturday (1970-01-01 was a Thursday).
unsigned weekday(std::int64_t days) noexcept {
    return static_cast<unsigned>(((days % 7) + 7 + 4) % 7);
}

// The day of the month of the n-th Sunday (n >= 1) of a month, or of its last Sunday (n = 0).
unsigned sunday_of(unsigned year, unsigned month, unsigned n, unsigned month_days) noexcept {
    if (n == 0) {
        const unsigned last = weekday(days_of(year, month, month_days));
        return month_days - last;
    }
    const unsigned first = weekday(days_of(year, month, 1));
    return 1 + (7 - first) % 7 + 7 * (n - 1);
}

// Minutes ahead of UTC of a local US Eastern time (its seconds as if it were UTC).
int eastern_minutes(unsigned year, unsigned month, std::int64_t local) noexcept {
    // Daylight time begins at 2:00 standard time and ends at 2:00 daylight time, local clocks.
    const bool rules_2007 = year >= 2007;
    const unsigned start_month = rules_2007 ? 3 : 4, end_month = rules_2007 ? 11 : 10;
    // Only the months of the changes need their Sundays.
    if (month < start_month || month > end_month) return -300;
    if (month > start_month && month < end_month) return -240;
    const unsigned start_day = sunday_of(year, start_month, rules_2007 ? 2 : 1, 31);
    const unsigned end_day = sunday_of(year, end_month, rules_2007 ? 1 : 0, 31);
    const std::int64_t start = days_of(year, start_month, start_day) * kDay + 2 * 3600;
    const std::int64_t end = days_of(year, end_month, end_day) * kDay + 2 * 3600;
    return local >= start && local < end ? -240 : -300;
}

struct NamedZone {
    std::string_view name;
    std::int16_t minutes;
};
constexpr std::array<NamedZone, 10> kFixedZones = {{
    {"UTC", 0}, {"GMT", 0}, {"WET", 0}, {"WEST", 60}, {"CET", 60}, {"CEST", 120},
    {"EET", 120}, {"EEST", 180}, {"MSK", 180}, {"GST", 240},
}};

}  // namespace

TimeZone zone_named(std::string_view name) noexcept {
    if (name.size() >= 2 && name.front() == '(' && name.back() == ')')
        name = name.substr(1, name.size() - 2);
    if (name == "ET") return TimeZone{TimeZone::Kind::UsEastern, 0};
    for (const NamedZone& z : kFixedZones)
        if (z.name == name) return TimeZone::fixed(z.minutes);
    // "GMT+0100": a sign and four digits.
    if (name.size() == 8 && name.substr(0, 3) == "GMT" && (name[3] == '+' || name[3] == '-')) {
        int value = 0;
        for (std::size_t i = 4; i < 8; ++i) {
            const char c = name[i];
            if (c < '0' || c > '9') return TimeZone{};
            value = value * 10 + (c - '0');
        }
        const int minutes = value / 100 * 60 + value % 100;
        if (value % 100 >= 60 || minutes > 14 * 60) return TimeZone{};
        return TimeZone::fixed(static_cast<std::int16_t>(name[3] == '-' ? -minutes : minutes));
    }
    return TimeZone{};
}

PackedDate date_of_seconds(std::int64_t seconds) noexcept {
    // The inverse of date_seconds' day count: the civil date of a day number.
    std::int64_t days = seconds >= 0 ? seconds / kDay : -((-seconds + kDay - 1) / kDay);
    const std::int64_t rest = seconds - days * kDay;
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year =
        day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t mp = (5 * day_of_year + 2) / 153;
    const std::int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 2000 || year > 2063) return 0;
    return pack_date(static_cast<std::uint64_t>(year), static_cast<std::uint64_t>(month),
                     static_cast<std::uint64_t>(day), static_cast<std::uint64_t>(rest / 3600),
                     static_cast<std::uint64_t>(rest / 60 % 60),
                     static_cast<std::uint64_t>(rest % 60));
}

PackedDate utc_start(PackedDate written, TimeZone zone) noexcept {
    if (zone.kind == TimeZone::Kind::Unknown) return written;
    const auto local = date_seconds(written);
    if (!local) return 0;
    const DateParts parts = unpack_date(written);
    const int minutes = zone.kind == TimeZone::Kind::Fixed
                            ? zone.minutes
                            : eastern_minutes(parts.year, parts.month, *local);
    if (minutes == 0) return written;
    return date_of_seconds(*local - std::int64_t{minutes} * 60);
}

}  // namespace hs
