// Textures as the sampler reads them. X8R8G8B8 and A8R8G8B8 levels are read
// in place; block-compressed (DXT) levels are decoded once into A8R8G8B8 and
// read like those; every other sampled format is decoded once, through its
// row codec, into four floats per texel. Decoded copies are made again only
// after the texture changed.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "pixel/row_codec.h"
#include "devices/core/texture_resources.h"

namespace quillmark::core {

struct SampledLevel {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t rowTexels = 0;              // texels between rows
    int widthMask = -1;                       // size - 1 for power-of-two sizes, else -1
    int heightMask = -1;
    const std::uint32_t* argb = nullptr;      // native 32-bit levels
    const FloatColor* decoded = nullptr;      // decoded levels
    float texelsAcross = 0.0f;                // float(width): u times this is in texels
    float texelsDown = 0.0f;                  // float(height)
    // widthMask, heightMask and rowTexels repeated over four lanes, ready
    // for the vector kernels' loads.
    alignas(16) std::int32_t widthMasks[4] = {-1, -1, -1, -1};
    alignas(16) std::int32_t heightMasks[4] = {-1, -1, -1, -1};
    alignas(16) std::int32_t rowLengths[4] = {};
};

// A level's view with its wrap masks and float sizes filled in.
SampledLevel MakeSampledLevel(std::uint32_t width, std::uint32_t height, std::uint32_t rowTexels,
                              const std::uint32_t* argb, const FloatColor* decoded);

struct SampledTexture {
    std::vector<SampledLevel> levels;
    bool native = false;
    bool opaque = false;  // X8R8G8B8: alpha reads as 1
    bool powerOfTwo = false;  // every level's sides are powers of two
};

// True when the sampler can read the format: natively, or through a row
// codec that exists for it (palettized and depth formats excluded).
bool CanSampleFormat(D3DFORMAT format);

class SampledTextureCache {
public:
    // The sampler's view of a 2-D texture, valid until the next call of
    // Prepare or Forget. False when a level cannot be decoded.
    bool Prepare(TextureInternals& texture, SampledTexture* out);
    // Drops the decoded copies of textures not prepared since the last call.
    void ForgetUnused();

private:
    struct Entry {
        std::uint64_t version = 0;
        std::vector<std::vector<FloatColor>> levels;
        std::vector<std::vector<std::uint32_t>> argbLevels;  // block-compressed textures
        bool used = false;
    };
    std::unordered_map<std::uint64_t, Entry> entries_;
};

}  // namespace quillmark::core
