// The page of "quillmark gallery": per setting each device's frame, polar
// plot of the level chosen and error map of its level of detail, and a table
// of the λ figures. Every device's pictures are shown at one scale, half
// their drawn size (labels stay a whole screen pixel per font pixel), in
// columns that wrap for any number of devices. The page is made from what
// results.json and the pictures beside it hold, so that a page merged from
// several folders (gallery --merge) is made as a gallery's own.
#pragma once

#include "app/batch/comparison.h"
#include "app/batch/report_html.h"
#include "app/batch/result_document.h"

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillmark::batch {

// The pictures of a cell drawn, as files beside the page (PNG) and on it.
struct GalleryPictures {
    Picture frame;      // the frame, halved
    Picture levelPlot;  // the polar plot of the level chosen, halved
    Picture lodError;   // the error map of the level of detail, halved
    Picture levels;     // the level-choice frame at its drawn size: the level chosen per pixel
};

// One device under one setting: its cell of results.json (drawn or not, why,
// figures), what happened when its process crashed, hung or exited, and its
// pictures when drawn.
struct GalleryCell {
    ResultCell result;
    std::string failure;
    GalleryPictures pictures;
};

// The pictures of a device's run.
GalleryPictures PicturesOf(const CompareRun& run);

// The picture files of a cell, by their key in results.json's "images":
// "frame", "level_plot", "lod_error", "levels".
inline constexpr const char* kGalleryImagesFolder = "images";
std::vector<std::pair<std::string, Picture GalleryPictures::*>> GalleryImageKeys();

// A picture's file beside the page: images/NN-DEVICE-KEY.png, NN the
// setting's number from 1, DEVICE as DeviceFileName.
std::string GalleryImageFile(int setting, const std::string& device, const std::string& key);

// Writes the cell's pictures into `directory` as GalleryImageFile names
// them, and names them in result.images; false with the reason in *error.
bool WriteGalleryPictures(const std::filesystem::path& directory, int setting, GalleryCell* cell, std::string* error);

// Reads back the pictures a cell of results.json names, relative to
// `directory`; false with the reason in *error.
bool ReadGalleryPictures(const std::filesystem::path& directory, const ResultCell& result, GalleryPictures* pictures,
                         std::string* error);

// A setting's section: its heading, each device's pictures, the figures
// table; `cells` in the order of `devices`.
std::string GallerySection(const std::string& title, const std::vector<std::string>& devices,
                           const std::vector<GalleryCell>& cells);

// The whole page around the sections: `first` (what changed against a
// baseline, the folders merged; may be empty), the identity block, the
// devices that failed, what the pictures show.
std::string GalleryPage(const std::string& first, const std::vector<DeviceIdentity>& devices,
                        const std::vector<std::pair<std::string, std::string>>& failures, const std::string& sections);

// A figure in levels as the table prints it, three decimals: with its sign
// ("+0.031", "-0.031") when `withSign`, "0.000" for anything that rounds to
// zero, "–" when absent.
std::string LevelsText(std::optional<double> value, bool withSign);

}  // namespace quillmark::batch
