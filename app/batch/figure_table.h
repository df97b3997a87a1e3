// A result's figures declared once, each with its name, meaning, unit and how
// it prints, and the three forms made from the declarations: the JSON
// object, the text lines and the rows of a report's table.
#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillmark::batch {

using Json = nlohmann::ordered_json;

template <typename Result>
struct FigureDeclaration {
    std::string_view name;     // the JSON key, and data-figure in a report
    std::string_view meaning;  // the report's row heading
    std::string_view unit;     // what it counts or measures; empty for a yes/no or a text
    Json (*value)(const Result&);
    // The text line "LABEL: text"; no line when `label` is empty.
    std::string_view label = {};
    std::string (*text)(const Result&) = nullptr;
};

// A share or a level figure as JSON, to six decimals; null when not measured.
inline Json Rounded(std::optional<double> value) {
    return value ? Json(std::round(*value * 1e6) / 1e6) : Json(nullptr);
}

// The value as a report's cell shows it: a text as it is, anything else as JSON writes it.
inline std::string CellText(const Json& value) { return value.is_string() ? value.get<std::string>() : value.dump(); }

template <typename Result>
Json FiguresObject(std::span<const FigureDeclaration<Result>> figures, const Result& result) {
    Json object = Json::object();
    for (const FigureDeclaration<Result>& figure : figures) object[std::string(figure.name)] = figure.value(result);
    return object;
}

template <typename Result>
std::string FiguresLines(std::span<const FigureDeclaration<Result>> figures, const Result& result) {
    std::string text;
    for (const FigureDeclaration<Result>& figure : figures)
        if (!figure.label.empty()) text += std::string(figure.label) + ": " + figure.text(result) + "\n";
    return text;
}

}  // namespace quillmark::batch
