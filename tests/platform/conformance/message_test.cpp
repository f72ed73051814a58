// Message queues: retrieval order, filters, WM_QUIT, posting from other
// threads and messages sent across threads.
#include "conformance.h"
#include "support/msgseq_gtest.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(Messages, PostedMessagesComeInOrderAndQuitComesAfterThem)
{
    SEQ_RegisterClass("Order");
    HWND w = SEQ_CreateWindow("Order");
    PostMessageA(w, WM_USER + 1, 1, 10);
    PostQuitMessage(3);
    PostMessageA(w, WM_USER + 2, 2, 20);

    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ((UINT)WM_USER + 1, m.message) << "PM_NOREMOVE leaves the message first";
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER + 2, WM_USER + 3, PM_REMOVE));
    EXPECT_EQ((UINT)WM_USER + 2, m.message) << "a range filter skips earlier messages";
    ASSERT_TRUE(GetMessageA(&m, nullptr, 0, 0));
    EXPECT_EQ(10, m.lParam);
    EXPECT_FALSE(GetMessageA(&m, nullptr, 0, 0)) << "WM_QUIT once nothing else is posted";
    EXPECT_EQ(3u, m.wParam);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    DestroyWindow(w);
    SEQ_Flush();
}

TEST(Messages, DispatchedPostsAndSendsArriveInTheirOrder)
{
    SEQ_RegisterClass("Kinds");
    HWND w = SEQ_CreateWindow("Kinds");
    SEQ_Only({WM_USER + 1, WM_USER + 2, WM_USER + 3});
    SEQ_Flush();
    PostMessageA(w, WM_USER + 1, 1, 0);
    SendMessageA(w, WM_USER + 2, 2, 0);
    PostMessageA(w, WM_USER + 3, 3, 0);
    EXPECT_EQ(2, SEQ_Pump());
    static const SEQ_MSG expected[] = {{WM_USER + 2, SEQ_SENT | SEQ_WPARAM, 2},
                                       {WM_USER + 1, SEQ_POSTED | SEQ_WPARAM, 1},
                                       {WM_USER + 3, SEQ_POSTED | SEQ_WPARAM, 3},
                                       {0, 0}};
    EXPECT_TRUE(SEQ_Ok(expected, "a send goes past the queue"));
    SEQ_Only({});
    DestroyWindow(w);
    SEQ_Flush();
}

LRESULT CALLBACK answer_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_USER)
        return (LRESULT)wparam * 2;
    if (msg == WM_USER + 1)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

/* The waiting thread wakes both for the sent message and for the post. */
TEST(Messages, AMessageSentFromAnotherThreadRunsOnTheWindowsThread)
{
    conf::register_class("Answer", answer_proc);
    HWND w = SEQ_CreateWindow("Answer");
    ASSERT_NE(nullptr, w);
    LRESULT answer = 0;
    std::thread sender([&] {
        answer = SendMessageA(w, WM_USER, 50, 0);
        PostMessageA(w, WM_USER + 1, 0, 0);
    });
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0))
        DispatchMessageA(&m);
    sender.join();
    EXPECT_EQ(100, answer);
    DestroyWindow(w);
}

TEST(Messages, DispatchRefusesAnotherThreadsWindow)
{
    SEQ_RegisterClass("Foreign");
    HWND foreign = nullptr;
    std::thread maker([&] { foreign = SEQ_CreateWindow("Foreign"); });
    maker.join();
    MSG m{foreign, WM_USER, 0, 0, 0, {0, 0}};
    SEQ_Flush();
    EXPECT_EQ(0, DispatchMessageA(&m));
    EXPECT_EQ(0u, SEQ_Count());
    EXPECT_FALSE(DestroyWindow(foreign)) << "only the owning thread destroys a window";
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(PostMessageA(foreign, WM_USER, 0, 0)) << "its thread and queue are gone";
}

} // namespace
