// An image file read whole for the file commands (convert, info, diff): the
// file's bytes, mapped, and the image the library reads from them, or one
// sentence saying why it cannot be read.
#pragma once

#include "imagecodec/decoded_image.h"
#include "imagecodec/mapped_file.h"

#include <cstdint>
#include <string>

namespace quillmark::batch {

struct ImageFile {
    MappedFile file;    // the bytes the image points into; closed once it points into none
    DecodedImage image;  // pixels decoded: block-compressed levels as A8R8G8B8 and the like
    ImageInfo info{};    // as the file stores it (Format is the stored format)
};

// Reads `path` into `loaded`; false with "cannot read PATH: why" in *error.
bool ReadImageFile(const std::string& path, ImageFile& loaded, std::string* error);

// The face `face` of an image (its nextFace chain), or null.
const DecodedImage* FaceOf(const DecodedImage& top, UINT face);
// The level `level` of a face (its nextLevel chain), or null.
const DecodedImage* LevelOf(const DecodedImage& face, UINT level);
UINT FaceCount(const DecodedImage& top);

// "2048×2048", "64×64×16" for a volume, "256×256 cube".
std::string ShapeText(UINT width, UINT height, UINT depth, D3DRESOURCETYPE type);

// A byte count as people read it: "812 bytes", "12.4 kB", "2.7 MB" (powers of 1000).
std::string ByteText(std::uint64_t bytes);

}  // namespace quillmark::batch
