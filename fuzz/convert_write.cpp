// Decode, convert, write, read back. The input is read with ReadImage; its
// top level is resampled with one of the box, tent, linear and point
// filters (or none: see below) into a pixel format and size picked from a
// hash of the input
// (every format that has a row codec takes part, so block-compressed ones
// join when their codec exists); each result is written to memory by a
// writer of the codec table and read back by the same codec, which must
// give the size and the storage of the pixel format written. Instead of a
// conversion, one input in five sends the decoded image itself, with its
// levels and faces, through WriteImage.
#include "fuzz_support.h"

#include "pixel/resample.h"
#include "pixel/row_codec.h"

#include <algorithm>
#include <iterator>
#include <vector>

using namespace quillmark;

namespace {

// Sources above this many pixels are only read: converting them costs more
// than it finds. Destinations stay as small: every pixel is a filter pass.
constexpr std::uint64_t kMaxConvertedPixels = 1 << 10;
constexpr UINT kMaxDestinationSide = 64;
constexpr DWORD kFilterKinds[] = {RESAMPLE_BOX, RESAMPLE_TRIANGLE, RESAMPLE_LINEAR, RESAMPLE_POINT};
constexpr DWORD kFlagBits[] = {RESAMPLE_MIRROR_U,         RESAMPLE_MIRROR_V, RESAMPLE_MIRROR_W, RESAMPLE_DITHER,
                               RESAMPLE_DITHER_DIFFUSION, RESAMPLE_SRGB_IN,  RESAMPLE_SRGB_OUT};

PALETTEENTRY gGreyPalette[256];

std::vector<D3DFORMAT> FormatsWithCodecs() {
    std::vector<D3DFORMAT> formats;
    BYTE pixel[16] = {};
    for (const PixelFormatInfo& info : PixelFormatTable) {
        SurfaceDesc desc;
        desc.Data = pixel;
        desc.Format = static_cast<D3DFORMAT>(info.format);
        desc.RowPitch = sizeof(pixel);
        desc.Box = desc.Extent = D3DBOX{0, 0, info.blockWidth, info.blockHeight, 0, 1};
        desc.Palette = gGreyPalette;
        std::unique_ptr<RowCodec> codec;
        if (SUCCEEDED(CreateRowCodec(desc, codec))) formats.push_back(desc.Format);
    }
    return formats;
}

std::vector<const ImageCodec*> CodecsWithWriters() {
    std::vector<const ImageCodec*> codecs;
    for (const ImageCodec* codec : ImageCodecs())
        if (codec->write != nullptr && codec->read != nullptr) codecs.push_back(codec);
    return codecs;
}

const std::vector<D3DFORMAT>& Formats() {
    static const std::vector<D3DFORMAT> formats = FormatsWithCodecs();
    return formats;
}

const std::vector<const ImageCodec*>& Writers() {
    static const std::vector<const ImageCodec*> writers = CodecsWithWriters();
    return writers;
}

// A destination side from the source side: the same, half (box halving),
// double, or anything small.
UINT PickSide(UINT source, std::uint32_t choice) {
    switch (choice & 3) {
    case 0: return source;
    case 1: return source > 1 ? source / 2 : 1;
    case 2: return std::min(source * 2, kMaxDestinationSide);
    default: return 1 + (choice >> 2) % 33;
    }
}

DWORD PickFlags(std::uint32_t bits) {
    DWORD flags = 0;
    for (DWORD flag : kFlagBits) {
        if (bits & 1) flags |= flag;
        bits >>= 1;
    }
    return flags;
}

// Writes `image` with `codec` to memory and reads the file back with the same
// codec: the size and the pixel format written must come back.
void WriteAndReadBack(DecodedImage& image, const ImageCodec& codec) {
    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, codec.id, OutputKind::Memory))) return;
    fuzz::Require(buffer != nullptr, "WriteImage succeeded without a buffer");
    const fuzz::ExactInput file = fuzz::TakeWritten(buffer);
    DecodedImage back;
    back.decodePixels = TRUE;
    back.fileFormat = codec.id;
    fuzz::Require(SUCCEEDED(codec.read(back, file.Data(), file.Size())), "a written file is not read back");
    fuzz::CheckDecoded(back, true);
    fuzz::Require(back.width == image.width && back.height == image.height, "written size not read back");
    // A format may come back under another name of the same storage: an
    // 8-bit 3-3-2 bitmap is stored with its palette and reads as P8, 32-bit
    // pixels read as X8R8G8B8 when every alpha byte is 0.
    if (LookupPixelFormat(back.format).bitsPerPixel != LookupPixelFormat(image.format).bitsPerPixel) {
        std::fprintf(stderr, "%s: wrote pixel format %u, read back %u\n", codec.name, image.format, back.format);
        fuzz::Fail("written pixel format not read back");
    }
}

void ConvertOnce(const DecodedImage& source, DWORD kind, std::uint32_t hash) {
    const D3DFORMAT format = Formats()[hash % Formats().size()];
    const UINT width = PickSide(source.width, hash >> 4);
    const UINT height = PickSide(source.height, hash >> 12);
    const UINT depth = (hash >> 20) & 1 ? std::max(source.depth / 2, 1u) : source.depth;
    const fuzz::BlockLayout layout = fuzz::LayoutOf(format, width, height);
    std::vector<BYTE> block(layout.rowBytes * layout.rows * depth);
    const bool palettized = LookupPixelFormat(format).kind == PIXEL_KIND_PALETTIZED;

    SurfaceDesc destination;
    destination.Data = block.data();
    destination.Format = format;
    destination.RowPitch = static_cast<INT>(layout.rowBytes);
    destination.SlicePitch = static_cast<INT>(layout.rowBytes * layout.rows);
    destination.Extent = destination.Box = D3DBOX{0, 0, width, height, 0, depth};
    destination.Palette = palettized ? gGreyPalette : nullptr;
    const DWORD filter = kind | PickFlags(hash >> 24);
    if (FAILED(RunConversion(destination, source.Describe(), filter)) || depth != 1) return;

    DecodedImage converted;
    converted.format = format;
    converted.pixels = block.data();
    converted.palette = destination.Palette == nullptr ? nullptr : gGreyPalette;
    converted.width = width;
    converted.height = height;
    converted.depth = 1;
    converted.box = destination.Box;
    converted.rowPitch = static_cast<UINT>(layout.rowBytes);
    WriteAndReadBack(converted, *Writers()[(hash >> 8) % Writers().size()]);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (int i = 0; i < 256; ++i) {
        const BYTE v = static_cast<BYTE>(i);
        gGreyPalette[i] = PALETTEENTRY{v, v, v, static_cast<BYTE>(255 - v)};
    }
    if (Formats().empty() || Writers().empty()) fuzz::Fail("no pixel format with a codec, or no writer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > fuzz::kMaxInputSize) return 0;
    const fuzz::CpuTimeLimit limit;
    const fuzz::ExactInput input(data, size);
    ImageInfo info{};
    if (!fuzz::HeaderWithin(input, kMaxConvertedPixels, info)) return 0;
    DecodedImage image;
    if (image.ReadImage(input.Data(), input.Size(), nullptr, TRUE) != S_OK) return 0;
    fuzz::CheckDecoded(image, true);

    // One path per input, picked by its hash: a conversion with one of the
    // four filters, or the decoded image written as it is. The mutations
    // reach every path at a fraction of the cost of taking them all.
    std::uint32_t hash = fuzz::HashOf(data, size);
    const std::uint32_t path = hash % (std::size(kFilterKinds) + 1);
    hash = hash * 2654435761u + path;
    if (path < std::size(kFilterKinds)) {
        ConvertOnce(image, kFilterKinds[path], hash);
        return 0;
    }
    const ImageCodec* own = FindImageCodec(image.fileFormat);
    WriteAndReadBack(image, own->write != nullptr ? *own : *Writers()[hash % Writers().size()]);
    return 0;
}
