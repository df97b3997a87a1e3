#include "devices/core/target_mirror.h"

#include "devices/core/surface_resource.h"

namespace quillmark::core {

bool TargetMirror::NeedsTakeUp() const { return surface_ && surface_->ContentVersion() != syncedVersion_; }

void TargetMirror::TookUp() {
    syncedVersion_ = surface_->ContentVersion();
    drawn_ = false;
}

void TargetMirror::WillClear(const D3DRECT& r) {
    if (r.x1 == 0 && r.y1 == 0 && r.x2 == LONG(surface_->Traits().width) && r.y2 == LONG(surface_->Traits().height))
        syncedVersion_ = surface_->ContentVersion();
}

void TargetMirror::ReadBackDone() {
    PixelStore& pixels = surface_->Pixels();
    if (pixels.format == D3DFMT_X8R8G8B8) {
        for (std::uint32_t y = 0; y < pixels.height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(pixels.BlockAt(0, y));
            for (std::uint32_t x = 0; x < pixels.width; ++x) row[x] |= 0xFF000000u;
        }
    }
    surface_->MarkChanged();
    TookUp();
}

}  // namespace quillmark::core
