// The folder a batch command writes its files into, claimed before any work
// starts: created when missing, every file the command will write checked
// to be creatable there, and locked, so that a second command writing into
// the same folder is refused instead of replacing the first one's files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmark::batch {

class OutputFolder {
public:
    // Creates `directory` when missing, takes its lock and checks that each
    // of `fileNames` can be written there. On failure the folder is not
    // held, and *error says what failed and why.
    bool Claim(const std::filesystem::path& directory, const std::vector<std::string>& fileNames,
               std::string* error);

    OutputFolder() = default;
    ~OutputFolder();
    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

private:
    int descriptor_ = -1;  // the open folder, holding its lock; -1 when not held
};

// The folder -o names (default the current directory) as an absolute path,
// claimed by `folder` for `fileNames`; nothing, with *error, when it cannot be.
std::optional<std::filesystem::path> ClaimOutputFolder(const std::optional<std::string>& output,
                                                       const std::vector<std::string>& fileNames, OutputFolder* folder,
                                                       std::string* error);

// Whether `file` can be written: an existing file is opened for writing
// without truncating it, a missing one created and removed again. False with
// "cannot write FILE: why" in *error.
bool CheckWritable(const std::filesystem::path& file, std::string* error);

}  // namespace quillmark::batch
