// The worker pool: one std::thread per logical processor, started on first use and kept for the
// life of the process. Every batch is a list of indices handed out by an atomic counter; the
// calling thread works on its own batch too, so a batch always makes progress even when every
// worker is busy with another caller's batch.
#include "batch/pool.hpp"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

#include <pthread.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace hs::pool {
namespace {

struct Batch {
    std::size_t count = 0;
    JobFn fn = nullptr;
    void* context = nullptr;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;  // the first fault; written once, under error_mutex
    std::mutex error_mutex;
    std::size_t workers = 0;      // pool workers inside this batch; guarded by the pool mutex
    std::size_t max_workers = 0;  // pool workers allowed in (the caller works besides them)

    // Takes and runs jobs until none is left or one has failed.
    void work() noexcept {
        while (!failed.load(std::memory_order_acquire)) {
            const std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) return;
            try {
                fn(context, i);
            } catch (...) {
                std::lock_guard<std::mutex> lock(error_mutex);
                if (!error) error = std::current_exception();
                failed.store(true, std::memory_order_release);
            }
        }
    }
    bool exhausted() const noexcept {
        return failed.load(std::memory_order_acquire) ||
               next.load(std::memory_order_relaxed) >= count;
    }
};

class Pool {
  public:
    explicit Pool(pid_t owner) : owner_(owner) {
        const unsigned n = std::max(1u, std::thread::hardware_concurrency());
        threads_.reserve(n);
        // Workers start with every signal blocked, so that signals go to the interpreter's
        // threads and never interrupt a parse.
        sigset_t all, previous;
        sigfillset(&all);
        const bool masked = ::pthread_sigmask(SIG_SETMASK, &all, &previous) == 0;
        try {
            for (unsigned k = 0; k < n; ++k) threads_.emplace_back([this] { worker_loop(); });
        } catch (...) {
            if (masked) ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
            if (threads_.empty()) throw;
            // Fewer workers than processors still make a working pool.
            return;
        }
        if (masked) ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    }
    // The pool is never destroyed: its threads wait for work until the process ends.
    Pool(const Pool&) = delete;
    Pool& operator=(const Pool&) = delete;

    pid_t owner() const noexcept { return owner_; }

    void run(Batch& batch) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_.push_back(&batch);
        }
        work_ready_.notify_all();
        batch.work();
        std::unique_lock<std::mutex> lock(mutex_);
        // No worker may enter the batch once it is off the list; wait for those inside.
        open_.remove(&batch);
        batch_left_.wait(lock, [&] { return batch.workers == 0; });
    }

  private:
    void worker_loop() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            Batch* batch = nullptr;
            work_ready_.wait(lock, [&] {
                for (Batch* b : open_)
                    if (!b->exhausted() && b->workers < b->max_workers) {
                        batch = b;
                        return true;
                    }
                return false;
            });
            ++batch->workers;
            lock.unlock();
            batch->work();
            lock.lock();
            if (--batch->workers == 0) batch_left_.notify_all();
        }
    }

    pid_t owner_;
    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable batch_left_;
    std::list<Batch*> open_;  // batches that workers may join, oldest first
    std::vector<std::thread> threads_;
};

// The pool of this process. After fork() the child inherits the pointer but none of the
// threads: the child handler forgets the parent's pool (and a creation lock that may have been
// held at the fork), so the child's first batch starts a fresh pool. The owner's process id is
// checked as well, for forks that bypass the handlers.
std::atomic<Pool*> g_pool{nullptr};
std::mutex* g_create_mutex = new std::mutex;

void forget_pool_in_child() noexcept {
    g_pool.store(nullptr, std::memory_order_relaxed);
    g_create_mutex = new std::mutex;  // the parent's pool and lock are left behind, unused
}

Pool& current_pool() {
    const pid_t me = ::getpid();
    Pool* pool = g_pool.load(std::memory_order_acquire);
    if (pool != nullptr && pool->owner() == me) return *pool;
    std::lock_guard<std::mutex> lock(*g_create_mutex);
    pool = g_pool.load(std::memory_order_acquire);
    if (pool == nullptr || pool->owner() != me) {
        // Handlers survive fork(), so one registration serves the children too.
        static bool handler_registered = false;
        if (!handler_registered)
            handler_registered = ::pthread_atfork(nullptr, nullptr, &forget_pool_in_child) == 0;
        pool = new Pool(me);
        g_pool.store(pool, std::memory_order_release);
    }
    return *pool;
}

}  // namespace

void run(std::size_t count, JobFn fn, void* context, std::size_t max_threads) {
    if (count == 0) return;
    Batch batch;
    batch.count = count;
    batch.fn = fn;
    batch.context = context;
    batch.max_workers = max_threads == 0 ? count : std::min(count, max_threads) - 1;
    if (count == 1 || batch.max_workers == 0) {
        batch.work();  // nothing to share
    } else {
        current_pool().run(batch);
    }
    if (batch.error) std::rethrow_exception(batch.error);
}

}  // namespace hs::pool
