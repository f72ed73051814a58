// Windows and classes: creation and destruction messages, owners, children,
// class lookup and window data.
#include "support/recorder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

std::vector<std::pair<HWND, UINT>> destroy_messages()
{
    std::vector<std::pair<HWND, UINT>> out;
    for (const Received &r : received())
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY)
            out.emplace_back(r.hwnd, r.msg);
    return out;
}

/* The creation record lives only while WM_CREATE is handled. */
void *created_with = nullptr;
LRESULT CALLBACK create_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_CREATE)
        created_with = ((const CREATESTRUCTA *)lparam)->lpCreateParams;
    return recording_proc(hwnd, msg, wparam, lparam);
}

TEST(Window, CreationSendsNcCreateThenCreateWithTheCallersValues)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = create_proc;
    wc.lpszClassName = "RecCreate";
    RegisterClassA(&wc);
    created_with = nullptr;
    received().clear();
    int marker = 0;
    HINSTANCE inst = (HINSTANCE)(UINT_PTR)0x4000;
    HWND w = CreateWindowExA(0, "reccreate", "Title", 0, 1, 2, 3, 4, nullptr, nullptr, inst,
                             &marker);
    ASSERT_EQ(nullptr, w) << "a class is found together with the instance that registered it";
    EXPECT_EQ((DWORD)ERROR_CANNOT_FIND_WND_CLASS, GetLastError());

    w = CreateWindowExA(0, "RECCREATE", "Title", 0, 1, 2, 3, 4, nullptr, nullptr, nullptr, &marker);
    ASSERT_NE(nullptr, w);
    ASSERT_EQ(2u, received().size());
    EXPECT_EQ((UINT)WM_NCCREATE, received()[0].msg);
    EXPECT_EQ((UINT)WM_CREATE, received()[1].msg);
    EXPECT_EQ(&marker, created_with);
    EXPECT_EQ(5, GetWindowTextLengthA(w));
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(DestroyWindow(w));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
}

TEST(Window, OwnedWindowsGoFirstThenTheWindowThenItsChildren)
{
    register_recording_class("RecTree");
    HWND owner = make_window("RecTree");
    HWND owned1 = make_window("RecTree", owner);
    HWND owned2 = make_window("RecTree", owner);
    HWND child = make_window("RecTree", owner, WS_CHILD);
    HWND grand = make_window("RecTree", child, WS_CHILD);
    HWND popup = make_window("RecTree", child);
    EXPECT_EQ(owner, GetWindow(owned2, GW_OWNER));
    EXPECT_EQ(owner, GetParent(child));
    EXPECT_EQ(owner, GetWindow(popup, GW_OWNER)) << "the top-level ancestor owns a popup";
    DestroyWindow(popup);
    received().clear();

    ASSERT_TRUE(DestroyWindow(owner));
    std::vector<std::pair<HWND, UINT>> expected = {
        {owned2, WM_DESTROY}, {owned2, WM_NCDESTROY}, {owned1, WM_DESTROY},
        {owned1, WM_NCDESTROY}, {owner, WM_DESTROY},  {child, WM_DESTROY},
        {grand, WM_DESTROY},   {grand, WM_NCDESTROY}, {child, WM_NCDESTROY},
        {owner, WM_NCDESTROY}};
    EXPECT_EQ(expected, destroy_messages());
    for (HWND h : {owner, owned1, owned2, child, grand})
        EXPECT_FALSE(IsWindow(h));
}

LRESULT CALLBACK self_destroying_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_USER) {
        DestroyWindow(hwnd);
        /* The window is gone, but this call may still look at it. */
        return IsWindow(hwnd) ? 1 : 2;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

TEST(Window, AProcedureMayDestroyItsOwnWindow)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = self_destroying_proc;
    wc.lpszClassName = "SelfDestroy";
    RegisterClassA(&wc); /* fails harmlessly when the test runs again */
    HWND w = make_window("SelfDestroy");
    PostMessageA(w, WM_USER, 0, 0);
    PostMessageA(w, WM_USER, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(2, DispatchMessageA(&m));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        << "messages posted to a destroyed window are dropped";
}

TEST(Window, ClassesAreRegisteredOncePerInstanceAndFoundWithoutRegardToCase)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TwiceClass";
    EXPECT_NE(0, RegisterClassA(&wc));
    EXPECT_EQ(0, RegisterClassA(&wc));
    EXPECT_EQ((DWORD)ERROR_CLASS_ALREADY_EXISTS, GetLastError());
    wc.hInstance = (HINSTANCE)(UINT_PTR)0x5000;
    EXPECT_NE(0, RegisterClassA(&wc)) << "another instance may register the same name";

    HWND w = make_window("twiceCLASS");
    EXPECT_FALSE(UnregisterClassA("TwiceClass", nullptr)) << "a class in use stays";
    DestroyWindow(w);
    EXPECT_TRUE(UnregisterClassA("TwiceClass", nullptr));
    EXPECT_FALSE(UnregisterClassA("TwiceClass", nullptr));
    EXPECT_EQ((DWORD)ERROR_CLASS_DOES_NOT_EXIST, GetLastError());
    EXPECT_TRUE(UnregisterClassA("TwiceClass", wc.hInstance));
}

TEST(Window, FindWindowFindsTheNewestTopLevelWindowOfTheClass)
{
    register_recording_class("FindMe");
    EXPECT_EQ(nullptr, FindWindowA("FindMe", nullptr));
    HWND first = make_window("FindMe");
    HWND second = make_window("FindMe");
    make_window("FindMe", second, WS_CHILD);
    SetWindowTextA(first, "named");
    EXPECT_EQ(second, FindWindowA("findme", nullptr));
    EXPECT_EQ(first, FindWindowA(nullptr, "named"));
    DestroyWindow(second);
    EXPECT_EQ(first, FindWindowA("FindMe", nullptr));
    DestroyWindow(first);
    EXPECT_EQ(nullptr, FindWindowA("FindMe", nullptr));
}

TEST(Window, TextAndWindowDataKeepToTheirBounds)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.cbWndExtra = 12;
    wc.lpszClassName = "ExtraBytes";
    RegisterClassA(&wc); /* fails harmlessly when the test runs again */
    HWND w = make_window("ExtraBytes");
    ASSERT_TRUE(SetWindowTextA(w, "abcdef"));
    char buf[8];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(3, SendMessageA(w, WM_GETTEXT, 4, (LPARAM)buf)) << "the limit counts the terminator";
    EXPECT_STREQ("abc", buf);
    EXPECT_EQ('x', buf[4]);

    EXPECT_EQ(0, SetWindowLongPtrA(w, 4, 0x1234));
    EXPECT_EQ(0x1234, GetWindowLongPtrA(w, 4));
    SetLastError(0);
    EXPECT_EQ(0, GetWindowLongPtrA(w, 8)) << "8 + 8 bytes pass the end of 12 extra bytes";
    EXPECT_EQ((DWORD)ERROR_INVALID_INDEX, GetLastError());
    EXPECT_EQ(0, SetWindowLongA(w, 8, 7)) << "4 bytes fit";
    EXPECT_EQ(7, GetWindowLongA(w, 8));
    DestroyWindow(w);
}

} // namespace
