#include "config/language.h"

#include <cstdio>
#include <string_view>

#include "platform/exe_path.h"
#include "platform/ini.h"

CNVTLanguage* g_language = nullptr;

namespace {

// Built-in English texts, entry k-1 for key k. Keys 20 and 62 are read from
// the file but no text uses them.
const char* const kDefaults[kLanguageKeyCount] = {
    /* 1 */ "OK",
    /* 2 */ "Cancel",
    /* 3 */ "Discovery",
    /* 4 */ "Clear",
    /* 5 */ "Delete ARP table",
    /* 6 */ "Multiple IP setting",
    /* 7 */ "Firmware update",
    /* 8 */ "No.",
    /* 9 */ "Model name",
    /* 10 */ "MAC address",
    /* 11 */ "IP address",
    /* 12 */ "Web port",
    /* 13 */ "AV port",
    /* 14 */ "Status",
    /* 15 */ "Local network info.",
    /* 16 */ "IP address",
    /* 17 */ "Subnet mask",
    /* 18 */ "Gateway",
    /* 19 */ "DNS server",
    /* 20 */ "",
    /* 21 */ "Network type",
    /* 22 */ "Static IP",
    /* 23 */ "DHCP",
    /* 24 */ "PPPoE",
    /* 25 */ "Network setting",
    /* 26 */ "Apply",
    /* 27 */ "Delete ARP table.",
    /* 28 */ "Please select the list !",
    /* 29 */ "Apply Changes. Are you sure?",
    /* 30 */ "Authentication",
    /* 31 */ "User ID",
    /* 32 */ "Password",
    /* 33 */ "Guest Login",
    /* 34 */ "Admin ID is required",
    /* 35 */ "Admin Password is required",
    /* 36 */ "Network setting failed !",
    /* 37 */ "Invalid Athentication Information.\nCheck the Administrator ID and Password !",
    /* 38 */ "Configuration Error !\nPlease check IP, netmask or gateway and correct them.",
    /* 39 */ "IP address collision",
    /* 40 */ "IP address is changed.",
    /* 41 */ "IP address collision",
    /* 42 */ "Checking ip address ...",
    /* 43 */ "Network setting",
    /* 44 */ "Assign IP address using DB file",
    /* 45 */ "Assign IP address using the following network information",
    /* 46 */ "Select file",
    /* 47 */ "View file",
    /* 48 */ "Start IP address",
    /* 49 */ "Do you want to change?",
    /* 50 */ "Do you want to 'Firmware update' ?",
    /* 51 */ "Firmware info.",
    /* 52 */ "File path",
    /* 53 */ "Version info.",
    /* 54 */ "Options",
    /* 55 */ "When the update is complete, factory",
    /* 56 */ "Please choose file!",
    /* 57 */ "Update is in progress.",
    /* 58 */ "Update complete.",
    /* 59 */ "FactoryDefault",
    /* 60 */ "Do you want to 'FactoryDefault' ?",
    /* 61 */ "FactoryDefault complete.",
    /* 62 */ "",
    /* 63 */ "NVT Information",
    /* 64 */ "Serial No.",
    /* 65 */ "Firmware Ver.",
};

const std::string kEmpty;

}  // namespace

CNVTLanguage::CNVTLanguage() : key_count_(kLanguageKeyCount) {
  std::string dir;
  if (dk::ConfigDir(&dir)) path_ = dk::PathBesideExecutable(dir, kLanguageFileName);
}

CNVTLanguage::~CNVTLanguage() = default;

int CNVTLanguage::Read() {
  std::string file;
  if (path_.empty() || !dk::IniReadFile(path_, &file)) {
    texts_.assign(static_cast<size_t>(key_count_), std::string());
    return 0;
  }
  return ReadText(file.data(), file.size());
}

int CNVTLanguage::ReadText(const char* text, size_t len) {
  texts_.assign(static_cast<size_t>(key_count_), std::string());
  std::vector<bool> seen(static_cast<size_t>(key_count_), false);
  int supplied = 0;
  // One pass; the first line of a key counts. Names are the keys as "%d" writes them.
  dk::IniForEachKey(text, len, kLanguageSection, [&](std::string_view name, std::string_view value) {
    if (name.empty() || name.size() > 2 || name[0] < '1' || name[0] > '9') return;
    int k = name[0] - '0';
    if (name.size() == 2) {
      if (name[1] < '0' || name[1] > '9') return;
      k = k * 10 + (name[1] - '0');
    }
    if (k > key_count_ || seen[static_cast<size_t>(k - 1)]) return;
    seen[static_cast<size_t>(k - 1)] = true;
    // Same cut as a read into a 260-character buffer; a NUL ends the text.
    size_t n = value.find('\0');
    if (n == std::string_view::npos) n = value.size();
    if (n > kLanguageTextMax) n = kLanguageTextMax;
    texts_[static_cast<size_t>(k - 1)].assign(value.data(), n);
    if (n > 0) ++supplied;
  });
  return supplied;
}

int CNVTLanguage::ReadFrom(const std::string& path) {
  path_ = path;
  return Read();
}

const std::string& CNVTLanguage::Text(int key) const {
  if (key < 1 || key > static_cast<int>(texts_.size())) return kEmpty;
  return texts_[static_cast<size_t>(key - 1)];
}

void LoadLanguage() {
  if (!g_language) g_language = new CNVTLanguage();
  g_language->Read();
}

void UnloadLanguage() {
  delete g_language;
  g_language = nullptr;
}

const char* GetLanguageText(int key, const char* default_text) {
  if (g_language) {
    const std::string& t = g_language->Text(key);
    if (!t.empty()) return t.c_str();
  }
  return default_text ? default_text : "";
}

const char* LanguageDefault(int key) {
  if (key < 1 || key > kLanguageKeyCount) return "";
  return kDefaults[key - 1];
}

std::string LanguageLabel(int key) { return std::string(GetLanguageText(key, LanguageDefault(key))) + " :"; }

std::string SystemModeLabel() {
  return std::string(GetLanguageText(kSystemModeLabelKey, kSystemModeLabelDefault)) + " :";
}

std::string LanguageFileTemplate() {
  std::string out =
      "; Dravenkit's texts. Put this file beside the program and replace the texts\r\n"
      "; after '='; an empty or missing key keeps the built-in English text.\r\n"
      "; Keys 37 and 38 are two lines in English: a replacement is one line.\r\n"
      "; Key 65 also names the System Mode label: a text for it replaces both.\r\n"
      "; The lines that start with ';' change nothing until the ';' is removed.\r\n"
      "[Language]\r\n";
  for (int key = 1; key <= kLanguageKeyCount; ++key) {
    std::string text = LanguageDefault(key);
    if (text.empty()) continue;  // keys no text uses
    bool commented = key == kSystemModeLabelKey;  // as it stands it would rename the System Mode label
    for (char& c : text)
      if (c == '\n' || c == '\r') c = ' ', commented = true;
    out += (commented ? ";" : "") + std::to_string(key) + "=" + text + "\r\n";
  }
  return out;
}
