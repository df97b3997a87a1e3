// Result codes in words: the name of every HRESULT this program and its
// library return (the Win32 and Direct3D 9 codes and the library's own) and
// what it means, for messages a person reads.
#pragma once

#include "imagecodec/image_types.h"

#include <string>
#include <string_view>

namespace quillmark {

// The code's published name ("D3DERR_INVALIDCALL"), or its value in hex
// ("0x88760999") for a code without one here.
std::string ResultName(HRESULT result);

// What the code says went wrong, as a clause ("an argument or the call is not
// valid"); empty for a code without one here.
std::string_view ResultMeaning(HRESULT result);

// The meaning followed by the name in parentheses, for the end of a message:
// "not enough memory (E_OUTOFMEMORY)"; only the name for an unknown code.
std::string ResultReason(HRESULT result);

// Why writing the file `path` failed with `result`, as a clause: for a file
// that could not be created, what in its path is at fault (a folder that is
// missing or read-only, a folder in the file's place), else ResultReason.
std::string WriteFailureReason(const std::string& path, HRESULT result);

}  // namespace quillmark
