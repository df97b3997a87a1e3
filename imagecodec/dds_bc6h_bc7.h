// The decoders of BC6H and BC7 blocks, which Direct3D 9 lacks, into formats
// that hold their values without loss.
#pragma once

#include "platform/d3d9/d3d9types.h"

namespace quillmark::dds {

// One BC6H block (16 bytes) into 16 pixels of A16B16G16R16F (red, green,
// blue as half floats, alpha 1), in pixel order. Blocks of the reserved
// modes decode to black.
void DecodeBc6hBlock(const BYTE* block, bool isSigned, BYTE* out);

// One BC7 block (16 bytes) into 16 pixels of A8R8G8B8, in pixel order.
// Blocks of no mode (a first byte of 0) decode to transparent black.
void DecodeBc7Block(const BYTE* block, BYTE* out);

}  // namespace quillmark::dds
