#include "app/explain/explain_pictures.h"

#include "app/colour_scale.h"
#include "app/lod_figures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace quillmark::explain {
namespace {

constexpr int kWidth = 720, kHeight = 480;
constexpr int kLeft = 90, kRight = 30, kTop = 50, kBottom = 70;
constexpr int kTextScale = 2;
constexpr int kBins = 96;
constexpr std::uint32_t kDeviceColour = 0xD55E00;  // vermillion
constexpr std::uint32_t kModelColour = 0x0072B2;   // blue: apart from vermillion for every reader
constexpr std::uint32_t kRuleColour = 0x808080;
constexpr std::uint32_t kGridColour = 0xE0E0E0;

// One curve: the mean of y over the pixels in each of kBins bins along x.
struct Curve {
    std::array<double, kBins> sum{};
    std::array<std::int64_t, kBins> count{};
};

// Axes over [x0, x1] × [y0, y1], with tick labels from `label`.
class Plot {
public:
    Plot(const std::string& title, const std::string& xName, const std::string& yName, double x0, double x1,
         double y0, double y1)
        : picture_(kWidth, kHeight, kFigureBackground), x0_(x0), x1_(x1), y0_(y0), y1_(y1) {
        DrawText(picture_, (kWidth - TextWidth(title, kTextScale)) / 2, 12, title, kFigureInk, kTextScale);
        DrawText(picture_, kLeft + (kWidth - kLeft - kRight - TextWidth(xName, kTextScale)) / 2, kHeight - 24, xName,
                 kFigureInk, kTextScale);
        DrawText(picture_, 8, kTop - 22, yName, kFigureInk, kTextScale);
    }

    double X(double x) const { return kLeft + (x - x0_) / (x1_ - x0_) * (kWidth - kLeft - kRight); }
    double Y(double y) const { return kHeight - kBottom - (y - y0_) / (y1_ - y0_) * (kHeight - kTop - kBottom); }

    void XTick(double x, const std::string& label) {
        picture_.Line(X(x), Y(y0_), X(x), Y(y1_), kGridColour);
        DrawText(picture_, int(X(x)) - TextWidth(label, kTextScale) / 2, int(Y(y0_)) + 8, label, kFigureInk,
                 kTextScale);
    }
    void YTick(double y, const std::string& label) {
        picture_.Line(X(x0_), Y(y), X(x1_), Y(y), kGridColour);
        DrawText(picture_, kLeft - 8 - TextWidth(label, kTextScale), int(Y(y)) - kGlyphHeight * kTextScale / 2, label,
                 kFigureInk, kTextScale);
    }

    void Line(const std::vector<std::array<double, 2>>& points, std::uint32_t rgb, int thickness) {
        for (std::size_t i = 1; i < points.size(); ++i)
            picture_.Line(X(points[i - 1][0]), Y(points[i - 1][1]), X(points[i][0]), Y(points[i][1]), rgb, thickness);
    }

    // The bins' means, joined where neighbouring bins both hold pixels.
    void Means(const Curve& curve, std::uint32_t rgb) {
        std::vector<std::array<double, 2>> run;
        for (int b = 0; b <= kBins; ++b) {
            if (b == kBins || curve.count[std::size_t(b)] == 0) {
                if (run.size() == 1) picture_.Disc(X(run[0][0]), Y(run[0][1]), 2, rgb);
                Line(run, rgb, 2);
                run.clear();
                continue;
            }
            const double x = x0_ + (b + 0.5) * (x1_ - x0_) / kBins;
            run.push_back({x, std::clamp(curve.sum[std::size_t(b)] / double(curve.count[std::size_t(b)]), y0_, y1_)});
        }
    }

    void Legend(const std::vector<std::pair<std::string, std::uint32_t>>& entries) {
        int x = kLeft + 10;
        for (const auto& [name, rgb] : entries) {
            picture_.FillRect(x, kTop + 8, 18, 6, rgb);
            x += 24 + DrawText(picture_, x + 24, kTop + 4, name, kFigureInk, kTextScale) + 24;
        }
    }

    Picture Done() {
        const int left = int(X(x0_)), right = int(X(x1_)), top = int(Y(y1_)), bottom = int(Y(y0_));
        picture_.Line(left, bottom, right, bottom, kFigureInk);
        picture_.Line(left, top, left, bottom, kFigureInk);
        return std::move(picture_);
    }

private:
    Picture picture_;
    double x0_, x1_, y0_, y1_;
};

// Adds (x, y) of every pixel that `of` gives one for, binned over [x0, x1).
Curve Binned(const LevelReading& reading, double x0, double x1,
             const std::function<std::optional<std::array<double, 2>>(const Footprint&, double)>& of) {
    Curve curve;
    for (std::size_t p = 0; p < reading.measured.size(); ++p) {
        if (!reading.measured[p] || !reading.footprints[p].footprint) continue;
        const std::optional<std::array<double, 2>> point = of(*reading.footprints[p].footprint, *reading.measured[p]);
        if (!point || !((*point)[0] >= x0 && (*point)[0] < x1)) continue;
        const std::size_t bin = std::min<std::size_t>(kBins - 1, std::size_t(((*point)[0] - x0) / (x1 - x0) * kBins));
        curve.sum[bin] += (*point)[1];
        ++curve.count[bin];
    }
    return curve;
}

std::string Decimal(double value) {
    char text[16];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

Picture BlendCurvePicture(const LevelReading& device, const LevelReading& model) {
    constexpr double kLast = 3;
    LodRule rule;
    rule.lastLevel = device.lastLevel;
    const auto point = [&](const Footprint& f, double measured) -> std::optional<std::array<double, 2>> {
        return std::array<double, 2>{LodOfFootprint(f, rule).lambda, measured};
    };
    Plot plot("LEVEL READ AGAINST THE IDEAL", "IDEAL LAMBDA (LEVELS)", "LEVEL READ", 0, kLast, 0, kLast);
    for (int level = 0; level <= int(kLast); ++level) {
        plot.XTick(level, std::to_string(level));
        plot.YTick(level, std::to_string(level));
    }
    plot.Line({{0, 0}, {kLast, kLast}}, kRuleColour, 1);
    plot.Means(Binned(model, 0, kLast, point), kModelColour);
    plot.Means(Binned(device, 0, kLast, point), kDeviceColour);
    plot.Legend({{"DEVICE", kDeviceColour}, {"MODEL", kModelColour}, {"FULL TRILINEAR", kRuleColour}});
    return plot.Done();
}

Picture ProbeCountPicture(const LevelReading& device, const LevelReading& model) {
    constexpr double kMaxRatioLog = 5;  // ratios up to 32
    constexpr int kRequested = 16;
    const auto point = [](const Footprint& f, double measured) -> std::optional<std::array<double, 2>> {
        const double rhoX = std::hypot(f.dudx, f.dvdx), rhoY = std::hypot(f.dudy, f.dvdy);
        const double rhoMax = std::max(rhoX, rhoY), rhoMin = std::min(rhoX, rhoY);
        // Where the level is clamped at 0 the count cannot be told.
        if (!(rhoMin > 0) || measured <= 1.0 / 32) return std::nullopt;
        return std::array<double, 2>{std::log2(rhoMax / rhoMin), std::log2(rhoMax) - measured};
    };
    Plot plot("PROBE COUNT AT 16X", "FOOTPRINT RATIO", "PROBES", 0, kMaxRatioLog, 0, 5);
    for (int e = 0; e <= int(kMaxRatioLog); ++e) {
        plot.XTick(e, Decimal(std::exp2(e)));
        plot.YTick(e, Decimal(std::exp2(e)));
    }
    std::vector<std::array<double, 2>> rule;
    for (int i = 0; i <= 400; ++i) {
        const double ratioLog = kMaxRatioLog * i / 400;
        rule.push_back({ratioLog, std::log2(std::min(std::ceil(std::exp2(ratioLog)), double(kRequested)))});
    }
    plot.Line(rule, kRuleColour, 1);
    plot.Means(Binned(model, 0, kMaxRatioLog, point), kModelColour);
    plot.Means(Binned(device, 0, kMaxRatioLog, point), kDeviceColour);
    plot.Legend({{"DEVICE", kDeviceColour}, {"MODEL", kModelColour}, {"RULE", kRuleColour}});
    return plot.Done();
}

Picture DirectionErrorPicture(const Findings& findings) {
    LodFigures figures;
    for (std::size_t s = 0; s < kLodSectors; ++s) figures.sectors[s] = findings.sectors[s];
    return LodPolarPicture(figures);
}

}  // namespace quillmark::explain
