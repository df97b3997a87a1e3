// Why the last image read on this thread failed, in words, for the message a
// person reads: the readers say what is wrong with the file ("the data ends
// before the last row"), ReadImage adds which format it was taken for. Like
// a last-error code, it stays until the next read on the same thread.
#pragma once

#include "platform/win32/wintypes.h"

#include <string>
#include <string_view>

namespace quillmark {

// Records `reason` (a clause: "it holds DXGI_FORMAT_R11G11B10_FLOAT pixels") and
// returns E_FAIL, for a reader's `return Refuse(...)`.
HRESULT Refuse(std::string reason);

// The reason recorded since the last ClearReadFailure, or empty.
std::string_view LastReadFailure();

void ClearReadFailure();

// Prefixes the recorded reason with the format's name, or records that the
// file is a damaged one of that format when its reader gave no reason.
void NameReadFailure(const char* formatName);

}  // namespace quillmark
