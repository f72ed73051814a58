// Windows and classes: creation and destruction order, class lookup, window
// data, the style bits behind visibility and enabling, and where windows are
// once made: sibling order, rectangles in screen and client coordinates,
// borders, and the scroll bar style bits that the controls keep themselves.
// Message queues: retrieval order, filters, WM_QUIT, posting from other
// threads and messages sent across threads.
#include "conformance.h"
#include "platform/conformance/canvas.h"
#include "support/msgseq_gtest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>

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

/* Visibility and enabling are style bits, whichever call changes them. */
TEST(Window, CreationSendsNcCreateThenCreateWithTheCallersValuesThenShows)
{
    conf::register_class("RecCreate", create_proc);
    created_with = nullptr;
    style_in_create = 0;
    SEQ_Only({WM_NCCREATE, WM_CREATE});
    SEQ_Flush();
    int marker = 0;
    HWND w = CreateWindowExA(0, "RECCREATE", "", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, nullptr,
                             nullptr, conf::instance(), &marker);
    ASSERT_NE(nullptr, w);
    static const SEQ_MSG created[] = {{WM_NCCREATE, SEQ_SENT}, {WM_CREATE, SEQ_SENT}, {0, 0}};
    EXPECT_TRUE(SEQ_Ok(created, "creation"));
    SEQ_Only({});
    EXPECT_EQ(&marker, created_with);
    EXPECT_EQ(0u, style_in_create & WS_VISIBLE) << "shown only once created";

    LONG_PTR style = GetWindowLongPtrA(w, GWL_STYLE);
    SetWindowLongPtrA(w, GWL_STYLE, style & ~(LONG_PTR)WS_VISIBLE);
    EXPECT_FALSE(IsWindowVisible(w)) << "the style bit alone decides";
    EXPECT_FALSE(ShowWindow(w, SW_SHOW)) << "it was hidden";
    EXPECT_TRUE(GetWindowLongPtrA(w, GWL_STYLE) & WS_VISIBLE);
    HWND child = SEQ_CreateWindow("RecCreate", w, WS_CHILD | WS_VISIBLE);
    ShowWindow(w, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(child)) << "its parent is hidden";

    SetWindowLongPtrA(w, GWL_STYLE, GetWindowLongPtrA(w, GWL_STYLE) | WS_DISABLED);
    EXPECT_FALSE(IsWindowEnabled(w));
    EXPECT_TRUE(EnableWindow(w, TRUE)) << "it was disabled";
    EXPECT_FALSE(GetWindowLongPtrA(w, GWL_STYLE) & WS_DISABLED);
    EXPECT_FALSE(EnableWindow(w, FALSE));
    EXPECT_TRUE(IsWindowEnabled(child)) << "a child's own bit decides";

    EXPECT_TRUE(DestroyWindow(w));
    EXPECT_FALSE(DestroyWindow(w));
    KNOWN_DEVIATION(WINE, "Wine answers ERROR_ACCESS_DENIED for a handle that is gone")
    {
        EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());
    }
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

TEST(Messages, SendsGoPastPostsWhichComeInOrderAndQuitComesAfterThem)
{
    SEQ_RegisterClass("Order");
    HWND w = SEQ_CreateWindow("Order");
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

LRESULT CALLBACK answer_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_USER)
        return (LRESULT)wparam * 2;
    if (msg == WM_USER + 1)
        PostQuitMessage(0);
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

/* A message sent from another thread runs on the window's thread, which
 * wakes both for it and for the post; only its own thread dispatches to a
 * window or destroys it. */
TEST(Messages, AnotherThreadsWindowIsServedOnItsOwnThreadOnly)
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

    SEQ_RegisterClass("Foreign");
    HWND foreign = nullptr;
    std::thread maker([&] { foreign = SEQ_CreateWindow("Foreign"); });
    maker.join();
    m = MSG{foreign, WM_USER, 0, 0, 0, {0, 0}};
    SEQ_Flush();
    EXPECT_EQ(0, DispatchMessageA(&m));
    EXPECT_EQ(0u, SEQ_Count());
    EXPECT_FALSE(DestroyWindow(foreign)) << "only the owning thread destroys a window";
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(PostMessageA(foreign, WM_USER, 0, 0)) << "its thread and queue are gone";
}

/* A captioned top-level window of 200 x 150 at (30, 40), the parent of
 * the controls below. */
HWND make_parent()
{
    conf::register_class("LayoutParent", DefWindowProcA);
    return CreateWindowExA(0, "LayoutParent", "parent", WS_POPUP | WS_CAPTION, 30, 40, 200, 150,
                           nullptr, nullptr, conf::instance(), nullptr);
}

HWND make_child(HWND parent, const char *cls, DWORD style, int id, RECT r, DWORD exstyle = 0)
{
    return CreateWindowExA(exstyle, cls, "", WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                           r.right - r.left, r.bottom - r.top, parent, (HMENU)(UINT_PTR)id,
                           conf::instance(), nullptr);
}

DWORD style_of(HWND w, int which = GWL_STYLE)
{
    return (DWORD)GetWindowLongA(w, which);
}

TEST(Layout, ChildrenAreListedInCreationOrderAndTheirRectanglesMapBack)
{
    HWND parent = make_parent();
    ASSERT_NE(nullptr, parent);
    EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD));
    HWND plain = make_child(parent, "STATIC", 0, 1, RECT{10, 20, 50, 35});
    HWND b = make_child(parent, "BUTTON", 0, 2, RECT{0, 10, 10, 20});
    HWND framed = make_child(parent, "LayoutParent", WS_BORDER, 3, RECT{60, 5, 100, 45});
    HWND inner = make_child(framed, "STATIC", 0, 4, RECT{3, 4, 13, 14});
    ASSERT_TRUE(plain && b && framed && inner);
    EXPECT_EQ(plain, GetWindow(parent, GW_CHILD));
    EXPECT_EQ(b, GetWindow(plain, GW_HWNDNEXT));
    EXPECT_EQ(framed, GetWindow(b, GW_HWNDNEXT));
    EXPECT_EQ(nullptr, GetWindow(framed, GW_HWNDNEXT));
    EXPECT_EQ(b, GetWindow(framed, GW_HWNDPREV));
    EXPECT_EQ(nullptr, GetWindow(plain, GW_HWNDPREV));
    EXPECT_EQ(nullptr, GetWindow(plain, GW_CHILD));
    DestroyWindow(b);
    EXPECT_EQ(framed, GetWindow(plain, GW_HWNDNEXT));

    /* The parent's client area lies inside its frame and caption. */
    RECT outer, client;
    ASSERT_TRUE(GetWindowRect(parent, &outer));
    GetClientRect(parent, &client);
    POINT origin{0, 0};
    ASSERT_TRUE(ClientToScreen(parent, &origin));
    KNOWN_DEVIATION(PLATFORM, "the platform makes a top-level window's place and size those "
                              "of its client area, its frame around them")
    {
        EXPECT_EQ(30, outer.left);
        EXPECT_EQ(40, outer.top);
    }
    EXPECT_LT(outer.left, origin.x);
    EXPECT_LT(outer.top + 10, origin.y);
    EXPECT_GE(outer.right, origin.x + client.right);
    EXPECT_GE(outer.bottom, origin.y + client.bottom);

    RECT r;
    ASSERT_TRUE(GetWindowRect(plain, &r));
    EXPECT_EQ(origin.x + 10, r.left);
    EXPECT_EQ(origin.y + 20, r.top);
    int offset = MapWindowPoints(HWND_DESKTOP, parent, (LPPOINT)&r, 2);
    EXPECT_EQ((RECT{10, 20, 50, 35}), r);
    EXPECT_EQ(-origin.x, (SHORT)LOWORD(offset));
    EXPECT_EQ(-origin.y, (SHORT)HIWORD(offset));

    /* A border is part of the window, outside its client area. */
    ASSERT_TRUE(GetWindowRect(inner, &r));
    MapWindowPoints(HWND_DESKTOP, parent, (LPPOINT)&r, 2);
    EXPECT_EQ(60 + 1 + 3, r.left);
    EXPECT_EQ(5 + 1 + 4, r.top);
    POINT p{64, 10};
    ASSERT_TRUE(MapWindowPoints(parent, framed, &p, 1) || (p.x == 0 && p.y == 0));
    EXPECT_EQ(3, p.x);
    EXPECT_EQ(4, p.y);
    ASSERT_TRUE(ScreenToClient(inner, &origin));
    EXPECT_EQ(-(60 + 1 + 3), origin.x);
    EXPECT_EQ(-(5 + 1 + 4), origin.y);
    DestroyWindow(parent);
}

TEST(Layout, BordersTakeFromTheClientAreaAndTheScrollStyleSaysWhetherTheBarIsShown)
{
    HWND parent = make_parent();
    ASSERT_NE(nullptr, parent);
    HWND framed =
        make_child(parent, "LISTBOX", WS_BORDER | LBS_NOINTEGRALHEIGHT, 1, RECT{4, 4, 84, 44});
    HWND edged = make_child(parent, "LISTBOX", LBS_NOINTEGRALHEIGHT, 2, RECT{4, 50, 84, 90},
                            WS_EX_CLIENTEDGE);
    ASSERT_TRUE(framed && edged);
    EXPECT_EQ((DWORD)WS_BORDER, style_of(framed) & WS_BORDER);
    EXPECT_EQ(0u, style_of(framed, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_EQ((DWORD)WS_EX_CLIENTEDGE, style_of(edged, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    /* The window keeps its place and size; a border of one pixel, or a
     * client edge of two, is inside it. */
    RECT r, client;
    GetWindowRect(framed, &r);
    GetClientRect(framed, &client);
    EXPECT_EQ(80, r.right - r.left);
    EXPECT_EQ((RECT{0, 0, 78, 38}), client);
    GetWindowRect(edged, &r);
    GetClientRect(edged, &client);
    EXPECT_EQ(40, r.bottom - r.top);
    EXPECT_EQ((RECT{0, 0, 76, 36}), client);

    /* A list that has room for all its items shows no scroll bar. */
    HWND list =
        make_child(parent, "LISTBOX", WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 3, RECT{90, 4, 170, 64});
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0u, style_of(list) & WS_VSCROLL);
    for (int i = 0; i < 20; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "item");
    EXPECT_EQ((DWORD)WS_VSCROLL, style_of(list) & WS_VSCROLL);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(0u, style_of(list) & WS_VSCROLL);

    /* A combo box hands its scroll bar to its list. */
    HWND combo =
        make_child(parent, "COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, 4, RECT{90, 70, 170, 140});
    ASSERT_NE(nullptr, combo);
    EXPECT_EQ(0u, style_of(combo) & WS_VSCROLL);
    EXPECT_EQ((DWORD)CBS_DROPDOWNLIST, style_of(combo) & 3);
    DestroyWindow(parent);
}

} // namespace
