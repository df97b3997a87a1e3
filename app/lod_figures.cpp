#include "app/lod_figures.h"

#include "app/colour_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quillmark {
namespace {

constexpr std::uint32_t kClampedColour = 0x9A9A9A;
constexpr std::uint32_t kUncoveredColour = 0x000000;  // pixels no triangle covers
constexpr std::uint32_t kPlotColour = 0xD55E00;  // vermillion: apart from blue and grey for every reader
constexpr std::uint32_t kGridColour = 0xC8C8C8;
constexpr int kTextScale = 2;

std::string Number(std::optional<double> value, const char* format = "%.6f") {
    if (!value) return "null";
    char text[32];
    std::snprintf(text, sizeof text, format, *value);
    return text;
}

std::uint32_t LevelColour(double level, int lastLevel) {
    return SequentialColour(lastLevel > 0 ? level / lastLevel : 0.0);
}

std::uint32_t LevelBarColour(double position) { return SequentialColour(position); }
std::uint32_t ErrorBarColour(double position) { return DivergingColour(position * 2 - 1); }

std::vector<ScaleTick> LevelTicks(int lastLevel) {
    std::vector<ScaleTick> ticks;
    for (int level = 0; level <= lastLevel; ++level)
        ticks.push_back({lastLevel > 0 ? double(level) / lastLevel : 0.0, std::to_string(level)});
    return ticks;
}

// A map of the screen, one colour per pixel, beside its colour bar.
template <typename ColourOf>
Picture MapPicture(const LodMaps& maps, ColourOf colourOf, const Picture& bar) {
    Picture map(maps.width, maps.height, kUncoveredColour);
    for (int y = 0; y < maps.height; ++y)
        for (int x = 0; x < maps.width; ++x)
            if (const std::optional<std::uint32_t> rgb = colourOf(std::size_t(y) * std::size_t(maps.width) + x))
                map.Set(x, y, *rgb);
    return SideBySide(map, bar, kFigureBackground);
}

}  // namespace

std::string PercentText(std::optional<double> share) {
    return share ? Number(*share * 100.0, "%.2f%%") : std::string("no pixels");
}

int SectorOf(double dx, double dy) {
    double angle = std::atan2(dx, -dy);  // 0 up, growing clockwise on screen
    if (angle < 0) angle += 2 * M_PI;
    return std::min(kLodSectors - 1, int(angle / (2 * M_PI) * kLodSectors));
}

std::optional<double> LodError(const LodMaps& maps, std::size_t p) {
    if (!maps.measured[p].covered || !maps.ideal[p].covered || maps.ideal[p].clamped) return std::nullopt;
    return maps.measured[p].lambda - maps.ideal[p].level;
}

LodFigures ComputeLodFigures(const LodMaps& maps) {
    LodFigures figures;
    figures.notMeasured = maps.notMeasured;
    std::vector<double> errors;
    std::int64_t within[3] = {}, allowed = 0;
    double sum = 0, absSum = 0;
    std::array<double, kLodSectors> sectorSum{};
    std::array<std::int64_t, kLodSectors> sectorCount{};
    const double cx = maps.width / 2.0, cy = maps.height / 2.0;
    for (int y = 0; y < maps.height; ++y)
        for (int x = 0; x < maps.width; ++x) {
            const std::size_t p = std::size_t(y) * std::size_t(maps.width) + std::size_t(x);
            if (!maps.measured[p].covered || !maps.ideal[p].covered) continue;
            ++figures.covered;
            if (!maps.notMeasured.empty()) continue;
            const std::optional<double> error = LodError(maps, p);
            if (!error) {
                ++figures.clamped;
                continue;
            }
            const double magnitude = std::abs(*error);
            errors.push_back(magnitude);
            sum += *error;
            absSum += magnitude;
            within[0] += magnitude <= 1.0 / 16;
            within[1] += magnitude <= 1.0 / 4;
            within[2] += magnitude <= 1.0 / 2;
            const double measured = maps.measured[p].lambda;
            allowed += measured >= maps.ideal[p].low - maps.bandTolerance &&
                       measured <= maps.ideal[p].high + maps.bandTolerance;
            const int sector = SectorOf(x - cx, y - cy);
            sectorSum[std::size_t(sector)] += *error;
            ++sectorCount[std::size_t(sector)];
        }
    if (errors.empty()) return figures;
    const double n = double(errors.size());
    figures.within116 = within[0] / n;
    figures.within14 = within[1] / n;
    figures.within12 = within[2] / n;
    figures.withinAllowed = allowed / n;
    figures.meanAbsError = absSum / n;
    figures.meanError = sum / n;
    const std::size_t rank = std::min(errors.size() - 1, std::size_t(std::ceil(0.99 * n)) - 1);
    std::nth_element(errors.begin(), errors.begin() + std::ptrdiff_t(rank), errors.end());
    figures.p99AbsError = errors[rank];
    for (std::size_t s = 0; s < kLodSectors; ++s)
        if (sectorCount[s] > 0) figures.sectors[s] = sectorSum[s] / double(sectorCount[s]);
    return figures;
}

std::string LodFiguresText(const LodFigures& f) {
    if (!f.notMeasured.empty())
        return "covered: " + std::to_string(f.covered) + " pixels\nλ not measured: " + f.notMeasured + "\n";
    const auto levels = [](std::optional<double> value, const char* format) {
        return value ? Number(value, format) + " levels" : std::string("no pixels");
    };
    std::string text = "covered: " + std::to_string(f.covered) + " pixels, " + std::to_string(f.clamped) +
                       " of them clamped (λ below 0 or beyond the last level)\n" +
                       "within 1/16 level: " + PercentText(f.within116) +
                       "\nwithin 1/4 level: " + PercentText(f.within14) +
                       "\nwithin 1/2 level: " + PercentText(f.within12) +
                       "\ninside the allowed band: " + PercentText(f.withinAllowed) +
                       "\nmean |Δλ|: " + levels(f.meanAbsError, "%.4f") +
                       ", 99th percentile |Δλ|: " + levels(f.p99AbsError, "%.4f") +
                       ", mean Δλ: " + levels(f.meanError, "%+.4f") + "\nmean Δλ by direction "
                       "(clockwise from up, 32 sectors):";
    if (!f.meanError) return text + " no pixels\n";
    for (std::size_t s = 0; s < kLodSectors; ++s)
        text += (s % 8 ? " " : "\n ") + (f.sectors[s] ? Number(f.sectors[s], "%+.2f") : std::string("none"));
    return text + "\n";
}

Picture MeasuredLodPicture(const LodMaps& maps) {
    return MapPicture(
        maps,
        [&](std::size_t p) -> std::optional<std::uint32_t> {
            if (!maps.measured[p].covered) return std::nullopt;
            return LevelColour(maps.measured[p].lambda, maps.lastLevel);
        },
        ColourBar(LevelBarColour, LevelTicks(maps.lastLevel), "MEASURED", maps.height));
}

Picture IdealLodPicture(const LodMaps& maps) {
    return MapPicture(
        maps,
        [&](std::size_t p) -> std::optional<std::uint32_t> {
            if (!maps.ideal[p].covered) return std::nullopt;
            return LevelColour(std::clamp(maps.ideal[p].level, 0.0, double(maps.lastLevel)), maps.lastLevel);
        },
        ColourBar(LevelBarColour, LevelTicks(maps.lastLevel), "IDEAL", maps.height));
}

std::optional<std::uint32_t> LodErrorColour(const LodMaps& maps, std::size_t p, double range) {
    if (!maps.measured[p].covered || !maps.ideal[p].covered) return std::nullopt;
    const std::optional<double> error = LodError(maps, p);
    return error ? DivergingColour(*error / range) : kClampedColour;
}

Picture LodErrorLegend(int height, double range) {
    // Ticks at the ends, the halves and zero, in levels: "-2", "+1", "-0.0625".
    const auto tick = [range](double share) {
        char text[32];
        const double value = (share * 2 - 1) * range;
        std::snprintf(text, sizeof text, value == 0 ? "%g" : "%+g", value);
        return std::string(text);
    };
    Picture bar = ColourBar(ErrorBarColour,
                            {{0.0, tick(0.0)}, {0.25, tick(0.25)}, {0.5, tick(0.5)}, {0.75, tick(0.75)}, {1.0, tick(1.0)}},
                            "ERROR", height - 40);
    const std::string clamped = "CLAMPED";
    Picture legend(std::max(bar.width, 54 + TextWidth(clamped, kTextScale)), height, kFigureBackground);
    legend.Paste(bar, 0, 0);
    legend.FillRect(10, height - 32, 28, 20, kClampedColour);
    DrawText(legend, 44, height - 29, clamped, kFigureInk, kTextScale);
    return legend;
}

Picture LodErrorPicture(const LodMaps& maps, double range) {
    return MapPicture(
        maps, [&](std::size_t p) { return LodErrorColour(maps, p, range); }, LodErrorLegend(maps.height, range));
}

Picture LodPolarPicture(const LodFigures& figures) {
    constexpr int kWidth = 720, kHeight = 640;
    constexpr double kZeroRadius = 120, kPerLevel = 55;
    const double cx = kWidth / 2.0, cy = 330;
    Picture plot(kWidth, kHeight, kFigureBackground);
    const std::string title = "MEAN ERROR BY DIRECTION (LEVELS)";
    DrawText(plot, (kWidth - TextWidth(title, kTextScale)) / 2, 12, title, kFigureInk, kTextScale);
    for (int level = -2; level <= 2; ++level) {
        const double radius = kZeroRadius + level * kPerLevel;
        plot.Circle(cx, cy, radius, level == 0 ? kFigureInk : kGridColour);
        const std::string label = level > 0 ? "+" + std::to_string(level) : std::to_string(level);
        DrawText(plot, int(cx) + 4, int(cy - radius) - kGlyphHeight * kTextScale - 1, label, kFigureInk, kTextScale);
    }
    const double outer = kZeroRadius + 2.3 * kPerLevel;
    const struct {
        double dx, dy;
        const char* name;
    } axes[] = {{0, -1, "UP"}, {1, 0, "RIGHT"}, {0, 1, "DOWN"}, {-1, 0, "LEFT"}};
    for (const auto& axis : axes) {
        plot.Line(cx, cy, cx + axis.dx * outer, cy + axis.dy * outer, kGridColour);
        const int w = TextWidth(axis.name, kTextScale), h = kGlyphHeight * kTextScale;
        const double lx = cx + axis.dx * (outer + 8) - (axis.dx < 0 ? w : axis.dx > 0 ? 0 : w / 2.0);
        const double ly = cy + axis.dy * (outer + 8) - (axis.dy < 0 ? h : axis.dy > 0 ? 0 : h / 2.0);
        DrawText(plot, int(lx), int(ly), axis.name, kFigureInk, kTextScale);
    }
    // The 32 sectors' means, joined where neighbours both have pixels.
    const auto point = [&](std::size_t s) {
        const double angle = (double(s) + 0.5) / kLodSectors * 2 * M_PI;
        const double radius = kZeroRadius + std::clamp(*figures.sectors[s], -2.2, 2.2) * kPerLevel;
        return std::array<double, 2>{cx + std::sin(angle) * radius, cy - std::cos(angle) * radius};
    };
    for (std::size_t s = 0; s < kLodSectors; ++s) {
        if (!figures.sectors[s]) continue;
        const auto [x, y] = point(s);
        plot.Disc(x, y, 3.5, kPlotColour);
        const std::size_t next = (s + 1) % kLodSectors;
        if (figures.sectors[next]) plot.Line(x, y, point(next)[0], point(next)[1], kPlotColour, 2);
    }
    return plot;
}

}  // namespace quillmark
