// The list box control: sorted insertion, LB_ERR answers, single and
// extended selection, notifications from mouse and keys only, owner drawing.
#include "conformance.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kListId = 109;
using Ints = std::vector<int>;

/* What the owner received; the structures are copied as the list owns them
 * only while the message is handled. */
struct Seen {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    MEASUREITEMSTRUCT mis;
    DRAWITEMSTRUCT dis;
};

std::vector<Seen> seen;
std::function<void(HWND list, int code)> on_command;

LRESULT CALLBACK owner_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    Seen s{msg, wparam, lparam, {}, {}};
    if (msg == WM_MEASUREITEM) {
        s.mis = *(MEASUREITEMSTRUCT *)lparam;
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

LRESULT add(HWND list, const char *text)
{
    return send(list, LB_ADDSTRING, 0, (LPARAM)text);
}

void add_all(HWND list, std::initializer_list<const char *> items)
{
    for (const char *t : items)
        add(list, t);
}

void keys(HWND list, std::initializer_list<int> vks)
{
    for (int vk : vks)
        send(list, WM_KEYDOWN, (WPARAM)vk);
}

std::vector<std::string> texts(HWND list)
{
    std::vector<std::string> out;
    char buf[64];
    for (int i = 0; i < (int)send(list, LB_GETCOUNT); ++i)
        out.emplace_back(buf, (size_t)send(list, LB_GETTEXT, (WPARAM)i, (LPARAM)buf));
    return out;
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
    void TearDown() override
    {
        on_command = nullptr;
        DestroyWindow(owner);
    }
    HWND make(DWORD style, int height = 100)
    {
        HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | style, 10, 10, 120,
                                    height, owner, (HMENU)(INT_PTR)kListId, nullptr, nullptr);
        EXPECT_NE(nullptr, list);
        return list;
    }
    HWND owner = nullptr;
};

TEST_F(ListBox, SortedInsertionAndSearch)
{
    HWND list = make(LBS_SORT | LBS_HASSTRINGS);
    EXPECT_EQ(0, add(list, "charlie"));
    EXPECT_EQ(0, add(list, "Bob"));
    EXPECT_EQ(2, add(list, "dave"));
    EXPECT_EQ(0, add(list, "bob")) << "an equal text goes in front of the listed one";
    EXPECT_EQ(0, add(list, "<x>"));
    EXPECT_EQ((std::vector<std::string>{"<x>", "bob", "Bob", "charlie", "dave"}), texts(list));
    EXPECT_EQ(0, send(list, LB_INSERTSTRING, 0, (LPARAM) "zulu")) << "no sorting";
    EXPECT_EQ(6, send(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM) "alpha")) << "-1 appends";
    EXPECT_EQ(7, send(list, LB_INSERTSTRING, 7, (LPARAM) "end")) << "the count is a place";
    EXPECT_EQ(LB_ERR, send(list, LB_INSERTSTRING, 9, (LPARAM) "beyond"));

    /* Searches start after the start index and wrap round. */
    HWND l = make(LBS_HASSTRINGS);
    add_all(l, {"Bob", "alice", "BOB"});
    EXPECT_EQ(3, add(l, "Bobby")) << "an unsorted list appends";
    EXPECT_TRUE(seen.empty()) << "no notification, and lists with strings compare them";
    EXPECT_EQ(2, send(l, LB_FINDSTRINGEXACT, 0, (LPARAM) "bob"));
    EXPECT_EQ(0, send(l, LB_FINDSTRINGEXACT, 2, (LPARAM) "bob"));
    EXPECT_EQ(0, send(l, LB_FINDSTRINGEXACT, 99, (LPARAM) "bob")) << "from the top";
    EXPECT_EQ(1, send(l, LB_FINDSTRINGEXACT, 1, (LPARAM) "ALICE")) << "back to the start";
    EXPECT_EQ(LB_ERR, send(l, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "bo"));
    EXPECT_EQ(3, send(l, LB_FINDSTRING, 2, (LPARAM) "bo")) << "a prefix";
}

TEST_F(ListBox, BadIndexesAnswerLbErrAndChangeNothing)
{
    HWND list = make(LBS_HASSTRINGS);
    char buf[32];
    for (int filled = 0; filled < 2; ++filled) {
        if (filled)
            add_all(list, {"one", "two"});
        for (WPARAM bad : {(WPARAM)-1, (WPARAM)(filled ? 2 : 0), (WPARAM)1000})
            for (UINT msg : {LB_GETTEXT, LB_GETTEXTLEN, LB_GETITEMDATA, LB_SETITEMDATA,
                             LB_DELETESTRING, LB_GETSEL})
                EXPECT_EQ(LB_ERR, send(list, msg, bad, (LPARAM)buf)) << msg << " " << (INT_PTR)bad;
    }
    EXPECT_EQ(LB_ERR, send(list, LB_GETITEMRECT, 2, (LPARAM)buf));
    KNOWN_DEVIATION(WINE, "Wine answers the text's length to LB_GETTEXT without a buffer")
    {
        EXPECT_EQ(LB_ERR, send(list, LB_GETTEXT, 0, 0)) << "no buffer";
    }
    EXPECT_EQ(2, send(list, LB_GETCOUNT));
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(3, send(list, LB_GETTEXT, 1, (LPARAM)buf));
    EXPECT_STREQ("two", buf);
    EXPECT_EQ('x', buf[4]) << "exactly the text and its zero";
    EXPECT_EQ(0, send(list, LB_GETITEMDATA, 1)) << "new items carry no data";
    EXPECT_EQ(TRUE, send(list, LB_SETITEMDATA, 0, -1));
    EXPECT_EQ(-1, send(list, LB_GETITEMDATA, 0)) << "data may look like LB_ERR";
}

TEST_F(ListBox, DeletingReturnsTheCountAndTheLastDeletionResetsTheList)
{
    HWND list = make(LBS_EXTENDEDSEL);
    add_all(list, {"a", "b", "c", "d"});
    send(list, LB_SETSEL, TRUE, 1);
    send(list, LB_SETSEL, TRUE, 3);
    EXPECT_EQ(3, send(list, LB_DELETESTRING, 0));
    EXPECT_EQ((Ints{0, 2}), selected(list)) << "selection moves with the items";
    EXPECT_EQ(2, send(list, LB_GETANCHORINDEX));
    EXPECT_EQ(2, send(list, LB_DELETESTRING, 2));
    EXPECT_EQ(1, send(list, LB_GETCARETINDEX)) << "the caret left the end of the list";
    KNOWN_DEVIATION(WINE, "Wine keeps the anchor's index when its item is deleted")
    {
        EXPECT_EQ(-1, send(list, LB_GETANCHORINDEX)) << "the anchor went with its item";
    }

    /* A subclass sees the list empty itself with LB_RESETCONTENT. */
    static std::vector<UINT> messages;
    static WNDPROC original;
    messages.clear();
    original = (WNDPROC)SetWindowLongPtrA(
        list, GWLP_WNDPROC, (LONG_PTR) + [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
            messages.push_back(m);
            return CallWindowProcA(original, h, m, w, l);
        });
    EXPECT_EQ(1, send(list, LB_DELETESTRING, 0));
    EXPECT_EQ(0, send(list, LB_DELETESTRING, 0));
    EXPECT_EQ((std::vector<UINT>{LB_DELETESTRING, LB_DELETESTRING, LB_RESETCONTENT}), messages);
}

TEST_F(ListBox, SingleSelectionAnswersLbErrForMultipleSelectionMessages)
{
    HWND list = make(LBS_NOTIFY);
    add_all(list, {"a", "b", "c", "d"});
    int items[4];
    EXPECT_EQ(LB_ERR, send(list, LB_GETSELCOUNT));
    EXPECT_EQ(LB_ERR, send(list, LB_GETSELITEMS, 4, (LPARAM)items));
    KNOWN_DEVIATION(WINE, "Wine answers LB_SETSEL in a single-selection list")
    {
        EXPECT_EQ(LB_ERR, send(list, LB_SETSEL, TRUE, 1));
    }
    EXPECT_EQ(LB_ERR, send(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 3)));
    EXPECT_EQ(2, send(list, LB_SETCURSEL, 2));
    KNOWN_DEVIATION(WINE, "Wine's LB_SETCURSEL sets the anchor too")
    {
        EXPECT_EQ(LB_ERR, send(list, LB_GETANCHORINDEX)) << "LB_SETCURSEL sets no anchor";
    }
    EXPECT_EQ(1, send(list, LB_SETCURSEL, 1));
    EXPECT_EQ((Ints{1}), selected(list)) << "one item at a time";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, 4)) << "beyond the list";
    EXPECT_EQ(1, send(list, LB_GETCURSEL)) << "and nothing changed";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, (WPARAM)-1)) << "clearing answers LB_ERR";
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL));
    EXPECT_TRUE(codes().empty()) << "messages never notify";
}

TEST_F(ListBox, ExtendedSelectionByMessages)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL)) << "empty";
    add_all(list, {"a", "b", "c", "d", "e"});
    EXPECT_EQ(0, send(list, LB_GETCURSEL)) << "the caret item, although nothing is selected";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, 1)) << "multiple selection";
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, TRUE, 3));
    EXPECT_EQ(3, send(list, LB_GETANCHORINDEX));
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, FALSE, 1));
    KNOWN_DEVIATION(WINE, "Wine leaves the caret where it was when LB_SETSEL deselects")
    {
        EXPECT_EQ(1, send(list, LB_GETCURSEL)) << "even deselecting moves the caret";
    }
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, TRUE, -1));
    KNOWN_DEVIATION(WINE, "Wine moves the caret to the last item LB_SETSEL touched")
    {
        EXPECT_EQ(1, send(list, LB_GETCARETINDEX)) << "-1 leaves caret and anchor";
    }
    int items[6] = {-7, -7, -7, -7, -7, -7};
    EXPECT_EQ(3, send(list, LB_GETSELITEMS, 3, (LPARAM)items)) << "no more than asked for";
    EXPECT_EQ((Ints{0, 1, 2, -7}), Ints(items, items + 4));
    KNOWN_DEVIATION(WINE, "Wine writes through a null LB_GETSELITEMS buffer and crashes")
    {
        EXPECT_EQ(LB_ERR, send(list, LB_GETSELITEMS, 3, 0));
    }

    /* Ranges are unsigned words in either order, cut at the list's end. */
    struct Range {
        LPARAM range;
        Ints expect;
    };
    for (const Range &r : {Range{MAKELPARAM(3, 1), {1, 2, 3}}, Range{MAKELPARAM(3, -1), {3, 4}},
                           Range{MAKELPARAM(-5, 9), {}}}) {
        send(list, LB_SETSEL, FALSE, -1);
        EXPECT_EQ(LB_OKAY, send(list, LB_SELITEMRANGE, TRUE, r.range));
        EXPECT_EQ(r.expect, selected(list)) << std::hex << r.range;
    }
    EXPECT_TRUE(codes().empty()) << "messages never notify";
}

TEST_F(ListBox, ClicksSelectAndNotifyOnRelease)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(16, 0));
    add_all(list, {"a", "b", "c", "d", "e"});
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    EXPECT_EQ((Ints{1}), selected(list)) << "the press selects";
    EXPECT_EQ(Ints{LBN_SETFOCUS}, codes()) << "the press takes the focus";
    seen.clear();
    send(list, WM_LBUTTONUP, 0, centre_of(list, 1));
    ASSERT_EQ(1u, seen.size()) << "the release notifies";
    EXPECT_EQ(MAKEWPARAM(kListId, LBN_SELCHANGE), seen[0].wparam);
    EXPECT_EQ((LPARAM)list, seen[0].lparam);
    seen.clear();
    click(list, 3, MK_CONTROL);
    EXPECT_EQ((Ints{1, 3}), selected(list)) << "Ctrl adds";
    click(list, 0, MK_SHIFT);
    EXPECT_EQ((Ints{0, 1, 2, 3}), selected(list)) << "Shift: anchor to item";
    EXPECT_EQ(3, send(list, LB_GETANCHORINDEX)) << "Shift keeps the anchor";
    click(list, 2);
    click(list, 2, MK_CONTROL);
    EXPECT_TRUE(selected(list).empty()) << "Ctrl toggles";
    EXPECT_EQ(2, send(list, LB_GETCURSEL)) << "the clicked item is current";
    EXPECT_EQ((Ints(4, LBN_SELCHANGE)), codes());

    seen.clear();
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 95));
    send(list, WM_LBUTTONUP, 0, MAKELPARAM(5, 95));
    EXPECT_TRUE(codes().empty()) << "below the last item nothing happens";
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    send(list, WM_MOUSEMOVE, MK_LBUTTON, centre_of(list, 3));
    EXPECT_EQ((Ints{1, 2, 3}), selected(list)) << "dragging extends from the anchor";
    send(list, WM_LBUTTONUP, 0, centre_of(list, 3));
    send(list, WM_MOUSEMOVE, 0, centre_of(list, 0));
    EXPECT_EQ((Ints{1, 2, 3}), selected(list)) << "not without the button";

    /* Losing the focus before the release ends the press. */
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 4));
    seen.clear();
    send(list, WM_KILLFOCUS);
    send(list, WM_LBUTTONUP, 0, centre_of(list, 4));
    EXPECT_EQ((Ints{LBN_SELCHANGE, LBN_KILLFOCUS}), codes()) << "nothing on the late release";
}

TEST_F(ListBox, DoubleClickNotifiesBetweenTheSelectionChanges)
{
    HWND list = make(LBS_SORT | LBS_EXTENDEDSEL | LBS_NOTIFY);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(16, 0));
    add_all(list, {"c", "a", "b"});
    HWND quiet = make(LBS_EXTENDEDSEL);
    add(quiet, "x");
    int picked = -2;
    on_command = [&](HWND from, int code) {
        if (code == LBN_DBLCLK)
            picked = (int)send(from, LB_GETCURSEL);
    };
    for (HWND l : {quiet, list}) {
        int at = l == list ? 2 : 0;
        send(l, WM_SETFOCUS);
        seen.clear();
        click(l, at);
        send(l, WM_LBUTTONDBLCLK, MK_LBUTTON, centre_of(l, at));
        send(l, WM_LBUTTONUP, 0, centre_of(l, at));
        EXPECT_TRUE(l == list || codes().empty()) << "no LBS_NOTIFY, no notifications";
    }
    KNOWN_DEVIATION(WINE, "Wine sends no second LBN_SELCHANGE on the release after a double-click")
    {
        EXPECT_EQ((Ints{LBN_SELCHANGE, LBN_DBLCLK, LBN_SELCHANGE}), codes());
    }
    EXPECT_EQ(2, picked) << "the owner finds the double-clicked item current";
    seen.clear();
    send(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 95));
    KNOWN_DEVIATION(WINE, "Wine notifies a double-click below the last item")
    {
        EXPECT_TRUE(codes().empty()) << "a double-click beside the items";
    }
}

TEST_F(ListBox, KeysMoveCaretAndSelectionAndScroll)
{
    HWND list = make(LBS_NOTIFY, 40);
    add_all(list, {"a", "b", "c", "d", "e", "f"});
    int height = (int)send(list, LB_GETITEMHEIGHT);
    ASSERT_GT(height, 0);
    send(list, WM_SETFOCUS);
    seen.clear();
    keys(list, {VK_DOWN});
    KNOWN_DEVIATION(WINE, "Wine starts a list without a selection from the first item on VK_DOWN")
    {
        EXPECT_EQ(1, send(list, LB_GETCURSEL)) << "from the caret on item 0";
    }
    keys(list, {VK_END});
    EXPECT_EQ(6 - 40 / height, send(list, LB_GETTOPINDEX)) << "the list scrolled to the caret";
    keys(list, {VK_DOWN});
    EXPECT_EQ(5, send(list, LB_GETCURSEL)) << "the end stops it";
    keys(list, {VK_HOME, VK_UP, 'X'});
    EXPECT_EQ(0, send(list, LB_GETTOPINDEX));
    KNOWN_DEVIATION(WINE, "Wine reports every arrow key in a single-selection list")
    {
        EXPECT_EQ((Ints(3, LBN_SELCHANGE)), codes())
            << "single selection: only keys that change it";
    }

    HWND ext = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    add_all(ext, {"a", "b", "c"});
    send(ext, WM_SETFOCUS);
    click(ext, 0);
    click(ext, 2, MK_SHIFT);
    seen.clear();
    keys(ext, {VK_UP});
    EXPECT_EQ((Ints{1}), selected(ext)) << "the moved-to item alone";
    keys(ext, {VK_UP, VK_UP});
    EXPECT_EQ((Ints(3, LBN_SELCHANGE)), codes()) << "multiple selection reports every arrow";
    conf::set_key(VK_SHIFT, true);
    keys(ext, {VK_DOWN, VK_DOWN});
    conf::set_key(VK_SHIFT, false);
    EXPECT_EQ((Ints{0, 1, 2}), selected(ext)) << "Shift extends from the anchor";
    conf::set_key(VK_CONTROL, true);
    keys(ext, {VK_UP, VK_SPACE});
    conf::set_key(VK_CONTROL, false);
    KNOWN_DEVIATION(WINE, "Wine's Ctrl+arrow in an extended-selection list moves the selection")
    {
        EXPECT_EQ((Ints{0, 2}), selected(ext)) << "Ctrl moves the caret alone; Ctrl+Space toggles";
    }
    keys(ext, {VK_SPACE});
    EXPECT_EQ((Ints{1}), selected(ext)) << "Space selects the caret item alone";

    HWND multi = make(LBS_MULTIPLESEL | LBS_NOTIFY);
    add_all(multi, {"a", "b", "c"});
    click(multi, 0);
    seen.clear();
    keys(multi, {VK_DOWN, VK_SPACE});
    EXPECT_EQ((Ints{0, 1}), selected(multi)) << "the caret moves alone, space toggles";
    keys(multi, {VK_UP, VK_UP});
    KNOWN_DEVIATION(WINE, "Wine's multiple-selection list reports only keys that change it")
    {
        EXPECT_EQ((Ints(4, LBN_SELCHANGE)), codes()) << "every key, changed or not";
    }
}

TEST_F(ListBox, OwnerDrawnListIsMeasuredOnceAndDrawnByItsOwner)
{
    HWND list = make(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_SORT | LBS_EXTENDEDSEL | LBS_NOTIFY |
                         WS_VSCROLL | WS_BORDER,
                     50);
    ASSERT_EQ(1u, received(WM_MEASUREITEM).size()) << "once, while the list is created";
    MEASUREITEMSTRUCT mis = received(WM_MEASUREITEM)[0].mis;
    KNOWN_DEVIATION(WINE, "Wine measures a fixed-height owner-drawn list with itemID -1")
    {
        EXPECT_EQ((Ints{ODT_LISTBOX, kListId, 0}),
                  (Ints{(int)mis.CtlType, (int)mis.CtlID, (int)mis.itemID}));
    }
    EXPECT_GT(mis.itemHeight, 0u) << "the font's height is suggested";
    RECT wr{};
    GetWindowRect(list, &wr);
    KNOWN_DEVIATION(WINE, "Wine's border is 1 pixel narrower each side")
    {
        EXPECT_EQ(44, wr.bottom - wr.top) << "2 whole rows and the border: the part row went";
    }
    add_all(list, {"Dave <d>", "alice <a>", "Carol <c>", "bob <b>"});
    send(list, LB_SETITEMDATA, 1, 1);
    send(list, LB_SETSEL, TRUE, 1);
    EXPECT_EQ(1u, received(WM_MEASUREITEM).size()) << "fixed height: never again";
    EXPECT_TRUE(received(WM_DRAWITEM).empty()) << "drawing waits for painting";

    HDC dc = CreateCompatibleDC(nullptr);
    auto paint = [&](HWND l) {
        seen.clear();
        send(l, WM_PAINT, (WPARAM)dc);
        return received(WM_DRAWITEM);
    };
    auto draws = paint(list);
    ASSERT_EQ(2u, draws.size()) << "the visible items";
    const DRAWITEMSTRUCT &d = draws[1].dis;
    RECT rc{};
    send(list, LB_GETITEMRECT, 1, (LPARAM)&rc);
    EXPECT_EQ((WPARAM)kListId, draws[1].wparam);
    EXPECT_EQ((Ints{ODT_LISTBOX, kListId, 1, ODA_DRAWENTIRE, ODS_SELECTED, 1}),
              (Ints{(int)d.CtlType, (int)d.CtlID, (int)d.itemID, (int)d.itemAction,
                    (int)d.itemState, (int)d.itemData}));
    EXPECT_TRUE(list == d.hwndItem && dc == d.hDC && !memcmp(&rc, &d.rcItem, sizeof rc));
    EXPECT_EQ(0u, draws[0].dis.itemState);

    /* With the focus, the caret item is drawn focused and then its focus. */
    send(list, WM_SETFOCUS);
    draws = paint(list);
    ASSERT_EQ(3u, draws.size());
    KNOWN_DEVIATION(WINE, "Wine does not mark the focused caret item ODS_FOCUS in its own draw")
    {
        EXPECT_EQ((UINT)(ODS_SELECTED | ODS_FOCUS), draws[1].dis.itemState);
        EXPECT_EQ(1u, draws[2].dis.itemID);
        EXPECT_EQ((UINT)ODA_FOCUS, draws[2].dis.itemAction);
    }

    /* An empty list with the focus has its focus drawn as item -1. */
    send(list, LB_RESETCONTENT);
    draws = paint(list);
    KNOWN_DEVIATION(WINE, "Wine draws no focus for an empty owner-drawn list")
    {
        ASSERT_EQ(1u, draws.size());
        EXPECT_EQ((UINT)-1, draws[0].dis.itemID);
        EXPECT_EQ((UINT)ODA_FOCUS, draws[0].dis.itemAction);
        EXPECT_EQ(20, draws[0].dis.rcItem.bottom);
    }

    /* LBS_NOINTEGRALHEIGHT keeps the height, and the part row is drawn. */
    HWND loose = make(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_BORDER, 50);
    GetWindowRect(loose, &wr);
    EXPECT_EQ(50, wr.bottom - wr.top);
    add_all(loose, {"a", "b", "c", "d"});
    EXPECT_EQ(3u, paint(loose).size()) << "2 whole rows, 1 in part";
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
