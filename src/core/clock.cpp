// The conversion of written start times to UTC.
#include "core/clock.hpp"

#include <array>

namespace hs {
namespace {

constexpr std::int64_t kDay = 86400;
// The years a PackedDate holds; every fourth of them is a leap year, 2000 included.
constexpr unsigned kFirstYear = 2000, kLastYear = 2063;

unsigned month_days(unsigned year, unsigned month) noexcept {
    static constexpr unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kMonthDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
}

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
unsigned sunday_of(unsigned year, unsigned month, unsigned n) noexcept {
    if (n == 0) {
        const unsigned last = month_days(year, month);
        return last - weekday(days_of(year, month, last));
    }
    const unsigned first = weekday(days_of(year, month, 1));
    return 1 + (7 - first) % 7 + 7 * (n - 1);
}

// Minutes ahead of UTC of a local US Eastern time.
int eastern_minutes(const DateParts& local) noexcept {
    // Daylight time begins at 2:00 standard time and ends at 2:00 daylight time, local clocks.
    const bool rules_2007 = local.year >= 2007;
    const unsigned start_month = rules_2007 ? 3 : 4, end_month = rules_2007 ? 11 : 10;
    // Only the months of the changes need their Sundays.
    if (local.month < start_month || local.month > end_month) return -300;
    if (local.month > start_month && local.month < end_month) return -240;
    if (local.month == start_month) {
        const unsigned day = sunday_of(local.year, start_month, rules_2007 ? 2 : 1);
        return local.day > day || (local.day == day && local.hour >= 2) ? -240 : -300;
    }
    const unsigned day = sunday_of(local.year, end_month, rules_2007 ? 1 : 0);
    return local.day < day || (local.day == day && local.hour < 2) ? -240 : -300;
}

struct NamedZone {
    std::string_view name;
    std::int16_t minutes;
};
constexpr std::array<NamedZone, 10> kFixedZones = {{
    {"UTC", 0},
    {"GMT", 0},
    {"WET", 0},
    {"WEST", 60},
    {"CET", 60},
    {"CEST", 120},
    {"EET", 120},
    {"EEST", 180},
    {"MSK", 180},
    {"GST", 240},
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

PackedDate utc_start(PackedDate written, TimeZone zone) noexcept {
    if (zone.kind == TimeZone::Kind::Unknown) return written;
    DateParts d = unpack_date(written);
    if (written == 0 || d.month < 1 || d.month > 12 || d.day < 1 ||
        d.day > month_days(d.year, d.month) || d.hour > 23 || d.minute > 59 || d.second > 59)
        return 0;
    const int minutes = zone.kind == TimeZone::Kind::Fixed ? zone.minutes : eastern_minutes(d);
    // The offsets are below a day: at most one day's carry, done on the parts (no day count).
    int clock = static_cast<int>(d.hour * 60 + d.minute) - minutes;
    if (clock < 0) {
        clock += 24 * 60;
        if (--d.day == 0) {
            if (--d.month == 0) {
                d.month = 12;
                if (d.year-- == kFirstYear) return 0;
            }
            d.day = month_days(d.year, d.month);
        }
    } else if (clock >= 24 * 60) {
        clock -= 24 * 60;
        if (++d.day > month_days(d.year, d.month)) {
            d.day = 1;
            if (++d.month > 12) {
                d.month = 1;
                if (d.year++ == kLastYear) return 0;
            }
        }
    }
    return pack_date(d.year, d.month, d.day, static_cast<unsigned>(clock / 60),
                     static_cast<unsigned>(clock % 60), d.second);
}

}  // namespace hs
