// Layout resizer: anchor factors on a parent that grows, nested children,
// tracking sizes, registration errors and the group-box rule.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "gui_support.h"
#include "rectangle.h"
#include "resize.h"

namespace {

class ResizeTest : public ::testing::Test {
protected:
    void SetUp() override {
        Resize_Shutdown();
        Resize_Init();
        host_ = CreateHost("Resize");
    }
    void TearDown() override { DestroyWindow(host_); }

    HWND Child(HWND parent, const char* cls, DWORD style, int x, int y, int w, int h) {
        return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    }
    // A child's rectangle in its parent's client coordinates.
    RECT Place(HWND window) {
        RECT r;
        GetWindowRect(window, &r);
        MapWindowPoints(nullptr, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    void Grow(int dx, int dy) {
        RECT r;
        GetWindowRect(host_, &r);
        SetWindowPos(host_, nullptr, 0, 0, r.right - r.left + dx, r.bottom - r.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        Resize_OnSize(host_);
    }

    HWND host_ = nullptr;
};

TEST_F(ResizeTest, ChildrenFollowTheirFactors) {
    HWND half = Child(host_, "STATIC", 0, 10, 10, 100, 50);
    HWND panel = Child(host_, "STATIC", 0, 10, 70, 200, 60);
    HWND inner = Child(panel, "STATIC", 0, 5, 5, 50, 20);
    ASSERT_TRUE(Resize_Add(nullptr, host_, 0, 1, 0, 1, "Main"));
    ASSERT_TRUE(Resize_Add(host_, half, 0, 0.5, 0, 0, "Half"));
    ASSERT_TRUE(Resize_Add(host_, panel, 0, 1, 1, 1, "Panel"));
    ASSERT_TRUE(Resize_Add(panel, inner, 0, 1, 0, 1, "Inner"));
    EXPECT_TRUE(GetWindowLongPtrA(host_, GWL_STYLE) & WS_CLIPCHILDREN);

    Grow(101, 40);
    RECT r = Place(half);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 10);
    EXPECT_EQ(r.right - r.left, 150);  // 100 + trunc(101 * 0.5)
    EXPECT_EQ(r.bottom - r.top, 50);

    r = Place(panel);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 110);
    EXPECT_EQ(r.right - r.left, 301);
    EXPECT_EQ(r.bottom - r.top, 60);

    // The panel's own change is (101, 0): its child widens only.
    r = Place(inner);
    EXPECT_EQ(r.left, 5);
    EXPECT_EQ(r.top, 5);
    EXPECT_EQ(r.right - r.left, 151);
    EXPECT_EQ(r.bottom - r.top, 20);

    // Back to the registered size: everything returns to where it was.
    Grow(-101, -40);
    r = Place(half);
    EXPECT_EQ(r.right - r.left, 100);
    r = Place(panel);
    EXPECT_EQ(r.top, 70);
}

TEST_F(ResizeTest, TrackingSizes) {
    RECT r;
    GetWindowRect(host_, &r);
    ASSERT_TRUE(Resize_Add(nullptr, host_, 0, 0, 0, 1, "Main"));
    MINMAXINFO info = {};
    info.ptMaxTrackSize.x = 5000;
    info.ptMaxTrackSize.y = 4000;
    Resize_OnGetMinMaxInfo(host_, &info);
    EXPECT_EQ(info.ptMinTrackSize.x, r.right - r.left);
    EXPECT_EQ(info.ptMaxTrackSize.x, r.right - r.left);
    EXPECT_EQ(info.ptMinTrackSize.y, r.bottom - r.top);
    EXPECT_EQ(info.ptMaxTrackSize.y, 4000);
    EXPECT_TRUE(Resize_OnGetMinMaxInfo(host_, nullptr));

    HWND other = CreateHost("Other");
    MINMAXINFO untouched = {};
    untouched.ptMinTrackSize.x = 3;
    Resize_OnGetMinMaxInfo(other, &untouched);
    EXPECT_EQ(untouched.ptMinTrackSize.x, 3);
    DestroyWindow(other);
}

TEST_F(ResizeTest, RegistrationErrorsAndGroupBoxes) {
    ScopedLog log("gui-resize.log", LOG_FILE);
    HWND child = Child(host_, "STATIC", 0, 0, 0, 10, 10);
    EXPECT_FALSE(Resize_Add(host_, child, 0, 1, 0, 0, "Orphan"));
    ASSERT_TRUE(Resize_Add(nullptr, host_, 0, 1, 0, 1, "Main"));
    EXPECT_FALSE(Resize_Add(nullptr, host_, 0, 1, 0, 1, "Again"));
    HWND group = Child(host_, "Button", BS_GROUPBOX, 0, 20, 100, 50);
    HWND stop = Child(host_, "BUTTON", BS_GROUPBOX | WS_TABSTOP, 0, 80, 100, 50);
    ASSERT_TRUE(Resize_Add(host_, group, 0, 1, 0, 0, "Group"));
    ASSERT_TRUE(Resize_Add(host_, stop, 0, 1, 0, 0, "Stop"));
    EXPECT_TRUE(GetWindowLongPtrA(group, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    EXPECT_FALSE(GetWindowLongPtrA(stop, GWL_EXSTYLE) & WS_EX_TRANSPARENT);
    std::string text = log.Contents();
    EXPECT_NE(text.find("Resize parent doesn't exist (0x"), std::string::npos);
    EXPECT_NE(text.find(") [Main]"), std::string::npos);
    EXPECT_EQ(CountOf(text, "Resize already exist"), 1);
}

TEST_F(ResizeTest, PaintsTheGripOnlyWhenAsked) {
    ASSERT_TRUE(Resize_Add(nullptr, host_, 0, 1, 0, 1, "Main"));
    UpdateWindow(host_);
    InvalidateRect(host_, nullptr, FALSE);
    Resize_OnPaint(host_, 0);
    EXPECT_TRUE(GetUpdateRect(host_, nullptr, FALSE));
    Resize_OnPaint(host_, 1);
    EXPECT_FALSE(GetUpdateRect(host_, nullptr, FALSE));
}

TEST(RichEdit, LoadsAndUnloads) {
    EXPECT_TRUE(RichEdit_Load());
    EXPECT_TRUE(RichEdit_Unload());
}

TEST(Rectangles, TouchingRectanglesDoNotIntersect) {
    Rect a, b, out;
    Rect_Set(&a, 10, 10, 0, 0);
    EXPECT_EQ(a.left, 0);
    EXPECT_EQ(a.bottom, 10);
    Rect_Set(&b, 10, 0, 20, 10);
    EXPECT_FALSE(Rect_Intersect(&out, &a, &b));
    Rect_Set(&b, 5, 5, 20, 20);
    EXPECT_TRUE(Rect_Intersect(&out, &a, &b));
    EXPECT_EQ(out.left, 5);
    EXPECT_EQ(out.right, 10);
}

}  // namespace
