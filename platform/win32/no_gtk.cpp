// A build without the desktop backend.
#ifndef QUILLMARK_HAVE_GTK
#include "backend_impl.h"

namespace quillmark::win32 {

BackendImpl* CreateGtkBackend() { return nullptr; }

}  // namespace quillmark::win32
#endif
