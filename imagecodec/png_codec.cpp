// PNG through libpng: reading every colour type and bit depth from memory
// (ReadPng) and writing X8R8G8B8 images as 8-bit RGB (WritePng).
//
// Library errors come back by a long jump to the target libpng keeps in its
// read or write structure. Each target is set in a function that keeps
// nothing of its own after the jump: the library structures, the input
// position and the row buffers live in a record of the calling frame, which
// frees them on every path, and no object with a destructor lives in a frame
// the jump crosses.
#include "imagecodec/decoded_image.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"
#include "pixel/pixel_format.h"
#include "imagecodec/read_failure.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <png.h>

namespace quillmark {
namespace {

constexpr std::size_t kSignatureSize = 8;
constexpr double kScreenGamma = 2.2;
// Recorded in every file written: the pixels are encoded for a display
// gamma of 2.2, so a reader applying screen gamma 2.2 leaves them unchanged.
constexpr double kWrittenFileGamma = 1.0 / 2.2;
constexpr double kSignificantGamma = 1e-6;
constexpr UINT kPaletteEntries = 256;
// Known chunks the reader has no use for, skipped unread: the library would
// otherwise allocate what such a chunk's length field claims (up to 2 GiB
// for a palette suggestion) before finding the file shorter.
constexpr png_byte kUnusedChunks[] = "bKGD\0cHRM\0eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0"
                                     "sCAL\0sPLT\0sTER\0tEXt\0tIME\0zTXt";
constexpr int kChunkNameBytes = 5;
constexpr BYTE kOpaque = 255;

[[noreturn]] void JumpOnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// A reader's error is also the reason the read failed, in the library's words.
[[noreturn]] void JumpOnReadError(png_structp png, png_const_charp message) {
    Refuse(std::string("the decoder stopped: ") + message);
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

struct Reader {
    png_structp png;
    png_infop info;
    const BYTE* next;
    std::size_t left;
    png_bytepp rows;
    double fileGamma;  // 0 when no gamma correction was asked for
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
    Reader& reader = *static_cast<Reader*>(png_get_io_ptr(png));
    if (count > reader.left) png_error(png, "read error");
    std::memcpy(out, reader.next, count);
    reader.next += count;
    reader.left -= count;
}

D3DFORMAT FormatOfColourType(int colourType) {
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY: return D3DFMT_L8;
    case PNG_COLOR_TYPE_RGB: return D3DFMT_R8G8B8;
    case PNG_COLOR_TYPE_PALETTE: return D3DFMT_P8;
    case PNG_COLOR_TYPE_GRAY_ALPHA: return D3DFMT_A8L8;
    case PNG_COLOR_TYPE_RGB_ALPHA: return D3DFMT_A8R8G8B8;
    default: return D3DFMT_UNKNOWN;
    }
}

struct FormatPair {
    D3DFORMAT from;
    D3DFORMAT to;
};

// The 16-bit form of each 8-bit format; palettes have none.
constexpr FormatPair kSixteenBitForms[] = {
    {D3DFMT_R8G8B8, FORMAT_R16},
    {D3DFMT_A8R8G8B8, D3DFMT_A16B16G16R16},
    {D3DFMT_L8, D3DFMT_L16},
    {D3DFMT_A8L8, FORMAT_AL16},
};

// The format with the alpha a tRNS chunk expands to.
constexpr FormatPair kAlphaForms[] = {
    {D3DFMT_R8G8B8, D3DFMT_A8R8G8B8},
    {D3DFMT_L8, D3DFMT_A8L8},
    {D3DFMT_L16, FORMAT_AL16},
    {FORMAT_R16, D3DFMT_A16B16G16R16},
};

template <std::size_t N>
D3DFORMAT Lookup(const FormatPair (&pairs)[N], D3DFORMAT format, D3DFORMAT otherwise) {
    for (const FormatPair& pair : pairs)
        if (pair.from == format) return pair.to;
    return otherwise;
}

// The channel count libpng reports for rows of each format.
png_byte ChannelsOf(D3DFORMAT format) {
    if (format == FORMAT_R16) return 3;
    if (format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_A16B16G16R16) return 4;
    if (format == D3DFMT_A8L8 || format == FORMAT_AL16) return 2;
    return 1;
}

// An sRGB chunk means no correction; otherwise a gAMA chunk asks for one
// towards a display gamma of 2.2. The pixels of palette images are indices:
// their palette is corrected here (BuildPalette), never by libpng, which
// corrects the palette it hands back on some paths (interlaced files) and
// not on others.
void RequestGamma(Reader& reader, int colourType) {
    int intent = 0;
    double gamma = 0;
    if (png_get_sRGB(reader.png, reader.info, &intent)) {
        png_set_sRGB(reader.png, reader.info, intent);
    } else if (png_get_gAMA(reader.png, reader.info, &gamma)) {
        if (colourType != PNG_COLOR_TYPE_PALETTE) png_set_gamma(reader.png, kScreenGamma, gamma);
        reader.fileGamma = gamma;
    }
}

// Asks libpng for the transformations that give the rows one of the
// library's layouts and returns that format (D3DFMT_UNKNOWN: none fits).
D3DFORMAT RequestTransformations(Reader& reader) {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    png_get_IHDR(reader.png, reader.info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    D3DFORMAT format = FormatOfColourType(colourType);
    if (bitDepth == 16) {
        png_set_swap(reader.png);
        format = Lookup(kSixteenBitForms, format, D3DFMT_UNKNOWN);
        if (format == D3DFMT_UNKNOWN) return format;
    } else if (bitDepth < 8) {
        png_set_packing(reader.png);
        if (colourType == PNG_COLOR_TYPE_GRAY) png_set_expand(reader.png);
    }
    RequestGamma(reader, colourType);
    if (format != D3DFMT_P8 && png_get_valid(reader.png, reader.info, PNG_INFO_tRNS)) {
        png_set_expand(reader.png);
        format = Lookup(kAlphaForms, format, format);
    }
    if (format == D3DFMT_R8G8B8 || format == D3DFMT_A8R8G8B8 || format == FORMAT_R16) png_set_bgr(reader.png);
    if (format == D3DFMT_R8G8B8) {
        png_set_filler(reader.png, kOpaque, PNG_FILLER_AFTER);
        format = D3DFMT_X8R8G8B8;
    }
    png_set_interlace_handling(reader.png);
    return format;
}

// The palette with its tRNS alphas. Alpha is taken only for entries that
// both chunks have; entries past the palette are opaque white. When the
// reader asked for gamma correction the colours get the same correction as
// the pixels of other colour types.
HRESULT BuildPalette(const Reader& reader, DecodedImage& image) {
    png_colorp colours = nullptr;
    int colourCount = 0;
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    if (png_get_valid(reader.png, reader.info, PNG_INFO_PLTE))
        png_get_PLTE(reader.png, reader.info, &colours, &colourCount);
    if (png_get_valid(reader.png, reader.info, PNG_INFO_tRNS))
        png_get_tRNS(reader.png, reader.info, &alphas, &alphaCount, nullptr);
    colourCount = std::clamp(colourCount, 0, static_cast<int>(kPaletteEntries));
    alphaCount = std::clamp(alphaCount, 0, colourCount);

    BYTE table[256];
    const bool correct = reader.fileGamma > kSignificantGamma;
    for (UINT i = 0; i < 256; ++i)
        table[i] = correct ? static_cast<BYTE>(255.0 * std::pow(i / 255.0, 1.0 / (kScreenGamma * reader.fileGamma)) + 0.5)
                           : static_cast<BYTE>(i);

    auto* palette = static_cast<PALETTEENTRY*>(std::malloc(kPaletteEntries * sizeof(PALETTEENTRY)));
    if (palette == nullptr) return E_OUTOFMEMORY;
    image.palette = palette;
    image.ownsPalette = TRUE;
    for (int i = 0; i < static_cast<int>(kPaletteEntries); ++i) {
        if (i >= colourCount) {
            palette[i] = PALETTEENTRY{kOpaque, kOpaque, kOpaque, kOpaque};
            continue;
        }
        const BYTE alpha = i < alphaCount ? alphas[i] : kOpaque;
        palette[i] = PALETTEENTRY{table[colours[i].red], table[colours[i].green], table[colours[i].blue], alpha};
    }
    return S_OK;
}

// The reader's steps between the jump target and the end; a library error
// leaves them by the long jump.
HRESULT DecodeSteps(Reader& reader, DecodedImage& image) {
    png_set_user_limits(reader.png, kMaxImageDimension, kMaxImageDimension);
    png_set_keep_unknown_chunks(reader.png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks,
                                sizeof(kUnusedChunks) / kChunkNameBytes);
    png_set_read_fn(reader.png, &reader, ReadFromMemory);
    png_read_info(reader.png, reader.info);
    const D3DFORMAT format = RequestTransformations(reader);
    if (format == D3DFMT_UNKNOWN) return E_FAIL;
    png_read_update_info(reader.png, reader.info);
    if (png_get_channels(reader.png, reader.info) != ChannelsOf(format)) return E_FAIL;

    const std::uint64_t width = png_get_image_width(reader.png, reader.info);
    const std::uint64_t height = png_get_image_height(reader.png, reader.info);
    const std::uint64_t rowBytes = png_get_rowbytes(reader.png, reader.info);
    if (!IsSaneImageSize(width, height) || !FitsImageBytes(rowBytes, height)) return E_FAIL;
    image.format = format;
    image.width = static_cast<UINT>(width);
    image.height = static_cast<UINT>(height);
    image.depth = 1;
    image.rowPitch = static_cast<UINT>(rowBytes);
    image.slicePitch = 0;
    if (!image.decodePixels) return S_OK;

    // Owned by the record from here on: the dispatcher frees it on failure.
    image.pixels = static_cast<BYTE*>(std::malloc(rowBytes * height));
    if (image.pixels == nullptr) return E_OUTOFMEMORY;
    image.ownsPixels = TRUE;
    reader.rows = static_cast<png_bytepp>(std::malloc(height * sizeof(png_bytep)));
    if (reader.rows == nullptr) return E_OUTOFMEMORY;
    for (std::uint64_t y = 0; y < height; ++y) reader.rows[y] = image.pixels + y * rowBytes;
    png_read_image(reader.png, reader.rows);
    return format == D3DFMT_P8 ? BuildPalette(reader, image) : S_OK;
}

HRESULT Decode(Reader& reader, DecodedImage& image) {
    if (setjmp(png_jmpbuf(reader.png))) return E_FAIL;
    return DecodeSteps(reader, image);
}

struct Writer {
    png_structp png;
    png_infop info;
    ImageOutput* output;
    BYTE* row;
};

void WriteToOutput(png_structp png, png_bytep data, png_size_t count) {
    Writer& writer = *static_cast<Writer*>(png_get_io_ptr(png));
    DWORD written = 0;
    if (count > 0xFFFFFFFFu || FAILED(writer.output->Write(data, static_cast<DWORD>(count), &written)) ||
        written != count)
        png_error(png, "write error");
}

void FlushNothing(png_structp) {}

HRESULT EncodeSteps(Writer& writer, const DecodedImage& image) {
    png_set_IHDR(writer.png, writer.info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_gAMA(writer.png, writer.info, kWrittenFileGamma);
    writer.row = static_cast<BYTE*>(std::malloc(std::uint64_t{image.width} * 3));
    if (writer.row == nullptr) return E_OUTOFMEMORY;
    png_set_write_fn(writer.png, &writer, WriteToOutput, FlushNothing);
    png_write_info(writer.png, writer.info);

    const BYTE* first =
        image.pixels + std::uint64_t{image.box.Top} * image.rowPitch + std::uint64_t{image.box.Left} * 4;
    for (UINT y = 0; y < image.height; ++y) {
        const BYTE* pixel = first + std::uint64_t{y} * image.rowPitch;
        BYTE* out = writer.row;
        for (UINT x = 0; x < image.width; ++x, pixel += 4, out += 3) {
            out[0] = pixel[2];
            out[1] = pixel[1];
            out[2] = pixel[0];
        }
        png_write_row(writer.png, writer.row);
    }
    png_write_end(writer.png, writer.info);
    return S_OK;
}

HRESULT Encode(Writer& writer, const DecodedImage& image) {
    if (setjmp(png_jmpbuf(writer.png))) return E_FAIL;
    return EncodeSteps(writer, image);
}

constexpr D3DFORMAT kPngFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};
constexpr const char* kPngExtensions[] = {".png", nullptr};

bool RecognisePng(const BYTE* bytes, UINT byteCount) {
    return byteCount >= kSignatureSize && png_sig_cmp(bytes, 0, kSignatureSize) == 0;
}

HRESULT ReadPng(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (bytes == nullptr || byteCount < kSignatureSize || png_sig_cmp(bytes, 0, kSignatureSize) != 0) return E_FAIL;
    Reader reader{nullptr, nullptr, bytes, byteCount, nullptr, 0};
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnReadError, IgnoreWarning);
    if (reader.png != nullptr) reader.info = png_create_info_struct(reader.png);
    const HRESULT result = reader.info == nullptr ? E_OUTOFMEMORY : Decode(reader, image);
    png_destroy_read_struct(&reader.png, &reader.info, nullptr);
    std::free(reader.rows);
    return result;
}

HRESULT WritePng(const DecodedImage& image, ImageOutput& output) {
    if (image.format != D3DFMT_X8R8G8B8 || image.pixels == nullptr || image.width == 0 || image.height == 0) return E_FAIL;
    Writer writer{nullptr, nullptr, &output, nullptr};
    writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, JumpOnError, IgnoreWarning);
    if (writer.png != nullptr) writer.info = png_create_info_struct(writer.png);
    const HRESULT result = writer.info == nullptr ? E_OUTOFMEMORY : Encode(writer, image);
    png_destroy_write_struct(&writer.png, &writer.info);
    std::free(writer.row);
    return result;
}

}  // namespace

extern const ImageCodec kPngCodec = {ImageFileFormat::Png, "PNG", kPngExtensions, RecognisePng, ReadPng,
                                     WritePng, kPngFormats};

}  // namespace quillmark
