#include "app/explain/sampler_fit.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <set>

namespace quillmark::explain {
namespace {

double AxisLength(double a, double b, AxisRule rule) {
    switch (rule) {
    case AxisRule::Max: return std::max(std::abs(a), std::abs(b));
    case AxisRule::Sum: return std::abs(a) + std::abs(b);
    case AxisRule::Exact: break;
    }
    return std::hypot(a, b);
}

// log2 exact, or piecewise linear between powers of two.
double Log2(double x, bool approx) {
    if (!approx || !(x > 0) || !std::isfinite(x)) return std::log2(x);
    int k = 0;
    const double h = std::frexp(x, &k);
    return double(k - 1) + (h * 2 - 1);
}

double Quantise(double x, int bits) { return std::floor(std::ldexp(x, bits)) / std::ldexp(1.0, bits); }

// A number as the model device's knobs write it: the shortest text of the float.
std::string NumberText(double value) {
    char text[32];
    const auto [end, fault] = std::to_chars(text, text + sizeof text, float(value));
    return fault == std::errc() ? std::string(text, end) : std::string();
}

}  // namespace

int EffectiveAnisotropy(const SamplerModel& model, int requested) {
    int limit = model.anisoIgnoresMax ? 16 : std::clamp(requested, 1, 16);
    limit = std::min(limit, model.anisoCap);
    return model.anisoPow2 ? int(std::bit_floor(unsigned(limit))) : limit;
}

double PredictedReading(const Footprint& f, const SamplerModel& model, const Sampling& sampling) {
    const double rhoX = AxisLength(f.dudx, f.dvdx, model.axes), rhoY = AxisLength(f.dudy, f.dvdy, model.axes);
    const double rhoMax = std::max(rhoX, rhoY), rhoMin = std::min(rhoX, rhoY);
    double lambda = 0.0;
    if (sampling.anisotropic && sampling.maxAnisotropy > 1) {
        const int limit = EffectiveAnisotropy(model, sampling.maxAnisotropy);
        double n = rhoMin > 0 ? std::min(std::ceil(rhoMax / rhoMin), double(limit)) : double(limit);
        if (model.anisoPow2) n = std::min(double(std::bit_ceil(unsigned(std::max(1.0, n)))), double(limit));
        lambda = Log2(model.anisoLodShort && n > 1 && rhoMin > 0 ? rhoMin : rhoMax / n, model.log2Approx);
    } else {
        lambda = Log2(rhoMax, model.log2Approx);
    }
    lambda += model.lodOffset;
    if (!(lambda > 0)) return 0.0;  // magnification, or level 0
    const double clamped = std::min(lambda, double(sampling.lastLevel));
    const double lower = std::floor(clamped);
    if (lower >= sampling.lastLevel) return lower;
    const double f0 = clamped - lower;
    double weight = 0.0;
    if (model.blendWidth <= 0)
        weight = f0 + 0.5 >= 1.0 ? 1.0 : 0.0;
    else
        weight = std::clamp((f0 - (1 - model.blendWidth) * 0.5) / model.blendWidth, 0.0, 1.0);
    if (model.blendBits) weight = Quantise(weight, *model.blendBits);
    return lower + weight;
}

std::vector<LodSample> PickSamples(const std::vector<PixelFootprint>& footprints,
                                   const std::vector<std::optional<double>>& measured, std::size_t count) {
    std::vector<std::size_t> usable;
    for (std::size_t p = 0; p < footprints.size() && p < measured.size(); ++p)
        if (footprints[p].footprint && measured[p]) usable.push_back(p);
    std::vector<LodSample> out;
    if (usable.empty() || count == 0) return out;
    const double step = std::max(1.0, double(usable.size()) / double(count));
    for (double i = 0; std::size_t(i) < usable.size(); i += step) {
        const std::size_t p = usable[std::size_t(i)];
        out.push_back({*footprints[p].footprint, *measured[p]});
    }
    return out;
}

double MeanMisfit(const std::vector<LodSample>& samples, const SamplerModel& model, const Sampling& sampling) {
    if (samples.empty()) return 0.0;
    double sum = 0.0;
    for (const LodSample& s : samples) sum += std::abs(s.measured - PredictedReading(s.footprint, model, sampling));
    return sum / double(samples.size());
}

std::optional<int> WeightBitsOf(const std::vector<std::uint8_t>& values) {
    std::set<int> seen(values.begin(), values.end());
    // A weight quantised to n bits gives 255 · k / 2^n, k = 0 .. 2^n, each
    // rounded to a byte; a value off every such step by more than a byte's
    // rounding rules n out.
    for (int bits = 0; bits <= 7; ++bits) {
        const double step = 255.0 / double(1 << bits);
        // At 7 bits the steps lie two bytes apart: only their number tells them.
        bool fits = seen.size() <= (std::size_t(1) << bits) + 1;
        for (int v : seen) {
            const double k = std::round(v / step);
            if (std::abs(v - k * step) > 1.0) {
                fits = false;
                break;
            }
        }
        if (fits) return bits;
    }
    return std::nullopt;
}

SamplerModel FitIsotropic(const std::vector<LodSample>& samples, const SamplerModel& start, int lastLevel) {
    const Sampling sampling{false, 1, lastLevel};
    SamplerModel best = start;
    double bestMisfit = HUGE_VAL;
    for (AxisRule axes : {AxisRule::Exact, AxisRule::Max, AxisRule::Sum})
        for (bool approx : {false, true}) {
            SamplerModel m = start;
            m.axes = axes;
            m.log2Approx = approx;
            // Coarse: offsets by 1/16 level, widths by 1/8.
            double coarseMisfit = HUGE_VAL;
            SamplerModel coarse = m;
            for (int w = 0; w <= 8; ++w)
                for (int o = -32; o <= 32; ++o) {
                    m.blendWidth = w / 8.0;
                    m.lodOffset = o / 16.0;
                    const double misfit = MeanMisfit(samples, m, sampling);
                    if (misfit < coarseMisfit) coarseMisfit = misfit, coarse = m;
                }
            // Fine: offsets by 1/256 level, widths by 1/64 around the coarse best.
            SamplerModel fine = coarse;
            double fineMisfit = coarseMisfit;
            for (int w = -8; w <= 8; ++w)
                for (int o = -16; o <= 16; ++o) {
                    m.blendWidth = std::clamp(coarse.blendWidth + w / 64.0, 0.0, 1.0);
                    m.lodOffset = coarse.lodOffset + o / 256.0;
                    const double misfit = MeanMisfit(samples, m, sampling);
                    if (misfit < fineMisfit - 1e-9) fineMisfit = misfit, fine = m;
                }
            // A rule that is not the simplest must fit clearly better.
            if (fineMisfit < bestMisfit - 1e-4) bestMisfit = fineMisfit, best = fine;
        }
    return best;
}

AnisotropyFit FitAnisotropy(const std::vector<LodSample>& samples, const SamplerModel& model, int requested,
                            int lastLevel) {
    const Sampling sampling{true, requested, lastLevel};
    // The request honoured with whole counts, unless another count fits
    // clearly better (where no pixel tells two counts apart, the request).
    const int honoured = std::clamp(requested, 1, 16);
    SamplerModel asked = model;
    asked.anisoIgnoresMax = true;
    asked.anisoCap = honoured;
    asked.anisoPow2 = false;
    AnisotropyFit best{requested, honoured, false, MeanMisfit(samples, asked, sampling)};
    for (bool pow2 : {false, true})
        for (int effective = 1; effective <= 16; ++effective) {
            if (pow2 && !std::has_single_bit(unsigned(effective))) continue;
            SamplerModel m = model;
            // The probe count is limited to `effective` whatever was asked.
            m.anisoIgnoresMax = true;
            m.anisoCap = effective;
            m.anisoPow2 = pow2;
            const double misfit = MeanMisfit(samples, m, sampling);
            if (misfit < best.misfit - 1e-4) best = {requested, effective, pow2, misfit};
        }
    return best;
}

void SetAnisotropyKnobs(const std::vector<AnisotropyFit>& fits, SamplerModel* model) {
    if (fits.empty()) return;
    model->anisoIgnoresMax = fits.front().effective > fits.front().requested;
    model->anisoCap = std::clamp(fits.back().effective, 1, 16);
    if (!model->anisoIgnoresMax) {
        // The cap is the largest count used where a request was not honoured.
        for (const AnisotropyFit& fit : fits)
            if (fit.effective < fit.requested) {
                model->anisoCap = fit.effective;
                break;
            }
    }
    // Rounding can be told only where more than two probes are used.
    model->anisoPow2 = false;
    for (const AnisotropyFit& fit : fits)
        if (fit.effective > 2) model->anisoPow2 = fit.pow2;
}

void ChooseLodAxis(const std::vector<std::vector<LodSample>>& samples, const std::vector<AnisotropyFit>& fits,
                   int lastLevel, SamplerModel* model) {
    SamplerModel shortAxis = *model;
    shortAxis.anisoLodShort = true;
    shortAxis.anisoCap = 16;
    shortAxis.anisoPow2 = false;
    shortAxis.anisoIgnoresMax = false;
    double fitted = 0.0, alternative = 0.0;
    for (std::size_t i = 0; i < fits.size() && i < samples.size(); ++i) {
        fitted += fits[i].misfit;
        alternative += MeanMisfit(samples[i], shortAxis, {true, fits[i].requested, lastLevel});
    }
    // Clearly better: by more than a hundredth of a level a request.
    if (alternative < fitted - 0.01 * double(fits.size())) *model = shortAxis;
}

std::string ModelName(const SamplerModel& m) {
    std::vector<std::string> knobs;
    if (m.axes != AxisRule::Exact) knobs.push_back(std::string("axes=") + (m.axes == AxisRule::Max ? "max" : "sum"));
    if (m.anisoCap != 16) knobs.push_back("aniso-cap=" + std::to_string(m.anisoCap));
    if (m.anisoPow2) knobs.push_back("aniso-steps=pow2");
    if (m.anisoIgnoresMax) knobs.push_back("aniso-ignores-max=1");
    if (m.anisoLodShort) knobs.push_back("aniso-lod=short");
    if (m.lodOffset != 0) knobs.push_back("lod-offset=" + NumberText(m.lodOffset));
    if (m.log2Approx) knobs.push_back("log2=approx");
    if (m.blendWidth != 1) knobs.push_back("blend-width=" + NumberText(m.blendWidth));
    if (m.blendBits) knobs.push_back("blend-bits=" + std::to_string(*m.blendBits));
    if (m.subtexelBits) knobs.push_back("subtexel-bits=" + std::to_string(*m.subtexelBits));
    if (m.stageReduce) knobs.push_back("stage-reduce=1");
    std::string name = "model";
    for (std::size_t i = 0; i < knobs.size(); ++i) name += (i == 0 ? ":" : ",") + knobs[i];
    return name;
}

}  // namespace quillmark::explain
