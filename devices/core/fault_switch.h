// Process-wide Present fault switch and counter behind FailNextPresents and
// PresentCount (reference_direct3d.h).
#pragma once

namespace quillmark::core {

// True (and one fewer failure pending) when this Present is to fail.
bool TakePresentFailure();
void CountPresent();

}  // namespace quillmark::core
