// A directory of its own for one test, made under /tmp and removed with
// everything in it when the object goes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace quillmark::testing {

class ScratchDirectory {
public:
    ScratchDirectory() {
        char pattern[] = "/tmp/quillmark-test-XXXXXX";
        if (mkdtemp(pattern) != nullptr) path_ = pattern;
    }
    ~ScratchDirectory() {
        if (!path_.empty()) std::filesystem::remove_all(path_);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    std::string PathOf(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace quillmark::testing
