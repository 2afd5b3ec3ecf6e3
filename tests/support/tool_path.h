#pragma once
// The build puts every program in one folder, so a test finds the tools it
// runs beside its own executable. (A path compiled in would make each of
// these sources miss the compiler cache in a clone at another path.)
#include <string>

namespace dktest {

// dravenkit-cli of the same build; "" when the test's own path is unknown.
const std::string& CliPath();

}  // namespace dktest
