// "quillmark gallery --merge DIR... -o OUT": one page and one results.json
// from the output folders of galleries made on several machines.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quillmark::batch {

// Merges the folders into the one -o names (default the current
// directory). Refuses, with exit code 2, a folder without results.json, one
// of a newer results format or of another command, folders made with other
// settings, and an output folder that is one of them. Returns the exit code.
int MergeGalleries(const std::vector<std::string>& folders, const std::optional<std::string>& output);

}  // namespace quillmark::batch
