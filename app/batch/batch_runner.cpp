#include "app/batch/batch_runner.h"

#include "app/batch/batch_command.h"
#include "app/batch/result_document.h"
#include "app/batch/settings_flags.h"
#include "app/probe.h"

#include "platform/processor/processor_features.h"
#include "platform/win32/backend.h"
#include "devices/select/d3d9_select.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace quillmark::batch {
namespace {

std::vector<std::string> g_arguments;

int UsageError(const std::string& message) { return ReportError(message, kExitUsage); }

}  // namespace

int RunOnHeadlessProbe(const BatchSettings& settings,
                       const std::function<int(Probe&)>& work) {
    win32::SelectBackend(win32::Backend::Headless);
    Probe probe(GetModuleHandleA(nullptr));
    if (!probe.Started()) return kExitFailure;  // the start said why
    if (const std::string error = DeviceRangeError(settings, probe.Limits()); !error.empty()) return UsageError(error);
    if (!probe.Apply(settings.probe)) return kExitFailure;  // a refused texture file: the load said why
    if (!probe.DrawFrame()) return ReportError("no frame could be drawn: the device is gone", kExitFailure);
    return work(probe);
}

namespace {

std::string CommandEntry(const BatchCommand& command) {
    std::string synopsis = std::string(command.name);
    if (!command.synopsis.empty()) synopsis += " " + std::string(command.synopsis);
    return "  " + synopsis + "\n      " + std::string(command.summary) + "\n" + OptionsHelp(command);
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
    if (name.starts_with("-"))
        return UsageError("unknown option '" + name + "': a command comes first, and the commands are " + names +
                          " (see quillmark --help)");
    return UsageError("unknown command '" + name + "': the commands are " + names + " (see quillmark --help)");
}

// The values QUILLMARK_CPU takes; any other would be taken as no cap at all.
std::string CpuCapError() {
    const char* value = std::getenv(processor::kCapVariable);
    if (value == nullptr) return {};
    for (const std::string_view name : {"scalar", "sse2", "avx2"})
        if (name == value) return {};
    return std::string(processor::kCapVariable) + "=" + value +
           ": expected scalar, sse2 or avx2, the widest vector instructions the program may use";
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
    if (const std::string options = OptionsHelp(*command); !options.empty()) usage += "\nOptions:\n" + options;
    if (command->synopsis.find("[settings]") != std::string_view::npos) usage += SettingsHelp();
    return usage;
}

const std::vector<std::string>& BatchArguments() { return g_arguments; }

std::string VersionText() {
    return "quillmark " + ProgramVersion() + "\nbuild: " + ProgramBuild() + "\ndevices: " + KnownDeviceNames() +
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

    std::string error;
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command->runOnFiles) {
        if (std::any_of(rest.begin(), rest.end(), IsHelp)) return Print(CommandUsage(command->name));
        CommandOptions options;
        std::vector<std::string> operands;
        if (!ParseCommandOptions(command->options, rest, &options, &error, &operands)) return UsageError(error);
        return command->runOnFiles(operands, options);
    }
    BatchSettings settings;
    if (!ParseSettingsFlags(rest, &settings, &error)) return UsageError(error);
    if (settings.help) return Print(CommandUsage(command->name));
    if (const std::string cap = CpuCapError(); !cap.empty()) return UsageError(cap);
    CommandOptions options;
    if (!ParseCommandOptions(command->options, settings.rest, &options, &error)) return UsageError(error);
    for (const std::string& note : UnusedSettings(settings))
        std::fprintf(stderr, "quillmark: %s\n", note.c_str());
    if (settings.probe.useFileTexture && !command->drawsTheTexture)
        std::fprintf(stderr, "quillmark: --texture %s is not used: %s draws with textures of its own\n",
                     settings.probe.textureFile.c_str(), std::string(command->name).c_str());
    if (command->runWithSettings) return command->runWithSettings(settings, options);
    return RunOnChosenDevice(settings, [&](Probe& probe) { return command->run(probe, options); });
}

int RunOnChosenDevice(const BatchSettings& settings, const std::function<int(Probe&)>& work) {
    if (const std::string unknown = DeviceChoiceError(settings.device); !unknown.empty()) return UsageError(unknown);
    std::string error;
    if (settings.device) SelectDevice(*settings.device, &error);
    return RunOnHeadlessProbe(settings, work);
}

}  // namespace quillmark::batch
