// The worker pool, driven without Python: every index of a batch runs once, batches from several
// threads at once share the workers, a job's exception reaches its own caller only, and a forked
// child gets a working pool of its own. scripts/test.sh also runs this under ThreadSanitizer.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "batch/pool.hpp"

// Read by ThreadSanitizer only. A report must fail the test even in a forked child (which leaves
// with _exit), and the pool starts threads in a child forked from a threaded parent by design,
// which ThreadSanitizer otherwise refuses outright.
extern "C" const char* __tsan_default_options() { return "halt_on_error=1:die_after_fork=0"; }

namespace {

using hs::pool::run_each;

// Runs a batch of `count` jobs and checks that each index ran exactly once. Each job yields, so
// that the workers woken for the batch find work left to take.
bool runs_each_index_once(std::size_t count) {
    const auto hits = std::make_unique<std::atomic<int>[]>(count);
    run_each(count, [&](std::size_t i) {
        hits[i].fetch_add(1, std::memory_order_relaxed);
        std::this_thread::yield();
    });
    for (std::size_t i = 0; i < count; ++i)
        if (hits[i].load() != 1) return false;
    return true;
}

TEST(Pool, RunsEveryIndexOnce) {
    for (const std::size_t count : {0, 1, 2, 3, 17, 1000, 20000})
        EXPECT_TRUE(runs_each_index_once(count)) << count;
}

// The threads that ran the jobs of a batch of slow jobs.
std::set<std::thread::id> threads_of_slow_batch(std::size_t max_threads) {
    std::mutex mutex;
    std::set<std::thread::id> threads;
    run_each(
        400,
        [&](std::size_t) {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            const std::lock_guard<std::mutex> lock(mutex);
            threads.insert(std::this_thread::get_id());
        },
        max_threads);
    return threads;
}

// A batch of slow jobs is shared: the pool's workers take jobs beside the caller, as many as the
// batch allows.
TEST(Pool, WorkersJoinTheCallerUpToTheLimit) {
    EXPECT_GE(threads_of_slow_batch(0).size(), 2u);
    EXPECT_EQ(threads_of_slow_batch(1), std::set<std::thread::id>{std::this_thread::get_id()});
    const auto two = threads_of_slow_batch(2);
    EXPECT_EQ(two.size(), 2u);
    EXPECT_EQ(two.count(std::this_thread::get_id()), 1u);
}

// Callers on several threads at once, many small batches each: the batches interleave on the
// shared workers and every caller still gets all of its own jobs done.
TEST(Pool, ConcurrentCallersWithManySmallBatches) {
    constexpr int kCallers = 4;
    constexpr int kBatches = 2000;
    std::atomic<int> failures{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kCallers; ++t) {
        callers.emplace_back([&, t] {
            for (int b = 0; b < kBatches; ++b)
                if (!runs_each_index_once(static_cast<std::size_t>(2 + (b + t) % 7)))
                    failures.fetch_add(1);
        });
    }
    for (auto& c : callers) c.join();
    EXPECT_EQ(failures.load(), 0);
}

// The exception of a failing job is rethrown to the caller of that batch (one of them, when
// several fail), and the pool serves the next batch as usual.
TEST(Pool, JobExceptionReachesItsOwnCaller) {
    for (const std::size_t count : {1, 2, 1000}) {
        try {
            run_each(count, [&](std::size_t i) {
                if (i == count / 2) throw std::runtime_error("job " + std::to_string(i));
            });
            ADD_FAILURE() << "no exception for " << count;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "job " + std::to_string(count / 2)) << count;
        }
        EXPECT_TRUE(runs_each_index_once(count));
    }
    // Every job fails, on several threads at about the same time: one of the exceptions comes
    // back (repeated, so that the threads meet in the keeping of the first one).
    for (int round = 0; round < 20; ++round) {
        EXPECT_THROW(run_each(16,
                              [](std::size_t) {
                                  std::this_thread::sleep_for(std::chrono::microseconds(200));
                                  throw std::runtime_error("each");
                              }),
                     std::runtime_error);
    }
}

// Failing and sound batches from several threads at once: each caller sees only its own
// outcome.
TEST(Pool, ExceptionsStayWithTheirBatch) {
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < 4; ++t) {
        callers.emplace_back([&, t] {
            for (int b = 0; b < 300; ++b) {
                const bool fail = (b + t) % 2 == 0;
                try {
                    run_each(20, [&](std::size_t i) {
                        if (fail && i == 7) throw std::runtime_error(std::to_string(t));
                    });
                    if (fail) wrong.fetch_add(1);
                } catch (const std::runtime_error& e) {
                    if (!fail || std::string(e.what()) != std::to_string(t)) wrong.fetch_add(1);
                }
            }
        });
    }
    for (auto& c : callers) c.join();
    EXPECT_EQ(wrong.load(), 0);
}

// A child forked while another thread keeps the parent's pool busy inherits none of its
// threads: its first batch starts a pool of its own and completes.
TEST(Pool, ForkedChildGetsItsOwnPool) {
    ASSERT_TRUE(runs_each_index_once(100));  // the parent's pool exists before the fork
    std::atomic<bool> stop{false};
    std::thread busy([&] {
        while (!stop.load()) runs_each_index_once(50);
    });
    int failed_children = 0;
    for (int k = 0; k < 10; ++k) {
        const pid_t pid = ::fork();
        ASSERT_NE(pid, -1);
        if (pid == 0) ::_exit(runs_each_index_once(1000) && runs_each_index_once(3) ? 0 : 1);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failed_children;
    }
    stop.store(true);
    busy.join();
    EXPECT_EQ(failed_children, 0);
    EXPECT_TRUE(runs_each_index_once(1000));  // the parent's pool is untouched
}

}  // namespace
