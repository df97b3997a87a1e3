// The results file every measuring command writes (docs/results.md): one
// JSON document with the format version, the program's version, the
// machine's name, the date,
// the command line, each device's identity and a list of cells, each cell
// one device under one set of settings with its figures as the figure
// declarations (figure_table.h) make them. docs/schemas/ describes each kind.
#pragma once

#include "app/batch/figure_table.h"
#include "app/picture.h"
#include "app/probe_settings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillmark::batch {

// Raised whenever a reader of an older file would misread a newer one.
inline constexpr int kResultFormatVersion = 1;
inline constexpr const char* kResultFormatName = "quillmark-results";
inline constexpr const char* kResultsFileName = "results.json";

// "0.1.0": the one home of the program's version.
std::string ProgramVersion();
// The build type (and sanitizers) the program was built with.
std::string ProgramBuild();

// The date and time now, "2026-12-09 13:07:16 UTC".
std::string UtcNow();
// The command line of this run, as a shell would take it back.
std::string CommandLine();

// A device as `quillmark devices` shows it.
struct DeviceIdentity {
    std::string name;
    std::string description;  // renderer, version and driver strings
    std::string notes = {};   // DeviceNotes: the driver's limits, formats; may be empty
    std::string host = {};    // the machine it was measured on, in a merged gallery; else empty
};
DeviceIdentity IdentifyDevice(const std::string& name);

// What an image the program saves carries as PNG text: "Software" (the
// program and its version), "Source" (the device selected, as `devices`
// shows it) and "Settings" (every setting as its flag, --device included).
std::vector<PngText> ImageProvenance(const ProbeSettings& settings);

// One device under one set of settings. `settings` are the settings flags
// without --device ("--angle": "70"), `inEffect` those the devices draw
// otherwise (SettingsInEffect).
struct ResultCell {
    std::string device;
    std::vector<std::string> devices;  // instead of `device`, for a cell of two devices (compare)
    std::string title;  // a name for people ("tunnel, 4x, trilinear"); may be empty
    std::vector<std::pair<std::string, std::string>> settings, inEffect;
    bool drawn = true;
    std::string why;  // when not drawn
    // When not drawn because a device's process crashed, hung or exited:
    // what it did, as FailureRecord (isolated_run.h) makes it.
    std::vector<Json> failures;
    Json images = Json::object();  // the gallery's picture files beside the page, by key (gallery_page.h)
    Json figures = Json::object();
};

// The cell's settings as the probe held them, the device's name apart.
ResultCell CellOf(const std::string& device, const ProbeSettings& settings);

// The whole document of one command (`kind` is its name).
Json ResultDocument(std::string_view kind, const std::vector<DeviceIdentity>& devices,
                    const std::vector<ResultCell>& cells);

// The document as the file holds it and --json prints it: indented, one
// line per value, ending with a newline.
std::string ResultText(const Json& document);

// Writes the document; false with the reason in *error.
bool WriteResultFile(const std::filesystem::path& file, const Json& document, std::string* error);

// A results file read back (a baseline, a gallery to merge): false with one
// sentence in *error when it is no results file, is of a newer format
// version or of another command than `kind`; `role` names the file in it
// ("cannot use the baseline FILE: ...").
bool ReadResultFile(const std::filesystem::path& file, std::string_view kind, Json* document, std::string* error,
                    std::string_view role = "the baseline");

// The devices of a document read back.
std::vector<DeviceIdentity> DevicesOf(const Json& document);

// A cell's settings as one text, for matching cells of two runs.
std::string SettingsKey(const std::vector<std::pair<std::string, std::string>>& settings);

// The cells of a document read back, as ResultCell values.
std::vector<ResultCell> CellsOf(const Json& document);

}  // namespace quillmark::batch
