// The list box control: sorted insertion in the user's collation, LB_ERR
// answers, selection in single- and extended-selection lists, notifications
// from the user's mouse and keys only, and owner drawing, pinned as Windows
// behaves.
#include "user/dialog.h"
#include "user/paint.h"

#include <windows.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kListId = 109;

/* What the list's owner received; the structures are copied because the
 * list owns them only for the duration of the message. */
struct Seen {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    MEASUREITEMSTRUCT mis;
    DRAWITEMSTRUCT dis;
    COMPAREITEMSTRUCT cis;
};

std::vector<Seen> seen;
UINT measured_height = 20;
HBRUSH list_brush = nullptr; /* the owner's answer to WM_CTLCOLORLISTBOX */
HFONT owner_font = nullptr;  /* and to WM_GETFONT, as a dialog answers */
std::function<void(HWND list, int code)> on_command;

LRESULT CALLBACK owner_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    Seen s{msg, wparam, lparam, {}, {}, {}};
    switch (msg) {
    case WM_MEASUREITEM:
        s.mis = *(MEASUREITEMSTRUCT *)lparam;
        seen.push_back(s);
        if (measured_height)
            ((MEASUREITEMSTRUCT *)lparam)->itemHeight = measured_height;
        return TRUE;
    case WM_DRAWITEM:
        s.dis = *(DRAWITEMSTRUCT *)lparam;
        seen.push_back(s);
        return TRUE;
    case WM_COMPAREITEM: {
        s.cis = *(COMPAREITEMSTRUCT *)lparam;
        seen.push_back(s);
        ULONG_PTR a = s.cis.itemData1, b = s.cis.itemData2;
        return a < b ? -1 : a > b ? 1 : 0;
    }
    case WM_CTLCOLORLISTBOX:
        seen.push_back(s);
        return (LRESULT)list_brush;
    case WM_GETFONT:
        return (LRESULT)owner_font;
    case WM_COMMAND:
        seen.push_back(s);
        if (on_command)
            on_command((HWND)lparam, HIWORD(wparam));
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
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
std::vector<int> codes()
{
    std::vector<int> out;
    for (const Seen &s : received(WM_COMMAND))
        out.push_back((short)HIWORD(s.wparam));
    return out;
}

LRESULT send(HWND w, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0)
{
    return SendMessageA(w, msg, wparam, lparam);
}

LRESULT add(HWND list, const char *text) { return send(list, LB_ADDSTRING, 0, (LPARAM)text); }

std::string text_of(HWND list, int index)
{
    LRESULT n = send(list, LB_GETTEXTLEN, (WPARAM)index);
    if (n < 0)
        return "<LB_ERR>";
    std::string s((size_t)n + 1, '\0');
    send(list, LB_GETTEXT, (WPARAM)index, (LPARAM)s.data());
    s.resize((size_t)n);
    return s;
}

std::vector<std::string> texts(HWND list)
{
    std::vector<std::string> out;
    for (int i = 0; i < (int)send(list, LB_GETCOUNT); ++i)
        out.push_back(text_of(list, i));
    return out;
}

std::vector<int> selected(HWND list)
{
    std::vector<int> out;
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

void click(HWND list, int index, WPARAM keys = 0)
{
    send(list, WM_LBUTTONDOWN, MK_LBUTTON | keys, centre_of(list, index));
    send(list, WM_LBUTTONUP, keys, centre_of(list, index));
}

class ListBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSA wc{};
        wc.lpfnWndProc = owner_proc;
        wc.lpszClassName = "ListOwner";
        RegisterClassA(&wc);
        owner = CreateWindowExA(0, "ListOwner", "", WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr,
                                nullptr, nullptr);
        ASSERT_NE(nullptr, owner);
        seen.clear();
        measured_height = 20;
        list_brush = nullptr;
        owner_font = nullptr;
        on_command = nullptr;
    }

    void TearDown() override
    {
        on_command = nullptr;
        PalFaultClear();
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

TEST(Collation, PunctuationBeforeDigitsBeforeLettersAccentsAfterCaseNever)
{
    EXPECT_EQ(0, lstrcmpiA("Alice", "aLICE"));
    EXPECT_EQ(-1, lstrcmpiA("alice", "Bob"));
    EXPECT_EQ(1, lstrcmpiA("bob", "Alice"));
    EXPECT_EQ(-1, lstrcmpiA("Al", "alice")) << "a prefix sorts first";
    EXPECT_EQ(-1, lstrcmpiA("x<", "x1")) << "punctuation before digits, unlike ASCII";
    EXPECT_EQ(-1, lstrcmpiA("x9", "xa"));
    EXPECT_EQ(-1, lstrcmpiA("x_", "xa")) << "underscore before letters in either case";
    EXPECT_EQ(-1, lstrcmpiA("x_", "XA"));
    EXPECT_EQ(-1, lstrcmpiA("a b", "ab")) << "a blank weighs less than any letter";
    EXPECT_EQ(-1, lstrcmpiA("Group\tAlice", "Group Alice")) << "tab before space";
    EXPECT_EQ(-1, lstrcmpiA("coop", "co-op")) << "a hyphen only breaks a tie";
    EXPECT_EQ(-1, lstrcmpiA("co-op", "cop"));
    EXPECT_NE(0, lstrcmpiA("a-bc", "ab-c"));
    EXPECT_EQ(-1, lstrcmpiA("ea", "\xE9" "a")) << "e before e-acute on a tie";
    EXPECT_EQ(-1, lstrcmpiA("\xE9" "a", "eb")) << "e-acute weighs as e";
    EXPECT_EQ(0, lstrcmpiA("\xC9", "\xE9")) << "accented capitals fold too";
    EXPECT_EQ(-1, lstrcmpiA(nullptr, ""));
    EXPECT_EQ(0, lstrcmpiA(nullptr, nullptr));
    EXPECT_EQ(1, lstrcmpiA("", nullptr));
}

TEST_F(ListBox, SortedListInsertsByCollationAndInsertStringIgnoresSorting)
{
    HWND list = make(LBS_SORT | LBS_HASSTRINGS);
    EXPECT_EQ(0, add(list, "charlie"));
    EXPECT_EQ(0, add(list, "Bob"));
    EXPECT_EQ(2, add(list, "dave"));
    EXPECT_EQ(0, add(list, "bob")) << "an equal text goes in front of the listed one";
    EXPECT_EQ(0, add(list, "1x"));
    EXPECT_EQ(0, add(list, "<x>")) << "punctuation sorts before digits";
    EXPECT_EQ((std::vector<std::string>{"<x>", "1x", "bob", "Bob", "charlie", "dave"}),
              texts(list));

    EXPECT_EQ(0, send(list, LB_INSERTSTRING, 0, (LPARAM)"zulu")) << "no sorting";
    EXPECT_EQ(7, send(list, LB_INSERTSTRING, (WPARAM)-1, (LPARAM)"alpha")) << "-1 appends";
    EXPECT_EQ(8, send(list, LB_INSERTSTRING, 8, (LPARAM)"end")) << "the count is a place";
    EXPECT_EQ(LB_ERR, send(list, LB_INSERTSTRING, 10, (LPARAM)"beyond"));
    EXPECT_EQ(9, send(list, LB_GETCOUNT));
    EXPECT_EQ("zulu", text_of(list, 0));
    EXPECT_EQ("end", text_of(list, 8));

    HWND plain = make(0);
    EXPECT_EQ(0, add(plain, "b"));
    EXPECT_EQ(1, add(plain, "a")) << "an unsorted list appends";
    EXPECT_TRUE(received(WM_COMMAND).empty());
    EXPECT_TRUE(received(WM_COMPAREITEM).empty()) << "lists with strings compare them";
}

TEST_F(ListBox, BadIndexesAnswerLbErrAndChangeNothing)
{
    HWND list = make(LBS_HASSTRINGS);
    char buf[32];
    for (WPARAM bad : {(WPARAM)-1, (WPARAM)0, (WPARAM)5}) {
        EXPECT_EQ(LB_ERR, send(list, LB_GETTEXT, bad, (LPARAM)buf)) << (INT_PTR)bad;
        EXPECT_EQ(LB_ERR, send(list, LB_GETTEXTLEN, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_GETITEMDATA, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_SETITEMDATA, bad, 7));
        EXPECT_EQ(LB_ERR, send(list, LB_DELETESTRING, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_GETSEL, bad));
    }
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL)) << "empty";

    add(list, "one");
    add(list, "two");
    for (WPARAM bad : {(WPARAM)-1, (WPARAM)2, (WPARAM)1000}) {
        EXPECT_EQ(LB_ERR, send(list, LB_GETTEXT, bad, (LPARAM)buf));
        EXPECT_EQ(LB_ERR, send(list, LB_GETTEXTLEN, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_GETITEMDATA, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_SETITEMDATA, bad, 7));
        EXPECT_EQ(LB_ERR, send(list, LB_DELETESTRING, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_GETSEL, bad));
        EXPECT_EQ(LB_ERR, send(list, LB_GETITEMRECT, bad, (LPARAM)buf));
    }
    EXPECT_EQ(LB_ERR, send(list, LB_GETTEXT, 0, 0)) << "no buffer";
    EXPECT_EQ(2, send(list, LB_GETCOUNT));

    /* Text and data of good indexes: exactly the text and its zero. */
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(3, send(list, LB_GETTEXT, 1, (LPARAM)buf));
    EXPECT_STREQ("two", buf);
    EXPECT_EQ('x', buf[4]);
    EXPECT_EQ(3, send(list, LB_GETTEXTLEN, 1));
    EXPECT_EQ(0, send(list, LB_GETITEMDATA, 1)) << "new items carry no data";
    EXPECT_EQ(TRUE, send(list, LB_SETITEMDATA, 1, 16));
    EXPECT_EQ(16, send(list, LB_GETITEMDATA, 1));
    EXPECT_EQ(TRUE, send(list, LB_SETITEMDATA, 0, -1));
    EXPECT_EQ(-1, send(list, LB_GETITEMDATA, 0)) << "data may look like LB_ERR";
}

TEST_F(ListBox, DeletingReturnsTheCountAndTheLastDeletionResetsTheList)
{
    HWND list = make(LBS_EXTENDEDSEL);
    for (const char *t : {"a", "b", "c", "d"})
        add(list, t);
    send(list, LB_SETSEL, TRUE, 1);
    send(list, LB_SETSEL, TRUE, 3);
    EXPECT_EQ(3, send(list, LB_DELETESTRING, 0));
    EXPECT_EQ((std::vector<int>{0, 2}), selected(list)) << "selection moves with the items";
    EXPECT_EQ(2, send(list, LB_GETCARETINDEX)) << "the caret stays on its item";
    EXPECT_EQ(2, send(list, LB_GETANCHORINDEX));
    EXPECT_EQ(2, send(list, LB_DELETESTRING, 2));
    EXPECT_EQ((std::vector<int>{0}), selected(list));
    EXPECT_EQ(1, send(list, LB_GETCARETINDEX)) << "the caret left the end of the list";
    EXPECT_EQ(-1, send(list, LB_GETANCHORINDEX)) << "the anchor went with its item";

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
    EXPECT_EQ(0, send(list, LB_GETCOUNT));
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL));
    EXPECT_EQ(0, send(list, LB_GETSELCOUNT));
}

TEST_F(ListBox, SingleSelectionAnswersLbErrForMultipleSelectionMessages)
{
    HWND list = make(LBS_NOTIFY);
    for (const char *t : {"a", "b", "c", "d"})
        add(list, t);
    int items[4] = {9, 9, 9, 9};
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL));
    EXPECT_EQ(0, send(list, LB_GETCARETINDEX));
    EXPECT_EQ(LB_ERR, send(list, LB_GETANCHORINDEX));
    EXPECT_EQ(LB_ERR, send(list, LB_GETSELCOUNT));
    EXPECT_EQ(LB_ERR, send(list, LB_GETSELITEMS, 4, (LPARAM)items));
    EXPECT_EQ(LB_ERR, send(list, LB_SETSEL, TRUE, 1));
    EXPECT_EQ(LB_ERR, send(list, LB_SETSEL, TRUE, -1));
    EXPECT_EQ(LB_ERR, send(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(0, 3)));
    EXPECT_TRUE(selected(list).empty());

    EXPECT_EQ(2, send(list, LB_SETCURSEL, 2));
    EXPECT_EQ(2, send(list, LB_GETCURSEL));
    EXPECT_EQ(2, send(list, LB_GETCARETINDEX));
    EXPECT_EQ(LB_ERR, send(list, LB_GETANCHORINDEX)) << "LB_SETCURSEL sets no anchor";
    EXPECT_EQ(1, send(list, LB_GETSEL, 2));
    EXPECT_EQ(0, send(list, LB_GETSEL, 1));
    EXPECT_EQ(1, send(list, LB_SETCURSEL, 1));
    EXPECT_EQ((std::vector<int>{1}), selected(list)) << "one item at a time";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, 4)) << "beyond the list";
    EXPECT_EQ(1, send(list, LB_GETCURSEL)) << "and nothing changed";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, (WPARAM)-1)) << "clearing answers LB_ERR";
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL));

    /* Insertions and deletions move the selection with its item. */
    send(list, LB_SETCURSEL, 2);
    send(list, LB_INSERTSTRING, 0, (LPARAM)"first");
    EXPECT_EQ(3, send(list, LB_GETCURSEL));
    send(list, LB_DELETESTRING, 1);
    EXPECT_EQ(2, send(list, LB_GETCURSEL));
    send(list, LB_DELETESTRING, 2);
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL)) << "the selected item is gone";
    EXPECT_TRUE(received(WM_COMMAND).empty()) << "messages never notify";
}

TEST_F(ListBox, ExtendedSelectionByMessages)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    EXPECT_EQ(LB_ERR, send(list, LB_GETCURSEL)) << "empty";
    EXPECT_EQ(0, send(list, LB_GETSELCOUNT));
    for (const char *t : {"a", "b", "c", "d", "e"})
        add(list, t);
    EXPECT_EQ(0, send(list, LB_GETCURSEL)) << "the caret item, although nothing is selected";
    EXPECT_EQ(LB_ERR, send(list, LB_SETCURSEL, 1)) << "multiple selection";
    EXPECT_TRUE(selected(list).empty());

    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, TRUE, 3));
    EXPECT_EQ(3, send(list, LB_GETANCHORINDEX));
    EXPECT_EQ(3, send(list, LB_GETCARETINDEX));
    EXPECT_EQ(3, send(list, LB_GETCURSEL));
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, FALSE, 1));
    EXPECT_EQ(1, send(list, LB_GETCARETINDEX)) << "even deselecting moves the caret";
    EXPECT_EQ(1, send(list, LB_GETCURSEL)) << "the caret, not a selected item";
    EXPECT_EQ(LB_ERR, send(list, LB_SETSEL, TRUE, 5));
    EXPECT_EQ(LB_ERR, send(list, LB_SETSEL, TRUE, -2));

    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, TRUE, -1));
    EXPECT_EQ(5, send(list, LB_GETSELCOUNT));
    EXPECT_EQ(1, send(list, LB_GETCARETINDEX)) << "-1 leaves caret and anchor";
    int items[6] = {-7, -7, -7, -7, -7, -7};
    EXPECT_EQ(3, send(list, LB_GETSELITEMS, 3, (LPARAM)items)) << "no more than asked for";
    EXPECT_EQ((std::vector<int>{0, 1, 2, -7}), std::vector<int>(items, items + 4));
    EXPECT_EQ(0, send(list, LB_GETSELITEMS, 0, (LPARAM)items));
    EXPECT_EQ(LB_ERR, send(list, LB_GETSELITEMS, 3, 0));
    EXPECT_EQ(LB_OKAY, send(list, LB_SETSEL, FALSE, -1));
    EXPECT_EQ(0, send(list, LB_GETSELCOUNT));

    /* Ranges are unsigned words in either order, cut at the list's end. */
    EXPECT_EQ(LB_OKAY, send(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(3, 1)));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), selected(list));
    send(list, LB_SETSEL, FALSE, -1);
    EXPECT_EQ(LB_OKAY, send(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(3, -1)));
    EXPECT_EQ((std::vector<int>{3, 4}), selected(list));
    send(list, LB_SETSEL, FALSE, -1);
    EXPECT_EQ(LB_OKAY, send(list, LB_SELITEMRANGE, TRUE, MAKELPARAM(-5, 9)));
    EXPECT_TRUE(selected(list).empty()) << "-5 is 65531";
    EXPECT_TRUE(received(WM_COMMAND).empty()) << "messages never notify";
}

TEST_F(ListBox, FindStringExactSearchesAfterTheStartAndWraps)
{
    HWND list = make(LBS_HASSTRINGS);
    for (const char *t : {"Bob", "alice", "BOB", "Bobby"})
        add(list, t);
    EXPECT_EQ(0, send(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"bob"));
    EXPECT_EQ(2, send(list, LB_FINDSTRINGEXACT, 0, (LPARAM)"bob")) << "after the start";
    EXPECT_EQ(0, send(list, LB_FINDSTRINGEXACT, 2, (LPARAM)"bob")) << "wrapping round";
    EXPECT_EQ(0, send(list, LB_FINDSTRINGEXACT, 3, (LPARAM)"bob"));
    EXPECT_EQ(0, send(list, LB_FINDSTRINGEXACT, 99, (LPARAM)"bob")) << "from the top";
    EXPECT_EQ(1, send(list, LB_FINDSTRINGEXACT, 1, (LPARAM)"ALICE")) << "back to the start";
    EXPECT_EQ(LB_ERR, send(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"bo"));
    EXPECT_EQ(LB_ERR, send(list, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"carol"));
    EXPECT_EQ(3, send(list, LB_FINDSTRING, 2, (LPARAM)"bo")) << "a prefix";
    EXPECT_EQ(0, send(list, LB_FINDSTRING, 3, (LPARAM)"BO"));
    EXPECT_EQ(LB_ERR, send(list, LB_FINDSTRING, (WPARAM)-1, (LPARAM)"Bobby2"));
    HWND empty = make(0);
    EXPECT_EQ(LB_ERR, send(empty, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)""));
}

TEST_F(ListBox, ClicksSelectAndNotifyOnRelease)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(16, 0));
    for (const char *t : {"a", "b", "c", "d", "e"})
        add(list, t);
    seen.clear();

    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    EXPECT_EQ((std::vector<int>{1}), selected(list)) << "the press selects";
    EXPECT_EQ(std::vector<int>{LBN_SETFOCUS}, codes()) << "the press takes the focus";
    seen.clear();
    send(list, WM_LBUTTONUP, 0, centre_of(list, 1));
    EXPECT_EQ(std::vector<int>{LBN_SELCHANGE}, codes()) << "the release notifies";
    ASSERT_EQ(1u, received(WM_COMMAND).size());
    EXPECT_EQ(MAKEWPARAM(kListId, LBN_SELCHANGE), received(WM_COMMAND)[0].wparam);
    EXPECT_EQ((LPARAM)list, received(WM_COMMAND)[0].lparam);
    EXPECT_EQ(1, send(list, LB_GETANCHORINDEX));
    EXPECT_EQ(1, send(list, LB_GETCARETINDEX));

    seen.clear();
    click(list, 3, MK_CONTROL);
    EXPECT_EQ((std::vector<int>{1, 3}), selected(list)) << "Ctrl adds";
    EXPECT_EQ(3, send(list, LB_GETANCHORINDEX));
    click(list, 0, MK_SHIFT);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), selected(list)) << "Shift: anchor to item";
    EXPECT_EQ(3, send(list, LB_GETANCHORINDEX)) << "Shift keeps the anchor";
    EXPECT_EQ(0, send(list, LB_GETCARETINDEX));
    click(list, 4, MK_SHIFT | MK_CONTROL);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), selected(list));
    click(list, 2);
    EXPECT_EQ((std::vector<int>{2}), selected(list)) << "a plain click selects one";
    click(list, 2, MK_CONTROL);
    EXPECT_TRUE(selected(list).empty()) << "Ctrl toggles";
    EXPECT_EQ(2, send(list, LB_GETCURSEL)) << "the clicked item is current";
    EXPECT_EQ((std::vector<int>(5, LBN_SELCHANGE)), codes());

    /* Below the last item: nothing happens, nothing is reported. */
    seen.clear();
    click(list, 0);
    seen.clear();
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 95));
    send(list, WM_LBUTTONUP, 0, MAKELPARAM(5, 95));
    EXPECT_EQ((std::vector<int>{0}), selected(list));
    EXPECT_TRUE(codes().empty());

    /* Dragging with the button down extends from the anchor. */
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    send(list, WM_MOUSEMOVE, MK_LBUTTON, centre_of(list, 3));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), selected(list));
    send(list, WM_LBUTTONUP, 0, centre_of(list, 3));
    EXPECT_EQ(std::vector<int>{LBN_SELCHANGE}, codes());
    send(list, WM_MOUSEMOVE, 0, centre_of(list, 0));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), selected(list)) << "not without the button";
}

TEST_F(ListBox, DoubleClickNotifiesBetweenTheSelectionChanges)
{
    HWND list = make(LBS_SORT | LBS_EXTENDEDSEL | LBS_NOTIFY);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(16, 0));
    for (const char *t : {"c", "a", "b"})
        add(list, t);
    send(list, WM_SETFOCUS);
    seen.clear();
    int picked = -2;
    on_command = [&](HWND from, int code) {
        if (code == LBN_DBLCLK)
            picked = (int)send(from, LB_GETCURSEL);
    };
    LPARAM at = centre_of(list, 2);
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    send(list, WM_LBUTTONUP, 0, at);
    send(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    send(list, WM_LBUTTONUP, 0, at);
    EXPECT_EQ((std::vector<int>{LBN_SELCHANGE, LBN_DBLCLK, LBN_SELCHANGE}), codes());
    EXPECT_EQ(2, picked) << "the owner finds the double-clicked item current";

    seen.clear();
    send(list, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 95));
    EXPECT_TRUE(codes().empty()) << "a double-click beside the items";

    HWND quiet = make(LBS_EXTENDEDSEL);
    add(quiet, "x");
    send(quiet, WM_SETFOCUS);
    seen.clear();
    send(quiet, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(quiet, 0));
    send(quiet, WM_LBUTTONUP, 0, centre_of(quiet, 0));
    send(quiet, WM_LBUTTONDBLCLK, MK_LBUTTON, centre_of(quiet, 0));
    send(quiet, WM_LBUTTONUP, 0, centre_of(quiet, 0));
    EXPECT_TRUE(codes().empty()) << "no LBS_NOTIFY, no notifications";
    EXPECT_EQ((std::vector<int>{0}), selected(quiet));
}

TEST_F(ListBox, LosingTheFocusBeforeTheReleaseEndsThePress)
{
    HWND list = make(LBS_NOTIFY);
    add(list, "a");
    add(list, "b");
    send(list, WM_SETFOCUS);
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, centre_of(list, 1));
    seen.clear();
    send(list, WM_KILLFOCUS);
    EXPECT_EQ((std::vector<int>{LBN_SELCHANGE, LBN_KILLFOCUS}), codes());
    seen.clear();
    send(list, WM_LBUTTONUP, 0, centre_of(list, 1));
    EXPECT_TRUE(codes().empty()) << "the press was over";
}

TEST_F(ListBox, KeysMoveCaretAndSelectionAndScroll)
{
    HWND list = make(LBS_NOTIFY, 40); /* two items high with the system font */
    for (const char *t : {"a", "b", "c", "d", "e", "f"})
        add(list, t);
    int height = (int)send(list, LB_GETITEMHEIGHT);
    ASSERT_GT(height, 0);
    int page = 40 / height;
    ASSERT_GE(page, 1);
    send(list, WM_SETFOCUS);
    seen.clear();

    send(list, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(1, send(list, LB_GETCURSEL)) << "from the caret on item 0";
    EXPECT_EQ(1, send(list, LB_GETANCHORINDEX));
    send(list, WM_KEYDOWN, VK_END);
    EXPECT_EQ(5, send(list, LB_GETCURSEL));
    EXPECT_EQ(6 - page, send(list, LB_GETTOPINDEX)) << "the list scrolled to the caret";
    send(list, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(5, send(list, LB_GETCURSEL)) << "the end stops it";
    send(list, WM_KEYDOWN, VK_HOME);
    EXPECT_EQ(0, send(list, LB_GETCURSEL));
    EXPECT_EQ(0, send(list, LB_GETTOPINDEX));
    send(list, WM_KEYDOWN, VK_UP);
    send(list, WM_KEYDOWN, 'X');
    EXPECT_EQ((std::vector<int>(3, LBN_SELCHANGE)), codes())
        << "single selection: only keys that change it";

    HWND ext = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    for (const char *t : {"a", "b", "c"})
        add(ext, t);
    send(ext, WM_SETFOCUS);
    click(ext, 0);
    click(ext, 2, MK_SHIFT);
    seen.clear();
    send(ext, WM_KEYDOWN, VK_UP);
    EXPECT_EQ((std::vector<int>{1}), selected(ext)) << "the moved-to item alone";
    EXPECT_EQ(1, send(ext, LB_GETANCHORINDEX));
    send(ext, WM_KEYDOWN, VK_UP);
    send(ext, WM_KEYDOWN, VK_UP);
    EXPECT_EQ((std::vector<int>{0}), selected(ext));
    EXPECT_EQ((std::vector<int>(3, LBN_SELCHANGE)), codes())
        << "a multiple-selection list reports every arrow key";

    /* Shift extends from the anchor, Ctrl moves the caret alone. */
    pal::keyboard_set(VK_SHIFT, true);
    send(ext, WM_KEYDOWN, VK_DOWN);
    send(ext, WM_KEYDOWN, VK_DOWN);
    pal::keyboard_set(VK_SHIFT, false);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), selected(ext));
    EXPECT_EQ(0, send(ext, LB_GETANCHORINDEX));
    pal::keyboard_set(VK_CONTROL, true);
    send(ext, WM_KEYDOWN, VK_UP);
    EXPECT_EQ((std::vector<int>{0, 1, 2}), selected(ext));
    EXPECT_EQ(1, send(ext, LB_GETCARETINDEX));
    send(ext, WM_KEYDOWN, VK_SPACE);
    pal::keyboard_set(VK_CONTROL, false);
    EXPECT_EQ((std::vector<int>{0, 2}), selected(ext)) << "Ctrl+Space toggles";
    send(ext, WM_KEYDOWN, VK_SPACE);
    EXPECT_EQ((std::vector<int>{1}), selected(ext)) << "Space selects the caret item alone";

    HWND multi = make(LBS_MULTIPLESEL | LBS_NOTIFY);
    for (const char *t : {"a", "b", "c"})
        add(multi, t);
    click(multi, 0);
    seen.clear();
    send(multi, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ((std::vector<int>{0}), selected(multi)) << "the caret moves alone";
    EXPECT_EQ(1, send(multi, LB_GETCARETINDEX));
    EXPECT_EQ(0, send(multi, LB_GETANCHORINDEX));
    send(multi, WM_KEYDOWN, VK_SPACE);
    EXPECT_EQ((std::vector<int>{0, 1}), selected(multi)) << "space toggles";
    send(multi, WM_KEYDOWN, VK_UP);
    send(multi, WM_KEYDOWN, VK_UP);
    EXPECT_EQ((std::vector<int>(4, LBN_SELCHANGE)), codes()) << "every key, changed or not";
}

TEST_F(ListBox, TopIndexAndItemRectangles)
{
    HWND list = make(0, 50);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(20, 0));
    EXPECT_EQ(20, send(list, LB_GETITEMHEIGHT));
    EXPECT_EQ(LB_ERR, send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(0, 0)));
    RECT rc{};
    EXPECT_EQ(1, send(list, LB_GETITEMRECT, 0, (LPARAM)&rc)) << "item 0 of an empty list";
    for (const char *t : {"a", "b", "c", "d", "e"})
        add(list, t);
    EXPECT_EQ(1, send(list, LB_GETITEMRECT, 1, (LPARAM)&rc));
    EXPECT_EQ(20, rc.top);
    EXPECT_EQ(0, rc.left);
    EXPECT_EQ(120, rc.right);
    EXPECT_EQ(40, rc.bottom);
    EXPECT_EQ(1, send(list, LB_GETITEMRECT, 2, (LPARAM)&rc)) << "partly visible";
    EXPECT_EQ(0, send(list, LB_GETITEMRECT, 3, (LPARAM)&rc)) << "below the client area";
    EXPECT_EQ(60, rc.top);

    EXPECT_EQ(LB_OKAY, send(list, LB_SETTOPINDEX, 2));
    EXPECT_EQ(2, send(list, LB_GETTOPINDEX));
    EXPECT_EQ(0, send(list, LB_GETITEMRECT, 1, (LPARAM)&rc));
    EXPECT_EQ(-20, rc.top);
    EXPECT_EQ(LB_OKAY, send(list, LB_SETTOPINDEX, 4));
    EXPECT_EQ(3, send(list, LB_GETTOPINDEX)) << "the last page stays full";
    EXPECT_EQ(LB_ERR, send(list, LB_SETTOPINDEX, 5));
    send(list, LB_DELETESTRING, 4);
    send(list, LB_DELETESTRING, 3);
    EXPECT_EQ(1, send(list, LB_GETTOPINDEX)) << "deleting pulls the top back";
    send(list, LB_SETCURSEL, 0);
    EXPECT_EQ(0, send(list, LB_GETTOPINDEX)) << "the new selection is shown";
}

TEST_F(ListBox, PlainListPaintsItsRowsWithTheSelectionHighlighted)
{
    HWND list = make(LBS_NOTIFY, 100);
    send(list, LB_SETITEMHEIGHT, 0, MAKELPARAM(16, 0));
    for (const char *t : {"alpha", "bravo", "charlie"})
        add(list, t);
    send(list, LB_SETCURSEL, 1);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateBitmap(120, 100, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    seen.clear();
    send(list, WM_PAINT, (WPARAM)dc);
    ASSERT_EQ(1u, received(WM_CTLCOLORLISTBOX).size()) << "the owner may choose the colours";
    EXPECT_EQ((WPARAM)dc, received(WM_CTLCOLORLISTBOX)[0].wparam);
    EXPECT_EQ((LPARAM)list, received(WM_CTLCOLORLISTBOX)[0].lparam);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), GetPixel(dc, 1, 8));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, 1, 24)) << "the selected row";
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), GetPixel(dc, 1, 40));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), GetPixel(dc, 1, 80)) << "below the items";
    int inked = 0;
    for (int x = 0; x < 120; ++x)
        for (int y = 0; y < 16; ++y)
            inked += GetPixel(dc, x, y) != GetSysColor(COLOR_WINDOW);
    EXPECT_GT(inked, 10) << "the first row's text";

    list_brush = CreateSolidBrush(RGB(1, 2, 3));
    send(list, WM_PAINT, (WPARAM)dc);
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(dc, 1, 8)) << "the owner's brush";
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(dc, 1, 80));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, 1, 24));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteObject(list_brush);
    list_brush = nullptr;
    DeleteDC(dc);
}

TEST_F(ListBox, OwnerDrawnListIsMeasuredOnceAndDrawnByItsOwner)
{
    HWND list = make(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_SORT | LBS_EXTENDEDSEL |
                         LBS_NOTIFY | WS_VSCROLL | WS_BORDER,
                     50);
    auto measures = received(WM_MEASUREITEM);
    ASSERT_EQ(1u, measures.size()) << "once, while the list is created";
    RECT wr{};
    GetWindowRect(list, &wr);
    EXPECT_EQ(44, wr.bottom - wr.top) << "2 whole rows and the border: the part row went";
    EXPECT_EQ(40, pal::client_area(list).bottom);
    EXPECT_EQ((WPARAM)kListId, measures[0].wparam);
    EXPECT_EQ((UINT)ODT_LISTBOX, measures[0].mis.CtlType);
    EXPECT_EQ((UINT)kListId, measures[0].mis.CtlID);
    EXPECT_EQ(0u, measures[0].mis.itemID);
    EXPECT_GT(measures[0].mis.itemHeight, 0u) << "the font's height is suggested";
    EXPECT_EQ(20, send(list, LB_GETITEMHEIGHT));

    for (const char *t : {"Dave <d>", "alice <a>", "Carol <c>", "bob <b>"})
        add(list, t);
    send(list, LB_SETITEMDATA, 1, 1);
    send(list, LB_SETITEMDATA, 2, 16);
    send(list, LB_SETSEL, TRUE, 1);
    EXPECT_EQ(1u, received(WM_MEASUREITEM).size()) << "fixed height: never again";
    EXPECT_TRUE(received(WM_DRAWITEM).empty()) << "drawing waits for painting";

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(nullptr, dc);
    seen.clear();
    send(list, WM_PAINT, (WPARAM)dc);
    auto draws = received(WM_DRAWITEM);
    ASSERT_EQ(2u, draws.size()) << "the visible items";
    for (UINT i = 0; i < 2; ++i) {
        const DRAWITEMSTRUCT &d = draws[i].dis;
        EXPECT_EQ((WPARAM)kListId, draws[i].wparam);
        EXPECT_EQ((UINT)ODT_LISTBOX, d.CtlType);
        EXPECT_EQ((UINT)kListId, d.CtlID);
        EXPECT_EQ(i, d.itemID);
        EXPECT_EQ((UINT)ODA_DRAWENTIRE, d.itemAction);
        EXPECT_EQ(list, d.hwndItem);
        EXPECT_EQ(dc, d.hDC);
        RECT rc{};
        send(list, LB_GETITEMRECT, i, (LPARAM)&rc);
        EXPECT_EQ(rc.top, d.rcItem.top);
        EXPECT_EQ(rc.bottom, d.rcItem.bottom);
        EXPECT_EQ(rc.right, d.rcItem.right);
    }
    EXPECT_EQ(0u, draws[0].dis.itemState);
    EXPECT_EQ((UINT)ODS_SELECTED, draws[1].dis.itemState);
    EXPECT_EQ(0u, draws[0].dis.itemData);
    EXPECT_EQ(1u, draws[1].dis.itemData);

    /* With the focus, the caret item is drawn focused and then its focus. */
    send(list, WM_SETFOCUS);
    seen.clear();
    send(list, WM_PAINT, (WPARAM)dc);
    draws = received(WM_DRAWITEM);
    ASSERT_EQ(3u, draws.size());
    EXPECT_EQ(0u, draws[0].dis.itemState);
    EXPECT_EQ((UINT)(ODS_SELECTED | ODS_FOCUS), draws[1].dis.itemState);
    EXPECT_EQ((UINT)ODA_DRAWENTIRE, draws[1].dis.itemAction);
    EXPECT_EQ(1u, draws[2].dis.itemID);
    EXPECT_EQ((UINT)ODA_FOCUS, draws[2].dis.itemAction);
    EXPECT_EQ((UINT)(ODS_SELECTED | ODS_FOCUS), draws[2].dis.itemState);

    /* Scrolled, the items are drawn where LB_GETITEMRECT puts them. */
    send(list, LB_SETTOPINDEX, 2);
    seen.clear();
    send(list, WM_PAINT, (WPARAM)dc);
    draws = received(WM_DRAWITEM);
    ASSERT_EQ(2u, draws.size()) << "items 2 and 3; the caret item is out of sight";
    EXPECT_EQ(2u, draws[0].dis.itemID);
    EXPECT_EQ(0, draws[0].dis.rcItem.top);
    EXPECT_EQ(16u, draws[0].dis.itemData);

    /* An empty list with the focus has its focus drawn as item -1. */
    send(list, LB_RESETCONTENT);
    seen.clear();
    send(list, WM_PAINT, (WPARAM)dc);
    draws = received(WM_DRAWITEM);
    ASSERT_EQ(1u, draws.size());
    EXPECT_EQ((UINT)-1, draws[0].dis.itemID);
    EXPECT_EQ((UINT)ODA_FOCUS, draws[0].dis.itemAction);
    EXPECT_EQ((UINT)ODS_FOCUS, draws[0].dis.itemState);
    EXPECT_EQ(0, draws[0].dis.rcItem.top);
    EXPECT_EQ(20, draws[0].dis.rcItem.bottom);

    /* LBS_NOINTEGRALHEIGHT keeps the height, and the part row is drawn. */
    HWND loose = make(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT | WS_BORDER, 50);
    GetWindowRect(loose, &wr);
    EXPECT_EQ(50, wr.bottom - wr.top);
    for (const char *t : {"a", "b", "c", "d"})
        add(loose, t);
    seen.clear();
    send(loose, WM_PAINT, (WPARAM)dc);
    EXPECT_EQ(3u, received(WM_DRAWITEM).size()) << "2 whole rows, 1 in part";
    DeleteDC(dc);
}

TEST_F(ListBox, TheSuggestedItemHeightIsThatOfTheOwnersFont)
{
    owner_font = CreateFontA(-24, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0,
                             "MS Sans Serif");
    ASSERT_NE(nullptr, owner_font);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, owner_font);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(dc, &tm));
    SelectObject(dc, old);
    DeleteDC(dc);

    measured_height = 0; /* the owner leaves the suggestion as it is */
    HWND list = make(LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT);
    ASSERT_EQ(1u, received(WM_MEASUREITEM).size());
    EXPECT_EQ((UINT)tm.tmHeight, received(WM_MEASUREITEM)[0].mis.itemHeight);
    EXPECT_EQ(tm.tmHeight, send(list, LB_GETITEMHEIGHT));
    send(list, WM_SETFONT, (WPARAM)GetStockObject(SYSTEM_FONT), FALSE);
    EXPECT_EQ(tm.tmHeight, send(list, LB_GETITEMHEIGHT)) << "an owner-drawn list keeps it";

    HWND plain = make(LBS_HASSTRINGS);
    send(plain, WM_SETFONT, (WPARAM)owner_font, FALSE);
    EXPECT_EQ(tm.tmHeight, send(plain, LB_GETITEMHEIGHT)) << "a text list takes its font's";
    EXPECT_EQ((LRESULT)owner_font, send(plain, WM_GETFONT));
    DestroyWindow(list);
    DestroyWindow(plain);
    DeleteObject(owner_font);
    owner_font = nullptr;
}

TEST_F(ListBox, OwnerDrawnListWithoutStringsAsksItsOwnerToCompare)
{
    HWND list = make(LBS_OWNERDRAWFIXED | LBS_SORT);
    seen.clear();
    EXPECT_EQ(0, send(list, LB_ADDSTRING, 0, 30));
    EXPECT_TRUE(received(WM_COMPAREITEM).empty()) << "nothing to compare with";
    EXPECT_EQ(0, send(list, LB_ADDSTRING, 0, 10));
    EXPECT_EQ(1, send(list, LB_ADDSTRING, 0, 20));
    auto compares = received(WM_COMPAREITEM);
    ASSERT_EQ(3u, compares.size());
    const COMPAREITEMSTRUCT &c = compares[2].cis;
    EXPECT_EQ((WPARAM)kListId, compares[2].wparam);
    EXPECT_EQ((UINT)ODT_LISTBOX, c.CtlType);
    EXPECT_EQ((UINT)kListId, c.CtlID);
    EXPECT_EQ(list, c.hwndItem);
    EXPECT_EQ(1u, c.itemID1) << "the listed item first";
    EXPECT_EQ(30u, c.itemData1);
    EXPECT_EQ((UINT)-1, c.itemID2) << "the new one second";
    EXPECT_EQ(20u, c.itemData2);

    EXPECT_EQ(20, send(list, LB_GETITEMDATA, 1)) << "the value is the item's data";
    ULONG_PTR value = 0;
    EXPECT_EQ((LRESULT)sizeof value, send(list, LB_GETTEXTLEN, 1));
    EXPECT_EQ((LRESULT)sizeof value, send(list, LB_GETTEXT, 1, (LPARAM)&value));
    EXPECT_EQ(20u, value);
    EXPECT_EQ(2, send(list, LB_FINDSTRINGEXACT, (WPARAM)-1, 30)) << "found by its data";
}

TEST_F(ListBox, OutOfMemoryAnswersErrSpaceAndTellsTheOwner)
{
    HWND list = make(LBS_SORT);
    add(list, "a");
    seen.clear();
    PalFaultSet(PAL_FAULT_HEAPALLOC, 0, 1, 0);
    EXPECT_EQ(LB_ERRSPACE, add(list, "b"));
    EXPECT_EQ(std::vector<int>{LBN_ERRSPACE}, codes()) << "without LBS_NOTIFY too";
    EXPECT_EQ(1, send(list, LB_GETCOUNT));
    EXPECT_EQ(1, add(list, "b"));
    EXPECT_EQ(0, send(list, LB_INSERTSTRING, 0, (LPARAM)"c"));
}

TEST_F(ListBox, OwnerMayChangeOrDestroyTheListFromANotification)
{
    HWND list = make(LBS_EXTENDEDSEL | LBS_NOTIFY);
    for (const char *t : {"a", "b", "c"})
        add(list, t);
    on_command = [](HWND from, int code) {
        if (code == LBN_SELCHANGE)
            SendMessageA(from, LB_RESETCONTENT, 0, 0);
    };
    click(list, 2);
    EXPECT_EQ(0, send(list, LB_GETCOUNT));
    send(list, WM_KEYDOWN, VK_DOWN);

    add(list, "a");
    add(list, "b");
    on_command = [](HWND from, int code) {
        if (code == LBN_SELCHANGE || code == LBN_DBLCLK)
            DestroyWindow(from);
    };
    send(list, WM_SETFOCUS);
    send(list, WM_LBUTTONDBLCLK, MK_LBUTTON, centre_of(list, 1));
    EXPECT_FALSE(IsWindow(list));
    ASSERT_FALSE(codes().empty());
    EXPECT_EQ(LBN_DBLCLK, codes().back()) << "nothing after the list is gone";
}

} // namespace
