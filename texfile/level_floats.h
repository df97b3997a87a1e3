// A level of a decoded image as four floats a pixel, for measuring it.
#pragma once

#include "imagecodec/decoded_image.h"

#include <vector>

namespace quillmark {

// The level's pixels as red, green, blue and alpha floats, slice after slice,
// rows top-down: the values the library's conversions give (0 to 1 for
// unsigned normalised formats, alpha 1 and grey in all three colours where
// the format has none). E_OUTOFMEMORY, or the conversion's failure.
HRESULT LevelAsFloats(const DecodedImage& level, std::vector<float>& rgba);

}  // namespace quillmark
