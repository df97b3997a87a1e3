// A value oracle for the lossless formats: a file that reads is written back
// in its own format, when that format stores the decoded pixels unchanged
// (BMP, DIB, DDS and PFM in the pixel format read; PNG from X8R8G8B8), and
// the written file must read back to the same pixels. A reader that
// corrects, flips or drops anything it should not disagrees with its writer
// here, which the sanitizers alone never see.
#include "fuzz_support.h"
#include "pixel/resample.h"

#include <cmath>
#include <vector>

using namespace quillmark;

namespace {

// Formats whose writer keeps every bit of the pixels its reader gives.
constexpr ImageFileFormat kLossless[] = {ImageFileFormat::Bmp, ImageFileFormat::Dib, ImageFileFormat::Dds,
                                         ImageFileFormat::Pfm, ImageFileFormat::Png};

bool IsLossless(ImageFileFormat format) {
    for (ImageFileFormat lossless : kLossless)
        if (lossless == format) return true;
    return false;
}

bool Writes(const ImageCodec& codec, D3DFORMAT format) {
    for (const D3DFORMAT* f = codec.writeFormats; f != nullptr && *f != D3DFMT_UNKNOWN; ++f)
        if (*f == format) return true;
    return false;
}

// The top level as four floats per pixel, through the library's conversion.
std::vector<float> AsFloats(const DecodedImage& image) {
    std::vector<float> floats(std::size_t{image.width} * image.height * 4);
    SurfaceDesc destination;
    destination.Data = reinterpret_cast<BYTE*>(floats.data());
    destination.Format = D3DFMT_A32B32G32R32F;
    destination.RowPitch = static_cast<INT>(image.width * 16);
    destination.Extent = destination.Box = D3DBOX{0, 0, image.width, image.height, 0, 1};
    SurfaceDesc source = image.Describe();
    source.Box.Back = source.Box.Front + 1;
    source.Extent = source.Box;
    if (FAILED(RunConversion(destination, source, RESAMPLE_NONE))) fuzz::Fail("a decoded image does not convert");
    return floats;
}

bool SameValue(float a, float b) { return a == b || (std::isnan(a) && std::isnan(b)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > fuzz::kMaxInputSize) return 0;
    const fuzz::CpuTimeLimit limit;
    const fuzz::ExactInput input(data, size);
    ImageInfo info{};
    if (!fuzz::HeaderWithin(input, fuzz::kMaxDecodedPixels, info) || !IsLossless(info.ImageFileFormat)) return 0;
    DecodedImage image;
    if (image.ReadImage(input.Data(), input.Size(), nullptr, TRUE) != S_OK) return 0;
    const ImageCodec& codec = *FindImageCodec(image.fileFormat);
    if (!Writes(codec, image.format) || image.depth != 1) return 0;

    MemoryBuffer* buffer = nullptr;
    if (FAILED(image.WriteImage(&buffer, codec.id, OutputKind::Memory))) return 0;
    const fuzz::ExactInput file = fuzz::TakeWritten(buffer);
    DecodedImage back;
    fuzz::Require(back.ReadImage(file.Data(), file.Size(), nullptr, TRUE) == S_OK, "a written file does not read");
    fuzz::Require(back.fileFormat == codec.id && back.width == image.width && back.height == image.height,
                  "a written file reads as another format or size");
    const std::vector<float> before = AsFloats(image), after = AsFloats(back);
    for (std::size_t i = 0; i < before.size(); ++i) {
        if (SameValue(before[i], after[i])) continue;
        std::fprintf(stderr, "%s: value %zu of the top level was %g, reads back as %g\n", codec.name, i,
                     static_cast<double>(before[i]), static_cast<double>(after[i]));
        fuzz::Fail("a lossless round trip changed a pixel");
    }
    return 0;
}
