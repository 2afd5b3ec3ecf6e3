#include "config/language.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/exe_path.h"
#include "tests/support/temp_dir.h"

namespace {

class LanguageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    UnloadLanguage();
    dk::SetExecutableDirOverride(dir_.path());
  }
  void TearDown() override {
    UnloadLanguage();
    dk::SetExecutableDirOverride("");
  }
  void WriteFile(const std::string& text) { dir_.Write("DravenkitLanguage.ini", text); }
  TempDir dir_;
};

std::string Text(int key) { return GetLanguageText(key, LanguageDefault(key)); }

TEST(LanguageDefaults, Table) {
  EXPECT_STREQ(LanguageDefault(1), "OK");
  EXPECT_STREQ(LanguageDefault(3), "Discovery");
  EXPECT_STREQ(LanguageDefault(17), "Subnet mask");
  EXPECT_STREQ(LanguageDefault(19), "DNS server");
  EXPECT_STREQ(LanguageDefault(21), "Network type");
  EXPECT_STREQ(LanguageDefault(37),
               "Invalid Athentication Information.\nCheck the Administrator ID and Password !");
  EXPECT_STREQ(LanguageDefault(38),
               "Configuration Error !\nPlease check IP, netmask or gateway and correct them.");
  EXPECT_STREQ(LanguageDefault(45), "Assign IP address using the following network information");
  EXPECT_STREQ(LanguageDefault(50), "Do you want to 'Firmware update' ?");
  EXPECT_STREQ(LanguageDefault(57), "Update is in progress.");
  EXPECT_STREQ(LanguageDefault(61), "FactoryDefault complete.");
  EXPECT_STREQ(LanguageDefault(63), "NVT Information");
  EXPECT_STREQ(LanguageDefault(65), "Firmware Ver.");
  // Keys without a text, and keys outside the table.
  for (int k : {20, 62, 0, -1, 66, 1000}) EXPECT_STREQ(LanguageDefault(k), "") << k;
  // Every other key has a one-line text except 37 and 38, which have exactly one break.
  int filled = 0;
  for (int k = 1; k <= kLanguageKeyCount; ++k) {
    const char* d = LanguageDefault(k);
    if (*d) ++filled;
    size_t breaks = 0;
    for (const char* p = d; *p; ++p) breaks += (*p == '\n');
    EXPECT_EQ(breaks, (k == 37 || k == 38) ? 1u : 0u) << k;
  }
  EXPECT_EQ(filled, 63);
}

TEST_F(LanguageFile, NoTableOrNoFileGivesDefaults) {
  ASSERT_EQ(g_language, nullptr);
  EXPECT_EQ(Text(3), "Discovery");
  EXPECT_STREQ(GetLanguageText(3, nullptr), "");
  EXPECT_EQ(LanguageLabel(10), "MAC address :");

  LoadLanguage();  // no file beside the "executable"
  ASSERT_NE(g_language, nullptr);
  EXPECT_EQ(g_language->KeyCount(), 65);
  EXPECT_EQ(g_language->path(), dir_.File("DravenkitLanguage.ini"));
  for (int k = 1; k <= 66; ++k) EXPECT_EQ(Text(k), LanguageDefault(k)) << k;
  EXPECT_EQ(SystemModeLabel(), "System Mode :");
}

TEST_F(LanguageFile, ReplacementsAndLabels) {
  WriteFile(
      "[Language]\r\n"
      "3=Suche\r\n"
      "17=Netzmaske\r\n"
      "  38 =  Konfigurationsfehler  \r\n"
      "64=\"Serien-Nr.\"\r\n"
      "65=Version\r\n");
  LoadLanguage();
  EXPECT_EQ(Text(3), "Suche");
  // A dialog uses the word alone, the main window labels append " :".
  EXPECT_EQ(Text(17), "Netzmaske");
  EXPECT_EQ(LanguageLabel(17), "Netzmaske :");
  EXPECT_EQ(Text(38), "Konfigurationsfehler");
  EXPECT_EQ(LanguageLabel(64), "Serien-Nr. :");
  // Key 65 names the firmware version label and the system mode label alike.
  EXPECT_EQ(LanguageLabel(65), "Version :");
  EXPECT_EQ(SystemModeLabel(), "Version :");
  // Keys the file does not name keep their defaults.
  EXPECT_EQ(Text(4), "Clear");
  EXPECT_EQ(Text(37), LanguageDefault(37));
}

// The file shipped for translators changes nothing as it stands (not even the
// System Mode label, which key 65 also names), and its commented keys take
// effect once uncommented.
TEST_F(LanguageFile, TemplateGivesTheBuiltInTexts) {
  const std::string tmpl = LanguageFileTemplate();
  WriteFile(tmpl);
  LoadLanguage();
  EXPECT_EQ(g_language->Read(), 60);
  for (int k = 1; k <= kLanguageKeyCount; ++k) EXPECT_EQ(Text(k), LanguageDefault(k)) << k;
  EXPECT_EQ(SystemModeLabel(), "System Mode :");
  std::string opened = tmpl;
  for (const char* key : {"\r\n;37=", "\r\n;38=", "\r\n;65="}) {
    const size_t at = opened.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    opened.erase(at + 2, 1);
  }
  WriteFile(opened);
  LoadLanguage();
  EXPECT_EQ(Text(37), "Invalid Athentication Information. Check the Administrator ID and Password !");
  EXPECT_EQ(Text(38), "Configuration Error ! Please check IP, netmask or gateway and correct them.");
  EXPECT_EQ(SystemModeLabel(), "Firmware Ver. :");
}

TEST_F(LanguageFile, IgnoredEntries) {
  WriteFile(
      "[Other]\n4=Nope\n"
      "[Language]\n"
      "5=\n"
      "6=   \n"
      "7=\"\"\n"
      "66=Sixty-six\n"
      "0=Zero\n"
      "-1=Minus\n"
      "008=Leading zeros\n"
      "[language]\n9=Second block\n"
      "[More]\n10=Nope\n");
  LoadLanguage();
  EXPECT_EQ(Text(4), "Clear");               // other section
  EXPECT_EQ(Text(5), "Delete ARP table");    // empty value counts as absent
  EXPECT_EQ(Text(6), "Multiple IP setting");  // blanks only
  EXPECT_EQ(Text(7), "Firmware update");      // quoted empty
  EXPECT_STREQ(GetLanguageText(66, "sixty-six default"), "sixty-six default");
  EXPECT_STREQ(GetLanguageText(0, "zero default"), "zero default");
  EXPECT_STREQ(GetLanguageText(-1, "minus default"), "minus default");
  EXPECT_EQ(Text(8), "No.");         // key names are the plain decimal numbers
  EXPECT_EQ(Text(9), "Model name");  // only the first Language block counts
  EXPECT_EQ(Text(10), "MAC address");
}

TEST_F(LanguageFile, LongValuesCutAt259) {
  const std::string t259(259, 'x'), t300 = std::string(259, 'y') + std::string(41, 'z');
  WriteFile("[Language]\n1=" + t259 + "\n2=" + t300 + "\n3=" + std::string(100000, 'w') + "\n4=after\n");
  LoadLanguage();
  EXPECT_EQ(Text(1), t259);
  EXPECT_EQ(Text(2), std::string(259, 'y'));
  EXPECT_EQ(Text(3), std::string(259, 'w'));
  EXPECT_EQ(Text(4), "after");
}

TEST_F(LanguageFile, UnloadAndReload) {
  WriteFile("[Language]\n3=Suche\n4=Leeren\n");
  LoadLanguage();
  CNVTLanguage* first = g_language;
  EXPECT_EQ(Text(3), "Suche");
  // A second load reuses the table and reads the file afresh.
  WriteFile("[Language]\n3=Finden\n");
  LoadLanguage();
  EXPECT_EQ(g_language, first);
  EXPECT_EQ(Text(3), "Finden");
  EXPECT_EQ(Text(4), "Clear");

  UnloadLanguage();
  EXPECT_EQ(g_language, nullptr);
  EXPECT_EQ(Text(3), "Discovery");
  UnloadLanguage();  // harmless twice
  EXPECT_EQ(Text(3), "Discovery");
}

TEST_F(LanguageFile, ReadFromExplicitPath) {
  dir_.Write("fr.ini", "[Language]\n1=D'accord\n2=Annuler\n");
  CNVTLanguage lang;
  EXPECT_EQ(lang.ReadFrom(dir_.File("fr.ini")), 2);
  EXPECT_EQ(lang.Text(1), "D'accord");
  EXPECT_EQ(lang.Text(2), "Annuler");
  EXPECT_EQ(lang.Text(3), "");
  EXPECT_EQ(lang.Text(66), "");
  // The global table is not touched by a private instance.
  EXPECT_EQ(g_language, nullptr);
  EXPECT_EQ(lang.ReadFrom(dir_.File("none.ini")), 0);
  EXPECT_EQ(lang.Text(1), "");
}

}  // namespace
