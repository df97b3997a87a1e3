// Writes the manual page and the bash completion of quillmark at build time,
// from the same tables as its --help.
// Usage: quillmark-write-docs MANUAL_PAGE BASH_COMPLETION
#include "app/batch/usage_docs.h"

#include <cstdio>
#include <fstream>

namespace {

bool WriteFile(const char* path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (out) return true;
    std::fprintf(stderr, "quillmark-write-docs: cannot write %s\n", path);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillmark-write-docs MANUAL_PAGE BASH_COMPLETION\n");
        return 2;
    }
    using namespace quillmark::batch;
    return WriteFile(argv[1], ManualPage()) && WriteFile(argv[2], BashCompletion()) ? 0 : 1;
}
