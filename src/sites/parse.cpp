// The parse entry points: a text or a file, its site detected, read by that site's reader.
#include "sites/parse.hpp"

#include <algorithm>
#include <memory>
#include <utility>

#include "core/store_pool.hpp"
#include "input/detect.hpp"
#include "input/file.hpp"
#include "reader/cursor.hpp"
#include "sites/absolute.hpp"
#include "sites/betonline.hpp"
#include "sites/bovada.hpp"
#include "sites/cake.hpp"
#include "sites/enet.hpp"
#include "sites/everleaf.hpp"
#include "sites/fulltilt.hpp"
#include "sites/ipoker.hpp"
#include "sites/kingsclub.hpp"
#include "sites/merge.hpp"
#include "sites/ongame.hpp"
#include "sites/pacificpoker.hpp"
#include "sites/partypoker.hpp"
#include "sites/pkr.hpp"
#include "sites/pokernow.hpp"
#include "sites/pokerstars.hpp"
#include "sites/pokertracker.hpp"
#include "sites/winamax.hpp"
#include "sites/winning.hpp"

namespace hs {
namespace {

// Runs the site's reader over the parser's text (`text`, a PokerNow log's rows already put back
// in time order); false, having read nothing, for a site that has none.
bool read_with_site_reader(Site site, std::string_view text, Parser& parser, Errors errors,
                           std::vector<Rejection>& rejected, const pokernow::Log& log) {
    switch (site) {
        case Site::PokerStars:
            pokerstars::parse_hands(parser, pokerstars::kPokerStars, errors, rejected);
            return true;
        case Site::PokerStarsPluribus:
            pokerstars::parse_hands(parser, pokerstars::kPluribus, errors, rejected);
            return true;
        case Site::GGPoker:
            pokerstars::parse_hands(parser, pokerstars::kGGPoker, errors, rejected);
            return true;
        case Site::RunItOnce:
            pokerstars::parse_hands(parser, pokerstars::kRunItOnce, errors, rejected);
            return true;
        case Site::PokerMaster:
            pokerstars::parse_hands(parser, pokerstars::kPokerMaster, errors, rejected);
            return true;
        case Site::PokerBros:
            pokerstars::parse_hands(parser, pokerstars::kPokerBros, errors, rejected);
            return true;
        case Site::OnGame: ongame::parse_hands(parser, errors, rejected); return true;
        case Site::Winamax: winamax::parse_hands(parser, errors, rejected); return true;
        case Site::PacificPoker: pacificpoker::parse_hands(parser, errors, rejected); return true;
        case Site::PartyPoker: partypoker::parse_hands(parser, errors, rejected); return true;
        case Site::Winning: winning::parse_hands(parser, errors, rejected); return true;
        case Site::Bovada: bovada::parse_hands(parser, errors, rejected); return true;
        case Site::PokerNow: pokernow::parse_hands(parser, log, errors, rejected); return true;
        case Site::FullTiltPoker:
            // The site's own layout, or PokerStars' that its histories took after 2016.
            if (fulltilt::in_stars_layout(text))
                pokerstars::parse_hands(parser, pokerstars::kFullTiltStars, errors, rejected);
            else
                fulltilt::parse_hands(parser, errors, rejected);
            return true;
        case Site::IPoker: ipoker::parse_hands(parser, errors, rejected); return true;
        case Site::Merge: merge::parse_hands(parser, errors, rejected); return true;
        case Site::Enet: enet::parse_hands(parser, errors, rejected); return true;
        case Site::Pkr: pkr::parse_hands(parser, errors, rejected); return true;
        case Site::PokerTracker: pokertracker::parse_hands(parser, errors, rejected); return true;
        case Site::BetOnline:
        case Site::PayNoRake: betonline::parse_hands(parser, site, errors, rejected); return true;
        case Site::Cake: cake::parse_hands(parser, errors, rejected); return true;
        case Site::EverLeaf:
        case Site::GrandPoker: everleaf::parse_hands(parser, site, errors, rejected); return true;
        case Site::Absolute: absolute::parse_hands(parser, errors, rejected); return true;
        case Site::KingsClub: kingsclub::parse_hands(parser, errors, rejected); return true;
        default: break;
    }
    return false;
}

// The reader of the site over the text, a PokerNow log's rows already put back in time order.
void run_reader(Site site, std::string_view text, HandStore& store, Errors errors,
                std::vector<Rejection>& rejected, const pokernow::Log& log) {
    std::string unjoined;
    if (site == Site::Winning) text = winning::split_joined_hands(text, unjoined);
    if (site == Site::PokerNow) text = log.text;
    Parser parser(text, store);
    if (!read_with_site_reader(site, text, parser, errors, rejected, log))
        fault_input("Parser has not been implemented for " + std::string(site_name(site)));
}

}  // namespace

void run_site_parser(Site site, std::string_view text, HandStore& store, Errors errors,
                     std::vector<Rejection>& rejected) {
    pokernow::Log log;
    if (site == Site::PokerNow)
        if (std::string error = pokernow::rebuild(text, log); !error.empty())
            fault_input(std::move(error));
    run_reader(site, text, store, errors, rejected, log);
}

bool site_has_reader(Site site) {
    // A reader given no text reads no hand; one that faults on it exists all the same.
    HandStore store;
    Parser parser(std::string_view(), store);
    std::vector<Rejection> rejected;
    const pokernow::Log log;
    try {
        return read_with_site_reader(site, std::string_view(), parser, Errors::Skip, rejected, log);
    } catch (const Fault&) {
        return true;
    }
}

ParseResult parse_text(std::string_view text, Errors errors) {
    ParseResult result;
    try {
        auto site = detect_site(text);  // removes the mark itself
        if (auto* message = std::get_if<std::string>(&site)) {
            result.error = std::move(*message);
            return result;
        }
        // A PokerNow log that is no table of its rows is refused as a text of no site is.
        pokernow::Log log;
        if (std::get<Site>(site) == Site::PokerNow) {
            result.error = pokernow::rebuild(without_byte_order_mark(text), log);
            if (!result.error.empty()) return result;
        }
        auto store = store_pool::take(text.size());
        run_reader(std::get<Site>(site), without_byte_order_mark(text), *store, errors,
                   result.rejected, log);
        result.store = std::move(store);
    } catch (const InputFault& f) {
        if (errors == Errors::Strict) throw;
        result.error = f.message();
    }
    return result;
}

ParseResult parse_text_as(Site site, std::string_view text, Errors errors,
                          std::size_t reserve_bytes) {
    ParseResult result;
    try {
        auto store = store_pool::take(std::max(reserve_bytes, text.size()));
        run_site_parser(site, text, *store, errors, result.rejected);
        result.store = std::move(store);
    } catch (const InputFault& f) {
        if (errors == Errors::Strict) throw;
        result.error = f.message();
    }
    return result;
}

ParseResult parse_file(const std::string& path, Errors errors, Encoding encoding) {
    InputText input;
    if (std::string error = read_input_file(path, encoding, input); !error.empty()) {
        ParseResult result;
        result.error = std::move(error);
        return result;
    }
    return parse_text(input.text, errors);
}

}  // namespace hs
