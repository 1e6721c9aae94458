// The section of a hand whose actions are being pushed, for the readers of layouts whose street
// lines open a section without a line that closes the previous one, and whose shown hands and
// collections follow the last round without a showdown line (888poker, PartyPoker): the preflop,
// a street with its board, or the showdown that the first shown hand opens.
#pragma once

#include "core/model.hpp"
#include "reader/hand.hpp"

namespace hs {

class OpenSection {
  public:
    // A street line: the open section closes, the street opens.
    void street(HandBuilder& b, StreetKind kind, const CardSet& cards) {
        close(b);
        preflop_ = false;
        kind_ = kind;
        cards_ = cards;
    }
    // A shown hand: the showdown opens (once); a hand nobody shows keeps its collections in its
    // last round.
    void showdown(HandBuilder& b) {
        if (!preflop_ && kind_ == StreetKind::Showdown) return;
        street(b, StreetKind::Showdown, CardSet::empty());
    }
    // The end of the hand: the open section closes.
    void close(HandBuilder& b) const {
        if (preflop_)
            b.close_preflop();
        else
            b.close_street(kind_, cards_);
    }

  private:
    bool preflop_ = true;
    StreetKind kind_ = StreetKind::Flop;
    CardSet cards_;
};

}  // namespace hs
