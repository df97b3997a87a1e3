// A render target that a renderer holds on its own side (a driver's image)
// besides the surface's memory: which of the two is newer, and the rules
// for moving pixels between them that every such renderer follows.
#pragma once

#include <cstdint>

#include "platform/d3d9/d3d9types.h"

namespace quillmark::core {

class Surface;

class TargetMirror {
public:
    TargetMirror() = default;
    // The copy starts as the memory is: taken up before the first drawing.
    explicit TargetMirror(Surface* surface) : surface_(surface) {}

    Surface* surface() const { return surface_; }
    // Whether the memory changed since the copy last took it up.
    bool NeedsTakeUp() const;
    // The copy now holds what the memory holds.
    void TookUp();
    // Before the copy is cleared in `rect`: a clear of the whole target
    // leaves nothing of what the memory held, which need not be taken up.
    void WillClear(const D3DRECT& rect);
    // The copy was drawn into (or cleared): the memory is behind it.
    void MarkDrawn() { drawn_ = true; }
    bool NeedsReadBack() const { return drawn_; }
    // After the copy's pixels were written into the memory: an X8R8G8B8
    // target's unused alpha reads as opaque, as the software renderer
    // leaves it, and both sides are the same again.
    void ReadBackDone();

private:
    Surface* surface_ = nullptr;
    std::uint64_t syncedVersion_ = ~std::uint64_t{0};  // the memory's version the copy holds
    bool drawn_ = false;
};

}  // namespace quillmark::core
