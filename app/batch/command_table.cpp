#include "app/batch/batch_command.h"

#include "imagecodec/result_text.h"

#include <unistd.h>

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
                *error = argument + ": needs a value";
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

std::optional<std::filesystem::path> MakeOutputDirectory(const std::optional<std::string>& output, std::string* error) {
    std::error_code code;
    const std::filesystem::path directory =
        std::filesystem::absolute(output ? std::filesystem::path(*output) : std::filesystem::path("."), code);
    if (!code) std::filesystem::create_directories(directory, code);
    if (!code && !std::filesystem::is_directory(directory)) code = std::make_error_code(std::errc::not_a_directory);
    if (!code) return directory;
    *error = "cannot create the directory " + directory.string() + ": " + code.message();
    return std::nullopt;
}

std::string WriteFailure(const std::string& path, HRESULT result) {
    std::string why = ResultReason(result);
    if (result == TEXERR_UNREADABLE) {
        // The file could not be created: say which part of the path is at fault.
        const std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
        std::error_code code;
        if (!std::filesystem::is_directory(folder, code))
            why = "the folder " + folder.string() + " does not exist";
        else if (access(folder.c_str(), W_OK) != 0)
            why = "the folder " + folder.string() + " is not writable";
        else if (std::filesystem::is_directory(path, code))
            why = "it is a folder";
        else
            why = "the file cannot be created";
    }
    return "cannot write " + path + ": " + why;
}

std::string LeftoverArgumentsError(const std::vector<std::string>& arguments) {
    if (arguments.empty()) return {};
    return "unknown option '" + arguments.front() + "': neither a setting nor an option of this command (see --help)";
}

}  // namespace quillmark::batch
