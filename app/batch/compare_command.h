// "quillmark compare --device A --device B [settings] [-o DIR] [--analyze]
// [--json]": the same frame (and optionally the same analysis) on two
// devices, and how far their choices of mip level agree pixel by pixel.
#pragma once

#include "app/batch/comparison.h"

#include <filesystem>
#include <string>

namespace quillmark::batch {

// Writes DIR/report.html for the two runs; false with the reason in *error.
bool WriteCompareReport(const std::filesystem::path& directory, const CompareRun& a, const CompareRun& b,
                        std::string* error);

}  // namespace quillmark::batch
