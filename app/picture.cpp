#include "app/picture.h"

#include "imagecodec/decoded_image.h"
#include "imagecodec/memory_buffer.h"
#include "imagecodec/result_text.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace quillmark {
namespace {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphAdvance = 6;  // font pixels from one glyph to the next

struct Glyph {
    char character;
    std::array<std::uint8_t, kGlyphHeight> rows;  // five bits each, the leftmost the highest
};

constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'+', {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {',', {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'(', {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}},
    {')', {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}}, {'/', {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}},
    {'%', {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}}, {'=', {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}},
    {'<', {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}}, {'>', {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}},
};

const Glyph* FindGlyph(char c) {
    const char upper = char(std::toupper(static_cast<unsigned char>(c)));
    for (const Glyph& glyph : kFont)
        if (glyph.character == upper) return &glyph;
    return nullptr;  // a space, or a character the font lacks: left blank
}

}  // namespace

Picture::Picture(int w, int h, std::uint32_t background)
    : width(w), height(h), pixels(std::size_t(w) * std::size_t(h), background) {}

void Picture::Set(int x, int y, std::uint32_t rgb) {
    if (x >= 0 && y >= 0 && x < width && y < height) pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)] = rgb;
}

void Picture::FillRect(int x, int y, int w, int h, std::uint32_t rgb) {
    const int x0 = std::max(x, 0), x1 = std::min(x + w, width);
    if (x0 >= x1) return;
    for (int row = std::max(y, 0); row < std::min(y + h, height); ++row)
        std::fill(pixels.begin() + std::ptrdiff_t(row) * width + x0, pixels.begin() + std::ptrdiff_t(row) * width + x1,
                  rgb);
}

void Picture::Line(double x0, double y0, double x1, double y1, std::uint32_t rgb, int thickness) {
    const double length = std::hypot(x1 - x0, y1 - y0);
    const int steps = std::max(1, int(std::ceil(length * 2)));
    const int half = thickness / 2;
    for (int i = 0; i <= steps; ++i) {
        const double t = double(i) / steps;
        FillRect(int(std::lround(x0 + (x1 - x0) * t)) - half, int(std::lround(y0 + (y1 - y0) * t)) - half, thickness,
                 thickness, rgb);
    }
}

void Picture::Circle(double cx, double cy, double radius, std::uint32_t rgb) {
    const int steps = std::max(16, int(radius * 8));
    for (int i = 0; i < steps; ++i) {
        const double angle = 2 * M_PI * i / steps;
        Set(int(std::lround(cx + radius * std::cos(angle))), int(std::lround(cy + radius * std::sin(angle))), rgb);
    }
}

void Picture::Disc(double cx, double cy, double radius, std::uint32_t rgb) {
    for (int y = int(std::floor(cy - radius)); y <= int(std::ceil(cy + radius)); ++y)
        for (int x = int(std::floor(cx - radius)); x <= int(std::ceil(cx + radius)); ++x)
            if (std::hypot(x - cx, y - cy) <= radius) Set(x, y, rgb);
}

void Picture::Paste(const Picture& other, int x, int y) {
    for (int row = 0; row < other.height; ++row)
        for (int column = 0; column < other.width; ++column) Set(x + column, y + row, other.At(column, row));
}

Picture PictureOfPixels(const std::vector<std::uint32_t>& pixels, int width) {
    Picture picture(width, width > 0 ? int(pixels.size()) / width : 0, 0);
    for (std::size_t i = 0; i < picture.pixels.size(); ++i) picture.pixels[i] = pixels[i] & 0xFFFFFF;
    return picture;
}

Picture Halved(const Picture& picture) {
    Picture half(picture.width / 2, picture.height / 2, 0);
    for (int y = 0; y < half.height; ++y)
        for (int x = 0; x < half.width; ++x) {
            std::uint32_t rgb = 0;
            for (int shift : {16, 8, 0}) {
                int sum = 2;  // rounds the mean of four
                for (int k = 0; k < 4; ++k) sum += int(picture.At(2 * x + (k & 1), 2 * y + (k >> 1)) >> shift & 0xFF);
                rgb |= std::uint32_t(sum / 4) << shift;
            }
            half.Set(x, y, rgb);
        }
    return half;
}

int TextWidth(std::string_view text, int scale) {
    return text.empty() ? 0 : (int(text.size()) * kGlyphAdvance - 1) * scale;
}

int DrawText(Picture& picture, int x, int y, std::string_view text, std::uint32_t rgb, int scale) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Glyph* glyph = FindGlyph(text[i]);
        if (!glyph) continue;
        const int left = x + int(i) * kGlyphAdvance * scale;
        for (int row = 0; row < kGlyphHeight; ++row)
            for (int column = 0; column < kGlyphWidth; ++column)
                if (glyph->rows[std::size_t(row)] & (0x10 >> column))
                    picture.FillRect(left + column * scale, y + row * scale, scale, scale, rgb);
    }
    return TextWidth(text, scale);
}

namespace {

// Writes the picture through the image writer to a file or to memory.
HRESULT WriteThroughCodec(const Picture& picture, const void* destination, OutputKind kind) {
    if (picture.width <= 0 || picture.height <= 0) return D3DERR_INVALIDCALL;
    std::vector<std::uint32_t> copy = picture.pixels;  // the writer may convert the record in place
    DecodedImage image;
    image.format = D3DFMT_X8R8G8B8;
    image.pixels = reinterpret_cast<BYTE*>(copy.data());
    image.width = UINT(picture.width);
    image.height = UINT(picture.height);
    image.depth = 1;
    image.rowPitch = UINT(picture.width) * 4;
    image.box = D3DBOX{0, 0, image.width, image.height, 0, 1};
    return image.WriteImage(destination, ImageFileFormat::Png, kind);
}

}  // namespace

std::string PngBytes(const Picture& picture) {
    MemoryBuffer* buffer = nullptr;
    if (FAILED(WriteThroughCodec(picture, &buffer, OutputKind::Memory))) return {};
    std::string bytes(static_cast<const char*>(buffer->GetBufferPointer()), buffer->GetBufferSize());
    buffer->Release();
    return bytes;
}

bool ReadPicture(const std::filesystem::path& path, Picture* picture, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    DecodedImage image;
    ImageInfo info{};
    const HRESULT result =
        bytes.empty() ? TEXERR_UNREADABLE : image.ReadImage(bytes.data(), UINT(bytes.size()), &info, TRUE);
    if (FAILED(result)) {
        *error = "cannot read " + path.string() + ": " + ResultReason(result);
        return false;
    }
    if (image.format != D3DFMT_X8R8G8B8 && image.format != D3DFMT_A8R8G8B8) {
        *error = "cannot read " + path.string() + ": not an image of 32-bit pixels";
        return false;
    }
    *picture = Picture(int(image.width), int(image.height), 0);
    for (UINT y = 0; y < image.height; ++y) {
        std::memcpy(&picture->pixels[std::size_t(y) * image.width], image.pixels + std::size_t(y) * image.rowPitch,
                    std::size_t(image.width) * 4);
        for (UINT x = 0; x < image.width; ++x) picture->pixels[std::size_t(y) * image.width + x] &= 0xFFFFFF;
    }
    return true;
}

namespace {

constexpr char kPngSignature[] = "\x89PNG\r\n\x1A\n";
constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kHeaderChunkSize = 4 + 4 + 13 + 4;  // length, "IHDR", its 13 bytes, CRC

void AppendBigEndian(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((value >> shift) & 0xFF);
}

// tEXt (keyword, NUL, the text) for ASCII text, which every reader takes;
// otherwise iTXt: keyword, NUL, not compressed (0, 0), no language tag, no
// translated keyword, the UTF-8 text.
std::string TextChunk(const PngText& text) {
    const bool ascii = std::all_of(text.text.begin(), text.text.end(), [](char c) { return (c & 0x80) == 0; });
    std::string body = (ascii ? "tEXt" : "iTXt") + text.keyword + std::string(1, '\0');
    if (!ascii) body += std::string("\0\0\0\0", 4);
    body += text.text;
    std::string chunk;
    AppendBigEndian(chunk, std::uint32_t(body.size() - 4));
    chunk += body;
    AppendBigEndian(chunk, std::uint32_t(crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(body.data()),
                                                 uInt(body.size()))));
    return chunk;
}

bool IsPng(const std::string& bytes) {
    return bytes.size() >= kSignatureSize + kHeaderChunkSize &&
           bytes.compare(0, kSignatureSize, kPngSignature, kSignatureSize) == 0 &&
           bytes.compare(kSignatureSize + 4, 4, "IHDR") == 0;
}

}  // namespace

std::string WithPngText(std::string png, const std::vector<PngText>& texts) {
    if (!IsPng(png)) return png;
    std::string chunks;
    for (const PngText& text : texts) chunks += TextChunk(text);
    png.insert(kSignatureSize + kHeaderChunkSize, chunks);
    return png;
}

bool WritePng(const Picture& picture, const std::filesystem::path& path, std::string* error,
              const std::vector<PngText>& texts) {
    const HRESULT result = WriteThroughCodec(picture, path.string().c_str(), OutputKind::AnsiPath);
    if (FAILED(result)) {
        *error = "cannot write " + path.string() + ": " + WriteFailureReason(path.string(), result);
        return false;
    }
    return texts.empty() || AddPngText(path, texts, error);
}

bool AddPngText(const std::filesystem::path& path, const std::vector<PngText>& texts, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (!IsPng(bytes)) {
        *error = "cannot add text to " + path.string() + ": it is no PNG file";
        return false;
    }
    in.close();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << WithPngText(bytes, texts);
    out.close();
    if (out) return true;
    *error = "cannot write " + path.string() + ": " + std::strerror(errno);
    return false;
}

}  // namespace quillmark
