// The INI reader on arbitrary bytes, all in memory through the same code the
// file readers use: lookups, the settings record and the language table.
// Besides memory safety it checks what must hold for any input: texts stay
// inside their fields, a saved record loads back identical, a written key
// reads back, the one-pass readers agree with single lookups.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/language.h"
#include "config/settings.h"
#include "platform/ini.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "ini_reader: %s\n", what);
    abort();
  }
}

bool FieldsTerminated(const CNVTSettings& s) {
  const char* texts[] = {s.IP_SETTING_ID,      s.IP_SETTING_PASSWORD,   s.UPDATE_BEFORE_ID, s.UPDATE_BEFORE_PASSWORD,
                         s.UPDATE_AFTER_ID,    s.UPDATE_AFTER_PASSWORD, s.SYSLOG_DB_IP,     s.SYSLOG_DB_ID,
                         s.SYSLOG_DB_PASSWORD, s.SYSLOG_DB_NAME};
  for (const char* t : texts)
    if (strnlen(t, 64) >= 64) return false;
  return strnlen(s.UPDATE_FILENAME, 1024) < 1024 && strnlen(s.UPDATE_FIRMWARE_VERSION, 256) < 256;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  static const char* const kProbes[][2] = {
      {"COMMON", "UPDATE_ENABLE"}, {"IP_SETTING", "IP_SETTING_START_IP"}, {"SYSLOG", "SYSLOG_DB_NAME"},
      {"Language", "1"},           {"Language", "65"},                    {"a", "b"},
      {"", ""},
  };
  for (const auto& p : kProbes) {
    std::string v;
    if (dk::IniLookup(text, size, p[0], p[1], &v)) Check(v.size() <= size, "value longer than input");
  }

  CNVTSettings s;
  s.LoadFromText(text, size);
  Check(FieldsTerminated(s), "settings text field overrun");
  // The one-pass load finds what a lookup of the key finds.
  std::string v;
  char buf[64];
  if (dk::IniLookup(text, size, kSectionIpSetting, "IP_SETTING_ID", &v)) {
    dk::IniCopyValue(text, size, kSectionIpSetting, "IP_SETTING_ID", "", buf, sizeof buf);
    Check(std::strcmp(buf, s.IP_SETTING_ID) == 0, "one-pass load and lookup disagree");
  } else {
    Check(std::strcmp(s.IP_SETTING_ID, "root") == 0, "missing key without its load default");
  }
  if (!dk::IniLookup(text, size, kSectionCommon, "UPDATE_ENABLE", nullptr))
    Check(s.UPDATE_ENABLE == kSettingsMissingInt, "missing integer key");
  const std::string saved = SettingsFileText(s);
  CNVTSettings again;
  again.LoadFromText(saved.data(), saved.size());
  Check(SettingsFileText(again) == saved, "saved record does not load back identical");

  // One table for all inputs: its constructor looks for the configuration
  // folder (file system calls), ReadText starts from an empty table anyway.
  static CNVTLanguage lang;
  lang.ReadText(text, size);
  for (int k = 0; k <= 66; ++k) Check(lang.Text(k).size() <= kLanguageTextMax, "language text too long");
  Check(lang.Text(0).empty() && lang.Text(66).empty(), "key outside 1-65 supplied");
  if (dk::IniLookup(text, size, kLanguageSection, "7", &v)) {
    const size_t n = std::min(std::min(v.find('\0'), v.size()), kLanguageTextMax);
    Check(lang.Text(7) == v.substr(0, n), "one-pass language read and lookup disagree");
  } else {
    Check(lang.Text(7).empty(), "language key supplied that a lookup does not find");
  }

  // Writing into whatever the text holds must leave a key that reads back.
  std::string edited(text, size);
  if (dk::IniSetText(&edited, "Language", "7", " fuzz \"value\" ")) {
    dk::IniCopyValue(edited.data(), edited.size(), "Language", "7", "<missing>", buf, sizeof buf);
    Check(std::strcmp(buf, " fuzz \"value\" ") == 0, "written key does not read back");
  }
  return 0;
}
