// WriteImage: choosing the pixel format a file type can hold, converting the
// image to it, and running the file type's writer into a file or memory.
#include "imagecodec/decoded_image.h"
#include "pixel/format_match.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/image_limits.h"
#include "imagecodec/image_output.h"
#include "imagecodec/memory_buffer.h"
#include "imagecodec/numeric_locale.h"
#include "pixel/pixel_format.h"
#include "pixel/resample.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace quillmark {
namespace {

constexpr DWORD kConversionFilter = RESAMPLE_NONE | RESAMPLE_DITHER;

HRESULT ConvertRecord(DecodedImage& record, D3DFORMAT target) {
    // Rows of whole blocks (4 x 4 for block-compressed formats, pairs, or
    // single pixels).
    const PixelFormatInfo& info = LookupPixelFormat(target);
    const std::uint64_t rowPitch = info.RowBytes(record.width);
    const std::uint64_t slicePitch = rowPitch * info.BlockRows(record.height);
    const std::uint64_t size = slicePitch * record.depth;
    if (size == 0 || size > kMaxImageBytes) return E_OUTOFMEMORY;
    auto* block = static_cast<BYTE*>(std::malloc(size));
    if (block == nullptr) return E_OUTOFMEMORY;

    const D3DBOX whole{0, 0, record.width, record.height, 0, record.depth};
    SurfaceDesc destination;
    destination.Data = block;
    destination.Format = target;
    destination.RowPitch = static_cast<INT>(rowPitch);
    destination.SlicePitch = static_cast<INT>(slicePitch);
    destination.Extent = whole;
    destination.Box = whole;
    destination.Dither = 1;
    destination.Palette = record.palette;
    SurfaceDesc source = record.Describe();
    source.Dither = 1;
    const HRESULT result = RunConversion(destination, source, kConversionFilter);
    if (FAILED(result)) {
        std::free(block);
        return result;
    }
    if (record.ownsPixels) std::free(record.pixels);
    record.format = target;
    record.pixels = block;
    record.ownsPixels = TRUE;
    record.box = whole;
    record.rowPitch = static_cast<UINT>(rowPitch);
    record.slicePitch = static_cast<UINT>(slicePitch);
    return S_OK;
}

HRESULT ConvertAll(DecodedImage& top, D3DFORMAT target) {
    for (DecodedImage* face = &top; face != nullptr; face = face->nextFace) {
        for (DecodedImage* level = face; level != nullptr; level = level->nextLevel) {
            if (level->format == target) continue;
            const HRESULT result = ConvertRecord(*level, target);
            if (FAILED(result)) return result;
        }
    }
    return S_OK;
}

// The writers' one entry: the numeric locale they format with, and memory
// that runs out in the standard library.
HRESULT RunWriter(const DecodedImage& image, const ImageCodec& codec, ImageOutput& output) {
    NumericLocaleGuard locale;
    try {
        return codec.write(image, output);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT DecodedImage::WriteImage(const void* destination, ImageFileFormat fileFormat, OutputKind outputKind) {
    const ImageCodec* codec = FindImageCodec(fileFormat);
    if (codec == nullptr || codec->write == nullptr) return D3DERR_INVALIDCALL;
    if (destination == nullptr || pixels == nullptr || width == 0 || height == 0 || depth == 0)
        return D3DERR_INVALIDCALL;
    const D3DFORMAT target = MatchFormatInList(codec->writeFormats, palette != nullptr, LookupPixelFormat(format));
    if (target == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    HRESULT result = ConvertAll(*this, target);
    if (FAILED(result)) return result;

    ImageOutput output;
    result = output.Open(destination, outputKind);
    if (FAILED(result)) return result;
    result = RunWriter(*this, *codec, output);
    // A writer says only that its bytes did not all go out; the output knows why.
    if (FAILED(result) && FAILED(output.Failure())) result = output.Failure();
    if (SUCCEEDED(result)) result = output.Finish();
    // The growing buffer, trimmed to the bytes written, is handed over only
    // after everything succeeded.
    if (SUCCEEDED(result) && outputKind == OutputKind::Memory)
        *static_cast<MemoryBuffer**>(const_cast<void*>(destination)) = output.TakeBuffer();
    return FAILED(result) ? result : S_OK;
}

}  // namespace quillmark
