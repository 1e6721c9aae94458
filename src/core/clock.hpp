// Start times in UTC: the zones the histories write their times in, and the one conversion from
// them that the readers, the Open Hand History export and the tables share.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/model.hpp"

namespace hs {

// The zone of a written time: a fixed offset from UTC, US Eastern time (the zone PokerStars
// writes as "ET", whose offset depends on the date), or a zone the history does not name.
struct TimeZone {
    enum class Kind : std::uint8_t { Unknown, Fixed, UsEastern };
    Kind kind = Kind::Unknown;
    std::int16_t minutes = 0;  // Fixed: minutes ahead of UTC (CET: 60)

    static constexpr TimeZone fixed(std::int16_t minutes) noexcept {
        return TimeZone{Kind::Fixed, minutes};
    }
};

// The zone a history names: "ET" (with or without parentheses), a zone abbreviation of fixed
// offset ("UTC", "GMT", "WET", "WEST", "CET", "CEST", "EET", "EEST", "MSK", "GST" as the Gulf's
// standard time) or "GMT+hhmm" / "GMT-hhmm". Abbreviations of zones that keep summer time by rules
// of their own ("PT") or that name several zones ("IST", "BST") are Unknown.
TimeZone zone_named(std::string_view name) noexcept;

// The UTC time of a start written in `zone`, or the written time itself for an Unknown zone; 0
// for no date (0), an impossible one, or a UTC time outside the years a PackedDate holds.
// US Eastern time keeps daylight saving time by the rules of the date's year: from the second
// Sunday of March to the first Sunday of November since 2007, from the first Sunday of April to
// the last Sunday of October before. The hour that the autumn change repeats (1:00 to 1:59) is
// read as daylight time, its first occurrence; the hour that the spring change skips (2:00 to
// 2:59) as daylight time too.
PackedDate utc_start(PackedDate written, TimeZone zone) noexcept;

}  // namespace hs
