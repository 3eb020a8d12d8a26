// The program as a user drives it: a driver thread drops files, types,
// clicks and waits for the progress box while the program's window thread
// runs the main window, then closes it with Escape.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "bitmap.h"
#include "config.h"
#include "output.h"
#include "gui_support.h"
#include "../test_support.h"
#include "message.h"
#include "orv-str.h"
#include "previewdialog.h"
#include "program_support.h"
#include "resource.h"
#include "trayicon.h"
#include "winmain.h"
#include "input.h"
#include "prepare.h"
#include "copy.h"

namespace {

const int kWait = 30000;

struct Session {
    ProgramFolders folders;
    HWND main = nullptr;
    HWND profile = nullptr;
    HWND settings = nullptr;
    HWND about = nullptr;
    HWND list = nullptr;
};

std::string Image(const Session& s, const char* name) {
    return s.folders.images + name;
}

int64_t FileBytes(const std::string& unixPath) {
    std::ifstream in(unixPath, std::ios::binary | std::ios::ate);
    return in ? int64_t(in.tellg()) : -1;
}

void ClearList(Session& s) {
    NMHDR header = {FindControl(s.profile, IDC_CLEAR_ALL), IDC_CLEAR_ALL, UINT(NM_CLICK)};
    SendMessageA(s.profile, WM_NOTIFY, IDC_CLEAR_ALL, LPARAM(&header));
}

// The "Est Size" a row settles on once the window has measured its picture
// in idle time: what a measured prepare pass gives under the same settings.
std::string MeasuredEstimate(const std::string& path) {
    FileRow row;
    const char* reason = "";
    char newDims[STR_TEXT_SIZE], estimate[STR_TEXT_SIZE];
    AppConfig* config = Program_GetConfig();
    if (!Prepare_File(config, path.c_str(), 1, &row, &reason)) return reason;
    Prepare_RowTexts(config, &row, newDims, int(sizeof newDims), estimate, int(sizeof estimate));
    return estimate;
}

struct Settling {
    HWND list;
    int row;
    std::string wanted;
};

bool Settled(void* data) {
    const Settling* s = static_cast<const Settling*>(data);
    return ListCell(s->list, s->row, 4) == s->wanted;
}

// Each row, named by its picture in row order, settles on its measured
// estimate: the window keeps every row's own record through removals and
// setting changes.
void ExpectMeasuredEstimates(Session& s, const std::vector<const char*>& names) {
    for (size_t row = 0; row < names.size(); ++row) {
        Settling settling = {s.list, int(row), MeasuredEstimate(Image(s, names[row]))};
        EXPECT_TRUE(WaitUntil(Settled, &settling, kWait))
            << names[row] << ": " << ListCell(s.list, int(row), 4) << " instead of " << settling.wanted;
    }
}

void ExpectRow(HWND list, int row, const char* name, const char* dims, const char* size, const char* newDims,
               const char* estimate) {
    EXPECT_EQ(ListCell(list, row, 0), name);
    EXPECT_EQ(ListCell(list, row, 1), dims);
    EXPECT_EQ(ListCell(list, row, 2), size);
    EXPECT_EQ(ListCell(list, row, 3), newDims);
    EXPECT_EQ(ListCell(list, row, 4), estimate);
}

void DecodedSize(const std::string& dosPath, int32_t* width, int32_t* height) {
    BitmapStruct* bitmap = nullptr;
    Bitmap_Create(&bitmap);
    *width = *height = -1;
    if (LoadImageByExtension(dosPath.c_str(), bitmap)) Bitmap_GetSize(bitmap, width, height);
    Bitmap_Destroy(&bitmap);
}

void Choose(Session& s, int id, int index) {
    HWND box = FindControl(s.settings, id);
    SendMessageA(box, CB_SETCURSEL, WPARAM(index), 0);
    SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(box));
}

// The rows' new sizes as a crop makes them (exactly the box; a small
// picture cut to its proportions; the portrait TGA's box turned, or not
// once the box is told not to turn), and the bounds as lengths at a
// density. Leaves the Custom profile as it found it.
void FitAndPrintSizes(Session& s) {
    AppConfig* config = Program_GetConfig();
    Choose(s, IDC_FIT, 1);
    EXPECT_EQ(config->CustomFit, FIT_CROP);
    const char* cropped[] = {"300x225", "198x149", "66x50", "225x300"};
    for (int row = 0; row < 4; ++row) EXPECT_EQ(ListCell(s.list, row, 3), cropped[row]) << row;
    Click(FindControl(s.settings, IDC_TURN));
    EXPECT_EQ(config->CustomTurn, 0);
    EXPECT_EQ(ListCell(s.list, 3, 3), "240x180");
    Click(FindControl(s.settings, IDC_TURN));
    Choose(s, IDC_FIT, 0);
    EXPECT_EQ(ListCell(s.list, 2, 3), "252x50");
    // Lengths need a density: 300 pixels at 100 DPI show as 7.62 cm, and
    // 2.54 cm typed is 100 pixels; without the density, pixels again.
    HWND width = FindControl(s.settings, IDC_CUSTOM_WIDTH);
    EXPECT_FALSE(IsWindowEnabled(FindControl(s.settings, IDC_UNIT)));
    TypeText(FindControl(s.settings, IDC_DPI), "100");
    Choose(s, IDC_UNIT, 1);
    EXPECT_EQ(WindowText(width), "7.62");
    EXPECT_EQ(config->CustomWidth, 300);
    TypeText(width, "2.54");
    EXPECT_EQ(config->CustomWidth, 100);
    TypeText(FindControl(s.settings, IDC_DPI), "");
    EXPECT_EQ(WindowText(width), "100");
    TypeText(width, "300");
    EXPECT_EQ(config->CustomWidth, 300);
    EXPECT_EQ(config->CustomDpi, 0);
    // A budget for the run: the list's caption shows the planned total.
    TypeText(FindControl(s.settings, IDC_TOTAL_SIZE), "0.5");
    EXPECT_EQ(config->TotalSize, 512);
    const std::string caption = WindowText(FindControl(s.profile, IDC_LIST_GROUP));
    EXPECT_NE(caption.find(": together ~0."), std::string::npos) << caption;
    EXPECT_NE(caption.find(" of 0.5 MB at quality "), std::string::npos) << caption;
    TypeText(FindControl(s.settings, IDC_TOTAL_SIZE), "");
    EXPECT_EQ(config->TotalSize, 0);
    EXPECT_EQ(WindowText(FindControl(s.profile, IDC_LIST_GROUP)), "Drag and Drop your picture here");
}

// Custom profile 300 x 225 at high quality, four of five dropped files
// listed, estimates following every keystroke.
void DropAndEstimate(Session& s) {
    AppConfig* config = Program_GetConfig();
    ChooseProfile(s.profile, "Custom");
    EXPECT_STREQ(config->ActiveProfile, "Custom");
    // The shipped Custom profile: 1024 x 768 at "High quality".
    HWND quality = FindControl(s.settings, IDC_QUALITY);
    EXPECT_EQ(SendMessageA(quality, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(SendMessageA(quality, CB_GETCOUNT, 0, 0), 4);
    EXPECT_EQ(config->CustomWidth, 1024);
    SendMessageA(quality, CB_SETCURSEL, 0, 0);
    SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(IDC_QUALITY, CBN_SELCHANGE), LPARAM(quality));
    EXPECT_DOUBLE_EQ(config->CustomQuality, 1.0);
    // Any percent typed; a text that is none leaves it.
    for (const char* typed : {"83", "0", "quality"}) {
        SetWindowTextA(quality, typed);
        SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(IDC_QUALITY, CBN_EDITCHANGE), LPARAM(quality));
        EXPECT_DOUBLE_EQ(config->CustomQuality, 0.83) << typed;
    }
    SendMessageA(quality, CB_SETCURSEL, 1, 0);
    SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(IDC_QUALITY, CBN_SELCHANGE), LPARAM(quality));
    EXPECT_DOUBLE_EQ(config->CustomQuality, 0.75);
    // The filter: Lanczos as shipped, Bilinear on request.
    HWND filter = FindControl(s.settings, IDC_FILTER);
    EXPECT_EQ(SendMessageA(filter, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(filter, CB_GETCURSEL, 0, 0), 0);
    SendMessageA(filter, CB_SETCURSEL, 1, 0);
    SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(IDC_FILTER, CBN_SELCHANGE), LPARAM(filter));
    EXPECT_EQ(config->Filter, RESIZE_FILTER_BILINEAR);
    SendMessageA(filter, CB_SETCURSEL, 0, 0);
    SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(IDC_FILTER, CBN_SELCHANGE), LPARAM(filter));
    EXPECT_EQ(config->Filter, RESIZE_FILTER_LANCZOS);
    TypeText(FindControl(s.settings, IDC_CUSTOM_WIDTH), "300");
    TypeText(FindControl(s.settings, IDC_CUSTOM_HEIGHT), "");
    EXPECT_EQ(config->CustomWidth, 300);
    EXPECT_EQ(config->CustomHeight, 0);

    DropFiles(s.main, {Image(s, "landscape_1.jpg"), Image(s, "testorig.jpg"), Image(s, "notes.txt"),
                       Image(s, "logo.png"), Image(s, "logo_type2_24bpp_bl.tga")});
    ASSERT_EQ(ListRows(s.list), 4) << "every picture, PNG too; the text file is left out";
    const std::vector<const char*> names = {"landscape_1.jpg", "testorig.jpg", "logo.png", "logo_type2_24bpp_bl.tga"};
    ExpectMeasuredEstimates(s, names);
    ExpectRow(s.list, 0, "landscape_1.jpg", "600x450", "136k", "300x225", ListCell(s.list, 0, 4).c_str());
    ExpectRow(s.list, 1, "testorig.jpg", "227x149", "5k", "227x149", ListCell(s.list, 1, 4).c_str());
    ExpectRow(s.list, 2, "logo.png", "252x50", "1k", "252x50", ListCell(s.list, 2, 4).c_str());
    ExpectRow(s.list, 3, "logo_type2_24bpp_bl.tga", "240x320", "225k", "240x320", ListCell(s.list, 3, 4).c_str());
    EXPECT_EQ(ListCell(s.list, 0, 5), Image(s, "landscape_1.jpg"));
    EXPECT_EQ(SendMessageA(s.list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_FOCUSED), 0);
    EXPECT_TRUE(IsWindowEnabled(s.main));

    TypeText(FindControl(s.settings, IDC_CUSTOM_HEIGHT), "225");
    EXPECT_EQ(config->CustomHeight, 225);
    // The shipped Custom box turns: the portrait TGA fits 225 x 300.
    EXPECT_EQ(ListCell(s.list, 3, 3), "225x300");
    EXPECT_EQ(ListCell(s.list, 0, 3), "300x225");
    ExpectMeasuredEstimates(s, names);
    // A size limit: the rows show the copy it leaves, smaller where quality
    // 30 does not fit; an empty box lifts it.
    TypeText(FindControl(s.settings, IDC_MAX_SIZE), "3");
    EXPECT_EQ(config->CustomMaxSize, 3);
    EXPECT_NE(ListCell(s.list, 0, 3), "300x225");
    EXPECT_LE(atoi(ListCell(s.list, 0, 4).c_str() + 1), 3) << ListCell(s.list, 0, 4);
    TypeText(FindControl(s.settings, IDC_MAX_SIZE), "");
    EXPECT_EQ(config->CustomMaxSize, 0);
    EXPECT_EQ(ListCell(s.list, 0, 3), "300x225");
    FitAndPrintSizes(s);
}

bool IsEmptyList(void* list) {
    return ListRows(HWND(list)) == 0;
}

bool IsNotZero(void* field) {
    return WindowText(HWND(field)) != "0";
}

struct AlsoWait {
    HWND dialog;
};

bool AlsoShows(void* data) {
    HWND dialog = FindWindowA(nullptr, "Also make copies with");
    static_cast<AlsoWait*>(data)->dialog = dialog;
    return dialog && IsWindowVisible(dialog);
}

// The "Also make..." dialog ticks name (or, with name null, nothing) and
// presses OK; the button's caption says how many further profiles there are.
void TickAlso(Session& s, const char* name, const char* caption) {
    HWND button = FindControl(s.profile, IDC_ALSO);
    PostMessageA(button, BM_CLICK, 0, 0);
    AlsoWait wait = {nullptr};
    ASSERT_TRUE(WaitUntil(AlsoShows, &wait, kWait));
    HWND list = GetDlgItem(wait.dialog, IDC_ALSO_LIST);
    SendMessageA(list, LB_SETSEL, FALSE, -1);
    if (name) SendMessageA(list, LB_SETSEL, TRUE, SendMessageA(list, LB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(name)));
    SendMessageA(wait.dialog, WM_COMMAND, IDOK, 0);
    // The window reads the dialog's answer once its modal loop has ended.
    struct Caption {
        HWND button;
        const char* text;
    } expected = {button, caption};
    EXPECT_TRUE(WaitUntil(
        [](void* data) {
            const Caption* c = static_cast<const Caption*>(data);
            return WindowText(c->button) == c->text;
        },
        &expected, kWait))
        << WindowText(button);
}

// With E-mail ticked beside Custom, Start Resizing writes two copies of
// each of the four files from one decode each, reports copies and savings,
// clears the list and updates the statistics; then E-mail is unticked.
void ResizeAll(Session& s) {
    AppConfig* config = Program_GetConfig();
    TickAlso(s, "E-mail", "Also &make (1)...");
    EXPECT_STREQ(config->AlsoProfiles, "E-mail");
    struct Cell {
        HWND list;
    } cell = {s.list};
    EXPECT_TRUE(WaitUntil(
        [](void* data) { return ListCell(static_cast<Cell*>(data)->list, 0, 3) == "300x225, 600x450"; }, &cell, kWait))
        << ListCell(s.list, 0, 3) << ": the E-mail copy is never enlarged";
    Click(FindControl(s.profile, IDC_START));
    HWND report = WaitForReport("Finished making", kWait);
    std::string done = ReportSummary(report);
    int64_t before = 0, after = 0, saved = 0;
    const char* sources[4] = {"landscape_1", "testorig", "logo", "logo_type2_24bpp_bl"};
    const char* kinds[4] = {".jpg", ".jpg", ".png", ".tga"};
    // A copy larger than its source saves nothing.
    for (int i = 0; i < 4; ++i) {
        for (const char* profile : {"_Custom", "_E-mail"}) {
            const int64_t source = FileBytes(s.folders.unixImages + sources[i] + kinds[i]);
            const int64_t copy = FileBytes(s.folders.unixImages + sources[i] + "_resized" + profile + ".jpg");
            EXPECT_GT(copy, 0) << sources[i] << profile;
            before += source;
            after += copy;
            saved += std::max<int64_t>(0, source - copy);
        }
    }
    EXPECT_EQ(done, "Finished making 8 copies of 4 images, " + std::to_string(saved / 1024) + " Kb saved.");
    EXPECT_FALSE(IsWindowEnabled(s.main));
    int32_t width = 0, height = 0;
    DecodedSize(Image(s, "landscape_1_resized_Custom.jpg"), &width, &height);
    EXPECT_EQ(width, 300);
    EXPECT_EQ(height, 225);
    DecodedSize(Image(s, "logo_type2_24bpp_bl_resized_Custom.jpg"), &width, &height);
    EXPECT_EQ(width, 225);
    EXPECT_EQ(height, 300);
    // The job clears the list and shows the totals after its message.
    EXPECT_TRUE(WaitUntil(IsEmptyList, s.list, kWait));
    EXPECT_TRUE(WaitUntil(IsNotZero, FindControl(s.about, IDC_STAT_IMAGES), kWait));
    EXPECT_EQ(config->ImagesProcessed, 8);
    EXPECT_EQ(config->Original, before);
    EXPECT_EQ(config->Resized, before - saved) << "a larger copy counts as its source's bytes";
    EXPECT_GE(after, config->Resized);
    EXPECT_EQ(WindowText(FindControl(s.about, IDC_STAT_IMAGES)), "8");
    EXPECT_EQ(WindowText(FindControl(s.about, IDC_STAT_ORIGINAL)), std::to_string(before / 1024) + "k");
    CloseReport(report);
    EXPECT_TRUE(IsWindowEnabled(s.main));
    TickAlso(s, nullptr, "Also &make...");
    EXPECT_STREQ(config->AlsoProfiles, "");
}

// count copies of a photograph, each with an output of its own.
std::vector<std::string> Copies(Session& s, const std::string& prefix, int count) {
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        std::string name = prefix + std::to_string(i) + ".jpg";
        EXPECT_TRUE(CopyFileA(Image(s, "landscape_1.jpg").c_str(), Image(s, name.c_str()).c_str(), FALSE));
        files.push_back(Image(s, name.c_str()));
    }
    return files;
}

// The run's words under the list once a source of the 120 is done.
bool SaysSomeDone(void* words) {
    const std::string text = WindowText(HWND(words));
    return atoi(text.c_str()) >= 1 && text.find(" of 120 done") != std::string::npos;
}

// Cancel during a long run keeps the list and counts what was written; the
// bar under the list shows the run's progress while it goes, the list's
// hint in its place again after it.
void CancelRun(Session& s) {
    DropFiles(s.main, Copies(s, "many", 120));
    ASSERT_EQ(ListRows(s.list), 120);
    Click(FindControl(s.profile, IDC_START));
    ASSERT_NE(WaitForBoxText("Resizing ", kWait), "");
    HWND bar = FindControl(s.profile, IDC_PROGRESS), words = FindControl(s.profile, IDC_PROGRESS_TEXT);
    EXPECT_TRUE(IsWindowVisible(bar));
    EXPECT_TRUE(WaitUntil(SaysSomeDone, words, kWait)) << WindowText(words);
    EXPECT_GT(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    PressBoxButton();
    HWND report = WaitForReport("Resizing cancelled after ", kWait);
    std::string cancelled = ReportSummary(report);
    int written = atoi(cancelled.c_str() + strlen("Resizing cancelled after "));
    EXPECT_GE(written, 0);
    EXPECT_LT(written, 120);
    EXPECT_EQ(cancelled,
              "Resizing cancelled after " + std::to_string(written) + (written == 1 ? " image." : " images."));
    EXPECT_EQ(ListRows(s.list), 120);
    EXPECT_FALSE(IsWindowVisible(bar));
    EXPECT_TRUE(IsWindowVisible(FindControl(s.profile, IDC_LIST_HINT)));
    CloseReport(report);
    ClearList(s);
    EXPECT_EQ(ListRows(s.list), 0);
}

// A second press while a job runs starts nothing: the window is disabled on
// its own thread before the job is handed on, and each file counts once.
void SecondStartIsIgnored(Session& s) {
    AppConfig* config = Program_GetConfig();
    int64_t before = config->ImagesProcessed;
    DropFiles(s.main, Copies(s, "twice", 40));
    HWND start = FindControl(s.profile, IDC_START);
    Click(start);
    EXPECT_FALSE(IsWindowEnabled(s.main));
    SendMessageA(s.profile, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED), LPARAM(start));
    HWND report = WaitForReport("Finished resizing", kWait);
    EXPECT_EQ(ReportSummary(report).find("Finished resizing 40 images, "), 0u) << ReportSummary(report);
    CloseReport(report);
    EXPECT_EQ(config->ImagesProcessed, before + 40);
}

// "Save to:" without a folder is refused before anything runs.
void EmptyFolderIsRefused(Session& s) {
    AppConfig* config = Program_GetConfig();
    Click(FindControl(s.settings, IDC_SAVE_TO));
    TypeText(FindControl(s.settings, IDC_PATH), "");
    EXPECT_STREQ(config->Path, "");
    DropFiles(s.main, {Image(s, "testorig.jpg")});
    Click(FindControl(s.profile, IDC_START));
    EXPECT_EQ(WaitForBoxText("Please", kWait), "Please choose a folder to save the resized images to.");
    PressBoxButton();
    EXPECT_EQ(ListRows(s.list), 1) << "nothing ran";
    Click(FindControl(s.settings, IDC_SAME_FOLDER));
    ClearList(s);
}

// The end of the session saves what the user set, without a close.
void EndOfSession(Session& s) {
    TypeText(FindControl(s.settings, IDC_APPEND), "_session");
    SendMessageA(s.main, WM_QUERYENDSESSION, 0, 0);
    SendMessageA(s.main, WM_ENDSESSION, TRUE, 0);
    EXPECT_NE(ReadWholeFile(s.folders.unixSettings + "config.xml").find("<Append>_session</Append>"),
              std::string::npos);
    TypeText(FindControl(s.settings, IDC_APPEND), "_resized");
}

// Names in any script, dropped as the shell drops them, are listed as they
// are, and a run writes their copies beside them.
void NamesInAnyScript(Session& s) {
    std::vector<std::string> files;
    for (const char* name : kScriptNames) {
        files.push_back(Image(s, name) + ".jpg");
        ASSERT_TRUE(CopyFileA(Image(s, "testorig.jpg").c_str(), files.back().c_str(), FALSE)) << name;
    }
    DropFiles(s.main, files);
    ASSERT_EQ(ListRows(s.list), 7);
    for (int row = 0; row < 7; ++row) {
        EXPECT_EQ(ListCell(s.list, row, 0), std::string(kScriptNames[row]) + ".jpg");
        EXPECT_EQ(ListCell(s.list, row, 5), files[size_t(row)]);
    }
    Click(FindControl(s.profile, IDC_START));
    HWND report = WaitForReport("Finished resizing", kWait);
    EXPECT_EQ(ReportSummary(report).find("Finished resizing 7 images, "), 0u) << ReportSummary(report);
    CloseReport(report);
    for (const char* name : kScriptNames) EXPECT_TRUE(FileExists(s.folders.unixImages + name + "_resized.jpg")) << name;
}

// The clipboard's Unicode text as UTF-8; empty when it has none.
std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) return text;
    HANDLE memory = GetClipboardData(CF_UNICODETEXT);
    const wchar_t* wide = memory ? static_cast<const wchar_t*>(GlobalLock(memory)) : nullptr;
    if (wide) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        text.resize(size_t(bytes > 0 ? bytes : 1));
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], bytes, nullptr, nullptr);
        text.resize(text.size() - 1);
        GlobalUnlock(memory);
    }
    CloseClipboard();
    return text;
}

bool IsGoneWindow(void* window) {
    return !IsWindow(HWND(window));
}

bool HasRows(void* wanted) {
    const std::pair<HWND, int>* w = static_cast<const std::pair<HWND, int>*>(wanted);
    return ListRows(w->first) >= w->second;
}

// Starts brimlow.exe with arguments, as Explorer starts it for a verb.
HANDLE StartProgram(const std::string& arguments) {
    return StartProcess("\"" + ProgramBeside("brimlow.exe") + "\" " + arguments);
}

bool IsForeground(void* window) {
    return GetForegroundWindow() == HWND(window);
}

bool AllSelected(void* list) {
    const int rows = ListView_GetItemCount(HWND(list));
    return rows > 0 && int(ListView_GetSelectedCount(HWND(list))) == rows;
}

bool NoRows(void* list) {
    return ListView_GetItemCount(HWND(list)) == 0;
}

// Keys typed on the list once the window is in front (a second time if
// they came too early): Ctrl+A selects every row, Delete removes them.
void SelectAllAndDelete(Session& s) {
    const struct {
        std::vector<WORD> codes;
        bool (*done)(void*);
    } steps[] = {{{VK_CONTROL, 'A'}, AllSelected}, {{VK_DELETE}, NoRows}};
    for (const auto& step : steps) {
        std::vector<INPUT> keys;
        for (int up = 0; up < 2; ++up)
            for (size_t i = 0; i < step.codes.size(); ++i) {
                INPUT key = {};
                key.type = INPUT_KEYBOARD;
                key.ki.wVk = step.codes[up ? step.codes.size() - 1 - i : i];
                key.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
                keys.push_back(key);
            }
        bool done = false;
        for (int attempt = 0; attempt < 2 && !done; ++attempt) {
            SetForegroundWindow(s.main);
            WaitUntil(IsForeground, s.main, 5000);
            // The focus moves on the window's own thread.
            SendMessageA(GetParent(s.list), WM_NEXTDLGCTL, WPARAM(s.list), TRUE);
            SendInput(UINT(keys.size()), keys.data(), sizeof(INPUT));
            done = WaitUntil(step.done, s.list, 3000);
        }
        ASSERT_TRUE(done) << "key " << step.codes.back();
    }
}

// A dropped folder lists its pictures, then its subfolders' (unless
// "Include subfolders" is off), and their copies keep the structure in a
// chosen folder. Starts of the program while it runs, all at once as
// Explorer makes them for fifteen selected files, hand their paths to this
// window and end.
void FoldersAndSecondStarts(Session& s) {
    std::string tree = s.folders.unixImages + "tree/";
    std::filesystem::create_directories(tree + "sub");
    for (const char* name : {"b.jpg", "a.jpg", "sub/c.jpg"})
        ASSERT_TRUE(CopyFileA(Image(s, "testorig.jpg").c_str(), (Image(s, "tree\\") + name).c_str(), FALSE));
    DropFiles(s.main, {Image(s, "tree")});
    ASSERT_EQ(ListRows(s.list), 3);
    EXPECT_EQ(ListCell(s.list, 0, 0) + ListCell(s.list, 1, 0) + ListCell(s.list, 2, 0), "a.jpgb.jpgc.jpg");
    Click(FindControl(s.settings, IDC_SUBFOLDERS));
    EXPECT_EQ(Program_GetConfig()->Subfolders, 0);
    DropFiles(s.main, {Image(s, "tree")});
    EXPECT_EQ(ListRows(s.list), 5);
    Click(FindControl(s.settings, IDC_SUBFOLDERS));
    SelectAllAndDelete(s);

    DropFiles(s.main, {Image(s, "tree")});
    Click(FindControl(s.settings, IDC_SAVE_TO));
    // As the folder button would set it.
    Str_Copy(Program_GetConfig()->Path, (Image(s, "mirror") + "\\").c_str());
    Click(FindControl(s.profile, IDC_START));
    HWND report = WaitForReport("Finished resizing", kWait);
    EXPECT_EQ(ReportSummary(report).find("Finished resizing 3 images, "), 0u) << ReportSummary(report);
    CloseReport(report);
    for (const char* copy : {"a_resized.jpg", "b_resized.jpg", "sub/c_resized.jpg"})
        EXPECT_TRUE(FileExists(s.folders.unixImages + "mirror/" + copy)) << copy;
    Program_GetConfig()->Path[0] = 0;
    Click(FindControl(s.settings, IDC_SAME_FOLDER));
    ClearList(s);

    // A block that is not a list of UTF-8 paths is refused whole.
    const char bad[] = "Z:\\a.jpg\0Z:\\half\xed\xa0\x80.jpg\0";
    COPYDATASTRUCT block = {PATH_BLOCK_KIND, DWORD(sizeof bad), const_cast<char*>(bad)};
    EXPECT_EQ(SendMessageA(s.main, WM_COPYDATA, 0, LPARAM(&block)), 0);
    block.dwData = 1;
    block.cbData = 0;
    EXPECT_EQ(SendMessageA(s.main, WM_COPYDATA, 0, LPARAM(&block)), 0);

    const int kStarts = 15;
    std::vector<HANDLE> starts;
    for (int i = 0; i < kStarts; ++i) {
        std::string name = (i % 2 ? std::string(kScriptNames[i % 7]) : "testorig") + ".jpg";
        starts.push_back(StartProgram("\"" + Image(s, name.c_str()) + "\""));
        ASSERT_NE(starts.back(), nullptr);
    }
    for (HANDLE process : starts) {
        EXPECT_EQ(WaitForSingleObject(process, kWait), WAIT_OBJECT_0);
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        EXPECT_EQ(code, 1u) << "a second start ends once it has handed its paths over";
        CloseHandle(process);
    }
    std::pair<HWND, int> wanted(s.list, kStarts);
    EXPECT_TRUE(WaitUntil(HasRows, &wanted, kWait));
    EXPECT_EQ(ListRows(s.list), kStarts);
    EXPECT_EQ(WaitForMainWindow(1000), s.main) << "still one window";
    ClearList(s);
}

bool FindAddDialog(void* found) {
    HWND dialog = FindWindowA("#32770", "Add pictures");
    *static_cast<HWND*>(found) = dialog;
    return dialog && IsWindowVisible(dialog);
}

// Ctrl+O, typed where the focus is, opens the open dialog for pictures. The
// keys go to the foreground window, which Wine may still be handing over
// while the window works on other messages (its pictures' measures): the
// keys are typed once the window is in front, a second time if they came
// too early.
void ControlOOpensTheDialog(Session& s) {
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_CONTROL, 'O', 'O', VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        keys[i].type = INPUT_KEYBOARD;
        keys[i].ki.wVk = codes[i];
        keys[i].ki.dwFlags = i < 2 ? 0 : KEYEVENTF_KEYUP;
    }
    HWND dialog = nullptr;
    bool opened = false;
    for (int attempt = 0; attempt < 2 && !opened; ++attempt) {
        SetForegroundWindow(s.main);
        WaitUntil(IsForeground, s.main, 5000);
        SetFocus(s.list);
        SendInput(4, keys, sizeof(INPUT));
        opened = WaitUntil(FindAddDialog, &dialog, 6000);
    }
    ASSERT_TRUE(opened) << "no open dialog after Ctrl+O";
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(WaitUntil(IsGoneWindow, dialog, kWait));
    EXPECT_EQ(ListRows(s.list), 0);
}

// Without an affix a ".jpg" source would be its own output: refused.
void RefuseOverwrite(Session& s) {
    HWND append = FindControl(s.settings, IDC_APPEND);
    TypeText(append, "");
    EXPECT_STREQ(Program_GetConfig()->Append, "");
    int64_t bytes = FileBytes(s.folders.unixImages + "testorig.jpg");
    DropFiles(s.main, {Image(s, "testorig.jpg")});
    Click(FindControl(s.profile, IDC_START));
    HWND report = WaitForReport("Unable", kWait);
    EXPECT_EQ(ReportSummary(report), "Unable to overwrite matching filenames (testorig)...");
    EXPECT_EQ(ReportRow(report, 0), "testorig.jpg\t\t\tfailed: would replace an original");
    // "Copy": the report as text on the clipboard.
    SendMessageA(report, WM_COMMAND, IDC_REPORT_COPY, 0);
    EXPECT_EQ(ClipboardText(),
              "Unable to overwrite matching filenames (testorig)...\r\n\r\nPicture\tBefore\tAfter\t"
              "Result\r\ntestorig.jpg\t\t\tfailed: would replace an original\r\n");
    EXPECT_EQ(FileBytes(s.folders.unixImages + "testorig.jpg"), bytes);
    CloseReport(report);
    TypeText(append, "_resized");
    EXPECT_STREQ(Program_GetConfig()->Append, "_resized");
    ClearList(s);
}

// Every settings control writes its value at once.
void SettingsControls(Session& s) {
    AppConfig* config = Program_GetConfig();
    Click(FindControl(s.settings, IDC_ON_TOP));
    EXPECT_EQ(config->AlwaysOnTop, 1);
    EXPECT_TRUE(GetWindowLongPtrA(s.main, GWL_EXSTYLE) & WS_EX_TOPMOST);
    Click(FindControl(s.settings, IDC_ON_TOP));
    EXPECT_EQ(config->AlwaysOnTop, 0);
    EXPECT_FALSE(GetWindowLongPtrA(s.main, GWL_EXSTYLE) & WS_EX_TOPMOST);

    // The lists of choices: each entry writes its setting, and the shipped
    // settings select the first.
    struct Choice {
        int id;
        int32_t* field;
        int entries;
    } choices[] = {{IDC_COLOURS, &config->ColourProfile, 2},
                   {IDC_METADATA, &config->Metadata, 3},
                   {IDC_FORMAT, &config->Format, 4}};
    for (const Choice& c : choices) {
        HWND list = FindControl(s.settings, c.id);
        EXPECT_EQ(SendMessageA(list, CB_GETCOUNT, 0, 0), c.entries);
        EXPECT_EQ(SendMessageA(list, CB_GETCURSEL, 0, 0), 0);
        for (int pick : {c.entries - 1, 0}) {
            SendMessageA(list, CB_SETCURSEL, WPARAM(pick), 0);
            SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(c.id, CBN_SELCHANGE), LPARAM(list));
            EXPECT_EQ(*c.field, SendMessageA(list, CB_GETITEMDATA, WPARAM(pick), 0));
        }
    }

    // Backgrounds by their colours; one config.xml names is listed too.
    HWND background = FindControl(s.settings, IDC_BACKGROUND);
    EXPECT_EQ(SendMessageA(background, CB_GETCOUNT, 0, 0), 2);
    SendMessageA(background, CB_SETCURSEL, 1, 0);
    SendMessageA(s.settings, WM_COMMAND, MAKEWPARAM(IDC_BACKGROUND, CBN_SELCHANGE), LPARAM(background));
    EXPECT_EQ(config->Background, 0xFFFFFF);
    MainWindowStruct* window = reinterpret_cast<MainWindowStruct*>(GetWindowLongPtrA(s.main, GWLP_USERDATA));
    config->Background = 0x1E90FF;
    Page_FillSettings(window);
    EXPECT_EQ(SendMessageA(background, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(WindowText(background), "#1E90FF");
    config->Background = 0;
    Page_FillSettings(window);

    int keepDate = config->DuplicateDate;
    Click(FindControl(s.settings, IDC_KEEP_DATE));
    EXPECT_EQ(config->DuplicateDate, 1 - keepDate);
    Click(FindControl(s.settings, IDC_KEEP_DATE));
    EXPECT_EQ(config->DuplicateDate, keepDate);

    // Skipping the estimates lists even a file that is no picture.
    Click(FindControl(s.settings, IDC_SKIP_INFO));
    EXPECT_EQ(config->SkipImageInfo, 1);
    CopyFileA((s.folders.images + "notes.txt").c_str(), (s.folders.images + "fake.jpg").c_str(), FALSE);
    DropFiles(s.main, {Image(s, "fake.jpg")});
    ASSERT_EQ(ListRows(s.list), 1);
    ExpectRow(s.list, 0, "fake.jpg", "", "0k", "...", "...");
    Click(FindControl(s.settings, IDC_SKIP_INFO));
    EXPECT_EQ(config->SkipImageInfo, 0);
    ClearList(s);

    HMENU menu = GetMenu(s.main);
    Click(FindControl(s.settings, IDC_SAVE_TO));
    EXPECT_EQ(config->SameDirectory, 0);
    EXPECT_TRUE(IsWindowEnabled(FindControl(s.settings, IDC_PATH)));
    EXPECT_TRUE(IsWindowEnabled(FindControl(s.settings, IDC_BROWSE)));
    EXPECT_FALSE(GetMenuState(menu, IDM_OPEN_OUTPUT, MF_BYCOMMAND) & MF_GRAYED);
    Click(FindControl(s.settings, IDC_SAME_FOLDER));
    EXPECT_EQ(config->SameDirectory, 1);
    EXPECT_FALSE(IsWindowEnabled(FindControl(s.settings, IDC_PATH)));
    EXPECT_TRUE(GetMenuState(menu, IDM_OPEN_OUTPUT, MF_BYCOMMAND) & MF_GRAYED);

    EXPECT_EQ(ListBoxRow(FindControl(s.profile, IDC_PROFILE_CHOICE), 0), "E-mail");
    ChooseProfile(s.profile, "E-mail");
    EXPECT_STREQ(config->ActiveProfile, "E-mail");

    Click(FindControl(s.about, IDC_RESET));
    EXPECT_EQ(config->ImagesProcessed, 0);
    EXPECT_EQ(config->Original, 0);
    EXPECT_EQ(WindowText(FindControl(s.about, IDC_STAT_IMAGES)), "0");
    EXPECT_EQ(WindowText(FindControl(s.about, IDC_STAT_SAVINGS)), "0k");
}

HWND OtherPreview(HWND known) {
    HWND found = nullptr;
    while ((found = FindWindowExA(nullptr, found, "ResizePreviewClass", nullptr)) != nullptr)
        if (found != known) return found;
    return nullptr;
}

bool FileIsThere(void* unixPath) {
    return FileBytes(static_cast<const char*>(unixPath)) > 0;
}

// A preview shows the sizes and the profile, copies a 32-bit DIB and keeps
// a temporary file of its own.
void Previews(Session& s) {
    DropFiles(s.main, {Image(s, "testorig.jpg")});
    SendMessageA(s.profile, WM_COMMAND, IDC_PREVIEW, 0);
    HWND first = OtherPreview(nullptr);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(WindowText(first), "Resize Preview (Right-click image for options)");
    char folder[MAX_PATH];
    GetTempPathA(sizeof(folder), folder);
    std::string temporary = std::string(folder) + "testorig-temp.jpg";
    HANDLE probe = CreateFileA(temporary.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(probe, INVALID_HANDLE_VALUE);
    int64_t resizedBytes = int64_t(GetFileSize(probe, nullptr));
    CloseHandle(probe);
    char status[STR_TEXT_SIZE] = {};
    SendMessageA(FindControl(first, 2000), SB_GETTEXTA, 0, LPARAM(status));
    EXPECT_EQ(std::string(status),
              "Resized from 5 Kb to " + std::to_string(resizedBytes / 1024) + " Kb with the 'E-mail' profile.");

    SendMessageA(first, WM_COMMAND, PREVIEW_COPY, 0);
    ASSERT_TRUE(OpenClipboard(nullptr));
    // With its alpha, and as a plain bitmap for programs that ask for one.
    HANDLE dib = GetClipboardData(CF_DIBV5);
    ASSERT_NE(dib, nullptr);
    const BITMAPV5HEADER* header = static_cast<const BITMAPV5HEADER*>(GlobalLock(dib));
    EXPECT_EQ(header->bV5Size, DWORD(sizeof(BITMAPV5HEADER)));
    EXPECT_EQ(header->bV5Width, 227);
    EXPECT_EQ(header->bV5Height, 149);
    EXPECT_EQ(header->bV5BitCount, 32);
    EXPECT_EQ(header->bV5Compression, DWORD(BI_BITFIELDS));
    EXPECT_EQ(header->bV5AlphaMask, 0xFF000000u);
    EXPECT_EQ(header->bV5SizeImage, 227u * 149u * 4u);
    EXPECT_EQ(header->bV5XPelsPerMeter, 2880);
    EXPECT_EQ(GlobalSize(dib), sizeof(BITMAPV5HEADER) + 227u * 149u * 4u);
    GlobalUnlock(dib);
    EXPECT_NE(GetClipboardData(CF_DIB), nullptr);
    CloseClipboard();

    // "Save resized copy as..." copies the temporary file where the user says.
    SaveAnswer reply = {"Select save path", s.folders.images + "saved-copy"};
    PostMessageA(first, WM_COMMAND, PREVIEW_SAVE, 0);
    AnswerSaveDialog(&reply);
    EXPECT_TRUE(WaitUntil(FileIsThere, const_cast<char*>((s.folders.unixImages + "saved-copy.jpg").c_str()), kWait));
    EXPECT_EQ(FileBytes(s.folders.unixImages + "saved-copy.jpg"), resizedBytes);

    SendMessageA(s.profile, WM_COMMAND, IDC_PREVIEW, 0);
    HWND second = OtherPreview(first);
    ASSERT_NE(second, nullptr);
    std::string secondTemporary = std::string(folder) + "testorig (2)-temp.jpg";
    EXPECT_NE(GetFileAttributesA(secondTemporary.c_str()), INVALID_FILE_ATTRIBUTES);
    SendMessageA(first, WM_CLOSE, 0, 0);
    EXPECT_EQ(GetFileAttributesA(temporary.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA(secondTemporary.c_str()), INVALID_FILE_ATTRIBUTES);
    SendMessageA(second, WM_CLOSE, 0, 0);
    EXPECT_EQ(GetFileAttributesA(secondTemporary.c_str()), INVALID_FILE_ATTRIBUTES);
    ClearList(s);
}

// A picture larger than its window scrolls by lines of 5 and pages of 50;
// dragging the thumb moves it only when the thumb is let go.
void PreviewScrolling(Session& s) {
    DropFiles(s.main, {Image(s, "landscape_1.jpg")});
    SendMessageA(s.profile, WM_COMMAND, IDC_PREVIEW, 0);
    HWND preview = OtherPreview(nullptr);
    ASSERT_NE(preview, nullptr);
    HWND box = FindControl(preview, 2001);
    RECT client;
    GetClientRect(box, &client);
    EXPECT_EQ(client.right, 600 + 1);
    SetWindowPos(preview, nullptr, 0, 0, 300, 250, SWP_NOMOVE | SWP_NOZORDER);
    auto scroll = [&](UINT message, int code, int position) {
        SendMessageA(box, message, MAKEWPARAM(code, position), 0);
    };
    scroll(WM_VSCROLL, SB_LINEDOWN, 0);
    EXPECT_EQ(GetScrollPos(box, SB_VERT), 5);
    scroll(WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(GetScrollPos(box, SB_VERT), 55);
    scroll(WM_VSCROLL, SB_LINEUP, 0);
    EXPECT_EQ(GetScrollPos(box, SB_VERT), 50);
    scroll(WM_HSCROLL, SB_THUMBTRACK, 120);
    EXPECT_EQ(GetScrollPos(box, SB_HORZ), 0);
    scroll(WM_HSCROLL, SB_THUMBPOSITION, 120);
    EXPECT_EQ(GetScrollPos(box, SB_HORZ), 120);
    scroll(WM_HSCROLL, SB_THUMBPOSITION, 5000);
    GetClientRect(box, &client);
    EXPECT_EQ(GetScrollPos(box, SB_HORZ), 600 - client.right);
    scroll(WM_HSCROLL, SB_PAGEUP, 0);
    scroll(WM_HSCROLL, SB_THUMBPOSITION, 0);
    EXPECT_EQ(GetScrollPos(box, SB_HORZ), 0);
    SendMessageA(preview, WM_CLOSE, 0, 0);
    ClearList(s);
}

struct MenuWatch {
    HWND page;
    int seen;
};

// Waits for a popup menu, notes it and closes it with Escape.
DWORD WINAPI CloseMenu(void* data) {
    MenuWatch* watch = static_cast<MenuWatch*>(data);
    for (int i = 0; i < 200; ++i) {
        HWND menu = FindWindowA("#32768", nullptr);
        if (menu && IsWindowVisible(menu)) {
            watch->seen = 1;
            PostMessageA(watch->page, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
            return 0;
        }
        Sleep(10);
    }
    return 0;
}

// The popup menu opens only over a focused row; "Remove" deletes the
// focused row even when several are selected.
void RowMenu(Session& s) {
    DropFiles(s.main, {Image(s, "landscape_1.jpg"), Image(s, "testorig.jpg"), Image(s, "rgb24.bmp")});
    ASSERT_EQ(ListRows(s.list), 3);
    NMHDR click = {s.list, IDC_LIST, UINT(NM_RCLICK)};
    MenuWatch watch = {s.profile, 0};
    HANDLE closer = CreateThread(nullptr, 0, CloseMenu, &watch, 0, nullptr);
    SendMessageA(s.profile, WM_NOTIFY, IDC_LIST, LPARAM(&click));
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
    EXPECT_EQ(watch.seen, 1);

    LVITEMA state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED;
    for (int row = 0; row < 3; ++row) SendMessageA(s.list, LVM_SETITEMSTATE, row, LPARAM(&state));
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(s.list, LVM_SETITEMSTATE, 1, LPARAM(&state));
    SendMessageA(s.profile, WM_COMMAND, IDM_REMOVE, 0);
    ASSERT_EQ(ListRows(s.list), 2);
    EXPECT_EQ(ListCell(s.list, 0, 0), "landscape_1.jpg");
    EXPECT_EQ(ListCell(s.list, 1, 0), "rgb24.bmp");
    ExpectMeasuredEstimates(s, {"landscape_1.jpg", "rgb24.bmp"});

    // Without a focused row (selection alone does not count) no menu opens.
    state.stateMask = LVIS_FOCUSED;
    state.state = 0;
    SendMessageA(s.list, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&state));
    state.stateMask = LVIS_SELECTED;
    state.state = LVIS_SELECTED;
    SendMessageA(s.list, LVM_SETITEMSTATE, WPARAM(-1), LPARAM(&state));
    watch.seen = 0;
    closer = CreateThread(nullptr, 0, CloseMenu, &watch, 0, nullptr);
    SendMessageA(s.profile, WM_NOTIFY, IDC_LIST, LPARAM(&click));
    WaitForSingleObject(closer, INFINITE);
    CloseHandle(closer);
    EXPECT_EQ(watch.seen, 0);
    ClearList(s);
}

bool IsVisible(void* window) {
    return IsWindowVisible(HWND(window)) != FALSE;
}

// Minimising hides the window into the tray when asked to, and a double
// click on the icon brings it back; otherwise it is an ordinary minimise.
void Tray(Session& s) {
    AppConfig* config = Program_GetConfig();
    if (config->TrayMinimize != 1) Click(FindControl(s.settings, IDC_TRAY));
    ASSERT_EQ(config->TrayMinimize, 1);
    SendMessageA(s.main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_FALSE(IsWindowVisible(s.main));
    // Sent, not posted: handled once SendMessage returns.
    SendMessageA(s.main, WM_TRAY_NOTIFY, IDI_TRAY, WM_LBUTTONDOWN);
    EXPECT_FALSE(IsWindowVisible(s.main));
    SendMessageA(s.main, WM_TRAY_NOTIFY, IDI_TRAY, WM_LBUTTONDBLCLK);
    EXPECT_TRUE(WaitUntil(IsVisible, s.main, kWait));

    // With its icon's place taken, the program cannot add the icon: the
    // window is minimised, never hidden out of reach. (A tray too busy to
    // answer, as on a loaded machine, cannot take the place either; the
    // check then says so instead of failing.)
    HICON taken = LoadIconA(nullptr, IDI_APPLICATION);
    int placeTaken = 0;
    for (int attempt = 0; attempt < 5 && !placeTaken; ++attempt) {
        placeTaken = TrayIcon_Add(s.main, IDI_TRAY, taken, WM_TRAY_NOTIFY, "taken");
        if (!placeTaken) Sleep(200);
    }
    if (placeTaken) {
        SendMessageA(s.main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        EXPECT_TRUE(IsWindowVisible(s.main));
        EXPECT_TRUE(IsIconic(s.main));
        TrayIcon_Remove(s.main, IDI_TRAY, taken, WM_TRAY_NOTIFY, "taken");
        SendMessageA(s.main, WM_SYSCOMMAND, SC_RESTORE, 0);
        EXPECT_FALSE(IsIconic(s.main));
    }

    Click(FindControl(s.settings, IDC_TRAY));
    EXPECT_EQ(config->TrayMinimize, 0);
    SendMessageA(s.main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(s.main));
    EXPECT_TRUE(IsWindowVisible(s.main));
    SendMessageA(s.main, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(s.main));
    if (!placeTaken)
        GTEST_SKIP() << "the tray did not answer: the check of a tray icon that cannot be added did not run";
}

int OpenedPages() {
    return CountOf(ReadWholeFile(ProgramBeside("debug.log")), "Open [");
}

bool OpenedOnce(void* before) {
    return OpenedPages() == *static_cast<int*>(before) + 1;
}

bool OpenedTwice(void* before) {
    return OpenedPages() >= *static_cast<int*>(before) + 2;
}

// The logo opens its page for a press that lands on it, and a later press
// beside it (the logo still holding the focus) opens nothing.
void LogoPresses(Session& s) {
    HWND logo = FindControl(s.profile, IDC_LOGO);
    RECT r;
    GetWindowRect(logo, &r);
    int before = OpenedPages();
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageA(logo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    EXPECT_TRUE(WaitUntil(OpenedOnce, &before, kWait));
    RECT page;
    GetWindowRect(s.profile, &page);
    // The nearest spot of the page itself, with no control over it.
    POINT beside = {0, 0};
    for (int step = 4; step < 400 && !beside.x; step += 4) {
        POINT candidates[2] = {{r.right + step, (r.top + r.bottom) / 2}, {(r.left + r.right) / 2, r.bottom + step}};
        for (POINT p : candidates)
            if (!beside.x && WindowFromPoint(p) == s.profile) beside = p;
    }
    ASSERT_NE(beside.x, 0) << "a spot of the page with no control";
    SetCursorPos(beside.x, beside.y);
    PostMessageA(s.profile, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(beside.x - page.left, beside.y - page.top));
    // A press on the logo after it is the sentinel: once it has opened the
    // page, the press beside has been handled, and must have opened nothing.
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageA(logo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    EXPECT_TRUE(WaitUntil(OpenedTwice, &before, kWait));
    EXPECT_EQ(OpenedPages(), before + 2);
}

// Whether a control takes input from the keyboard: a button that is no
// group box, an edit, a combo box, a list or a link.
bool TakesKeys(HWND control) {
    char name[64] = "";
    GetClassNameA(control, name, int(sizeof name));
    const LONG style = GetWindowLongA(control, GWL_STYLE);
    if (lstrcmpiA(name, "Button") == 0) return (style & BS_TYPEMASK) != BS_GROUPBOX;
    for (const char* kind : {"Edit", "ComboBox", "SysListView32", "ListBox", "SysLink"})
        if (lstrcmpiA(name, kind) == 0) return true;
    return false;
}

BOOL CALLBACK AddChild(HWND child, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
    return TRUE;
}

bool EditorShows(void* data) {
    HWND dialog = FindWindowA("#32770", "Resize profiles");
    *static_cast<HWND*>(data) = dialog;
    return dialog && IsWindowVisible(dialog);
}

// Picks the entry of a combo box of dialog whose text is text, as a user's
// choice does.
void PickChoice(HWND dialog, int id, const char* text) {
    HWND box = GetDlgItem(dialog, id);
    SendMessageA(box, CB_SETCURSEL, WPARAM(SendMessageA(box, CB_FINDSTRINGEXACT, WPARAM(-1), LPARAM(text))), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(box));
}

// A profile made in the editor: listed on the page and on the installed
// right-click menu, in the user's file as the next start reads it, and a
// run with it makes its copy (a crop to 300 x 400, not turned, as PNG). A
// shipped profile cannot be renamed.
void MakeAProfile(Session& s) {
    ClaimShellMenu();
    PostMessageA(FindControl(s.profile, IDC_EDIT_PROFILES), BM_CLICK, 0, 0);
    HWND editor = nullptr;
    ASSERT_TRUE(WaitUntil(EditorShows, &editor, kWait));
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(editor, IDC_PE_NAME))) << "the first profile, a shipped one";
    SendMessageA(editor, WM_COMMAND, IDC_PE_NEW, 0);
    TypeText(GetDlgItem(editor, IDC_PE_NAME), "Passport");
    TypeText(GetDlgItem(editor, IDC_PE_WIDTH), "300");
    TypeText(GetDlgItem(editor, IDC_PE_HEIGHT), "400");
    PickChoice(editor, IDC_PE_FIT, "Crop");
    PickChoice(editor, IDC_PE_FORMAT, "PNG");
    Click(GetDlgItem(editor, IDC_PE_TURN));
    SendMessageA(editor, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitUntil(IsGoneWindow, editor, kWait));
    HWND choice = FindControl(s.profile, IDC_PROFILE_CHOICE);
    const int rows = int(SendMessageA(choice, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(ListBoxRow(choice, rows - 2), "Passport");
    EXPECT_EQ(ListBoxRow(choice, rows - 1), "Custom");
    const std::string command = ShellMenuCommand("Passport");
    RemoveShellMenu();
    EXPECT_NE(command.find("\" --profile \"Passport\" \"%1\""), std::string::npos) << command;
    AppConfig* next = nullptr;
    Config_Create(&next);
    Config_LoadFrom(next, s.folders.settings.c_str());
    const ResizeProfile* made = Config_FindProfile(next, "Passport");
    ASSERT_NE(made, nullptr) << "not in " << s.folders.unixSettings << "user-profiles.xml";
    EXPECT_EQ(made->Width * 10000 + made->Height, 300 * 10000 + 400);
    EXPECT_EQ(made->Format, COPY_PNG);
    Config_Destroy(&next);
    ChooseProfile(s.profile, "Passport");
    EXPECT_STREQ(Program_GetConfig()->ActiveProfile, "Passport");
    DropFiles(s.main, {Image(s, "landscape_1.jpg")});
    Click(FindControl(s.profile, IDC_START));
    CloseReport(WaitForReport("Finished resizing 1 images", kWait));
    int32_t width = 0, height = 0;
    DecodedSize(Image(s, "landscape_1_resized.png"), &width, &height);
    EXPECT_EQ(width * 10000 + height, 300 * 10000 + 400);
    ChooseProfile(s.profile, "Custom");
}

// Tab reaches every control that takes keys on each page (shown or not), a
// radio button through the one of its group the tab order stops at.
void KeyboardReachesEveryControl(Session& s) {
    for (HWND page : {s.profile, s.settings, s.about}) {
        std::vector<HWND> children, reached;
        EnumChildWindows(page, AddChild, LPARAM(&children));
        HWND first = GetNextDlgTabItem(page, nullptr, FALSE);
        for (HWND at = first; at; at = GetNextDlgTabItem(page, at, FALSE)) {
            if (std::find(reached.begin(), reached.end(), at) != reached.end()) break;
            reached.push_back(at);
            // A group's other members are reached with the arrow keys.
            for (HWND member = GetNextDlgGroupItem(page, at, FALSE); member && member != at;
                 member = GetNextDlgGroupItem(page, member, FALSE))
                if ((GetWindowLongA(member, GWL_STYLE) & BS_TYPEMASK) == BS_AUTORADIOBUTTON) reached.push_back(member);
        }
        for (HWND child : children) {
            const bool shown = (GetWindowLongA(child, GWL_STYLE) & (WS_VISIBLE | WS_DISABLED)) == WS_VISIBLE;
            if (GetParent(child) != page || !TakesKeys(child) || !shown) continue;
            EXPECT_NE(std::find(reached.begin(), reached.end(), child), reached.end())
                << "control " << GetDlgCtrlID(child) << " (" << WindowText(child) << ") not reached by Tab";
        }
    }
}

void Phases(Session& s) {
    s.main = WaitForMainWindow(kWait);
    ASSERT_NE(s.main, nullptr);
    s.list = FindControl(s.main, IDC_LIST);
    s.profile = PageOf(s.main, IDC_LIST);
    s.settings = PageOf(s.main, IDC_CUSTOM_WIDTH);
    s.about = PageOf(s.main, IDC_STAT_IMAGES);
    ASSERT_TRUE(s.list && s.profile && s.settings && s.about);
    EXPECT_TRUE(IsWindowVisible(s.profile));
    EXPECT_FALSE(IsWindowVisible(s.settings));
    EXPECT_EQ(WindowText(FindControl(s.about, IDC_VERSION)), "1.00 (Release)");
    // The dialog manager's own messages reach it, not the program's handlers:
    // the default button set is the one it gives back.
    LRESULT before = SendMessageA(s.main, DM_GETDEFID, 0, 0);
    SendMessageA(s.main, DM_SETDEFID, IDCANCEL, 0);
    EXPECT_EQ(LOWORD(SendMessageA(s.main, DM_GETDEFID, 0, 0)), IDCANCEL);
    SendMessageA(s.main, DM_SETDEFID, HIWORD(before) == DC_HASDEFID ? LOWORD(before) : IDOK, 0);
    // The command line's pictures, listed as the window opened.
    std::pair<HWND, int> wanted(s.list, 2);
    EXPECT_TRUE(WaitUntil(HasRows, &wanted, kWait));
    ASSERT_EQ(ListRows(s.list), 2);
    EXPECT_EQ(ListCell(s.list, 0, 0), std::string(kScriptNames[2]) + " copy.jpg");
    EXPECT_EQ(ListCell(s.list, 1, 0), "testorig.jpg");
    ClearList(s);
    KeyboardReachesEveryControl(s);
    DropAndEstimate(s);
    if (::testing::Test::HasFatalFailure()) return;
    ResizeAll(s);
    NamesInAnyScript(s);
    FoldersAndSecondStarts(s);
    ControlOOpensTheDialog(s);
    SecondStartIsIgnored(s);
    CancelRun(s);
    RefuseOverwrite(s);
    EmptyFolderIsRefused(s);
    MakeAProfile(s);
    EndOfSession(s);
    SettingsControls(s);
    Previews(s);
    PreviewScrolling(s);
    RowMenu(s);
    LogoPresses(s);
    Tray(s);
}

bool IsGone(void* window) {
    return !IsWindow(HWND(window));
}

// Presses Escape where the keyboard focus is, as a user would; the dialog
// loop turns it into the close request. Falls back to the command itself
// so that a failed press cannot leave the program running.
void PressEscape(HWND main) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    DWORD thread = GetWindowThreadProcessId(main, nullptr);
    HWND target = GetGUIThreadInfo(thread, &info) && info.hwndFocus ? info.hwndFocus : main;
    PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    bool closed = WaitUntil(IsGone, main, 5000);
    EXPECT_TRUE(closed) << "Escape did not close the window";
    if (!closed) PostMessageA(main, WM_COMMAND, IDCANCEL, 0);
}

// The last phase: a close request from outside during a long run stops the
// run after the files in progress, then closes the program.
void CloseDuringJob(Session& s) {
    DropFiles(s.main, Copies(s, "closing", 120));
    Click(FindControl(s.profile, IDC_START));
    ASSERT_NE(WaitForBoxText("Resizing ", kWait), "");
    PostMessageA(s.main, WM_CLOSE, 0, 0);
}

DWORD WINAPI Driver(void* data) {
    Session* s = static_cast<Session*>(data);
    Phases(*s);
    HWND main = WaitForMainWindow(kWait);
    if (!main) return 0;
    if (::testing::Test::HasFatalFailure())
        PressEscape(main);
    else
        CloseDuringJob(*s);
    return 0;
}

// When its private class cannot be registered (here: it already is) the
// program ends at once with 0, before anything else has started.
TEST(Program, EndsWithZeroWhenTheFirstStepFails) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = "BrimlowGotClass";
    ASSERT_TRUE(RegisterClassExA(&wc));
    EXPECT_EQ(Program_Run(instance, "", "Z:\\nowhere\\"), 0);
    EXPECT_EQ(Program_GetConfig(), nullptr);
    UnregisterClassA("BrimlowGotClass", instance);
}

TEST(Program, AUserSession) {
    Session session;
    session.folders = PrepareProgramFolders();
    ASSERT_FALSE(session.folders.settings.empty());
    // Pictures named on the command line, with the debug log's switch among
    // them: one in Cyrillic with a space, one plain.
    std::string named = Image(session, kScriptNames[2]) + " copy.jpg";
    ASSERT_TRUE(CopyFileA(Image(session, "testorig.jpg").c_str(), named.c_str(), FALSE));
    std::string commandLine = "-debug \"" + named + "\" " + Image(session, "testorig.jpg");
    HANDLE driver = CreateThread(nullptr, 0, Driver, &session, 0, nullptr);
    ASSERT_NE(driver, nullptr);
    int code = Program_Run(GetModuleHandleA(nullptr), commandLine.c_str(), session.folders.settings.c_str());
    WaitForSingleObject(driver, INFINITE);
    CloseHandle(driver);
    EXPECT_EQ(code, 1);
    // The close from outside waited for the job, and its result (0) ended
    // the dialog.
    std::string log = ReadWholeFile(ProgramBeside("debug.log"));
    EXPECT_NE(log.find("Close requested during a job: cancelling it first"), std::string::npos);
    EXPECT_NE(log.find("Return = 0 (00000000)"), std::string::npos);
    // Every copy the stopped run left is whole, none is cut, and the
    // statistics (reset earlier in the session) count exactly those.
    int written = 0;
    for (const std::string& name : FolderNames(session.folders.unixImages)) {
        EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
        if (name.rfind("closing", 0) != 0 || name.find("_resized") == std::string::npos) continue;
        ++written;
        int32_t width = 0, height = 0;
        DecodedSize(session.folders.images + name, &width, &height);
        EXPECT_GT(width, 0) << name;
    }
    EXPECT_LT(written, 120);

    std::string saved = ReadWholeFile(session.folders.unixSettings + "config.xml");
    EXPECT_NE(saved.find("<ActiveProfile>E-mail</ActiveProfile>"), std::string::npos);
    EXPECT_NE(saved.find("<Width>300</Width>"), std::string::npos);
    EXPECT_NE(saved.find("<Height>225</Height>"), std::string::npos);
    EXPECT_NE(saved.find("<Quality>0.750000</Quality>"), std::string::npos);
    EXPECT_NE(saved.find("<TrayMinimize>false</TrayMinimize>"), std::string::npos);
    EXPECT_NE(ReadWholeFile(session.folders.unixSettings + "stats.xml")
                  .find("<ImagesProcessed>" + std::to_string(written) + "</ImagesProcessed>"),
              std::string::npos);
}

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    Sandbox_Install();
    return RUN_ALL_TESTS();
}
