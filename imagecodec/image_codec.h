// The codec table: for every file format the library knows, its reader and
// writer (either may be absent), the pixel formats its writer takes and the
// file-name extensions it goes by. ReadImage tries the readers in table
// order; WriteImage looks the writer up by file format. Each format defines
// its entry beside its reader and writer (kBmpCodec at the end of bmp_writer.cpp, ...);
// image_codecs.cpp lists them.
#pragma once

#include "decoded_image.h"
#include "resample.h"

#include <span>
#include <string_view>

namespace quillmark {

using ImageReadFunction = HRESULT (DecodedImage::*)(const BYTE* bytes, UINT byteCount);
using ImageWriteFunction = HRESULT (DecodedImage::*)(ImageOutput& output) const;

struct ImageCodec {
    ImageFileFormat id;
    const char* name;                 // as a user knows the format: "BMP", "JPEG"
    const char* const* extensions;    // lower case with the dot, null-terminated
    ImageReadFunction read;           // null when the format cannot be read
    ImageWriteFunction write;         // null when the format cannot be written
    const D3DFORMAT* writeFormats;    // what `write` takes, ending with D3DFMT_UNKNOWN
};

// Every codec, in the order ReadImage tries the readers: formats with a
// signature first, then TGA and DIB, which have none.
std::span<const ImageCodec* const> ImageCodecs();

// The codec of a file format, or null when the library does not know it.
const ImageCodec* FindImageCodec(ImageFileFormat id);

// The codec whose extensions end `path` (case-insensitively), or null.
const ImageCodec* FindImageCodecForPath(std::string_view path);

// The processor switch the JPEG reader asks before each decode: while it
// says 0 the reader uses the fast integer transform. The texture services
// install theirs at start-up.
void SetJpegVectorSwitch(VectorPathSwitch vectorEnabled);

}  // namespace quillmark
