// The quillmark program: without arguments the interactive probe on the
// desktop; with a command, batch mode on the headless backend.
#include "app/batch/batch_command.h"
#include "app/batch/batch_runner.h"
#include "app/main/program_icon.h"
#include "app/shell.h"

#include "platform/win32/backend.h"
#include "devices/select/d3d9_select.h"
#include "texfile/library_switches.h"
#include "platform/win32/windows.h"

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace {

using quillmark::batch::ReportError;

constexpr const char* kBatchHint = "; without one, the batch commands work, e.g. quillmark render -o frame.png "
                                   "(see quillmark --help)";

std::string DisplayName() {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(variable);
        if (value && *value) return std::string(variable) + "=" + value;
    }
    return {};
}

int RunInteractive() {
    using namespace quillmark::win32;
    constexpr const char* kWhat = "cannot start the interactive program: ";
    if (!DesktopBackendBuilt())
        return ReportError(std::string(kWhat) + "this build has no desktop backend" + kBatchHint, 1);
    if (!DisplayAvailable()) {
        const std::string display = DisplayName();
        return ReportError(kWhat + (display.empty() ? std::string("no display is set (DISPLAY is empty)")
                                                    : "the display " + display + " cannot be opened") +
                               kBatchHint,
                           1);
    }
    if (!SelectBackend(Backend::Gtk)) return ReportError(std::string(kWhat) + "the desktop backend failed to start", 1);
    SetProgramIcon(std::string(quillmark::kProgramIconSvg));
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
    // A write past the file size limit (ulimit -f) fails with EFBIG and is
    // reported like any other failed write, instead of ending the program
    // without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    quillmark::StartTextureLibrary();
    if (argc <= 1) {
        if (const std::string unknown = quillmark::batch::DeviceChoiceError(std::nullopt); !unknown.empty())
            return ReportError(unknown, quillmark::batch::kExitUsage);
        return RunInteractive();
    }
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (const std::optional<std::string> device = InteractiveDevice(arguments)) {
        std::string error;
        if (!quillmark::SelectDevice(*device, &error)) return ReportError(error, quillmark::batch::kExitUsage);
        return RunInteractive();
    }
    return quillmark::batch::RunBatch(arguments);
}
