// The worker pool runs every job of a call exactly once, call after call.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "devices/software/worker_pool.h"

namespace quillmark::software {
namespace {

void ExpectEachJobOnce(WorkerPool& pool, std::uint32_t count) {
    std::vector<std::atomic<int>> runs(count);
    pool.Run(count, [&](std::uint32_t job) { ++runs[job]; });
    for (std::uint32_t job = 0; job < count; ++job) ASSERT_EQ(runs[job].load(), 1) << "job " << job;
}

TEST(WorkerPool, RunsEveryJobExactlyOnce) {
    WorkerPool pool(4);
    for (int call = 0; call < 50; ++call) ExpectEachJobOnce(pool, 1 + call * 37);
}

TEST(WorkerPool, WorksWithTheCallingThreadAlone) {
    WorkerPool pool(1);
    ExpectEachJobOnce(pool, 100);
    ExpectEachJobOnce(pool, 0);
}

}  // namespace
}  // namespace quillmark::software
