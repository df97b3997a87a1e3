// Choice of the device behind Direct3DCreate9: the QUILLMARK_DEVICE
// environment variable ("reference" when unset), or an explicit choice made
// by the batch mode's --device before the first Direct3DCreate9.
#pragma once

#include <string>
#include <string_view>

namespace quillmark {

// The device names this build knows, separated by ", ".
std::string KnownDeviceNames();

// Name of the device Direct3DCreate9 will create now.
std::string SelectedDeviceName();

// Selects a device by name for the rest of the process; false (and an
// explanatory message in *error) when the name is unknown.
bool SelectDevice(std::string_view name, std::string* error);

}  // namespace quillmark
