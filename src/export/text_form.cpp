// The text forms in which the records print themselves.
#include "export/text_form.hpp"

#include <initializer_list>
#include <optional>

#include "core/format.hpp"
#include "core/utf8.hpp"

namespace hs {

namespace {

void append_card_set(std::string& out, const CardSet& c) {
    if (c.count > kMaxCards) fault_index(c.count, kMaxCards);
    out += "[ ";
    for (std::uint8_t i = 0; i < c.count; ++i) {
        if (i) out += ' ';
        out += card_rank_char(c.cards[i]);
        out += card_suit_symbol(c.cards[i]);
    }
    out += " ]";
}

// Writes records and lists in the compact or the pretty layout. The separator before a field
// or element (and the trailing comma of the pretty layout) is written when the next field,
// element or closing bracket comes, so one flag per open level is enough: `first_`.
class Printer {
  public:
    Printer(std::string& out, bool pretty) : out_(out), pretty_(pretty) {}

    void open_record(std::string_view name) {
        out_ += name;
        out_ += " {";
        ++depth_;
        first_ = true;
    }
    void field(std::string_view name) {
        if (pretty_) {
            if (!first_) out_ += ',';
            newline(depth_);
        } else {
            out_ += first_ ? " " : ", ";
        }
        first_ = false;
        out_ += name;
        out_ += ": ";
    }
    void close_record() {
        --depth_;
        if (pretty_) {
            if (!first_) out_ += ',';
            newline(depth_);
        } else {
            out_ += ' ';
        }
        out_ += '}';
        first_ = false;
    }

    void open_list() {
        out_ += '[';
        ++depth_;
        first_ = true;
    }
    void item() {
        if (pretty_) {
            if (!first_) out_ += ',';
            newline(depth_);
        } else if (!first_) {
            out_ += ", ";
        }
        first_ = false;
    }
    void close_list() {
        --depth_;
        if (!first_ && pretty_) {
            out_ += ',';
            newline(depth_);
        }
        out_ += ']';
        first_ = false;
    }

    std::string& out() { return out_; }

    void quoted(std::string_view s) {
        out_ += '\'';
        out_ += s;
        out_ += '\'';
    }
    void u64(std::uint64_t v) { append_u64(out_, v); }
    void f32(float v) { append_f32_record(out_, v); }

  private:
    void newline(std::size_t depth) {
        out_ += '\n';
        out_.append(depth * 4, ' ');
    }

    std::string& out_;
    bool pretty_;
    bool first_ = true;
    std::size_t depth_ = 0;
};

// A field of the record an action's payload resolves to: an amount, or a whole number (a place,
// a player).
struct DataField {
    std::string_view name;
    float amount = 0.0f;
    std::optional<std::uint64_t> whole;
    DataField(std::string_view n, float v) : name(n), amount(v) {}
    DataField(std::string_view n, std::uint64_t v) : name(n), whole(v) {}
};

// "data: <record> { <field>: <value>, ... }"
void print_data(Printer& p, std::string_view record, std::initializer_list<DataField> fields) {
    p.field("data");
    p.open_record(record);
    for (const DataField& f : fields) {
        p.field(f.name);
        if (f.whole) {
            p.u64(*f.whole);
        } else {
            p.f32(f.amount);
        }
    }
    p.close_record();
}

// A named half as the text form names enumeration members ("High", "Low").
std::string_view half_member(PotHalf h) noexcept { return h == PotHalf::Low ? "Low" : "High"; }

void print_action(Printer& p, const HandStore& store, const Action& a, std::uint64_t text_start) {
    const ActionType type = a.type();
    if (static_cast<unsigned>(type) >= static_cast<unsigned>(kActionTypeCount)) {
        std::string detail = "Invalid action type: ";
        append_u64(detail, static_cast<unsigned>(type));
        fault_unreachable(detail);
    }
    p.open_record("Action");
    p.field("type");
    p.out() += action_type_name(type);
    p.field("player_id");
    p.u64(a.player_id());
    switch (payload_kind(type)) {
        case PayloadKind::Amount:
            p.field("amount");
            append_f32_plain(p.out(), a.amount());
            // The half of a split pot a collection wins, where the history names it.
            if (a.half() != PotHalf::Unspecified) {
                p.field("half");
                p.out() += half_member(a.half());
            }
            break;
        case PayloadKind::Cards:
            p.field("cards");
            append_card_set(p.out(), store.cards_of(a.payload()));
            break;
        case PayloadKind::CashOut: {
            const HandStore::CashOutValue v = store.cash_out_of(a.payload());
            print_data(p, "CashOut", {{"amount", v.amount}, {"fee", v.fee}});
            break;
        }
        case PayloadKind::Finish: {
            const HandStore::FinishValue v = store.finish_of(a.payload());
            print_data(p, "Finish", {{"place", std::uint64_t{v.place}}, {"prize", v.prize}});
            break;
        }
        case PayloadKind::Bounty: {
            const HandStore::BountyValue v = store.bounty_of(a.payload());
            print_data(p, "Bounty",
                       {{"amount", v.amount},
                        {"defeated", std::uint64_t{v.defeated}},
                        {"increase", v.increase},
                        {"total", v.total}});
            break;
        }
        case PayloadKind::Purchase: {
            const HandStore::PurchaseValue v = store.purchase_of(a.payload());
            print_data(p, "Purchase", {{"chips", v.chips}, {"cost", v.cost}});
            break;
        }
        case PayloadKind::Seat:
            p.field("seat");
            p.u64(a.payload());
            break;
        case PayloadKind::Count:
            p.field("count");
            p.u64(a.payload());
            break;
        case PayloadKind::Message:
            p.field(a.type() == ActionType::Entry ? "tournament_id" : "msg");
            p.quoted(store.message_of(a.payload(), text_start));
            break;
        case PayloadKind::None: break;
    }
    p.close_record();
}

void print_actions(Printer& p, const HandStore& store, Span s, std::uint64_t text_start) {
    p.open_list();
    for (const Action& a : store.resolve(store.actions, s)) {
        p.item();
        print_action(p, store, a, text_start);
    }
    p.close_list();
}

void print_street(Printer& p, const HandStore& store, const Street& s, std::uint64_t text_start) {
    p.open_record("Street");
    p.field("cards");
    append_card_set(p.out(), s.cards);
    p.field("actions");
    print_actions(p, store, s.actions, text_start);
    p.close_record();
}

void print_streets(Printer& p, const HandStore& store, const std::vector<Street>& list, Span s,
                   std::uint64_t text_start) {
    p.open_list();
    for (const Street& street : store.resolve(list, s)) {
        p.item();
        print_street(p, store, street, text_start);
    }
    p.close_list();
}

void print_currency(Printer& p, Currency c) {
    p.out() += '\'';
    append_utf8(p.out(), c);
    p.out() += '\'';
}

void print_tournament(Printer& p, const HandStore& store, const Tournament& t) {
    p.open_record("Tournament");
    p.field("id");
    p.quoted(store.text_of(t.id));
    p.field("buy_in_kind");
    p.out() += buy_in_kind_name(t.buy_in_kind);
    p.field("currency");
    print_currency(p, t.currency);
    p.field("buy_in");
    p.f32(t.buy_in);
    p.field("fee");
    p.f32(t.fee);
    p.field("bounty_fee");
    p.f32(t.bounty_fee);
    p.field("level");
    p.quoted(store.text_of(t.level));
    p.field("match_round");
    p.quoted(store.text_of(t.match_round));
    p.field("bounties");
    p.open_list();
    for (const float bounty : store.resolve(store.amounts, t.bounties)) {
        p.item();
        p.f32(bounty);
    }
    p.close_list();
    p.close_record();
}

void print_header(Printer& p, const HandStore& store, const Header& h, std::uint64_t text_start) {
    p.open_record("Header");
    p.field("id");
    p.quoted(store.text_of(h.id));
    p.field("site");
    p.out() += site_name(h.site);
    p.field("game_type");
    p.out() += game_type_name(h.game_type);
    if (h.mixed != MixedGame::None) {
        p.field("mixed");
        p.quoted(mixed_game_name(h.mixed));
    }
    p.field("currency");
    print_currency(p, h.currency);
    // Only a tournament hand has the field: a cash hand prints as it always has.
    if (h.is_tournament()) {
        p.field("tournament");
        print_tournament(p, store, at(store.tournaments, h.tournament));
    }
    p.field("table_name");
    p.quoted(store.text_of(h.table_name));
    p.field("max_players");
    p.u64(h.max_players);
    p.field("dealer");
    p.u64(h.dealer);
    p.field("hero");
    p.u64(h.hero);
    p.field("ante");
    p.f32(h.ante);
    p.field("small_blind");
    p.f32(h.small_blind);
    p.field("big_blind");
    p.f32(h.big_blind);
    p.field("start_date");
    append_date(p.out(), h.start_date);
    p.field("players");
    p.open_list();
    for (const Player& player : store.resolve(store.players, h.players)) {
        p.item();
        p.open_record("Player");
        p.field("name");
        p.quoted(store.text_of(player.name));
        p.field("seat");
        p.u64(player.seat);
        p.field("chips");
        p.f32(player.chips);
        p.close_record();
    }
    p.close_list();
    p.field("actions");
    print_actions(p, store, h.actions, text_start);
    p.close_record();
}

void print_summary(Printer& p, const HandStore& store, const Summary& s, std::uint64_t text_start) {
    p.open_record("Summary");
    p.field("pots");
    p.open_record("PotInfo");
    p.field("total");
    p.f32(s.pots.total);
    p.field("rake");
    p.f32(s.pots.rake);
    p.field("main");
    p.f32(s.pots.main);
    p.field("side_1");
    p.f32(s.pots.side_1);
    p.field("side_2");
    p.f32(s.pots.side_2);
    p.field("side_3");
    p.f32(s.pots.side_3);
    p.close_record();
    p.field("winners");
    p.open_list();
    for (const Winner& w : store.resolve(store.winners, s.winners)) {
        p.item();
        p.open_record("Winner");
        p.field("player_id");
        p.u64(w.player_id);
        p.field("amount");
        p.f32(w.amount);
        p.field("game_id");
        p.u64(w.game_id);
        if (w.half != PotHalf::Unspecified) {
            p.field("half");
            p.out() += half_member(w.half);
        }
        p.close_record();
    }
    p.close_list();
    p.field("actions");
    print_actions(p, store, s.actions, text_start);
    p.close_record();
}

void print_hand(Printer& p, const HandStore& store, const Hand& h) {
    const std::uint64_t ts = h.text_start;
    p.open_record("Hand");
    p.field("header");
    print_header(p, store, h.header, ts);
    p.field("preflop");
    print_street(p, store, h.preflop, ts);
    p.field("flops");
    print_streets(p, store, store.flops, h.flops, ts);
    p.field("turns");
    print_streets(p, store, store.turns, h.turns, ts);
    p.field("rivers");
    print_streets(p, store, store.rivers, h.rivers, ts);
    p.field("showdowns");
    print_streets(p, store, store.showdowns, h.showdowns, ts);
    // Stud's seventh streets: printed for the games without a board only.
    if (is_boardless(h.header.game_type)) {
        p.field("sevenths");
        print_streets(p, store, store.sevenths, h.sevenths, ts);
    }
    p.field("summary");
    print_summary(p, store, h.summary, ts);
    p.close_record();
}

// A rough size of one printed hand, to reserve the output once.
std::size_t hand_size_hint(bool pretty) { return pretty ? 8192 : 3072; }

}  // namespace

std::string card_set_text(const CardSet& c) {
    std::string out;
    out.reserve(4 + 5 * 5);
    append_card_set(out, c);
    return out;
}

std::string action_text(const HandStore& store, const Action& a, std::uint64_t text_start,
                        bool pretty) {
    std::string out;
    out.reserve(160);
    Printer p(out, pretty);
    print_action(p, store, a, text_start);
    return out;
}

std::string hand_text(const HandStore& store, std::size_t hand_index, bool pretty) {
    const Hand& h = at(store.hands, hand_index);
    std::string out;
    out.reserve(hand_size_hint(pretty));
    Printer p(out, pretty);
    print_hand(p, store, h);
    return out;
}

std::string hands_text(const HandStore& store, Span hands, bool pretty) {
    const std::span<const Hand> list = store.resolve(store.hands, hands);
    std::string out;
    out.reserve(2 + list.size() * hand_size_hint(pretty));
    Printer p(out, pretty);
    p.open_list();
    for (const Hand& h : list) {
        p.item();
        print_hand(p, store, h);
    }
    p.close_list();
    return out;
}

}  // namespace hs
