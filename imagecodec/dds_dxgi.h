// The DX10 extension of the DDS header: the DXGI format codes a file may
// name, which of them the reader takes (as the Direct3D 9 format with the
// same layout, or decoded from a block format Direct3D 9 lacks), and the
// decoding of those blocks (BC4, BC5, BC6H, BC7) into formats that hold
// them without loss.
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <cstdint>

namespace quillmark::dds {

// Stored pixels the reader decodes into another format: blocks, and two
// 8-bit channels (red, green) that go where BC5's do.
enum class BlockDecode : std::uint8_t { None, Bc4, Bc4Signed, Bc5, Bc5Signed, Bc6h, Bc6hSigned, Bc7, Rg8 };

// What the reader makes of a stored format: the format its records hold and,
// for a decoded block format, the decoding.
struct StoredFormat {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    BlockDecode decode = BlockDecode::None;
};

// The DXGI format `code` as the reader takes it; D3DFMT_UNKNOWN for one it
// does not read.
StoredFormat FromDxgi(DWORD code);

// The four-character codes of BC4 and BC5 files without the DX10 header.
StoredFormat FromBlockFourCC(DWORD fourCC);

// The DXGI format's name ("DXGI_FORMAT_BC7_UNORM"), or its number in words.
const char* DxgiName(DWORD code, char (&buffer)[40]);

// The stored size of a level of a decoded format: bytes per row (of 4 x 4
// blocks for block formats) and rows.
struct StoredLevel {
    std::uint64_t rowBytes;
    std::uint64_t rows;
};
StoredLevel StoredLevelSize(BlockDecode decode, std::uint64_t width, std::uint64_t height);

// Decodes a level of `width` x `height` pixels from its stored rows
// (`sourcePitch` bytes apart) into `out`, rows `outPitch` bytes apart, in
// the format FromDxgi gives for it.
void DecodeBlocks(BlockDecode decode, const BYTE* blocks, UINT sourcePitch, UINT width, UINT height, BYTE* out,
                  UINT outPitch);

}  // namespace quillmark::dds
