// The window tests: one Wine process on one virtual display. Starts the
// core runtime and the window services the way the program does.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include "blitbox.h"
#include "message.h"
#include "orv-core.h"
#include "resize.h"
#include "../test_support.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    Core_Init("brimlow-tests.log", LOG_FILE | LOG_DEBUG, "%s %s (%s)", "Brimlow window tests", "1.00", "Test");
    Core_SetUnattended(1);
    Mem_Init(0x7FFFFFFF);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FFF};
    InitCommonControlsEx(&controls);
    HINSTANCE instance = GetModuleHandleA(nullptr);
    Resize_Init();
    BlitBox_Register(instance);
    Message_Create(instance, nullptr);
    Sandbox_Install();
    int result = RUN_ALL_TESTS();
    Message_Destroy();
    BlitBox_Unregister(instance);
    Resize_Shutdown();
    Mem_Report();
    Log_Close();
    return result;
}
