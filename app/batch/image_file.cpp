#include "app/batch/image_file.h"

#include "app/texture_file.h"

#include "imagecodec/read_failure.h"

#include <cstdio>

namespace quillmark::batch {

namespace {

// True when a record of the image keeps pixels or a palette inside `bytes`.
bool PointsInto(const DecodedImage& top, const MappedFile& bytes) {
    const BYTE* begin = bytes.Data();
    const BYTE* end = begin + bytes.Size();
    auto inside = [&](const void* address) {
        const BYTE* at = static_cast<const BYTE*>(address);
        return at != nullptr && at >= begin && at < end;
    };
    for (const DecodedImage* face = &top; face != nullptr; face = face->nextFace)
        for (const DecodedImage* level = face; level != nullptr; level = level->nextLevel)
            if (inside(level->pixels) || inside(level->palette)) return true;
    return false;
}

}  // namespace

bool ReadImageFile(const std::string& path, ImageFile& loaded, std::string* error) {
    ClearReadFailure();
    HRESULT result = loaded.file.Open(path.c_str(), false);
    if (SUCCEEDED(result) && loaded.file.Size() == 0) {
        *error = "cannot read " + path + ": it is empty";
        return false;
    }
    if (SUCCEEDED(result))
        result = loaded.image.ReadImage(loaded.file.Data(), loaded.file.Size(), &loaded.info, TRUE);
    if (SUCCEEDED(result)) {
        // A decoded picture no longer needs the file's bytes: let them go
        // rather than hold both.
        if (!PointsInto(loaded.image, loaded.file)) loaded.file.Close();
        return true;
    }
    *error = "cannot read " + path + ": " +
             (result == E_OUTOFMEMORY ? std::string("it needs more memory than there is") : UnreadableReason(path));
    return false;
}

const DecodedImage* FaceOf(const DecodedImage& top, UINT face) {
    const DecodedImage* record = &top;
    for (UINT f = 0; record != nullptr && f < face; ++f) record = record->nextFace;
    return record;
}

const DecodedImage* LevelOf(const DecodedImage& face, UINT level) {
    const DecodedImage* record = &face;
    for (UINT l = 0; record != nullptr && l < level; ++l) record = record->nextLevel;
    return record;
}

UINT FaceCount(const DecodedImage& top) {
    UINT count = 0;
    for (const DecodedImage* face = &top; face != nullptr; face = face->nextFace) ++count;
    return count;
}

std::string ShapeText(UINT width, UINT height, UINT depth, D3DRESOURCETYPE type) {
    std::string text = std::to_string(width) + "×" + std::to_string(height);
    if (type == D3DRTYPE_VOLUMETEXTURE) text += "×" + std::to_string(depth);
    if (type == D3DRTYPE_CUBETEXTURE) text += " cube";
    return text;
}

std::string ByteText(std::uint64_t bytes) {
    if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    char text[32];
    const double value = static_cast<double>(bytes);
    if (bytes < 1000 * 1000)
        std::snprintf(text, sizeof(text), "%.1f kB", value / 1e3);
    else if (bytes < 1000ull * 1000 * 1000)
        std::snprintf(text, sizeof(text), "%.1f MB", value / 1e6);
    else
        std::snprintf(text, sizeof(text), "%.1f GB", value / 1e9);
    return text;
}

}  // namespace quillmark::batch
