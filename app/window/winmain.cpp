// The program's entry: start-up in its fixed order, the main window as the
// main loop, and shutdown in reverse order with the settings saved.
#include <windows.h>
#include <commctrl.h>

#include "blitbox.h"
#include "config.h"
#include "file.h"
#include "message.h"
#include "orv-core.h"
#include "previewdialog.h"
#include "resize.h"
#include "thread.h"
#include "version.h"
#include "winmain.h"
#include "colour.h"
#include "orv-str.h"
#include "profilerun.h"
#include "shellmenu.h"
#include "language.h"
#include "wording.h"

const char kProductName[] = "Brimlow";
const char kVersionText[] = BRIMLOW_VERSION_TEXT;
const char kBuildText[] = "Release";

namespace {

const char kPrivateClass[] = "BrimlowGotClass";

AppConfig* g_config = nullptr;

int RegisterPrivateClass(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    wc.lpszClassName = kPrivateClass;
    return RegisterClassExA(&wc) != 0;
}

}  // namespace

AppConfig* Program_GetConfig(void) {
    return g_config;
}

int Program_SaveSettings(AppConfig* config, const char* folder) {
    if (config->DisableSave) {
        Log_Print(0, "Save disabled\n");
        return 0;
    }
    return Config_SaveTo(config, folder);
}

int Program_Run(HINSTANCE instance, const char* commandLine, const char* folder) {
    if (!RegisterPrivateClass(instance)) return 0;
    if (!commandLine) commandLine = "";
    // What this start is for reads the same whatever the code page: the
    // profile's name and the paths handed on are UTF-8.
    LaunchStart start;
    Program_ReadStart(commandLine, CP_UTF8, &start);
    // One window, one run a profile: a second start hands its paths over
    // and ends here, before it opens the log the first one writes.
    if ((start.mode == LAUNCH_PROFILE && ProfileRun_HandOff(&start)) ||
        (start.mode == LAUNCH_WINDOW && Program_HandOff(start.paths))) {
        UnregisterClassA(kPrivateClass, instance);
        return 1;
    }
    LogFlags flags = Program_LogSwitches(commandLine);
    Core_Init("debug.log", flags, "%s %s (%s)", kProductName, kVersionText, kBuildText);
    Mem_Init(0x7FFFFFFF);
    Log_Print(0, "%s Version %s (%s)\n", kProductName, kVersionText, kBuildText);
    // The language goes first: a right-to-left one lays out every window
    // made after it.
    Config_Create(&g_config);
    Config_LoadFrom(g_config, folder);
    Wording_Start(g_config->Language);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0x1FFF};
    InitCommonControlsEx(&controls);
    Resize_Init();
    BlitBox_Register(instance);
    Preview_Register(instance);
    RichEdit_Load();
    ThreadPool_Init();
    Message_Create(instance, nullptr);
    Message_SetButtons(Language_Text("Ok"), Language_Text("Cancel"));
    ThreadPool(PROGRAM_WORKERS);

    INT_PTR result = 1;
    if (start.mode == LAUNCH_MENU) {
        result = ShellMenu_Write(g_config);
    } else if (start.mode == LAUNCH_PROFILE) {
        // The paths as this process spells them, as the window lists them.
        LaunchStart spelled;
        Program_ReadStart(commandLine, 0, &spelled);
        spelled.mode = start.mode;
        Str_Copy(spelled.profile, start.profile);
        result = ProfileRun_Run(instance, g_config, &spelled);
    } else {
        result = MainWindow_Run(instance, g_config, folder, commandLine);
    }

    DWORD error = GetLastError();
    Log_Print(0, "Return = %d (%.8X) %d (%.8X)\n", int(result), unsigned(result), int(error), unsigned(error));
    // No worker may still read the settings when they are saved and freed.
    ThreadPool(0);
    if (start.mode != LAUNCH_MENU) Program_SaveSettings(g_config, folder);
    Config_Destroy(&g_config);
    Message_Destroy();
    ThreadPool_Close();
    RichEdit_Unload();
    Preview_Unregister(instance);
    BlitBox_Unregister(instance);
    Resize_Shutdown();
    Colour_ForgetTransforms();
    Mem_Report();
    Log_Close();
    UnregisterClassA(kPrivateClass, instance);
    Program_ReleaseInstance();
    Log_Print(0, "Successful Exit...\n");
    return 1;
}
