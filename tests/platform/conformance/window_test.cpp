// Windows and classes: creation and destruction order, class lookup, window
// data, and the style bits behind visibility and enabling.
#include "conformance.h"
#include "support/msgseq_gtest.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

/* The creation record lives only while WM_CREATE is handled. */
void *created_with = nullptr;
DWORD style_in_create = 0;
LRESULT CALLBACK create_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_CREATE) {
        created_with = ((const CREATESTRUCTA *)lparam)->lpCreateParams;
        style_in_create = (DWORD)GetWindowLongPtrA(hwnd, GWL_STYLE);
    }
    return SEQ_WindowProc(hwnd, msg, wparam, lparam);
}

TEST(Window, CreationSendsNcCreateThenCreateWithTheCallersValues)
{
    conf::register_class("RecCreate", create_proc);
    created_with = nullptr;
    SEQ_Only({WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY});
    SEQ_Flush();
    int marker = 0;
    HWND w = CreateWindowExA(0, "RECCREATE", "", 0, 0, 0, 1, 1, nullptr, nullptr, conf::instance(),
                             &marker);
    ASSERT_NE(nullptr, w);
    static const SEQ_MSG created[] = {{WM_NCCREATE, SEQ_SENT}, {WM_CREATE, SEQ_SENT}, {0, 0}};
    EXPECT_TRUE(SEQ_Ok(created, "creation"));
    EXPECT_EQ(&marker, created_with);
    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(DestroyWindow(w));
    KNOWN_DEVIATION(WINE, "Wine answers ERROR_ACCESS_DENIED for a handle that is gone")
    {
        EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
    }
    SEQ_Only({});
    SEQ_Flush();
}

TEST(Window, OwnedWindowsGoFirstThenTheWindowThenItsChildren)
{
    SEQ_RegisterClass("RecTree");
    HWND owner = SEQ_CreateWindow("RecTree");
    HWND owned1 = SEQ_CreateWindow("RecTree", owner);
    HWND owned2 = SEQ_CreateWindow("RecTree", owner);
    HWND child = SEQ_CreateWindow("RecTree", owner, WS_CHILD);
    HWND grand = SEQ_CreateWindow("RecTree", child, WS_CHILD);

    SEQ_Only({WM_DESTROY, WM_NCDESTROY});
    SEQ_Flush();
    ASSERT_TRUE(DestroyWindow(owner));
    const std::vector<SEQ_MSG> expected = {
        {WM_DESTROY, SEQ_HWND, 0, 0, owned2},  {WM_NCDESTROY, SEQ_HWND, 0, 0, owned2},
        {WM_DESTROY, SEQ_HWND, 0, 0, owned1},  {WM_NCDESTROY, SEQ_HWND, 0, 0, owned1},
        {WM_DESTROY, SEQ_HWND, 0, 0, owner},   {WM_DESTROY, SEQ_HWND, 0, 0, child},
        {WM_DESTROY, SEQ_HWND, 0, 0, grand},   {WM_NCDESTROY, SEQ_HWND, 0, 0, grand},
        {WM_NCDESTROY, SEQ_HWND, 0, 0, child}, {WM_NCDESTROY, SEQ_HWND, 0, 0, owner}};
    EXPECT_TRUE(SEQ_Ok(expected, "destroying the owner"));
    SEQ_Only({});
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
    conf::register_class("SelfDestroy", self_destroying_proc);
    HWND w = SEQ_CreateWindow("SelfDestroy");
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
    HINSTANCE other = (HINSTANCE)(UINT_PTR)0x5000;
    UnregisterClassA("TwiceClass", conf::instance());
    UnregisterClassA("TwiceClass", other);
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = conf::instance();
    wc.lpszClassName = "TwiceClass";
    EXPECT_NE(0, RegisterClassA(&wc));
    EXPECT_EQ(0, RegisterClassA(&wc));
    EXPECT_EQ((DWORD)ERROR_CLASS_ALREADY_EXISTS, GetLastError());
    wc.hInstance = other;
    EXPECT_NE(0, RegisterClassA(&wc)) << "another instance may register the same name";

    EXPECT_EQ(nullptr, FindWindowA("TwiceClass", nullptr));
    HWND w = SEQ_CreateWindow("twiceCLASS");
    ASSERT_NE(nullptr, w);
    HWND newer = SEQ_CreateWindow("TwiceClass");
    SEQ_CreateWindow("TwiceClass", newer, WS_CHILD);
    EXPECT_EQ(newer, FindWindowA("twiceclass", nullptr)) << "the newest top-level window";
    DestroyWindow(newer);
    EXPECT_EQ(w, FindWindowA("TwiceClass", nullptr));
    DestroyWindow(w);
}

TEST(Window, TextAndWindowDataKeepToTheirBounds)
{
    conf::register_class("ExtraBytes", DefWindowProcA, 12);
    HWND w = SEQ_CreateWindow("ExtraBytes");
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

/* Visibility and enabling are style bits, whichever call changes them. */
TEST(Window, VisibilityAndEnablingAreTheStyleBits)
{
    conf::register_class("StyleBits", create_proc);
    style_in_create = 0;
    HWND w = SEQ_CreateWindow("StyleBits", nullptr, WS_POPUP | WS_VISIBLE);
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(0u, style_in_create & WS_VISIBLE) << "shown only once created";
    LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
    SetWindowLongPtrA(w, GWL_STYLE, style & ~(LONG_PTR)WS_VISIBLE);
    EXPECT_FALSE(IsWindowVisible(w)) << "the style bit alone decides";
    EXPECT_FALSE(ShowWindow(w, SW_SHOW)) << "it was hidden";
    EXPECT_TRUE(GetWindowLongPtrA(w, GWL_STYLE) & WS_VISIBLE);
    HWND child = SEQ_CreateWindow("StyleBits", w, WS_CHILD | WS_VISIBLE);
    ShowWindow(w, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(child)) << "its parent is hidden";

    SetWindowLongPtrA(w, GWL_STYLE, GetWindowLongPtrA(w, GWL_STYLE) | WS_DISABLED);
    EXPECT_FALSE(IsWindowEnabled(w));
    EXPECT_TRUE(EnableWindow(w, TRUE)) << "it was disabled";
    EXPECT_FALSE(GetWindowLongPtrA(w, GWL_STYLE) & WS_DISABLED);
    EXPECT_FALSE(EnableWindow(w, FALSE));
    EXPECT_TRUE(IsWindowEnabled(child)) << "a child's own bit decides";
    DestroyWindow(w);
}

} // namespace
