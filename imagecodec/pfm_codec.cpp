// Portable float maps: ReadPfm reads colour ("PF") and grey ("Pf") maps into
// four floats per pixel, WritePfm writes A32B32G32R32F images as colour maps
// and R32F images as grey ones.
//
// Layout: three lines, each ended by a line feed: the magic; width and height
// as unsigned decimals; a scale whose sign gives the byte order of the
// samples (negative: little-endian, else big-endian) and whose size is not
// used. Then rows of 32-bit float samples, the bottom row first.
#include "imagecodec/decoded_image.h"
#include "imagecodec/decoded_pixels.h"
#include "imagecodec/header_text.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace quillmark {
namespace {

static_assert(std::endian::native == std::endian::little, "samples are stored and written little-endian");

constexpr UINT kMagicSize = 3;
constexpr char kColourMagic[] = "PF\n";
constexpr char kGreyMagic[] = "Pf\n";
constexpr UINT kFloatsPerPixel = 4;

float SampleAt(const BYTE* p, bool bigEndian) {
    std::uint32_t bits;
    std::memcpy(&bits, p, sizeof(bits));
    if (bigEndian) bits = __builtin_bswap32(bits);
    return std::bit_cast<float>(bits);
}

// Reads the size line into `w`, `h` and the scale line's byte order;
// `offset` moves past both lines.
bool ReadHeaderLines(const BYTE* bytes, UINT byteCount, std::uint64_t& offset, std::uint64_t& w,
                     std::uint64_t& h, bool& bigEndian) {
    std::string_view sizeLine = header_text::Line(bytes + offset, byteCount - offset);
    if (sizeLine.empty()) return false;
    offset += sizeLine.size() + 1;
    if (!header_text::TakeUnsigned(sizeLine, w) || !header_text::TakeUnsigned(sizeLine, h) ||
        !header_text::OnlySpacesLeft(sizeLine))
        return false;
    std::string_view scaleLine = header_text::Line(bytes + offset, byteCount - offset);
    if (scaleLine.empty()) return false;
    offset += scaleLine.size() + 1;
    float scale;
    if (!header_text::TakeFloat(scaleLine, scale) || !header_text::OnlySpacesLeft(scaleLine) || std::isnan(scale))
        return false;
    bigEndian = !(scale < 0);
    return true;
}

constexpr const char* kPfmExtensions[] = {".pfm", nullptr};
constexpr D3DFORMAT kPfmFormats[] = {D3DFMT_A32B32G32R32F, D3DFMT_UNKNOWN};

bool RecognisePfm(const BYTE* bytes, UINT byteCount) {
    return byteCount >= kMagicSize &&
           (std::memcmp(bytes, kColourMagic, kMagicSize) == 0 || std::memcmp(bytes, kGreyMagic, kMagicSize) == 0);
}

HRESULT ReadPfm(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (byteCount < kMagicSize + 1) return E_FAIL;
    const bool colour = std::memcmp(bytes, kColourMagic, kMagicSize) == 0;
    if (!colour && std::memcmp(bytes, kGreyMagic, kMagicSize) != 0) return E_FAIL;
    std::uint64_t offset = kMagicSize, w, h;
    bool bigEndian;
    if (!ReadHeaderLines(bytes, byteCount, offset, w, h, bigEndian)) return E_FAIL;
    const std::uint64_t channels = colour ? 3 : 1;
    if (!IsSaneImageSize(w, h) || w * h * kFloatsPerPixel * sizeof(float) > kMaxImageBytes ||
        w * h * channels * sizeof(float) > byteCount - offset)
        return E_FAIL;

    const HRESULT allocated = AllocatePixels(image, D3DFMT_A32B32G32R32F, static_cast<UINT>(w), static_cast<UINT>(h));
    if (FAILED(allocated)) return allocated;
    const BYTE* in = bytes + offset;
    for (UINT fileRow = 0; fileRow < image.height; ++fileRow) {
        auto* out = reinterpret_cast<float*>(image.pixels + std::size_t{image.height - 1 - fileRow} * image.rowPitch);
        for (UINT x = 0; x < image.width; ++x, out += kFloatsPerPixel, in += channels * sizeof(float)) {
            out[0] = SampleAt(in, bigEndian);
            out[1] = colour ? SampleAt(in + 4, bigEndian) : out[0];
            out[2] = colour ? SampleAt(in + 8, bigEndian) : out[0];
            out[3] = 1.0f;
        }
    }
    return S_OK;
}

HRESULT WritePfm(const DecodedImage& image, ImageOutput& output) {
    const bool colour = image.format == D3DFMT_A32B32G32R32F;
    if (!colour && image.format != D3DFMT_R32F) return E_FAIL;
    const UINT channels = colour ? 3 : 1;
    if (std::uint64_t{image.width} * channels * sizeof(float) > kMaxImageBytes) return E_FAIL;
    std::vector<float> row(std::size_t{image.width} * channels);
    char header[header_text::kMaxLine];
    const int headerLength = std::snprintf(header, sizeof(header), "%s%u %u\n-1.000000\n",
                                           colour ? kColourMagic : kGreyMagic, image.width, image.height);
    if (FAILED(output.Write(header, static_cast<DWORD>(headerLength), nullptr))) return E_FAIL;

    const UINT pixelFloats = colour ? kFloatsPerPixel : 1;
    const DWORD rowBytes = static_cast<DWORD>(row.size() * sizeof(float));
    for (UINT y = image.height; y-- > 0;) {
        const auto* in = reinterpret_cast<const float*>(image.pixels + std::size_t{image.box.Top + y} * image.rowPitch) +
                         std::size_t{image.box.Left} * pixelFloats;
        for (std::size_t x = 0; x < image.width; ++x)
            for (UINT c = 0; c < channels; ++c) row[x * channels + c] = in[x * pixelFloats + c];
        if (FAILED(output.Write(row.data(), rowBytes, nullptr))) return E_FAIL;
    }
    return S_OK;
}

}  // namespace

extern const ImageCodec kPfmCodec = {ImageFileFormat::Pfm, "PFM", kPfmExtensions, RecognisePfm, ReadPfm,
                                     WritePfm, kPfmFormats};

}  // namespace quillmark
