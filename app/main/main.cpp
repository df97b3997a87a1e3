// The quillmark program: without arguments the interactive probe on the
// desktop; with a command, batch mode on the headless backend.
#include "batch_runner.h"
#include "shell.h"

#include "backend.h"
#include "library_switches.h"
#include "windows.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool DisplayNamed() { return std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr; }

int RunInteractive() {
    using namespace quillmark::win32;
    if (!DisplayAvailable()) {
        if (DisplayNamed())
            std::fprintf(stderr,
                         "quillmark: cannot open the display (or this build has no desktop backend).\n");
        else
            std::fprintf(stderr, "quillmark: the interactive program needs a display (DISPLAY is not set).\n");
        std::fprintf(stderr,
                     "Without one, use the batch commands, e.g. quillmark render -o frame.bmp; "
                     "see quillmark --help.\n");
        return 1;
    }
    if (!SelectBackend(Backend::Gtk)) {
        std::fprintf(stderr, "quillmark: the desktop backend could not be started.\n");
        return 1;
    }
    return quillmark::RunInteractiveProbe(GetModuleHandleA(nullptr));
}

}  // namespace

int main(int argc, char** argv) {
    quillmark::StartTextureLibrary();
    if (argc <= 1) return RunInteractive();
    return quillmark::batch::RunBatch(std::vector<std::string>(argv + 1, argv + argc));
}
