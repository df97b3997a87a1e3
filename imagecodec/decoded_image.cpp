#include "decoded_image.h"

#include "format_match.h"
#include "image_codec.h"
#include "numeric_locale.h"

#include <cstdlib>
#include <cstring>

namespace quillmark {
namespace {

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

    HRESULT result = E_FAIL;
    {
        NumericLocaleGuard locale;
        for (const ImageCodec* codec : ImageCodecs()) {
            if (codec->read == nullptr) continue;
            decodePixels = decode;
            resourceType = D3DRTYPE_TEXTURE;
            fileFormat = codec->id;
            result = (this->*codec->read)(static_cast<const BYTE*>(bytes), byteCount);
            if (SUCCEEDED(result)) break;
            ReleaseContents();
        }
    }
    if (FAILED(result)) return TEXERR_UNREADABLE;

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
