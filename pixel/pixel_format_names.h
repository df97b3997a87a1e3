// The names people know the table's formats by: the Direct3D 9 name without
// its "D3DFMT_" prefix ("A8R8G8B8", "DXT1"), and the private codes by their
// four characters ("AL16", "R16").
#pragma once

#include "platform/d3d9/d3d9types.h"

#include <string>
#include <string_view>

namespace quillmark {

// The format's name; a format the table lacks reads as its number
// ("format 1234").
std::string PixelFormatName(D3DFORMAT format);

// The format named `name` (upper or lower case, with or without "D3DFMT_"),
// or D3DFMT_UNKNOWN.
D3DFORMAT PixelFormatByName(std::string_view name);

}  // namespace quillmark
