// "quillmark analyze" end to end on the headless backend: the files it
// writes (read back by ImageMagick), the figures on stdout as text and JSON,
// and its command-line errors.
#include "../texfile/texture_test_support.h"
#include "analysis_test_support.h"
#include "app/batch/analyze_command.h"
#include "app/batch/batch_runner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <iterator>
#include <thread>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace quillmark {
namespace {

using test::ImageFacts;
using test::ReadImageFacts;

class AnalyzeCommand : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillmark-analyze-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory_ = pattern;
        previous_ = std::filesystem::current_path();
        std::filesystem::create_directory(directory_ / "here");
        std::filesystem::current_path(directory_ / "here");
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
        std::filesystem::remove_all(directory_);
    }

    // Runs the command with a thin plane (quick to draw) and point filters.
    int Analyze(std::vector<std::string> extra) {
        std::vector<std::string> arguments = {"analyze",      "--object",     "plane", "--angle",
                                              "88",           "--min-filter", "point", "--mag-filter",
                                              "point",        "--mip-filter", "point"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = batch::RunBatch(arguments);
        output_ = ::testing::internal::GetCapturedStdout();
        errors_ = ::testing::internal::GetCapturedStderr();
        return code;
    }

    std::filesystem::path directory_, previous_;
    std::string output_, errors_;
};

TEST_F(AnalyzeCommand, WritesThePlotTheHeatMapAndTheFigures) {
    const std::filesystem::path out = directory_ / "out" / "deeper";
    ASSERT_EQ(Analyze({"-o", out.string()}), 0) << errors_;
    const ImageFacts plot = ReadImageFacts((out / "MipBand.bmp").string());
    ASSERT_TRUE(plot.read);
    EXPECT_EQ(plot.width, 720);
    EXPECT_EQ(plot.height, 501);
    EXPECT_GT(plot.maximum, 0.0);
    const ImageFacts heatMap = ReadImageFacts((out / "heatmap.bmp").string());
    ASSERT_TRUE(heatMap.read);
    EXPECT_EQ(heatMap.width, 800);
    EXPECT_EQ(heatMap.height, 600);

    EXPECT_NE(output_.find("MAX: 1\n"), std::string::npos) << output_;
    EXPECT_NE(output_.find("SUM: "), std::string::npos);
    EXPECT_NE(output_.find("P: "), std::string::npos);
    EXPECT_NE(output_.find("level 9: row period "), std::string::npos);
    EXPECT_NE(errors_.find("DONE"), std::string::npos) << "progress reaches the end";
    EXPECT_NE(errors_.find("wrote " + (out / "report.html").string()), std::string::npos) << errors_;
    EXPECT_FALSE(std::filesystem::exists("MipBand.bmp")) << "nothing lands in the current directory";
    EXPECT_EQ(errors_.find("warning"), std::string::npos) << errors_;
}

// The run marks the generated texture and samples it too: with a white
// texture file selected, whose every texel would read as a mark, the figures
// are those of the run without it, and a note names the file.
TEST_F(AnalyzeCommand, ATextureFileIsNotSampledByTheRun) {
    ASSERT_EQ(Analyze({"-o", (directory_ / "generated").string()}), 0) << errors_;
    const std::string generated = output_;
    const std::filesystem::path texture = directory_ / "white.bmp";
    const testing::Bytes bitmap = testing::Bitmap24(8, 8, [](int, int) { return 0xFFFFFFu; });
    std::ofstream(texture, std::ios::binary)
        .write(reinterpret_cast<const char*>(bitmap.data()), static_cast<std::streamsize>(bitmap.size()));
    ASSERT_EQ(Analyze({"--texture", texture.string(), "-o", directory_.string()}), 0) << errors_;
    EXPECT_EQ(output_, generated);
    EXPECT_NE(errors_.find("quillmark: note: the analysis marks and samples the generated texture, not the "
                           "texture file \"" +
                           texture.string() + "\"\n"),
              std::string::npos)
        << errors_;
}

// A run stopped early never replaces a complete one: its files take names of
// their own, and the complete run's files stay as they were.
TEST_F(AnalyzeCommand, AnInterruptedRunKeepsTheCompleteOne) {
    const std::filesystem::path out = directory_ / "out";
    ASSERT_EQ(Analyze({"-o", out.string()}), 0) << errors_;
    const auto bytes = [](const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string plot = bytes(out / "MipBand.bmp"), heatMap = bytes(out / "heatmap.bmp"),
                      page = bytes(out / "report.html");
    struct sigaction before {};
    sigaction(SIGINT, nullptr, &before);
    std::thread sender([previous = before.sa_handler] {  // once the run has set its handler
        struct sigaction current {};
        for (int i = 0; i < 6000; ++i) {
            sigaction(SIGINT, nullptr, &current);
            if (current.sa_handler != previous) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        kill(getpid(), SIGINT);
    });
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int code = batch::RunBatch({"analyze", "--anisotropy", "16", "-o", out.string()});
    output_ = ::testing::internal::GetCapturedStdout();
    errors_ = ::testing::internal::GetCapturedStderr();
    sender.join();
    ASSERT_EQ(code, 128 + SIGINT) << errors_;
    EXPECT_EQ(bytes(out / "MipBand.bmp"), plot);
    EXPECT_EQ(bytes(out / "heatmap.bmp"), heatMap);
    EXPECT_EQ(bytes(out / "report.html"), page);
    EXPECT_TRUE(ReadImageFacts((out / "MipBand-interrupted.bmp").string()).read);
    EXPECT_TRUE(ReadImageFacts((out / "heatmap-interrupted.bmp").string()).read);
    EXPECT_NE(bytes(out / "report-interrupted.html").find("The run was interrupted"), std::string::npos);
}

TEST_F(AnalyzeCommand, JsonCarriesTheSameFiguresAndTheCurrentDirectoryIsTheDefault) {
    ASSERT_EQ(Analyze({"-o", directory_.string()}), 0) << errors_;
    const std::string text = output_;
    const auto figure = [&](const std::string& name) {
        const std::size_t at = text.find(name + ": ");
        if (at == std::string::npos) return std::string();
        const std::size_t from = at + name.size() + 2;
        return text.substr(from, text.find('\n', from) - from);
    };
    ASSERT_EQ(Analyze({"--json"}), 0) << errors_;  // into the current directory
    EXPECT_TRUE(ReadImageFacts("MipBand.bmp").read);
    EXPECT_TRUE(ReadImageFacts("heatmap.bmp").read);
    const batch::Json json = batch::Json::parse(output_)["cells"][0]["figures"];
    EXPECT_EQ(std::to_string(json["sum"].get<long long>()), figure("SUM")) << output_;
    EXPECT_EQ(json["max"], 1);
    EXPECT_EQ(json["done"], true);
    EXPECT_EQ(json["p_text"].get<std::string>() + " (" + std::to_string(json["p"].get<unsigned long long>()) + ")",
              figure("P"));
    ASSERT_EQ(json["levels"].size(), 10u);
    EXPECT_EQ(json["levels"][9]["level"], 9);
    EXPECT_EQ("level 9: row period " + json["levels"][9]["row_period"].dump() + ", column period " +
                  json["levels"][9]["column_period"].dump() + ", hits " + json["levels"][9]["hits"].dump(),
              text.substr(text.find("level 9: "), text.find('\n', text.find("level 9: ")) - text.find("level 9: ")));
}

TEST_F(AnalyzeCommand, RejectsUnknownOptions) {
    EXPECT_EQ(Analyze({"--frobnicate"}), 2);
    EXPECT_NE(errors_.find("--frobnicate"), std::string::npos);
    EXPECT_EQ(Analyze({"-o"}), 2);
}

TEST_F(AnalyzeCommand, RefusesAnOutputThatIsAFile) {
    const std::filesystem::path file = directory_ / "file";
    FILE* created = std::fopen(file.c_str(), "w");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    EXPECT_EQ(Analyze({"-o", file.string()}), 1);
    EXPECT_NE(errors_.find("cannot create the folder"), std::string::npos) << errors_;
}

// Each output that cannot be written is found before the first frame of the
// run, not after the whole run: no progress, no figures, nothing written.
TEST_F(AnalyzeCommand, AnOutputThatCannotBeWrittenFailsBeforeTheFirstFrame) {
    const std::filesystem::path out = directory_ / "out";
    for (const char* name : {"heatmap.bmp", "MipBand.bmp", "report.html"}) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out / name);  // a folder where the file goes
        EXPECT_EQ(Analyze({"-o", out.string()}), 1) << name;
        EXPECT_NE(errors_.find("cannot write " + (out / name).string() + ": it is a folder"), std::string::npos)
            << errors_;
        EXPECT_EQ(errors_.find("frames"), std::string::npos) << "no frame was drawn: " << errors_;
        EXPECT_EQ(output_, "") << "no figures of a run that did not happen";
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1) << "nothing else written";
    }
    // A folder this user may not write (root may write anywhere).
    if (geteuid() != 0) {
        std::filesystem::remove_all(out);
        std::filesystem::create_directories(out);
        std::filesystem::permissions(out, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_EQ(Analyze({"-o", out.string()}), 1);
        EXPECT_NE(errors_.find("cannot write " + (out / "MipBand.bmp").string() + ": Permission denied"),
                  std::string::npos)
            << errors_;
        std::filesystem::permissions(out, std::filesystem::perms::owner_all);
    }
}

// While one analysis writes into a folder, a second one into the same folder
// is refused in words and leaves the first one's files alone.
TEST_F(AnalyzeCommand, ASecondAnalysisIntoALockedFolderIsRefused) {
    const std::filesystem::path out = directory_ / "busy";
    std::filesystem::create_directories(out);
    const int held = open(out.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);  // as the first analysis holds it
    EXPECT_EQ(Analyze({"-o", out.string()}), 1);
    EXPECT_NE(errors_.find("cannot write into " + out.string() + ": another quillmark command is writing there"),
              std::string::npos)
        << errors_;
    EXPECT_TRUE(std::filesystem::is_empty(out));
    close(held);
    EXPECT_EQ(Analyze({"-o", out.string()}), 0) << "free again once the first one ended: " << errors_;
}

// SIGTERM (what `timeout` and a desktop logout send) and SIGHUP end the run
// as Ctrl-C does: the images and a report marked interrupted are written,
// and the exit status is 128 + the signal.
TEST_F(AnalyzeCommand, TerminationSignalsWriteWhatWasMeasured) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        const std::filesystem::path out = directory_ / ("signal-" + std::to_string(signal));
        // Sent once the run has set its handler; the full tunnel run is far longer than that.
        struct sigaction before {};
        sigaction(signal, nullptr, &before);  // SIG_IGN for SIGHUP under nohup
        std::thread sender([signal, previous = before.sa_handler] {
            struct sigaction current {};
            for (int i = 0; i < 6000; ++i) {
                sigaction(signal, nullptr, &current);
                if (current.sa_handler != previous) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            kill(getpid(), signal);
        });
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        const int code = batch::RunBatch({"analyze", "-o", out.string()});
        output_ = ::testing::internal::GetCapturedStdout();
        errors_ = ::testing::internal::GetCapturedStderr();
        sender.join();
        EXPECT_EQ(code, 128 + signal) << errors_;
        EXPECT_NE(errors_.find("interrupted (SIG"), std::string::npos) << errors_;
        EXPECT_NE(output_.find("(interrupted)"), std::string::npos) << output_;
        EXPECT_TRUE(ReadImageFacts((out / "heatmap-interrupted.bmp").string()).read);
        EXPECT_TRUE(ReadImageFacts((out / "MipBand-interrupted.bmp").string()).read);
        std::ifstream report(out / "report-interrupted.html");
        const std::string page((std::istreambuf_iterator<char>(report)), std::istreambuf_iterator<char>());
        EXPECT_NE(page.find("The run was interrupted"), std::string::npos);
        struct sigaction after {};
        sigaction(signal, nullptr, &after);
        EXPECT_EQ(after.sa_handler, before.sa_handler) << "the previous handler is back";
    }
}

// A run that takes more frames than estimated shows a growing estimate, never
// more frames done than the whole run is said to take.
TEST(AnalyzeProgress, TheEstimateGrowsOnceTheCountPassesIt) {
    g_app = AppState{};
    ProbeState probeState;
    ActiveProbeScope probeScope(probeState);
    ActiveProbe().run.level = 5;
    ActiveProbe().run.rowPeriod = 4;
    ActiveProbe().run.columnPeriod = 8;  // 32 cells: a pass of 12 frames
    ActiveProbe().run.phase = 15;        // 5 of them marked
    ActiveProbe().run.totalFrames = 718;
    ActiveProbe().run.framesDone = 748;
    EXPECT_EQ(ShownFrameEstimate(), 748 + 7);
    std::string line = batch::ProgressLine(CurrentAnalysisFigures(), 10);
    EXPECT_NE(line.find("[#########.] 748/755 frames"), std::string::npos) << line;
    ActiveProbe().run.framesDone = 700;  // within the estimate, the estimate stands
    EXPECT_NE(batch::ProgressLine(CurrentAnalysisFigures(), 0).find("700/718 frames"), std::string::npos);
    ActiveProbe().run.framesDone = 892;
    ActiveProbe().run.level = kLevelsDone;  // done: the estimate is what it took
    line = batch::ProgressLine(CurrentAnalysisFigures(), 10);
    EXPECT_NE(line.find("[##########] 892/892 frames"), std::string::npos) << line;
    g_app = AppState{};
}

}  // namespace
}  // namespace quillmark
