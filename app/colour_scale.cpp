#include "app/colour_scale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillmark {
namespace {

// Evenly spaced stops, interpolated linearly in RGB between neighbours.
template <std::size_t N>
std::uint32_t Interpolate(const std::array<std::uint32_t, N>& stops, double t) {
    t = std::clamp(std::isnan(t) ? 0.0 : t, 0.0, 1.0) * double(N - 1);
    const std::size_t i = std::min(std::size_t(t), N - 2);
    const double f = t - double(i);
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double a = double((stops[i] >> shift) & 0xFF), b = double((stops[i + 1] >> shift) & 0xFF);
        out |= std::uint32_t(std::lround(a + (b - a) * f)) << shift;
    }
    return out;
}

// A perceptually uniform blue-green-yellow scale, sampled at nine points.
constexpr std::array<std::uint32_t, 9> kSequential = {0x440154, 0x472D7B, 0x3B528B, 0x2C728E, 0x21918C,
                                                      0x28AE80, 0x5EC962, 0xADDC30, 0xFDE725};
// Blue through near white to red, nine points.
constexpr std::array<std::uint32_t, 9> kDiverging = {0x2166AC, 0x4393C3, 0x92C5DE, 0xD1E5F0, 0xF7F7F7,
                                                     0xFDDBC7, 0xF4A582, 0xD6604D, 0xB2182B};

constexpr int kBarWidth = 28;
constexpr int kTickLength = 6;
constexpr int kMargin = 10;
constexpr int kTextScale = 2;

}  // namespace

std::uint32_t SequentialColour(double t) { return Interpolate(kSequential, t); }

std::uint32_t DivergingColour(double t) { return Interpolate(kDiverging, (t + 1.0) / 2.0); }

Picture ColourBar(std::uint32_t (*colour)(double), const std::vector<ScaleTick>& ticks, const std::string& title,
                  int height) {
    int labelWidth = 0;
    for (const ScaleTick& tick : ticks) labelWidth = std::max(labelWidth, TextWidth(tick.label, kTextScale));
    const int titleHeight = kGlyphHeight * kTextScale + kMargin;
    const int barTop = titleHeight + 2 * kMargin, barHeight = height - barTop - kMargin;
    const int width =
        std::max(TextWidth(title, kTextScale), kBarWidth + kTickLength + 4 + labelWidth) + 2 * kMargin;
    Picture bar(width, height, kFigureBackground);
    DrawText(bar, kMargin, kMargin, title, kFigureInk, kTextScale);
    for (int row = 0; row < barHeight; ++row)
        bar.FillRect(kMargin, barTop + row, kBarWidth, 1, colour(1.0 - (row + 0.5) / barHeight));
    bar.Line(kMargin - 1, barTop - 1, kMargin + kBarWidth, barTop - 1, kFigureInk);
    bar.Line(kMargin - 1, barTop + barHeight, kMargin + kBarWidth, barTop + barHeight, kFigureInk);
    bar.Line(kMargin - 1, barTop - 1, kMargin - 1, barTop + barHeight, kFigureInk);
    bar.Line(kMargin + kBarWidth, barTop - 1, kMargin + kBarWidth, barTop + barHeight, kFigureInk);
    for (const ScaleTick& tick : ticks) {
        const int y = barTop + int(std::lround((1.0 - tick.position) * (barHeight - 1)));
        bar.Line(kMargin + kBarWidth, y, kMargin + kBarWidth + kTickLength, y, kFigureInk);
        DrawText(bar, kMargin + kBarWidth + kTickLength + 4, y - kGlyphHeight * kTextScale / 2, tick.label,
                 kFigureInk, kTextScale);
    }
    return bar;
}

std::vector<ScaleTick> LogCountTicks(int maximum) {
    if (maximum <= 0) return {{0.0, "0"}};
    const double top = std::log1p(double(maximum));
    std::vector<ScaleTick> ticks = {{0.0, "0"}};
    for (long long n = 1; n < maximum; n *= 10)
        if (std::log1p(double(n)) / top < 0.93) ticks.push_back({std::log1p(double(n)) / top, std::to_string(n)});
    ticks.push_back({1.0, std::to_string(maximum)});
    return ticks;
}

Picture SideBySide(const Picture& left, const Picture& right, std::uint32_t background) {
    Picture both(left.width + kMargin + right.width, std::max(left.height, right.height), background);
    both.Paste(left, 0, 0);
    both.Paste(right, left.width + kMargin, 0);
    return both;
}

}  // namespace quillmark
