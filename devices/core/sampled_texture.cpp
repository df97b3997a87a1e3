#include "devices/core/sampled_texture.h"

#include <algorithm>
#include <array>
#include <memory>

#include "pixel/resample.h"

namespace quillmark::core {
namespace {

SurfaceDesc DescOf(PixelStore& store) {
    SurfaceDesc desc;
    desc.Data = store.bytes.data();
    desc.Format = store.format;
    desc.RowPitch = static_cast<INT>(store.rowPitch);
    desc.SlicePitch = 0;
    desc.Extent = {0, 0, store.width, store.height, 0, 1};
    desc.Box = desc.Extent;
    return desc;
}

bool DecodeLevel(PixelStore& store, std::vector<FloatColor>& out) {
    std::unique_ptr<RowCodec> codec;
    if (FAILED(CreateRowCodec(DescOf(store), codec))) return false;
    out.resize(std::size_t{store.width} * store.height);
    for (std::uint32_t y = 0; y < store.height; ++y) {
        if (FAILED(codec->DecodeRow(y, 0, out.data() + std::size_t{y} * store.width))) return false;
    }
    return true;
}

// Block-compressed levels are decoded to A8R8G8B8, as a device's texture
// unit decodes them, and then read like native levels.
bool DecodeLevelToArgb(PixelStore& store, std::vector<std::uint32_t>& out) {
    out.resize(std::size_t{store.width} * store.height);
    SurfaceDesc destination;
    destination.Data = reinterpret_cast<BYTE*>(out.data());
    destination.Format = D3DFMT_A8R8G8B8;
    destination.RowPitch = static_cast<INT>(store.width * 4);
    destination.Extent = destination.Box = {0, 0, store.width, store.height, 0, 1};
    return SUCCEEDED(RunConversion(destination, DescOf(store), RESAMPLE_NONE));
}

bool DecodesToArgb(D3DFORMAT format) { return LookupPixelFormat(format).IsBlockCompressed(); }

bool HasCodec(D3DFORMAT format) {
    const FormatLayout layout = LayoutOf(format);
    if (layout.bytesPerBlock == 0) return false;
    PixelStore probe(format, layout.blockWidth, layout.blockHeight, 1);
    std::unique_ptr<RowCodec> codec;
    return SUCCEEDED(CreateRowCodec(DescOf(probe), codec));
}

bool AllPowersOfTwo(const std::vector<SampledLevel>& levels) {
    return std::all_of(levels.begin(), levels.end(),
                       [](const SampledLevel& l) { return l.widthMask >= 0 && l.heightMask >= 0; });
}

}  // namespace

SampledLevel MakeSampledLevel(std::uint32_t width, std::uint32_t height, std::uint32_t rowTexels,
                              const std::uint32_t* argb, const FloatColor* decoded) {
    auto mask = [](std::uint32_t size) { return (size & (size - 1)) == 0 ? int(size) - 1 : -1; };
    SampledLevel level{width, height, rowTexels, mask(width), mask(height), argb, decoded, float(width), float(height)};
    std::fill_n(level.widthMasks, 4, level.widthMask);
    std::fill_n(level.heightMasks, 4, level.heightMask);
    std::fill_n(level.rowLengths, 4, std::int32_t(rowTexels));
    return level;
}

bool CanSampleFormat(D3DFORMAT format) {
    if (format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8) return true;
    if (format == D3DFMT_P8 || format == D3DFMT_A8P8 || format == D3DFMT_D16_LOCKABLE ||
        format == D3DFMT_D32F_LOCKABLE || format == FORMAT_AL16 || format == FORMAT_R16)
        return false;
    return HasCodec(format);
}

bool SampledTextureCache::Prepare(TextureInternals& texture, SampledTexture* out) {
    const TextureTraits& traits = texture.Traits();
    out->levels.assign(traits.levels, SampledLevel{});
    out->native = traits.format == D3DFMT_X8R8G8B8 || traits.format == D3DFMT_A8R8G8B8;
    out->opaque = traits.format == D3DFMT_X8R8G8B8;
    if (out->native) {
        for (std::uint32_t level = 0; level < traits.levels; ++level) {
            PixelStore& store = texture.Store(0, level);
            out->levels[level] = MakeSampledLevel(store.width, store.height, store.rowPitch / 4,
                                                  reinterpret_cast<const std::uint32_t*>(store.bytes.data()), nullptr);
        }
        out->powerOfTwo = AllPowersOfTwo(out->levels);
        return true;
    }
    const bool argb = DecodesToArgb(traits.format);
    Entry& entry = entries_[texture.Serial()];
    if (entry.levels.size() + entry.argbLevels.size() != traits.levels || entry.version != texture.ContentVersion()) {
        entry.levels.assign(argb ? 0 : traits.levels, {});
        entry.argbLevels.assign(argb ? traits.levels : 0, {});
        for (std::uint32_t level = 0; level < traits.levels; ++level) {
            PixelStore& store = texture.Store(0, level);
            if (argb ? !DecodeLevelToArgb(store, entry.argbLevels[level]) : !DecodeLevel(store, entry.levels[level])) {
                entries_.erase(texture.Serial());
                return false;
            }
        }
        entry.version = texture.ContentVersion();
    }
    entry.used = true;
    out->native = argb;
    for (std::uint32_t level = 0; level < traits.levels; ++level) {
        const PixelStore& store = texture.Store(0, level);
        out->levels[level] = argb ? MakeSampledLevel(store.width, store.height, store.width,
                                                     entry.argbLevels[level].data(), nullptr)
                                  : MakeSampledLevel(store.width, store.height, store.width, nullptr,
                                                     entry.levels[level].data());
    }
    out->powerOfTwo = argb && AllPowersOfTwo(out->levels);
    return true;
}

void SampledTextureCache::ForgetUnused() {
    std::erase_if(entries_, [](const auto& item) { return !item.second.used; });
    for (auto& item : entries_) item.second.used = false;
}

}  // namespace quillmark::core
