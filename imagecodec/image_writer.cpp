// WriteImage: choosing the pixel format a file type can hold, converting the
// image to it, and running the file type's writer into a file or memory.
#include "decoded_image.h"
#include "format_match.h"
#include "image_limits.h"
#include "image_output.h"
#include "memory_buffer.h"
#include "numeric_locale.h"
#include "pixel_format.h"
#include "resample.h"

#include <cstdlib>
#include <cstring>

namespace quillmark {
namespace {

constexpr DWORD kConversionFilter = RESAMPLE_NONE | RESAMPLE_DITHER;

constexpr D3DFORMAT kBitmapFormats[] = {
    D3DFMT_P8,       D3DFMT_L8,       D3DFMT_R3G3B2,   D3DFMT_R8G8B8,      D3DFMT_X1R5G5B5,
    D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_R5G6B5,   D3DFMT_X4R4G4B4,    D3DFMT_A1R5G5B5,
    D3DFMT_A4R4G4B4, D3DFMT_L16,      D3DFMT_A8L8,     D3DFMT_A8R3G3B2,    D3DFMT_X8B8G8R8,
    D3DFMT_A8B8G8R8, D3DFMT_A2B10G10R10, D3DFMT_A2R10G10B10, D3DFMT_G16R16, D3DFMT_UNKNOWN,
};

// The formats a file type can be written in, or null when this library has
// no writer for it.
const D3DFORMAT* CandidateFormats(ImageFileFormat fileFormat) {
    switch (fileFormat) {
    case ImageFileFormat::Bmp:
    case ImageFileFormat::Dib: return kBitmapFormats;
    default: return nullptr;
    }
}

SurfaceDesc DescribeRecord(const DecodedImage& record) {
    SurfaceDesc desc;
    desc.Data = record.pixels;
    desc.Format = record.format;
    desc.RowPitch = static_cast<INT>(record.rowPitch);
    desc.SlicePitch = static_cast<INT>(record.slicePitch);
    desc.Extent = record.box;
    desc.Box = record.box;
    desc.Dither = 1;
    desc.Palette = record.palette;
    return desc;
}

HRESULT ConvertRecord(DecodedImage& record, D3DFORMAT target) {
    const std::uint64_t bytesPerPixel = LookupPixelFormat(target).bitsPerPixel / 8;
    const std::uint64_t rowPitch = std::uint64_t{record.width} * bytesPerPixel;
    const std::uint64_t slicePitch = rowPitch * record.height;
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
    const HRESULT result = RunConversion(destination, DescribeRecord(record), kConversionFilter);
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

HRESULT RunWriter(const DecodedImage& image, ImageFileFormat fileFormat, ImageOutput& output) {
    NumericLocaleGuard locale;
    return image.WriteBmp(output, fileFormat == ImageFileFormat::Bmp);
}

}  // namespace

bool CanWriteImageFile(ImageFileFormat fileFormat) { return CandidateFormats(fileFormat) != nullptr; }

HRESULT DecodedImage::WriteImage(const void* destination, ImageFileFormat fileFormat, OutputKind outputKind) {
    const D3DFORMAT* candidates = CandidateFormats(fileFormat);
    if (candidates == nullptr) return D3DERR_INVALIDCALL;
    if (destination == nullptr || pixels == nullptr || width == 0 || height == 0 || depth == 0)
        return D3DERR_INVALIDCALL;
    const D3DFORMAT target = MatchFormatInList(candidates, palette != nullptr, LookupPixelFormat(format));
    if (target == D3DFMT_UNKNOWN) return D3DERR_INVALIDCALL;
    HRESULT result = ConvertAll(*this, target);
    if (FAILED(result)) return result;

    ImageOutput output;
    result = output.Open(destination, outputKind);
    if (FAILED(result)) return result;
    result = RunWriter(*this, fileFormat, output);
    if (SUCCEEDED(result)) result = output.Finish();
    // The growing buffer, trimmed to the bytes written, is handed over only
    // after everything succeeded.
    if (SUCCEEDED(result) && outputKind == OutputKind::Memory)
        *static_cast<MemoryBuffer**>(const_cast<void*>(destination)) = output.TakeBuffer();
    return FAILED(result) ? result : S_OK;
}

}  // namespace quillmark
