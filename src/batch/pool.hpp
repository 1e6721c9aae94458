// The process-wide pool of worker threads that runs the batch parse functions.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace hs::pool {

// A job: called with the index of one element of the batch.
using JobFn = void (*)(void* context, std::size_t index);

// Runs fn(context, i) for every i in [0, count) on the pool's workers and on the calling
// thread, and returns when every started job has finished. Indices are handed out one at a
// time from an atomic counter, so idle threads take over the remaining work of busy ones. The
// first exception thrown by a job is kept; no new job starts after it, the running ones
// finish, then it is rethrown here. At most `max_threads` threads (the caller included) work on
// the batch; 0 means every worker. Safe to call from several threads at once and after fork().
void run(std::size_t count, JobFn fn, void* context, std::size_t max_threads = 0);

// Convenience form over any callable taking an index.
template <class F>
void run_each(std::size_t count, F&& f, std::size_t max_threads = 0) {
    using Fn = std::remove_reference_t<F>;
    run(
        count, [](void* ctx, std::size_t i) { (*static_cast<Fn*>(ctx))(i); },
        const_cast<void*>(static_cast<const void*>(&f)), max_threads);
}

}  // namespace hs::pool
