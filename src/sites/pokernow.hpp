// PokerNow club logs, as the site exports them: comma-separated values with the header
// "entry,at,order", one row per log entry, the newest first.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/model.hpp"
#include "reader/cursor.hpp"
#include "reader/hand.hpp"

namespace hs::pokernow {

// A log's entries in the order they happened, one line each, with the time of each line.
struct Log {
    std::string text;                     // the entries, one per line
    std::vector<std::string_view> times;  // the "at" of line n + 1 ("2022-01-20T10:49:37.495Z")
    std::string hero;   // the player whose cards the log shows ("Your hand is ..."), when known
    std::string cells;  // the texts the lines and times point into
};

// Reads the export's rows into `log`; an empty string, or what makes the text no such export
// ("PokerNow log that is not comma-separated values: quoted field left open, line 9").
std::string rebuild(std::string_view csv, Log& log);

void parse_hands(Parser& parser, const Log& log, Errors errors, std::vector<Rejection>& rejected);

}  // namespace hs::pokernow
