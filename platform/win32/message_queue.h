// The thread's message queue as the backends see it.
#pragma once

namespace quillmark::win32 {

// Blocks until another thread posts a message (or the quit request).
void WaitForPostedInput();

}  // namespace quillmark::win32
