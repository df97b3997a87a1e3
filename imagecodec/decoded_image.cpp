#include "imagecodec/decoded_image.h"

#include "pixel/format_match.h"
#include "imagecodec/image_codec.h"
#include "imagecodec/numeric_locale.h"
#include "imagecodec/read_failure.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace quillmark {
namespace {

const ImageCodec* RecognisingCodec(const BYTE* bytes, UINT byteCount) {
    for (const ImageCodec* codec : ImageCodecs())
        if (codec->recognise != nullptr && codec->recognise(bytes, byteCount)) return codec;
    return nullptr;
}

// The readers' one entry: the numeric locale they scan with, and memory that
// runs out in the standard library.
HRESULT RunReader(const ImageCodec& codec, DecodedImage& image, const BYTE* bytes, UINT byteCount) {
    NumericLocaleGuard locale;
    try {
        return codec.read(image, bytes, byteCount);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

void SetWholeBox(DecodedImage& record) {
    record.box = D3DBOX{0, 0, record.width, record.height, 0, record.depth};
}

}  // namespace

UINT LevelCount(const DecodedImage& top) {
    UINT levels = 1;
    for (const DecodedImage* level = top.nextLevel; level != nullptr; level = level->nextLevel) ++levels;
    return levels;
}

DecodedImage::~DecodedImage() { ReleaseContents(); }

void DecodedImage::ReleaseContents() {
    if (ownsPixels) std::free(pixels);
    if (ownsPalette) std::free(palette);
    delete nextLevel;
    delete nextFace;
    pixels = nullptr;
    palette = nullptr;
    ownsPixels = FALSE;
    ownsPalette = FALSE;
    nextLevel = nullptr;
    nextFace = nullptr;
}

HRESULT DecodedImage::ReadImage(const void* bytes, UINT byteCount, ImageInfo* info, BOOL decode) {
    if (bytes == nullptr || byteCount == 0) return D3DERR_INVALIDCALL;
    if (info == nullptr && !decode) return S_OK;

    ClearReadFailure();
    const ImageCodec* codec = RecognisingCodec(static_cast<const BYTE*>(bytes), byteCount);
    if (codec == nullptr) return TEXERR_UNREADABLE;
    decodePixels = decode;
    resourceType = D3DRTYPE_TEXTURE;
    fileFormat = codec->id;
    const HRESULT result = RunReader(*codec, *this, static_cast<const BYTE*>(bytes), byteCount);
    if (FAILED(result)) {
        ReleaseContents();
        if (result == E_OUTOFMEMORY && LastReadFailure().empty()) Refuse("there is not enough memory to read it");
        NameReadFailure(codec->name);
        return TEXERR_UNREADABLE;
    }

    if (info != nullptr) {
        std::memset(info, 0, sizeof(*info));
        info->Width = width;
        info->Height = height;
        info->Depth = depth;
        info->MipLevels = LevelCount(*this);
        info->Format = MapInternalFormat(format);
        info->ResourceType = resourceType;
        info->ImageFileFormat = fileFormat;
    }
    for (DecodedImage* face = this; face != nullptr; face = face->nextFace)
        for (DecodedImage* level = face; level != nullptr; level = level->nextLevel) SetWholeBox(*level);
    return S_OK;
}

}  // namespace quillmark
