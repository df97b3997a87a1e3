// The figures of an analysis run, declared once (name, meaning, unit, how
// each prints), as text lines, JSON and a report's tables; and the progress
// lines of "quillmark analyze".
#include "app/batch/analyze_command.h"

#include "app/analysis.h"
#include "app/batch/report_html.h"

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

namespace {

// One level's results, as a row of the levels table.
struct LevelRow {
    int level;
    LevelResult result;
};

const FigureDeclaration<AnalysisFigures> kAnalysisFigures[] = {
    {"sum", "SUM: hits of marked texels, all levels", "hits", [](const AnalysisFigures& f) { return Json(f.hitTotal); },
     "SUM", [](const AnalysisFigures& f) { return std::to_string(f.hitTotal); }},
    {"max", "MAX: most hits on one pixel", "hits", [](const AnalysisFigures& f) { return Json(f.maxHits); }, "MAX",
     [](const AnalysisFigures& f) { return std::to_string(f.maxHits); }},
    {"p", "P: hits weighted by their level's texel count", "texels",
     [](const AnalysisFigures& f) { return Json(f.levelTexelSum); }, "P",
     [](const AnalysisFigures& f) {
         return FormatTexelSum(f.levelTexelSum) + " (" + std::to_string(f.levelTexelSum) + ")";
     }},
    {"p_text", "P as the dialog shows it", "", [](const AnalysisFigures& f) { return Json(FormatTexelSum(f.levelTexelSum)); }},
    {"frames", "Frames drawn", "frames", [](const AnalysisFigures& f) { return Json(f.framesDone); }, "frames",
     [](const AnalysisFigures& f) { return std::to_string(f.framesDone) + (f.done ? "" : " (interrupted)"); }},
    {"done", "All ten levels measured", "", [](const AnalysisFigures& f) { return Json(f.done); }},
};

// The columns of the levels table; a text line reads "level L: row period R, ...".
const FigureDeclaration<LevelRow> kLevelFigures[] = {
    {"level", "level", "", [](const LevelRow& r) { return Json(r.level); }},
    {"row_period", "row period", "rows", [](const LevelRow& r) { return Json(r.result.rowPeriod); }},
    {"column_period", "column period", "columns", [](const LevelRow& r) { return Json(r.result.columnPeriod); }},
    {"hits", "hits", "hits", [](const LevelRow& r) { return Json(r.result.hits); }},
};

template <typename Visit>
void ForEachLevel(const AnalysisFigures& figures, Visit visit) {
    for (int level = 0; level < kLevelsDone; ++level) visit(LevelRow{level, figures.levels[std::size_t(level)]});
}

}  // namespace

std::string FiguresText(const AnalysisFigures& figures) {
    std::string text = FiguresLines<AnalysisFigures>(kAnalysisFigures, figures);
    ForEachLevel(figures, [&](const LevelRow& row) {
        std::string line;
        for (std::size_t i = 0; i < std::size(kLevelFigures); ++i)
            line += std::string(i == 0 ? "" : i == 1 ? ": " : ", ") + std::string(kLevelFigures[i].meaning) + " " +
                    CellText(kLevelFigures[i].value(row));
        text += line + "\n";
    });
    return text;
}

Json FiguresObject(const AnalysisFigures& figures) {
    Json object = FiguresObject<AnalysisFigures>(kAnalysisFigures, figures);
    Json levels = Json::array();
    ForEachLevel(figures, [&](const LevelRow& row) { levels.push_back(FiguresObject<LevelRow>(kLevelFigures, row)); });
    object["levels"] = std::move(levels);
    return object;
}

std::string FiguresTable(const AnalysisFigures& figures) {
    std::string html = "<h2>Figures</h2>\n<table>\n";
    for (const FigureDeclaration<AnalysisFigures>& figure : kAnalysisFigures)
        html += FigureRow(std::string(figure.meaning), std::string(figure.name), CellText(figure.value(figures)));
    return html + "</table>\n";
}

std::string LevelsTable(const AnalysisFigures& figures) {
    std::string html = "<h2>Levels</h2>\n<table data-figure=\"levels\">\n<tr>";
    for (const FigureDeclaration<LevelRow>& figure : kLevelFigures) html += "<th>" + std::string(figure.meaning) + "</th>";
    html += "</tr>\n";
    ForEachLevel(figures, [&](const LevelRow& row) {
        html += "<tr>";
        for (const FigureDeclaration<LevelRow>& figure : kLevelFigures)
            html += "<td class=\"number\" data-figure=\"" + std::string(figure.name) + "\">" +
                    CellText(figure.value(row)) + "</td>";
        html += "</tr>\n";
    });
    return html + "</table>\n";
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
