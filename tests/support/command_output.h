// A shell command's standard output, for tests that check our files with
// other programs.
#pragma once

#include <cstdio>
#include <string>

namespace quillmark::testing {

// Runs `command` through the shell and returns what it wrote on standard
// output (empty when it could not be started).
inline std::string CommandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof(buffer), pipe)) output += buffer;
        pclose(pipe);
    }
    return output;
}

}  // namespace quillmark::testing
