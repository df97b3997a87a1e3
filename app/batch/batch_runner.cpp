#include "batch_runner.h"

#include "app_state.h"
#include "batch_command.h"
#include "settings_flags.h"
#include "shell.h"

#include "backend.h"
#include "d3d9_select.h"

#include <cstdio>

namespace quillmark::batch {
namespace {

constexpr int kSettlePassLimit = 10000;

std::vector<std::string> g_arguments;

int UsageError(const std::string& message) {
    std::fprintf(stderr, "quillmark: %s\n", message.c_str());
    return kExitUsage;
}

// The probe, started on the headless backend for the length of one command.
class HeadlessProbe {
public:
    HeadlessProbe() : instance_(GetModuleHandleA(nullptr)) {
        win32::SelectBackend(win32::Backend::Headless);
        g_app = AppState{};
        started_ = StartProbe(instance_);
    }
    ~HeadlessProbe() {
        if (!started_) return;
        if (IsWindow(g_app.mainWindow)) DestroyWindow(g_app.mainWindow);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message != WM_QUIT) DispatchMessageA(&message);
        }
        FinishProbe(instance_);
    }
    HeadlessProbe(const HeadlessProbe&) = delete;
    HeadlessProbe& operator=(const HeadlessProbe&) = delete;

    bool started() const { return started_; }

private:
    HINSTANCE instance_;
    bool started_ = false;
};

}  // namespace

int RunOnHeadlessProbe(const BatchSettings& settings,
                       const std::function<int(const std::vector<std::string>&)>& work) {
    HeadlessProbe probe;
    if (!probe.started()) return kExitFailure;  // StartProbe said why
    std::string error;
    if (!ApplySettings(settings.actions, &error)) return UsageError(error);
    if (TextureFileRefused(settings.actions)) return kExitFailure;  // the load said why on stderr
    PostMessageA(g_app.mainWindow, WM_USER, 0, 0);  // a frame showing the settings
    if (!SettleMessageLoop()) {
        std::fprintf(stderr, "quillmark: no frame could be drawn (the device is gone)\n");
        return kExitFailure;
    }
    return work(settings.rest);
}

bool SettleMessageLoop() {
    for (int pass = 0; pass < kSettlePassLimit; ++pass) {
        const LoopStep step = RunLoopStep();
        if (step == LoopStep::Idle || step == LoopStep::Quit) return g_app.device != nullptr;
    }
    return false;
}

std::string BatchUsage() {
    std::string usage =
        "Usage: quillmark                      the interactive program (needs a display)\n"
        "       quillmark COMMAND [settings] [options]\n"
        "       quillmark [COMMAND] --help\n\nCommands:\n";
    for (const BatchCommand* command : BatchCommands()) {
        usage += "  " + std::string(command->name) + " " + std::string(command->synopsis) + "\n      " +
                 std::string(command->summary) + "\n" + std::string(command->options);
    }
    usage +=
        "\nSettings (each one sets a control of the Settings dialog; "
        "--flag VALUE or --flag=VALUE):\n" +
        SettingsFlagsHelp();
    return usage;
}

const std::vector<std::string>& BatchArguments() { return g_arguments; }

int RunBatch(const std::vector<std::string>& arguments) {
    g_arguments = arguments;
    if (arguments.empty() || arguments.front() == "--help" || arguments.front() == "-h") {
        std::fputs(BatchUsage().c_str(), stdout);
        return kExitSuccess;
    }
    const BatchCommand* command = FindBatchCommand(arguments.front());
    if (!command) return UsageError("unknown command '" + arguments.front() + "' (see quillmark --help)");

    BatchSettings settings;
    std::string error;
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (!ParseSettingsFlags(rest, &settings, &error)) return UsageError(error);
    if (settings.help) {
        std::fputs(BatchUsage().c_str(), stdout);
        return kExitSuccess;
    }
    if (command->runWithSettings) return command->runWithSettings(settings);
    if (settings.device && !SelectDevice(*settings.device, &error)) return UsageError(error);
    return RunOnHeadlessProbe(settings, command->run);
}

}  // namespace quillmark::batch
