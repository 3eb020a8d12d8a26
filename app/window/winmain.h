// The window program: start-up, the main window with its three pages, the
// file list's work and the tray. Win32 only.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <vector>

#include "config.h"
#include "orv-core.h"
#include "input.h"
#include "measure.h"
#include "prepare.h"
#include "copy.h"
#include "taskbutton.h"
#include "launch.h"

struct TabControlStruct;
struct BatchStruct;
struct CoreLock;

// The main window's pages, in tab order.
enum { PAGE_PROFILE = 0, PAGE_SETTINGS = 1, PAGE_ABOUT = 2, PAGE_COUNT = 3 };

// The program's own window messages, numbered from WM_APP: in a dialog
// WM_USER and the numbers just above it are the dialog manager's
// (DM_GETDEFID, DM_SETDEFID, DM_REPOSITION).
enum {
    WM_PAGE_SHOW = WM_APP + 1,     // sent to a page as its tab is chosen
    WM_PAGE_HIDE = WM_APP + 2,     // sent to a page as another tab is chosen
    WM_TRAY_NOTIFY = WM_APP + 3,   // the tray icon's mouse messages
    WM_JOB_DONE = WM_APP + 4,      // sent by the job's worker when its run has ended
    WM_JOB_PROGRESS = WM_APP + 5,  // posted by the job's workers when a progress text waits
    WM_ADD_QUEUED = WM_APP + 6,    // posted when paths from the command line or a second start wait
    WM_MEASURE_DONE = WM_APP + 7,  // posted by the measuring worker when a measure waits to be kept
    WM_JOB_REPORT = WM_APP + 8     // posted when a run has ended and its report waits to be shown
};

// The pool's workers.
const int PROGRAM_WORKERS = 5;
// WM_COPYDATA kind of a second start's block of paths.
const ULONG_PTR PATH_BLOCK_KIND = 0x42524C50;

extern const char kProductName[];
extern const char kVersionText[];
extern const char kBuildText[];

// One listed picture, as the prepare pass found it. Each row of the list
// carries its record's index as its data; a record outlives its row's
// removal and goes with Clear All.
struct ListRecord {
    FileRow row;                    // its numbers (size, bytes, what estimates read) and the row's first texts
    char subfolder[STR_TEXT_SIZE];  // the folders between its named folder and it, as gathered: "" or ending
                                    // in a separator
    const char* failed;             // why the last run that took it made no copy (static text); null when it
                                    // made one or none has taken it
};

struct MeasureShared;

// One source of a run, as the window follows it.
struct JobSource {
    int64_t weight;      // its share of the run's work: its pixels and a file's fixed part
    int record;          // its list record
    const char* reason;  // why it made no copy (static); null when it made one or has not finished;
                         // guarded by jobLock
};

// The main window's state, kept in its user data; pages keep a pointer to
// it in theirs.
struct MainWindowStruct {
    const char* tag;                  // kTag of winmain_window
    HINSTANCE instance;               // the program's module
    const char* commandLine;          // the program's arguments; not owned, lives as long as the window
    AppConfig* config;                // the program's settings; not owned, read and written on this thread
    HWND window;                      // the main window
    HWND pages[PAGE_COUNT];           // PAGE_* page windows; destroyed when the window closes
    TabControlStruct* tabs;           // the page tabs; owned
    HICON icon;                       // the window's icon; owned
    HICON trayIcon;                   // the small tray icon; owned
    HMENU popup;                      // the file list's menu; owned
    int inTray;                       // 1 while minimised (to the tray when TrayMinimize)
    char folder[STR_TEXT_SIZE];       // the settings' folder, ending in a separator
    BatchStruct* job;                 // the running resize job, or null; owned from start to end
    CoreLock* jobLock;                // guards jobText and jobTextPending; owned
    char jobText[STR_TEXT_SIZE];      // the job's latest progress text, not yet shown
    int jobTextPending;               // 1 while a WM_JOB_PROGRESS is on its way
    char jobClosing[STR_TEXT_SIZE];   // the job's closing message, its report's summary
    std::vector<JobSource> jobSources;  // the run's sources, by their index in it; set before it starts
    BatchStruct* reported;              // the run whose report is on its way or shown, or null; owned
    int64_t jobWork;                    // the sum of the sources' weights
    int64_t jobWorkDone;              // of it, the sources finished; guarded by jobLock
    int jobSourcesDone;               // sources finished; guarded by jobLock
    int jobFailed;                    // of them, not written; guarded by jobLock
    uint64_t jobStart;                // GetTickCount64 when the run began
    TaskButtonStruct* taskButton;     // the taskbar button's progress during a run, or null; owned
    std::atomic<int> closeWanted;     // 1: a close request came during the job, which stops and then closes
    LPARAM closeResult;               // the close request's lParam, for the dialog's result
    std::vector<std::string> queued;  // paths waiting to be listed (command line, second starts)
    int adding;                       // 1 while paths are being listed
    int dpi;                          // dots per inch of the window's screen, 96 at 100 %
    std::vector<ListRecord> records;  // every picture listed since the last Clear All, by index
    MeasureShared* measure;           // what the window and its measuring worker share; owned by both
    int generation;                   // counts Clear All, so that a measure begun before one is dropped
};

// The whole program: start-up, the main window as the main loop, shutdown.
// Settings are read from and written to folder (ending in a separator);
// the debug log goes beside the program. Returns the process's exit code: 1,
// or 0 when the very first step fails. Once per process.
int Program_Run(HINSTANCE instance, const char* commandLine, const char* folder);

// The running program's settings (null outside Program_Run).
AppConfig* Program_GetConfig(void);

// Saves the settings and statistics into folder unless DisableSave is set
// (the debug log then says so). 1 when "config.xml" was written.
int Program_SaveSettings(AppConfig* config, const char* folder);

// Runs the main window from template 100 until it ends, listing the paths
// named on commandLine (the program's arguments) once it is open; returns
// its result.
INT_PTR MainWindow_Run(HINSTANCE instance, AppConfig* config, const char* folder, const char* commandLine);

// Page windows: creation and the page procedure.
HWND Page_Create(MainWindowStruct* main, int templateId);
// Fills the pages from the settings.
void Page_FillSettings(MainWindowStruct* main);
void Page_FillProfile(MainWindowStruct* main);

// The list's group caption, with a run's budget the copies' planned total.
void ShowTogether(MainWindowStruct* main);

// The page's list of profiles, the user's among them, Custom last, the
// active one chosen.
void Page_ShowProfiles(MainWindowStruct* main);

// The "Also make..." button's caption, with the further profiles ticked.
void Page_ShowAlso(MainWindowStruct* main);
void Page_FillAbout(MainWindowStruct* main);
// The four statistics fields of the About page.
void ShowStatistics(MainWindowStruct* main);
// Shows an embedded PNG (IDR_LOGO or IDR_BANNER) in a BlitBox of a page,
// drawn at the size for the page's screen.
void Page_ShowPicture(MainWindowStruct* main, HWND page, int controlId, int resourceId);
// Opens the address held by a string of the string table with the shell.
void Page_OpenAddress(MainWindowStruct* main, int stringId);
// The output folder's controls and menu command follow SameDirectory.
void Page_UpdateEnabling(MainWindowStruct* main);
// Makes the main window and the message box topmost or not.
void MainWindow_ApplyTopmost(MainWindowStruct* main);

// ------------------------------------------------- the file list's work

// Recomputes "New Dimensions" and "Est Size" of every row from its record.
void UpdateEstimates(MainWindowStruct* main);
// Empties the list and its records (Clear All, and after a complete run
// with AutoClearList).
void ClearList(MainWindowStruct* main);
// The record of a row, or null when the row has none.
ListRecord* RowRecord(MainWindowStruct* main, int row);
// Writes a row's "New Dimensions" and "Est Size" from its record.
void EstimateListRow(MainWindowStruct* main, int row);
// The same for the row that shows record, wherever the list has it now.
void EstimateRecordRow(MainWindowStruct* main, int record);
// Estimates that read the pictures: each listed picture is measured
// (Measure_File) in idle time, one at a time on a pool worker, and its row's
// estimate follows. Queues record's picture and starts the worker when none
// runs and no job does.
void Measure_Queue(MainWindowStruct* main, int record);
// Queues every listed picture again, for a measure of the kind of copy the
// settings now make (Save as changed); the rows show estimates from the
// headers until their measures come.
void Measure_Again(MainWindowStruct* main);
// With paused 1 the worker takes no further picture (a job is about to
// run); 0 lets it go on (the job ended).
void Measure_Pause(MainWindowStruct* main, int paused);
// Drops every queued picture and every measure not yet kept (Clear All).
void Measure_Forget(MainWindowStruct* main);
// Keeps the measures the worker has finished in their records' facts
// (WM_MEASURE_DONE); kept gets the records updated, whose rows the list
// then shows again (EstimateRecordRow).
void Measure_Keep(MainWindowStruct* main, std::vector<int>* kept);
// The window closes: the worker stops after its picture and the window lets
// go of what it shared with it.
void Measure_Close(MainWindowStruct* main);
// The list's keys: Delete removes the selected rows, Ctrl+A selects every
// row.
void List_OnKey(MainWindowStruct* main, const NMLVKEYDOWN* key);
// The list's custom drawing: an empty list says how pictures come in,
// drawn after the list has painted itself; a row whose last run made no
// copy is drawn in red. The notification's result.
LRESULT List_OnCustomDraw(MainWindowStruct* main, NMLVCUSTOMDRAW* draw);
// The tip over a row: why its last run made no copy, when it did not.
void List_OnInfoTip(MainWindowStruct* main, NMLVGETINFOTIPA* tip);
// Lists the pictures of paths (files, and folders by their pictures, with
// their subfolders' when Subfolders is set): the prepare pass with progress
// and Cancel, then rows and estimates from the headers, each picture then
// queued for its measure. Each row's record keeps its subfolder text, which
// its copy's place in a chosen folder follows; entries of the folders that
// could not be listed are named in one message.
void AddPaths(MainWindowStruct* main, const std::vector<std::string>& paths);

// ------------------------------------------------------------ ways in

// Reads the program's arguments (as WinMain gets them) into start, the
// paths spelled in codePage (0: the process's; a path it cannot spell is
// logged and left out). The result of Launch_ReadStart.
int Program_ReadStart(const char* commandLine, unsigned codePage, LaunchStart* start);

// A second start of the program hands its paths (none: only a wish to see
// the window) to the window already running, which takes them and comes to
// the front. 1 when a running window took them: this start then ends. 0
// when this is the only start (it then owns the one-window lock until
// Program_ReleaseInstance) or no running window answered in time.
int Program_HandOff(const std::vector<std::string>& paths);

// Sends paths to window, another start's, as a WM_COPYDATA block of
// PATH_BLOCK_KIND, letting it come to the front. 1 when it took them, 0
// when it refused them or did not answer in time.
int Program_SendPaths(HWND window, const std::vector<std::string>& paths);

// The paths of a WM_COPYDATA block from a second start: 1 with them
// (spelled in the process's code page; a name it cannot spell is logged
// and left out), 0 when it is not a block of paths.
int Program_ReadPathBlock(const COPYDATASTRUCT* block, std::vector<std::string>* paths);
void Program_ReleaseInstance(void);

// The debug log's switches among a command line's arguments, each argument
// taken whole (a path that holds " -debug" is a path). Cannot fail.
LogFlags Program_LogSwitches(const char* commandLine);

// The window's part: marks it as the one to find, queues the paths of its
// own command line and sets up the keyboard shortcuts (Ctrl+O).
void MainWindow_OpenWaysIn(MainWindowStruct* main, const char* commandLine);
// Takes a WM_COPYDATA block of paths from a second start; 1 when it was
// one (its paths queued), 0 when it is refused (logged).
int MainWindow_OnCopyData(MainWindowStruct* main, const COPYDATASTRUCT* block);
// Lists the queued paths, unless a job or another listing is running (its
// end calls this again).
void MainWindow_AddQueued(MainWindowStruct* main);
// Removes the keyboard shortcuts.
void MainWindow_CloseWaysIn(MainWindowStruct* main);
// The ways in themselves: a drop, and the File menu's two open dialogs.
void PrepareDroppedFiles(MainWindowStruct* main, HDROP drop);
void AddPicturesFromDialog(MainWindowStruct* main);
void AddFolderFromDialog(MainWindowStruct* main);
// The workers a run or a listing takes: as many as the machine has
// processors, within the pool's own.
int Program_JobWorkers(void);
// Why settings cannot start a run (no folder to save to, a name text with
// an unknown token), as the user's message in text; 0 when they can.
int Program_RunRefusal(const AppConfig* settings, char* text, int size);
// Reads the list into a batch with a snapshot of the settings and hands its
// run to an idle pool worker; nothing while a job runs, or when no worker is
// idle (logged).
void StartResizeJob(MainWindowStruct* main);
// Shows the job's latest progress text in the box (window thread).
void ShowJobProgress(MainWindowStruct* main);
// The job's end, on the window thread: adds its totals to the settings,
// marks the rows that made no copy, empties the list after a complete run
// when AutoClearList is set, shows the statistics and posts its report.
void FinishResizeJob(MainWindowStruct* main);
// The ended run's report, shown until the user closes it; then the batch
// goes, and paths that came during the run are listed.
void ShowJobReport(MainWindowStruct* main);
