// A colour as the texture stages combine it: four floats, each channel in
// [0, 1] for unsigned formats (the format's own range otherwise).
#pragma once

namespace quillmark::core {

struct Color4 {
    float r, g, b, a;
};

}  // namespace quillmark::core
