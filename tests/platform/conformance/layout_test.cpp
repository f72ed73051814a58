// Where windows are and what their styles say once made: sibling order,
// rectangles in screen and client coordinates, borders, and the scroll bar
// style bits that the controls keep themselves.
#include "conformance.h"

#include <gtest/gtest.h>

namespace {

LRESULT CALLBACK plain_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

/* A captioned top-level window of 200 x 150 at (30, 40), the parent of
 * the controls below. */
HWND make_parent()
{
    conf::register_class("LayoutParent", plain_proc);
    return CreateWindowExA(0, "LayoutParent", "parent", WS_POPUP | WS_CAPTION, 30, 40, 200, 150,
                           nullptr, nullptr, conf::instance(), nullptr);
}

HWND make_child(HWND parent, const char *cls, DWORD style, int id, RECT r)
{
    return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                           r.right - r.left, r.bottom - r.top, parent, (HMENU)(UINT_PTR)id,
                           conf::instance(), nullptr);
}

DWORD style_of(HWND w)
{
    return (DWORD)GetWindowLongA(w, GWL_STYLE);
}

DWORD exstyle_of(HWND w)
{
    return (DWORD)GetWindowLongA(w, GWL_EXSTYLE);
}

TEST(Layout, ChildrenAreListedInTheOrderTheyWereMade)
{
    HWND parent = make_parent();
    ASSERT_NE(nullptr, parent);
    EXPECT_EQ(nullptr, GetWindow(parent, GW_CHILD));
    HWND a = make_child(parent, "STATIC", 0, 1, RECT{0, 0, 10, 10});
    HWND b = make_child(parent, "BUTTON", 0, 2, RECT{0, 10, 10, 20});
    HWND c = make_child(parent, "STATIC", 0, 3, RECT{0, 20, 10, 30});
    EXPECT_EQ(a, GetWindow(parent, GW_CHILD));
    EXPECT_EQ(b, GetWindow(a, GW_HWNDNEXT));
    EXPECT_EQ(c, GetWindow(b, GW_HWNDNEXT));
    EXPECT_EQ(nullptr, GetWindow(c, GW_HWNDNEXT));
    EXPECT_EQ(b, GetWindow(c, GW_HWNDPREV));
    EXPECT_EQ(nullptr, GetWindow(a, GW_HWNDPREV));
    EXPECT_EQ(nullptr, GetWindow(a, GW_CHILD));
    DestroyWindow(b);
    EXPECT_EQ(c, GetWindow(a, GW_HWNDNEXT));
    DestroyWindow(parent);
}

TEST(Layout, AChildsRectangleMapsBackToWhereItWasPlaced)
{
    HWND parent = make_parent();
    ASSERT_NE(nullptr, parent);
    HWND plain = make_child(parent, "STATIC", 0, 1, RECT{10, 20, 50, 35});
    HWND framed = make_child(parent, "LayoutParent", WS_BORDER, 2, RECT{60, 5, 100, 45});
    HWND inner = make_child(framed, "STATIC", 0, 3, RECT{3, 4, 13, 14});
    ASSERT_TRUE(plain && framed && inner);

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
    EXPECT_EQ(10, r.left);
    EXPECT_EQ(20, r.top);
    EXPECT_EQ(50, r.right);
    EXPECT_EQ(35, r.bottom);
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

TEST(Layout, ABorderIsOnePixelAndAClientEdgeTwo)
{
    HWND parent = make_parent();
    ASSERT_NE(nullptr, parent);
    HWND framed =
        make_child(parent, "LISTBOX", WS_BORDER | LBS_NOINTEGRALHEIGHT, 1, RECT{4, 4, 84, 44});
    HWND edged = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                 WS_CHILD | WS_VISIBLE | LBS_NOINTEGRALHEIGHT, 4, 50, 80, 40,
                                 parent, (HMENU)2, conf::instance(), nullptr);
    ASSERT_TRUE(framed && edged);
    EXPECT_EQ((DWORD)WS_BORDER, style_of(framed) & WS_BORDER);
    EXPECT_EQ(0u, exstyle_of(framed) & WS_EX_CLIENTEDGE);
    EXPECT_EQ((DWORD)WS_EX_CLIENTEDGE, exstyle_of(edged) & WS_EX_CLIENTEDGE);
    /* The window keeps its place and size; the border is inside it. */
    RECT r, client;
    GetWindowRect(framed, &r);
    GetClientRect(framed, &client);
    EXPECT_EQ(80, r.right - r.left);
    EXPECT_EQ(78, client.right);
    EXPECT_EQ(38, client.bottom);
    GetWindowRect(edged, &r);
    GetClientRect(edged, &client);
    EXPECT_EQ(40, r.bottom - r.top);
    EXPECT_EQ(76, client.right);
    EXPECT_EQ(36, client.bottom);
    DestroyWindow(parent);
}

TEST(Layout, TheVerticalScrollStyleSaysWhetherTheBarIsShown)
{
    HWND parent = make_parent();
    ASSERT_NE(nullptr, parent);
    /* A list that has room for all its items shows no scroll bar. */
    HWND list =
        make_child(parent, "LISTBOX", WS_VSCROLL | LBS_NOINTEGRALHEIGHT, 1, RECT{4, 4, 84, 64});
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0u, style_of(list) & WS_VSCROLL);
    for (int i = 0; i < 20; ++i)
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "item");
    EXPECT_EQ((DWORD)WS_VSCROLL, style_of(list) & WS_VSCROLL);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    EXPECT_EQ(0u, style_of(list) & WS_VSCROLL);

    /* A combo box hands its scroll bar to its list. */
    HWND combo =
        make_child(parent, "COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, 2, RECT{4, 70, 84, 140});
    ASSERT_NE(nullptr, combo);
    EXPECT_EQ(0u, style_of(combo) & WS_VSCROLL);
    EXPECT_EQ((DWORD)CBS_DROPDOWNLIST, style_of(combo) & 3);
    DestroyWindow(parent);
}

} // namespace
