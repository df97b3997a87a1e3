// The texture loaded from an image file (fileTexture): choosing the file,
// loading it on the device, telling the user when it cannot be used, and
// loading it again on a rebuilt device.
#pragma once

#include "platform/win32/windows.h"

#include <string>

namespace quillmark {

// The "Browse..." button: the file-open dialog, then LoadFileTexture with
// the chosen path. A cancelled dialog changes nothing; a path too long for
// the dialog's 260-character buffer is refused with a message box.
void ChooseTextureFile();

// Replaces fileTexture by a texture loaded from `path` with every size,
// level, format and filter choice left to the library, and names the file
// in the Settings dialog's title ("Settings - NAME"). On failure
// fileTexture stays null, the title is "Settings" again and a message box
// names the file and says why.
HRESULT LoadFileTexture(const std::string& path);

// After the device was rebuilt: loads the file of the texture the user had
// chosen onto the new device (fileTexture is released with the old one).
void ReloadFileTexture();

// The Settings dialog's title while `path` is the loaded texture file
// (empty: none).
std::string SettingsTitleFor(const std::string& path);

// Why no reader took the file at `path`: it is not there, cannot be read,
// is too large to map, or holds no image format the readers know (then the
// reader of the format it was taken for says what is wrong).
std::string UnreadableReason(const std::string& path);

// "Could not use the texture file "PATH": REASON." for a failed load.
std::string TextureLoadFailureText(const std::string& path, HRESULT result);

}  // namespace quillmark
