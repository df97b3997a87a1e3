// "quillmark convert IN OUT [options]": an image file into another, the
// output's format from its extension, through the library's conversions,
// filters, block encoder and atomic save. Levels are made from a float copy
// of the level above, so at most two levels' floats are held at a time, and
// for the top level none where the source's own values serve alike.
#include "app/batch/batch_command.h"
#include "app/batch/image_file.h"

#include "imagecodec/image_codec.h"
#include "imagecodec/result_text.h"
#include "pixel/format_match.h"
#include "pixel/pixel_format.h"
#include "pixel/pixel_format_names.h"
#include "pixel/resample.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <string_view>

namespace quillmark::batch {
namespace {

constexpr auto Fail = ReportError;
constexpr D3DFORMAT kWorkFormat = D3DFMT_A32B32G32R32F;

// The filters by name, RESAMPLE_NONE to RESAMPLE_BOX in order.
constexpr std::string_view kFilterNames[] = {"none", "point", "linear", "triangle", "box"};
static_assert(RESAMPLE_NONE + std::size(kFilterNames) - 1 == RESAMPLE_BOX);

std::optional<DWORD> FilterByName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kFilterNames); ++i)
        if (kFilterNames[i] == name) return static_cast<DWORD>(RESAMPLE_NONE + i);
    return std::nullopt;
}

// What the command line asks for, checked.
struct ConvertRequest {
    std::string input, output;
    const ImageCodec* codec = nullptr;
    std::optional<D3DFORMAT> format;
    enum class Mips { Keep, All, Count } mips = Mips::Keep;
    UINT mipCount = 0;
    DWORD mipFilter = RESAMPLE_BOX;
    DWORD filter = RESAMPLE_TRIANGLE;
    DWORD flags = 0;  // dither and diffusion, for every encoded level
    bool srgbIn = false, srgbOut = false;
    std::optional<UINT> width, height;  // height absent: the aspect ratio kept
    std::optional<UINT> level, face;
    bool json = false;
};

std::optional<UINT> Count(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<UINT>(std::stoul(text));
}

std::string WritableFormats(const ImageCodec& codec) {
    std::string list;
    for (const D3DFORMAT* format = codec.writeFormats; *format != D3DFMT_UNKNOWN; ++format)
        list += (list.empty() ? "" : ", ") + PixelFormatName(*format);
    return list;
}

// The request, or the usage error's message.
std::optional<ConvertRequest> ParseRequest(const std::vector<std::string>& operands, const CommandOptions& options,
                                           std::string* error) {
    ConvertRequest request;
    if (operands.size() != 2) {
        *error = "convert takes two files, IN and OUT, and was given " + std::to_string(operands.size());
        return std::nullopt;
    }
    request.input = operands[0];
    request.output = operands[1];
    request.codec = FindImageCodecForPath(request.output);
    if (request.codec == nullptr || request.codec->write == nullptr) {
        std::string writable;
        for (const ImageCodec* codec : ImageCodecs())
            if (codec->write != nullptr)
                for (const char* const* extension = codec->extensions; *extension != nullptr; ++extension)
                    writable += (writable.empty() ? "" : ", ") + std::string(*extension);
        *error = "cannot write " + request.output + ": " +
                 (request.codec == nullptr ? std::string("its extension names no image format")
                                           : std::string(request.codec->name) + " files can be read but not written") +
                 " (this program writes " + writable + ")";
        return std::nullopt;
    }
    if (const auto name = options.Value("--format")) {
        const D3DFORMAT format = PixelFormatByName(*name);
        if (format == D3DFMT_UNKNOWN) {
            *error = "--format " + *name + ": no pixel format has that name (e.g. A8R8G8B8, R5G6B5, DXT1)";
            return std::nullopt;
        }
        const D3DFORMAT* listed = request.codec->writeFormats;
        while (*listed != D3DFMT_UNKNOWN && *listed != format) ++listed;
        if (*listed == D3DFMT_UNKNOWN) {
            *error = "--format " + *name + ": " + request.codec->name + " files cannot store " +
                     PixelFormatName(format) + " (they store " + WritableFormats(*request.codec) + ")";
            return std::nullopt;
        }
        request.format = format;
    }
    if (const auto mips = options.Value("--mips")) {
        if (*mips == "all") {
            request.mips = ConvertRequest::Mips::All;
        } else if (*mips != "keep") {
            const std::optional<UINT> count = Count(*mips);
            if (!count || *count == 0) {
                *error = "--mips " + *mips + ": expected a level count from 1, all or keep";
                return std::nullopt;
            }
            request.mips = ConvertRequest::Mips::Count;
            request.mipCount = *count;
        }
    }
    for (const auto& [option, target] : {std::pair{"--mip-filter", &request.mipFilter}, {"--filter", &request.filter}}) {
        if (const auto name = options.Value(option)) {
            const std::optional<DWORD> filter = FilterByName(*name);
            if (!filter) {
                *error = std::string(option) + " " + *name + ": expected none, point, linear, triangle or box";
                return std::nullopt;
            }
            *target = *filter;
        }
    }
    if (options.Has("--dither")) request.flags |= RESAMPLE_DITHER;
    if (options.Has("--diffusion")) request.flags |= RESAMPLE_DITHER_DIFFUSION;
    request.srgbIn = options.Has("--srgb-in");
    request.srgbOut = options.Has("--srgb-out");
    if (const auto size = options.Value("--size")) {
        const std::size_t cross = size->find('x');
        request.width = Count(size->substr(0, cross));
        if (cross != std::string::npos) request.height = Count(size->substr(cross + 1));
        if (!request.width || *request.width == 0 || (cross != std::string::npos && (!request.height || *request.height == 0))) {
            *error = "--size " + *size + ": expected a width, or WIDTHxHEIGHT, in pixels from 1";
            return std::nullopt;
        }
    }
    for (const auto& [option, target] : {std::pair{"--level", &request.level}, {"--face", &request.face}}) {
        if (const auto value = options.Value(option)) {
            *target = Count(*value);
            if (!*target) {
                *error = std::string(option) + " " + *value + ": expected a number from 0";
                return std::nullopt;
            }
        }
    }
    request.json = options.Has("--json");
    return request;
}

// A record owning `format` pixels of the given size, or null.
std::unique_ptr<DecodedImage> NewRecord(D3DFORMAT format, UINT width, UINT height, UINT depth,
                                        D3DRESOURCETYPE type) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    const std::uint64_t rowPitch = info.RowBytes(width);
    const std::uint64_t slicePitch = rowPitch * info.BlockRows(height);
    auto record = std::make_unique<DecodedImage>();
    record->pixels = static_cast<BYTE*>(std::malloc(slicePitch * depth));
    if (record->pixels == nullptr) return nullptr;
    record->ownsPixels = TRUE;
    record->format = format;
    record->width = width;
    record->height = height;
    record->depth = depth;
    record->box = {0, 0, width, height, 0, depth};
    record->rowPitch = static_cast<UINT>(rowPitch);
    record->slicePitch = static_cast<UINT>(slicePitch);
    record->resourceType = type;
    return record;
}

// `to` filled from `from` under the filter word.
HRESULT ConvertInto(const DecodedImage& from, DecodedImage& to, DWORD filter) {
    SurfaceDesc destination = to.Describe();
    destination.Palette = nullptr;
    return RunConversion(destination, from.Describe(), filter);
}

// True when a format's decoded values are stored in A32B32G32R32F as they
// are and come back alike into any unsigned or float format: one pixel at a
// time (no shared chroma), neither signed (whose values a float format keeps
// at [-1, 1] where an unsigned one would move them to [0, 1]) nor depth.
bool KeepsValuesInFloats(D3DFORMAT format) {
    const PixelFormatInfo& info = LookupPixelFormat(format);
    return !info.IsPixelPair() && info.kind != PIXEL_KIND_SIGNED && info.kind != PIXEL_KIND_DEPTH;
}

UINT FullChainLength(UINT width, UINT height, UINT depth) {
    UINT levels = 1;
    for (UINT side = std::max({width, height, depth}); side > 1; side /= 2) ++levels;
    return levels;
}

// What was made, for the summary line and the JSON.
struct ConvertResult {
    UINT width = 0, height = 0, depth = 0, levels = 0, faces = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    D3DRESOURCETYPE type = D3DRTYPE_TEXTURE;
};

// The levels of one face: taken over from the source, or made from its top.
HRESULT ConvertFace(const ConvertRequest& request, const DecodedImage& sourceTop, const ConvertResult& shape,
                    bool keepLevels, std::unique_ptr<DecodedImage>& outTop) {
    const DWORD encode = RESAMPLE_NONE | request.flags | (request.srgbOut ? RESAMPLE_SRGB_OUT : 0);
    DecodedImage* last = nullptr;
    auto append = [&](std::unique_ptr<DecodedImage> record) {
        if (last == nullptr) {
            outTop = std::move(record);
            last = outTop.get();
        } else {
            last->nextLevel = record.release();
            last = last->nextLevel;
        }
    };
    if (keepLevels) {
        // Every level as stored, in the new pixel format.
        const DWORD filter = encode | (request.srgbIn ? RESAMPLE_SRGB_IN : 0);
        const DecodedImage* from = &sourceTop;
        for (UINT l = 0; l < shape.levels; ++l, from = from->nextLevel) {
            auto record = NewRecord(shape.format, from->width, from->height, from->depth, shape.type);
            if (!record) return E_OUTOFMEMORY;
            if (const HRESULT result = ConvertInto(*from, *record, filter); FAILED(result)) return result;
            append(std::move(record));
        }
        return S_OK;
    }
    // The top (resized when asked) as floats, then each level from the floats
    // of the one above. Where the source's values would pass into those floats
    // unchanged, the top is encoded and level 1 made straight from the source
    // instead: the same values reach every filter and encoder, and the top's
    // floats, four times the size of an 8-bit picture, are never held.
    const DWORD resize = shape.width == sourceTop.width && shape.height == sourceTop.height ? RESAMPLE_NONE
                                                                                             : request.filter;
    // (Blocks of the output's own format would be copied as they are rather
    // than encoded again.)
    const bool fromSource = resize == RESAMPLE_NONE && !request.srgbIn && KeepsValuesInFloats(sourceTop.format) &&
                            KeepsValuesInFloats(shape.format) &&
                            !(sourceTop.format == shape.format && LookupPixelFormat(shape.format).IsBlockCompressed());
    std::unique_ptr<DecodedImage> floats;
    const DecodedImage* above = &sourceTop;  // the level each next one is made from
    HRESULT result = S_OK;
    if (!fromSource) {
        floats = NewRecord(kWorkFormat, shape.width, shape.height, shape.depth, shape.type);
        if (!floats) return E_OUTOFMEMORY;
        result = ConvertInto(sourceTop, *floats, resize | (request.srgbIn ? RESAMPLE_SRGB_IN : 0));
        above = floats.get();
    }
    for (UINT l = 0; SUCCEEDED(result) && l < shape.levels; ++l) {
        if (l > 0) {
            auto smaller = NewRecord(kWorkFormat, std::max(1u, above->width / 2), std::max(1u, above->height / 2),
                                     std::max(1u, above->depth / 2), shape.type);
            if (!smaller) return E_OUTOFMEMORY;
            result = ConvertInto(*above, *smaller, request.mipFilter);
            floats = std::move(smaller);
            above = floats.get();
            if (FAILED(result)) break;
        }
        auto record = NewRecord(shape.format, above->width, above->height, above->depth, shape.type);
        if (!record) return E_OUTOFMEMORY;
        result = ConvertInto(*above, *record, encode);
        append(std::move(record));
    }
    return result;
}

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

int RunConvert(const std::vector<std::string>& operands, const CommandOptions& options) {
    std::string error;
    const std::optional<ConvertRequest> parsed = ParseRequest(operands, options, &error);
    if (!parsed) return Fail(error, kExitUsage);
    const ConvertRequest& request = *parsed;

    ImageFile source;
    if (!ReadImageFile(request.input, source, &error)) return Fail(error, kExitFailure);
    const DecodedImage& image = source.image;

    // The faces and levels taken, and the shape made of them.
    const UINT sourceFaces = FaceCount(image);
    if (request.face && *request.face >= sourceFaces)
        return Fail("--face " + std::to_string(*request.face) + ": " + request.input + " has " +
                        (sourceFaces == 1 ? "one face, 0" : std::to_string(sourceFaces) + " faces, 0 to " +
                                                                std::to_string(sourceFaces - 1)),
                    kExitUsage);
    const DecodedImage& firstFace = *FaceOf(image, request.face.value_or(0));
    const UINT sourceLevels = LevelCount(firstFace);
    if (request.level && *request.level >= sourceLevels)
        return Fail("--level " + std::to_string(*request.level) + ": " + request.input + " has " +
                        (sourceLevels == 1 ? "one level, 0" : std::to_string(sourceLevels) + " levels, 0 to " +
                                                                  std::to_string(sourceLevels - 1)),
                    kExitUsage);
    const UINT firstLevel = request.level.value_or(0);
    const DecodedImage& top = *LevelOf(firstFace, firstLevel);
    const bool chains = request.codec->id == ImageFileFormat::Dds;  // the one format with levels, cubes, volumes

    ConvertResult made;
    made.type = request.face ? D3DRTYPE_TEXTURE : image.resourceType;
    made.faces = request.face ? 1 : sourceFaces;
    made.width = request.width.value_or(top.width);
    made.height = request.height
                      ? *request.height
                      : request.width ? std::max(1u, static_cast<UINT>((static_cast<std::uint64_t>(top.height) *
                                                                            *request.width + top.width / 2) /
                                                                           top.width))
                                      : top.height;
    made.depth = top.depth;
    if (!chains && (made.type != D3DRTYPE_TEXTURE || made.depth > 1))
        return Fail("cannot write " + request.output + ": " + request.codec->name + " files hold one flat image and " +
                        request.input + " is a " + (made.type == D3DRTYPE_CUBETEXTURE ? "cube" : "volume") +
                        (made.type == D3DRTYPE_CUBETEXTURE ? "; take one face with --face F" : "; write it as DDS"),
                    kExitUsage);
    const UINT fullChain = FullChainLength(made.width, made.height, made.depth);
    bool keepLevels = false;
    switch (request.mips) {
    case ConvertRequest::Mips::Keep:
        made.levels = request.level ? 1 : sourceLevels - firstLevel;
        keepLevels = !request.width;
        if (!chains) made.levels = 1;
        made.levels = std::min(made.levels, fullChain);
        break;
    case ConvertRequest::Mips::All: made.levels = fullChain; break;
    case ConvertRequest::Mips::Count:
        if (request.mipCount > fullChain)
            return Fail("--mips " + std::to_string(request.mipCount) + ": a " +
                            ShapeText(made.width, made.height, made.depth, made.type) + " image has at most " +
                            std::to_string(fullChain) + " levels",
                        kExitUsage);
        made.levels = request.mipCount;
        break;
    }
    if (!chains && made.levels > 1)
        return Fail("cannot write " + request.output + ": " + request.codec->name +
                        " files hold one level; --mips needs a DDS file",
                    kExitUsage);

    // The pixel format: the one asked for, else the stored one where the
    // writer takes it, else the writer's closest.
    made.format = request.format.value_or(
        MatchFormatInList(request.codec->writeFormats, FALSE, LookupPixelFormat(source.info.Format)));
    if (made.format == D3DFMT_UNKNOWN)
        return Fail("cannot write " + request.output + ": " + request.codec->name + " files cannot store " +
                        PixelFormatName(source.info.Format) + " pixels or any near them",
                    kExitFailure);
    if (LookupPixelFormat(made.format).IsBlockCompressed() && (made.width % 4 != 0 || made.height % 4 != 0))
        return Fail("cannot write " + request.output + " as " + PixelFormatName(made.format) + ": its top level is " +
                        ShapeText(made.width, made.height, made.depth, made.type) +
                        " and block-compressed textures need sides that are multiples of 4 (see --size)",
                    kExitFailure);

    std::unique_ptr<DecodedImage> result;
    DecodedImage* lastFace = nullptr;
    for (UINT f = 0; f < made.faces; ++f) {
        const DecodedImage& face = *LevelOf(*FaceOf(image, request.face.value_or(f)), firstLevel);
        std::unique_ptr<DecodedImage> converted;
        const HRESULT status = ConvertFace(request, face, made, keepLevels, converted);
        if (FAILED(status))
            return Fail("cannot convert " + request.input + " to " + PixelFormatName(made.format) + ": " +
                            (status == E_OUTOFMEMORY ? std::string("there is not enough memory")
                                                     : "the conversion failed: " + ResultReason(status)),
                        kExitFailure);
        if (lastFace == nullptr) {
            result = std::move(converted);
            lastFace = result.get();
        } else {
            lastFace->nextFace = converted.release();
            lastFace = lastFace->nextFace;
        }
    }
    const HRESULT written = result->WriteImage(request.output.c_str(), request.codec->id, OutputKind::AnsiPath);
    if (FAILED(written)) return Fail(WriteFailure(request.output, written), kExitFailure);
    if (LookupPixelFormat(source.info.Format).alphaBits > 0 && LookupPixelFormat(made.format).alphaBits == 0)
        std::fprintf(stderr, "quillmark: note: %s holds no alpha as %s; the alpha of %s was dropped\n",
                     request.output.c_str(), PixelFormatName(made.format).c_str(), request.input.c_str());

    std::error_code code;
    const std::uintmax_t bytes = std::filesystem::file_size(request.output, code);
    if (request.json) {
        const nlohmann::ordered_json summary = {
            {"input", request.input},
            {"input_format", PixelFormatName(source.info.Format)},
            {"input_width", top.width},
            {"input_height", top.height},
            {"input_depth", top.depth},
            {"output", request.output},
            {"file_format", request.codec->name},
            {"format", PixelFormatName(made.format)},
            {"width", made.width},
            {"height", made.height},
            {"depth", made.depth},
            {"faces", made.faces},
            {"levels", made.levels},
            {"bytes", code ? 0 : bytes},
        };
        std::printf("%s\n", summary.dump().c_str());
    } else {
        std::printf("%s %s %s → %s %s, %u level%s, %s\n", FileName(request.input).c_str(),
                    ShapeText(top.width, top.height, top.depth, image.resourceType).c_str(),
                    PixelFormatName(source.info.Format).c_str(), FileName(request.output).c_str(),
                    PixelFormatName(made.format).c_str(), made.levels, made.levels == 1 ? "" : "s",
                    ByteText(code ? 0 : bytes).c_str());
    }
    return kExitSuccess;
}

constexpr CommandOption kConvertOptions[] = {
    {"", "--format", "NAME", "the stored pixel format by its Direct3D 9 name (A8R8G8B8, R5G6B5, DXT1 ...);\n"
                             "default: the input's, or the nearest the output format stores"},
    {"", "--mips", "N|all|keep", "levels: N, the whole chain, or those the input has (default)"},
    {"", "--mip-filter", "FILTER",
     "how each level is made from the one above: none, point, linear,\ntriangle or box (default)", false,
     kFilterNames},
    {"", "--size", "W[xH]", "the top level's size; with W alone the aspect ratio is kept"},
    {"", "--filter", "FILTER", "how --size resamples: none, point, linear, triangle (default) or box", false,
     kFilterNames},
    {"", "--dither", "", "ordered dither where the output format has fewer bits"},
    {"", "--diffusion", "", "error-diffusion dither where the output format has fewer bits"},
    {"", "--srgb-in", "", "the input's values are sRGB-encoded: filter them as linear light"},
    {"", "--srgb-out", "", "store the output's values sRGB-encoded"},
    {"", "--level", "N", "take level N of the input (0 is the largest) as the top"},
    {"", "--face", "F", "take face F (0 to 5: +x, -x, +y, -y, +z, -z) of a cube map"},
    kJsonOption,
};

}  // namespace

extern const BatchCommand kConvertCommand = {
    "convert",
    "converts an image file into another, the output's format from its extension (DDS keeps levels, cube maps "
    "and volumes)",
    "IN OUT [options]",
    kConvertOptions,
    "      The output is written whole or not at all: a file already there is kept when anything fails.\n"
    "      DXT1 to DXT5 blocks are encoded by one fixed method, so there is no quality or speed setting.\n",
    nullptr,
    nullptr,
    RunConvert,
};

}  // namespace quillmark::batch
