#pragma once
// Moves the settings between "Kelvarian.ini" in the working directory and the
// window's controls, the link's option word, the sensor list and the server
// settings. User-interface thread only.
#include <string>
#include <string_view>

#include "persistence/settings_file.h"

namespace shell {

// Removes what killed saves left, then reads "Kelvarian.ini", or the preset of
// the shell state when there is none.
// A file that is there but cannot be read gives the defaults, one line on
// standard error, and no save for the rest of the run.
void LoadSettings();
// Rewrites the whole file from the current state; failures are dropped.
void SaveSettings();

// Loading sets the link options' bits and never clears them.
void ApplySettings(const persistence::SettingsRecord& record);
persistence::SettingsRecord GatherSettings();

// Selects the port entry named `name` in any letter case; an unknown name
// leaves the selection as it is, an empty one clears it.
void SelectPortByName(std::string_view name);
// The selected port's text; empty when none is selected.
std::string SelectedPortName();

}  // namespace shell
