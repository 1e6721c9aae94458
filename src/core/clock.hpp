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
    bool operator==(const TimeZone&) const = default;
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

// utc_start with the conversion of the last hour kept. The hands of a history follow each other
// in one zone, most of them within the hour of the hand before; in a zone whose offset is a whole
// number of hours (every zone but a few "GMT+hhmm"), a start differs from the start of its hour
// by its minutes and seconds alone, so the UTC start of the hour is worked out once per hour.
// Gives what utc_start gives for every time and zone. One per parse: it is not shared between
// threads.
class UtcClock {
  public:
    // Once per hand: inline.
    PackedDate utc(PackedDate written, TimeZone zone) noexcept {
        const PackedDate minutes = (written >> 6) & 0x3F, seconds = written & 0x3F;
        if ((written & ~kClock) == hour_ && zone == zone_ && minutes <= 59 && seconds <= 59)
            return base_ | (written & kClock);
        return convert(written, zone);
    }

  private:
    // The minute and second fields of a PackedDate.
    static constexpr PackedDate kClock = 0xFFF;
    // utc_start, keeping the hour of `written` when it can be kept.
    PackedDate convert(PackedDate written, TimeZone zone) noexcept;

    // The hour last kept (its minute and second fields 0), or a month 16 that no date has; its
    // zone; the UTC start of that hour (never 0: a start of 0 is not kept).
    PackedDate hour_ = ~kClock;
    TimeZone zone_;
    PackedDate base_ = 0;
};

}  // namespace hs
