// A fixed set of threads that run the jobs of one call together with the
// calling thread and are joined before the call returns.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillmark::software {

// The thread count SetDrawThreads asks for, else one per core.
unsigned DrawThreads();

class WorkerPool {
public:
    // `threads` working threads in all, the caller included.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs job(i) once for every i in [0, count), spread over the threads.
    void Run(std::uint32_t count, const std::function<void(std::uint32_t)>& job);

private:
    void HelperLoop();
    void TakeJobs();

    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable finished_;
    std::uint64_t generation_ = 0;
    unsigned busyHelpers_ = 0;
    bool stopping_ = false;
    const std::function<void(std::uint32_t)>* job_ = nullptr;
    std::uint32_t jobCount_ = 0;
    std::atomic<std::uint32_t> nextJob_{0};
};

}  // namespace quillmark::software
