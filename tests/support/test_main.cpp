// main of the per-folder test executables (see test_select.h).
#include <gtest/gtest.h>

#include "tests/support/test_select.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (!dktest::SelectTestsBySource(argc, argv)) return 1;
  return RUN_ALL_TESTS();
}
