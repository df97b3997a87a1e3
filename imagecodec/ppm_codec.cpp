// Reading portable pixmaps (ReadPpm) in their text (P3) and binary (P6)
// forms into X8R8G8B8 pixels, every sample scaled from the file's maximum
// value to 0..255. There is no writer.
//
// Layout: "P3" or "P6", then width, height and maximum value as decimals
// separated by whitespace, where "#" starts a comment running to the end of
// its line; P3 then has the samples red, green, blue as more decimals, P6 has
// one separator byte (or a carriage return and a line feed) and then one
// byte per sample.
#include "imagecodec/decoded_image.h"
#include "imagecodec/decoded_pixels.h"
#include "imagecodec/header_text.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "platform/processor/processor_features.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

void PackPlain(const BYTE* in, DWORD* out, std::size_t first, std::size_t last) {
    for (std::size_t i = first; i < last; ++i) {
        const BYTE* rgb = in + i * kSamplesPerPixel;
        out[i] = kOpaque | DWORD{rgb[0]} << 16 | DWORD{rgb[1]} << 8 | rgb[2];
    }
}

#if defined(__x86_64__)
// Eight pixels at a time: two 12-byte groups loaded into the halves of one
// register, reordered from red, green, blue to blue, green, red, alpha and
// stored past the cache (the block is larger than it). The pixels before
// the first 32-byte boundary of `out`, and the last few, whose load would
// reach past the samples, are packed one by one.
__attribute__((target("avx2"))) void PackAvx2(const BYTE* in, DWORD* out, std::size_t pixelCount) {
    const __m256i order = _mm256_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1,
                                           2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m256i opaque = _mm256_set1_epi32(static_cast<int>(kOpaque));
    const std::size_t misaligned = reinterpret_cast<std::uintptr_t>(out) % 32 / sizeof(DWORD);
    std::size_t i = std::min(pixelCount, (8 - misaligned) % 8);
    PackPlain(in, out, 0, i);
    for (; i + 10 <= pixelCount; i += 8) {
        const BYTE* group = in + i * kSamplesPerPixel;
        const __m256i samples = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(group + 12),
                                                    reinterpret_cast<const __m128i*>(group));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_or_si256(_mm256_shuffle_epi8(samples, order), opaque));
    }
    _mm_sfence();
    PackPlain(in, out, i, pixelCount);
}
#endif

void ReadBinarySamples(const BYTE* in, std::uint64_t maximum, DWORD* out, std::size_t pixelCount) {
    if (maximum == 255) {
#if defined(__x86_64__)
        if (processor::Allows(processor::kAvx2)) return PackAvx2(in, out, pixelCount);
#endif
        return PackPlain(in, out, 0, pixelCount);
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

bool RecognisePpm(const BYTE* bytes, UINT byteCount) {
    return byteCount >= 2 && bytes[0] == 'P' && (bytes[1] == kText || bytes[1] == kBinary);
}

HRESULT ReadPpm(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
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

    const HRESULT allocated = AllocatePixels(image, D3DFMT_X8R8G8B8, static_cast<UINT>(w), static_cast<UINT>(h));
    if (FAILED(allocated)) return allocated;
    auto* out = reinterpret_cast<DWORD*>(image.pixels);
    if (binary) {
        ReadBinarySamples(data, maximum, out, w * h);
        return S_OK;
    }
    return ReadTextSamples(scanner, SampleScale(maximum), out, w * h) ? S_OK : E_FAIL;
}

}  // namespace

extern const ImageCodec kPpmCodec = {ImageFileFormat::Ppm, "PPM", kPpmExtensions, RecognisePpm, ReadPpm,
                                     nullptr, nullptr};

}  // namespace quillmark
