// The gathering start owns a hidden window that the others find by its
// class and its profile's name, and a lock named after the profile that
// elects it. Once its run begins it lets go of both: a start that comes
// later makes a run of its own rather than being lost.
#include "profilerun.h"

#include <string>
#include <vector>

#include "batch.h"
#include "gather.h"
#include "language.h"
#include "orv-core.h"
#include "orv-core_win32.h"
#include "orv-str.h"
#include "winhelpr.h"
#include "reportdialog.h"
#include "thread.h"
#include "winmain.h"

namespace {

const wchar_t kClass[] = L"BrimlowProfileRun";
const int kWaitForWindowMs = 15000;  // how long a start waits for the gathering one's window
const UINT kQuietMs = 1500;          // a selection's starts have all come once none came for this long
const UINT_PTR kQuietTimer = 1;
enum { WM_RUN_DONE = WM_APP + 1 };  // sent by the run's worker at its end

HANDLE g_lock = nullptr;  // the profile's lock, from the election in ProfileRun_HandOff to ProfileRun_Run

// The gathering start's state, on its stack; the window's user data.
struct ProfileRun {
    HINSTANCE instance;              // the program's module, for the report
    AppConfig* config;               // the program's settings; not owned; the run's totals go here
    AppConfig* settings;             // the run's copy, with only the profile chosen; owned
    HWND window;                     // the hidden window the other starts find
    HANDLE lock;                     // the profile's lock, held while gathering, or null; owned
    int gathering;                   // 1 until the run begins
    std::vector<std::string> paths;  // gathered, in the order they came
    BatchStruct* batch;              // the run, from its start on the worker; owned
    const char* profile;             // the profile's name, UTF-8; not owned
    std::string closing;             // the run's closing message
    int written;                     // 1 when every copy was written
};

// The lock's name: the profile's name, which may hold characters a
// kernel object's name cannot, by its FNV-1a hash.
std::wstring LockName(const char* profile) {
    uint32_t hash = 2166136261u;
    for (const char* c = profile; *c; ++c) hash = (hash ^ uint8_t(*c)) * 16777619u;
    wchar_t name[64];
    swprintf(name, 64, L"Local\\BrimlowProfileRun-%08X", hash);
    return name;
}

void Message(const std::string& text) {
    // Without an owner the box is laid out as the language reads.
    const UINT reading = Language_Table(Language_Current())->rightToLeft ? MB_RTLREADING | MB_RIGHT : 0;
    MessageBoxW(nullptr, Win_Wide(text.c_str()).c_str(), L"Brimlow",
                MB_OK | MB_ICONEXCLAMATION | MB_SETFOREGROUND | reading);
}

void KeepClosing(void* data, const char* text) {
    static_cast<ProfileRun*>(data)->closing = text;
}

void Ignore(void*, const char*) {
}

int NeverCancelled(void*) {
    return 0;
}

// Which of the run's paths the prepare pass gave a row.
struct Listed {
    std::vector<int> rowOf;  // for each path its row, or -1
    int rows = 0;
};

void NoteListed(void* data, int index, int listed, const char*) {
    Listed* l = static_cast<Listed*>(data);
    if (index >= 0 && size_t(index) < l->rowOf.size()) l->rowOf[size_t(index)] = listed ? l->rows++ : -1;
}

// On a pool worker: the pictures of the gathered paths, read as the list
// reads them, into one batch. A file the prepare pass could not read goes
// in too, unmeasured: the batch then says why it made no copy, in the
// report with the others.
void RunWorker(void* data) {
    ProfileRun* run = static_cast<ProfileRun*>(data);
    GatheredStruct gathered;
    Gather_Paths(run->settings, run->paths, run->settings->Subfolders, nullptr, nullptr, &gathered);
    for (const auto& problem : gathered.problems)
        Log_Print(0, "Not listed [%s]: %s\n", problem.first.c_str(), problem.second);
    const int count = int(gathered.files.size());
    std::vector<const char*> names;
    for (const std::string& f : gathered.files) names.push_back(f.c_str());
    std::vector<FileRow> rows(size_t(count) + 1);
    Listed listed;
    listed.rowOf.assign(size_t(count), -1);
    const JobHost listing = {&listed, Ignore, NeverCancelled, Ignore, NoteListed};
    int complete = 0;
    Prepare_Files(run->settings, names.data(), count, run->settings->TotalSize > 0, &listing, Program_JobWorkers(),
                  rows.data(), &complete);
    if (Batch_Create(&run->batch, run->settings, count)) {
        Batch_SetStopOnFailure(run->batch, 0);
        for (int i = 0; i < count; ++i) {
            const int row = listed.rowOf[size_t(i)];
            const char* subfolder = gathered.subfolders[size_t(i)].c_str();
            if (row < 0) {
                Batch_SetSource(run->batch, i, names[size_t(i)], 0, 0, nullptr);
                Batch_SetSubfolder(run->batch, i, subfolder);
            } else {
                Batch_SetRow(run->batch, i, &rows[size_t(row)], subfolder);
            }
        }
        const JobHost host = {run, Ignore, NeverCancelled, KeepClosing, nullptr};
        run->written = Batch_Run(run->batch, &host, Program_JobWorkers());
    } else {
        run->closing = Language_Text("Not enough memory for the images.");
    }
    SendMessageW(run->window, WM_RUN_DONE, 0, 0);
}

// The run's settings: the program's, with only the profile chosen; 0 with
// the user told why when it cannot run.
int ChooseProfile(ProfileRun* run) {
    const char* profile = run->profile;
    Config_Copy(run->settings, run->config);
    ResizeProfile* chosen = Config_FindProfile(run->settings, profile);
    if (!chosen) {
        char text[STR_TEXT_SIZE];
        Str_Format(text, int(sizeof text),
                   Language_Text("Brimlow has no profile \"%s\" any more. Choose another entry of the menu, or open "
                                 "Brimlow."),
                   profile);
        Message(text);
        return 0;
    }
    Str_CopyN(run->settings->ActiveProfile, chosen->Name, int(sizeof run->settings->ActiveProfile));
    run->settings->AlsoProfiles[0] = 0;
    char refusal[STR_TEXT_SIZE];
    if (Program_RunRefusal(run->settings, refusal, int(sizeof refusal))) {
        Message(refusal);
        return 0;
    }
    return 1;
}

// No start came for a while: the selection is whole. The window and the
// lock go first, so that a start from now on gathers a run of its own.
void OnQuiet(ProfileRun* run) {
    KillTimer(run->window, kQuietTimer);
    SetWindowTextW(run->window, L"");
    run->gathering = 0;
    if (run->lock) CloseHandle(run->lock);
    run->lock = nullptr;
    if (!ChooseProfile(run)) {
        PostQuitMessage(0);
        return;
    }
    Log_Print(0, "Profile run with \"%s\": %d paths\n", run->settings->ActiveProfile, int(run->paths.size()));
    if (!ThreadPool_Run(run, RunWorker)) {
        Log_Print(0, "No idle pool worker for the profile run\n");
        PostQuitMessage(0);
    }
}

// The run's end: its totals kept, and the report when a file failed.
void OnDone(ProfileRun* run) {
    BatchOutcome outcome = {};
    if (run->batch) {
        Batch_AddStatistics(run->batch, run->config);
        Batch_GetOutcome(run->batch, &outcome);
    }
    Log_Print(0, "Profile run ended: %d of %d copies written\n", outcome.written, outcome.copies);
    if (!run->batch)
        Message(run->closing);
    else if (outcome.failed > 0)
        ReportDialog_Run(run->instance, nullptr, run->batch, run->closing.c_str());
    PostQuitMessage(0);
}

// Paths from another start of the same profile, while gathering.
LRESULT OnCopyData(ProfileRun* run, const COPYDATASTRUCT* block) {
    std::vector<std::string> paths;
    if (!run->gathering || !Program_ReadPathBlock(block, &paths)) return FALSE;
    run->paths.insert(run->paths.end(), paths.begin(), paths.end());
    SetTimer(run->window, kQuietTimer, kQuietMs, nullptr);
    return TRUE;
}

LRESULT CALLBACK RunWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ProfileRun* run = reinterpret_cast<ProfileRun*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!run) return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_COPYDATA:
        return OnCopyData(run, reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_TIMER:
        if (wParam == kQuietTimer) OnQuiet(run);
        return 0;
    case WM_RUN_DONE:
        OnDone(run);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int ProfileRun_HandOff(const LaunchStart* start) {
    const std::wstring lock = LockName(start->profile), title = Win_Wide(start->profile);
    // A start whose gathering one has just begun its run tries again, and
    // may then gather itself.
    for (int waited = 0; waited < kWaitForWindowMs; waited += 50) {
        HANDLE mine = CreateMutexW(nullptr, FALSE, lock.c_str());
        if (mine && GetLastError() != ERROR_ALREADY_EXISTS) {
            g_lock = mine;
            return 0;
        }
        if (mine) CloseHandle(mine);
        HWND running = FindWindowW(kClass, title.c_str());
        if (running && Program_SendPaths(running, start->paths)) return 1;
        Sleep(50);
    }
    return 0;
}

int ProfileRun_Run(HINSTANCE instance, AppConfig* config, const LaunchStart* start) {
    ProfileRun run = {instance,     config,  nullptr,        nullptr,       g_lock, 1,
                      start->paths, nullptr, start->profile, std::string(), 0};
    g_lock = nullptr;
    Config_Create(&run.settings);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = RunWindowProc;
    wc.hInstance = instance;
    wc.lpszClassName = kClass;
    if (RegisterClassExW(&wc)) {
        run.window = CreateWindowExW(0, kClass, Win_Wide(start->profile).c_str(), WS_POPUP, 0, 0, 0, 0, nullptr,
                                     nullptr, instance, nullptr);
        if (run.window) {
            SetWindowLongPtrW(run.window, GWLP_USERDATA, LONG_PTR(&run));
            SetTimer(run.window, kQuietTimer, kQuietMs, nullptr);
            MSG message;
            while (GetMessageW(&message, nullptr, 0, 0) > 0) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            DestroyWindow(run.window);
        }
        UnregisterClassW(kClass, instance);
    }
    if (!run.window) Log_Print(0, "Profile run not started: no window (%d)\n", int(GetLastError()));
    if (run.lock) CloseHandle(run.lock);
    if (run.batch) Batch_Destroy(&run.batch);
    Config_Destroy(&run.settings);
    return run.written;
}
