#include "app/batch/batch_runner.h"

#include "app/app_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/settings_flags.h"
#include "app/shell.h"

#include "platform/win32/backend.h"
#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <cstdio>

namespace quillmark::batch {
namespace {

constexpr int kSettlePassLimit = 10000;

std::vector<std::string> g_arguments;

int UsageError(const std::string& message) { return ReportError(message, kExitUsage); }

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
        return ReportError("no frame could be drawn: the device is gone", kExitFailure);
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

namespace {

std::string CommandEntry(const BatchCommand& command) {
    std::string synopsis = std::string(command.name);
    if (!command.synopsis.empty()) synopsis += " " + std::string(command.synopsis);
    return "  " + synopsis + "\n      " + std::string(command.summary) + "\n" + std::string(command.options);
}

std::string SettingsHelp() {
    return "\nSettings (each one sets a control of the Settings dialog; --flag VALUE or --flag=VALUE):\n" +
           SettingsFlagsHelp();
}

bool IsHelp(const std::string& argument) { return argument == "--help" || argument == "-h"; }

int Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    return kExitSuccess;
}

int UnknownCommand(const std::string& name) {
    std::string names;
    for (const BatchCommand* command : BatchCommands())
        names += (names.empty() ? "" : ", ") + std::string(command->name);
    return UsageError("unknown command '" + name + "': the commands are " + names + " (see quillmark --help)");
}

// "help" alone or "help COMMAND".
int RunHelp(const std::vector<std::string>& arguments) {
    if (arguments.size() == 1) return Print(BatchUsage());
    if (arguments.size() > 2) return UsageError("too many arguments: help takes one command name");
    if (!FindBatchCommand(arguments[1])) return UnknownCommand(arguments[1]);
    return Print(CommandUsage(arguments[1]));
}

}  // namespace

std::string BatchUsage() {
    std::string usage =
        "Usage: quillmark                      the interactive program (needs a display)\n"
        "       quillmark COMMAND [settings] [options]\n"
        "       quillmark help [COMMAND]       this text, or one command's own (as COMMAND --help)\n"
        "       quillmark --version\n\nCommands:\n";
    for (const BatchCommand* command : BatchCommands()) usage += CommandEntry(*command);
    return usage + SettingsHelp();
}

std::string CommandUsage(std::string_view name) {
    const BatchCommand* command = FindBatchCommand(name);
    if (!command) return {};
    std::string usage = "Usage: quillmark " + std::string(command->name);
    if (!command->synopsis.empty()) usage += " " + std::string(command->synopsis);
    usage += "\n  " + std::string(command->summary) + "\n";
    if (!command->options.empty()) usage += "\nOptions:\n" + std::string(command->options);
    if (command->synopsis.find("[settings]") != std::string_view::npos) usage += SettingsHelp();
    return usage;
}

const std::vector<std::string>& BatchArguments() { return g_arguments; }

std::string VersionText() {
    return "quillmark " QUILLMARK_VERSION "\nbuild: " QUILLMARK_BUILD_TYPE "\ndevices: " + KnownDeviceNames() +
           "\ndesktop: " + (win32::DesktopBackendBuilt() ? "GTK 3" : "none (batch commands only)") + "\n";
}

std::string DeviceChoiceError(const std::optional<std::string>& flag) {
    const std::string name = flag ? *flag : SelectedDeviceName();
    if (IsDeviceName(name)) return DeviceNameError(name);  // the model device's knobs
    return std::string("unknown device \"") + name + "\"" + (flag ? "" : " (from QUILLMARK_DEVICE)") +
           ": the devices are " + KnownDeviceNames();
}

int RunBatch(const std::vector<std::string>& arguments) {
    g_arguments = arguments;
    if (arguments.empty() || IsHelp(arguments.front())) return Print(BatchUsage());
    if (arguments.front() == "--version") return Print(VersionText());
    if (arguments.front() == "help") return RunHelp(arguments);
    const BatchCommand* command = FindBatchCommand(arguments.front());
    if (!command) return UnknownCommand(arguments.front());

    BatchSettings settings;
    std::string error;
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (!ParseSettingsFlags(rest, &settings, &error)) return UsageError(error);
    if (settings.help) return Print(CommandUsage(command->name));
    if (command->runWithSettings) return command->runWithSettings(settings);
    if (const std::string unknown = DeviceChoiceError(settings.device); !unknown.empty()) return UsageError(unknown);
    if (settings.device) SelectDevice(*settings.device, &error);
    return RunOnHeadlessProbe(settings, command->run);
}

}  // namespace quillmark::batch
