#pragma once

// For death tests of calls that end the program: in the child, capture the
// diagnostics from here on and, when the program ends, exit with status 1
// unless exactly `line` was written. Pair it with an EXPECT_EXIT that
// expects the call's own exit status.

#include <Support/Diagnostics.h>

#include <cstdlib>
#include <string>
#include <vector>

inline void ExpectOnlyLineAtExit(const std::string& line)
{
    // Leaked on purpose: they must outlive every destructor that runs at exit.
    static Diagnostics::Capture* capture = nullptr;
    static std::string* expected = nullptr;
    capture = new Diagnostics::Capture;
    expected = new std::string(line);
    std::atexit([] {
        if (capture->Lines() != std::vector<std::string>{*expected})
            std::_Exit(1);
    });
}
