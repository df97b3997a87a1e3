#include "reference_device.h"

namespace quillmark::reference {

HRESULT ReferenceDevice::DrawPrimitive(D3DPRIMITIVETYPE, UINT, UINT) { return D3DERR_INVALIDCALL; }

}  // namespace quillmark::reference
