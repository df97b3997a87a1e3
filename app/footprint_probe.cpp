#include "app/footprint_probe.h"

#include "app/app_state.h"
#include "app/batch/level_frames.h"
#include "app/probe.h"
#include "app/probe_state.h"
#include "app/test_textures.h"

#include <cmath>

namespace quillmark {
namespace {

constexpr double kChannelStep = 1.0 / 255;
constexpr std::uint32_t kMarkColours[3] = {0xFF0000, 0x00FF00, 0x0000FF};

// The weight the pixel's channel for mark `index` shows.
double ChannelWeight(std::uint32_t pixel, std::size_t index) {
    return double((pixel >> (16 - 8 * index)) & 0xFF) * kChannelStep;
}

int Wrapped(int i, int size) { return ((i % size) + size) % size; }

// Draws frames of up to three marks and hands each mark's weight on.
class MarkBatch {
public:
    MarkBatch(const MarkedPixelReader& read, int* frames) : read_(read), frames_(frames) {}

    bool Add(const TexelMark& mark, double* weight) {
        marks_.push_back(mark);
        weights_.push_back(weight);
        return marks_.size() < 3 || Flush();
    }
    bool Flush() {
        if (marks_.empty()) return true;
        const std::optional<std::uint32_t> pixel = read_(marks_);
        ++*frames_;
        if (!pixel) return false;
        for (std::size_t i = 0; i < marks_.size(); ++i) *weights_[i] = ChannelWeight(*pixel, i);
        marks_.clear();
        weights_.clear();
        return true;
    }

private:
    const MarkedPixelReader& read_;
    int* frames_;
    std::vector<TexelMark> marks_;
    std::vector<double*> weights_;
};

// A box of texels of one level, inclusive, in unwrapped texel indices.
struct Box {
    int x0, y0, x1, y1;
};

// The texels of one level searched outwards from the footprint's box.
class LevelSearch {
public:
    LevelSearch(int level, int size) : level_(level), size_(size), weights_(std::size_t(size) * std::size_t(size), -1) {}

    // Marks every texel of the box not read yet, stopping once `frames`
    // reaches the budget (the box is then not read whole: *whole is false);
    // false when a frame could not be drawn.
    bool Read(const Box& box, MarkBatch& batch, const int& frames, bool* whole) {
        *whole = false;
        for (int y = box.y0; y <= box.y1; ++y)
            for (int x = box.x0; x <= box.x1; ++x) {
                double& weight = At(x, y);
                if (weight >= 0) continue;
                if (frames >= kProbeFrameBudget) return batch.Flush();
                weight = 0;  // claimed: a texel the box reaches twice (wrapping) is read once
                if (!batch.Add({level_, Wrapped(x, size_), Wrapped(y, size_), false}, &weight)) return false;
            }
        *whole = true;
        return batch.Flush();
    }

    // The box holds the level's weight: no texel on its border reached the
    // pixel and the texels found add up to the level's weight, within the
    // rounding of the frames (each reading to half a step, and a texel too
    // faint to show on its own may still add to the level's reading).
    bool Holds(const Box& box, double levelWeight) const {
        double sum = 0;
        int found = 0;
        for (const double weight : weights_)
            if (weight > 0) sum += weight, ++found;
        for (int y = box.y0; y <= box.y1; ++y)
            for (int x = box.x0; x <= box.x1; ++x)
                if ((y == box.y0 || y == box.y1 || x == box.x0 || x == box.x1) && At(x, y) > 0) return false;
        return sum >= levelWeight - (found + 2) * 0.5 * kChannelStep;
    }

    bool Whole(const Box& box) const { return box.x1 - box.x0 + 1 >= size_ && box.y1 - box.y0 + 1 >= size_; }

    // The box grown by a quarter of its size on every side, at most the level.
    Box Grown(const Box& box) const {
        const int gx = std::max(1, (box.x1 - box.x0 + 1) / 4), gy = std::max(1, (box.y1 - box.y0 + 1) / 4);
        return Limited({box.x0 - gx, box.y0 - gy, box.x1 + gx, box.y1 + gy});
    }
    Box Limited(Box box) const {
        if (box.x1 - box.x0 + 1 >= size_) box.x0 = 0, box.x1 = size_ - 1;
        if (box.y1 - box.y0 + 1 >= size_) box.y0 = 0, box.y1 = size_ - 1;
        return box;
    }

    void Collect(std::vector<TexelWeight>* texels) const {
        for (int y = 0; y < size_; ++y)
            for (int x = 0; x < size_; ++x)
                if (const double weight = weights_[Index(x, y)]; weight > 0) texels->push_back({level_, x, y, weight});
    }

private:
    std::size_t Index(int x, int y) const {
        return std::size_t(Wrapped(y, size_)) * std::size_t(size_) + std::size_t(Wrapped(x, size_));
    }
    double& At(int x, int y) { return weights_[Index(x, y)]; }
    double At(int x, int y) const { return weights_[Index(x, y)]; }

    int level_, size_;
    std::vector<double> weights_;  // -1 where not read yet
};

// The texels the footprint covers on a level, one more on every side (a
// bilinear filter's neighbours), in texel indices (texel i has its centre at i).
Box FootprintBox(const FootprintGuess& guess, double scale) {
    const double cu = guess.u * scale - 0.5, cv = guess.v * scale - 0.5;
    const Footprint& f = guess.footprint;
    const double hu = 0.5 * (std::abs(f.dudx) + std::abs(f.dudy)) * scale;
    const double hv = 0.5 * (std::abs(f.dvdx) + std::abs(f.dvdy)) * scale;
    return {int(std::floor(cu - hu)) - 1, int(std::floor(cv - hv)) - 1, int(std::ceil(cu + hu)) + 1,
            int(std::ceil(cv + hv)) + 1};
}

}  // namespace

std::optional<ProbedFootprint> ProbeFootprint(const TextureShape& shape, const FootprintGuess& guess,
                                              const MarkedPixelReader& read) {
    ProbedFootprint out;
    out.levelWeights.assign(std::size_t(shape.levels), 0.0);
    MarkBatch batch(read, &out.frames);
    for (int level = 0; level < shape.levels; ++level)
        if (!batch.Add({level, 0, 0, true}, &out.levelWeights[std::size_t(level)])) return std::nullopt;
    if (!batch.Flush()) return std::nullopt;

    for (int level = 0; level < shape.levels; ++level) {
        const double levelWeight = out.levelWeights[std::size_t(level)];
        if (levelWeight <= 0) continue;
        const int size = shape.LevelSize(level);
        LevelSearch search(level, size);
        Box box = search.Limited(FootprintBox(guess, double(size) / shape.size));
        for (;;) {
            bool read = false;
            if (!search.Read(box, batch, out.frames, &read)) return std::nullopt;
            if (read && (search.Whole(box) || search.Holds(box, levelWeight))) break;
            if (!read || out.frames >= kProbeFrameBudget) {
                out.complete = false;
                break;
            }
            box = search.Grown(box);
        }
        search.Collect(&out.texels);
    }
    return out;
}

std::optional<double> MeasuredLevel(const ProbedFootprint& probed) {
    double total = 0, weighted = 0;
    for (std::size_t level = 0; level < probed.levelWeights.size(); ++level) {
        total += probed.levelWeights[level];
        weighted += double(level) * probed.levelWeights[level];
    }
    if (total <= 0) return std::nullopt;
    return weighted / total;
}

bool InspectPixel(Probe& probe, int x, int y, PixelInspection* out, std::string* error) {
    if (ActiveProbe().run.running) {
        *error = "an analysis run is drawing the frames; press Stop first";
        return false;
    }
    if (!probe.HasDevice() || !ActiveProbe().mipTexture) {
        *error = "the device is missing";
        return false;
    }
    if (x < 0 || y < 0 || x >= ActiveProbe().windowWidth || y >= ActiveProbe().windowHeight) {
        *error = "the pixel lies outside the frame";
        return false;
    }
    D3DSURFACE_DESC level0{};
    if (FAILED(ActiveProbe().mipTexture->GetLevelDesc(0, &level0))) {
        *error = "the generated texture cannot be read";
        return false;
    }
    PixelInspection inspection;
    inspection.x = x;
    inspection.y = y;
    inspection.shape = {int(ActiveProbe().mipTexture->GetLevelCount()), int(level0.Width)};

    // The analysis's marks go into the generated texture, which is sampled
    // also while a texture file is in use.
    const ProbeSettings user = probe.Settings();
    ProbeSettings measuring = user;
    measuring.useFileTexture = false;
    probe.Apply(measuring);
    IdealScene scene;
    if (!probe.DrawFrame() || !SceneFromDevice(&scene, error)) {
        if (error->empty()) *error = "the frame could not be drawn";
        probe.Apply(user);
        return false;
    }
    inspection.at = TextureAtPixel(scene, ActiveProbe().windowWidth, ActiveProbe().windowHeight, x, y);
    const LodRule rule = RuleFromSettings();
    FootprintGuess guess;
    if (inspection.at) {
        guess.u = inspection.at->u;
        guess.v = inspection.at->v;
        if (inspection.at->footprint) {
            guess.footprint = *inspection.at->footprint;
            inspection.ideal = LodOfFootprint(guess.footprint, rule);
            inspection.idealProbes = IdealProbeCount(guess.footprint, rule);
            inspection.idealLevel = std::clamp(RuleLevel(inspection.ideal->lambda, rule.mip), 0.0, double(rule.lastLevel));
        }
    }
    const std::size_t pixel = std::size_t(y) * std::size_t(ActiveProbe().windowWidth) + std::size_t(x);
    const MarkedPixelReader read = [&](const std::vector<TexelMark>& marks) -> std::optional<std::uint32_t> {
        const auto colour = [&marks](int level, int tx, int ty) {
            std::uint32_t rgb = 0;
            for (std::size_t i = 0; i < marks.size(); ++i)
                if (marks[i].level == level && (marks[i].wholeLevel || (marks[i].x == tx && marks[i].y == ty)))
                    rgb |= kMarkColours[i];
            return rgb;
        };
        if (!batch::FillGeneratedTexture(colour) || !probe.DrawFrame()) return std::nullopt;
        const std::vector<std::uint32_t> frame = batch::BackBufferPixels();
        if (frame.size() <= pixel) return std::nullopt;
        return frame[pixel] & 0xFFFFFF;
    };
    const std::optional<ProbedFootprint> probed = ProbeFootprint(inspection.shape, guess, read);
    probe.Apply(user);
    BuildMipTexture();
    probe.DrawFrame();
    if (!probed) {
        *error = "a frame of the probe could not be drawn";
        return false;
    }
    inspection.probed = *probed;
    *out = std::move(inspection);
    return true;
}

}  // namespace quillmark
