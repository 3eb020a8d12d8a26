// Tab control: tabs in index order, pages fitted, show and hide messages
// with index and user value, the selection log line, notifications.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "gui_support.h"
#include "tabctrl.h"

namespace {

const int kShow = 1026;
const int kHide = 1027;

struct PageMessage {
    HWND page;
    UINT message;
    WPARAM index;
    LPARAM value;
};
std::vector<PageMessage> g_seen;

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kShow || message == kHide) {
        g_seen.push_back({window, message, wParam, lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class TabTest : public ::testing::Test {
protected:
    void SetUp() override {
        static bool registered = false;
        HINSTANCE instance = GetModuleHandleA(nullptr);
        if (!registered) {
            WNDCLASSA wc = {};
            wc.lpfnWndProc = PageProc;
            wc.hInstance = instance;
            wc.lpszClassName = "BrimlowTestPage";
            RegisterClassA(&wc);
            registered = true;
        }
        host_ = CreateHost("Tabs");
        tab_ = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 5, 5, 380, 250, host_,
                               HMENU(INT_PTR(1000)), instance, nullptr);
        for (int i = 0; i < 3; ++i)
            pages_[i] = CreateWindowExA(0, "BrimlowTestPage", "", WS_CHILD, 0, 0, 10, 10, tab_, nullptr, instance,
                                        nullptr);
        g_seen.clear();
        ASSERT_TRUE(TabControl_Create(&tabs_));
    }
    void TearDown() override {
        if (tabs_) TabControl_Destroy(&tabs_);
        DestroyWindow(host_);
    }
    std::string TabText(int index) {
        char text[80] = {};
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(tab_, TCM_GETITEMA, index, LPARAM(&item));
        return text;
    }

    HWND host_ = nullptr;
    HWND tab_ = nullptr;
    HWND pages_[3] = {};
    TabControlStruct* tabs_ = nullptr;
};

TEST_F(TabTest, PagesShowAndHideByTheOwnersMessages) {
    ScopedLog log("gui-tabs.log", LOG_FILE);
    EXPECT_FALSE(TabControl_Attach(tabs_, GetModuleHandleA(nullptr), host_, 1001));
    ASSERT_TRUE(TabControl_Attach(tabs_, GetModuleHandleA(nullptr), host_, 1000));
    TabControl_SetMessages(tabs_, kShow, kHide);
    const char* titles[] = {"Profile", "Settings", "About"};
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(TabControl_AddPage(tabs_, pages_[i], i, titles[i], 100 + i));
    EXPECT_EQ(SendMessageA(tab_, TCM_GETITEMCOUNT, 0, 0), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(TabText(i), titles[i]);
    ASSERT_TRUE(TabControl_FitPages(tabs_));

    RECT area;
    GetClientRect(tab_, &area);
    SendMessageA(tab_, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
    RECT page;
    GetWindowRect(pages_[1], &page);
    MapWindowPoints(nullptr, tab_, reinterpret_cast<POINT*>(&page), 2);
    EXPECT_EQ(page.left, area.left);
    EXPECT_EQ(page.top, area.top);
    EXPECT_EQ(page.right, area.right);
    EXPECT_EQ(page.bottom, area.bottom);

    // The first selection: no page to hide.
    ASSERT_TRUE(TabControl_Select(tabs_, 0, 1));
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].page, pages_[0]);
    EXPECT_EQ(g_seen[0].message, UINT(kShow));
    EXPECT_EQ(g_seen[0].index, 0u);
    EXPECT_EQ(g_seen[0].value, 100);

    // Selecting the active tab again does nothing.
    TabControl_Select(tabs_, 0, 1);
    EXPECT_EQ(g_seen.size(), 1u);

    TabControl_Select(tabs_, 2, 1);
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[1].page, pages_[0]);
    EXPECT_EQ(g_seen[1].message, UINT(kHide));
    EXPECT_EQ(g_seen[2].page, pages_[2]);
    EXPECT_EQ(g_seen[2].message, UINT(kShow));
    EXPECT_EQ(g_seen[2].value, 102);
    EXPECT_EQ(SendMessageA(tab_, TCM_GETCURFOCUS, 0, 0), 2);

    // The user picks the middle tab.
    SendMessageA(tab_, TCM_SETCURFOCUS, 1, 0);
    NMHDR header = {tab_, 1000, UINT(TCN_SELCHANGE)};
    EXPECT_TRUE(TabControl_Notify(tabs_, host_, 0, &header));
    ASSERT_EQ(g_seen.size(), 5u);
    EXPECT_EQ(g_seen[3].page, pages_[2]);
    EXPECT_EQ(g_seen[4].page, pages_[1]);
    EXPECT_EQ(g_seen[4].message, UINT(kShow));

    // Notifications of other controls are ignored.
    NMHDR other = {tab_, 999, UINT(TCN_SELCHANGE)};
    TabControl_Notify(tabs_, host_, 0, &other);
    EXPECT_EQ(g_seen.size(), 5u);

    std::string text = log.Contents();
    EXPECT_EQ(CountOf(text, "Active = ("), 3);
    EXPECT_NE(text.find("Active = (-1 -> 0)"), std::string::npos);
    EXPECT_NE(text.find("Active = (0 -> 2)"), std::string::npos);
    EXPECT_NE(text.find("Active = (2 -> 1)"), std::string::npos);

    ASSERT_TRUE(TabControl_Clear(tabs_));
    EXPECT_EQ(SendMessageA(tab_, TCM_GETITEMCOUNT, 0, 0), 0);
    EXPECT_EQ(tabs_->active, -1);
    EXPECT_EQ(tabs_->count, 0);
}

TEST_F(TabTest, APageOfAnotherParentIsAddedAfterAWarning) {
    ScopedLog log("gui-tabs-parent.log", LOG_FILE);
    TabControl_Attach(tabs_, GetModuleHandleA(nullptr), host_, 1000);
    HWND stray = CreateWindowExA(0, "BrimlowTestPage", "", WS_CHILD, 0, 0, 10, 10, host_, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(TabControl_AddPage(tabs_, stray, 0, "Stray", 0));
    EXPECT_EQ(SendMessageA(tab_, TCM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(tabs_->count, 1);
    EXPECT_NE(log.Contents().find("Tab [Stray] does not have the same parent as the control ["), std::string::npos);
    TabControl_Destroy(&tabs_);
    EXPECT_EQ(tabs_, nullptr);
}

}  // namespace
