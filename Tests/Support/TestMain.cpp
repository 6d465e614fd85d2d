// The main of every test program: the units start as they do in the
// programs, then GoogleTest runs.
#include <UnitInitialization.h>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    InitializeUnits();
    return RUN_ALL_TESTS();
}
