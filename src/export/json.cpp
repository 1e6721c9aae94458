// The JSON writer and the two layouts written with it.
//
// One pass over the store, straight into one growable buffer: no document tree, no allocation
// per value. Every list and text is reached through the store's checked accessors, so a broken
// reference is an hs::Fault and the half-written buffer is simply dropped with the exception.
#include "export/json.hpp"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/format.hpp"
#include "core/utf8.hpp"
#include "export/json_writer.hpp"

namespace hs {
namespace {

// Bytes of a hand, a player and an action in the native layout, as real hands give them: the
// output's first reservation.
constexpr std::size_t kNativeHandBytes = 900, kNativePlayerBytes = 120, kNativeActionBytes = 90;

// What follows "cards" in an action object.
enum class Extra : std::uint8_t {
    None,
    Bet,
    BetAllIn,
    Blind,
    Pot,
    Amount,
    CashOut,
    Seat,
    Say,
    Finish,
    Bounty,
    SplitBounty,
    Purchase,
    Entry,
    Count
};

struct ActionForm {
    std::string_view type;  // value of "type"
    Extra extra;
    std::string_view label;  // value of "blind" or "pot"
    bool has_cards;          // the payload names a card set
};

constexpr std::array<ActionForm, kActionTypeCount> kActionForms = {{
    {"bet", Extra::Bet, {}, false},                // Bet
    {"call", Extra::Bet, {}, false},               // Call
    {"raise", Extra::Bet, {}, false},              // Raise
    {"bet", Extra::BetAllIn, {}, false},           // BetAllIn
    {"call", Extra::BetAllIn, {}, false},          // CallAllIn
    {"raise", Extra::BetAllIn, {}, false},         // RaiseAllIn
    {"check", Extra::None, {}, false},             // Check
    {"fold", Extra::None, {}, true},               // Fold
    {"muck", Extra::None, {}, true},               // Muck
    {"show", Extra::None, {}, true},               // Show
    {"dealt", Extra::None, {}, true},              // Dealt
    {"blind", Extra::Blind, "ante", false},        // Ante
    {"blind", Extra::Blind, "big", false},         // BigBlind
    {"blind", Extra::Blind, "small", false},       // SmallBlind
    {"blind", Extra::Blind, "big_small", false},   // BigSmallBlind
    {"blind", Extra::Blind, "dead", false},        // DeadBlind
    {"blind", Extra::Blind, "extra", false},       // ExtraBlind
    {"cashout", Extra::CashOut, {}, false},        // CashOut
    {"collect_pot", Extra::Pot, "main", false},    // CollectMainPot
    {"collect_pot", Extra::Pot, "side_1", false},  // CollectSidePot1
    {"collect_pot", Extra::Pot, "side_2", false},  // CollectSidePot2
    {"collect_pot", Extra::Pot, "side_3", false},  // CollectSidePot3
    {"uncalled_bet", Extra::Amount, {}, false},    // UncalledBetReturned
    {"join", Extra::Seat, {}, false},              // Join
    {"leave", Extra::None, {}, false},             // Leave
    {"sitout", Extra::None, {}, false},            // Sitout
    {"say", Extra::Say, {}, false},                // Say
    {"finish", Extra::Finish, {}, false},          // Finish
    {"bounty", Extra::Bounty, {}, false},          // Bounty
    {"bounty", Extra::SplitBounty, {}, false},     // SplitBounty
    {"rebuy", Extra::Purchase, {}, false},         // Rebuy
    {"addon", Extra::Purchase, {}, false},         // AddOn
    {"entry", Extra::Entry, {}, false},            // Entry
    {"insurance", Extra::Amount, {}, false},       // Insurance
    {"bring_in", Extra::Amount, {}, false},        // BringIn
    {"complete", Extra::Amount, {}, false},        // Complete
    {"dealt_up", Extra::None, {}, true},           // DealtUp
    {"discard", Extra::None, {}, true},            // Discard
    {"draw", Extra::Count, {}, false},             // Draw
    {"stand_pat", Extra::None, {}, false},         // StandPat
}};

// ---------------------------------------------------------------------------------------------
// Native layout
// ---------------------------------------------------------------------------------------------

// The root array of both layouts: one object per hand of the span, in store order.
template <class Layout>
void write_root(const HandStore& store, JsonWriter& w, Span hands, Layout&& layout) {
    const auto list = store.resolve(store.hands, hands);
    Arr arr(w);
    for (const Hand& h : list) {
        arr.next();
        layout.hand(h);
        w.end_of_hand();
    }
    arr.close();
    w.flush();
}

class NativeWriter {
  public:
    NativeWriter(const HandStore& store, JsonWriter& w) : store_(store), w_(w) {}

    void hand(const Hand& h) {
        text_start_ = h.text_start;  // anchors the Say messages of this hand
        Obj o(w_);
        o.key("header");
        header(h.header);
        o.key("preflop");
        street(h.preflop);
        o.key("flops");
        streets(store_.flops, h.flops);
        o.key("turns");
        streets(store_.turns, h.turns);
        o.key("rivers");
        streets(store_.rivers, h.rivers);
        o.key("showdowns");
        streets(store_.showdowns, h.showdowns);
        // Stud's seventh street: written for the games without a board only.
        if (is_boardless(h.header.game_type)) {
            o.key("sevenths");
            streets(store_.sevenths, h.sevenths);
        }
        o.key("summary");
        summary(h.summary);
        o.close();
    }

    void header(const Header& hd) {
        Obj o(w_);
        o.key("site").name(enum_text(kSiteNames, hd.site));
        o.key("game_type").name(enum_text(kGameTypeNames, hd.game_type));
        o.key("bet_type").name(enum_text(kBetTypeNames, hd.bet_type));
        // A mixed game's rotation ("HORSE"): written for the hands of one only.
        if (hd.mixed != MixedGame::None) o.key("mixed").text(mixed_game_name(hd.mixed));
        o.key("id").text(store_.text_of(hd.id));
        o.key("table_name").text(store_.text_of(hd.table_name));
        o.key("start_date").date(hd.start_date);
        o.key("currency");
        currency(hd.currency);
        o.key("is_tournament").flag(hd.is_tournament());
        // Only a tournament hand has the object: a cash hand is written as it always has been.
        if (hd.is_tournament()) {
            o.key("tournament");
            tournament(at(store_.tournaments, hd.tournament));
        }
        o.key("max_players").small(hd.max_players);
        o.key("dealer_id").small(hd.dealer);
        o.key("hero_id").small(hd.hero);
        o.key("bet_cap").amount(hd.bet_cap);
        o.key("ante").amount(hd.ante);
        o.key("small_blind").amount(hd.small_blind);
        o.key("big_blind").amount(hd.big_blind);
        o.key("players");
        {
            const auto list = store_.resolve(store_.players, hd.players);
            Arr arr(w_);
            for (std::size_t i = 0; i < list.size(); ++i) {
                arr.next();
                player(list[i], i);
            }
            arr.close();
        }
        o.key("actions");
        actions(hd.actions);
        o.close();
    }

    // The symbol as a one-character string; a hand without a sign has "".
    void currency(Currency c) {
        if (c != 0 && !is_scalar(c)) {
            std::string detail = "Invalid currency character: U+";
            append_u64(detail, static_cast<std::uint64_t>(c));
            fault_unreachable(detail);
        }
        w_.text(encode_utf8(c).view());
    }

    void tournament(const Tournament& t) {
        Obj o(w_);
        o.key("id").text(store_.text_of(t.id));
        // Written where the history names the tournament, so that the other hands' layout stays.
        if (t.name.length() != 0) o.key("name").text(store_.text_of(t.name));
        o.key("buy_in_kind").name(enum_text(kBuyInKindNames, t.buy_in_kind));
        o.key("currency");
        currency(t.currency);
        o.key("buy_in").amount(t.buy_in);
        o.key("fee").amount(t.fee);
        o.key("bounty_fee").amount(t.bounty_fee);
        o.key("level").text(store_.text_of(t.level));
        o.key("match_round").text(store_.text_of(t.match_round));
        o.key("bounties");
        Arr arr(w_);
        for (const float bounty : store_.resolve(store_.amounts, t.bounties))
            arr.next().amount(bounty);
        arr.close();
        o.close();
    }

    void player(const Player& p, std::size_t position) {
        Obj o(w_);
        o.key("name").text(store_.text_of(p.name));
        o.key("id").number(position);
        o.key("seat").small(p.seat);
        o.key("chips").amount(p.chips);
        o.close();
    }

    void streets(const std::vector<Street>& list, Span s) {
        const auto run = store_.resolve(list, s);
        Arr arr(w_);
        for (const Street& st : run) {
            arr.next();
            street(st);
        }
        arr.close();
    }

    void street(const Street& st) {
        Obj o(w_);
        o.key("id").small(st.id);
        o.key("cards").cards(st.cards);
        o.key("actions");
        actions(st.actions);
        o.close();
    }

    void summary(const Summary& s) {
        Obj o(w_);
        o.key("total_pot").amount(s.pots.total);
        o.key("main_pot").amount(s.pots.main);
        o.key("side_pots");
        {
            Arr arr(w_);
            arr.next().amount(s.pots.side_1);
            arr.next().amount(s.pots.side_2);
            arr.next().amount(s.pots.side_3);
            arr.close();
        }
        o.key("rake").amount(s.pots.rake);
        o.key("winners");
        {
            const auto list = store_.resolve(store_.winners, s.winners);
            Arr arr(w_);
            for (const Winner& win : list) {
                arr.next();
                Obj wo(w_);
                wo.key("player_id").small(win.player_id);
                wo.key("game_id").small(win.game_id);
                wo.key("amount").amount(win.amount);
                // Only where the history names the half of a split pot: other hands' bytes stay.
                if (win.half != PotHalf::Unspecified) wo.key("half").name(pot_half_name(win.half));
                wo.close();
            }
            arr.close();
        }
        o.key("actions");
        actions(s.actions);
        o.close();
    }

    void actions(Span s) {
        const auto list = store_.resolve(store_.actions, s);
        Arr arr(w_);
        for (const Action& a : list) {
            arr.next();
            action(a);
        }
        arr.close();
    }

    void action(const Action& a) {
        const auto code = static_cast<std::size_t>(a.type());
        if (code >= kActionForms.size()) fault_index(code, kActionForms.size());
        const ActionForm& form = kActionForms[code];
        const std::uint32_t payload = a.payload();
        if (plain_action(a, form, payload)) return;

        Obj o(w_);
        o.key("player_id").small(a.player_id());
        o.key("type").name(form.type);
        o.key("cards");
        if (form.has_cards) {
            w_.cards(store_.cards_of(payload));
        } else {
            w_.raw("[]");
        }
        switch (form.extra) {
            case Extra::None: break;
            case Extra::Bet:
            case Extra::BetAllIn:
                o.key("amount").amount(a.amount());
                o.key("all_in").flag(form.extra == Extra::BetAllIn);
                break;
            case Extra::Blind:
                o.key("amount").amount(a.amount());
                o.key("blind").name(form.label);
                break;
            case Extra::Pot:
                o.key("amount").amount(a.amount());
                o.key("pot").name(form.label);
                if (a.half() != PotHalf::Unspecified) o.key("half").name(pot_half_name(a.half()));
                break;
            case Extra::Amount: o.key("amount").amount(a.amount()); break;
            case Extra::CashOut: {
                const auto value = store_.cash_out_of(payload);
                o.key("amount").amount(value.amount);
                o.key("fee").amount(value.fee);
                break;
            }
            case Extra::Seat: o.key("seat").small(static_cast<std::uint8_t>(payload & 0xFF)); break;
            case Extra::Say:
                if ((payload >> 24) != 0)
                    o.key("msg").text(store_.message_of(payload, text_start_));
                break;
            case Extra::Finish: {
                const auto value = store_.finish_of(payload);
                o.key("place").number(value.place);
                o.key("prize").amount(value.prize);
                break;
            }
            case Extra::Bounty:
            case Extra::SplitBounty: {
                const auto value = store_.bounty_of(payload);
                o.key("amount").amount(value.amount);
                o.key("defeated_id").small(value.defeated);
                o.key("increase").amount(value.increase);
                o.key("total").amount(value.total);
                o.key("split").flag(form.extra == Extra::SplitBounty);
                break;
            }
            case Extra::Entry:
                o.key("tournament_id").text(store_.message_of(payload, text_start_));
                break;
            case Extra::Count: o.key("count").number(payload); break;
            case Extra::Purchase: {
                const auto value = store_.purchase_of(payload);
                o.key("chips").amount(value.chips);
                o.key("cost").amount(value.cost);
                break;
            }
        }
        o.close();
    }

    // The common actions (no extra, or one amount of whole cents with its flag or label) in one
    // reservation, written through a local pointer; false for the others, written member by
    // member. The same bytes either way.
    bool plain_action(const Action& a, const ActionForm& form, std::uint32_t payload) {
        std::optional<std::int64_t> cents;
        switch (form.extra) {
            case Extra::None: break;
            case Extra::Bet:
            case Extra::BetAllIn:
            case Extra::Blind:
            case Extra::Pot:
                if (a.half() != PotHalf::Unspecified) return false;  // written member by member
                [[fallthrough]];
            case Extra::Amount:
                cents = whole_cents(a.amount());
                if (!cents) return false;
                break;
            default: return false;
        }
        if (form.type.size() > JsonWriter::kShortName || form.label.size() > JsonWriter::kShortName)
            return false;
        const CardSet cards = form.has_cards ? store_.cards_of(payload) : CardSet{};
        // The literals and the flag take 56 bytes at most, the player 3, the quoted type and
        // label 36, the cards and the amount theirs.
        constexpr std::size_t kMost = 80 + 2 * (JsonWriter::kShortName + 2) +
                                      JsonWriter::kCardsBytes + JsonWriter::kCentsBytes;
        char* const start = w_.room(kMost);
        char* p = JsonWriter::literal_at(start, "{\"player_id\":");
        p = JsonWriter::small_at(p, a.player_id());
        p = JsonWriter::literal_at(p, ",\"type\":");
        p = JsonWriter::short_name_at(p, form.type);
        p = JsonWriter::literal_at(p, ",\"cards\":");
        p = JsonWriter::cards_at(p, cards);
        if (cents) {
            p = JsonWriter::literal_at(p, ",\"amount\":");
            p = JsonWriter::cents_at(p, *cents, std::signbit(a.amount()));
            switch (form.extra) {
                case Extra::Bet:
                case Extra::BetAllIn:
                    p = JsonWriter::literal_at(p, ",\"all_in\":");
                    p = JsonWriter::flag_at(p, form.extra == Extra::BetAllIn);
                    break;
                case Extra::Blind:
                    p = JsonWriter::literal_at(p, ",\"blind\":");
                    p = JsonWriter::short_name_at(p, form.label);
                    break;
                case Extra::Pot:
                    p = JsonWriter::literal_at(p, ",\"pot\":");
                    p = JsonWriter::short_name_at(p, form.label);
                    break;
                default: break;
            }
        }
        *p++ = '}';
        w_.commit(static_cast<std::size_t>(p - start));
        return true;
    }

    const HandStore& store_;
    JsonWriter& w_;
    std::uint64_t text_start_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Open Hand History export
// ---------------------------------------------------------------------------------------------

class OhhWriter {
  public:
    OhhWriter(const HandStore& store, JsonWriter& w) : store_(store), w_(w) {}

    void hand(const Hand& h) {
        const Header& hd = h.header;
        // The format's game types hold Hold'em and four-card Omaha (hi, hi/lo) only: its
        // "Omaha" deals four cards and its "Holdem" a full deck, so none of the variants (five
        // or six cards, short deck, Courchevel) has a nearest type that would not misstate it.
        // Told first: a game without a button (stud) is refused for its game, not its dealer.
        if (hd.game_type > GameType::OmahaHiLo)
            fault("not implemented: JsonOHH - game type " +
                  std::string(enum_text(kGameTypeNames, hd.game_type)));

        // The dealer: nothing of a hand is written before its button seat is known.
        const auto players = store_.resolve(store_.players, hd.players);
        if (hd.dealer >= players.size()) fault_index(hd.dealer, players.size());
        const std::uint8_t dealer_seat = players[hd.dealer].seat;

        Obj o(w_);
        o.key("spec_version").name("1.4.1");
        const std::string_view site = enum_text(kSiteNames, hd.site);
        o.key("site_name").name(site);
        o.key("network_name").name(site);
        o.key("game_type").name(enum_text(kGameTypeNames, hd.game_type));
        o.key("table_name").text(store_.text_of(hd.table_name));
        o.key("game_number").text(store_.text_of(hd.id));
        o.key("start_date_utc").date(hd.start_date);
        o.key("tournament").flag(hd.is_tournament());
        o.key("table_size").small(hd.max_players);
        // Hands without a currency sign are play money: the format's "PPC" (play chips).
        const int currency = currency_index(hd.currency);
        o.key("currency").name(currency < 0 ? "PPC" : kCurrencyCodes[currency].code);
        o.key("dealer_seat").small(dealer_seat);
        o.key("hero_player_id").null();
        o.key("small_blind").amount(hd.small_blind);
        o.key("big_blind").amount(hd.big_blind);
        o.key("ante_amount").amount(hd.ante);
        o.key("bet_limit");
        {
            Obj bl(w_);
            bl.key("bet_type").name(name_of(kBetLimitCodes, static_cast<std::size_t>(hd.bet_type)));
            bl.key("cap").amount(hd.bet_cap);
            bl.close();
        }
        o.key("players");
        {
            Arr arr(w_);
            for (std::size_t i = 0; i < players.size(); ++i) {
                const Player& p = players[i];
                arr.next();
                Obj po(w_);
                po.key("id").number(i);
                po.key("seat").small(p.seat);
                po.key("name").text(store_.text_of(p.name));
                po.key("starting_stack").amount(p.chips);
                po.key("player_bounty").raw("0");
                po.close();
            }
            arr.close();
        }
        o.key("flags");
        {
            Arr arr(w_);
            if (run_twice(h)) arr.next().name("Run_It_Twice");
            if (hd.hero == kNone8) arr.next().name("Observed");
            if (hd.bet_cap > 0.0f) arr.next().name("Cap");
            arr.close();
        }
        o.key("rounds");
        {
            Arr arr(w_);
            // The actions before the deal and those of the preflop form one run.
            arr.next();
            round("Preflop", 0, nullptr, hd.actions.count() + h.preflop.actions.count());
            street_list(arr, "Flop", store_.flops, h.flops);
            street_list(arr, "Turn", store_.turns, h.turns);
            street_list(arr, "River", store_.rivers, h.rivers);
            street_list(arr, "Showdown", store_.showdowns, h.showdowns);
            arr.close();
        }
        o.key("pots").raw("[]");
        o.close();
    }

  private:
    void street_list(Arr& arr, std::string_view label, const std::vector<Street>& list, Span s) {
        for (const Street& st : store_.resolve(list, s)) {
            arr.next();
            round(label, std::uint64_t{st.id} + 1, &st.cards, st.actions.count());
        }
    }

    // One round object. The export writes no actions: a round that has any fails the call.
    void round(std::string_view label, std::uint64_t id, const CardSet* cards,
               std::uint64_t action_count) {
        Obj o(w_);
        o.key("street").name(label);
        o.key("id").number(id);
        if (cards != nullptr && cards->count > 0) o.key("cards").cards(*cards);
        if (action_count != 0) fault("not implemented: JsonOHH - action");
        o.key("actions").raw("[]");
        o.close();
    }

    const HandStore& store_;
    JsonWriter& w_;
};

}  // namespace

namespace {

template <class Layout>
std::optional<OutBuffer> json_text(const HandStore& store, Span hands) {
    JsonWriter w(
        output_estimate(store, hands, kNativeHandBytes, kNativePlayerBytes, kNativeActionBytes));
    try {
        write_root(store, w, hands, Layout(store, w));
    } catch (const FormatFailure&) {
        return std::nullopt;
    }
    return w.take();
}

template <class Layout>
bool json_to_sink(const HandStore& store, Span hands, OutputSink& sink) {
    JsonWriter w(sink, output_estimate(store, hands, kNativeHandBytes, kNativePlayerBytes,
                                       kNativeActionBytes));
    try {
        write_root(store, w, hands, Layout(store, w));
    } catch (const FormatFailure&) {
        return false;
    }
    return true;
}

}  // namespace

std::optional<OutBuffer> to_json_native(const HandStore& store, Span hands) {
    return json_text<NativeWriter>(store, hands);
}
bool write_json_native(const HandStore& store, Span hands, OutputSink& sink) {
    return json_to_sink<NativeWriter>(store, hands, sink);
}

std::optional<OutBuffer> to_json_ohh(const HandStore& store, Span hands) {
    return json_text<OhhWriter>(store, hands);
}
bool write_json_ohh(const HandStore& store, Span hands, OutputSink& sink) {
    return json_to_sink<OhhWriter>(store, hands, sink);
}

}  // namespace hs
