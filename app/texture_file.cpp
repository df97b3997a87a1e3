#include "app/texture_file.h"

#include "app/app_state.h"
#include "app/probe_state.h"
#include "imagecodec/read_failure.h"
#include "app/settings_dialog.h"
#include "texfile/texture_constants.h"
#include "texfile/texture_from_file.h"

#include "platform/win32/commdlg.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace quillmark {
namespace {

namespace fs = std::filesystem;

// The name buffer of the file-open dialog, in characters.
constexpr DWORD kPathBufferSize = 260;
constexpr std::uintmax_t kLargestReadableFile = 0xFFFFFFFFu;

void ReleaseFileTexture() {
    ProbeState& probe = ActiveProbe();
    if (probe.fileTexture) probe.fileTexture->Release();
    probe.fileTexture = nullptr;
}

}  // namespace

std::string UnreadableReason(const std::string& path) {
    std::error_code code;
    const fs::file_status status = fs::status(path, code);
    if (!fs::exists(status)) return "it does not exist";
    if (fs::is_directory(status)) return "it is a folder, not a file";
    const std::uintmax_t size = fs::file_size(path, code);
    if (!code && size > kLargestReadableFile) return "it is 4 GiB or larger, more than an image file can be";
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        std::fclose(file);
        // The reader of the format the file was taken for says what is wrong.
        const std::string_view why = LastReadFailure();
        return why.empty() ? "it is not in an image format Quillmark can read" : std::string(why);
    }
    return std::string("it cannot be read (") + std::strerror(errno) + ")";
}

namespace {

std::string FailureReason(const std::string& path, HRESULT result) {
    std::error_code code;
    switch (result) {
    case TEXERR_UNREADABLE: return UnreadableReason(path);
    case D3DERR_INVALIDCALL:
        return fs::file_size(path, code) == 0 && !code ? "it is empty" : "the device refused the texture it needs";
    case D3DERR_NOTAVAILABLE: return "the device has no texture format that can hold its pixels";
    case E_OUTOFMEMORY:
    case D3DERR_OUTOFVIDEOMEMORY: return "it is too large for the device's memory";
    default: {
        char text[64];
        std::snprintf(text, sizeof(text), "the device could not make a texture of it (error 0x%08X)",
                      static_cast<unsigned>(result));
        return text;
    }
    }
}

// The dialog's title names the loaded file, so that the user sees which
// one "Use BMP:" samples.
void ShowLoadedFileName() {
    if (g_app.settingsDialog)
        SetWindowTextA(g_app.settingsDialog, SettingsTitleFor(ActiveProbe().fileTexturePath).c_str());
}

}  // namespace

std::string SettingsTitleFor(const std::string& path) {
    if (path.empty()) return kSettingsDialogTitle;
    return std::string(kSettingsDialogTitle) + " - " + fs::path(path).filename().string();
}

HRESULT LoadFileTexture(const std::string& path) {
    ProbeState& probe = ActiveProbe();
    ReleaseFileTexture();
    const HRESULT result = TextureFromImageFile(probe.device, path.c_str(), TEX_AUTO, TEX_AUTO, TEX_AUTO, 0,
                                                D3DFMT_UNKNOWN, D3DPOOL_MANAGED, TEX_AUTO, TEX_AUTO, 0, nullptr,
                                                nullptr, &probe.fileTexture);
    if (SUCCEEDED(result)) {
        probe.fileTexturePath = path;
        ShowLoadedFileName();
        return result;
    }
    probe.fileTexture = nullptr;
    probe.fileTexturePath.clear();
    ShowLoadedFileName();
    MessageBoxA(nullptr, TextureLoadFailureText(path, result).c_str(), "Quillmark", MB_OK | MB_ICONWARNING);
    return result;
}

std::string TextureLoadFailureText(const std::string& path, HRESULT result) {
    return "Could not use the texture file \"" + path + "\": " + FailureReason(path, result) + ".";
}

void ChooseTextureFile() {
    char name[kPathBufferSize] = {};
    OPENFILENAMEA request{};
    request.lStructSize = sizeof(request);
    request.lpstrFile = name;
    request.nMaxFile = kPathBufferSize;
    if (GetOpenFileNameA(&request)) {
        LoadFileTexture(name);
    } else if (CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) {
        // A file was chosen, but its path does not fit the name buffer.
        const std::string text = "Could not use the chosen texture file: its path is longer than " +
                                 std::to_string(kPathBufferSize - 1) + " characters.";
        MessageBoxA(nullptr, text.c_str(), "Quillmark", MB_OK | MB_ICONWARNING);
    }
}

void ReloadFileTexture() {
    ProbeState& probe = ActiveProbe();
    if (probe.fileTexturePath.empty() || !probe.device) return;
    const std::string path = probe.fileTexturePath;  // the load clears it on failure
    LoadFileTexture(path);
}

}  // namespace quillmark
