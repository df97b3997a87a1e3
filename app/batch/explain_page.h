// An explanation on a page: explain's report.html, and the section that
// analyze's and compare's reports show with --explain.
#pragma once

#include "app/batch/settings_flags.h"
#include "app/explain/explanation.h"

#include <string>

namespace quillmark::batch {

// The explanation in words, its figures, the proof and the pictures of the
// blend curve, the probe counts and the λ error by direction.
std::string ExplanationSection(const std::string& heading, const explain::Explanation& explanation);

// explain's report.html: the devices, the settings and the explanation.
std::string ExplainPage(const BatchSettings& settings, const explain::Explanation& explanation);

}  // namespace quillmark::batch
