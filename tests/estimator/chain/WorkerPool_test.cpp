#include "estimator/chain/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

namespace ombrel {
namespace {

// Every worker runs every job exactly once, and Run returns only after all of them are done; a
// thrown job is rethrown once and leaves the pool usable. More threads than cores included.
TEST(WorkerPool, RunsEveryWorkerOncePerJobAndRethrowsAFailure) {
    for (int threads : {1, 2, 3, 8}) {
        WorkerPool pool(threads);
        std::vector<std::atomic<int>> calls(static_cast<size_t>(threads));
        for (int job = 0; job < 200; ++job) {
            auto count = [&calls](int worker) { calls[static_cast<size_t>(worker)].fetch_add(1); };
            pool.Run(count);
            for (int w = 0; w < threads; ++w)
                ASSERT_EQ(calls[static_cast<size_t>(w)].load(), job + 1)
                    << threads << " threads, worker " << w;
        }
        auto fail = [](int worker) {
            if (worker == 0) throw std::runtime_error("worker 0 failed");
        };
        EXPECT_THROW(pool.Run(fail), std::runtime_error);
        std::atomic<int> after{0};
        auto again = [&after](int) { after.fetch_add(1); };
        pool.Run(again);
        EXPECT_EQ(after.load(), threads);
    }
}

// The background job runs beside the caller (here it waits for the caller's signal, which a job run
// on the caller's own thread never would get), Wait sees its writes, and a failure comes out of Wait.
TEST(BackgroundThread, RunsBesideTheCallerAndHandsBackItsFailure) {
    BackgroundThread thread;
    for (int job = 0; job < 100; ++job) {
        std::atomic<bool> go{false};
        int result = 0;
        auto work = [&] {
            while (!go.load()) {
            }
            result = job + 1;
        };
        thread.Start(work);
        go.store(true);
        thread.Wait();
        ASSERT_EQ(result, job + 1);
    }
    auto fail = [] { throw std::runtime_error("reader failed"); };
    thread.Start(fail);
    EXPECT_THROW(thread.Wait(), std::runtime_error);
    int ran = 0;
    auto again = [&ran] { ran = 1; };
    thread.Start(again);
    thread.Wait();
    EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace ombrel
