// The right-click menu's profile entries as Explorer starts them: one
// process per selected file, which make one run without the window, and
// the report only when a file failed.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "../test_support.h"
#include "program_support.h"
#include "resource.h"

namespace {

const int kWait = 60000;

TEST(Menu, ASelectionIsOneRunAndAFailureShowsItsReport) {
    const std::string folder = WorkingFolder();
    const std::string app = std::string(SOURCE_DIR) + "/app/";
    // A copy of the program with settings of its own, which its run writes.
    ASSERT_TRUE(CopyProgram(folder));
    for (const char* name : {"a.jpg", "b.jpg"})
        ASSERT_TRUE(CopyFileA((app + "samples/testorig.jpg").c_str(), (folder + name).c_str(), FALSE));
    FILE* bad = fopen((folder + "bad.jpg").c_str(), "wb");
    ASSERT_NE(bad, nullptr);
    fputs("not a picture\n", bad);
    fclose(bad);

    std::vector<HANDLE> starts;
    for (const char* name : {"a.jpg", "bad.jpg", "b.jpg"}) {
        starts.push_back(StartProcess("\"" + folder + "brimlow.exe\" --profile \"E-mail\" \"" + folder + name + "\""));
        ASSERT_NE(starts.back(), nullptr);
    }
    HWND report = WaitForReport("", kWait);
    ASSERT_NE(report, nullptr) << "no report of the failed file";
    EXPECT_EQ(ListRows(GetDlgItem(report, IDC_REPORT_LIST)), 3) << "one run of the three starts";
    CloseReport(report);
    for (HANDLE process : starts) {
        EXPECT_EQ(WaitForSingleObject(process, kWait), WAIT_OBJECT_0);
        CloseHandle(process);
    }
    EXPECT_TRUE(FileExists(folder + "a_resized.jpg"));
    EXPECT_TRUE(FileExists(folder + "b_resized.jpg"));
    EXPECT_FALSE(FileExists(folder + "bad_resized.jpg"));
    EXPECT_NE(ReadWholeFile(folder + "stats.xml").find("<ImagesProcessed>2</ImagesProcessed>"), std::string::npos);
}

}  // namespace
