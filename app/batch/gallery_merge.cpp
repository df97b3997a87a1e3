// "quillmark gallery --merge DIR... -o OUT": one page and one results.json
// from the output folders of galleries made on several machines (a GPU on
// one, llvmpipe on another). Each folder's results.json is read as a
// baseline is (results_document.h) and must hold the gallery's settings as
// the first folder does; a device name found in several folders is given
// its machine's name ("llvmpipe@build-7"); the pictures are copied; the page
// is made from the results and pictures as a gallery's own is.
#include "app/batch/gallery_merge.h"

#include "app/batch/gallery_page.h"
#include "app/batch/output_folder.h"
#include "app/batch/report_html.h"
#include "app/batch/result_document.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace quillmark::batch {
namespace {

namespace fs = std::filesystem;

int Fail(const std::string& message, int code) { return ReportError("cannot merge the galleries: " + message, code); }

// A folder a gallery wrote, read.
struct MergedFolder {
    fs::path path;
    Json document;
    std::vector<ResultCell> cells;
    std::vector<DeviceIdentity> devices;
    std::string host;
};

bool ReadFolder(const std::string& given, MergedFolder* folder, std::string* error) {
    folder->path = fs::absolute(given);
    const fs::path file = folder->path / kResultsFileName;
    std::error_code code;
    if (!fs::is_regular_file(file, code)) {
        *error = given + " holds no " + kResultsFileName + ": it is not a folder that \"quillmark gallery -o\" wrote";
        return false;
    }
    if (!ReadResultFile(file, "gallery", &folder->document, error, "the results")) return false;
    folder->cells = CellsOf(folder->document);
    folder->devices = DevicesOf(folder->document);
    folder->host = folder->document.value("host", "");
    if (folder->host.empty()) folder->host = folder->path.filename().string();
    // A device of a merged gallery keeps the machine it was measured on.
    for (DeviceIdentity& device : folder->devices)
        if (device.host.empty()) device.host = folder->host;
    if (folder->devices.empty()) {
        *error = given + " holds the results of no device";
        return false;
    }
    return true;
}

std::set<std::string> SettingsKeys(const std::vector<ResultCell>& cells) {
    std::set<std::string> keys;
    for (const ResultCell& cell : cells) keys.insert(SettingsKey(cell.settings));
    return keys;
}

// The name each folder's devices go by on the merged page: their own, or
// NAME@HOST where several folders have a device of that name (and
// NAME@HOST#N, N the folder's number, where their machines share a name too).
std::vector<std::map<std::string, std::string>> MergedNames(const std::vector<MergedFolder>& folders) {
    std::map<std::string, int> folderCount;
    for (const MergedFolder& folder : folders)
        for (const DeviceIdentity& device : folder.devices) ++folderCount[device.name];
    std::vector<std::map<std::string, std::string>> names(folders.size());
    std::map<std::string, int> taken;
    for (std::size_t f = 0; f < folders.size(); ++f)
        for (const DeviceIdentity& device : folders[f].devices)
            names[f][device.name] = folderCount[device.name] > 1 ? device.name + "@" + device.host : device.name;
    for (const auto& folder : names)
        for (const auto& [original, merged] : folder) ++taken[merged];
    for (std::size_t f = 0; f < folders.size(); ++f)
        for (auto& [original, merged] : names[f])
            if (taken[merged] > 1) merged += "#" + std::to_string(f + 1);
    return names;
}

// Reads the cell's pictures from the folder it was made in (for the page)
// and copies their files into `directory` under the merged device name.
bool CopyPictures(const fs::path& from, const fs::path& directory, int setting, GalleryCell* cell, std::string* error) {
    if (!ReadGalleryPictures(from, cell->result, &cell->pictures, error)) return false;
    Json images = Json::object();
    for (const auto& [key, member] : GalleryImageKeys()) {
        const std::string file = GalleryImageFile(setting, cell->result.device, key);
        std::error_code code;
        fs::copy_file(from / cell->result.images.at(key).get<std::string>(), directory / file,
                      fs::copy_options::overwrite_existing, code);
        if (code) {
            *error = "cannot copy " + (from / cell->result.images.at(key).get<std::string>()).string() + " to " +
                     (directory / file).string() + ": " + code.message();
            return false;
        }
        images[key] = file;
    }
    cell->result.images = std::move(images);
    return true;
}

std::string MergedFromSection(const std::vector<MergedFolder>& folders) {
    std::string html = "<h2>Merged from</h2>\n<table data-figure=\"merged_from\">\n<tr><th>folder</th><th>machine</th>"
                       "<th>date</th><th>command line</th></tr>\n";
    for (const MergedFolder& folder : folders)
        html += "<tr><td><code>" + Escaped(folder.path.string()) + "</code></td><td>" + Escaped(folder.host) +
                "</td><td>" + Escaped(folder.document.value("date", "")) + "</td><td><code>" +
                Escaped(folder.document.value("command_line", "")) + "</code></td></tr>\n";
    return html + "</table>\n";
}

}  // namespace

int MergeGalleries(const std::vector<std::string>& given, const std::optional<std::string>& output) {
    std::string error;
    std::vector<MergedFolder> folders(given.size());
    for (std::size_t f = 0; f < given.size(); ++f)
        if (!ReadFolder(given[f], &folders[f], &error)) return Fail(error, kExitUsage);
    const std::set<std::string> settings = SettingsKeys(folders.front().cells);
    for (const MergedFolder& folder : folders)
        if (SettingsKeys(folder.cells) != settings)
            return Fail(folder.path.string() + " was made with other settings than " + folders.front().path.string() +
                            ": only galleries of the same settings make one page",
                        kExitUsage);

    OutputFolder claimed;
    const std::optional<fs::path> directory =
        ClaimOutputFolder(output, {"gallery.html", kResultsFileName}, &claimed, &error);
    if (!directory) return Fail(error, kExitFailure);
    for (const MergedFolder& folder : folders) {
        std::error_code code;
        if (fs::equivalent(folder.path, *directory, code))
            return Fail("-o " + directory->string() + " is one of the folders merged: give another", kExitUsage);
    }
    std::error_code code;
    fs::create_directories(*directory / kGalleryImagesFolder, code);
    if (code) return Fail("cannot create " + (*directory / kGalleryImagesFolder).string() + ": " + code.message(), 1);

    const std::vector<std::map<std::string, std::string>> names = MergedNames(folders);
    std::vector<DeviceIdentity> identities;
    std::vector<std::string> devices;
    for (std::size_t f = 0; f < folders.size(); ++f)
        for (DeviceIdentity device : folders[f].devices) {
            device.name = names[f].at(device.name);
            devices.push_back(device.name);
            identities.push_back(std::move(device));
        }

    // The settings in the order of the first folder's cells.
    std::vector<const ResultCell*> order;
    std::set<std::string> seen;
    for (const ResultCell& cell : folders.front().cells)
        if (seen.insert(SettingsKey(cell.settings)).second) order.push_back(&cell);

    std::vector<ResultCell> results;
    std::vector<std::pair<std::string, std::string>> failures;
    std::string sections;
    for (std::size_t s = 0; s < order.size(); ++s) {
        const std::string key = SettingsKey(order[s]->settings);
        std::vector<GalleryCell> cells;
        for (std::size_t f = 0; f < folders.size(); ++f)
            for (const DeviceIdentity& device : folders[f].devices) {
                GalleryCell cell;
                const auto found = std::find_if(folders[f].cells.begin(), folders[f].cells.end(), [&](const ResultCell& c) {
                    return c.device == device.name && SettingsKey(c.settings) == key;
                });
                if (found == folders[f].cells.end()) {
                    cell.result = *order[s];
                    cell.result.figures = Json::object();
                    cell.result.failures.clear();
                    cell.result.images = Json::object();
                    cell.result.drawn = false;
                    cell.result.why = "not in the results of " + folders[f].path.string();
                } else {
                    cell.result = *found;
                }
                cell.result.device = names[f].at(device.name);
                for (Json& failure : cell.result.failures) {
                    failure["device"] = cell.result.device;
                    failures.emplace_back(cell.result.device, failure.value("what", "") + " under " + cell.result.title);
                }
                if (cell.result.drawn && !CopyPictures(folders[f].path, *directory, int(s + 1), &cell, &error))
                    return Fail(error, kExitFailure);
                cells.push_back(std::move(cell));
            }
        sections += GallerySection(order[s]->title, devices, cells);
        for (GalleryCell& cell : cells) results.push_back(std::move(cell.result));
    }

    Json document = ResultDocument("gallery", identities, results);
    Json merged = Json::array();
    for (const MergedFolder& folder : folders)
        merged.push_back({{"folder", folder.path.string()},
                          {"host", folder.host},
                          {"date", folder.document.value("date", "")},
                          {"command_line", folder.document.value("command_line", "")}});
    document["merged_from"] = std::move(merged);
    if (!WriteResultFile(*directory / kResultsFileName, document, &error)) return Fail(error, kExitFailure);
    const fs::path page = *directory / "gallery.html";
    if (!WritePage(page, GalleryPage(MergedFromSection(folders), identities, failures, sections), &error))
        return Fail(error, kExitFailure);
    std::printf("%s\n", page.string().c_str());
    return kExitSuccess;
}

}  // namespace quillmark::batch
