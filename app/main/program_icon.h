// The program's icon (app/desktop/icons/quillmark.svg, the file the
// installation puts in the icon theme), compiled into the program so that
// its windows show it before or without an installation.
#pragma once

#include <string_view>

namespace quillmark {

extern const std::string_view kProgramIconSvg;

}  // namespace quillmark
