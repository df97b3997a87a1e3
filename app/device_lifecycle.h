// Creation of the Direct3D object and device, the ordered release of every
// device object, and the rebuild after a frame could not be presented.
#pragma once

#include "platform/win32/windows.h"

namespace quillmark {

// Creates `direct3d` and `device` for the window; S_OK or E_FAIL.
HRESULT InitDevice(HWND window);

// Releases fileTexture, mipTexture, tunnelBuffer, planeBuffer, device,
// direct3d (each only when held) and clears their holders. The path of the
// file texture is kept, so that a rebuilt device can load it again.
void ReleaseAll();

// Rebuilds the device and every device object after a failed Present:
// restores `phase` from `savedPhase`, releases everything, creates the device
// again, rebuilds the buffers and the generated texture and loads the file
// texture again from its file. Returns false
// when the device could not be created; the caller then skips frames and
// retries later.
bool RecoverDevice();

}  // namespace quillmark
