// DecodedImage: one level of one face of an image in memory, as every reader
// delivers it and every writer takes it, with its chained further levels and
// cube faces. ReadImage recognises a file by its content; FromSurface wraps a
// locked surface; WriteImage (image_writer.cpp) writes the record to a file or
// to memory.
#pragma once

#include "platform/d3d9/d3d9types.h"
#include "imagecodec/image_types.h"
#include "platform/win32/wintypes.h"

namespace quillmark {

struct SurfaceDesc;
class ImageOutput;

struct DecodedImage {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    BYTE* pixels = nullptr;
    PALETTEENTRY* palette = nullptr;  // 256 entries when present
    UINT width = 0;
    UINT height = 0;
    UINT depth = 0;
    D3DBOX box = {};
    UINT rowPitch = 0;
    UINT slicePitch = 0;
    BOOL ownsPixels = FALSE;
    BOOL ownsPalette = FALSE;
    BOOL decodePixels = FALSE;
    D3DRESOURCETYPE resourceType = D3DRTYPE_TEXTURE;
    ImageFileFormat fileFormat = ImageFileFormat::Bmp;
    DecodedImage* nextLevel = nullptr;  // owned
    DecodedImage* nextFace = nullptr;   // owned

    DecodedImage() = default;
    ~DecodedImage();
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;

    // Recognises and reads a whole file held in `bytes`: the first codec that
    // recognises them reads them. D3DERR_INVALIDCALL for no bytes,
    // TEXERR_UNREADABLE when no codec recognises them or its reader fails
    // (LastReadFailure in read_failure.h then says why, in words).
    HRESULT ReadImage(const void* bytes, UINT byteCount, ImageInfo* info, BOOL decodePixels);

    // Describes the region of a locked surface or volume without copying it.
    HRESULT FromSurface(const SurfaceDesc& desc);
    // The record's pixels as one side of a conversion: its box as region and
    // extent, no dither. The inverse of FromSurface.
    SurfaceDesc Describe() const;

    // Converts to a format `fileFormat` can hold and writes the file (or, for
    // OutputKind::Memory, hands a MemoryBuffer** destination a new buffer).
    HRESULT WriteImage(const void* destination, ImageFileFormat fileFormat, OutputKind outputKind);

    // Frees what the record owns and its chains; leaves it empty.
    void ReleaseContents();
};

// The levels of a face: the record and those chained through nextLevel.
UINT LevelCount(const DecodedImage& top);

}  // namespace quillmark
