// The window's shape, read from its sources: the operations reach the window
// only through their roles, so none of them includes the window's header or
// defines one of its methods.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// The window's own files: the only ones that may see CDravenkitDlg whole.
const std::set<std::string> kWindowFiles = {"main_window.h", "main_window.cpp", "main.cpp", "post_box.cpp"};

fs::path SourceDir() {
  const char* dir = std::getenv("DK_SOURCE_DIR");
  return dir ? fs::path(dir) : fs::path();
}

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(WindowStructure, NoOperationFileReachesIntoTheWindow) {
  const fs::path ui = SourceDir() / "ui";
  ASSERT_TRUE(fs::is_directory(ui)) << "DK_SOURCE_DIR names no source tree: " << SourceDir();
  const std::regex includes_window(R"(#\s*include\s*"ui/main_window\.h")");
  const std::regex defines_method(R"(\bCDravenkitDlg\s*::\s*~?\w+\s*\()");
  int files = 0;
  for (const auto& entry : fs::directory_iterator(ui)) {
    const std::string name = entry.path().filename().string();
    const std::string ext = entry.path().extension().string();
    if (ext != ".h" && ext != ".cpp") continue;
    ++files;
    if (kWindowFiles.count(name)) continue;
    const std::string text = ReadAll(entry.path());
    EXPECT_FALSE(std::regex_search(text, includes_window)) << name << " includes ui/main_window.h";
    EXPECT_FALSE(std::regex_search(text, defines_method)) << name << " defines a CDravenkitDlg method";
  }
  EXPECT_GT(files, 30) << "the ui sources were not found";
}

}  // namespace
