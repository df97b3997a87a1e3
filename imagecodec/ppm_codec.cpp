// Reading portable pixmaps (ReadPpm) in their text (P3) and binary (P6)
// forms into X8R8G8B8 pixels, every sample scaled from the file's maximum
// value to 0..255. There is no writer.
//
// Layout: "P3" or "P6", then width, height and maximum value as decimals
// separated by whitespace, where "#" starts a comment running to the end of
// its line; P3 then has the samples red, green, blue as more decimals, P6 has
// one separator byte (or a carriage return and a line feed) and then one
// byte per sample.
#include "decoded_image.h"
#include "header_text.h"
#include "image_codec.h"
#include "image_limits.h"

#include <array>
#include <charconv>
#include <cstdlib>
#include <cstring>

namespace quillmark {
namespace {

using header_text::IsSpace;

constexpr BYTE kText = '3';
constexpr BYTE kBinary = '6';
constexpr std::uint64_t kMaxBinaryMaximum = 255;  // one byte per sample
constexpr std::uint64_t kMaxMaximum = 0xFFFFFFFF;
constexpr DWORD kOpaque = 0xFF000000;
constexpr UINT kSamplesPerPixel = 3;

// A cursor over the bytes after the magic.
struct PpmScanner {
    const BYTE* at;
    const BYTE* end;

    // Skips whitespace and comments; false when no byte is left.
    bool SkipToField() {
        while (at != end) {
            if (*at == '#') {
                const void* feed = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
                at = feed != nullptr ? static_cast<const BYTE*>(feed) : end;
            } else if (IsSpace(*at)) {
                ++at;
            } else {
                return true;
            }
        }
        return false;
    }

    // The next field: digits up to whitespace or the end of the data.
    bool NextField(std::uint64_t& value) {
        if (!SkipToField()) return false;
        const auto* first = reinterpret_cast<const char*>(at);
        const auto* last = reinterpret_cast<const char*>(end);
        const auto [stop, error] = std::from_chars(first, last, value);
        if (error != std::errc{} || (stop != last && !IsSpace(static_cast<BYTE>(*stop)))) return false;
        at = reinterpret_cast<const BYTE*>(stop);
        return true;
    }
};

// Scales a sample to 0..255; samples above the maximum count as the maximum.
class SampleScale {
public:
    explicit SampleScale(std::uint64_t maximum) : maximum_(maximum) {}
    DWORD operator()(std::uint64_t sample) const {
        return static_cast<DWORD>((sample < maximum_ ? sample : maximum_) * 255 / maximum_);
    }

private:
    std::uint64_t maximum_;
};

bool ReadTextSamples(PpmScanner& scanner, const SampleScale& scale, DWORD* out, std::size_t pixelCount) {
    for (std::size_t i = 0; i < pixelCount; ++i) {
        std::uint64_t red, green, blue;
        if (!scanner.NextField(red) || !scanner.NextField(green) || !scanner.NextField(blue)) return false;
        out[i] = kOpaque | scale(red) << 16 | scale(green) << 8 | scale(blue);
    }
    return true;
}

void ReadBinarySamples(const BYTE* in, std::uint64_t maximum, DWORD* out, std::size_t pixelCount) {
    if (maximum == 255) {
        for (std::size_t i = 0; i < pixelCount; ++i, in += kSamplesPerPixel)
            out[i] = kOpaque | DWORD{in[0]} << 16 | DWORD{in[1]} << 8 | in[2];
        return;
    }
    std::array<DWORD, 256> scaled;
    const SampleScale scale(maximum);
    for (DWORD v = 0; v < 256; ++v) scaled[v] = scale(v);
    for (std::size_t i = 0; i < pixelCount; ++i, in += kSamplesPerPixel)
        out[i] = kOpaque | scaled[in[0]] << 16 | scaled[in[1]] << 8 | scaled[in[2]];
}

// The pixel data of a binary file: after the one separator byte that ended
// the maximum value, or a carriage return and a line feed.
const BYTE* BinaryStart(const PpmScanner& scanner) {
    const BYTE* data = scanner.at + 1;
    if (*scanner.at == '\r' && scanner.end - scanner.at > 1 && *data == '\n') ++data;
    return data;
}

constexpr const char* kPpmExtensions[] = {".ppm", nullptr};

}  // namespace

HRESULT DecodedImage::ReadPpm(const BYTE* bytes, UINT byteCount) {
    if (byteCount < 3 || bytes[0] != 'P' || (bytes[1] != kText && bytes[1] != kBinary)) return E_FAIL;
    PpmScanner scanner{bytes + 2, bytes + byteCount};
    std::uint64_t w, h, maximum;
    if (!scanner.NextField(w) || !scanner.NextField(h) || !scanner.NextField(maximum)) return E_FAIL;
    if (!IsSaneImageSize(w, h) || w * h * 4 > kMaxImageBytes || maximum == 0 || maximum > kMaxMaximum)
        return E_FAIL;

    // Check that the data can hold every sample before allocating: a byte
    // each in binary, a digit and a separator each in text.
    const std::uint64_t samples = w * h * kSamplesPerPixel;
    const bool binary = bytes[1] == kBinary;
    if (binary && (maximum > kMaxBinaryMaximum || scanner.at == scanner.end)) return E_FAIL;
    const BYTE* data = binary ? BinaryStart(scanner) : scanner.at;
    const std::uint64_t needed = binary ? samples : 2 * samples - 1;
    if (needed > static_cast<std::uint64_t>(scanner.end - data)) return E_FAIL;

    format = D3DFMT_X8R8G8B8;
    width = static_cast<UINT>(w);
    height = static_cast<UINT>(h);
    depth = 1;
    rowPitch = width * 4;
    slicePitch = 0;
    pixels = static_cast<BYTE*>(std::malloc(w * h * 4));
    if (pixels == nullptr) return E_OUTOFMEMORY;
    ownsPixels = TRUE;
    auto* out = reinterpret_cast<DWORD*>(pixels);
    if (binary) {
        ReadBinarySamples(data, maximum, out, w * h);
        return S_OK;
    }
    return ReadTextSamples(scanner, SampleScale(maximum), out, w * h) ? S_OK : E_FAIL;
}

extern const ImageCodec kPpmCodec = {ImageFileFormat::Ppm, "PPM", kPpmExtensions, &DecodedImage::ReadPpm, nullptr,
                                     nullptr};

}  // namespace quillmark
