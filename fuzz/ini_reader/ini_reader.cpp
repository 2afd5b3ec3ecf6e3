// The INI reader on arbitrary bytes: in-memory lookups, the settings record
// and the language table read from the bytes as a file. Besides memory
// safety it checks what must hold for any input: texts stay inside their
// fields, a saved record loads back identical, a written key reads back.
#include <stdlib.h>
#include <unistd.h>

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

std::string g_dir;

void RemoveDir() {
  unlink((g_dir + "/in.ini").c_str());
  unlink((g_dir + "/out.ini").c_str());
  rmdir(g_dir.c_str());
}

const std::string& Dir() {
  if (g_dir.empty()) {
    char tmpl[] = "/tmp/dk-fuzz-ini-XXXXXX";
    Check(mkdtemp(tmpl) != nullptr, "mkdtemp");
    g_dir = tmpl;
    atexit(RemoveDir);
  }
  return g_dir;
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

  const std::string in = Dir() + "/in.ini";
  const std::string out = Dir() + "/out.ini";
  Check(dk::FileWriteAll(in, std::string(text, size)), "write input file");

  CNVTSettings s;
  Check(s.LoadFrom(in) == 0, "load of an existing file");
  Check(FieldsTerminated(s), "settings text field overrun");
  Check(s.SaveTo(out) == 0, "save");
  CNVTSettings again;
  Check(again.LoadFrom(out) == 0, "reload");
  Check(SettingsKeyValues(again) == SettingsKeyValues(s), "saved record does not load back identical");

  CNVTLanguage lang;
  lang.ReadFrom(in);
  for (int k = 0; k <= 66; ++k) Check(lang.Text(k).size() <= kLanguageTextMax, "language text too long");
  Check(lang.Text(0).empty() && lang.Text(66).empty(), "key outside 1-65 supplied");

  // Writing into whatever the file holds must leave a key that reads back.
  if (dk::IniWriteString(in, "Language", "7", " fuzz \"value\" ")) {
    char buf[64];
    dk::IniGetString(in, "Language", "7", "<missing>", buf, sizeof buf);
    Check(std::strcmp(buf, " fuzz \"value\" ") == 0, "written key does not read back");
  }
  return 0;
}
