// BlitBox: drawing with alpha, clipping at the edges, the lock protocol,
// a 0 x 0 control and the scroll hook.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "bitmap.h"
#include "blitbox.h"
#include "gui_support.h"

namespace {

class BlitBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        host_ = CreateHost("BlitBox");
        box_ = CreateWindowExA(0, "BlitBox", "", WS_CHILD | WS_VISIBLE | WS_HSCROLL | WS_VSCROLL, 0, 0, 100, 80,
                               host_, HMENU(INT_PTR(1037)), GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(box_, nullptr);
        Bitmap_Create(&bitmap_);
    }
    void TearDown() override {
        Bitmap_Destroy(&bitmap_);
        DestroyWindow(host_);
    }
    // The back buffer pixel (x, y) as 0xRRGGBB.
    unsigned Pixel(int x, int y) {
        unsigned char* bits = nullptr;
        int w = 0, h = 0, scanline = 0;
        if (!BlitBox_GetBuffer(box_, &bits, &w, &h, &scanline)) return 0xFFFFFFFF;
        const unsigned char* p = bits + y * scanline + x * 3;
        return unsigned(p[2]) << 16 | unsigned(p[1]) << 8 | p[0];
    }
    void SetPixel(int x, int y, int r, int g, int b, int a) {
        unsigned char* p = nullptr;
        Bitmap_PixelAddress(bitmap_, x, y, &p);
        p[0] = (unsigned char)b;
        p[1] = (unsigned char)g;
        p[2] = (unsigned char)r;
        p[3] = (unsigned char)a;
    }

    HWND host_ = nullptr;
    HWND box_ = nullptr;
    BitmapStruct* bitmap_ = nullptr;
};

TEST_F(BlitBoxTest, BlendsWithAlphaAndClipsAtTheEdges) {
    RECT client;
    GetClientRect(box_, &client);
    int width = client.right, height = client.bottom;
    ASSERT_GT(width, 20);
    ASSERT_GT(height, 20);

    ASSERT_TRUE(Bitmap_SetSize(bitmap_, width + 30, height + 30));
    Bitmap_Fill(bitmap_, 255, 255, 255, 255);
    SetPixel(1, 0, 200, 100, 50, 0);
    SetPixel(2, 0, 200, 100, 0, 128);
    SetPixel(width - 1, height - 1, 10, 20, 30, 255);

    ASSERT_TRUE(BlitBox_Lock(box_, 1000));
    ASSERT_TRUE(BlitBox_Clear(box_));
    EXPECT_EQ(Pixel(5, 5), 0x000000u);
    ASSERT_TRUE(BlitBox_FillColour(box_, 0, 0, 0));
    // Larger than the control: only the part that fits is drawn.
    ASSERT_TRUE(BlitBox_DrawBitmap(box_, 0.0, 0.0, bitmap_));
    EXPECT_EQ(Pixel(0, 0), 0xFEFEFEu);  // opaque white over black: 254
    EXPECT_EQ(Pixel(1, 0), 0x000000u);  // alpha 0 keeps the buffer
    EXPECT_EQ(Pixel(2, 0), 0x643200u);  // half of 200, 100, 0 over black
    EXPECT_EQ(Pixel(width - 1, height - 1), 0x0A141Eu - 0x010101u);

    // Negative and fractional positions are floored and clipped: bitmap
    // pixel (j, i) lands on (j - 3, i - 1).
    SetPixel(4, 1, 0, 255, 0, 255);
    BlitBox_FillColour(box_, 0, 0, 255);
    ASSERT_TRUE(BlitBox_DrawBitmap(box_, -2.5, -0.5, bitmap_));
    EXPECT_EQ(Pixel(0, 0), 0xFEFEFEu);
    EXPECT_EQ(Pixel(1, 0), 0x00FE00u);
    EXPECT_EQ(Pixel(width - 1, height - 1), 0xFEFEFEu);

    // A bitmap placed beyond the right edge draws nothing.
    BlitBox_FillColour(box_, 1, 2, 3);
    ASSERT_TRUE(BlitBox_DrawBitmap(box_, width, 0.0, bitmap_));
    EXPECT_EQ(Pixel(width - 1, 0), 0x010203u);

    EXPECT_FALSE(BlitBox_Update(box_));
    ASSERT_TRUE(BlitBox_Unlock(box_));
    EXPECT_TRUE(BlitBox_Update(box_));
}

TEST_F(BlitBoxTest, LockProtocol) {
    ScopedLog log("gui-blitbox.log", LOG_FILE);
    Bitmap_SetSize(bitmap_, 2, 2);
    EXPECT_FALSE(BlitBox_Clear(box_));
    EXPECT_FALSE(BlitBox_FillColour(box_, 1, 2, 3));
    EXPECT_FALSE(BlitBox_DrawBitmap(box_, 0, 0, bitmap_));
    EXPECT_FALSE(BlitBox_Unlock(box_));
    ASSERT_TRUE(BlitBox_Lock(box_, -1));
    EXPECT_TRUE(BlitBox_Unlock(box_));
    EXPECT_FALSE(BlitBox_Unlock(box_));
    std::string text = log.Contents();
    EXPECT_EQ(CountOf(text, "Blitbox cannot draw rect on unlocked object [Unknown 0x"), 2);
    EXPECT_EQ(CountOf(text, "Blitbox cannot draw bitmap on unlocked object"), 1);
    EXPECT_EQ(CountOf(text, "Blitbox cannot unlock an unlocked object"), 2);

    // Not a BlitBox: every operation answers 0.
    EXPECT_FALSE(BlitBox_Lock(host_, 10));
    EXPECT_FALSE(BlitBox_Update(host_));
}

TEST_F(BlitBoxTest, ZeroSizeHasNoBuffer) {
    SetWindowPos(box_, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOMOVE);
    ASSERT_TRUE(BlitBox_Lock(box_, 100));
    unsigned char* bits = reinterpret_cast<unsigned char*>(1);
    int w = -1, h = -1, scanline = -1;
    ASSERT_TRUE(BlitBox_GetBuffer(box_, &bits, &w, &h, &scanline));
    EXPECT_EQ(bits, nullptr);
    Bitmap_SetSize(bitmap_, 4, 4);
    EXPECT_TRUE(BlitBox_Clear(box_));
    EXPECT_TRUE(BlitBox_DrawBitmap(box_, 0, 0, bitmap_));
    BlitBox_Unlock(box_);
    InvalidateRect(box_, nullptr, FALSE);
    UpdateWindow(box_);

    SetWindowPos(box_, nullptr, 0, 0, 33, 7, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(box_, &client);
    ASSERT_TRUE(BlitBox_Lock(box_, 100));
    BlitBox_GetBuffer(box_, &bits, &w, &h, &scanline);
    EXPECT_NE(bits, nullptr);
    EXPECT_EQ(w, client.right);
    EXPECT_EQ(h, client.bottom);
    EXPECT_EQ(scanline, ((w * 24 + 31) >> 3) & ~3);
    BlitBox_Unlock(box_);
}

struct ScrollSeen {
    int calls = 0;
    int bar = 0;
    int code = 0;
    int position = 0;
    HWND window = nullptr;
};

void RecordScroll(void* data, HWND window, int bar, int code, int position) {
    ScrollSeen* seen = static_cast<ScrollSeen*>(data);
    seen->calls += 1;
    seen->bar = bar;
    seen->code = code;
    seen->position = position;
    seen->window = window;
}

std::vector<UINT> g_parentSaw;

LRESULT CALLBACK RecordingParent(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_MOUSEMOVE ||
        message == WM_MOUSELEAVE)
        g_parentSaw.push_back(message);
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(BlitBox, KeysAndMouseGoToTheParent) {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = RecordingParent;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "BrimlowRecordingParent";
    RegisterClassA(&wc);
    HWND parent = CreateWindowExA(0, "BrimlowRecordingParent", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 200,
                                  nullptr, nullptr, wc.hInstance, nullptr);
    HWND box = CreateWindowExA(0, "BlitBox", "", WS_CHILD | WS_VISIBLE, 0, 0, 50, 50, parent, nullptr, wc.hInstance,
                               nullptr);
    g_parentSaw.clear();
    EXPECT_EQ(SendMessageA(box, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS | DLGC_WANTALLKEYS);
    EXPECT_EQ(SendMessageA(box, WM_ERASEBKGND, 0, 0), 1);
    SendMessageA(box, WM_KEYDOWN, VK_DOWN, 0);
    ASSERT_EQ(g_parentSaw.size(), 1u);
    EXPECT_EQ(g_parentSaw[0], UINT(WM_KEYDOWN));
    SendMessageA(box, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 4));
    EXPECT_EQ(GetFocus(), box);
    SendMessageA(box, WM_LBUTTONUP, 0, MAKELPARAM(3, 4));
    SendMessageA(box, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageA(box, WM_MOUSELEAVE, 0, 0);
    PumpFor(30);
    ASSERT_GE(g_parentSaw.size(), 5u);
    EXPECT_EQ(g_parentSaw[1], UINT(WM_LBUTTONDOWN));
    EXPECT_EQ(g_parentSaw[2], UINT(WM_LBUTTONUP));
    EXPECT_EQ(g_parentSaw[3], UINT(WM_MOUSEMOVE));
    EXPECT_EQ(g_parentSaw[4], UINT(WM_MOUSELEAVE));
    DestroyWindow(parent);
    UnregisterClassA("BrimlowRecordingParent", wc.hInstance);
}

TEST_F(BlitBoxTest, ScrollHookGetsTheBar) {
    ScrollSeen seen;
    SendMessageA(box_, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    EXPECT_EQ(seen.calls, 0);
    ASSERT_TRUE(BlitBox_SetScrollHook(box_, &seen, RecordScroll));
    SendMessageA(box_, WM_VSCROLL, MAKEWPARAM(SB_LINEDOWN, 0), 0);
    EXPECT_EQ(seen.bar, 1);
    EXPECT_EQ(seen.code, SB_LINEDOWN);
    EXPECT_EQ(seen.window, box_);
    SendMessageA(box_, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 321), 0);
    EXPECT_EQ(seen.calls, 2);
    EXPECT_EQ(seen.bar, 2);
    EXPECT_EQ(seen.code, SB_THUMBPOSITION);
    EXPECT_EQ(seen.position, 321);
}

}  // namespace
