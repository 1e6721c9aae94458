#include "core/store_pool.hpp"

#include <pthread.h>

#include <mutex>
#include <utility>
#include <vector>

namespace hs::store_pool {
namespace {

struct Kept {
    std::mutex lock;
    std::vector<std::unique_ptr<HandStore>> stores;  // at most kMaxStores, reserved before
    std::size_t bytes = 0;
};

Kept* make_kept();

// Never destroyed: stores may be given back by threads still running at exit.
Kept& kept_stores() {
    static Kept* const k = make_kept();
    return *k;
}

// A process forked while another thread holds the lock (a parse giving its store back) would
// find it held forever in the child: the fork waits for the lock and both sides release it.
Kept* make_kept() {
    auto* k = new Kept;
    pthread_atfork([] { kept_stores().lock.lock(); }, [] { kept_stores().lock.unlock(); },
                   [] { kept_stores().lock.unlock(); });
    return k;
}

}  // namespace

std::unique_ptr<HandStore> take(std::size_t bytes) {
    std::unique_ptr<HandStore> store;
    {
        Kept& k = kept_stores();
        const std::lock_guard<std::mutex> hold(k.lock);
        // The smallest store that holds what the text will fill (about half its size), else
        // the largest.
        const std::size_t want = bytes / 2;
        auto pick = k.stores.end();
        for (auto it = k.stores.begin(); it != k.stores.end(); ++it) {
            const std::size_t have = (*it)->reserved_bytes();
            if (pick == k.stores.end()) {
                pick = it;
                continue;
            }
            const std::size_t best = (*pick)->reserved_bytes();
            if (best >= want ? have >= want && have < best : have > best) pick = it;
        }
        if (pick != k.stores.end()) {
            store = std::move(*pick);
            k.stores.erase(pick);
            k.bytes -= store->reserved_bytes();
        }
    }
    if (store == nullptr) store = std::make_unique<HandStore>();
    store->reserve_for_text(bytes);
    return store;
}

void give(std::unique_ptr<HandStore> store) noexcept {
    if (store == nullptr) return;
    store->clear();
    const std::size_t bytes = store->reserved_bytes();
    Kept& k = kept_stores();
    std::unique_lock<std::mutex> hold(k.lock);
    if (k.stores.size() >= kMaxStores || k.bytes + bytes > kMaxBytes) {
        hold.unlock();
        store.reset();  // freed outside the lock
        return;
    }
    try {
        k.stores.reserve(kMaxStores);
    } catch (...) {
        return;  // no room to keep it: freed
    }
    k.bytes += bytes;
    k.stores.push_back(std::move(store));
}

void release() noexcept {
    std::vector<std::unique_ptr<HandStore>> freed;
    {
        Kept& k = kept_stores();
        const std::lock_guard<std::mutex> hold(k.lock);
        freed.swap(k.stores);
        k.bytes = 0;
    }
}

std::size_t kept() noexcept {
    Kept& k = kept_stores();
    const std::lock_guard<std::mutex> hold(k.lock);
    return k.stores.size();
}

std::size_t kept_bytes() noexcept {
    Kept& k = kept_stores();
    const std::lock_guard<std::mutex> hold(k.lock);
    return k.bytes;
}

}  // namespace hs::store_pool
