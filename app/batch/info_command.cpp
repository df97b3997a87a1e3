// "quillmark info FILE... [--json] [--stats]": what image files hold, as the
// library describes them; a folder lists each file in it on one line.
#include "app/batch/batch_command.h"
#include "app/batch/image_file.h"

#include "app/texture_file.h"

#include "imagecodec/mapped_file.h"
#include "imagecodec/read_failure.h"
#include "texfile/describe.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

std::string Hex(DWORD value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(value));
    return text;
}

// The FourCC as its four characters where they are printable, else its number.
std::string FourCCText(DWORD code) {
    if (code == 0) return "none";
    std::string text;
    for (int shift = 0; shift < 32; shift += 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) return std::to_string(code);
        text += c;
    }
    return text;
}

// The description of `path`, or false with "cannot read PATH: why".
bool Describe(const std::string& path, bool statistics, ImageDescription& description, std::string* error) {
    ClearReadFailure();
    MappedFile file;
    HRESULT result = file.Open(path.c_str(), false);
    if (SUCCEEDED(result) && file.Size() == 0) {
        *error = "cannot read " + path + ": it is empty";
        return false;
    }
    if (SUCCEEDED(result)) result = DescribeImage(file.Data(), file.Size(), statistics, description);
    if (SUCCEEDED(result)) return true;
    *error = "cannot read " + path + ": " +
             (result == E_OUTOFMEMORY ? std::string("it needs more memory than there is") : UnreadableReason(path));
    return false;
}

std::string Summary(const std::string& name, const ImageDescription& d) {
    return name + ": " + d.fileFormatName + " " + d.formatName + " " +
           ShapeText(d.width, d.height, d.depth, d.resourceType) + ", " + std::to_string(d.levels) +
           (d.levels == 1 ? " level" : " levels") + ", " + ByteText(d.totalBytes);
}

std::string Details(const ImageDescription& d) {
    std::string text;
    for (std::size_t l = 0; l < d.levelFacts.size(); ++l) {
        const LevelFacts& level = d.levelFacts[l];
        text += "  level " + std::to_string(l) + ": " +
                ShapeText(level.width, level.height, level.depth, d.resourceType == D3DRTYPE_VOLUMETEXTURE
                                                                     ? D3DRTYPE_VOLUMETEXTURE
                                                                     : D3DRTYPE_TEXTURE) +
                ", " + std::to_string(level.bytes) + " bytes\n";
    }
    if (d.faces > 1) text += "  faces: " + std::to_string(d.faces) + "\n";
    if (d.dds) {
        const DdsHeaderFacts& h = *d.dds;
        text += "  header: flags " + Hex(h.flags) + ", " + std::to_string(h.width) + "×" + std::to_string(h.height) +
                (h.depth ? "×" + std::to_string(h.depth) : std::string()) + ", pitch or linear size " +
                std::to_string(h.pitchOrLinearSize) + ", mip count " + std::to_string(h.mipMapCount) + "\n";
        text += "  pixel format: flags " + Hex(h.pixelFormatFlags) + ", FourCC " + FourCCText(h.fourCC) + ", " +
                std::to_string(h.bitCount) + " bits, masks " + Hex(h.masks[0]) + " " + Hex(h.masks[1]) + " " +
                Hex(h.masks[2]) + " " + Hex(h.masks[3]) + "\n";
        text += "  caps " + Hex(h.caps) + ", caps2 " + Hex(h.caps2) + "\n";
        if (h.hasDx10)
            text += "  DX10 header: " + h.dxgiName + " (" + std::to_string(h.dxgiFormat) + "), dimension " +
                    std::to_string(h.dimension) + ", misc flags " + Hex(h.miscFlags) + ", array size " +
                    std::to_string(h.arraySize) + "\n";
        for (const std::string& clause : h.inconsistencies) text += "  inconsistent: " + clause + "\n";
    }
    for (const ChannelStatistics& channel : d.statistics) {
        char line[128];
        std::snprintf(line, sizeof(line), "  %c: minimum %.6g, maximum %.6g, mean %.6g\n", channel.channel,
                      channel.minimum, channel.maximum, channel.mean);
        text += line;
    }
    return text;
}

nlohmann::ordered_json Json(const std::string& path, const ImageDescription& d) {
    nlohmann::ordered_json levels = nlohmann::ordered_json::array();
    for (const LevelFacts& level : d.levelFacts)
        levels.push_back({{"width", level.width}, {"height", level.height}, {"depth", level.depth},
                          {"bytes", level.bytes}});
    const char* type = d.resourceType == D3DRTYPE_CUBETEXTURE     ? "cube"
                       : d.resourceType == D3DRTYPE_VOLUMETEXTURE ? "volume"
                                                                  : "texture";
    nlohmann::ordered_json json = {
        {"file", path},          {"file_format", d.fileFormatName}, {"format", d.formatName},
        {"type", type},          {"width", d.width},                {"height", d.height},
        {"depth", d.depth},      {"levels", d.levels},              {"faces", d.faces},
        {"bytes", d.totalBytes}, {"level_sizes", levels},
    };
    if (d.dds) {
        const DdsHeaderFacts& h = *d.dds;
        nlohmann::ordered_json header = {
            {"flags", h.flags},
            {"width", h.width},
            {"height", h.height},
            {"depth", h.depth},
            {"pitch_or_linear_size", h.pitchOrLinearSize},
            {"mip_map_count", h.mipMapCount},
            {"pixel_format_flags", h.pixelFormatFlags},
            {"fourcc", FourCCText(h.fourCC)},
            {"bit_count", h.bitCount},
            {"masks", {h.masks[0], h.masks[1], h.masks[2], h.masks[3]}},
            {"caps", h.caps},
            {"caps2", h.caps2},
        };
        if (h.hasDx10)
            header["dx10"] = {{"dxgi_format", h.dxgiFormat}, {"dxgi_name", h.dxgiName}, {"dimension", h.dimension},
                              {"misc_flags", h.miscFlags}, {"array_size", h.arraySize}};
        header["inconsistencies"] = h.inconsistencies;
        json["dds"] = header;
    }
    if (!d.statistics.empty()) {
        nlohmann::ordered_json channels = nlohmann::ordered_json::object();
        for (const ChannelStatistics& c : d.statistics)
            channels[std::string(1, c.channel)] = {{"minimum", c.minimum}, {"maximum", c.maximum}, {"mean", c.mean}};
        json["statistics"] = channels;
    }
    return json;
}

int RunInfo(const std::vector<std::string>& operands, const CommandOptions& options) {
    if (operands.empty()) return ReportError("nothing to describe: info takes one or more files or folders", kExitUsage);
    const bool json = options.Has("--json");
    const bool statistics = options.Has("--stats");
    // Each operand's files; a folder's in name order, described in one line each.
    struct Entry {
        std::string path;
        bool brief;
    };
    std::vector<Entry> entries;
    for (const std::string& operand : operands) {
        std::error_code code;
        if (!fs::is_directory(operand, code)) {
            entries.push_back({operand, false});
            continue;
        }
        std::vector<std::string> files;
        for (const fs::directory_entry& item : fs::directory_iterator(operand, code))
            if (item.is_regular_file(code)) files.push_back(item.path().string());
        std::sort(files.begin(), files.end());
        for (const std::string& file : files) entries.push_back({file, true});
    }
    bool allRead = true;
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Entry& entry : entries) {
        ImageDescription description;
        std::string error;
        if (!Describe(entry.path, statistics, description, &error)) {
            allRead = false;
            if (json)
                list.push_back({{"file", entry.path}, {"error", error}});
            else
                ReportError(error, kExitFailure);
            continue;
        }
        if (json)
            list.push_back(Json(entry.path, description));
        else
            std::printf("%s\n%s", Summary(entry.path, description).c_str(),
                        entry.brief ? "" : Details(description).c_str());
    }
    if (json) std::printf("%s\n", (entries.size() == 1 && !entries[0].brief ? list[0] : list).dump().c_str());
    return allRead ? kExitSuccess : kExitFailure;
}

constexpr CommandOption kInfoOptions[] = {
    {"", "--stats", "", "each channel's minimum, maximum and mean of the top level"},
    {"", "--json", "", "the facts as JSON: one object for one file, else an array of them"},
};

}  // namespace

extern const BatchCommand kInfoCommand = {
    "info",
    "says what image files hold: format, pixel format, shape, levels and their bytes, a DDS file's header",
    "FILE... [--stats] [--json]",
    kInfoOptions,
    "      A folder lists each file in it on one line. The exit code is 1 when any file cannot be read.\n",
    nullptr,
    nullptr,
    RunInfo,
};

}  // namespace quillmark::batch
