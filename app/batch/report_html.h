// The pieces every report page is made of (analyze's and compare's
// report.html, the gallery): a page that stands alone, with its pictures
// inside it as PNG data and nothing fetched from anywhere; every figure in
// an element marked data-figure="<its JSON name>".
#pragma once

#include "app/batch/lod_command.h"
#include "app/batch/result_document.h"
#include "app/picture.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quillmark::batch {

std::string Escaped(const std::string& text);
std::string Base64(const std::string& bytes);
std::string ColourHex(std::uint32_t rgb);

// <img> carrying the picture as PNG data; `file` (may be empty) names the
// file beside the page that holds the same picture.
std::string PictureImage(const Picture& picture, const std::string& alt, const std::string& file = {});

// The page around `body`, with the shared style and a policy that lets the
// page load nothing but its own inline pictures and style.
std::string Page(const std::string& title, const std::string& body);

// <tr> of a figure: its label, and its value marked with its JSON name.
std::string FigureRow(const std::string& label, const std::string& name, const std::string& value);

// The settings of the Settings dialog, flag by flag (SettingValues), each
// drawn otherwise (SettingsInEffect) with the value in effect beside it.
std::string SettingsTable(const std::vector<std::pair<std::string, std::string>>& settings,
                          const std::vector<std::pair<std::string, std::string>>& inEffect = {});

// The settings each of several devices ran with, a column per device.
struct DeviceSettings {
    std::string device;
    std::vector<std::pair<std::string, std::string>> settings, inEffect;
};
std::string SettingsTable(const std::vector<DeviceSettings>& devices);

// The picture with its caption under it, the caption its alt text too;
// "CAPTION on DEVICE" where a device is named; `file` as PictureImage's.
std::string CaptionedImage(const Picture& picture, const std::string& caption, const std::string& device = {},
                           const std::string& file = {});

// The program and its version, the date, the command line and the devices.
std::string IdentityBlock(const std::vector<DeviceIdentity>& devices);

// "Devices that failed": each device whose process crashed, hung or exited,
// with what happened (isolated_run.h); empty for none.
std::string FailuresSection(const std::vector<std::pair<std::string, std::string>>& failures);

// The heat map figure (report_figures.h) with its caption; `file` (may be
// empty) is the heat map image written beside the page in the probe's own
// colours.
std::string HeatMapSection(const std::string& heading, const Picture& heatMap, int maxHits, const std::string& file);

// The polar plot read back from `plot` (MipBand.bmp), with its axes and the
// legend of its colours; empty with the reason in *error when unreadable.
std::string MipBandSection(const std::string& heading, const std::filesystem::path& plot, std::string* error);

// One device's λ meter: figures, the error maps at a coarse and a fine
// scale, the measured and ideal maps (all at one width) and the polar plot,
// each captioned, with the device's name where one is given.
std::string LodSection(const std::string& heading, const LodMeasurement& lod, const std::string& device = {});

// Writes the page; false with the reason in *error.
bool WritePage(const std::filesystem::path& target, const std::string& page, std::string* error);

}  // namespace quillmark::batch
