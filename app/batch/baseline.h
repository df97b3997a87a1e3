// A run compared with a stored one (--baseline FILE [--tolerance SPEC]) and
// written as JUnit XML (--junit FILE), for "gallery", "lod" and "explain".
// Cells are matched by device name and settings; each figure a rule names is
// compared by that rule, the others are not compared. docs/results.md.
#pragma once

#include "app/batch/batch_command.h"
#include "app/batch/result_document.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmark::batch {

inline constexpr CommandOption kBaselineOption = {
    "", "--baseline", "FILE",
    "compare with the results file FILE of an earlier run (same settings):\n"
    "exit 0 when nothing moved beyond the tolerance, 1 when something did,\n"
    "2 when this run failed"};
inline constexpr CommandOption kToleranceOption = {
    "", "--tolerance", "SPEC",
    "how far a figure may move against the baseline: levels=L,share=S\n"
    "(default levels=0.01,share=0.5%; a share as 0.005 or 0.5%)"};
inline constexpr CommandOption kJunitOption = {
    "", "--junit", "FILE", "write JUnit XML to FILE: one test case per device and setting,\nfailed when moved beyond the tolerance or not drawn"};

// Exit code of a run with --baseline when a figure moved beyond the tolerance.
inline constexpr int kExitMoved = 1;
// ... and when the run itself (or a cell of it) failed.
inline constexpr int kExitRunFailed = 2;

struct Tolerance {
    double levels = 0.01;  // λ figures, in levels
    double share = 0.005;  // shares of pixels, as fractions
};

// "levels=0.02,share=1%": false with one sentence in *error.
bool ParseTolerance(std::string_view spec, Tolerance* tolerance, std::string* error);

// How a figure is compared: within the tolerance for λ figures or shares
// (null against a number counts as moved; a list element by element), or
// any change at all (a property the explanation names).
enum class FigureRule { Levels, Share, Exact };
using FigureRules = std::vector<std::pair<std::string, FigureRule>>;

// What --baseline, --tolerance and --junit ask of a run, read and checked
// before anything is drawn.
struct BaselineRequest {
    std::optional<Json> baseline;
    std::string baselineFile;
    Tolerance tolerance;
    std::optional<std::filesystem::path> junit;
};

// Reads the options: the baseline must be a results file of `kind` in a
// format this program reads, made with the same settings as `planned` (the
// settings of each cell this run will draw, devices apart), and the JUnit
// file must be writable. False with one sentence in *error.
bool ReadBaselineRequest(const CommandOptions& options, std::string_view kind,
                         const std::vector<std::vector<std::pair<std::string, std::string>>>& planned,
                         BaselineRequest* request, std::string* error);

struct FigureChange {
    std::string figure;
    Json before, after;
};

// One cell of this run or of the baseline, and what happened to it.
struct CellVerdict {
    enum class State { Same, Moved, NotDrawn, OnlyNow, OnlyInBaseline };
    State state = State::Same;
    ResultCell cell;                 // this run's, or the baseline's when only there
    std::optional<ResultCell> before;  // the baseline's cell, when there is one
    std::vector<FigureChange> changes;
};

// Every cell of this run, then the cells only the baseline has (none without
// a baseline); changed cells keep their order.
std::vector<CellVerdict> JudgeCells(const BaselineRequest& request, const std::vector<ResultCell>& cells,
                                    const FigureRules& rules);

// The lines that say what moved, on stderr, and the JUnit file when asked
// for; returns the exit code: kExitRunFailed when a cell was not drawn or
// the JUnit file could not be written (kExitFailure for a cell not drawn in
// a run without --baseline and --junit), kExitMoved when a cell moved,
// otherwise kExitSuccess.
int ReportVerdicts(const BaselineRequest& request, std::string_view kind, const std::vector<CellVerdict>& verdicts);

// The section of a page that lists the changed cells first, before and
// after side by side, then the cells in one run only; empty without a
// baseline.
std::string BaselineSection(const BaselineRequest& request, const std::vector<CellVerdict>& verdicts);

// The JUnit XML of the verdicts.
std::string JunitXml(std::string_view kind, const std::vector<CellVerdict>& verdicts);

// The settings flags given, as a cell's title ("--object plane --angle 60"),
// or "default settings".
std::string GivenSettingsTitle(const std::vector<std::pair<std::string, std::string>>& given);

}  // namespace quillmark::batch
