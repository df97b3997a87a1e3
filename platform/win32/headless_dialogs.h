// What the headless backend does in place of the modal dialogs: message
// boxes are recorded (and printed on stderr) and answered with their first
// button; the file-open and folder dialogs answer with paths queued
// beforehand, and cancel when none is queued.
#pragma once

#include "platform/win32/windows.h"

#include <string>
#include <vector>

namespace quillmark::win32 {

struct MessageBoxRecord {
    HWND owner;
    std::string caption;
    std::string text;
    UINT type;
};

// Every message box shown since the last ClearMessageBoxes, oldest first.
const std::vector<MessageBoxRecord>& MessageBoxesShown();
void ClearMessageBoxes();

// The next GetOpenFileNameA answers with this path.
void QueueOpenFileAnswer(const std::string& path);
void ClearOpenFileAnswers();

// The next SHBrowseForFolderA answers with this folder (it cancels when none
// is queued).
void QueueFolderAnswer(const std::string& path);

}  // namespace quillmark::win32
