// One reader of the codec table called directly, header facts only and then
// decoding. The codec is chosen when this file is compiled
// (QUILLMARK_FUZZ_CODEC names its table entry, e.g. kBmpCodec).
#include "fuzz_support.h"

namespace quillmark {
extern const ImageCodec QUILLMARK_FUZZ_CODEC;
}

using namespace quillmark;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (QUILLMARK_FUZZ_CODEC.read == nullptr) {
        std::fprintf(stderr, "%s has no reader to fuzz\n", QUILLMARK_FUZZ_CODEC.name);
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > fuzz::kMaxInputSize) return 0;
    const fuzz::CpuTimeLimit limit;
    const fuzz::ExactInput input(data, size);
    for (const BOOL decode : {FALSE, TRUE}) {
        DecodedImage image;
        image.decodePixels = decode;
        image.resourceType = D3DRTYPE_TEXTURE;
        image.fileFormat = QUILLMARK_FUZZ_CODEC.id;
        const HRESULT result = QUILLMARK_FUZZ_CODEC.read(image, input.Data(), input.Size());
        if (FAILED(result)) return 0;
        fuzz::CheckDecoded(image, decode);
        if (!fuzz::WithinDecodeBudget(image)) return 0;
    }
    return 0;
}
