// The page of "quillmark gallery": per setting each device's frame, polar
// plot of the level chosen and error map of its level of detail, and a table
// of the λ figures. Every device's pictures are shown at one scale, half
// their drawn size (labels stay a whole screen pixel per font pixel), in
// columns that wrap for any number of devices.
#pragma once

#include "app/batch/comparison.h"
#include "app/batch/report_html.h"
#include "app/batch/result_document.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmark::batch {

// One device under one setting; `drawn` false when it could not be, and
// `failure` what happened when its process crashed, hung or exited;
// `result` its cell of results.json.
struct GalleryCell {
    bool drawn = false;
    std::string why;
    std::string failure;
    CompareRun run;
    ResultCell result;
};

// A setting's section: its heading, each device's pictures, the figures
// table; `cells` in the order of `devices`.
std::string GallerySection(const std::string& title, const std::vector<std::string>& devices,
                           const std::vector<GalleryCell>& cells);

// The whole page around the sections: what changed against a baseline
// (BaselineSection, may be empty), the identity block, the devices that
// failed, what the pictures show.
std::string GalleryPage(const std::string& baseline, const std::vector<DeviceIdentity>& devices,
                        const std::vector<std::pair<std::string, std::string>>& failures, const std::string& sections);

// A figure in levels as the table prints it, three decimals: with its sign
// ("+0.031", "-0.031") when `withSign`, "0.000" for anything that rounds to
// zero, "–" when absent.
std::string LevelsText(std::optional<double> value, bool withSign);

}  // namespace quillmark::batch
