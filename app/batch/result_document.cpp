#include "app/batch/result_document.h"

#include "app/batch/batch_runner.h"
#include "app/batch/settings_flags.h"

#include "devices/select/d3d9_select.h"

#include <unistd.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>

namespace quillmark::batch {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Json PairsObject(const Pairs& pairs) {
    Json object = Json::object();
    for (const auto& [name, value] : pairs) object[name] = value;
    return object;
}

Pairs PairsOf(const Json& object) {
    Pairs pairs;
    if (object.is_object())
        for (const auto& [name, value] : object.items())
            pairs.emplace_back(name, value.is_string() ? value.get<std::string>() : value.dump());
    return pairs;
}

std::string TimeNow(const char* format) {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

// The machine's name, so that results from several machines stay apart.
std::string HostName() {
    char name[256] = {};
    return gethostname(name, sizeof name - 1) == 0 && name[0] ? name : "unknown";
}

}  // namespace

std::string ProgramVersion() { return QUILLMARK_VERSION; }
std::string ProgramBuild() { return QUILLMARK_BUILD_TYPE; }

std::string UtcNow() { return TimeNow("%Y-%m-%d %H:%M:%S UTC"); }

std::string CommandLine() {
    std::string line = "quillmark";
    for (const std::string& argument : BatchArguments()) {
        const bool plain = !argument.empty() && argument.find_first_of(" '\"\\$`*?") == std::string::npos;
        line += " " + (plain ? argument : "'" + argument + "'");
    }
    return line;
}

DeviceIdentity IdentifyDevice(const std::string& name) {
    DeviceIdentity identity{name, {}, {}};
    std::string error;
    if (DescribeDevice(name, &identity.description, &error))
        identity.notes = DeviceNotes(name);
    else
        identity.description = "cannot be opened: " + error;
    return identity;
}

std::vector<PngText> ImageProvenance(const ProbeSettings& settings) {
    const DeviceIdentity device = IdentifyDevice(SelectedDeviceName());
    std::string flags;
    for (const auto& [flag, value] : SettingValues(settings))
        flags += (flags.empty() ? "" : " ") + flag + " " + (value.empty() ? "''" : value);
    return {{"Software", "Quillmark " + ProgramVersion()},
            {"Source", device.name + ": " + device.description},
            {"Settings", flags}};
}

ResultCell CellOf(const std::string& device, const ProbeSettings& settings) {
    ResultCell cell;
    cell.device = device;
    for (auto& [flag, value] : SettingValues(settings))
        if (flag != "--device") cell.settings.emplace_back(flag, value);
    cell.inEffect = SettingsInEffect(settings);
    return cell;
}

Json ResultDocument(std::string_view kind, const std::vector<DeviceIdentity>& devices,
                    const std::vector<ResultCell>& cells) {
    Json document = {{"format", kResultFormatName},
                     {"format_version", kResultFormatVersion},
                     {"kind", kind},
                     {"program", {{"name", "quillmark"}, {"version", ProgramVersion()}, {"build", ProgramBuild()}}},
                     {"host", HostName()},
                     {"date", TimeNow("%Y-%m-%dT%H:%M:%SZ")},
                     {"command_line", CommandLine()}};
    Json identities = Json::array();
    for (const DeviceIdentity& device : devices)
    {
        Json identity = {{"name", device.name}, {"description", device.description}, {"notes", device.notes}};
        if (!device.host.empty()) identity["host"] = device.host;
        identities.push_back(std::move(identity));
    }
    document["devices"] = std::move(identities);
    Json list = Json::array();
    for (const ResultCell& cell : cells) {
        Json entry = cell.devices.empty() ? Json{{"device", cell.device}} : Json{{"devices", cell.devices}};
        if (!cell.title.empty()) entry["title"] = cell.title;
        entry["settings"] = PairsObject(cell.settings);
        entry["in_effect"] = PairsObject(cell.inEffect);
        entry["drawn"] = cell.drawn;
        if (!cell.drawn) entry["why"] = cell.why;
        if (!cell.failures.empty()) entry["failures"] = cell.failures;
        if (!cell.images.empty()) entry["images"] = cell.images;
        entry["figures"] = cell.figures;
        list.push_back(std::move(entry));
    }
    document["cells"] = std::move(list);
    return document;
}

std::string ResultText(const Json& document) { return document.dump(2) + "\n"; }

bool WriteResultFile(const std::filesystem::path& file, const Json& document, std::string* error) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << ResultText(document);
    out.close();
    if (!out) {
        *error = "cannot write " + file.string() + ": the file cannot be created or filled";
        return false;
    }
    return true;
}

bool ReadResultFile(const std::filesystem::path& file, std::string_view kind, Json* document, std::string* error,
                    std::string_view role) {
    const std::string cannotUse = "cannot use " + std::string(role) + " " + file.string();
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        *error = "cannot read " + std::string(role) + " " + file.string() + ": it does not exist or cannot be opened";
        return false;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const Json read = Json::parse(text, nullptr, false);
    const auto field = [&read](const char* name) { return read.is_object() ? read.value(name, Json()) : Json(); };
    if (read.is_discarded() || field("format") != kResultFormatName || !field("format_version").is_number_integer() ||
        !field("cells").is_array()) {
        *error = cannotUse + ": it is not a results file of quillmark";
        return false;
    }
    const int version = field("format_version").get<int>();
    if (version > kResultFormatVersion) {
        *error = cannotUse + ": it was written in results format version " +
                 std::to_string(version) + ", newer than this quillmark reads (" +
                 std::to_string(kResultFormatVersion) + ")";
        return false;
    }
    if (version < 1) {
        *error = cannotUse + ": results format version " + std::to_string(version) +
                 " does not exist";
        return false;
    }
    if (field("kind") != kind) {
        *error = cannotUse + ": it holds the results of \"quillmark " +
                 (field("kind").is_string() ? field("kind").get<std::string>() : "?") + "\", not of \"quillmark " +
                 std::string(kind) + "\"";
        return false;
    }
    *document = read;
    return true;
}

std::vector<ResultCell> CellsOf(const Json& document) {
    std::vector<ResultCell> cells;
    for (const Json& entry : document.value("cells", Json::array())) {
        if (!entry.is_object()) continue;
        ResultCell cell;
        cell.device = entry.value("device", "");
        cell.title = entry.value("title", "");
        cell.settings = PairsOf(entry.value("settings", Json::object()));
        cell.inEffect = PairsOf(entry.value("in_effect", Json::object()));
        cell.drawn = entry.value("drawn", false);
        cell.why = entry.value("why", "");
        for (const Json& failure : entry.value("failures", Json::array())) cell.failures.push_back(failure);
        cell.images = entry.value("images", Json::object());
        cell.figures = entry.value("figures", Json::object());
        cells.push_back(std::move(cell));
    }
    return cells;
}

}  // namespace quillmark::batch

namespace quillmark::batch {

std::vector<DeviceIdentity> DevicesOf(const Json& document) {
    std::vector<DeviceIdentity> devices;
    for (const Json& entry : document.value("devices", Json::array()))
        if (entry.is_object())
            devices.push_back({entry.value("name", ""), entry.value("description", ""), entry.value("notes", ""),
                               entry.value("host", "")});
    return devices;
}

std::string SettingsKey(const std::vector<std::pair<std::string, std::string>>& settings) {
    std::string key;
    for (const auto& [flag, value] : settings) key += flag + " " + value + " ";
    return key;
}

}  // namespace quillmark::batch
