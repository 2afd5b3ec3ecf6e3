#include "ui/settings_save.h"

#include <filesystem>

#include "config/settings.h"
#include "ui/prompt.h"

std::string SettingsSaveFailureText(const std::string& path, const std::string& reason) {
  if (path.empty()) return "The settings could not be saved: " + reason + ".";
  return "The settings could not be saved to " + path + ":\n" + reason + ".";
}

bool SaveSettingsOrTell(CNVTSettings& settings, Prompt& prompt) {
  std::string reason;
  if (settings.Save(&reason) == 0) return true;
  std::string path;
  if (!SettingsFilePath(&path)) path.clear();
  prompt.Info(SettingsSaveFailureText(path, reason), PromptIcon::kError);
  return false;
}

void SaveSettingsIfMissing(CNVTSettings& settings, Prompt& prompt) {
  std::string path;
  // Anything at the path, even unreadable or a dangling link, is left alone.
  std::error_code ec;
  if (SettingsFilePath(&path) && std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found &&
      !ec)
    return;
  SaveSettingsOrTell(settings, prompt);
}
