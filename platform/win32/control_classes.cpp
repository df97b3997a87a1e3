// Registration of the system's window classes.
#include "platform/win32/controls.h"

namespace quillmark::win32 {

// Three LONG_PTR slots: DWLP_MSGRESULT, DWLP_DLGPROC and DWLP_USER.
constexpr int kDialogWindowExtra = 3 * sizeof(LONG_PTR);

void EnsureStandardClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    AddSystemClass("BUTTON", ButtonProc, 0);
    AddSystemClass("STATIC", StaticProc, 0);
    AddSystemClass("EDIT", EditProc, 0);
    AddSystemClass("COMBOBOX", ComboBoxProc, 0);
    AddSystemClass("SCROLLBAR", ScrollBarProc, 0);
    AddSystemClass("#32770", DefDlgProcA, kDialogWindowExtra);
}

}  // namespace quillmark::win32

// The common controls exist once this has been called, as on Win32.
void InitCommonControls() {
    using namespace quillmark::win32;
    EnsureStandardClasses();
    AddSystemClass(TRACKBAR_CLASSA, TrackbarProc, 0);
    AddSystemClass(PROGRESS_CLASSA, ProgressProc, 0);
    AddSystemClass(STATUSCLASSNAMEA, StatusBarProc, 0);
}
