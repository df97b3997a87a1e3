#include "batch_command.h"

#include "image_types.h"

#include <algorithm>
#include <cstdio>

namespace quillmark::batch {

#define QUILLMARK_BATCH_COMMAND(object) extern const BatchCommand object;
#include "command_list.h"
#undef QUILLMARK_BATCH_COMMAND

const std::vector<const BatchCommand*>& BatchCommands() {
    static const std::vector<const BatchCommand*> commands = {
#define QUILLMARK_BATCH_COMMAND(object) &object,
#include "command_list.h"
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

std::optional<std::string> TakeOptionValue(std::vector<std::string>& arguments, std::string_view shortName,
                                           std::string_view longName, std::string* error) {
    const auto named = [&](std::string_view text) {
        return (!shortName.empty() && text == shortName) || text == longName;
    };
    std::optional<std::string> value;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const std::size_t equals = argument.find('=');
        if (equals != std::string::npos && argument.starts_with("-") && named(argument.substr(0, equals))) {
            value = argument.substr(equals + 1);
        } else if (named(argument)) {
            if (i + 1 == arguments.size()) {
                *error = argument + " needs a value";
                return std::nullopt;
            }
            value = arguments[++i];
        } else {
            rest.push_back(argument);
        }
    }
    arguments = std::move(rest);
    return value;
}

bool TakeFlag(std::vector<std::string>& arguments, std::string_view name) {
    const auto erased = std::erase(arguments, std::string(name));
    return erased != 0;
}

std::string LeftoverArgumentsError(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return {};
    return "unknown option '" + arguments.front() + "' (see --help)";
}

std::string SaveFailureText(HRESULT result) {
    if (result == E_ACCESSDENIED) return "the file is read-only or you may not write it";
    if (result == TEXERR_UNREADABLE) return "the file cannot be created there";
    char code[32];
    std::snprintf(code, sizeof(code), "error 0x%08X", static_cast<unsigned>(result));
    return code;
}

}  // namespace quillmark::batch
