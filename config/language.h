#pragma once
// The language table: every user-visible text is looked up by key 1-65 with a
// built-in English default; "DravenkitLanguage.ini" beside the executable (or
// in the user's configuration folder of an installed copy, dk::ConfigDir),
// section "Language", may replace any of them. Missing file, missing key and
// empty value all give the default.
#include <cstddef>
#include <string>
#include <vector>

inline constexpr char kLanguageFileName[] = "DravenkitLanguage.ini";
inline constexpr char kLanguageSection[] = "Language";
inline constexpr int kLanguageKeyCount = 65;
// Longest replacement text kept; longer values are cut.
inline constexpr size_t kLanguageTextMax = 259;

// The main window's system mode label has no key of its own: it is looked up
// under key 65 (the firmware version label's key), so a text for key 65
// replaces both labels. kSystemModeLabelDefault is its own default.
inline constexpr int kSystemModeLabelKey = 65;
inline constexpr char kSystemModeLabelDefault[] = "System Mode";

class CNVTLanguage {
 public:
  // Path in the folder of dk::ConfigDir; empty when none is known (reads
  // then give no texts).
  CNVTLanguage();
  virtual ~CNVTLanguage();

  // Reads the texts of keys 1-65 from the file at path(); entries the file
  // does not supply are empty. Returns the number of keys supplied.
  int Read();
  // The same from an explicit file (path() becomes it).
  int ReadFrom(const std::string& path);
  // Read's reading of the file's text, from memory (path() unchanged).
  int ReadText(const char* text, size_t len);

  // Entry of key 1-65, "" when not supplied or out of range.
  const std::string& Text(int key) const;

  int KeyCount() const { return key_count_; }
  const std::string& path() const { return path_; }

 private:
  int key_count_;
  std::string path_;
  std::vector<std::string> texts_;  // entry k-1 holds key k
};

// The one table, null while none exists.
extern CNVTLanguage* g_language;

// Creates the table if none exists, then reads the file into it.
void LoadLanguage();
// Deletes the table; later lookups give the defaults.
void UnloadLanguage();

// The file's text for key when the table exists and supplies one, else
// default_text ("" for a null default). The pointer stays valid until the
// next LoadLanguage or UnloadLanguage.
const char* GetLanguageText(int key, const char* default_text);

// Built-in English default of key 1-65; "" for keys 20 and 62 (no text uses
// them) and for keys outside 1-65.
const char* LanguageDefault(int key);

// A label as the window writes it: the text of key followed by " :".
std::string LanguageLabel(int key);

// The system mode label with " :", looked up under kSystemModeLabelKey.
std::string SystemModeLabel();

// A language file that gives every key its built-in text, for translators to
// start from (CR LF lines, as Notepad keeps them); as it stands it changes
// nothing. Keys whose text cannot stand as a value are comments: a default of
// two lines (joined by a blank) and kSystemModeLabelKey, whose text would
// rename the System Mode label too.
std::string LanguageFileTemplate();
