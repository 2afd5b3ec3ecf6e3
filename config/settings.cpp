#include "config/settings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/exe_path.h"
#include "platform/ini.h"

namespace {

enum class Kind { kInt, kAddress, kText };

// One row per key, in file order: Load, Save and SettingsKeyValues all walk
// this table, so the three can never disagree about keys or order.
struct FieldDef {
  const char* section;
  const char* key;
  Kind kind;
  const char* load_default;  // text and address keys: used when the key is missing
  void* (*field)(CNVTSettings&);
  size_t size;  // bytes of the field
};

#define DK_FIELD(sec, name, kind, def)                                     \
  FieldDef {                                                               \
    sec, #name, kind, def, [](CNVTSettings& s) -> void* { return &s.name; }, \
        sizeof(CNVTSettings::name)                                         \
  }

const FieldDef kFields[] = {
    DK_FIELD(kSectionCommon, UPDATE_ENABLE, Kind::kInt, nullptr),
    DK_FIELD(kSectionCommon, SYSLOG_ENABLE, Kind::kInt, nullptr),
    DK_FIELD(kSectionCommon, XFLAG, Kind::kInt, nullptr),

    DK_FIELD(kSectionIpSetting, IP_SETTING_XFLAG, Kind::kInt, nullptr),
    DK_FIELD(kSectionIpSetting, IP_SETTING_TYPE, Kind::kInt, nullptr),
    DK_FIELD(kSectionIpSetting, IP_SETTING_START_IP, Kind::kAddress, "192.168.1.161"),
    DK_FIELD(kSectionIpSetting, IP_SETTING_END_IP, Kind::kAddress, "192.168.1.255"),
    DK_FIELD(kSectionIpSetting, IP_SETTING_SUBNETMASK, Kind::kAddress, "255.255.255.0"),
    DK_FIELD(kSectionIpSetting, IP_SETTING_GATEWAY, Kind::kAddress, "192.168.1.1"),
    DK_FIELD(kSectionIpSetting, IP_SETTING_DEFAULT_DNS, Kind::kAddress, "168.126.63.1"),
    DK_FIELD(kSectionIpSetting, IP_SETTING_ID, Kind::kText, "root"),
    DK_FIELD(kSectionIpSetting, IP_SETTING_PASSWORD, Kind::kText, "tulp"),

    DK_FIELD(kSectionFirmwareUpdate, UPDATE_XFLAG, Kind::kInt, nullptr),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_BEFORE_ID, Kind::kText, "root"),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_BEFORE_PASSWORD, Kind::kText, "tulp"),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_AFTER_ID, Kind::kText, "root"),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_AFTER_PASSWORD, Kind::kText, "tulp"),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_IP_SETTING_ENABLE, Kind::kInt, nullptr),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_FACTORYDEFAULT_ENABLE, Kind::kInt, nullptr),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_PROJECT_CODE, Kind::kInt, nullptr),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_FILENAME, Kind::kText, ""),
    DK_FIELD(kSectionFirmwareUpdate, UPDATE_FIRMWARE_VERSION, Kind::kText, ""),

    DK_FIELD(kSectionSyslog, XDEBUG_SERVER_PORT, Kind::kInt, nullptr),
    DK_FIELD(kSectionSyslog, XDEBUG_SERVER_ENABLE, Kind::kInt, nullptr),
    DK_FIELD(kSectionSyslog, SYSLOG_SERVER_PORT, Kind::kInt, nullptr),
    DK_FIELD(kSectionSyslog, SYSLOG_SERVER_ENABLE, Kind::kInt, nullptr),
    DK_FIELD(kSectionSyslog, SYSLOG_DB_IP, Kind::kText, "192.168.1.71"),
    DK_FIELD(kSectionSyslog, SYSLOG_DB_ID, Kind::kText, "root"),
    DK_FIELD(kSectionSyslog, SYSLOG_DB_PASSWORD, Kind::kText, "vantrel"),
    DK_FIELD(kSectionSyslog, SYSLOG_DB_NAME, Kind::kText, "syslog"),
};

#undef DK_FIELD

// Copies src into a field of size bytes, cut to size - 1 characters, and
// clears the rest so no stale bytes stay behind the terminator.
void CopyText(char* dst, size_t size, const char* src) {
  size_t n = std::strlen(src);
  if (n > size - 1) n = size - 1;
  std::memcpy(dst, src, n);
  std::memset(dst + n, 0, size - n);
}

void SetAddress(uint8_t* a, uint8_t o0, uint8_t o1, uint8_t o2, uint8_t o3) {
  a[0] = o0;
  a[1] = o1;
  a[2] = o2;
  a[3] = o3;
}

// Key names match without regard to ASCII case, as in the INI reader.
bool NameIs(std::string_view name, const char* key) {
  const size_t n = std::strlen(key);
  if (name.size() != n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = name[i], b = key[i];
    if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 'a' + 'A');
    if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 'a' + 'A');
    if (a != b) return false;
  }
  return true;
}

// The value as Save writes it after "KEY=".
std::string FieldValueText(const FieldDef& f, const CNVTSettings& s) {
  void* p = f.field(const_cast<CNVTSettings&>(s));
  char buf[32];
  switch (f.kind) {
    case Kind::kInt:
      std::snprintf(buf, sizeof buf, "%d", static_cast<int>(*static_cast<const int32_t*>(p)));
      return buf;
    case Kind::kAddress: {
      const uint8_t* a = static_cast<const uint8_t*>(p);
      std::snprintf(buf, sizeof buf, "%d.%d.%d.%d", a[0], a[1], a[2], a[3]);
      return buf;
    }
    case Kind::kText: {
      // A field filled without a terminator is still read within its size.
      const char* t = static_cast<const char*>(p);
      return dk::IniValueForWrite(std::string(t, strnlen(t, f.size)).c_str());
    }
  }
  return "";
}

}  // namespace

void ParseSettingsAddress(const char* text, uint8_t out[4]) {
  SetAddress(out, 0, 0, 0, 0);
  if (!text) return;
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*p != '.') return;
      ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    bool neg = false;
    if (*p == '+' || *p == '-') neg = (*p++ == '-');
    if (*p < '0' || *p > '9') return;
    // Only the low 8 bits are kept, so reducing modulo 256 per digit gives the
    // exact result for numbers of any length.
    unsigned v = 0;
    while (*p >= '0' && *p <= '9') v = (v * 10u + static_cast<unsigned>(*p++ - '0')) & 0xFFu;
    if (neg) v = (0u - v) & 0xFFu;
    out[i] = static_cast<uint8_t>(v);
  }
}

CNVTSettings::CNVTSettings() { SetDefaults(); }

CNVTSettings::~CNVTSettings() = default;

void CNVTSettings::SetDefaults() {
  UPDATE_ENABLE = 0;
  SYSLOG_ENABLE = 0;
  XFLAG = 0;
  IP_SETTING_XFLAG = 0;
  IP_SETTING_TYPE = 0;
  SetAddress(IP_SETTING_START_IP, 192, 168, 1, 161);
  SetAddress(IP_SETTING_END_IP, 192, 168, 1, 255);
  SetAddress(IP_SETTING_SUBNETMASK, 255, 255, 255, 0);
  SetAddress(IP_SETTING_GATEWAY, 192, 168, 1, 1);
  SetAddress(IP_SETTING_DEFAULT_DNS, 168, 126, 63, 1);
  CopyText(IP_SETTING_ID, sizeof IP_SETTING_ID, "root");
  CopyText(IP_SETTING_PASSWORD, sizeof IP_SETTING_PASSWORD, "tulp");
  UPDATE_XFLAG = 0;
  CopyText(UPDATE_BEFORE_ID, sizeof UPDATE_BEFORE_ID, "root");
  CopyText(UPDATE_BEFORE_PASSWORD, sizeof UPDATE_BEFORE_PASSWORD, "tulp");
  CopyText(UPDATE_AFTER_ID, sizeof UPDATE_AFTER_ID, "root");
  CopyText(UPDATE_AFTER_PASSWORD, sizeof UPDATE_AFTER_PASSWORD, "tulp");
  UPDATE_IP_SETTING_ENABLE = 0;
  UPDATE_FACTORYDEFAULT_ENABLE = 0;
  UPDATE_PROJECT_CODE = 0;
  CopyText(UPDATE_FILENAME, sizeof UPDATE_FILENAME, "");
  CopyText(UPDATE_FIRMWARE_VERSION, sizeof UPDATE_FIRMWARE_VERSION, "");
  XDEBUG_SERVER_PORT = 700;
  XDEBUG_SERVER_ENABLE = 0;
  SYSLOG_SERVER_PORT = 514;
  SYSLOG_SERVER_ENABLE = 1;
  CopyText(SYSLOG_DB_IP, sizeof SYSLOG_DB_IP, "");
  CopyText(SYSLOG_DB_ID, sizeof SYSLOG_DB_ID, "");
  CopyText(SYSLOG_DB_PASSWORD, sizeof SYSLOG_DB_PASSWORD, "");
  CopyText(SYSLOG_DB_NAME, sizeof SYSLOG_DB_NAME, "");
}

bool SettingsFilePath(std::string* path) {
  std::string dir;
  if (!dk::ConfigDir(&dir)) return false;
  *path = dk::PathBesideExecutable(dir, kSettingsFileName);
  return true;
}

int32_t CNVTSettings::Load() {
  std::string path;
  if (!SettingsFilePath(&path)) return -1;
  return LoadFrom(path);
}

int32_t CNVTSettings::Save(std::string* reason) {
  std::string dir;
  if (!dk::ConfigDir(&dir)) {
    if (reason) *reason = "neither the program's folder nor a home folder is usable";
    return -1;
  }
  // The user's configuration folder does not exist before the first save.
  const int err = dk::MakeDirs(dir);
  if (err != 0) {
    if (reason) *reason = "cannot create the folder " + dir + ": " + std::generic_category().message(err);
    return -3;
  }
  return SaveTo(dk::PathBesideExecutable(dir, kSettingsFileName), reason);
}

int32_t CNVTSettings::LoadFrom(const std::string& path) {
  // One read of the file for all keys, so the record comes from one version of it.
  std::string text;
  if (!dk::IniReadFile(path, &text)) return -2;
  LoadFromText(text.data(), text.size());
  return 0;
}

void CNVTSettings::LoadFromText(const char* text, size_t len) {
  constexpr size_t kCount = sizeof kFields / sizeof kFields[0];
  std::string values[kCount];
  bool found[kCount] = {};
  // One pass per section; the first line of a key is the one that counts.
  for (size_t first = 0; first < kCount; ++first) {
    const char* section = kFields[first].section;
    if (first > 0 && std::strcmp(kFields[first - 1].section, section) == 0) continue;
    dk::IniForEachKey(text, len, section, [&](std::string_view name, std::string_view value) {
      for (size_t i = first; i < kCount && std::strcmp(kFields[i].section, section) == 0; ++i) {
        if (found[i] || !NameIs(name, kFields[i].key)) continue;
        found[i] = true;
        values[i].assign(value);
        break;
      }
    });
  }
  for (size_t i = 0; i < kCount; ++i) {
    const FieldDef& f = kFields[i];
    void* p = f.field(*this);
    const char* value = values[i].c_str();
    switch (f.kind) {
      case Kind::kInt:
        // An empty number counts as none, as for the profile API.
        *static_cast<int32_t*>(p) = found[i] && value[0] ? dk::IniParseInt(value) : kSettingsMissingInt;
        break;
      case Kind::kAddress:
        ParseSettingsAddress(found[i] ? value : f.load_default, static_cast<uint8_t*>(p));
        break;
      case Kind::kText:
        // c_str(): a NUL inside the value ends the text, as for any C-string read.
        CopyText(static_cast<char*>(p), f.size, found[i] ? value : f.load_default);
        break;
    }
  }
}

std::vector<std::pair<std::string, std::string>> SettingsKeyValues(const CNVTSettings& s) {
  std::vector<std::pair<std::string, std::string>> out;
  out.reserve(sizeof kFields / sizeof kFields[0]);
  for (const FieldDef& f : kFields) out.emplace_back(f.key, FieldValueText(f, s));
  return out;
}

std::string SettingsFileText(const CNVTSettings& s) {
  std::string text;
  const char* section = nullptr;
  for (const FieldDef& f : kFields) {
    if (!section || std::strcmp(section, f.section) != 0) {
      section = f.section;
      text += "[";
      text += section;
      text += "]\n";
    }
    text += f.key;
    text += "=";
    text += FieldValueText(f, s);
    text += "\n";
  }
  return text;
}

int32_t CNVTSettings::SaveTo(const std::string& path, std::string* reason) {
  // The whole file is replaced in one step: nothing of the former content
  // (other sections, keys, comments) survives, and a failed write leaves the
  // former file instead of none.
  // The file holds the administrator passwords: a new one is the user's alone.
  if (dk::FileWriteAll(path, SettingsFileText(*this), 0600)) return 0;
  if (reason) *reason = std::generic_category().message(errno);
  return -2;
}
