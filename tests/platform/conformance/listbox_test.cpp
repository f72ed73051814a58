// The list box control as the dialogs use it: sorted insertion, LB_ERR
// answers, selection, notifications from mouse and keys only, owner drawing.
#include "conformance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int kListId = 109;
using Ints = std::vector<int>;

/* What the owner received; the drawing record is copied as the list owns it
 * only while the message is handled. */
struct Seen {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    DRAWITEMSTRUCT dis;
};

std::vector<Seen> seen;
std::function<void(HWND list, int code)> on_command;

LRESULT CALLBACK owner_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    Seen s{msg, wparam, lparam, {}};
    if (msg == WM_MEASUREITEM) {
        ((MEASUREITEMSTRUCT *)lparam)->itemHeight = 20;
    } else if (msg == WM_DRAWITEM) {
        s.dis = *(DRAWITEMSTRUCT *)lparam;
    } else if (msg != WM_COMMAND && msg != WM_COMPAREITEM) {
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
    seen.push_back(s);
    if (msg == WM_COMMAND && on_command)
        on_command((HWND)lparam, HIWORD(wparam));
    return msg == WM_MEASUREITEM || msg == WM_DRAWITEM;
}

std::vector<Seen> received(UINT msg)
{
    std::vector<Seen> out;
    for (const Seen &s : seen)
        if (s.msg == msg)
            out.push_back(s);
    return out;
}

/* The notification codes the owner got, in order. */
Ints codes()
{
    Ints out;
    for (const Seen &s : received(WM_COMMAND))
        out.push_back((short)HIWORD(s.wparam));
    return out;
}

LRESULT send(HWND w, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0)
{
    return SendMessageA(w, msg, wparam, lparam);
}

void add_all(HWND list, std::initializer_list<const char *> items)
{
    for (const char *t : items)
        send(list, LB_ADDSTRING, 0, (LPARAM)t);
}

void keys(HWND list, std::initializer_list<int> vks)
{
    for (int vk : vks)
        send(list, WM_KEYDOWN, (WPARAM)vk);
}

Ints selected(HWND list)
{
    Ints out;
    for (int i = 0; i < (int)send(list, LB_GETCOUNT); ++i)
        if (send(list, LB_GETSEL, (WPARAM)i) > 0)
            out.push_back(i);
    return out;
}

LPARAM centre_of(HWND list, int index)
{
    RECT rc{};
    send(list, LB_GETITEMRECT, (WPARAM)index, (LPARAM)&rc);
    return MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
}

void click(HWND list, int index, WPARAM mk = 0)
{
    send(list, WM_LBUTTONDOWN, MK_LBUTTON | mk, centre_of(list, index));
    send(list, WM_LBUTTONUP, mk, centre_of(list, index));
}

class ListBox : public ::testing::Test {
  protected:
    void SetUp() override
    {
        conf::register_class("ListOwner", owner_proc);
        owner = CreateWindowExA(0, "ListOwner", "", WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr,
                                conf::instance(), nullptr);
        ASSERT_NE(nullptr, owner);
        seen.clear();
        on_command = nullptr;
    }
    void TearDown() override { DestroyWindow(owner); }
    HWND make(DWORD style, int height = 100)
    {
        HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | style, 10, 10, 120,
                                    height, owner, (HMENU)(INT_PTR)kListId, nullptr, nullptr);
        EXPECT_NE(nullptr, list);
        return list;
    }
    HWND owner = nullptr;
};

TEST_F(ListBox, SortedInsertionSearchAndBadIndexes)
{
    HWND list = make(LBS_SORT | LBS_HASSTRINGS);
    struct {
        const char *text;
        int at;
    } adds[] = {{"charlie", 0}, {"Bob", 0}, {"dave", 2}, {"bob", 0}, {"<x>", 0}};
    for (const auto &a : adds)
        EXPECT_EQ(a.at, send(list, LB_ADDSTRING, 0, (LPARAM)a.text))
            << a.text << ": letter case aside, and an equal text goes in front";
    EXPECT_EQ(0, send(list, LB_INSERTSTRING, 0, (LPARAM) "zulu")) << "no sorting";
    EXPECT_EQ(6, send(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM) "alpha")) << "-1 appends";
    EXPECT_EQ(LB_ERR, send(list, LB_INSERTSTRING, 8, (LPARAM) "beyond"));
    EXPECT_TRUE(seen.empty()) << "no notification";

    /* Bad indexes, in an empty list or not; searches start after the start
     * index and wrap round. */
    HWND l = make(LBS_HASSTRINGS);
    char buf[32];
    for (int filled = 0; filled < 2; ++filled) {
        if (filled)
            add_all(l, {"Bob", "alice", "BOB"});
        for (WPARAM bad : {(WPARAM)-1, (WPARAM)(filled ? 3 : 0), (WPARAM)1000})
            for (UINT msg : {LB_GETTEXT, LB_GETTEXTLEN, LB_GETITEMDATA, LB_SETITEMDATA,
                             LB_DELETESTRING, LB_GETSEL})
                EXPECT_EQ(LB_ERR, send(l, msg, bad, (LPARAM)buf)) << msg << " " << (INT_PTR)bad;
    }
    EXPECT_EQ(2, send(l, LB_FINDSTRINGEXACT, 0, (LPARAM) "bob"));
    EXPECT_EQ(0, send(l, LB_FINDSTRINGEXACT, 2, (LPARAM) "bob"));
    EXPECT_EQ(LB_ERR, send(l, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "bo"));
    KNOWN_DEVIATION(WINE, "Wine answers the text's length to LB_GETTEXT without a buffer")
    {
        EXPECT_EQ(LB_ERR, send(l, LB_GETTEXT, 0, 0)) << "no buffer";
    }
    EXPECT_EQ(3, send(l, LB_GETCOUNT));
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(5, send(l, LB_GETTEXT, 1, (LPARAM)buf));
    EXPECT_STREQ("alice", buf);
    EXPECT_EQ('x', buf[6]) << "exactly the text and its zero";
    EXPECT_EQ(0, send(l, LB_GETITEMDATA, 1)) << "new items carry no data";
    EXPECT_EQ(TRUE, send(l, LB_SETITEMDATA, 0, -1));
    EXPECT_EQ(-1, send(l, LB_GETITEMDATA, 0)) << "data may look like LB_ERR";
}

/* Messages never notify; clicks and keys do.  Double-clicks and Shift
 * clicks: ui/invite_test.cpp. */
TEST_F(ListBox, ExtendedSelectionByMessagesClicksAndKeys)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(16, 0));
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL)) << "empty";
    add_all(list, {"a", "b", "c", "d", "e"});
    EXPECT_EQ(0, send(list, LB_GETCURSEL)) << "the caret item, although nothing is selected";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, 1)) << "multiple selection";
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, TRUE, -1));
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, FALSE, 3));
    EXPECT_EQ(4, send(list, LB_GETSELCOUNT));
    int items[6] = {-7, -7, -7, -7, -7, -7};
    EXPECT_EQ(3, send(list, LB_GETSELITEMS, 3, (LPARAM)items)) << "no more than asked for";
    EXPECT_EQ((Ints{0, 1, 2, -7}), Ints(items, items + 4));
    KNOWN_DEVIATION(WINE, "Wine writes through a null LB_GETSELITEMS buffer and crashes")
    {
        EXPECT_EQ(LB_ERR, send(list, LB_GETSELITEMS, 3, 0));
    }
    EXPECT_EQ(4, send(list, LB_DELETESTRING, 1)) << "the count left";
    EXPECT_EQ((Ints{0, 1, 3}), selected(list)) << "the selection moves with the items";
    EXPECT_TRUE(codes().empty()) << "messages never notify";

    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    EXPECT_EQ((Ints{1}), selected(list)) << "the press selects";
    EXPECT_EQ(Ints{LBN_SETFOCUS}, codes()) << "the press takes the focus";
    seen.clear();
    send(list, WM_LBUTTONUP, 0, centre_of(list, 1));
    ASSERT_EQ(1u, seen.size()) << "the release notifies";
    EXPECT_EQ(MAKEWPARAM(kListId, LBN_SELCHANGE), seen[0].wparam);
    EXPECT_EQ((LPARAM)list, seen[0].lparam);
    click(list, 2, MK_CONTROL);
    click(list, 2, MK_CONTROL);
    EXPECT_EQ((Ints{1}), selected(list)) << "Ctrl toggles";

    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    send(list, WM_MOUSEMOVE, MK_LBUTTON, centre_of(list, 3));
    EXPECT_EQ((Ints{1, 2, 3}), selected(list)) << "dragging extends from the anchor";
    send(list, WM_LBUTTONUP, 0, centre_of(list, 3));

    /* Arrows move the caret and the selection. */
    click(list, 0);
    click(list, 2, MK_SHIFT);
    seen.clear();
    keys(list, {VK_UP});
    EXPECT_EQ((Ints{1}), selected(list)) << "the moved-to item alone";
    keys(list, {VK_UP, VK_UP});
    EXPECT_EQ((Ints(3, LBN_SELCHANGE)), codes()) << "multiple selection reports every arrow";
    conf::set_key(VK_SHIFT, true);
    keys(list, {VK_DOWN, VK_DOWN});
    conf::set_key(VK_SHIFT, false);
    EXPECT_EQ((Ints{0, 1, 2}), selected(list)) << "Shift extends from the anchor";
}

TEST_F(ListBox, OwnerDrawnListIsMeasuredOnceAndDrawnByItsOwner)
{
    HWND list = make(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_SORT | LBS_EXTENDEDSEL | LBS_NOTIFY |
                         WS_VSCROLL | WS_BORDER,
                     50);
    ASSERT_EQ(1u, received(WM_MEASUREITEM).size()) << "once, while the list is created";
    add_all(list, {"Dave <d>", "alice <a>", "Carol <c>", "bob <b>"});
    send(list, LB_SETITEMDATA, 1, 1);
    send(list, LB_SETSEL, TRUE, 1);
    EXPECT_EQ(1u, received(WM_MEASUREITEM).size()) << "fixed height: never again";
    EXPECT_TRUE(received(WM_DRAWITEM).empty()) << "drawing waits for painting";

    HDC dc = CreateCompatibleDC(nullptr);
    auto paint = [&] {
        seen.clear();
        send(list, WM_PAINT, (WPARAM)dc);
        return received(WM_DRAWITEM);
    };
    auto draws = paint();
    ASSERT_EQ(2u, draws.size()) << "the visible items";
    const DRAWITEMSTRUCT &d = draws[1].dis;
    RECT rc{};
    send(list, LB_GETITEMRECT, 1, (LPARAM)&rc);
    EXPECT_EQ((WPARAM)kListId, draws[1].wparam);
    EXPECT_EQ((Ints{ODT_LISTBOX, kListId, 1, ODA_DRAWENTIRE, ODS_SELECTED, 1}),
              (Ints{(int)d.CtlType, (int)d.CtlID, (int)d.itemID, (int)d.itemAction,
                    (int)d.itemState, (int)d.itemData}));
    EXPECT_TRUE(list == d.hwndItem && dc == d.hDC && !memcmp(&rc, &d.rcItem, sizeof rc));

    /* With the focus, the caret item is drawn focused and then its focus. */
    send(list, WM_SETFOCUS);
    draws = paint();
    ASSERT_EQ(3u, draws.size());
    KNOWN_DEVIATION(WINE, "Wine does not mark the focused caret item ODS_FOCUS in its own draw")
    {
        EXPECT_EQ((UINT)(ODS_SELECTED | ODS_FOCUS), draws[1].dis.itemState);
        EXPECT_EQ(1u, draws[2].dis.itemID);
        EXPECT_EQ((UINT)ODA_FOCUS, draws[2].dis.itemAction);
    }
    DeleteDC(dc);
}

TEST_F(ListBox, OwnerMayChangeOrDestroyTheListFromANotification)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    add_all(list, {"a", "b", "c"});
    on_command = [](HWND from, int code) {
        if (code == LBN_SELCHANGE)
            SendMessageA(from, LB_RESETCONTENT, 0, 0);
    };
    click(list, 2);
    EXPECT_EQ(0, send(list, LB_GETCOUNT));
    keys(list, {VK_DOWN});
    add_all(list, {"a", "b"});
    on_command = [](HWND from, int code) {
        if (code == LBN_SELCHANGE || code == LBN_DBLCLK)
            DestroyWindow(from);
    };
    send(list, WM_SETFOCUS);
    send(list, WM_LBUTTONDBLCLK, MK_LBUTTON, centre_of(list, 1));
    EXPECT_FALSE(IsWindow(list));
    ASSERT_FALSE(codes().empty());
    KNOWN_DEVIATION(WINE, "Wine tells the owner LBN_KILLFOCUS as the focused list is destroyed")
    {
        EXPECT_EQ(LBN_DBLCLK, codes().back()) << "nothing after the list is gone";
    }
}

} // namespace
