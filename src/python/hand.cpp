// handscribe.Hand (a one-hand HandView whose attributes read the hand), Player, Action and
// Tournament.
//
// A Hand costs what a one-hand view costs until an attribute is read: the attributes are read
// from the store when asked for, and only the players and actions, whose objects are shared by
// other attributes (hero, winners, Action.player), are kept once made. Player and Action objects
// hold the store through the hand's cache, never the Hand itself, so no object refers back to
// the one that holds it and none needs the cycle collector.
#include "python/view.hpp"  // Python.h first

#include <datetime.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/format.hpp"
#include "core/utf8.hpp"
#include "export/arrow.hpp"
#include "facts/facts.hpp"

namespace hs::py {
namespace {

PyTypeObject* g_hand_type = nullptr;    // created once, at import
PyTypeObject* g_player_type = nullptr;  // the same
PyTypeObject* g_action_type = nullptr;
PyObject* g_tournament_type = nullptr;  // a named tuple type

// ---------------------------------------------------------------------------------------------
// Values
// ---------------------------------------------------------------------------------------------

// Hand, Player and Action objects are made by the views only.
PyObject* no_constructor(PyTypeObject*, PyObject*, PyObject*) {
    PyErr_SetString(PyExc_TypeError, "No constructor defined");
    return nullptr;
}

PyObject* none() {
    Py_INCREF(Py_None);
    return Py_None;
}
PyObject* boolean(bool v) { return PyBool_FromLong(v ? 1 : 0); }
// An amount as the tables give it (the shortest decimal that reads back as the parsed float).
PyObject* amount(float v) { return PyFloat_FromDouble(arrow::amount_value(v)); }
PyObject* optional_amount(std::optional<float> v) { return v ? amount(*v) : none(); }
PyObject* text(const HandStore& store, TextRef r) { return utf8_to_str(store.text_of(r)); }

// A str made once per process and shared by every value that is this text.
PyObject* interned(PyObject*& slot, std::string_view s) {
    if (slot == nullptr) {
        slot = PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
        if (slot == nullptr) return nullptr;
        PyUnicode_InternInPlace(&slot);
    }
    Py_INCREF(slot);
    return slot;
}

// The name of an enumeration's member, as the tables' dictionaries write it.
template <std::size_t N>
PyObject* member(std::array<PyObject*, N>& slots, const std::array<std::string_view, N>& names,
                 std::size_t code) {
    if (code >= N) fault_index(code, N);
    return interned(slots[code], names[code]);
}

std::array<PyObject*, kSiteCount> g_sites{};
std::array<PyObject*, kGameTypeCount> g_games{};
std::array<PyObject*, kBetTypeCount> g_bet_types{};
std::array<PyObject*, kActionTypeCount> g_kinds{};
std::array<PyObject*, kBuyInKindCount> g_buy_in_kinds{};

std::array<PyObject*, kAllRoundNames.size()> g_rounds{};
std::array<PyObject*, facts::kPositionCount> g_positions{};

// "As".."Kd": rank letter and suit letter.
PyObject* card(Card c) {
    static std::array<PyObject*, 52> slots{};
    const unsigned rank = c & 0x3F;
    if (rank < 1 || rank > 13) fault_index(rank, 14);
    const char name[2] = {card_rank_char(c), card_suit_letter(c)};
    return interned(slots[(c >> 6) * 13 + rank - 1], std::string_view(name, 2));
}

PyObject* cards_tuple(std::span<const Card> cards) {
    Ref tuple(PyTuple_New(static_cast<Py_ssize_t>(cards.size())));
    if (!tuple) return nullptr;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        PyObject* c = card(cards[i]);
        if (c == nullptr) return nullptr;
        PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), c);
    }
    return tuple.release();
}

std::span<const Card> cards_of(const CardSet& set) {
    if (set.count > kMaxCards) fault_index(set.count, kMaxCards);
    return std::span<const Card>(set.cards, set.count);
}

// A set of cards; None for none (as the tables' null).
PyObject* cards_or_none(const CardSet& set) {
    return set.count == 0 ? none() : cards_tuple(cards_of(set));
}

PyObject* seat_or_none(std::uint8_t seat) {
    return seat == kNone8 ? none() : PyLong_FromLong(seat);
}

// ---------------------------------------------------------------------------------------------
// The hand behind the objects
// ---------------------------------------------------------------------------------------------

// One action of the hand with its round and, for a hand run twice, its board.
struct ActionRow {
    Action action;
    std::uint64_t index;  // in the store's actions
    Round round;
    std::uint8_t board;
};

// Every action row of a hand, as the actions table lists them: the posts before the cards, the
// preflop, the later streets in the order of their lines. The summary's seat lines repeat what
// the rounds said and are no rows.
std::vector<ActionRow> action_rows(const HandStore& store, const Hand& hand) {
    std::vector<ActionRow> rows;
    auto add = [&](Round round, std::size_t board, Span span) {
        if (board > kNone8) fault_index(board, kNone8);
        const auto actions = store.resolve(store.actions, span);
        for (std::size_t i = 0; i < actions.size(); ++i)
            rows.push_back(
                ActionRow{actions[i], span.start() + i, round, static_cast<std::uint8_t>(board)});
    };
    add(Round::Predeal, 0, hand.header.actions);
    add(Round::Preflop, 0, hand.preflop.actions);
    each_street(store, hand, [&](Round round, std::size_t board, const Street& st) {
        add(round, board, st.actions);
    });
    return rows;
}

// The facts of one hand, copied out of the replay (which keeps its buffers for the next hand).
struct Facts {
    facts::HandFacts hand;
    std::vector<facts::PlayerFacts> players;
    std::vector<facts::ActionFacts> actions;  // from hand.first_action on
};

// One hand of a shared store, and what is read from it once for all of its objects. Objects
// hold it by a shared reference; the interpreter lock serialises every use.
class HandCache {
  public:
    HandCache(std::shared_ptr<const HandStore> store, std::size_t index)
        : store_(std::move(store)), index_(index) {}

    const HandStore& store() const noexcept { return *store_; }
    const Hand& hand() const { return at(store_->hands, index_); }
    std::span<const Player> players() const {
        return store_->resolve(store_->players, hand().header.players);
    }
    const Player& player(std::size_t i) const {
        const auto list = players();
        if (i >= list.size()) fault_index(i, list.size());
        return list[i];
    }
    // The first cards an action (the summary's included) shows for player i.
    const CardSet& cards(std::size_t i) {
        if (!cards_) read_cards();
        return at(*cards_, i);
    }
    // The hand's facts, replayed on first use.
    const Facts& facts();
    const facts::PlayerFacts& player_facts(std::size_t i) { return at(facts().players, i); }
    const facts::ActionFacts& action_facts(std::uint64_t store_index) {
        const Facts& f = facts();
        const std::uint64_t first = f.hand.first_action;
        if (store_index < first) fault_index(store_index, first);
        return at(f.actions, store_index - first);
    }

  private:
    void read_cards();

    std::shared_ptr<const HandStore> store_;
    std::size_t index_;
    std::optional<std::vector<CardSet>> cards_;
    std::optional<Facts> facts_;
};

const Facts& HandCache::facts() {
    if (!facts_) {
        static facts::Replay replay;  // used under the interpreter lock only
        Facts f;
        f.hand = replay.run(*store_, hand());
        const auto players = replay.players();
        f.players.assign(players.begin(), players.end());
        f.actions.reserve(f.hand.actions);
        for (std::uint64_t k = 0; k < f.hand.actions; ++k)
            f.actions.push_back(replay.action(f.hand.first_action + k));
        facts_ = std::move(f);
    }
    return *facts_;
}

void HandCache::read_cards() {
    const HandStore& store = *store_;
    const Hand& h = hand();
    std::vector<CardSet> cards(players().size(), CardSet::empty());
    auto scan = [&](const Action& a) {
        const std::size_t p = a.player_id();
        if (p < cards.size() && shows_holding(a.type()) && cards[p].count == 0)
            cards[p] = store.cards_of(a.payload());
    };
    for (const ActionRow& row : action_rows(store, h)) scan(row.action);
    for (const Action& a : store.resolve(store.actions, h.summary.actions)) scan(a);
    cards_ = std::move(cards);
}

// ---------------------------------------------------------------------------------------------
// Player
// ---------------------------------------------------------------------------------------------

struct PlayerObject {
    PyObject_HEAD std::shared_ptr<HandCache> cache;
    std::size_t index;
};

PlayerObject* as_player(PyObject* self) noexcept { return reinterpret_cast<PlayerObject*>(self); }

PyObject* new_player(const std::shared_ptr<HandCache>& cache, std::size_t index) {
    PyObject* obj = g_player_type->tp_alloc(g_player_type, 0);
    if (obj == nullptr) return nullptr;
    new (&as_player(obj)->cache) std::shared_ptr<HandCache>(cache);
    as_player(obj)->index = index;
    return obj;
}

void player_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    as_player(self)->cache.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

// A getter of a Player: `read(cache, index)` inside the exception guard.
template <class F>
PyObject* player_get(PyObject* self, F&& read) {
    return guarded([&]() -> PyObject* {
        PlayerObject* p = as_player(self);
        return read(*p->cache, p->index);
    });
}

PyObject* player_name(PyObject* self, void*) {
    return player_get(
        self, [](HandCache& c, std::size_t i) { return text(c.store(), c.player(i).name); });
}
PyObject* player_seat(PyObject* self, void*) {
    return player_get(self,
                      [](HandCache& c, std::size_t i) { return seat_or_none(c.player(i).seat); });
}
PyObject* player_stack(PyObject* self, void*) {
    return player_get(self, [](HandCache& c, std::size_t i) { return amount(c.player(i).chips); });
}
PyObject* player_is_hero(PyObject* self, void*) {
    return player_get(self, [](HandCache& c, std::size_t i) {
        c.player(i);  // checks the index
        return boolean(c.hand().header.hero == i);
    });
}
PyObject* player_hole_cards(PyObject* self, void*) {
    return player_get(self, [](HandCache& c, std::size_t i) { return cards_or_none(c.cards(i)); });
}

// The cards dealt face up to a stud player, street by street; empty in the other games.
PyObject* player_up_cards(PyObject* self, void*) {
    return player_get(self, [](HandCache& c, std::size_t i) {
        CardSet up;
        for (const ActionRow& row : action_rows(c.store(), c.hand())) {
            if (row.action.type() != ActionType::DealtUp || row.action.player_id() != i) continue;
            for (const Card card : cards_of(c.store().cards_of(row.action.payload())))
                if (up.count < kMaxCards) up.push(card);
        }
        return cards_tuple(cards_of(up));
    });
}

// A getter of a player's fact: `read(facts)` inside the exception guard.
template <class F>
PyObject* player_fact(PyObject* self, F&& read) {
    return player_get(self, [&](HandCache& c, std::size_t i) { return read(c.player_facts(i)); });
}

PyObject* money(Money m) { return PyFloat_FromDouble(money_value(m)); }
PyObject* money_or_none(bool has, Money m) { return has ? money(m) : none(); }
// The name of a round in the hand's game (stud's "third"..., a draw game's "deal"...).
PyObject* game_round_name(GameType game, Round round) {
    return member(g_rounds, kAllRoundNames, round_name_index(game, round));
}

PyObject* player_position(PyObject* self, void*) {
    return player_fact(self, [](const facts::PlayerFacts& f) {
        return f.position == kNone8 ? none()
                                    : member(g_positions, facts::kPositionNames, f.position);
    });
}
PyObject* player_invested(PyObject* self, void*) {
    return player_fact(self, [](const facts::PlayerFacts& f) { return money(f.invested); });
}
PyObject* player_won(PyObject* self, void*) {
    return player_fact(self, [](const facts::PlayerFacts& f) { return money(f.won); });
}
PyObject* player_net(PyObject* self, void*) {
    return player_fact(self, [](const facts::PlayerFacts& f) { return money(f.net); });
}
PyObject* player_cash_out(PyObject* self, void*) {
    return player_fact(
        self, [](const facts::PlayerFacts& f) { return money_or_none(f.cashed_out, f.cash_out); });
}
PyObject* player_all_in_street(PyObject* self, void*) {
    return player_get(self, [](HandCache& c, std::size_t i) {
        const facts::PlayerFacts& f = c.player_facts(i);
        return f.all_in_round == facts::kNoRound
                   ? none()
                   : game_round_name(c.hand().header.game_type, static_cast<Round>(f.all_in_round));
    });
}
// The flags, each a member of PlayerFacts.
template <bool facts::PlayerFacts::*kFlag>
PyObject* player_flag(PyObject* self, void*) {
    return player_fact(self, [](const facts::PlayerFacts& f) { return boolean(f.*kFlag); });
}

PyObject* player_repr(PyObject* self) {
    return player_get(self, [](HandCache& c, std::size_t i) -> PyObject* {
        const Player& p = c.player(i);
        Ref name(text(c.store(), p.name));
        Ref seat(seat_or_none(p.seat));
        Ref stack(amount(p.chips));
        if (!name || !seat || !stack) return nullptr;
        return PyUnicode_FromFormat("Player(name=%R, seat=%R, stack=%R)", name.get(), seat.get(),
                                    stack.get());
    });
}

PyGetSetDef kPlayerGetSet[] = {
    {"name", player_name, nullptr, "str: the screen name.", nullptr},
    {"seat", player_seat, nullptr,
     "int | None: the seat number; None for a player named only in action lines.", nullptr},
    {"stack", player_stack, nullptr,
     "float: chips at the start of the hand (0 without a seat line).", nullptr},
    {"is_hero", player_is_hero, nullptr, "bool: the player is the hand's hero.", nullptr},
    {"hole_cards", player_hole_cards, nullptr,
     "tuple[str, ...] | None: the first cards the hand shows for the player (dealt face down, "
     "shown, mucked or folded face up; no stud up card, no discard), as \"Ah\"; None when it "
     "shows none.",
     nullptr},
    {"up_cards", player_up_cards, nullptr,
     "tuple[str, ...]: the cards dealt face up to the player in stud, street by street; empty "
     "in the other games.",
     nullptr},
    {"position", player_position, nullptr,
     "str | None: 'BTN', 'SB', 'BB', 'UTG', 'UTG+1', 'UTG+2', 'MP', 'LJ', 'HJ' or 'CO', by the "
     "players dealt in (heads-up the button is 'BTN' and posts the small blind); None for a "
     "player not dealt in, or without a button.",
     nullptr},
    {"invested", player_invested, nullptr,
     "float: chips put in the pot, uncalled chips returned already taken off.", nullptr},
    {"won", player_won, nullptr, "float: chips taken from the pots, over all boards.", nullptr},
    {"net", player_net, nullptr,
     "float: won - invested; after a cash-out, what the site paid - invested.", nullptr},
    {"cash_out", player_cash_out, nullptr,
     "float | None: what the site paid for the player's cash-out; None without one.", nullptr},
    {"vpip", player_flag<&facts::PlayerFacts::vpip>, nullptr,
     "bool: put chips in before the flop without being forced to.", nullptr},
    {"pfr", player_flag<&facts::PlayerFacts::pfr>, nullptr, "bool: raised before the flop.",
     nullptr},
    {"three_bet", player_flag<&facts::PlayerFacts::three_bet>, nullptr,
     "bool: made the second raise before the flop.", nullptr},
    {"saw_flop", player_flag<&facts::PlayerFacts::saw_flop>, nullptr,
     "bool: still in the hand when the flop was dealt.", nullptr},
    {"saw_showdown", player_flag<&facts::PlayerFacts::saw_showdown>, nullptr,
     "bool: in the hand (not folded) when two or more were at its end.", nullptr},
    {"won_at_showdown", player_flag<&facts::PlayerFacts::won_at_showdown>, nullptr,
     "bool: saw the showdown and won chips there.", nullptr},
    {"all_in_street", player_all_in_street, nullptr,
     "str | None: the street where the player went all in ('preflop', 'flop'..., named as "
     "Action.street names it); None if never.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kPlayerSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(player_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(player_repr)},
    {Py_tp_getset, kPlayerGetSet},
    {Py_tp_doc, const_cast<char*>("A player of a Hand, as its players table row reads it.")},
    {0, nullptr},
};

PyType_Spec kPlayerSpec = {
    "handscribe.Player", static_cast<int>(sizeof(PlayerObject)), 0, Py_TPFLAGS_DEFAULT,
    kPlayerSlots,
};

// ---------------------------------------------------------------------------------------------
// Action
// ---------------------------------------------------------------------------------------------

struct ActionObject {
    PyObject_HEAD std::shared_ptr<HandCache> cache;
    ActionRow row;
    PyObject* player;  // a Player of the hand's tuple, or None
};

ActionObject* as_action(PyObject* self) noexcept { return reinterpret_cast<ActionObject*>(self); }

PyObject* new_action(const std::shared_ptr<HandCache>& cache, const ActionRow& row,
                     PyObject* player) {
    PyObject* obj = g_action_type->tp_alloc(g_action_type, 0);
    if (obj == nullptr) return nullptr;
    ActionObject* a = as_action(obj);
    new (&a->cache) std::shared_ptr<HandCache>(cache);
    a->row = row;
    Py_INCREF(player);
    a->player = player;
    return obj;
}

void action_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    Py_XDECREF(as_action(self)->player);
    as_action(self)->cache.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

template <class F>
PyObject* action_get(PyObject* self, F&& read) {
    return guarded([&]() -> PyObject* {
        ActionObject* a = as_action(self);
        return read(*a->cache, a->row);
    });
}

PyObject* action_street(PyObject* self, void*) {
    return action_get(self, [](HandCache& c, const ActionRow& r) {
        return game_round_name(c.hand().header.game_type, r.round);
    });
}
PyObject* action_player(PyObject* self, void*) {
    Py_INCREF(as_action(self)->player);
    return as_action(self)->player;
}
PyObject* action_kind(PyObject* self, void*) {
    return action_get(self, [](HandCache&, const ActionRow& r) {
        return member(g_kinds, kActionTypeNames, static_cast<std::size_t>(r.action.type()));
    });
}
PyObject* action_amount(PyObject* self, void*) {
    return action_get(self, [](HandCache& c, const ActionRow& r) -> PyObject* {
        if (payload_kind(r.action.type()) == PayloadKind::Amount) return amount(r.action.amount());
        return optional_amount(c.store().amount_of(r.action));
    });
}
PyObject* action_cards(PyObject* self, void*) {
    return action_get(self, [](HandCache& c, const ActionRow& r) -> PyObject* {
        if (payload_kind(r.action.type()) != PayloadKind::Cards) return none();
        return cards_or_none(c.store().cards_of(r.action.payload()));
    });
}
PyObject* action_chips(PyObject* self, void*) {
    return action_get(self, [](HandCache& c, const ActionRow& r) {
        const facts::ActionFacts& f = c.action_facts(r.index);
        return money_or_none(f.has_chips, f.chips);
    });
}
PyObject* action_to(PyObject* self, void*) {
    return action_get(self, [](HandCache& c, const ActionRow& r) {
        const facts::ActionFacts& f = c.action_facts(r.index);
        return money_or_none(f.has_to, f.to);
    });
}
PyObject* action_all_in(PyObject* self, void*) {
    return action_get(self, [](HandCache& c, const ActionRow& r) {
        return boolean(c.action_facts(r.index).all_in);
    });
}
PyObject* action_half(PyObject* self, void*) {
    return action_get(self, [](HandCache&, const ActionRow& r) -> PyObject* {
        const PotHalf h = r.action.half();
        if (h == PotHalf::Unspecified) return none();
        const std::string_view name = pot_half_name(h);
        return PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
    });
}
PyObject* action_board(PyObject* self, void*) {
    return action_get(self,
                      [](HandCache&, const ActionRow& r) { return PyLong_FromLong(r.board); });
}

PyObject* action_repr(PyObject* self) {
    return guarded([&]() -> PyObject* {
        Ref street(action_street(self, nullptr));
        Ref kind(action_kind(self, nullptr));
        Ref value(action_amount(self, nullptr));
        if (!street || !kind || !value) return nullptr;
        PyObject* player = as_action(self)->player;
        Ref name(player == Py_None ? none() : player_name(player, nullptr));
        if (!name) return nullptr;
        return PyUnicode_FromFormat("Action(street=%R, player=%R, kind=%R, amount=%R)",
                                    street.get(), name.get(), kind.get(), value.get());
    });
}

PyGetSetDef kActionGetSet[] = {
    {"street", action_street, nullptr,
     "str: 'predeal' (posts, joins and chat before the cards), 'preflop', 'flop', 'turn', "
     "'river' or 'showdown'; stud's streets 'third'...'seventh' (five-card stud's "
     "'second'...'fifth'), a draw game's 'deal', 'first_draw', 'second_draw', 'third_draw' "
     "(one draw's: 'deal', 'draw').",
     nullptr},
    {"board", action_board, nullptr,
     "int: for the later streets of a hand run twice, which board (0 or 1); 0 otherwise.", nullptr},
    {"player", action_player, nullptr,
     "Player | None: the acting player (the same object as in Hand.players); None when the "
     "name has no player in the hand.",
     nullptr},
    {"kind", action_kind, nullptr,
     "str: the action type, as the actions table's `action` column names it ('Bet', 'Call', "
     "'Raise', 'Fold', 'SmallBlind', 'CollectMainPot', ...).",
     nullptr},
    {"amount", action_amount, nullptr,
     "float | None: the amount as the history writes it (the actions table's `amount`: a "
     "raise's is its increment over the bet on PokerStars; a Draw's number of cards).",
     nullptr},
    {"chips", action_chips, nullptr,
     "float | None: the chips the action puts in the pot (a post, bet, call or raise); None "
     "for the others.",
     nullptr},
    {"to", action_to, nullptr,
     "float | None: the player's total on the street after a bet or raise; None for the "
     "others.",
     nullptr},
    {"all_in", action_all_in, nullptr, "bool: the action puts the player's last chips in.",
     nullptr},
    {"cards", action_cards, nullptr,
     "tuple[str, ...] | None: the cards a Dealt, Show, Muck or Fold action shows; None when "
     "none.",
     nullptr},
    {"half", action_half, nullptr,
     "str | None: the half of a split pot a collection wins in a hi/lo game, 'high' or 'low', "
     "where the history names it (the actions table's `half`); None for the others.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kActionSlots[] = {
    {Py_tp_new, reinterpret_cast<void*>(no_constructor)},
    {Py_tp_dealloc, reinterpret_cast<void*>(action_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(action_repr)},
    {Py_tp_getset, kActionGetSet},
    {Py_tp_doc, const_cast<char*>("An action of a Hand, as its actions table row reads it.")},
    {0, nullptr},
};

PyType_Spec kActionSpec = {
    "handscribe.Action", static_cast<int>(sizeof(ActionObject)), 0, Py_TPFLAGS_DEFAULT,
    kActionSlots,
};

// ---------------------------------------------------------------------------------------------
// Hand
// ---------------------------------------------------------------------------------------------

struct HandObject {
    ViewObject view;                   // first: a Hand is a HandView
    std::shared_ptr<HandCache> cache;  // made on the first attribute read
    PyObject* players;                 // the tuple of Player, made on first use
    PyObject* actions;                 // the tuple of Action, the same
};

HandObject* as_hand(PyObject* self) noexcept { return reinterpret_cast<HandObject*>(self); }

void hand_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    HandObject* h = as_hand(self);
    Py_XDECREF(h->players);
    Py_XDECREF(h->actions);
    h->cache.~shared_ptr();
    Py_XDECREF(h->view.rejected);
    h->view.store.~shared_ptr();
    type->tp_free(self);
    Py_DECREF(type);
}

std::size_t hand_index(const HandObject* h) {
    if (h->view.hands.count() != 1) fault_index(h->view.hands.count(), 1);
    return h->view.hands.start();
}

HandCache& cache_of(HandObject* h) {
    if (!h->cache) h->cache = std::make_shared<HandCache>(h->view.store, hand_index(h));
    return *h->cache;
}

template <class F>
PyObject* hand_get(PyObject* self, F&& read) {
    return guarded([&]() -> PyObject* {
        HandCache& c = cache_of(as_hand(self));
        return read(c, c.hand());
    });
}

PyObject* players_of(HandObject* h) {
    if (h->players == nullptr) {
        HandCache& c = cache_of(h);
        const std::size_t n = c.players().size();
        Ref tuple(PyTuple_New(static_cast<Py_ssize_t>(n)));
        if (!tuple) return nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            PyObject* p = new_player(h->cache, i);
            if (p == nullptr) return nullptr;
            PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), p);
        }
        h->players = tuple.release();
    }
    Py_INCREF(h->players);
    return h->players;
}

PyObject* actions_of(HandObject* h) {
    if (h->actions == nullptr) {
        Ref players(players_of(h));
        if (!players) return nullptr;
        const HandCache& c = *h->cache;
        const std::vector<ActionRow> rows = action_rows(c.store(), c.hand());
        Ref tuple(PyTuple_New(static_cast<Py_ssize_t>(rows.size())));
        if (!tuple) return nullptr;
        const auto n = static_cast<std::size_t>(PyTuple_GET_SIZE(players.get()));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::size_t p = rows[i].action.player_id();
            PyObject* player =
                p < n ? PyTuple_GET_ITEM(players.get(), static_cast<Py_ssize_t>(p)) : Py_None;
            PyObject* a = new_action(h->cache, rows[i], player);
            if (a == nullptr) return nullptr;
            PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i), a);
        }
        h->actions = tuple.release();
    }
    Py_INCREF(h->actions);
    return h->actions;
}

PyObject* hand_players(PyObject* self, void*) {
    return guarded([&] { return players_of(as_hand(self)); });
}
PyObject* hand_actions(PyObject* self, void*) {
    return guarded([&] { return actions_of(as_hand(self)); });
}

PyObject* hand_id(PyObject* self, void*) {
    return hand_get(self, [](HandCache& c, const Hand& h) { return text(c.store(), h.header.id); });
}
PyObject* hand_site(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) {
        return member(g_sites, kSiteNames, static_cast<std::size_t>(h.header.site));
    });
}
PyObject* hand_game(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) {
        return member(g_games, kGameTypeNames, static_cast<std::size_t>(h.header.game_type));
    });
}
PyObject* hand_mixed(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) {
        return h.header.mixed == MixedGame::None ? none()
                                                 : utf8_to_str(mixed_game_name(h.header.mixed));
    });
}
PyObject* hand_bet_type(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) {
        return member(g_bet_types, kBetTypeNames, static_cast<std::size_t>(h.header.bet_type));
    });
}
PyObject* hand_table(PyObject* self, void*) {
    return hand_get(
        self, [](HandCache& c, const Hand& h) { return text(c.store(), h.header.table_name); });
}
PyObject* hand_max_players(PyObject* self, void*) {
    return hand_get(
        self, [](HandCache&, const Hand& h) { return PyLong_FromLong(h.header.max_players); });
}
PyObject* hand_button_seat(PyObject* self, void*) {
    return hand_get(self,
                    [](HandCache&, const Hand& h) { return seat_or_none(h.header.button_seat); });
}
PyObject* hand_small_blind(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) { return amount(h.header.small_blind); });
}
PyObject* hand_big_blind(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) { return amount(h.header.big_blind); });
}
PyObject* hand_ante(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) { return amount(h.header.ante); });
}
PyObject* hand_total_pot(PyObject* self, void*) {
    return hand_get(self,
                    [](HandCache& c, const Hand&) { return money(c.facts().hand.total_pot); });
}
PyObject* hand_rake(PyObject* self, void*) {
    return hand_get(self, [](HandCache& c, const Hand&) { return money(c.facts().hand.rake); });
}
PyObject* hand_jackpot(PyObject* self, void*) {
    return hand_get(self, [](HandCache& c, const Hand&) { return money(c.facts().hand.jackpot); });
}

PyObject* hand_currency(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) -> PyObject* {
        const std::string_view code = iso_currency(h.header);
        return code.empty() ? none() : utf8_to_str(code);
    });
}

// The start time: aware (UTC) where the history names its zone, naive where it does not.
PyObject* hand_started_at(PyObject* self, void*) {
    return hand_get(self, [](HandCache&, const Hand& h) -> PyObject* {
        if (!date_seconds(h.header.start_utc)) return none();
        const DateParts d = unpack_date(h.header.start_utc);
        PyObject* zone = h.header.start_zoned ? PyDateTime_TimeZone_UTC : Py_None;
        return PyDateTimeAPI->DateTime_FromDateAndTime(
            static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day),
            static_cast<int>(d.hour), static_cast<int>(d.minute), static_cast<int>(d.second), 0,
            zone, PyDateTimeAPI->DateTimeType);
    });
}

// Board k: the k-th flop, turn and river, or the last one dealt of a street dealt fewer times
// (a hand run twice from the turn shares its flop).
std::vector<std::vector<Card>> boards_of(const HandStore& store, const Hand& hand) {
    const std::span<const Street> streets[] = {store.resolve(store.flops, hand.flops),
                                               store.resolve(store.turns, hand.turns),
                                               store.resolve(store.rivers, hand.rivers)};
    const std::size_t count = std::max({streets[0].size(), streets[1].size(), streets[2].size()});
    std::vector<std::vector<Card>> boards(count);
    for (std::size_t k = 0; k < count; ++k) {
        for (const auto& list : streets) {
            if (list.empty()) continue;
            for (Card c : cards_of(list[std::min(k, list.size() - 1)].cards))
                boards[k].push_back(c);
        }
    }
    return boards;
}

PyObject* hand_board(PyObject* self, void*) {
    return hand_get(self, [](HandCache& c, const Hand& h) -> PyObject* {
        const auto boards = boards_of(c.store(), h);
        return cards_tuple(boards.empty() ? std::span<const Card>() : std::span(boards[0]));
    });
}
PyObject* hand_boards(PyObject* self, void*) {
    return hand_get(self, [](HandCache& c, const Hand& h) -> PyObject* {
        const auto boards = boards_of(c.store(), h);
        Ref tuple(PyTuple_New(static_cast<Py_ssize_t>(boards.size())));
        if (!tuple) return nullptr;
        for (std::size_t k = 0; k < boards.size(); ++k) {
            PyObject* b = cards_tuple(boards[k]);
            if (b == nullptr) return nullptr;
            PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(k), b);
        }
        return tuple.release();
    });
}

PyObject* hand_hero(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        HandObject* h = as_hand(self);
        Ref players(players_of(h));
        if (!players) return nullptr;
        const std::size_t hero = h->cache->hand().header.hero;
        if (hero >= static_cast<std::size_t>(PyTuple_GET_SIZE(players.get()))) return none();
        PyObject* p = PyTuple_GET_ITEM(players.get(), static_cast<Py_ssize_t>(hero));
        Py_INCREF(p);
        return p;
    });
}

// The players who won chips, in player order.
PyObject* hand_winners(PyObject* self, void*) {
    return guarded([&]() -> PyObject* {
        HandObject* h = as_hand(self);
        Ref players(players_of(h));
        if (!players) return nullptr;
        Ref list(PyList_New(0));
        if (!list) return nullptr;
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(players.get()); ++i) {
            if (h->cache->player_facts(static_cast<std::size_t>(i)).won <= 0) continue;
            if (PyList_Append(list.get(), PyTuple_GET_ITEM(players.get(), i)) < 0) return nullptr;
        }
        return PyList_AsTuple(list.get());
    });
}

PyObject* hand_tournament(PyObject* self, void*) {
    return hand_get(self, [](HandCache& c, const Hand& h) -> PyObject* {
        if (!h.header.is_tournament()) return none();
        const HandStore& store = c.store();
        const Tournament& t = at(store.tournaments, h.header.tournament);
        const std::string_view code = iso_currency(t);
        Ref id(text(store, t.id));
        Ref level(text(store, t.level));
        Ref kind(member(g_buy_in_kinds, kBuyInKindNames, static_cast<std::size_t>(t.buy_in_kind)));
        Ref currency(code.empty() ? none() : utf8_to_str(code));
        Ref buy_in(amount(t.buy_in));
        Ref fee(amount(t.fee));
        Ref bounty_fee(amount(t.bounty_fee));
        Ref name(text(store, t.name));
        if (!id || !level || !kind || !currency || !buy_in || !fee || !bounty_fee || !name)
            return nullptr;
        return PyObject_CallFunctionObjArgs(g_tournament_type, id.get(), level.get(), kind.get(),
                                            currency.get(), buy_in.get(), fee.get(),
                                            bounty_fee.get(), name.get(), nullptr);
    });
}

// ---------------------------------------------------------------------------------------------
// The summary line
// ---------------------------------------------------------------------------------------------

// "HE", "O", "O8" (Omaha hi-lo), "O5"/"O6" and "O5-8"/"O6-8" (five- and six-card Omaha, hi and
// hi-lo), "SD" (short deck), "C"/"C8" (Courchevel), "Stud"/"Stud8" (seven-card stud, hi and
// hi-lo), "Razz", "5Stud" (five-card stud), "5Draw" (five-card draw), "27SD"/"27TD" (2-7 single
// and triple draw), "A5TD" (A-5 triple draw), "Badugi", "27Razz", "A5SD" (A-5 single draw),
// "Badacey", "Badeucey", "27Drawmaha"; after the limit: "NL", "PL", "FL".
std::string_view game_label(GameType g) {
    constexpr std::array<std::string_view, kGameTypeCount> kLabels = {
        "HE",   "O",    "O8",     "O5",     "O5-8", "O6",      "O6-8",     "SD",
        "C",    "C8",   "Stud",   "Stud8",  "Razz", "5Stud",   "5Draw",    "27SD",
        "27TD", "A5TD", "Badugi", "27Razz", "A5SD", "Badacey", "Badeucey", "27Drawmaha"};
    return kLabels.at(static_cast<std::size_t>(g));
}
std::string_view limit_label(BetType b) {
    constexpr std::array<std::string_view, kBetTypeCount> kLabels = {"NL", "FL", "PL"};
    return kLabels.at(static_cast<std::size_t>(b));
}

// Money with its sign and at least two decimals when it has any ("$0.10", "$3.45", "$1"); chips
// (no sign) as their shortest decimal.
void append_amount(std::string& out, Currency sign, Money m) {
    if (m < 0) {
        out += '-';
        m = -m;
    }
    if (sign != 0) append_utf8(out, sign);
    const std::size_t start = out.size();
    append_money(out, m);
    const std::size_t dot = out.find('.', start);
    if (sign != 0 && dot != std::string::npos && out.size() - dot == 2) out += '0';
}

std::string summary_line(const HandStore& store, const Hand& hand, const facts::HandFacts& f) {
    const Header& h = hand.header;
    std::string out(site_name(h.site));
    out += " #";
    out += store.text_of(h.id);
    if (h.is_tournament()) {
        out += " tournament #";
        out += store.text_of(at(store.tournaments, h.tournament).id);
    }
    out += ' ';
    out += limit_label(h.bet_type);
    out += game_label(h.game_type);
    out += ' ';
    append_amount(out, h.currency, money_of(h.small_blind));
    out += '/';
    append_amount(out, h.currency, money_of(h.big_blind));
    out += ", ";
    append_u64(out, f.dealt_in);
    out += f.dealt_in == 1 ? " player" : " players";
    out += ", pot ";
    append_amount(out, h.currency, f.total_pot);
    return out;
}

PyObject* hand_summary(PyObject* self, PyObject*) {
    return hand_get(self, [](HandCache& c, const Hand& h) {
        return utf8_to_str(summary_line(c.store(), h, c.facts().hand));
    });
}

PyGetSetDef kHandGetSet[] = {
    {"id", hand_id, nullptr, "str: the site's hand number.", nullptr},
    {"site", hand_site, nullptr,
     "str: the site whose format the hand was read in ('PokerStars', 'PokerStarsPluribus', "
     "'OnGame', 'GGPoker', 'Winamax', ...).",
     nullptr},
    {"game", hand_game, nullptr,
     "str: 'HoldEm', 'Omaha', 'OmahaHiLo', 'FiveCardOmaha', 'FiveCardOmahaHiLo', "
     "'SixCardOmaha', 'SixCardOmahaHiLo', 'ShortDeckHoldEm', 'Courchevel', 'CourchevelHiLo', "
     "'SevenCardStud', 'SevenCardStudHiLo', 'Razz', 'FiveCardStud', 'FiveCardDraw', "
     "'SingleDraw27', 'TripleDraw27', 'TripleDrawA5', 'Badugi', 'Razz27', 'SingleDrawA5', "
     "'Badacey', 'Badeucey', 'Drawmaha27'.",
     nullptr},
    {"mixed", hand_mixed, nullptr,
     "str | None: the rotation of a mixed game the hand was dealt in ('HORSE', '8-Game', "
     "'Mixed NLH/PLO', ...); None for a hand of one game.",
     nullptr},
    {"bet_type", hand_bet_type, nullptr,
     "str: 'NoLimit', 'Limit' or 'PotLimit' (the hands table's `limit`).", nullptr},
    {"table", hand_table, nullptr, "str: the table's name.", nullptr},
    {"max_players", hand_max_players, nullptr, "int: seats at the table.", nullptr},
    {"started_at", hand_started_at, nullptr,
     "datetime | None: the start time; aware, in UTC, where the history names its zone, naive "
     "(the time as written) where it does not; None without a date.",
     nullptr},
    {"currency", hand_currency, nullptr,
     "str | None: the ISO 4217 code of the amounts ('USD', 'EUR', ...); None for play money "
     "and tournament chips.",
     nullptr},
    {"small_blind", hand_small_blind, nullptr, "float: the small blind.", nullptr},
    {"big_blind", hand_big_blind, nullptr, "float: the big blind.", nullptr},
    {"ante", hand_ante, nullptr, "float: the ante (a cash hand's is 0: its antes are actions).",
     nullptr},
    {"button_seat", hand_button_seat, nullptr,
     "int | None: the button's seat as the table line names it; None when it names none.", nullptr},
    {"board", hand_board, nullptr,
     "tuple[str, ...]: the cards of the first board (flop, turn, river), as \"Ah\"; empty "
     "when no flop was dealt.",
     nullptr},
    {"boards", hand_boards, nullptr,
     "tuple[tuple[str, ...], ...]: every board; a hand run twice has two, each repeating the "
     "cards dealt before the board was split.",
     nullptr},
    {"total_pot", hand_total_pot, nullptr,
     "float: every chip in the pots with the rake, returned chips left out.", nullptr},
    {"rake", hand_rake, nullptr, "float: the site's rake, its jackpot fees apart.", nullptr},
    {"jackpot", hand_jackpot, nullptr,
     "float: jackpot and draw fees taken apart from the rake (GGPoker); 0 elsewhere.", nullptr},
    {"hero", hand_hero, nullptr,
     "Player | None: the player whose cards the history shows; None when none.", nullptr},
    {"players", hand_players, nullptr, "tuple[Player, ...]: the players, in seat-line order.",
     nullptr},
    {"actions", hand_actions, nullptr, "tuple[Action, ...]: the actions, in the order of the text.",
     nullptr},
    {"winners", hand_winners, nullptr,
     "tuple[Player, ...]: the players who won chips, in player order.", nullptr},
    {"tournament", hand_tournament, nullptr,
     "Tournament | None: a tournament hand's tournament; None for a cash hand.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kHandMethods[] = {
    {"summary", hand_summary, METH_NOARGS,
     "summary()\n--\n\n"
     "One line for a log or a notebook: site, hand number, (tournament,) game and stakes, "
     "the players dealt in and the pot, e.g. \"PokerStars #259309793379 NLHE $0.05/$0.10, 6 "
     "players, pot "
     "$3.45\"."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kHandSlots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(hand_dealloc)},
    {Py_tp_getset, kHandGetSet},
    {Py_tp_methods, kHandMethods},
    {Py_tp_doc,
     const_cast<char*>(
         "One hand of a parsed text: a one-hand HandView (its repr, str and exports write the "
         "hand) whose attributes read the hand when first asked for. Equal, as any view, to the "
         "views of the same hand of the same parse.")},
    {0, nullptr},
};

PyType_Spec kHandSpec = {
    "handscribe.Hand", static_cast<int>(sizeof(HandObject)), 0, Py_TPFLAGS_DEFAULT, kHandSlots,
};

// Adds `type` (a borrowed reference) to the module and its name to `names`.
bool add_type(PyObject* module, PyObject* names, const char* name, PyObject* type) {
    Py_INCREF(type);
    if (PyModule_AddObject(module, name, type) < 0) {
        Py_DECREF(type);
        return false;
    }
    Ref text(PyUnicode_FromString(name));
    return text && PyList_Append(names, text.get()) == 0;
}

}  // namespace

PyObject* new_hand(std::shared_ptr<const HandStore> store, Span hand) {
    PyObject* obj = g_hand_type->tp_alloc(g_hand_type, 0);
    if (obj == nullptr) return nullptr;
    HandObject* h = as_hand(obj);
    new (&h->view.store) std::shared_ptr<const HandStore>(std::move(store));
    h->view.hands = hand;
    h->view.rejected = nullptr;
    new (&h->cache) std::shared_ptr<HandCache>();
    h->players = nullptr;
    h->actions = nullptr;
    return obj;
}

bool add_hand_types(PyObject* module, PyTypeObject* view_type, PyObject* names) {
    PyDateTime_IMPORT;
    if (PyDateTimeAPI == nullptr) return false;
    if (g_hand_type == nullptr) {
        Ref bases(PyTuple_Pack(1, reinterpret_cast<PyObject*>(view_type)));
        if (!bases) return false;
        g_hand_type =
            reinterpret_cast<PyTypeObject*>(PyType_FromSpecWithBases(&kHandSpec, bases.get()));
        if (g_hand_type == nullptr) return false;
    }
    if (g_player_type == nullptr) {
        g_player_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kPlayerSpec));
        if (g_player_type == nullptr) return false;
    }
    if (g_action_type == nullptr) {
        g_action_type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&kActionSpec));
        if (g_action_type == nullptr) return false;
    }
    if (g_tournament_type == nullptr) {
        Ref collections(PyImport_ImportModule("collections"));
        if (!collections) return false;
        Ref factory(PyObject_GetAttrString(collections.get(), "namedtuple"));
        if (!factory) return false;
        Ref args(Py_BuildValue("(s(ssssssss))", "Tournament", "id", "level", "buy_in_kind",
                               "currency", "buy_in", "fee", "bounty_fee", "name"));
        Ref kwargs(Py_BuildValue("{ss}", "module", "handscribe"));
        if (!args || !kwargs) return false;
        Ref type(PyObject_Call(factory.get(), args.get(), kwargs.get()));
        if (!type) return false;
        Ref doc(PyUnicode_FromString(
            "A tournament hand's tournament, as the hands table gives it: `id` (its number), "
            "`level` (as written, '' when none), `buy_in_kind` ('Money', 'Freeroll', 'Points', "
            "'StarsCoin', 'PlayMoney', 'Unknown', 'Ticket'), `currency` (ISO 4217 code of the "
            "buy-in, None when it has no sign), `buy_in`, `fee`, `bounty_fee`, `name` (as the "
            "history writes it, '' when it writes none)."));
        if (!doc || PyObject_SetAttrString(type.get(), "__doc__", doc.get()) < 0) return false;
        g_tournament_type = type.release();
    }
    return add_type(module, names, "Hand", reinterpret_cast<PyObject*>(g_hand_type)) &&
           add_type(module, names, "Player", reinterpret_cast<PyObject*>(g_player_type)) &&
           add_type(module, names, "Action", reinterpret_cast<PyObject*>(g_action_type)) &&
           add_type(module, names, "Tournament", g_tournament_type);
}

}  // namespace hs::py
