// The layout of a HandView object, shared by the view (module.cpp) and by its one-hand subclass
// handscribe.Hand with its Player and Action objects (hand.cpp).
#pragma once

#include "python/glue.hpp"  // Python.h first

#include <memory>

#include "core/model.hpp"

namespace hs::py {

struct ViewObject {
    PyObject_HEAD std::shared_ptr<const HandStore> store;
    Span hands;
    // The list of handscribe.Rejected values of the parse that returned the view; null for the
    // views cut from it, which have none.
    PyObject* rejected;
};

// Creates handscribe.Hand (a subclass of `view_type`), Player, Action and Tournament, adds them
// to the module and their names to `names`; false with an exception set.
bool add_hand_types(PyObject* module, PyTypeObject* view_type, PyObject* names);

// A new Hand over the one hand `hand` (a span of one) of a shared store; null with an exception
// set. It costs what a one-hand view costs: everything else is read when first asked for.
PyObject* new_hand(std::shared_ptr<const HandStore> store, Span hand);

}  // namespace hs::py
