#include "app/batch/baseline.h"

#include "app/batch/output_folder.h"
#include "app/batch/report_html.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;
using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string CellKey(const ResultCell& cell) { return cell.device + "\n" + SettingsKey(cell.settings); }

// The first flag whose value differs, as "--anisotropy 4 there, 16 here".
std::string FirstDifference(const Pairs& there, const Pairs& here) {
    for (const auto& [flag, value] : there) {
        const auto found = std::find_if(here.begin(), here.end(), [&](const auto& pair) { return pair.first == flag; });
        if (found == here.end()) return flag + " " + value + " there, absent here";
        if (found->second != value) return flag + " " + value + " there, " + found->second + " here";
    }
    for (const auto& [flag, value] : here)
        if (std::none_of(there.begin(), there.end(), [&](const auto& pair) { return pair.first == flag; }))
            return flag + " absent there, " + value + " here";
    return "the same flags in another order";
}

bool ParseAmount(std::string_view text, bool percentAllowed, double* value) {
    bool percent = false;
    if (percentAllowed && text.ends_with('%')) {
        percent = true;
        text.remove_suffix(1);
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(*value) || *value < 0) return false;
    if (percent) *value /= 100;
    return true;
}

// Whether a figure moved beyond `limit` (a number, null, or a list of them).
bool Moved(const Json& before, const Json& after, double limit) {
    if (before.is_array() && after.is_array()) {
        if (before.size() != after.size()) return true;
        for (std::size_t i = 0; i < before.size(); ++i)
            if (Moved(before[i], after[i], limit)) return true;
        return false;
    }
    if (before.is_number() && after.is_number())
        return std::abs(after.get<double>() - before.get<double>()) > limit;
    return before != after;
}

std::string ValueText(const Json& value) { return value.is_null() ? "none" : CellText(value); }

std::string ChangeText(const FigureChange& change) {
    return change.figure + " " + ValueText(change.before) + " -> " + ValueText(change.after);
}

std::string CellName(const ResultCell& cell) {
    return cell.device + ", " + (cell.title.empty() ? "default settings" : cell.title);
}

std::string XmlEscaped(const std::string& text) {
    std::string out = Escaped(text);  // & < > "
    for (std::size_t at = out.find('\''); at != std::string::npos; at = out.find('\'', at + 6))
        out.replace(at, 1, "&apos;");
    return out;
}

}  // namespace

bool ParseTolerance(std::string_view spec, Tolerance* tolerance, std::string* error) {
    std::set<std::string> seen;
    while (!spec.empty()) {
        const std::size_t comma = spec.find(',');
        const std::string_view part = spec.substr(0, comma);
        spec = comma == std::string_view::npos ? std::string_view() : spec.substr(comma + 1);
        const std::size_t equals = part.find('=');
        const std::string key(part.substr(0, equals));
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : part.substr(equals + 1);
        const bool isShare = key == "share";
        if (key != "levels" && !isShare) {
            *error = "--tolerance: \"" + std::string(part) + "\" is none of levels=L and share=S";
            return false;
        }
        if (!seen.insert(key).second) {
            *error = "--tolerance: " + key + " given twice";
            return false;
        }
        if (!ParseAmount(value, isShare, isShare ? &tolerance->share : &tolerance->levels)) {
            *error = "--tolerance: " + key + " takes a number of at least 0" + (isShare ? " (or a percentage)" : "") +
                     ", not \"" + std::string(value) + "\"";
            return false;
        }
    }
    return true;
}

bool ReadBaselineRequest(const CommandOptions& options, std::string_view kind, const std::vector<Pairs>& planned,
                         BaselineRequest* request, std::string* error) {
    if (const std::optional<std::string> spec = options.Value("--tolerance")) {
        if (!options.Has("--baseline")) {
            *error = "--tolerance: needs --baseline FILE, the run to compare with";
            return false;
        }
        if (!ParseTolerance(*spec, &request->tolerance, error)) return false;
    }
    if (const std::optional<std::string> junit = options.Value("--junit")) {
        request->junit = fs::absolute(*junit);
        if (!CheckWritable(*request->junit, error)) return false;
    }
    const std::optional<std::string> file = options.Value("--baseline");
    if (!file) return true;
    request->baselineFile = *file;
    Json document;
    if (!ReadResultFile(*file, kind, &document, error)) return false;
    std::set<std::string> there, here;
    const std::vector<ResultCell> cells = CellsOf(document);
    for (const ResultCell& cell : cells) there.insert(SettingsKey(cell.settings));
    for (const Pairs& settings : planned) here.insert(SettingsKey(settings));
    if (there != here) {
        std::string why = "another set of settings";
        if (cells.size() == 1 && planned.size() == 1) why = FirstDifference(cells.front().settings, planned.front());
        *error = "cannot use the baseline " + *file + ": it was made with other settings (" + why + ")";
        return false;
    }
    request->baseline = std::move(document);
    return true;
}

std::vector<CellVerdict> JudgeCells(const BaselineRequest& request, const std::vector<ResultCell>& cells,
                                    const FigureRules& rules) {
    std::map<std::string, ResultCell> before;
    std::vector<std::string> baselineOrder;
    if (request.baseline)
        for (ResultCell& cell : CellsOf(*request.baseline)) {
            baselineOrder.push_back(CellKey(cell));
            before.emplace(baselineOrder.back(), std::move(cell));
        }
    std::vector<CellVerdict> verdicts;
    std::set<std::string> matched;
    for (const ResultCell& cell : cells) {
        CellVerdict verdict;
        verdict.cell = cell;
        const auto found = before.find(CellKey(cell));
        if (!cell.drawn) {
            verdict.state = CellVerdict::State::NotDrawn;
        } else if (request.baseline && found == before.end()) {
            verdict.state = CellVerdict::State::OnlyNow;
        }
        if (found != before.end()) {
            matched.insert(found->first);
            verdict.before = found->second;
            if (cell.drawn && !found->second.drawn) verdict.changes.push_back({"drawn", false, true});
            for (const auto& [name, rule] : rules) {
                if (!cell.drawn || !found->second.drawn) break;
                const Json was = found->second.figures.value(name, Json());
                const Json is = cell.figures.value(name, Json());
                const double limit = rule == FigureRule::Levels  ? request.tolerance.levels
                                     : rule == FigureRule::Share ? request.tolerance.share
                                                                 : 0.0;
                if (rule == FigureRule::Exact ? was != is : Moved(was, is, limit))
                    verdict.changes.push_back({name, was, is});
            }
            if (!verdict.changes.empty()) verdict.state = CellVerdict::State::Moved;
        }
        verdicts.push_back(std::move(verdict));
    }
    for (const std::string& key : baselineOrder)
        if (!matched.contains(key)) {
            CellVerdict verdict;
            verdict.state = CellVerdict::State::OnlyInBaseline;
            verdict.cell = before.at(key);
            verdicts.push_back(std::move(verdict));
        }
    return verdicts;
}

std::string JunitXml(std::string_view kind, const std::vector<CellVerdict>& verdicts) {
    int tests = 0, failures = 0, skipped = 0;
    std::string cases;
    for (const CellVerdict& verdict : verdicts) {
        ++tests;
        cases += "    <testcase classname=\"quillmark." + XmlEscaped(std::string(kind)) + "." +
                 XmlEscaped(verdict.cell.device) + "\" name=\"" +
                 XmlEscaped(verdict.cell.title.empty() ? "default settings" : verdict.cell.title) + "\" time=\"0\">\n";
        switch (verdict.state) {
        case CellVerdict::State::Moved: {
            ++failures;
            std::string details;
            for (const FigureChange& change : verdict.changes) details += ChangeText(change) + "\n";
            cases += "      <failure type=\"moved\" message=\"moved beyond the tolerance\">" + XmlEscaped(details) +
                     "</failure>\n";
            break;
        }
        case CellVerdict::State::NotDrawn:
            ++failures;
            cases += "      <failure type=\"not drawn\" message=\"not drawn\">" + XmlEscaped(verdict.cell.why) +
                     "</failure>\n";
            break;
        case CellVerdict::State::OnlyInBaseline:
            ++skipped;
            cases += "      <skipped message=\"only in the baseline: not drawn in this run\"/>\n";
            break;
        case CellVerdict::State::OnlyNow:
            cases += "      <system-out>not in the baseline</system-out>\n";
            break;
        case CellVerdict::State::Same: break;
        }
        cases += "    </testcase>\n";
    }
    const std::string counts = " tests=\"" + std::to_string(tests) + "\" failures=\"" + std::to_string(failures) +
                               "\" errors=\"0\" skipped=\"" + std::to_string(skipped) + "\"";
    const std::string name = "quillmark " + XmlEscaped(std::string(kind));
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"" + name + "\"" + counts +
           ">\n  <testsuite name=\"" + name + "\"" + counts + ">\n" + cases + "  </testsuite>\n</testsuites>\n";
}

int ReportVerdicts(const BaselineRequest& request, std::string_view kind, const std::vector<CellVerdict>& verdicts) {
    int code = kExitSuccess;
    int moved = 0;
    for (const CellVerdict& verdict : verdicts) {
        switch (verdict.state) {
        case CellVerdict::State::Moved: {
            ++moved;
            code = std::max(code, kExitMoved);
            std::string line;
            for (const FigureChange& change : verdict.changes) line += (line.empty() ? "" : "; ") + ChangeText(change);
            std::fprintf(stderr, "quillmark: moved: %s: %s\n", CellName(verdict.cell).c_str(), line.c_str());
            break;
        }
        case CellVerdict::State::NotDrawn:
            code = request.baseline || request.junit ? kExitRunFailed : kExitFailure;
            break;
        case CellVerdict::State::OnlyNow:
            std::fprintf(stderr, "quillmark: not in the baseline: %s\n", CellName(verdict.cell).c_str());
            break;
        case CellVerdict::State::OnlyInBaseline:
            std::fprintf(stderr, "quillmark: only in the baseline: %s\n", CellName(verdict.cell).c_str());
            break;
        case CellVerdict::State::Same: break;
        }
    }
    if (request.baseline)
        std::fprintf(stderr, "quillmark: against the baseline %s: %d of %zu cells moved beyond the tolerance\n",
                     request.baselineFile.c_str(), moved, verdicts.size());
    if (request.junit) {
        std::ofstream out(*request.junit, std::ios::binary | std::ios::trunc);
        out << JunitXml(kind, verdicts);
        out.close();
        if (!out) return ReportError("cannot write " + request.junit->string() + ": the file cannot be created or filled",
                                     kExitRunFailed);
    }
    return code;
}

std::string BaselineSection(const BaselineRequest& request, const std::vector<CellVerdict>& verdicts) {
    if (!request.baseline) return {};
    std::string changed, others;
    int same = 0;
    for (const CellVerdict& verdict : verdicts) {
        const std::string name = "<th>" + Escaped(verdict.cell.device) + "</th><th>" +
                                 Escaped(verdict.cell.title.empty() ? "default settings" : verdict.cell.title) +
                                 "</th>";
        switch (verdict.state) {
        case CellVerdict::State::Moved:
            for (const FigureChange& change : verdict.changes)
                changed += "<tr>" + name + "<td><code>" + Escaped(change.figure) +
                           "</code></td><td class=\"number\">" + Escaped(ValueText(change.before)) +
                           "</td><td class=\"number\">" + Escaped(ValueText(change.after)) + "</td></tr>\n";
            break;
        case CellVerdict::State::NotDrawn:
            others += "<tr>" + name + "<td>not drawn in this run: " + Escaped(verdict.cell.why) + "</td></tr>\n";
            break;
        case CellVerdict::State::OnlyNow: others += "<tr>" + name + "<td>not in the baseline</td></tr>\n"; break;
        case CellVerdict::State::OnlyInBaseline:
            others += "<tr>" + name + "<td>only in the baseline</td></tr>\n";
            break;
        case CellVerdict::State::Same: ++same; break;
        }
    }
    const Tolerance& t = request.tolerance;
    char tolerance[96];
    std::snprintf(tolerance, sizeof tolerance, "%g levels for λ figures, %g%% for shares", t.levels, t.share * 100);
    std::string html = "<h2>Against the baseline</h2>\n<p>Baseline <code>" + Escaped(request.baselineFile) +
                       "</code>; tolerance " + tolerance + "; " + std::to_string(same) +
                       " cells within it.</p>\n";
    if (!changed.empty())
        html += "<table data-figure=\"moved\">\n<tr><th>device</th><th>setting</th><th>figure</th><th>before</th>"
                "<th>after</th></tr>\n" +
                changed + "</table>\n";
    if (!others.empty()) html += "<table>\n<tr><th>device</th><th>setting</th><th></th></tr>\n" + others + "</table>\n";
    return html;
}

std::string GivenSettingsTitle(const Pairs& given) {
    std::string title;
    for (const auto& [flag, value] : given) title += (title.empty() ? "" : " ") + flag + " " + value;
    return title.empty() ? "default settings" : title;
}

}  // namespace quillmark::batch
