#include <gtest/gtest.h>

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "config.h"
#include "launch.h"
#include "orv-core.h"
#ifdef _WIN32
#include "orv-core_win32.h"
#endif

namespace {

// The arguments a command line splits into, as the program gets them:
// Windows' own split where there is one, else quotes taken away (the
// entries' arguments hold no quote inside a quoted name and no backslash).
std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    std::vector<wchar_t> wide(line.size() * 2 + 2);
    EXPECT_TRUE(Core_ToWide(("brimlow " + line).c_str(), wide.data(), int(wide.size())));
    int count = 0;
    wchar_t** split = CommandLineToArgvW(wide.data(), &count);
    for (int i = 1; i < count; ++i) {
        char text[STR_TEXT_SIZE];
        const char* problem = nullptr;
        EXPECT_TRUE(Core_FromWide(CP_UTF8, split[i], text, int(sizeof text), &problem));
        arguments.push_back(text);
    }
    LocalFree(split);
#else
    std::string current;
    bool quoted = false, any = false;
    for (char c : line + " ") {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if (c == ' ' && !quoted) {
            if (any) arguments.push_back(current);
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
#endif
    return arguments;
}

// Each profile's entry, as the shell expands it for a file (no "%" left
// to expand but the file's) and the program splits it, starts that
// profile on that file; "Open in Brimlow..." comes last and opens the
// window.
TEST(Launch, EachEntryStartsItsProfileOnTheFile) {
    const char* names[] = {"E-mail", "50% \"best\"", "C:\\path\\", "Plain ^41 caret", "Фото 1080p", "%1 %L"};
    AppConfig* config = nullptr;
    Config_Create(&config);
    for (const char* name : names) Str_Copy(Config_AddProfile(config)->Name, name);
    std::vector<LaunchEntry> entries;
    ASSERT_TRUE(Launch_MenuEntries(config, &entries));
    ASSERT_EQ(entries.size(), std::size(names) + 1);
    for (size_t i = 0; i < std::size(names); ++i) {
        const LaunchEntry& entry = entries[i];
        EXPECT_STREQ(entry.label, names[i]);
        EXPECT_LT(std::string(entry.key), std::string(entries.back().key));
        if (i > 0) {
            EXPECT_LT(std::string(entries[i - 1].key), std::string(entry.key));
        }
        const std::string arguments = entry.arguments;
        EXPECT_EQ(arguments.find('%'), std::string::npos) << arguments;
        LaunchStart start;
        EXPECT_TRUE(Launch_ReadStart(Split(arguments + " \"C:\\My pictures\\a.jpg\" -debug"), &start)) << arguments;
        EXPECT_EQ(start.mode, LAUNCH_PROFILE);
        EXPECT_STREQ(start.profile, names[i]);
        EXPECT_EQ(start.paths, std::vector<std::string>{"C:\\My pictures\\a.jpg"});
    }
    EXPECT_STREQ(entries.back().label, "Open in Brimlow...");
    EXPECT_TRUE(entries.back().separated);
    EXPECT_STREQ(entries.back().arguments, "");
    Config_Destroy(&config);

    // Paths alone open the window; a switch counts only first; a profile
    // switch whose name does not read opens the window with the paths.
    const struct {
        std::vector<std::string> arguments;
        int read, mode;
        std::vector<std::string> paths;
    } starts[] = {
        {{"a.jpg", "--profile", "b.jpg"}, 1, LAUNCH_WINDOW, {"a.jpg", "--profile", "b.jpg"}},
        {{"--shell-menu"}, 1, LAUNCH_MENU, {}},
        {{"--profile"}, 0, LAUNCH_WINDOW, {}},
        {{"--profile", "", "a.jpg"}, 0, LAUNCH_WINDOW, {"a.jpg"}},
        {{"--profile", "bad ^2", "a.jpg"}, 0, LAUNCH_WINDOW, {"a.jpg"}},
        {{"--profile", "not ours ^41", "a.jpg"}, 0, LAUNCH_WINDOW, {"a.jpg"}},
    };
    for (const auto& s : starts) {
        LaunchStart start;
        EXPECT_EQ(Launch_ReadStart(s.arguments, &start), s.read) << s.arguments[0];
        EXPECT_EQ(start.mode, s.mode) << s.arguments[0];
        EXPECT_EQ(start.paths, s.paths) << s.arguments[0];
    }
}

}  // namespace
