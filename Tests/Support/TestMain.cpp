// The main of every test program: the units start as they do in the
// programs, then GoogleTest runs. The time zone and locale are pinned here
// too (as scripts/with-test-env.sh pins them), so that a test binary run by
// hand sees the same calendar as under ctest.
#include <Units/UnitInitialization.h>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("TZ", "Europe/Berlin", 1);
    setenv("LANG", "en_US.UTF-8", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_TIME");
    unsetenv("LANGUAGE");
    testing::InitGoogleTest(&argc, argv);
    InitializeUnits();
    return RUN_ALL_TESTS();
}
