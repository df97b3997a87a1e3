#include "sampled_texture.h"

#include <algorithm>
#include <array>
#include <memory>

namespace quillmark::reference {
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
    const std::unique_ptr<RowCodec> codec = CreateRowCodec(DescOf(store));
    if (!codec) return false;
    out.resize(std::size_t{store.width} * store.height);
    for (std::uint32_t y = 0; y < store.height; ++y) {
        if (FAILED(codec->DecodeRow(y, 0, out.data() + std::size_t{y} * store.width))) return false;
    }
    return true;
}

bool HasCodec(D3DFORMAT format) {
    const FormatLayout layout = LayoutOf(format);
    if (layout.bytesPerBlock == 0) return false;
    PixelStore probe(format, layout.blockWidth, layout.blockHeight, 1);
    return CreateRowCodec(DescOf(probe)) != nullptr;
}

}  // namespace

SampledLevel MakeSampledLevel(std::uint32_t width, std::uint32_t height, std::uint32_t rowTexels,
                              const std::uint32_t* argb, const FloatColor* decoded) {
    auto mask = [](std::uint32_t size) { return (size & (size - 1)) == 0 ? int(size) - 1 : -1; };
    return {width, height, rowTexels, mask(width), mask(height), argb, decoded};
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
        out->powerOfTwo = std::all_of(out->levels.begin(), out->levels.end(), [](const SampledLevel& l) {
            return l.widthMask >= 0 && l.heightMask >= 0;
        });
        return true;
    }
    Entry& entry = entries_[texture.Serial()];
    if (entry.levels.size() != traits.levels || entry.version != texture.ContentVersion()) {
        entry.levels.assign(traits.levels, {});
        for (std::uint32_t level = 0; level < traits.levels; ++level) {
            if (!DecodeLevel(texture.Store(0, level), entry.levels[level])) {
                entries_.erase(texture.Serial());
                return false;
            }
        }
        entry.version = texture.ContentVersion();
    }
    entry.used = true;
    for (std::uint32_t level = 0; level < traits.levels; ++level) {
        const PixelStore& store = texture.Store(0, level);
        out->levels[level] = MakeSampledLevel(store.width, store.height, store.width, nullptr, entry.levels[level].data());
    }
    return true;
}

void SampledTextureCache::ForgetUnused() {
    std::erase_if(entries_, [](const auto& item) { return !item.second.used; });
    for (auto& item : entries_) item.second.used = false;
}

}  // namespace quillmark::reference
