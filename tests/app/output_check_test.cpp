// Every command that draws checks its output folder before the first frame:
// a file it would write that cannot be written (a folder in its place, a
// folder under a regular file, a folder without write permission) fails the
// command at once, with nothing drawn and nothing written.
#include "app/batch/batch_command.h"

#include "batch_capture.h"
#include "scratch_directory.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;
using testing::BatchOutput;
using testing::RunBatchCaptured;
using testing::ScratchDirectory;

struct Command {
    std::vector<std::string> arguments;  // before -o DIR
    std::string file;                    // one of the files it writes into DIR
};

const Command kCommands[] = {
    {{"gallery", "--device", "reference"}, "results.json"},
    {{"gallery", "--device", "reference"}, "gallery.html"},
    {{"lod"}, "lod-error.png"},
    {{"compare", "--device", "reference", "--device", "model"}, "frame-model.bmp"},
    {{"compare", "--device", "reference", "--device", "model"}, "report.html"},
    {{"explain", "--device", "reference"}, "explain.json"},
};

BatchOutput RunInto(const Command& command, const fs::path& directory) {
    std::vector<std::string> arguments = command.arguments;
    arguments.insert(arguments.end(), {"-o", directory.string()});
    return RunBatchCaptured(arguments);
}

// What a command prints once it draws: gallery's progress, compare's and
// lod's figures, explain's experiments.
void ExpectNothingDrawn(const BatchOutput& run, const fs::path& directory, std::size_t entries) {
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.find("gallery: tunnel"), std::string::npos) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), std::ptrdiff_t(entries)) << "nothing written";
}

TEST(OutputCheck, AFileThatCannotBeWrittenFailsBeforeAnythingIsDrawn) {
    const testing::KeepSelectedDevice keep;
    for (const Command& command : kCommands) {
        SCOPED_TRACE(command.arguments.front() + " " + command.file);
        ScratchDirectory scratch;
        fs::create_directories(scratch / "out" / command.file);  // a folder where the file goes
        const BatchOutput run = RunInto(command, scratch / "out");
        EXPECT_EQ(run.code, kExitFailure) << run.err;
        EXPECT_NE(run.err.find("cannot write " + scratch.PathOf("out/" + command.file) + ": it is a folder"),
                  std::string::npos)
            << run.err;
        ExpectNothingDrawn(run, scratch / "out", 1);
    }
}

TEST(OutputCheck, AFolderUnderARegularFileIsRefused) {
    const testing::KeepSelectedDevice keep;
    for (const Command& command : {kCommands[0], kCommands[2], kCommands[3], kCommands[5]}) {
        SCOPED_TRACE(command.arguments.front());
        ScratchDirectory scratch;
        std::ofstream(scratch / "file") << "a file";
        const BatchOutput run = RunInto(command, scratch / "file" / "out");
        EXPECT_EQ(run.code, kExitFailure) << run.err;
        EXPECT_NE(run.err.find("cannot create the folder " + scratch.PathOf("file/out") + ": Not a directory"),
                  std::string::npos)
            << run.err;
        ExpectNothingDrawn(run, scratch.Path(), 1);
    }
}

TEST(OutputCheck, AFolderThisUserMayNotWriteIsRefused) {
    const testing::KeepSelectedDevice keep;
    ScratchDirectory scratch;
    fs::create_directories(scratch / "out");
    fs::permissions(scratch / "out", fs::perms::owner_read | fs::perms::owner_exec);
    if (access(scratch.PathOf("out").c_str(), W_OK) == 0) {
        fs::permissions(scratch / "out", fs::perms::owner_all);
        GTEST_SKIP() << "this user (root) may write into a read-only folder";
    }
    for (const Command& command : {kCommands[0], kCommands[2], kCommands[3], kCommands[5]}) {
        SCOPED_TRACE(command.arguments.front());
        const BatchOutput run = RunInto(command, scratch / "out");
        EXPECT_EQ(run.code, kExitFailure) << run.err;
        EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
        ExpectNothingDrawn(run, scratch / "out", 0);
    }
    fs::permissions(scratch / "out", fs::perms::owner_all);
}

}  // namespace
}  // namespace quillmark::batch
