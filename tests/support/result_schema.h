// Results files checked against their schema (docs/schemas/KIND.schema.json)
// by python3-jsonschema, through tests/support/validate_result.py.
#pragma once

#include "command_output.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace quillmark::testing {

inline bool HaveJsonSchema() {
    return std::system("/usr/bin/python3 -c 'import jsonschema' >/dev/null 2>&1") == 0;
}

inline constexpr const char* kNoJsonSchema = "python3 jsonschema is absent: the results were not validated";

// The faults validate_result.py finds in `text` as a results file of
// `kind`; empty when it is valid.
inline std::string SchemaFaults(const std::string& kind, const std::string& text) {
    char name[] = "/tmp/quillmark-result-XXXXXX";
    const int descriptor = mkstemp(name);
    if (descriptor < 0) return "no scratch file";
    close(descriptor);
    std::ofstream(name, std::ios::binary) << text;
    const std::string faults = CommandOutput("/usr/bin/python3 " QUILLMARK_SOURCE_DIR
                                             "/tests/support/validate_result.py " +
                                             kind + " " + name + " 2>&1 || echo '(invalid)'");
    std::remove(name);
    return faults;
}

inline std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

}  // namespace quillmark::testing
