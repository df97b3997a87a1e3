// A device's run (comparison.h's CompareRun) handed from the child process
// that drew it (isolated_run.h) to the parent that compares and reports:
// every field, the pictures and per-pixel maps as binary data.
#pragma once

#include "app/batch/comparison.h"
#include "app/batch/figure_table.h"

namespace quillmark::batch {

Json RunToTransfer(const CompareRun& run);

// The run back; false when `transfer` is not what RunToTransfer made.
bool RunFromTransfer(const Json& transfer, CompareRun* run);

}  // namespace quillmark::batch
