#include "app/batch/output_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

std::string Reason(int error) { return std::strerror(error); }

}  // namespace

bool CheckWritable(const fs::path& file, std::string* error) {
    const int existing = open(file.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (existing >= 0) {
        close(existing);
        return true;
    }
    int why = errno;
    if (why == ENOENT) {
        const int created = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (created >= 0) {
            close(created);
            unlink(file.c_str());
            return true;
        }
        why = errno;
    }
    *error = "cannot write " + file.string() + ": " + (why == EISDIR ? "it is a folder" : Reason(why));
    return false;
}

OutputFolder::~OutputFolder() {
    if (descriptor_ >= 0) close(descriptor_);  // closing releases the lock
}

bool OutputFolder::Claim(const fs::path& directory, const std::vector<std::string>& fileNames, std::string* error) {
    std::error_code code;
    fs::create_directories(directory, code);
    if (!code && !fs::is_directory(directory, code)) code = std::make_error_code(std::errc::not_a_directory);
    if (code) {
        *error = "cannot create the folder " + directory.string() + ": " + code.message();
        return false;
    }
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        *error = "cannot open the folder " + directory.string() + ": " + Reason(errno);
        return false;
    }
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        close(descriptor);
        *error = why == EWOULDBLOCK ? "cannot write into " + directory.string() +
                                          ": another quillmark command is writing there; wait for it to end or choose "
                                          "another folder with -o"
                                    : "cannot lock the folder " + directory.string() + ": " + Reason(why);
        return false;
    }
    for (const std::string& name : fileNames) {
        if (!CheckWritable(directory / name, error)) {
            close(descriptor);
            return false;
        }
    }
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = descriptor;
    return true;
}

std::optional<fs::path> ClaimOutputFolder(const std::optional<std::string>& output,
                                          const std::vector<std::string>& fileNames, OutputFolder* folder,
                                          std::string* error) {
    std::error_code code;
    const fs::path directory = fs::absolute(output ? fs::path(*output) : fs::path("."), code);
    if (code) {
        *error = "cannot find the folder " + output.value_or(".") + ": " + code.message();
        return std::nullopt;
    }
    if (!folder->Claim(directory, fileNames, error)) return std::nullopt;
    return directory;
}

}  // namespace quillmark::batch
