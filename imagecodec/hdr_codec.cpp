// Radiance RGBE pictures: ReadHdr reads them into four floats per pixel,
// WriteHdr writes A32B32G32R32F images.
//
// Layout: text header lines ended by line feeds ("#?RADIANCE" first; the
// reader acts on FORMAT= and EXPOSURE=), an empty line, a resolution line
// such as "-Y 480 +X 640" (the first term names the slow axis: with Y first
// the scanlines are rows, with X first columns; signs give the directions),
// then one scanline after another. A pixel is red, green and blue mantissas
// and a shared exponent E: a channel with mantissa m is (m + 0.5) × 2^(E − 136).
// A scanline is either run-length coded per component (it starts 2, 2, then
// its length in 15 bits) or flat pixels, where a pixel 1, 1, 1, n repeats
// the previous one n times (n shifted up by 8 more bits for each repeat
// pixel in a row).
#include "imagecodec/decoded_image.h"
#include "imagecodec/decoded_pixels.h"
#include "imagecodec/header_text.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace quillmark {
namespace {

using namespace std::string_view_literals;

constexpr auto kMagic = "#?RADIANCE"sv;
constexpr auto kFormatKey = "FORMAT="sv;
constexpr auto kExposureKey = "EXPOSURE="sv;
constexpr auto kRgbe = "32-bit_rle_rgbe"sv;
constexpr auto kXyze = "32-bit_rle_xyze"sv;
constexpr int kExponentBias = 136;  // 128, and 8 for the mantissa's bits
constexpr UINT kChannels = 4;       // red, green, blue mantissas, exponent
constexpr UINT kFloatsPerPixel = 4;
constexpr BYTE kRunLengthMark = 2;
constexpr BYTE kLongestRun = 127;
constexpr UINT kMinRunLengthWidth = 8;   // narrower scanlines are written flat
constexpr UINT kMaxWrittenSide = 0x7FFF; // the scanline length takes 15 bits
constexpr UINT kMaxRepeatShift = 24;
constexpr float kSmallestWritten = 1e-32f;
// Channels at or above 2^127 would need exponent byte 256: they are written
// as the largest value below it.
const float kLargestWritten = std::nextafter(0x1p127f, 0.0f);

bool StartsWith(const BYTE* bytes, std::size_t available, std::string_view text) {
    return available > text.size() && std::memcmp(bytes, text.data(), text.size()) == 0;
}

std::size_t SkipBlanks(const BYTE* bytes, std::size_t at, std::size_t end) {
    while (at < end && (bytes[at] == ' ' || bytes[at] == '\t')) ++at;
    return at;
}

struct HdrHeader {
    std::size_t end = 0;    // offset of the resolution line
    float exposure = 1.0f;  // product of the usable EXPOSURE values
};

// A positive, finite EXPOSURE value multiplies the exposure; any other is
// ignored. False when the line has no line feed within the bound.
bool ReadExposure(const BYTE* bytes, std::size_t& at, std::size_t end, HdrHeader& header) {
    at = SkipBlanks(bytes, at, end);
    const void* feed = std::memchr(bytes + at, '\n', std::min(end - at, header_text::kMaxLine));
    if (feed == nullptr) return false;
    const std::size_t length = static_cast<std::size_t>(static_cast<const BYTE*>(feed) - (bytes + at));
    std::string_view text(reinterpret_cast<const char*>(bytes + at), length);
    float value;
    if (header_text::TakeFloat(text, value) && header_text::OnlySpacesLeft(text) && value > 0) {
        const float product = header.exposure * value;
        if (std::isfinite(product) && product > 0) header.exposure = product;
    }
    at += length + 1;
    return true;
}

bool ReadHeader(const BYTE* bytes, std::size_t byteCount, HdrHeader& header) {
    bool formatSeen = false;
    std::size_t at = 0;
    while (true) {
        if (at >= byteCount) return false;
        if (bytes[at] == '\n') break;
        if (StartsWith(bytes + at, byteCount - at, kFormatKey)) {
            at = SkipBlanks(bytes, at + kFormatKey.size(), byteCount);
            if (byteCount - at <= kRgbe.size()) return false;
            const std::string_view value(reinterpret_cast<const char*>(bytes + at), kRgbe.size());
            if (value != kRgbe && value != kXyze) return false;
            at += kRgbe.size() + 1;
            formatSeen = true;
        } else if (StartsWith(bytes + at, byteCount - at, kExposureKey)) {
            at += kExposureKey.size();
            if (!ReadExposure(bytes, at, byteCount, header)) return false;
        } else {
            // Without a line feed the header cannot end.
            const void* feed = std::memchr(bytes + at, '\n', byteCount - at);
            if (feed == nullptr) return false;
            at = static_cast<std::size_t>(static_cast<const BYTE*>(feed) - bytes) + 1;
        }
    }
    header.end = at + 1;
    return formatSeen;
}

// Where the scanlines go: scanline s, pixel i lands at
// origin + s × scanStride + i × pixelStride (in floats).
struct Placement {
    UINT width = 0;
    UINT height = 0;
    UINT scanlines = 0;
    UINT length = 0;
    std::ptrdiff_t origin = 0;
    std::ptrdiff_t scanStride = 0;
    std::ptrdiff_t pixelStride = 0;
};

// One term of the resolution line: sign, axis letter, size.
struct AxisTerm {
    bool plus;
    char axis;
    std::uint64_t size;
};

bool TakeAxisTerm(std::string_view& text, AxisTerm& term) {
    if (text.size() < 2 || (text[0] != '+' && text[0] != '-') || (text[1] != 'X' && text[1] != 'Y')) return false;
    term.plus = text[0] == '+';
    term.axis = text[1];
    text.remove_prefix(2);
    return header_text::TakeUnsigned(text, term.size);
}

// Offsets (in floats) of the first pixel and of the step along an axis
// whose positions run forwards or backwards over `count` places `step` apart.
void Direction(bool forwards, UINT count, std::ptrdiff_t step, std::ptrdiff_t& origin, std::ptrdiff_t& stride) {
    stride = forwards ? step : -step;
    if (!forwards) origin += static_cast<std::ptrdiff_t>(count - 1) * step;
}

bool ReadResolution(std::string_view line, Placement& place) {
    AxisTerm slow, fast;
    if (!TakeAxisTerm(line, slow)) return false;
    const std::size_t sign = line.find_first_of("+-");
    if (sign == std::string_view::npos) return false;
    line.remove_prefix(sign);
    if (!TakeAxisTerm(line, fast) || fast.axis == slow.axis) return false;
    const bool rows = slow.axis == 'Y';
    const std::uint64_t w = rows ? fast.size : slow.size;
    const std::uint64_t h = rows ? slow.size : fast.size;
    if (!IsSaneImageSize(w, h) || w * h * kFloatsPerPixel * sizeof(float) > kMaxImageBytes) return false;
    place.width = static_cast<UINT>(w);
    place.height = static_cast<UINT>(h);
    place.scanlines = static_cast<UINT>(slow.size);
    place.length = static_cast<UINT>(fast.size);
    // -Y runs top to bottom and +X left to right.
    const std::ptrdiff_t rowStep = std::ptrdiff_t{place.width} * kFloatsPerPixel;
    const auto step = [&](const AxisTerm& t) { return t.axis == 'Y' ? rowStep : std::ptrdiff_t{kFloatsPerPixel}; };
    const auto forwards = [](const AxisTerm& t) { return t.plus == (t.axis == 'X'); };
    Direction(forwards(slow), place.scanlines, step(slow), place.origin, place.scanStride);
    Direction(forwards(fast), place.length, step(fast), place.origin, place.pixelStride);
    return true;
}

// A scanline's components in four planes of `length` bytes each.
class ScanlineDecoder {
public:
    explicit ScanlineDecoder(UINT length) : length_(length), planes_(std::size_t{length} * kChannels) {}

    const BYTE* Plane(UINT channel) const { return planes_.data() + std::size_t{channel} * length_; }

    // Decodes the scanline at `at`, moving `at` past it.
    bool Decode(const BYTE*& at, const BYTE* end) {
        if (end - at < 4) return false;
        if (at[0] == kRunLengthMark && at[1] == kRunLengthMark && at[2] < 128) {
            if (static_cast<UINT>(at[2] << 8 | at[3]) != length_) return false;
            at += 4;
            for (UINT channel = 0; channel < kChannels; ++channel)
                if (!DecodeRuns(at, end, planes_.data() + std::size_t{channel} * length_)) return false;
            return true;
        }
        return DecodeFlat(at, end);
    }

private:
    bool DecodeRuns(const BYTE*& at, const BYTE* end, BYTE* plane) const {
        for (UINT x = 0; x < length_;) {
            if (end - at < 2) return false;
            const BYTE code = *at++;
            const bool run = code > 128;
            const UINT count = run ? code - 128u : code;
            if (count > length_ - x || (!run && static_cast<std::size_t>(end - at) < count)) return false;
            if (run) std::memset(plane + x, *at++, count);
            else std::memcpy(plane + x, at, count), at += count;
            x += count;
        }
        return true;
    }

    void Put(UINT x, const BYTE* pixel) {
        for (UINT channel = 0; channel < kChannels; ++channel)
            planes_[std::size_t{channel} * length_ + x] = pixel[channel];
    }

    bool DecodeFlat(const BYTE*& at, const BYTE* end) {
        Put(0, at);
        at += 4;
        UINT shift = 0;
        for (UINT x = 1; x < length_; at += 4) {
            if (end - at < 4) return false;
            if (at[0] != 1 || at[1] != 1 || at[2] != 1) {
                Put(x++, at);
                shift = 0;
                continue;
            }
            if (shift > kMaxRepeatShift) return false;
            const std::uint64_t count = std::uint64_t{at[3]} << shift;
            if (count > length_ - x) return false;
            for (UINT channel = 0; channel < kChannels; ++channel) {
                BYTE* plane = planes_.data() + std::size_t{channel} * length_;
                std::memset(plane + x, plane[x - 1], count);
            }
            x += static_cast<UINT>(count);
            shift += 8;
        }
        return true;
    }

    UINT length_;
    std::vector<BYTE> planes_;
};

// The value of exponent byte E per unit of (mantissa + 0.5), with the
// exposure divided out; in double so that each channel is rounded once.
std::array<double, 256> ExponentScales(float exposure) {
    const float factor = 1.0f / exposure;
    std::array<double, 256> scales;
    for (int e = 0; e < 256; ++e) scales[e] = std::ldexp(1.0, e - kExponentBias) * factor;
    return scales;
}

void ConvertScanline(const ScanlineDecoder& decoder, const std::array<double, 256>& scales, float* out,
                     std::ptrdiff_t pixelStride, UINT length) {
    const BYTE* red = decoder.Plane(0);
    const BYTE* green = decoder.Plane(1);
    const BYTE* blue = decoder.Plane(2);
    const BYTE* exponent = decoder.Plane(3);
    for (UINT i = 0; i < length; ++i, out += pixelStride) {
        const double scale = scales[exponent[i]];
        out[0] = static_cast<float>((red[i] + 0.5) * scale);
        out[1] = static_cast<float>((green[i] + 0.5) * scale);
        out[2] = static_cast<float>((blue[i] + 0.5) * scale);
        out[3] = 1.0f;
    }
}

// --- Writing ---------------------------------------------------------------

void ToRgbe(const float* pixel, BYTE* out) {
    float channels[3];
    for (int c = 0; c < 3; ++c) channels[c] = pixel[c] > 0 ? std::min(pixel[c], kLargestWritten) : 0.0f;
    const float v = std::max({channels[0], channels[1], channels[2]});
    if (!(v > kSmallestWritten)) {
        std::memset(out, 0, kChannels);
        return;
    }
    int e;
    const double m = std::frexp(v, &e);
    const double s = m * 256.0 / v;
    for (int c = 0; c < 3; ++c) out[c] = static_cast<BYTE>(channels[c] * s);
    out[3] = out[0] == 0 && out[1] == 0 && out[2] == 0 ? BYTE{0} : static_cast<BYTE>(e + 128);
}

// Appends the run-length code of one component (`count` bytes `stride`
// apart) to `out`: runs of 2 to 127 equal bytes, literals of up to 127 bytes
// that end where two equal bytes meet.
void EncodeComponent(const BYTE* values, UINT count, std::vector<BYTE>& out) {
    constexpr UINT stride = kChannels;
    for (UINT x = 0; x < count;) {
        UINT run = 1;
        if (x + 1 < count)
            while (run < kLongestRun && x + run < count && values[(x + run) * stride] == values[x * stride]) ++run;
        if (run > 1) {
            out.push_back(static_cast<BYTE>(128 + run));
            out.push_back(values[x * stride]);
            x += run;
            continue;
        }
        UINT literal = 1;
        while (literal < kLongestRun && x + literal < count &&
               values[(x + literal) * stride] != values[(x + literal - 1) * stride])
            ++literal;
        out.push_back(static_cast<BYTE>(literal));
        for (UINT i = 0; i < literal; ++i) out.push_back(values[(x + i) * stride]);
        x += literal;
    }
}

HRESULT WriteHeader(ImageOutput& output, UINT width, UINT height) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char header[header_text::kMaxLine];
    const int length = std::snprintf(header, sizeof(header),
                                     "#?RADIANCE\n#File created by Quillmark texture library\n"
                                     "FORMAT=32-bit_rle_rgbe\n#Timestamp: %02d:%02d:%02d %02d/%02d/%02d\n\n"
                                     "-Y %u +X %u\n",
                                     local.tm_hour, local.tm_min, local.tm_sec, local.tm_mon + 1, local.tm_mday,
                                     local.tm_year % 100, height, width);
    return output.Write(header, static_cast<DWORD>(length), nullptr);
}

constexpr const char* kHdrExtensions[] = {".hdr", nullptr};
constexpr D3DFORMAT kHdrFormats[] = {D3DFMT_A32B32G32R32F, D3DFMT_UNKNOWN};

bool RecogniseHdr(const BYTE* bytes, UINT byteCount) {
    return byteCount > kMagic.size() && std::memcmp(bytes, kMagic.data(), kMagic.size()) == 0;
}

HRESULT ReadHdr(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (byteCount <= kMagic.size() || std::memcmp(bytes, kMagic.data(), kMagic.size()) != 0) return E_FAIL;
    HdrHeader header;
    if (!ReadHeader(bytes, byteCount, header)) return E_FAIL;
    const std::string_view line = header_text::Line(bytes + header.end, byteCount - header.end);
    Placement place;
    if (line.size() <= 2 || !ReadResolution(line, place)) return E_FAIL;
    const std::size_t dataStart = header.end + line.size() + 1;
    // Every scanline takes at least one pixel's bytes.
    if (std::uint64_t{place.scanlines} * kChannels > byteCount - dataStart) return E_FAIL;

    const HRESULT allocated = AllocatePixels(image, D3DFMT_A32B32G32R32F, place.width, place.height);
    if (FAILED(allocated)) return allocated;

    ScanlineDecoder decoder(place.length);
    const std::array<double, 256> scales = ExponentScales(header.exposure);
    float* origin = reinterpret_cast<float*>(image.pixels) + place.origin;
    const BYTE* at = bytes + dataStart;
    for (UINT s = 0; s < place.scanlines; ++s) {
        if (!decoder.Decode(at, bytes + byteCount)) return E_FAIL;
        ConvertScanline(decoder, scales, origin + s * place.scanStride, place.pixelStride, place.length);
    }
    return S_OK;
}

HRESULT WriteHdr(const DecodedImage& image, ImageOutput& output) {
    if (image.format != D3DFMT_A32B32G32R32F || image.width > kMaxWrittenSide || image.height > kMaxWrittenSide) return E_FAIL;
    std::vector<BYTE> rgbe(std::size_t{image.width} * kChannels), encoded;
    encoded.reserve(rgbe.size() * 2 + kChannels);
    if (FAILED(WriteHeader(output, image.width, image.height))) return E_FAIL;
    const bool runLength = image.width >= kMinRunLengthWidth;
    for (UINT y = 0; y < image.height; ++y) {
        const auto* row = reinterpret_cast<const float*>(image.pixels + std::size_t{image.box.Top + y} * image.rowPitch) +
                          std::size_t{image.box.Left} * kFloatsPerPixel;
        for (UINT x = 0; x < image.width; ++x)
            ToRgbe(row + std::size_t{x} * kFloatsPerPixel, &rgbe[std::size_t{x} * kChannels]);
        const std::vector<BYTE>* line = &rgbe;
        if (runLength) {
            encoded.assign({kRunLengthMark, kRunLengthMark, static_cast<BYTE>(image.width >> 8), static_cast<BYTE>(image.width)});
            for (UINT channel = 0; channel < kChannels; ++channel) EncodeComponent(&rgbe[channel], image.width, encoded);
            line = &encoded;
        }
        if (FAILED(output.Write(line->data(), static_cast<DWORD>(line->size()), nullptr))) return E_FAIL;
    }
    return S_OK;
}

}  // namespace

extern const ImageCodec kHdrCodec = {ImageFileFormat::Hdr, "HDR", kHdrExtensions, RecogniseHdr, ReadHdr,
                                     WriteHdr, kHdrFormats};

}  // namespace quillmark
