// The conversion of written start times to UTC.
#include "core/clock.hpp"

#include <array>

namespace hs {
namespace {

// The years a PackedDate holds; every fourth of them is a leap year, 2000 included.
constexpr unsigned kFirstYear = 2000, kLastYear = 2063;

// Days since 1970-01-01 of a civil date, counted with March as the first month so that the leap
// day comes last in its year (no check: the callers pass real dates).
constexpr std::int64_t days_of(unsigned year, unsigned month, unsigned day) noexcept {
    const int y = static_cast<int>(year) - (month <= 2 ? 1 : 0);
    const int era = y / 400;  // years here are 1999..2063: never negative
    const int year_of_era = y - era * 400;
    const int day_of_year = (153 * static_cast<int>(month > 2 ? month - 3 : month + 9) + 2) / 5 +
                            static_cast<int>(day) - 1;
    const int day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return std::int64_t{era} * 146097 + day_of_era - 719468;
}

// 0 for Sunday ... 6 for Saturday (1970-01-01 was a Thursday).
constexpr unsigned weekday(std::int64_t days) noexcept {
    return static_cast<unsigned>(((days % 7) + 7 + 4) % 7);
}

constexpr unsigned month_days_of(unsigned year, unsigned month) noexcept {
    constexpr unsigned kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return kMonthDays[month - 1] + (month == 2 && year % 4 == 0 ? 1 : 0);
}

// The day of the month of the n-th Sunday (n >= 1) of a month, or of its last Sunday (n = 0).
constexpr unsigned sunday_of(unsigned year, unsigned month, unsigned n) noexcept {
    if (n == 0) {
        const unsigned last = month_days_of(year, month);
        return last - weekday(days_of(year, month, last));
    }
    const unsigned first = weekday(days_of(year, month, 1));
    return 1 + (7 - first) % 7 + 7 * (n - 1);
}

// US Eastern daylight time of each year a PackedDate holds: the month and day it begins and the
// month and day it ends. From the second Sunday of March to the first Sunday of November since
// 2007, from the first Sunday of April to the last Sunday of October before. Worked out once,
// when the program is compiled.
struct EasternSummer {
    std::uint8_t start_month, start_day, end_month, end_day;
};
constexpr std::array<EasternSummer, kLastYear - kFirstYear + 1> kEasternSummers = [] {
    std::array<EasternSummer, kLastYear - kFirstYear + 1> t{};
    for (unsigned year = kFirstYear; year <= kLastYear; ++year) {
        const bool rules_2007 = year >= 2007;
        const unsigned start_month = rules_2007 ? 3 : 4, end_month = rules_2007 ? 11 : 10;
        t[year - kFirstYear] = EasternSummer{
            static_cast<std::uint8_t>(start_month),
            static_cast<std::uint8_t>(sunday_of(year, start_month, rules_2007 ? 2 : 1)),
            static_cast<std::uint8_t>(end_month),
            static_cast<std::uint8_t>(sunday_of(year, end_month, rules_2007 ? 1 : 0))};
    }
    return t;
}();
// Two known changes, checked when the table is built: 2007-03-11 and 2006-10-29.
static_assert(kEasternSummers[7].start_day == 11 && kEasternSummers[7].end_day == 4);
static_assert(kEasternSummers[6].start_month == 4 && kEasternSummers[6].end_day == 29);

// Minutes ahead of UTC of a local US Eastern time.
int eastern_minutes(const DateParts& local) noexcept {
    // Daylight time begins at 2:00 standard time and ends at 2:00 daylight time, local clocks.
    // The year is one a PackedDate holds (its six bits): the mask keeps the index in the table.
    const EasternSummer& s = kEasternSummers[(local.year - kFirstYear) & 63];
    if (local.month < s.start_month || local.month > s.end_month) return -300;
    if (local.month > s.start_month && local.month < s.end_month) return -240;
    if (local.month == s.start_month)
        return local.day > s.start_day || (local.day == s.start_day && local.hour >= 2) ? -240
                                                                                        : -300;
    return local.day < s.end_day || (local.day == s.end_day && local.hour < 2) ? -240 : -300;
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
        d.day > month_days_of(d.year, d.month) || d.hour > 23 || d.minute > 59 || d.second > 59)
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
            d.day = month_days_of(d.year, d.month);
        }
    } else if (clock >= 24 * 60) {
        clock -= 24 * 60;
        if (++d.day > month_days_of(d.year, d.month)) {
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

PackedDate UtcClock::convert(PackedDate written, TimeZone zone) noexcept {
    const PackedDate utc = utc_start(written, zone);
    // An offset of whole hours moves the hour and perhaps the date, never the minutes; US Eastern
    // time's offset changes on the hour. A start of 0 (no date, or none in UTC) is not kept: a
    // time of the same hour may have one.
    const bool whole_hours = zone.kind == TimeZone::Kind::UsEastern ||
                             (zone.kind == TimeZone::Kind::Fixed && zone.minutes % 60 == 0);
    if (!whole_hours) return utc;
    const PackedDate hour = written & ~kClock;
    const PackedDate base = utc_start(hour, zone);
    if (base == 0) return utc;
    hour_ = hour;
    zone_ = zone;
    base_ = base;
    return utc;
}

}  // namespace hs
