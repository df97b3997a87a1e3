// A copy of a file's bytes that ends right before an inaccessible region, so
// that a reader going past the end faults at once, in plain builds as well as
// under the sanitizers.
#pragma once

#include <cstddef>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace quillmark::testing {

class GuardedBytes {
public:
    // Wider than any single skip a reader may be tricked into (64 KiB).
    static constexpr std::size_t kGuardSize = 256 * 1024;

    explicit GuardedBytes(const std::vector<unsigned char>& bytes) : size_(bytes.size()) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t dataPages = (size_ + page - 1) / page * page;
        mappedSize_ = dataPages + kGuardSize;
        void* mapped = mmap(nullptr, mappedSize_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) return;
        mapped_ = static_cast<unsigned char*>(mapped);
        mprotect(mapped_ + dataPages, kGuardSize, PROT_NONE);
        data_ = mapped_ + dataPages - size_;
        if (size_ != 0) std::memcpy(data_, bytes.data(), size_);
    }
    ~GuardedBytes() {
        if (mapped_ != nullptr) munmap(mapped_, mappedSize_);
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    const unsigned char* data() const { return data_; }
    unsigned size() const { return static_cast<unsigned>(size_); }

private:
    std::size_t size_;
    std::size_t mappedSize_ = 0;
    unsigned char* mapped_ = nullptr;
    unsigned char* data_ = nullptr;
};

}  // namespace quillmark::testing
