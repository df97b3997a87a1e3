#include "devices/software/worker_pool.h"

#include <algorithm>

#include "devices/software/software_direct3d.h"

namespace quillmark::software {
namespace {

std::atomic<unsigned> g_drawThreads{0};

}  // namespace

void SetDrawThreads(unsigned threads) { g_drawThreads = threads; }

unsigned DrawThreads() {
    const unsigned asked = g_drawThreads;
    return asked ? asked : std::max(1u, std::thread::hardware_concurrency());
}

WorkerPool::WorkerPool(unsigned threads) {
    for (unsigned i = 1; i < threads; ++i) helpers_.emplace_back([this] { HelperLoop(); });
}

WorkerPool::~WorkerPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& helper : helpers_) helper.join();
}

void WorkerPool::TakeJobs() {
    for (std::uint32_t i = nextJob_++; i < jobCount_; i = nextJob_++) (*job_)(i);
}

void WorkerPool::Run(std::uint32_t count, const std::function<void(std::uint32_t)>& job) {
    if (helpers_.empty() || count <= 1) {
        for (std::uint32_t i = 0; i < count; ++i) job(i);
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        job_ = &job;
        jobCount_ = count;
        nextJob_ = 0;
        busyHelpers_ = unsigned(helpers_.size());
        ++generation_;
    }
    wake_.notify_all();
    TakeJobs();
    std::unique_lock lock(mutex_);
    finished_.wait(lock, [this] { return busyHelpers_ == 0; });
    job_ = nullptr;
}

void WorkerPool::HelperLoop() {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
        }
        TakeJobs();
        {
            const std::lock_guard lock(mutex_);
            if (--busyHelpers_ == 0) finished_.notify_one();
        }
    }
}

}  // namespace quillmark::software
