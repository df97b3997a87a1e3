// "quillmark render [settings] -o FILE": one frame, written from the back
// buffer by the library's image writer.
#include "app_state.h"
#include "batch_command.h"

#include "decoded_image.h"
#include "surface_save.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace quillmark::batch {
namespace {

struct Extension {
    std::string_view suffix;
    ImageFileFormat format;
    std::string_view formatName;
};

// The image file types by file name extension; which of them can be written
// is the writer dispatcher's to say.
constexpr Extension kExtensions[] = {
    {".bmp", ImageFileFormat::Bmp, "BMP"}, {".dib", ImageFileFormat::Dib, "DIB"},
    {".dds", ImageFileFormat::Dds, "DDS"}, {".png", ImageFileFormat::Png, "PNG"},
    {".jpg", ImageFileFormat::Jpg, "JPEG"}, {".jpeg", ImageFileFormat::Jpg, "JPEG"},
    {".pfm", ImageFileFormat::Pfm, "PFM"}, {".hdr", ImageFileFormat::Hdr, "HDR"},
    {".tga", ImageFileFormat::Tga, "TGA"}, {".ppm", ImageFileFormat::Ppm, "PPM"},
};

const Extension* ExtensionOfPath(const std::string& path) {
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const Extension& extension : kExtensions)
        if (lower.size() > extension.suffix.size() && lower.ends_with(extension.suffix)) return &extension;
    return nullptr;
}

std::string WritableExtensions() {
    std::string list;
    for (const Extension& extension : kExtensions)
        if (CanWriteImageFile(extension.format)) list += std::string(list.empty() ? "" : ", ") + std::string(extension.suffix);
    return list;
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
    const Extension* extension = ExtensionOfPath(*output);
    if (!extension)
        return Fail("cannot write " + *output + ": its extension names no image format (this program writes " +
                        WritableExtensions() + ")",
                    kExitUsage);
    if (!CanWriteImageFile(extension->format))
        return Fail("cannot write " + *output + ": this program does not write " +
                        std::string(extension->formatName) + " files (it writes " + WritableExtensions() + ")",
                    kExitUsage);

    const HRESULT result = WriteBackBuffer(*output, extension->format);
    if (FAILED(result)) return Fail(WriteFailure(*output, result), kExitFailure);
    return kExitSuccess;
}

}  // namespace

extern const BatchCommand kRenderCommand = {
    "render",
    "draws one frame with the settings and writes it to an image file",
    "[settings] -o FILE",
    "      -o, --output FILE   the image file to write; its extension chooses the format\n",
    RunRender,
};

}  // namespace quillmark::batch
