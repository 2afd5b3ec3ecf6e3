#include "tests/support/test_select.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace dktest {
namespace {

// file() is the path the compiler was given, which ccache may have made
// relative; compare the trailing "folder/file.cpp" only.
bool EndsWithSource(const char* file, const std::string& source) {
  const size_t n = std::strlen(file);
  if (n < source.size() || std::strcmp(file + n - source.size(), source.c_str()) != 0) return false;
  return n == source.size() || file[n - source.size() - 1] == '/';
}

}  // namespace

bool SelectTestsBySource(int argc, char** argv) {
  static const char kFlag[] = "--dk_source=";
  std::vector<std::string> sources;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) sources.emplace_back(argv[i] + sizeof kFlag - 1);
  if (sources.empty()) return true;
  // An explicit --gtest_filter from the command line wins.
  if (GTEST_FLAG_GET(filter) != "*") return true;

  std::string filter;
  const ::testing::UnitTest* unit = ::testing::UnitTest::GetInstance();
  for (int s = 0; s < unit->total_test_suite_count(); ++s) {
    const ::testing::TestSuite* suite = unit->GetTestSuite(s);
    for (int t = 0; t < suite->total_test_count(); ++t) {
      const ::testing::TestInfo* info = suite->GetTestInfo(t);
      for (const std::string& src : sources) {
        if (!EndsWithSource(info->file(), src)) continue;
        if (!filter.empty()) filter += ':';
        filter += std::string(info->test_suite_name()) + "." + info->name();
        break;
      }
    }
  }
  if (filter.empty()) {
    std::fprintf(stderr, "no test is defined in the sources named by --dk_source\n");
    return false;
  }
  GTEST_FLAG_SET(filter, filter);
  return true;
}

}  // namespace dktest
