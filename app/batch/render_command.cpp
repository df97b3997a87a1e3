// "quillmark render [settings] -o FILE": one frame, written from the back
// buffer by the library's image writer.
#include "app_state.h"
#include "batch_command.h"

#include "surface_save.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quillmark::batch {
namespace {

struct Extension {
    std::string_view suffix;
    ImageFileFormat format;
};

// The file types the library writes, by file name extension.
constexpr Extension kExtensions[] = {
    {".bmp", ImageFileFormat::Bmp}, {".dib", ImageFileFormat::Dib}, {".dds", ImageFileFormat::Dds},
    {".png", ImageFileFormat::Png}, {".jpg", ImageFileFormat::Jpg}, {".jpeg", ImageFileFormat::Jpg},
    {".pfm", ImageFileFormat::Pfm}, {".hdr", ImageFileFormat::Hdr},
};

std::optional<ImageFileFormat> FormatOfPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Extension& extension : kExtensions)
        if (lower.size() > extension.suffix.size() && lower.ends_with(extension.suffix)) return extension.format;
    return std::nullopt;
}

int Fail(const std::string& message, int code) {
    std::fprintf(stderr, "quillmark render: %s\n", message.c_str());
    return code;
}

HRESULT WriteBackBuffer(const std::string& path, ImageFileFormat format) {
    IDirect3DSurface9* backBuffer = nullptr;
    HRESULT result = g_app.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    if (FAILED(result)) return result;
    result = WriteSurfaceToImageFile(path.c_str(), format, backBuffer, nullptr, nullptr);
    backBuffer->Release();
    return result;
}

int RunRender(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest = arguments;
    std::string error;
    const std::optional<std::string> output = TakeOptionValue(rest, "-o", "--output", &error);
    if (!error.empty()) return Fail(error, kExitUsage);
    if (!rest.empty()) return Fail(LeftoverArgumentsError(rest), kExitUsage);
    if (!output) return Fail("-o FILE is required", kExitUsage);
    const std::optional<ImageFileFormat> format = FormatOfPath(*output);
    if (!format) return Fail(*output + ": unknown image file extension (use .bmp)", kExitUsage);

    const HRESULT result = WriteBackBuffer(*output, *format);
    if (FAILED(result)) {
        char code[16];
        std::snprintf(code, sizeof(code), "0x%08X", static_cast<unsigned>(result));
        return Fail("cannot write " + *output + " (" + code + ")", kExitFailure);
    }
    return kExitSuccess;
}

}  // namespace

extern const BatchCommand kRenderCommand = {
    "render",
    "draws one frame with the settings and writes it to an image file",
    "[settings] -o FILE",
    "      -o, --output FILE   the image file to write (.bmp)\n",
    RunRender,
};

}  // namespace quillmark::batch
