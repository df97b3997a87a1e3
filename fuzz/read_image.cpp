// ReadImage on the input, every reader through detection: header facts
// only, then decoding. The summary must agree with the record, and only
// the dispatcher's own codes may come back.
#include "fuzz_support.h"

#include "pixel/format_match.h"

using namespace quillmark;

namespace {

// Counted here, apart from the library's count that the summary reports.
UINT ChainLength(const DecodedImage& top) {
    UINT levels = 0;
    for (const DecodedImage* level = &top; level != nullptr; level = level->nextLevel) ++levels;
    return levels;
}

void CheckSummary(const DecodedImage& image, const ImageInfo& info) {
    fuzz::Require(info.Width == image.width && info.Height == image.height && info.Depth == image.depth,
                  "summary sizes differ from the record");
    fuzz::Require(info.MipLevels == ChainLength(image), "summary level count differs from the chain");
    fuzz::Require(info.Format == MapInternalFormat(image.format), "summary format differs from the record");
    fuzz::Require(info.ImageFileFormat == image.fileFormat, "summary file format differs from the record");
    for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace)
        for (const DecodedImage* level = face; level != nullptr; level = level->nextLevel)
            fuzz::Require(level->box.Left == 0 && level->box.Top == 0 && level->box.Right == level->width &&
                              level->box.Bottom == level->height && level->box.Front == 0 &&
                              level->box.Back == level->depth,
                          "box is not the whole record");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz::kMaxInputSize) return 0;
    const fuzz::CpuTimeLimit limit;
    const fuzz::ExactInput input(data, size);
    for (const BOOL decode : {FALSE, TRUE}) {
        DecodedImage image;
        ImageInfo info;
        const HRESULT result = image.ReadImage(input.Data(), input.Size(), &info, decode);
        if (size == 0) {
            fuzz::Require(result == D3DERR_INVALIDCALL, "no bytes not refused as an invalid call");
            return 0;
        }
        fuzz::Require(result == S_OK || result == TEXERR_UNREADABLE, "ReadImage returned a reader's own code");
        if (result != S_OK) return 0;
        CheckSummary(image, info);
        fuzz::CheckDecoded(image, decode);
        if (!fuzz::WithinDecodeBudget(image)) return 0;
    }
    return 0;
}
