#pragma once
// The settings record and its file "Dravenkit.ini" beside the executable, or
// in the user's configuration folder when the program is installed (see
// dk::ConfigDir).
//
// Load reads the whole file into the record: a missing integer key gives 256
// (for every integer key), a missing text or address key gives the load
// default of its key, which for the syslog database texts differs from the
// empty value after construction. A missing file leaves the record as it is.
// Save rewrites the whole file: four sections, keys in a fixed order, nothing
// of the former content kept.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Section names of the file.
inline constexpr char kSettingsFileName[] = "Dravenkit.ini";
inline constexpr char kSectionCommon[] = "COMMON";
inline constexpr char kSectionIpSetting[] = "IP_SETTING";
inline constexpr char kSectionFirmwareUpdate[] = "FIRMWARE_UPDATE";
inline constexpr char kSectionSyslog[] = "SYSLOG";

// What Load stores for an integer key the file lacks.
inline constexpr int32_t kSettingsMissingInt = 256;

class CNVTSettings {
 public:
  CNVTSettings();
  virtual ~CNVTSettings();

  // Every field to its value after construction.
  void SetDefaults();

  // Load: 0 loaded; -1 no folder for the file is known (nothing done);
  // -2 no file (record unchanged).
  int32_t Load();
  // Save: 0 written; -1 no folder for the file is known (nothing done);
  // -2 write failed (the former file, if any, is left as it was); -3 the
  // folder did not exist and could not be created. On failure *reason (when
  // given) says why, e.g. "Permission denied".
  int32_t Save(std::string* reason = nullptr);
  // The same with an explicit path (SaveTo creates no folder).
  int32_t LoadFrom(const std::string& path);
  int32_t SaveTo(const std::string& path, std::string* reason = nullptr);
  // Load's reading of the file's text, from memory (the fuzz target's entry).
  void LoadFromText(const char* text, size_t len);

  // Fields named as their INI keys, in file order.
  int32_t UPDATE_ENABLE;
  int32_t SYSLOG_ENABLE;
  int32_t XFLAG;
  int32_t IP_SETTING_XFLAG;
  int32_t IP_SETTING_TYPE;
  // Octets in dotted order: as one 32-bit value, network byte order.
  uint8_t IP_SETTING_START_IP[4];
  uint8_t IP_SETTING_END_IP[4];
  uint8_t IP_SETTING_SUBNETMASK[4];
  uint8_t IP_SETTING_GATEWAY[4];
  uint8_t IP_SETTING_DEFAULT_DNS[4];
  char IP_SETTING_ID[64];
  char IP_SETTING_PASSWORD[64];
  int32_t UPDATE_XFLAG;
  char UPDATE_BEFORE_ID[64];
  char UPDATE_BEFORE_PASSWORD[64];
  char UPDATE_AFTER_ID[64];
  char UPDATE_AFTER_PASSWORD[64];
  int32_t UPDATE_IP_SETTING_ENABLE;
  int32_t UPDATE_FACTORYDEFAULT_ENABLE;
  int32_t UPDATE_PROJECT_CODE;
  char UPDATE_FILENAME[1024];
  char UPDATE_FIRMWARE_VERSION[256];
  int32_t XDEBUG_SERVER_PORT;
  int32_t XDEBUG_SERVER_ENABLE;
  int32_t SYSLOG_SERVER_PORT;
  int32_t SYSLOG_SERVER_ENABLE;
  char SYSLOG_DB_IP[64];
  char SYSLOG_DB_ID[64];
  char SYSLOG_DB_PASSWORD[64];
  char SYSLOG_DB_NAME[64];
};

// Every key in file order with its value as Save writes it (the text after
// "KEY="), without the section lines.
std::vector<std::pair<std::string, std::string>> SettingsKeyValues(const CNVTSettings&);

// The whole file text Save writes for the record.
std::string SettingsFileText(const CNVTSettings&);

// Full path of the settings file, whether or not it exists yet; false when no
// folder for it is known.
bool SettingsFilePath(std::string* path);

// An address value as Load reads it: up to four decimal numbers separated by
// dots, each stored as its low 8 bits ("300.1.1.1" gives 44.1.1.1). Parsing
// stops at the first character that does not fit; the octets not given
// become 0 ("10.1" gives 10.1.0.0, "abc" gives 0.0.0.0). Text after the
// fourth number is ignored.
void ParseSettingsAddress(const char* text, uint8_t out[4]);
