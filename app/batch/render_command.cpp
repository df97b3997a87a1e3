// "quillmark render [settings] -o FILE": one frame, written from the back
// buffer by the library's image writer.
#include "app/probe_state.h"
#include "app/batch/batch_command.h"
#include "app/batch/result_document.h"
#include "app/picture.h"
#include "app/probe.h"

#include "imagecodec/image_codec.h"
#include "texfile/surface_save.h"

#include <cstdio>
#include <filesystem>

namespace quillmark::batch {
namespace {

constexpr auto Fail = ReportError;

// The extensions of the formats this program writes, for messages.
std::string WritableExtensions() {
    std::string list;
    for (const ImageCodec* codec : ImageCodecs()) {
        if (codec->write == nullptr) continue;
        for (const char* const* extension = codec->extensions; *extension != nullptr; ++extension)
            list += std::string(list.empty() ? "" : ", ") + *extension;
    }
    return list;
}

HRESULT WriteBackBuffer(const std::string& path, ImageFileFormat format) {
    IDirect3DSurface9* backBuffer = nullptr;
    HRESULT result = ActiveProbe().device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer);
    if (FAILED(result)) return result;
    result = WriteSurfaceToImageFile(path.c_str(), format, backBuffer, nullptr, nullptr);
    backBuffer->Release();
    return result;
}

int RunRender(Probe& probe, const CommandOptions& options) {
    const std::optional<std::string> output = options.Value("--output");
    if (!output) return Fail("nothing to write: render needs -o FILE, the image file to write", kExitUsage);
    std::error_code code;
    if (std::filesystem::is_directory(*output, code))
        return Fail("cannot write " + *output + ": it is a folder; name the image file to write in it, e.g. " +
                        (std::filesystem::path(*output) / "frame.png").string(),
                    kExitUsage);
    const ImageCodec* codec = FindImageCodecForPath(*output);
    if (codec == nullptr)
        return Fail("cannot write " + *output + ": its extension names no image format (this program writes " +
                        WritableExtensions() + ")",
                    kExitUsage);
    if (codec->write == nullptr)
        return Fail("cannot write " + *output + ": " + codec->name +
                        " files can be read but not written (this program writes " + WritableExtensions() + ")",
                    kExitUsage);

    const HRESULT result = WriteBackBuffer(*output, codec->id);
    if (FAILED(result)) return Fail(WriteFailure(*output, result), kExitFailure);
    std::string error;
    if (codec->id == ImageFileFormat::Png && !AddPngText(*output, ImageProvenance(probe.Settings()), &error))
        return Fail(error, kExitFailure);
    return kExitSuccess;
}

constexpr CommandOption kRenderOptions[] = {
    {"-o", "--output", "FILE", "the image file to write; its extension chooses the format"},
};

}  // namespace

extern const BatchCommand kRenderCommand = {
    "render",
    "draws one frame with the settings and writes it to an image file",
    "[settings] -o FILE",
    kRenderOptions,
    "",
    RunRender,
};

}  // namespace quillmark::batch
