// The thread's message queue as the backends see it.
#pragma once

namespace quillmark::win32 {

// True when a posted message or the quit request is waiting.
bool HasPostedInput();

// Blocks until another thread posts a message (or the quit request).
void WaitForPostedInput();

}  // namespace quillmark::win32
