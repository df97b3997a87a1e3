// The main window's status line: a status bar below the frame that says what
// lies under the pointer and what the program just did.
#pragma once

#include <string>

namespace quillmark {

// Gives the main window its status line (empty at first).
void AddStatusLine();

// Shows `text` in the status line (ASCII or Windows-1252); nothing when
// the main window has none.
void ShowStatus(const std::string& text);

// What the status line shows; empty when there is none.
std::string StatusText();

}  // namespace quillmark
