// File > Save Analysis... in the desktop window: once a run has measured
// every level, the files `quillmark analyze -o DIR` writes (the polar plot,
// the heat map, the report page) and its figures as JSON go into a folder
// chosen in the folder dialog. The run and its figures stay on screen.
#pragma once

#include "platform/win32/windows.h"

#include <filesystem>
#include <string>

namespace quillmark {

inline constexpr UINT kSaveAnalysisCommand = 40001;
// The figures as `analyze --json` prints them.
inline constexpr const char* kFiguresFileName = "figures.json";

// Writes the finished run's files into `directory` (an existing folder);
// false with the reason when no finished run is on screen or a file cannot
// be written.
bool SaveFinishedAnalysis(const std::filesystem::path& directory, std::string* error);

// Gives the main window (its menu bar made if it has none) the File menu
// with Save Analysis..., grayed until a run is finished.
void AddSaveAnalysisMenu();

// Grays or enables Save Analysis... as a finished run is on screen or not.
void ShowSaveAnalysisState();

// Handles Save Analysis...: the folder dialog, then the files, or a message
// box saying why they could not be written; false for any other command.
bool OnSaveAnalysisCommand(UINT id);

}  // namespace quillmark
