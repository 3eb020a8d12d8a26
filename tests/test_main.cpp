// Starts the core runtime the way the program does, with the debug log in
// "brimlow-tests.log" beside the test program, then runs every test in a
// folder of its own.
#include <gtest/gtest.h>

#include "orv-core.h"
#include "test_support.h"
#include "colour.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    Core_Init("brimlow-tests.log", LOG_FILE | LOG_DEBUG, "%s %s (%s)", "Brimlow tests", "1.00", "Test");
    Core_SetUnattended(1);
    Mem_Init(0x7FFFFFFF);
    Sandbox_Install();
    int result = RUN_ALL_TESTS();
    Colour_ForgetTransforms();
    Mem_Report();
    Log_Close();
    return result;
}
