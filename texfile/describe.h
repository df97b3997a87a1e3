// What an image file holds, described for a person or a program: its file
// and pixel formats, shape, every level's size and bytes, a DDS header's own
// facts with whatever in them does not hold together, and the top level's
// channel statistics.
#pragma once

#include "imagecodec/dds_header_facts.h"
#include "imagecodec/image_types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmark {

struct LevelFacts {
    UINT width = 0;
    UINT height = 0;
    UINT depth = 0;
    std::uint64_t bytes = 0;  // as the reader holds it: the file's bytes for DDS
};

// One channel of the first face's top level, every slice of it: its
// smallest, largest and mean value, in the range LevelAsFloats gives.
struct ChannelStatistics {
    char channel = 'R';  // 'R', 'G', 'B', 'A', or 'L' for grey
    double minimum = 0;
    double maximum = 0;
    double mean = 0;
};

struct ImageDescription {
    ImageFileFormat fileFormat = ImageFileFormat::Bmp;
    std::string fileFormatName;  // "DDS", "PNG"
    D3DFORMAT format = D3DFMT_UNKNOWN;  // as read: a reader may widen or decode what the file stores
    std::string formatName;             // "A8R8G8B8"
    D3DRESOURCETYPE resourceType = D3DRTYPE_TEXTURE;
    UINT width = 0;
    UINT height = 0;
    UINT depth = 0;
    UINT levels = 0;
    UINT faces = 0;
    std::vector<LevelFacts> levelFacts;  // the first face's, largest first
    std::uint64_t totalBytes = 0;        // every level of every face
    std::optional<DdsHeaderFacts> dds;
    std::vector<ChannelStatistics> statistics;  // only when asked for
};

// Describes the image file in `bytes`. S_OK; TEXERR_UNREADABLE when no
// reader takes it (LastReadFailure says why); D3DERR_INVALIDCALL for no
// bytes; E_OUTOFMEMORY.
HRESULT DescribeImage(const BYTE* bytes, UINT byteCount, bool withStatistics, ImageDescription& description);

}  // namespace quillmark
