#pragma once
// Saving the settings from the window: a save that fails is told to the
// operator with the file's path and the reason, instead of the values being
// silently lost at the next start.
#include <string>

class CNVTSettings;
class Prompt;

// The text shown for a failed save; path may be empty when no folder is known.
std::string SettingsSaveFailureText(const std::string& path, const std::string& reason);

// Saves settings; on failure shows SettingsSaveFailureText through prompt.
// True when saved.
bool SaveSettingsOrTell(CNVTSettings& settings, Prompt& prompt);

// When no settings file exists yet, saves the record as it is (the values
// in use), so that a first start leaves a complete file whose keys the
// operator can edit, e.g. UPDATE_ENABLE. A failure is told as above.
void SaveSettingsIfMissing(CNVTSettings& settings, Prompt& prompt);
