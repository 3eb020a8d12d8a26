// The message and progress box: kinds, sizes, countdown, Cancel, the owner
// disabled while it shows, and texts shown from a worker thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "gui_support.h"
#include "message.h"
#include "orv-core.h"

namespace {

const int kText = 2000;
const int kButton = 2001;

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        owner_ = CreateHost("Owner");
        Message_SetOwner(owner_);
        Message_SetTitle("Brimlow");
        Message_SetTopmost(0);
        box_ = Message_GetWindow();
        ASSERT_NE(box_, nullptr);
    }
    void TearDown() override {
        Message_SetVisible(0);
        Message_SetOwner(nullptr);
        DestroyWindow(owner_);
    }

    int Height() {
        RECT r;
        GetWindowRect(box_, &r);
        return r.bottom - r.top;
    }
    int Width() {
        RECT r;
        GetWindowRect(box_, &r);
        return r.right - r.left;
    }
    std::string Text(int id) {
        char text[600];
        GetDlgItemTextA(box_, id, text, sizeof(text));
        return text;
    }
    std::string Caption() {
        char text[600];
        GetWindowTextA(box_, text, sizeof(text));
        return text;
    }
    bool ButtonVisible() { return IsWindowVisible(GetDlgItem(box_, kButton)) != FALSE; }
    void Press() { SendMessageA(box_, WM_COMMAND, MAKEWPARAM(kButton, BN_CLICKED), LPARAM(GetDlgItem(box_, kButton))); }

    HWND owner_ = nullptr;
    HWND box_ = nullptr;
};

TEST_F(MessageTest, KindsSizesAndOwner) {
    ASSERT_TRUE(Message_Show(0, MESSAGE_NONE, nullptr, "Plain %d", 1));
    PumpFor(20);
    EXPECT_TRUE(IsWindowVisible(box_));
    EXPECT_FALSE(IsWindowEnabled(owner_));
    EXPECT_EQ(GetWindow(box_, GW_OWNER), owner_);
    EXPECT_EQ(Width(), 412);
    EXPECT_EQ(Height(), 77);
    EXPECT_FALSE(ButtonVisible());
    EXPECT_EQ(Text(kText), "Plain 1");
    EXPECT_EQ(Caption(), "Brimlow");

    Message_Show(0, MESSAGE_OK, "Done", "Finished resizing %d images, %'I64d Kb saved.", 3, int64_t(1234567));
    PumpFor(20);
    EXPECT_EQ(Height(), 100);
    EXPECT_TRUE(ButtonVisible());
    EXPECT_EQ(Text(kButton), "Ok");
    EXPECT_EQ(Text(kText), "Finished resizing 3 images, 1,234,567 Kb saved.");
    EXPECT_EQ(Caption(), "Done");
    RECT client, button;
    GetClientRect(box_, &client);
    GetWindowRect(GetDlgItem(box_, kButton), &button);
    EXPECT_EQ(button.right - button.left, client.right - 308);

    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing images...");
    PumpFor(20);
    EXPECT_EQ(Height(), 100);
    EXPECT_EQ(Text(kButton), "Cancel");
    EXPECT_EQ(Caption(), "Brimlow");

    // Ok hides the box and gives the owner back.
    Message_Show(0, MESSAGE_OK, nullptr, "Ok?");
    Press();
    PumpFor(20);
    EXPECT_FALSE(IsWindowVisible(box_));
    EXPECT_TRUE(IsWindowEnabled(owner_));
    EXPECT_EQ(GetWindow(box_, GW_OWNER), nullptr);
}

TEST_F(MessageTest, CancelCountsUntilTheRunEnds) {
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing 1 of 3, cat...");
    EXPECT_FALSE(Message_IsCancelled());
    Press();
    EXPECT_TRUE(Message_IsCancelled());
    EXPECT_TRUE(IsWindowVisible(box_));
    EXPECT_TRUE(Message_IsCancelled());
    // A press that lands while the next file's text is being shown is not
    // lost: the run's next progress text keeps it.
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing 2 of 3, dog...");
    EXPECT_TRUE(Message_IsCancelled());
    // The closing message ends the run and clears it, and so does a new
    // run after the box was hidden.
    Message_Show(0, MESSAGE_OK, nullptr, "Resizing cancelled after %d image%s.", 1, "");
    EXPECT_FALSE(Message_IsCancelled());
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing images...");
    Press();
    Message_SetVisible(0);
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing images...");
    EXPECT_FALSE(Message_IsCancelled());

    // Closing a progress box from the system menu cancels the work and
    // keeps the owner disabled.
    SendMessageA(box_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Message_IsCancelled());
    EXPECT_TRUE(IsWindowVisible(box_));
    EXPECT_FALSE(IsWindowEnabled(owner_));

    // Any other box just hides.
    Message_Show(0, MESSAGE_OK, nullptr, "Resizing cancelled after %d image%s.", 1, "");
    EXPECT_EQ(Text(kText), "Resizing cancelled after 1 image.");
    SendMessageA(box_, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_FALSE(IsWindowVisible(box_));
    EXPECT_TRUE(IsWindowEnabled(owner_));
    EXPECT_TRUE(IsWindow(box_));
}

TEST_F(MessageTest, CountdownHidesAfterItsTicks) {
    for (int seconds : {0, 1}) {
        Message_Show(seconds, MESSAGE_OK, nullptr, "Stays");
        for (int tick = 0; tick < 4; ++tick) SendMessageA(box_, WM_TIMER, 1, 0);
        EXPECT_TRUE(IsWindowVisible(box_)) << seconds;
    }
    Message_Show(3, MESSAGE_OK, nullptr, "Goes");
    SendMessageA(box_, WM_TIMER, 1, 0);
    EXPECT_TRUE(IsWindowVisible(box_));
    SendMessageA(box_, WM_TIMER, 1, 0);
    EXPECT_FALSE(IsWindowVisible(box_));
    EXPECT_TRUE(IsWindowEnabled(owner_));
}

TEST_F(MessageTest, LongTextsAreCut) {
    std::string longText(600, 'a');
    Message_Show(0, MESSAGE_NONE, nullptr, "%s", longText.c_str());
    EXPECT_EQ(Text(kText), std::string(510, 'a'));
}

// Answers the question box (the progress box carries the same caption).
void Answer(void* data) {
    HWND question = WaitForDialog("Question", nullptr, Message_GetWindow(), 5000);
    if (question) PostMessageA(question, WM_COMMAND, WPARAM(INT_PTR(data)), 0);
}

TEST_F(MessageTest, YesNoQuestionLeavesTheBoxAlone) {
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Progress stays");
    TestThread answer;
    TestThread_Start(&answer, Answer, reinterpret_cast<void*>(INT_PTR(IDYES)));
    EXPECT_EQ(Message_Show(0, MESSAGE_YESNO, "Question", "Replace %s?", "cat.jpg"), 1);
    TestThread_Join(&answer);
    TestThread_Start(&answer, Answer, reinterpret_cast<void*>(INT_PTR(IDNO)));
    EXPECT_EQ(Message_Show(0, MESSAGE_YESNO, "Question", "Replace %s?", "cat.jpg"), 0);
    TestThread_Join(&answer);
    EXPECT_EQ(Text(kText), "Progress stays");
    EXPECT_EQ(Text(kButton), "Cancel");
    EXPECT_TRUE(IsWindowVisible(box_));
}

struct WorkerRun {
    int cancelledSeen = 0;
    int files = 0;
};

// A job's loop as the batch job runs it: poll Cancel, then show the file.
void Worker(void* data) {
    WorkerRun* run = static_cast<WorkerRun*>(data);
    Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing images...");
    for (int i = 0; i < 50; ++i) {
        if (Message_IsCancelled()) {
            run->cancelledSeen = 1;
            Message_Show(0, MESSAGE_OK, nullptr, "Resizing cancelled after %d image%s.", i, i == 1 ? "" : "s");
            return;
        }
        Message_Show(0, MESSAGE_CANCEL, nullptr, "Resizing %d of %d, %s...", i + 1, 50, "cat");
        run->files = i + 1;
        if (i == 2) PostMessageA(Message_GetWindow(), WM_COMMAND, MAKEWPARAM(2001, BN_CLICKED), 0);
        Sleep(20);
    }
}

TEST_F(MessageTest, DrivenFromAWorkerThread) {
    WorkerRun run;
    RunWhilePumping(Worker, &run);
    EXPECT_EQ(run.cancelledSeen, 1);
    EXPECT_GE(run.files, 3);
    EXPECT_LT(run.files, 50);
    EXPECT_EQ(Text(kText).rfind("Resizing cancelled after ", 0), 0u);
    EXPECT_EQ(Text(kButton), "Ok");
    EXPECT_TRUE(IsWindowVisible(box_));
    EXPECT_FALSE(IsWindowEnabled(owner_));
}

}  // namespace
