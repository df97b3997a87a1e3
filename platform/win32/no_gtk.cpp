// A build without the desktop backend: nothing to create or to probe.
#ifndef QUILLMARK_HAVE_GTK
#include "platform/win32/backend_impl.h"
#include "platform/win32/desktop_probe.h"

namespace quillmark::win32 {

BackendImpl* CreateGtkBackend() { return nullptr; }

void DesktopProcessEvents() {}
bool DesktopClick(HWND) { return false; }
bool DesktopChooseComboItem(HWND, int) { return false; }
bool DesktopDragThumb(HWND, int) { return false; }
bool DesktopAnswerFileChooser(const std::string&) { return false; }
bool DesktopChooseMenuItem(HWND, UINT) { return false; }
bool DesktopClose(HWND) { return false; }
bool DesktopDoubleClickCaption(HWND) { return false; }
bool DesktopCaptionCentre(HWND, POINT&) { return false; }
DesktopFacts DesktopFactsOf(HWND) { return {}; }
std::vector<std::uint32_t> DesktopSnapshot(HWND, int& width, int& height, int) {
    width = height = 0;
    return {};
}

}  // namespace quillmark::win32
#endif
