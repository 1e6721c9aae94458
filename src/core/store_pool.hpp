// Stores kept for reuse: a store whose hands are no longer wanted (a file's hands written out, a
// view dropped) goes back here emptied, its lists' memory kept, and the next parse fills it.
// Above ~32 MB glibc gives a freed block back to the system, so that a fresh store page-faults
// every page it fills; a reused one does not.
#pragma once

#include <cstddef>
#include <memory>

#include "core/model.hpp"

namespace hs::store_pool {

// At most this many stores, and this many bytes of lists reserved in all, are kept; a store
// given back beyond either is freed.
inline constexpr std::size_t kMaxStores = 8;
inline constexpr std::size_t kMaxBytes = std::size_t{512} << 20;

// An empty store whose lists are sized for a text of `bytes` bytes: the kept store of the
// largest reservation (a larger text fills more), or a new one.
std::unique_ptr<HandStore> take(std::size_t bytes);
// Keeps the store, emptied, for a later take (or frees it, see above). Null is ignored.
void give(std::unique_ptr<HandStore> store) noexcept;
// Frees every kept store.
void release() noexcept;
// The stores kept and the bytes they have reserved.
std::size_t kept() noexcept;
std::size_t kept_bytes() noexcept;

// A deleter that gives the store back: for stores shared by readers, the last one gone returns
// it.
struct GiveBack {
    void operator()(const HandStore* store) const noexcept {
        give(std::unique_ptr<HandStore>(const_cast<HandStore*>(store)));
    }
};

}  // namespace hs::store_pool
