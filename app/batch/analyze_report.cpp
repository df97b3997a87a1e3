// The figures and progress lines of "quillmark analyze".
#include "app/batch/analyze_command.h"

#include "app/analysis.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace quillmark::batch {
namespace {

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

std::string InterruptedFileName(const std::string& name) {
    const std::filesystem::path path(name);
    return path.stem().string() + "-interrupted" + path.extension().string();
}

std::string FiguresText(const AnalysisFigures& figures) {
    std::string text = "SUM: " + std::to_string(figures.hitTotal) + "\nMAX: " + std::to_string(figures.maxHits) +
                       "\nP: " + FormatTexelSum(figures.levelTexelSum) + " (" +
                       std::to_string(figures.levelTexelSum) + ")\nframes: " + std::to_string(figures.framesDone) +
                       (figures.done ? "" : " (interrupted)") + "\n";
    for (int level = 0; level < kLevelsDone; ++level) {
        const LevelResult& result = figures.levels[std::size_t(level)];
        char line[128];
        std::snprintf(line, sizeof(line), "level %d: row period %d, column period %d, hits %lld\n", level,
                      result.rowPeriod, result.columnPeriod, static_cast<long long>(result.hits));
        text += line;
    }
    return text;
}

std::string FiguresJson(const AnalysisFigures& figures) {
    std::string json = "{\"sum\": " + std::to_string(figures.hitTotal) + ", \"max\": " +
                       std::to_string(figures.maxHits) + ", \"p\": " + std::to_string(figures.levelTexelSum) +
                       ", \"p_text\": \"" + FormatTexelSum(figures.levelTexelSum) + "\", \"frames\": " +
                       std::to_string(figures.framesDone) + ", \"done\": " + (figures.done ? "true" : "false") +
                       ", \"levels\": [";
    for (int level = 0; level < kLevelsDone; ++level) {
        const LevelResult& result = figures.levels[std::size_t(level)];
        json += std::string(level ? ", " : "") + "{\"level\": " + std::to_string(level) +
                ", \"row_period\": " + std::to_string(result.rowPeriod) +
                ", \"column_period\": " + std::to_string(result.columnPeriod) +
                ", \"hits\": " + std::to_string(result.hits) + "}";
    }
    return json + "]}\n";
}

std::string ProgressLine(const AnalysisFigures& figures, int barWidth) {
    const int total = figures.frameEstimate > 0 ? figures.frameEstimate : 1;
    const int done = figures.framesDone < total ? figures.framesDone : total;
    std::string line;
    if (barWidth > 0) {
        const int filled = static_cast<int>(static_cast<long long>(done) * barWidth / total);
        line.push_back('[');
        line.append(static_cast<size_t>(filled), '#');
        line.append(static_cast<size_t>(barWidth - filled), '.');
        line.append("] ");
    }
    const std::string remaining = Trimmed(figures.remainingTime);
    line += std::to_string(figures.framesDone);
    line += '/';
    line += std::to_string(figures.frameEstimate);
    line += " frames, level ";
    line += std::to_string(figures.level);
    line += ", left ";
    line.append(remaining.empty() ? std::string_view("?") : std::string_view(remaining));
    line += ", SUM ";
    line += std::to_string(figures.hitTotal);
    line += ", MAX ";
    line += std::to_string(figures.maxHits);
    line += ", P ";
    line += FormatTexelSum(figures.levelTexelSum);
    return line;
}

}  // namespace quillmark::batch
