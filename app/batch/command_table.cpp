#include "app/batch/batch_command.h"

#include "imagecodec/result_text.h"


#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace quillmark::batch {

#define QUILLMARK_BATCH_COMMAND(object) extern const BatchCommand object;
#include "app/batch/command_list.h"
#undef QUILLMARK_BATCH_COMMAND

const std::vector<const BatchCommand*>& BatchCommands() {
    static const std::vector<const BatchCommand*> commands = {
#define QUILLMARK_BATCH_COMMAND(object) &object,
#include "app/batch/command_list.h"
#undef QUILLMARK_BATCH_COMMAND
    };
    return commands;
}

const BatchCommand* FindBatchCommand(std::string_view name) {
    const auto& commands = BatchCommands();
    const auto found = std::find_if(commands.begin(), commands.end(),
                                    [name](const BatchCommand* command) { return command->name == name; });
    return found == commands.end() ? nullptr : *found;
}

int ReportError(const std::string& message, int code) {
    std::fprintf(stderr, "quillmark: %s\n", message.c_str());
    return code;
}

namespace {

constexpr std::size_t kOptionIndent = 6;
constexpr std::size_t kOptionHeadWidth = 20;  // the help starts after it

const CommandOption* FindOption(std::span<const CommandOption> declared, std::string_view name) {
    for (const CommandOption& option : declared)
        if (!option.settingsFlag && (name == option.name || (!option.shortName.empty() && name == option.shortName)))
            return &option;
    return nullptr;
}

std::string UnknownOption(const std::string& argument) {
    return "unknown option '" + argument + "': neither a setting nor an option of this command (see --help)";
}

}  // namespace

std::optional<std::string> CommandOptions::Value(std::string_view name) const {
    const auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second.empty() ? std::string() : found->second.front();
}

std::vector<std::string> CommandOptions::Values(std::string_view name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? std::vector<std::string>() : found->second;
}

bool CommandOptions::Has(std::string_view name) const { return values_.contains(name); }

bool ParseCommandOptions(std::span<const CommandOption> declared, const std::vector<std::string>& arguments,
                         CommandOptions* options, std::string* error, std::vector<std::string>* operands) {
    std::map<std::string, std::string, std::less<>> given;  // long name -> the option as given
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (operands != nullptr && argument == "--") {
            operands->insert(operands->end(), arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, arguments.end());
            break;
        }
        if (operands != nullptr && (!argument.starts_with("-") || argument == "-")) {
            operands->push_back(argument);
            continue;
        }
        const std::size_t equals = argument.starts_with("-") ? argument.find('=') : std::string::npos;
        const std::string name = argument.substr(0, equals);
        const CommandOption* option = FindOption(declared, name);
        if (!option) {
            *error = UnknownOption(argument);
            return false;
        }
        std::string value;
        if (option->argument.empty()) {
            if (equals != std::string::npos) {
                *error = name + ": takes no value";
                return false;
            }
        } else if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            *error = argument + ": needs a value";
            return false;
        }
        std::vector<std::string> values;
        if (!option->argument.empty()) values.push_back(value);
        if (option->severalValues)
            while (i + 1 < arguments.size() && !arguments[i + 1].starts_with("-")) values.push_back(arguments[++i]);
        std::string spelled = name;
        for (const std::string& each : values) spelled += " " + each;
        const auto [earlier, first] = given.emplace(std::string(option->name), spelled);
        if (!first) {
            *error = std::string(option->name) + ": given twice (" + earlier->second + ", then " + spelled +
                     "); give it once";
            return false;
        }
        options->values_[std::string(option->name)] = std::move(values);
    }
    return true;
}

std::string OptionsHelp(const BatchCommand& command) {
    const std::string indent(kOptionIndent, ' ');
    const std::string continuation = "\n" + indent + std::string(kOptionHeadWidth, ' ');
    std::string text;
    for (const CommandOption& option : command.options) {
        std::string head = option.shortName.empty() ? std::string(option.name)
                                                    : std::string(option.shortName) + ", " + std::string(option.name);
        if (!option.argument.empty()) head += " " + std::string(option.argument) + (option.severalValues ? "..." : "");
        head.resize(std::max(head.size() + 1, kOptionHeadWidth), ' ');
        std::string help(option.help);
        for (std::size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + continuation.size()))
            help.replace(at, 1, continuation);
        text += indent + head + help + "\n";
    }
    return text + std::string(command.notes);
}

std::string WriteFailure(const std::string& path, HRESULT result) {
    return "cannot write " + path + ": " + WriteFailureReason(path, result);
}

}  // namespace quillmark::batch
