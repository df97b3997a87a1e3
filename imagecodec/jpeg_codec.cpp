// JPEG through libjpeg-turbo: reading grey and colour files from memory
// (ReadJpeg) and writing X8R8G8B8 images with the library's defaults
// (WriteJpeg).
//
// Library errors come back by a long jump from the error manager. Each jump
// target is set in a function that keeps nothing of its own after the jump:
// the library structures, the source and destination managers and the jump
// buffer live in a record of the calling frame, which destroys them on every
// path, and no object with a destructor lives in a frame the jump crosses.
#include "imagecodec/decoded_image.h"
#include "imagecodec/decoded_pixels.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"
#include "imagecodec/read_failure.h"
#include "platform/processor/processor_features.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <jerror.h>
#include <jpeglib.h>

namespace quillmark {
namespace {

constexpr std::size_t kStagingSize = 4096;
constexpr std::uint64_t kColourBytesPerPixel = 4;
constexpr int kRowsPerRead = 4;

// The library's error manager followed by the jump target of its error exit.
struct ErrorManager {
    jpeg_error_mgr library;
    std::jmp_buf jump;
};

// A decoder's error is also the reason the read failed, in the library's words.
[[noreturn]] void JumpOnError(j_common_ptr info) {
    (*info->err->output_message)(info);
    if (info->is_decompressor) {
        char text[JMSG_LENGTH_MAX];
        (*info->err->format_message)(info, text);
        Refuse(std::string("the decoder stopped: ") + text);
    }
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

// Warnings and errors are reported through the result only.
void DropMessage(j_common_ptr) {}

// Compressed data that ends before the last block row is padded with zeros
// by the library, with a warning, which makes a few hundred bytes claiming a
// huge frame cost seconds and a gigabyte: such a file is refused instead.
void RefuseDataEndingEarly(j_common_ptr info, int level) {
    constexpr int kWarning = -1;
    if (level == kWarning && info->err->msg_code == JWRN_HIT_MARKER) ERREXIT(info, JERR_INPUT_EOF);
}

jpeg_error_mgr* InitErrorManager(ErrorManager& manager) {
    jpeg_std_error(&manager.library);
    manager.library.error_exit = JumpOnError;
    manager.library.output_message = DropMessage;
    manager.library.emit_message = RefuseDataEndingEarly;
    return &manager.library;
}

// The whole file as the decoder's input, handed over at the first refill.
// A later refill means the data ended early: it ends the decode with the
// library's premature-end error rather than handing the input over again,
// which could make the decoder read the same segments forever.
struct MemorySource {
    jpeg_source_mgr library;
    const BYTE* bytes;
    std::size_t byteCount;
    bool handedOver;
};

void IgnoreSource(j_decompress_ptr) {}

boolean RefillOnce(j_decompress_ptr info) {
    MemorySource& source = *reinterpret_cast<MemorySource*>(info->src);
    if (source.handedOver) ERREXIT(info, JERR_INPUT_EOF);
    source.handedOver = true;
    info->src->next_input_byte = source.bytes;
    info->src->bytes_in_buffer = source.byteCount;
    return TRUE;
}

// A skip past what is left empties the buffer and leaves the rest to the next
// refill (which ends the decode): the position never passes the end of the
// input.
void SkipInput(j_decompress_ptr info, long count) {
    if (count <= 0) return;
    const std::size_t step = std::min(static_cast<std::size_t>(count), info->src->bytes_in_buffer);
    info->src->next_input_byte += step;
    info->src->bytes_in_buffer -= step;
}

struct Decoder {
    jpeg_decompress_struct info;
    ErrorManager error;
    MemorySource source;
};

void AttachSource(Decoder& decoder) {
    jpeg_source_mgr& source = decoder.source.library;
    source.next_input_byte = nullptr;
    source.bytes_in_buffer = 0;
    source.init_source = IgnoreSource;
    source.fill_input_buffer = RefillOnce;
    source.skip_input_data = SkipInput;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = IgnoreSource;
    decoder.info.src = &source;
}

// Colour comes out as blue, green, red and a fourth byte, the layout of
// X8R8G8B8; grey as one byte per pixel; anything else (CMYK) is refused.
D3DFORMAT ChooseOutput(jpeg_decompress_struct& info) {
    if (info.out_color_space == JCS_GRAYSCALE) return D3DFMT_L8;
    if (info.out_color_space != JCS_RGB) return D3DFMT_UNKNOWN;
    info.out_color_space = JCS_EXT_BGRX;
    return D3DFMT_X8R8G8B8;
}

// The fourth byte of X8R8G8B8 rows is 0: pixels are masked sixteen at a
// time in vector registers.
void ClearFourthBytes(BYTE* row, UINT width) {
    using PixelGroup = DWORD __attribute__((vector_size(64)));
    constexpr DWORD kColourBits = 0x00FFFFFFu;
    constexpr UINT kGroup = sizeof(PixelGroup) / sizeof(DWORD);
    UINT x = 0;
    for (; x + kGroup <= width; x += kGroup) {
        PixelGroup group;
        std::memcpy(&group, row + 4 * x, sizeof(group));
        group &= kColourBits;
        std::memcpy(row + 4 * x, &group, sizeof(group));
    }
    for (; x < width; ++x) row[4 * x + 3] = 0;
}

// Bytes of the coefficient buffers the library keeps for a file of several
// scans (progressive ones): every block of every component, rounded up to
// whole sampling units; 0 for a file decoded in one pass.
std::uint64_t CoefficientBytes(j_decompress_ptr info) {
    if (!jpeg_has_multiple_scans(info)) return 0;
    const auto roundUp = [](std::uint64_t value, std::uint64_t unit) { return (value + unit - 1) / unit * unit; };
    std::uint64_t blocks = 0;
    for (int c = 0; c < info->num_components; ++c) {
        const jpeg_component_info& component = info->comp_info[c];
        blocks += roundUp(component.width_in_blocks, static_cast<std::uint64_t>(component.h_samp_factor)) *
                  roundUp(component.height_in_blocks, static_cast<std::uint64_t>(component.v_samp_factor));
    }
    return blocks * sizeof(JBLOCK);
}

// The pixels and the coefficient buffers together stay within the pixel
// limit; checked before anything is decoded or allocated.
bool FitsDecodeMemory(j_decompress_ptr info, std::uint64_t bytesPerPixel) {
    if (!IsSaneImageSize(info->image_width, info->image_height) ||
        !FitsImageBytes(info->image_width * bytesPerPixel, info->image_height))
        return false;
    const std::uint64_t pixelBytes = std::uint64_t{info->image_width} * bytesPerPixel * info->image_height;
    return CoefficientBytes(info) <= kMaxImageBytes - pixelBytes;
}

void ReadRows(jpeg_decompress_struct& info, DecodedImage& image) {
    JSAMPROW rows[kRowsPerRead];
    while (info.output_scanline < info.output_height) {
        const JDIMENSION first = info.output_scanline;
        const int count = static_cast<int>(std::min<JDIMENSION>(kRowsPerRead, info.output_height - first));
        for (int i = 0; i < count; ++i) rows[i] = image.pixels + std::uint64_t{first + i} * image.rowPitch;
        const JDIMENSION read = jpeg_read_scanlines(&info, rows, static_cast<JDIMENSION>(count));
        if (image.format == D3DFMT_X8R8G8B8)
            for (JDIMENSION i = 0; i < read; ++i) ClearFourthBytes(rows[i], image.width);
    }
}

// The reader's steps between the jump target and the end; a library error
// leaves them by the long jump.
HRESULT DecodeSteps(Decoder& decoder, DecodedImage& image) {
    jpeg_decompress_struct& info = decoder.info;
    jpeg_create_decompress(&info);
    // Progressive files keep every coefficient in memory; bound it as the
    // pixel block is bounded.
    info.mem->max_memory_to_use = static_cast<long>(kMaxImageBytes);
    AttachSource(decoder);
    jpeg_read_header(&info, TRUE);
    // Where MMX is not allowed, the fast integer transform stands in for the vector one.
    if (!processor::Allows(processor::kMmx)) info.dct_method = JDCT_IFAST;

    const D3DFORMAT format = ChooseOutput(info);
    const std::uint64_t bytesPerPixel = format == D3DFMT_L8 ? 1 : kColourBytesPerPixel;
    if (format == D3DFMT_UNKNOWN || !FitsDecodeMemory(&info, bytesPerPixel)) return E_FAIL;
    jpeg_start_decompress(&info);

    DescribePixels(image, format, info.output_width, info.output_height);
    if (!image.decodePixels) return S_OK;

    // Owned by the record from here on: the dispatcher frees it on failure.
    image.pixels = static_cast<BYTE*>(std::malloc(std::uint64_t{image.rowPitch} * image.height));
    if (image.pixels == nullptr) return E_OUTOFMEMORY;
    image.ownsPixels = TRUE;
    ReadRows(info, image);
    jpeg_finish_decompress(&info);
    return S_OK;
}

HRESULT Decode(Decoder& decoder, DecodedImage& image) {
    decoder.info.err = InitErrorManager(decoder.error);
    if (setjmp(decoder.error.jump)) return E_FAIL;
    return DecodeSteps(decoder, image);
}

// Compressed bytes go to the ImageOutput through a staging block; a failed
// write ends the compression with an error.
struct OutputDestination {
    jpeg_destination_mgr library;
    ImageOutput* output;
    JOCTET staging[kStagingSize];
};

void ResetStaging(OutputDestination& destination) {
    destination.library.next_output_byte = destination.staging;
    destination.library.free_in_buffer = kStagingSize;
}

void SendStaged(j_compress_ptr info, std::size_t count) {
    OutputDestination& destination = *reinterpret_cast<OutputDestination*>(info->dest);
    DWORD written = 0;
    const HRESULT result = destination.output->Write(destination.staging, static_cast<DWORD>(count), &written);
    if (FAILED(result) || written != count) ERREXIT(info, JERR_FILE_WRITE);
}

void StartDestination(j_compress_ptr info) { ResetStaging(*reinterpret_cast<OutputDestination*>(info->dest)); }

boolean SendFullStaging(j_compress_ptr info) {
    SendStaged(info, kStagingSize);
    ResetStaging(*reinterpret_cast<OutputDestination*>(info->dest));
    return TRUE;
}

void SendRest(j_compress_ptr info) {
    const std::size_t waiting = kStagingSize - info->dest->free_in_buffer;
    if (waiting != 0) SendStaged(info, waiting);
}

struct Encoder {
    jpeg_compress_struct info;
    ErrorManager error;
    OutputDestination destination;
};

HRESULT EncodeSteps(Encoder& encoder, const DecodedImage& image) {
    jpeg_compress_struct& info = encoder.info;
    jpeg_create_compress(&info);
    // X8R8G8B8 rows go in as they are: blue, green, red and an ignored byte.
    info.in_color_space = JCS_EXT_BGRX;
    info.input_components = 4;
    jpeg_set_defaults(&info);
    info.input_gamma = 2.2;
    info.image_width = image.width;
    info.image_height = image.height;
    encoder.destination.library.init_destination = StartDestination;
    encoder.destination.library.empty_output_buffer = SendFullStaging;
    encoder.destination.library.term_destination = SendRest;
    info.dest = &encoder.destination.library;
    jpeg_start_compress(&info, TRUE);

    const BYTE* first = image.pixels + std::uint64_t{image.box.Top} * image.rowPitch +
                        std::uint64_t{image.box.Left} * kColourBytesPerPixel;
    for (UINT y = 0; y < image.height; ++y) {
        JSAMPROW row = const_cast<BYTE*>(first + std::uint64_t{y} * image.rowPitch);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    return S_OK;
}

HRESULT Encode(Encoder& encoder, const DecodedImage& image) {
    encoder.info.err = InitErrorManager(encoder.error);
    if (setjmp(encoder.error.jump)) return E_FAIL;
    return EncodeSteps(encoder, image);
}

constexpr D3DFORMAT kJpegFormats[] = {D3DFMT_X8R8G8B8, D3DFMT_UNKNOWN};
constexpr const char* kJpegExtensions[] = {".jpg", ".jpeg", nullptr};

// The start-of-image marker followed by another marker.
bool RecogniseJpeg(const BYTE* bytes, UINT byteCount) {
    return byteCount >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

HRESULT ReadJpeg(DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    if (bytes == nullptr || byteCount == 0) return E_FAIL;
    Decoder decoder{};
    decoder.source.bytes = bytes;
    decoder.source.byteCount = byteCount;
    const HRESULT result = Decode(decoder, image);
    jpeg_destroy_decompress(&decoder.info);
    return result;
}

HRESULT WriteJpeg(const DecodedImage& image, ImageOutput& output) {
    if (image.format != D3DFMT_X8R8G8B8 || image.pixels == nullptr || image.width == 0 || image.height == 0) return E_FAIL;
    Encoder encoder{};
    encoder.destination.output = &output;
    const HRESULT result = Encode(encoder, image);
    jpeg_destroy_compress(&encoder.info);
    return result;
}

}  // namespace

extern const ImageCodec kJpegCodec = {ImageFileFormat::Jpg, "JPEG", kJpegExtensions, RecogniseJpeg, ReadJpeg,
                                      WriteJpeg, kJpegFormats};


}  // namespace quillmark
