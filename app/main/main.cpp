// The quillmark program: without arguments the interactive probe on the
// desktop; with a command, batch mode on the headless backend.
#include "batch_runner.h"
#include "shell.h"

#include "backend.h"
#include "batch_command.h"
#include "d3d9_select.h"
#include "library_switches.h"
#include "windows.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
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

// The device of "quillmark --device NAME" (or --device=NAME): the
// interactive program on that device.
std::optional<std::string> InteractiveDevice(const std::vector<std::string>& arguments) {
    constexpr std::string_view kFlag = "--device";
    if (arguments.size() == 2 && arguments[0] == kFlag) return arguments[1];
    if (arguments.size() == 1 && arguments[0].starts_with(std::string(kFlag) + "="))
        return arguments[0].substr(kFlag.size() + 1);
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
    quillmark::StartTextureLibrary();
    if (argc <= 1) return RunInteractive();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const std::optional<std::string> device = InteractiveDevice(arguments)) {
        std::string error;
        if (!quillmark::SelectDevice(*device, &error)) {
            std::fprintf(stderr, "quillmark: %s\n", error.c_str());
            return quillmark::batch::kExitUsage;
        }
        return RunInteractive();
    }
    return quillmark::batch::RunBatch(arguments);
}
