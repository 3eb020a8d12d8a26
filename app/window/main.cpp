// The process entry of brimlow.exe: the program inside the crash guard,
// with its settings in the program's own folder.
#include <windows.h>

#include "file.h"
#include "orv-core.h"
#include "winmain.h"

namespace {

struct Start {
    HINSTANCE instance;
    const char* commandLine;
    char folder[STR_TEXT_SIZE];
};

int Guarded(void* data) {
    Start* start = static_cast<Start*>(data);
    return Program_Run(start->instance, start->commandLine, start->folder);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    Start start = {instance, commandLine, {}};
    File_GetProgramDir(start.folder, sizeof(start.folder));
    return Core_RunGuarded(Guarded, &start, 3);
}
