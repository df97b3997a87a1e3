#include "app/batch/run_transfer.h"

#include <cstring>
#include <type_traits>

namespace quillmark::batch {
namespace {

// The bytes of values that are copied as they are (both ends are one program).
template <class T>
Json Bytes(const T* values, std::size_t count) {
    static_assert(std::is_trivially_copyable_v<T>);
    const auto* first = reinterpret_cast<const std::uint8_t*>(values);
    return Json::binary(std::vector<std::uint8_t>(first, first + count * sizeof(T)));
}

template <class T>
bool FromBytes(const Json& json, T* values, std::size_t count) {
    if (!json.is_binary() || json.get_binary().size() != count * sizeof(T)) return false;
    std::memcpy(values, json.get_binary().data(), count * sizeof(T));
    return true;
}

template <class T>
bool FromBytes(const Json& json, std::vector<T>* values) {
    if (!json.is_binary() || json.get_binary().size() % sizeof(T) != 0) return false;
    values->resize(json.get_binary().size() / sizeof(T));
    return FromBytes(json, values->data(), values->size());
}

Json PictureTransfer(const Picture& picture) {
    return {{"width", picture.width}, {"height", picture.height},
            {"pixels", Bytes(picture.pixels.data(), picture.pixels.size())}};
}

bool PictureFromTransfer(const Json& json, Picture* picture) {
    picture->width = json.at("width").get<int>();
    picture->height = json.at("height").get<int>();
    return FromBytes(json.at("pixels"), &picture->pixels) &&
           picture->pixels.size() == std::size_t(picture->width) * std::size_t(std::max(picture->height, 0));
}

Json OptionalTransfer(const std::optional<double>& value) { return value ? Json(*value) : Json(nullptr); }

std::optional<double> OptionalFromTransfer(const Json& json) {
    if (json.is_null()) return std::nullopt;
    return json.get<double>();
}

// LodFigures field by field: it holds a string.
Json LodFiguresTransfer(const LodFigures& f) {
    Json sectors = Json::array();
    for (const std::optional<double>& sector : f.sectors) sectors.push_back(OptionalTransfer(sector));
    return {{"notMeasured", f.notMeasured},
            {"covered", f.covered},
            {"clamped", f.clamped},
            {"within116", OptionalTransfer(f.within116)},
            {"within14", OptionalTransfer(f.within14)},
            {"within12", OptionalTransfer(f.within12)},
            {"withinAllowed", OptionalTransfer(f.withinAllowed)},
            {"meanAbsError", OptionalTransfer(f.meanAbsError)},
            {"p99AbsError", OptionalTransfer(f.p99AbsError)},
            {"meanError", OptionalTransfer(f.meanError)},
            {"sectors", std::move(sectors)}};
}

bool LodFiguresFromTransfer(const Json& json, LodFigures* f) {
    f->notMeasured = json.at("notMeasured").get<std::string>();
    f->covered = json.at("covered").get<std::int64_t>();
    f->clamped = json.at("clamped").get<std::int64_t>();
    f->within116 = OptionalFromTransfer(json.at("within116"));
    f->within14 = OptionalFromTransfer(json.at("within14"));
    f->within12 = OptionalFromTransfer(json.at("within12"));
    f->withinAllowed = OptionalFromTransfer(json.at("withinAllowed"));
    f->meanAbsError = OptionalFromTransfer(json.at("meanAbsError"));
    f->p99AbsError = OptionalFromTransfer(json.at("p99AbsError"));
    f->meanError = OptionalFromTransfer(json.at("meanError"));
    const Json& sectors = json.at("sectors");
    if (!sectors.is_array() || sectors.size() != f->sectors.size()) return false;
    for (std::size_t i = 0; i < f->sectors.size(); ++i) f->sectors[i] = OptionalFromTransfer(sectors[i]);
    return true;
}

}  // namespace

Json RunToTransfer(const CompareRun& run) {
    const LodMaps& maps = run.lod.maps;
    const AnalysisFigures& f = run.figures;
    return {{"name", run.name},
            {"description", run.description},
            {"notes", run.notes},
            {"settings", run.settings},
            {"settingsInEffect", run.settingsInEffect},
            {"explanation", run.explanation},
            {"frame", Bytes(run.frame.data(), run.frame.size())},
            {"levelFrame", Bytes(run.levelFrame.data(), run.levelFrame.size())},
            {"levels", Bytes(run.levels.data(), run.levels.size())},
            {"lod",
             {{"width", maps.width},
              {"height", maps.height},
              {"lastLevel", maps.lastLevel},
              {"notMeasured", maps.notMeasured},
              {"bandTolerance", maps.bandTolerance},
              {"measured", Bytes(maps.measured.data(), maps.measured.size())},
              {"ideal", Bytes(maps.ideal.data(), maps.ideal.size())},
              {"figures", LodFiguresTransfer(run.lod.figures)}}},
            {"analyzed", run.analyzed},
            {"figures",
             {{"hitTotal", f.hitTotal},
              {"maxHits", f.maxHits},
              {"levelTexelSum", f.levelTexelSum},
              {"framesDone", f.framesDone},
              {"done", f.done},
              {"levels", Bytes(f.levels.data(), f.levels.size())},
              {"frameEstimate", f.frameEstimate},
              {"level", f.level},
              {"remainingTime", f.remainingTime}}},
            {"heatMap", PictureTransfer(run.heatMap)},
            {"plot", run.plot.string()}};
}

bool RunFromTransfer(const Json& transfer, CompareRun* run) {
    try {
        run->name = transfer.at("name").get<std::string>();
        run->description = transfer.at("description").get<std::string>();
        run->notes = transfer.at("notes").get<std::string>();
        run->settings = transfer.at("settings").get<std::vector<std::pair<std::string, std::string>>>();
        run->settingsInEffect =
            transfer.at("settingsInEffect").get<std::vector<std::pair<std::string, std::string>>>();
        run->explanation = transfer.at("explanation").get<std::string>();
        const Json& lod = transfer.at("lod");
        LodMaps& maps = run->lod.maps;
        maps.width = lod.at("width").get<int>();
        maps.height = lod.at("height").get<int>();
        maps.lastLevel = lod.at("lastLevel").get<int>();
        maps.notMeasured = lod.at("notMeasured").get<std::string>();
        maps.bandTolerance = lod.at("bandTolerance").get<double>();
        const Json& f = transfer.at("figures");
        AnalysisFigures& figures = run->figures;
        figures.hitTotal = f.at("hitTotal").get<std::int64_t>();
        figures.maxHits = f.at("maxHits").get<int>();
        figures.levelTexelSum = f.at("levelTexelSum").get<std::uint64_t>();
        figures.framesDone = f.at("framesDone").get<std::int32_t>();
        figures.done = f.at("done").get<bool>();
        figures.frameEstimate = f.at("frameEstimate").get<int>();
        figures.level = f.at("level").get<int>();
        figures.remainingTime = f.at("remainingTime").get<std::string>();
        run->analyzed = transfer.at("analyzed").get<bool>();
        run->plot = transfer.at("plot").get<std::string>();
        return FromBytes(transfer.at("frame"), &run->frame) && FromBytes(transfer.at("levelFrame"), &run->levelFrame) &&
               FromBytes(transfer.at("levels"), &run->levels) && FromBytes(lod.at("measured"), &maps.measured) &&
               FromBytes(lod.at("ideal"), &maps.ideal) && LodFiguresFromTransfer(lod.at("figures"), &run->lod.figures) &&
               FromBytes(f.at("levels"), figures.levels.data(), figures.levels.size()) &&
               PictureFromTransfer(transfer.at("heatMap"), &run->heatMap);
    } catch (const Json::exception&) {
        return false;
    }
}

}  // namespace quillmark::batch
