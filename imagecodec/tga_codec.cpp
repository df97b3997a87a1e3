// Reading Truevision TGA images (ReadTga). TGA has no signature: a block is
// taken for one only when every header field is plausible, which is why the
// reader is tried late. Pixels keep the file's byte layout (blue, green, red,
// alpha little-endian, as the Direct3D formats store them); an uncompressed
// image stored top-down and left to right is used in place. There is no
// writer.
#include "imagecodec/decoded_image.h"
#include "imagecodec/decoded_pixels.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/read_failure.h"
#include "pixel/pixel_format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quillmark {
namespace {

// The 18-byte header, little-endian, followed by the image ID, the colour
// map and the pixel data.
struct TgaHeader {
    static constexpr UINT kSize = 18;

    BYTE idLength;      // 0: bytes of image ID after the header
    BYTE colourMapType; // 1: 0 none, 1 present
    BYTE imageType;     // 2: kind in the low two bits, + kRunLength
    UINT firstEntry;    // 3: palette index of the first stored entry
    UINT mapLength;     // 5: stored entries
    BYTE entryBits;     // 7: 15, 16, 24 or 32
    UINT width;         // 12
    UINT height;        // 14
    BYTE pixelDepth;    // 16: bits per pixel
    BYTE descriptor;    // 17: kTopDown, kRightToLeft

    static constexpr BYTE kRunLength = 0x08;
    static constexpr BYTE kTypeBits = 0x0B;
    static constexpr BYTE kTopDown = 0x20;
    static constexpr BYTE kRightToLeft = 0x10;

    static TgaHeader Read(const BYTE* p) {
        const auto u16 = [p](int at) { return static_cast<UINT>(p[at] | (p[at + 1] << 8)); };
        return {p[0], p[1], p[2], u16(3), u16(5), p[7], u16(12), u16(14), p[16], p[17]};
    }
    bool RunLength() const { return (imageType & kRunLength) != 0; }
    BYTE Kind() const { return imageType & 3; }
    bool HasColourMap() const { return colourMapType == 1; }
    std::uint64_t EntryBytes() const { return HasColourMap() ? (entryBits + 7u) / 8u : 0; }
};

enum TgaKind : BYTE { kColourMapped = 1, kTrueColour = 2, kGrey = 3 };

struct TgaFormat {
    BYTE kind;
    BYTE depth;
    D3DFORMAT format;
};

constexpr TgaFormat kTgaFormats[] = {
    {kColourMapped, 8, D3DFMT_P8},     {kTrueColour, 15, D3DFMT_X1R5G5B5}, {kTrueColour, 16, D3DFMT_A1R5G5B5},
    {kTrueColour, 24, D3DFMT_R8G8B8},  {kTrueColour, 32, D3DFMT_A8R8G8B8}, {kGrey, 8, D3DFMT_L8},
    {kGrey, 16, D3DFMT_A8L8},  // grey in the low byte, alpha in the high one
};

constexpr UINT kPaletteEntries = 256;
constexpr UINT kMaxPacketPixels = 128;

bool IsPlausible(const TgaHeader& h) {
    if ((h.colourMapType & 0xFE) != 0 || (h.imageType & ~TgaHeader::kTypeBits) != 0) return false;
    if (h.width == 0 || h.height == 0) return false;
    if (h.HasColourMap() && h.entryBits != 15 && h.entryBits != 16 && h.entryBits != 24 && h.entryBits != 32)
        return false;
    return h.Kind() != kColourMapped || h.HasColourMap();
}

D3DFORMAT FormatOf(const TgaHeader& h) {
    for (const TgaFormat& row : kTgaFormats)
        if (row.kind == h.Kind() && row.depth == h.pixelDepth) return row.format;
    return D3DFMT_UNKNOWN;
}

// The fewest bytes pixel data of this header can take: the whole block when
// uncompressed; with run lengths, one packet of at most 128 pixels per
// started group of the image's pixels, each a header byte and one pixel.
std::uint64_t MinimumDataBytes(const TgaHeader& h, std::uint64_t bytesPerPixel) {
    const std::uint64_t pixelCount = std::uint64_t{h.width} * h.height;
    if (!h.RunLength()) return pixelCount * bytesPerPixel;
    return (pixelCount + kMaxPacketPixels - 1) / kMaxPacketPixels * (1 + bytesPerPixel);
}

PALETTEENTRY MapEntry(const BYTE* e, BYTE entryBits) {
    const auto widen = [](UINT five) { return static_cast<BYTE>((five << 3) | (five >> 2)); };
    switch (entryBits) {
    case 24: return PALETTEENTRY{e[2], e[1], e[0], 255};
    case 32: return PALETTEENTRY{e[2], e[1], e[0], e[3]};
    default: {
        const UINT v = e[0] | (e[1] << 8);
        const bool opaque = entryBits == 15 || (v & 0x8000) != 0;
        return PALETTEENTRY{widen((v >> 10) & 31), widen((v >> 5) & 31), widen(v & 31), opaque ? BYTE{255} : BYTE{0}};
    }
    }
}

HRESULT BuildPalette(const TgaHeader& h, const BYTE* map, DecodedImage& image) {
    if (std::uint64_t{h.firstEntry} + h.mapLength > kPaletteEntries)
        return Refuse("its colour map runs from entry " + std::to_string(h.firstEntry) + " to " +
                      std::to_string(h.firstEntry + h.mapLength) + ", past the 256 a palette holds");
    auto* palette = static_cast<PALETTEENTRY*>(std::malloc(kPaletteEntries * sizeof(PALETTEENTRY)));
    if (palette == nullptr) return E_OUTOFMEMORY;
    image.palette = palette;
    image.ownsPalette = TRUE;
    std::memset(palette, 255, kPaletteEntries * sizeof(PALETTEENTRY));
    PALETTEENTRY* stored = palette + h.firstEntry;
    bool anyAlpha = false;
    for (UINT i = 0; i < h.mapLength; ++i) {
        stored[i] = MapEntry(map + i * h.EntryBytes(), h.entryBits);
        anyAlpha = anyAlpha || stored[i].peFlags != 0;
    }
    if (!anyAlpha)
        for (UINT i = 0; i < h.mapLength; ++i) stored[i].peFlags = 255;
    return S_OK;
}

// `count` copies of the pixel at `value`.
void FillPixels(BYTE* out, const BYTE* value, UINT count, UINT bytesPerPixel) {
    if (bytesPerPixel == 1) {
        std::memset(out, *value, count);
    } else if (bytesPerPixel == 4) {
        std::uint32_t v;
        std::memcpy(&v, value, 4);
        for (UINT i = 0; i < count; ++i) std::memcpy(out + 4 * i, &v, 4);
    } else {
        for (UINT i = 0; i < count; ++i) std::memcpy(out + i * bytesPerPixel, value, bytesPerPixel);
    }
}

void MirrorRow(BYTE* row, UINT width, UINT bytesPerPixel) {
    BYTE swap[4];
    for (BYTE *left = row, *right = row + (width - 1) * bytesPerPixel; left < right;
         left += bytesPerPixel, right -= bytesPerPixel) {
        std::memcpy(swap, left, bytesPerPixel);
        std::memcpy(left, right, bytesPerPixel);
        std::memcpy(right, swap, bytesPerPixel);
    }
}

// The run-length packets of the whole image, read pixel by pixel across row
// ends: a packet may run on from one row into the next, as files of the
// format's first version were written, and its pixels past the row's end go
// to the start of the next row. Pixels of a packet past the image's end are
// dropped.
class PacketStream {
public:
    PacketStream(const BYTE* data, const BYTE* end, UINT bytesPerPixel)
        : data_(data), end_(end), bytesPerPixel_(bytesPerPixel) {}

    // Decodes `width` pixels into `out`; false when the data runs out.
    bool DecodeRow(BYTE* out, UINT width) {
        for (UINT x = 0; x < width;) {
            if (left_ == 0 && !StartPacket()) return false;
            const UINT count = std::min(left_, width - x);
            BYTE* to = out + std::size_t{x} * bytesPerPixel_;
            if (run_) {
                FillPixels(to, data_, count, bytesPerPixel_);
            } else {
                std::memcpy(to, data_, std::size_t{count} * bytesPerPixel_);
                data_ += std::size_t{count} * bytesPerPixel_;
            }
            left_ -= count;
            x += count;
            if (run_ && left_ == 0) data_ += bytesPerPixel_;  // a run's value is consumed after its pixels
        }
        return true;
    }

private:
    // Reads the next packet's header and checks that its pixel bytes are there.
    bool StartPacket() {
        if (data_ == end_) return false;
        const BYTE packet = *data_++;
        left_ = (packet & 0x7Fu) + 1;
        run_ = (packet & 0x80) != 0;
        const std::size_t packetBytes = run_ ? bytesPerPixel_ : std::size_t{left_} * bytesPerPixel_;
        return static_cast<std::size_t>(end_ - data_) >= packetBytes;
    }

    const BYTE* data_;
    const BYTE* end_;
    UINT bytesPerPixel_;
    UINT left_ = 0;  // pixels of the current packet still to be written
    bool run_ = false;
};

bool DecodeRows(const TgaHeader& h, const BYTE* data, const BYTE* end, UINT bytesPerPixel, BYTE* pixels) {
    const std::size_t rowBytes = std::size_t{h.width} * bytesPerPixel;
    PacketStream packets(data, end, bytesPerPixel);
    for (UINT fileRow = 0; fileRow < h.height; ++fileRow) {
        const UINT imageRow = (h.descriptor & TgaHeader::kTopDown) != 0 ? fileRow : h.height - 1 - fileRow;
        BYTE* out = pixels + imageRow * rowBytes;
        if (h.RunLength()) {
            if (!packets.DecodeRow(out, h.width)) return false;
        } else {
            std::memcpy(out, data, rowBytes);  // the whole block was checked to be there
            data += rowBytes;
        }
        if ((h.descriptor & TgaHeader::kRightToLeft) != 0) MirrorRow(out, h.width, bytesPerPixel);
    }
    return true;
}

// True when some pixel of the block has a bit of `mask` set; pixels of 2 or
// 4 bytes, read little-endian.
template <typename Word>
bool AnyPixelHas(const BYTE* pixels, std::size_t count, Word mask) {
    Word seen = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Word v;
        std::memcpy(&v, pixels + i * sizeof(Word), sizeof(Word));
        seen |= v;
    }
    return (seen & mask) != 0;
}

// Formats with an alpha channel that no pixel uses become their X forms.
D3DFORMAT DropUnusedAlpha(D3DFORMAT format, const BYTE* pixels, std::size_t count) {
    if (format == D3DFMT_A8R8G8B8 && !AnyPixelHas<std::uint32_t>(pixels, count, 0xFF000000u))
        return D3DFMT_X8R8G8B8;
    if (format == D3DFMT_A1R5G5B5 && !AnyPixelHas<std::uint16_t>(pixels, count, 0x8000u)) return D3DFMT_X1R5G5B5;
    return format;
}

constexpr const char* kTgaExtensions[] = {".tga", nullptr};

// Recognised by a plausible header of an image kind the reader knows (a
// DIB's header, whose third byte is 0, never is one).
bool RecogniseTga(const BYTE* bytes, UINT byteCount) {
    if (byteCount < TgaHeader::kSize) return false;
    const TgaHeader h = TgaHeader::Read(bytes);
    return IsPlausible(h) && h.Kind() != 0;
}

HRESULT ReadTga(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (byteCount < TgaHeader::kSize) return Refuse("it ends inside its header");
    const TgaHeader h = TgaHeader::Read(bytes);
    if (!IsPlausible(h)) return Refuse("its header is not a TGA header");
    const D3DFORMAT fileFormatPixels = FormatOf(h);
    if (fileFormatPixels == D3DFMT_UNKNOWN)
        return Refuse("its pixel depth of " + std::to_string(h.pixelDepth) + " bits is not one Quillmark reads for image type " +
                      std::to_string(h.imageType));

    const std::uint64_t bytesPerPixel = LookupPixelFormat(fileFormatPixels).bitsPerPixel / 8;
    const std::uint64_t mapOffset = std::uint64_t{TgaHeader::kSize} + h.idLength;
    const std::uint64_t dataOffset = mapOffset + std::uint64_t{h.mapLength} * h.EntryBytes();
    const std::uint64_t imageBytes = std::uint64_t{h.width} * h.height * bytesPerPixel;
    if (dataOffset > byteCount) return Refuse("its image ID and colour map reach past the end of the file");
    if (!IsSaneImageSize(h.width, h.height) || imageBytes > kMaxImageBytes)
        return Refuse("its sizes are beyond what Quillmark reads");
    if (MinimumDataBytes(h, bytesPerPixel) > byteCount - dataOffset)
        return Refuse("its pixel data is shorter than " + std::to_string(h.width) + " x " + std::to_string(h.height) +
                      " pixels need");

    const BYTE* data = bytes + dataOffset;
    DescribePixels(image, fileFormatPixels, h.width, h.height);
    image.pixels = const_cast<BYTE*>(data);
    if (!image.decodePixels) return S_OK;

    if (image.format == D3DFMT_P8) {
        const HRESULT result = BuildPalette(h, bytes + mapOffset, image);
        if (FAILED(result)) return result;
    }
    const bool inPlace = !h.RunLength() && (h.descriptor & TgaHeader::kTopDown) != 0 &&
                         (h.descriptor & TgaHeader::kRightToLeft) == 0;
    if (!inPlace) {
        image.pixels = static_cast<BYTE*>(std::malloc(imageBytes));
        if (image.pixels == nullptr) return E_OUTOFMEMORY;
        image.ownsPixels = TRUE;
        if (!DecodeRows(h, data, bytes + byteCount, static_cast<UINT>(bytesPerPixel), image.pixels))
            return Refuse("its run-length data ends before the last row");
    }
    image.format = DropUnusedAlpha(image.format, image.pixels, std::size_t{h.width} * h.height);
    return S_OK;
}

}  // namespace

extern const ImageCodec kTgaCodec = {ImageFileFormat::Tga, "TGA", kTgaExtensions, RecogniseTga, ReadTga,
                                     nullptr, nullptr};

}  // namespace quillmark
