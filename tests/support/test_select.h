#pragma once
// The tests of one folder share one executable; each ctest entry runs only the
// tests defined in its own sources, named by "--dk_source=folder/file.cpp"
// arguments. Call after ::testing::InitGoogleTest.
namespace dktest {

// Sets the test filter to the tests of the named sources. Returns false (after
// saying why) when sources were named but none of them defines a test.
bool SelectTestsBySource(int argc, char** argv);

}  // namespace dktest
