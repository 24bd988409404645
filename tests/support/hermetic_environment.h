// The environment every test runs in, whatever the machine's: HOME and
// TMPDIR in a fresh private folder of the test process, WINEPREFIX naming a
// prefix there that does not exist (so no grid type is taken from the
// machine's own ~/.wine), LC_ALL=C, TERM=dumb and no NO_COLOR. It is set
// before the first test and put back before each one, so a test may change
// it freely; programs the tests start inherit it.
#pragma once

#include <string>

namespace vireo::testing {

// The private folder of this test process (HOME and TMPDIR are inside it).
const std::string& HermeticRoot();

// Sets the variables above to their values for this process.
void ApplyHermeticEnvironment();

}  // namespace vireo::testing
