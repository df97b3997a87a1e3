// The codec table: for every file format the library knows, a cheap look at
// the first bytes that recognises it, its reader and writer (either may be
// absent), the pixel formats its writer takes and the file-name extensions it
// goes by. ReadImage asks the codecs in table order and the first that
// recognises the bytes reads them; WriteImage looks the writer up by file
// format. Each format is a unit defining its entry beside its functions
// (kTgaCodec at the end of tga_codec.cpp, ...); image_codecs.cpp lists them.
#pragma once

#include "imagecodec/decoded_image.h"
#include "pixel/resample.h"

#include <span>
#include <string_view>

namespace quillmark {

// True when the bytes start as a file of the format does; cheap, and no
// promise that the file reads.
using ImageRecogniseFunction = bool (*)(const BYTE* bytes, UINT byteCount);
// A reader is entered with an empty record whose decodePixels, resourceType
// and fileFormat are set; on failure it may leave owned allocations behind
// for the dispatcher to free, and says why through Refuse (read_failure.h).
using ImageReadFunction = HRESULT (*)(DecodedImage& image, const BYTE* bytes, UINT byteCount);
using ImageWriteFunction = HRESULT (*)(const DecodedImage& image, ImageOutput& output);

struct ImageCodec {
    ImageFileFormat id;
    const char* name;                    // as a user knows the format: "BMP", "JPEG"
    const char* const* extensions;       // lower case with the dot, null-terminated
    ImageRecogniseFunction recognise;    // null when the format cannot be read
    ImageReadFunction read;              // null when the format cannot be read
    ImageWriteFunction write;            // null when the format cannot be written
    const D3DFORMAT* writeFormats;       // what `write` takes, ending with D3DFMT_UNKNOWN
};

// Every codec, in the order ReadImage asks them: formats with a signature
// first, then TGA and DIB, which have none.
std::span<const ImageCodec* const> ImageCodecs();

// The codec of a file format, or null when the library does not know it.
const ImageCodec* FindImageCodec(ImageFileFormat id);

// The codec whose extensions end `path` (case-insensitively), or null.
const ImageCodec* FindImageCodecForPath(std::string_view path);

}  // namespace quillmark
