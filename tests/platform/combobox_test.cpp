// The combo box control as a sorted drop-down list: items and CB_ERR
// answers, the selection shown as the window text, and the notifications
// of the user's choices, pinned as Windows behaves.
#include "support/recorder.h"
#include "user/paint.h"
#include "user/window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kComboId = 506;

LRESULT send(HWND w, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0)
{
    return SendMessageA(w, msg, wparam, lparam);
}

std::string window_text(HWND w)
{
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    int n = GetWindowTextA(w, buf, sizeof buf);
    EXPECT_EQ(n, (int)std::strlen(buf));
    EXPECT_EQ(n, GetWindowTextLengthA(w));
    return buf;
}

class ComboBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        register_recording_class("ComboOwner");
        owner = CreateWindowExA(0, "ComboOwner", "", WS_VISIBLE, 0, 0, 300, 300, nullptr,
                                nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, owner);
        combo = CreateWindowExA(0, "COMBOBOX", "title", WS_CHILD | WS_VISIBLE | WS_VSCROLL |
                                                            CBS_DROPDOWNLIST | CBS_SORT,
                                10, 10, 100, 80, owner, (HMENU)(INT_PTR)kComboId, nullptr,
                                nullptr);
        ASSERT_NE(nullptr, combo);
        for (const pal::WindowRef &w : pal::window_list())
            if (w->parent == combo)
                list = w->handle;
        ASSERT_NE(nullptr, list);
        received().clear();
    }

    void TearDown() override { DestroyWindow(owner); }

    void fill()
    {
        for (const char *t : {"delta", "Alpha", "charlie", "bravo"})
            send(combo, CB_ADDSTRING, 0, (LPARAM)t);
        received().clear();
    }

    /* The notification codes the owner got from the combo box, in order. */
    std::vector<int> codes()
    {
        std::vector<int> out;
        for (const Received &r : received())
            if (r.hwnd == owner && r.msg == WM_COMMAND) {
                EXPECT_EQ((LPARAM)combo, r.lparam);
                EXPECT_EQ(kComboId, LOWORD(r.wparam));
                out.push_back(HIWORD(r.wparam));
            }
        return out;
    }

    void click_list_item(int index)
    {
        RECT rc{};
        ASSERT_EQ(1, send(list, LB_GETITEMRECT, (WPARAM)index, (LPARAM)&rc));
        LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        send(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        send(list, WM_LBUTTONUP, 0, at);
    }

    HWND owner = nullptr;
    HWND combo = nullptr;
    HWND list = nullptr;
};

TEST_F(ComboBox, SortedItemsAndCbErrForBadIndexes)
{
    EXPECT_EQ(0, send(combo, CB_ADDSTRING, 0, (LPARAM)"delta"));
    EXPECT_EQ(0, send(combo, CB_ADDSTRING, 0, (LPARAM)"Alpha"));
    EXPECT_EQ(1, send(combo, CB_ADDSTRING, 0, (LPARAM)"charlie"));
    EXPECT_EQ(1, send(combo, CB_ADDSTRING, 0, (LPARAM)"bravo"));
    EXPECT_EQ(4, send(combo, CB_GETCOUNT));
    EXPECT_EQ(0, send(combo, CB_INSERTSTRING, 0, (LPARAM)"zulu")) << "inserting never sorts";
    EXPECT_EQ(0, send(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"ZULU"));
    EXPECT_EQ(4, send(combo, CB_DELETESTRING, 0));

    char buf[16];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(5, send(combo, CB_GETLBTEXT, 1, (LPARAM)buf));
    EXPECT_STREQ("bravo", buf);
    EXPECT_EQ('x', buf[6]);
    EXPECT_EQ(5, send(combo, CB_GETLBTEXTLEN, 3));
    EXPECT_EQ(2, send(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"CHARLIE"));
    EXPECT_EQ(3, send(combo, CB_FINDSTRING, (WPARAM)-1, (LPARAM)"d"));
    EXPECT_EQ(TRUE, send(combo, CB_SETITEMDATA, 2, 77));
    EXPECT_EQ(77, send(combo, CB_GETITEMDATA, 2));

    for (WPARAM bad : {(WPARAM)-1, (WPARAM)4, (WPARAM)50}) {
        EXPECT_EQ(CB_ERR, send(combo, CB_GETLBTEXT, bad, (LPARAM)buf));
        EXPECT_EQ(CB_ERR, send(combo, CB_GETLBTEXTLEN, bad));
        EXPECT_EQ(CB_ERR, send(combo, CB_GETITEMDATA, bad));
        EXPECT_EQ(CB_ERR, send(combo, CB_SETITEMDATA, bad, 1));
        EXPECT_EQ(CB_ERR, send(combo, CB_DELETESTRING, bad));
    }
    EXPECT_EQ(CB_ERR, send(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)"echo"));
    EXPECT_EQ(4, send(combo, CB_GETCOUNT));
    EXPECT_TRUE(codes().empty());
}

TEST_F(ComboBox, TheSelectionIsTheWindowTextAndSetCurSelNeverNotifies)
{
    EXPECT_EQ("", window_text(combo)) << "a drop-down list shows no title";
    fill();
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ(2, send(combo, CB_SETCURSEL, 2));
    EXPECT_EQ(2, send(combo, CB_GETCURSEL));
    EXPECT_EQ("charlie", window_text(combo));

    EXPECT_EQ(CB_ERR, send(combo, CB_SETCURSEL, 4)) << "beyond the list";
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL)) << "clears the selection";
    EXPECT_EQ("", window_text(combo));
    EXPECT_EQ(1, send(combo, CB_SETCURSEL, 1));
    EXPECT_EQ(CB_ERR, send(combo, CB_SETCURSEL, (WPARAM)-1));
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ("", window_text(combo));

    EXPECT_EQ(3, send(combo, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)"DEL"));
    EXPECT_EQ("delta", window_text(combo));
    EXPECT_EQ(CB_ERR, send(combo, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)"x"));
    EXPECT_EQ(3, send(combo, CB_GETCURSEL)) << "no match keeps the selection";

    EXPECT_EQ(CB_ERR, send(combo, WM_SETTEXT, 0, (LPARAM)"Alpha")) << "no edit field";
    EXPECT_EQ("delta", window_text(combo));

    /* Deleting moves the selection with its item, or ends it. */
    send(combo, CB_DELETESTRING, 0);
    EXPECT_EQ(2, send(combo, CB_GETCURSEL));
    EXPECT_EQ("delta", window_text(combo));
    send(combo, CB_DELETESTRING, 2);
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ("", window_text(combo));
    send(combo, CB_SETCURSEL, 0);
    EXPECT_EQ(CB_OKAY, send(combo, CB_RESETCONTENT));
    EXPECT_EQ(0, send(combo, CB_GETCOUNT));
    EXPECT_EQ("", window_text(combo));
    EXPECT_TRUE(codes().empty());
}

TEST_F(ComboBox, KeysChooseItemsAndNotifyEachChange)
{
    fill();
    send(combo, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(0, send(combo, CB_GETCURSEL)) << "the first item when none was selected";
    EXPECT_EQ("Alpha", window_text(combo));
    send(combo, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ("bravo", window_text(combo));
    send(combo, WM_KEYDOWN, VK_END);
    EXPECT_EQ("delta", window_text(combo));
    send(combo, WM_KEYDOWN, VK_DOWN);
    send(combo, WM_KEYDOWN, VK_HOME);
    send(combo, WM_KEYDOWN, VK_UP);
    EXPECT_EQ(0, send(combo, CB_GETCURSEL));
    EXPECT_EQ((std::vector<int>(4, CBN_SELCHANGE)), codes()) << "only changes are reported";
    EXPECT_FALSE(IsWindowVisible(list)) << "the list stayed closed";

    HWND empty = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 50, 50,
                                 owner, (HMENU)7, nullptr, nullptr);
    received().clear();
    send(empty, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ(CB_ERR, send(empty, CB_GETCURSEL));
    EXPECT_TRUE(codes().empty());
}

TEST_F(ComboBox, ClickingAnItemOfTheDroppedListChoosesItAndClosesTheList)
{
    fill();
    send(combo, CB_SETCURSEL, 0);
    send(combo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 5));
    send(combo, WM_LBUTTONUP, 0, MAKELPARAM(50, 5));
    EXPECT_EQ((std::vector<int>{CBN_SETFOCUS, CBN_DROPDOWN}), codes());
    EXPECT_TRUE(IsWindowVisible(list));
    received().clear();

    click_list_item(2);
    EXPECT_EQ((std::vector<int>{CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}), codes());
    EXPECT_EQ(2, send(combo, CB_GETCURSEL));
    EXPECT_EQ("charlie", window_text(combo));
    EXPECT_FALSE(IsWindowVisible(list));

    /* The same item again: chosen, but nothing changed. */
    send(combo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 5));
    received().clear();
    click_list_item(2);
    EXPECT_EQ((std::vector<int>{CBN_SELENDOK, CBN_CLOSEUP}), codes());

    /* Keys in the dropped list choose as they go; Escape closes it,
     * keeping what was chosen. */
    send(combo, CB_SHOWDROPDOWN, TRUE);
    EXPECT_EQ((LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTMESSAGE),
              send(combo, WM_GETDLGCODE));
    received().clear();
    send(combo, WM_KEYDOWN, VK_DOWN);
    send(combo, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ((std::vector<int>{CBN_SELCHANGE, CBN_SELENDCANCEL, CBN_CLOSEUP}), codes());
    EXPECT_EQ("delta", window_text(combo));
    EXPECT_EQ((LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS), send(combo, WM_GETDLGCODE));

    send(combo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 5));
    received().clear();
    send(combo, WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ((std::vector<int>{CBN_SELENDOK, CBN_CLOSEUP}), codes());
    send(combo, CB_SHOWDROPDOWN, TRUE);
    received().clear();
    send(combo, WM_KILLFOCUS);
    EXPECT_EQ((std::vector<int>{CBN_SELENDCANCEL, CBN_CLOSEUP, CBN_KILLFOCUS}), codes());
    EXPECT_FALSE(IsWindowVisible(list));
}

TEST_F(ComboBox, PaintsTheFieldWithTheSelectedTextAndTheDropButton)
{
    fill();
    send(combo, CB_SETCURSEL, 0);
    RECT rc{};
    GetClientRect(combo, &rc);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateBitmap(rc.right, rc.bottom, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(dc, bmp);
    send(combo, WM_PAINT, (WPARAM)dc);
    int mid = rc.bottom / 2;
    int button = rc.right - 2 - 17; /* inside the sunken edge */
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), GetPixel(dc, 0, mid)) << "the sunken edge";
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), GetPixel(dc, button - 3, mid));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), GetPixel(dc, button + 3, mid));
    EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), GetPixel(dc, (button + rc.right - 2) / 2, mid - 2))
        << "the arrow";
    int inked = 0;
    for (int x = 3; x < button - 1; ++x)
        for (int y = 3; y < rc.bottom - 3; ++y)
            inked += GetPixel(dc, x, y) != GetSysColor(COLOR_WINDOW);
    EXPECT_GT(inked, 10) << "the text \"Alpha\"";

    send(combo, WM_SETFOCUS);
    send(combo, WM_PAINT, (WPARAM)dc);
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), GetPixel(dc, button - 5, mid))
        << "the selection is highlighted while the combo box has the focus";
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}

TEST_F(ComboBox, TheWindowIsAsHighAsItsFieldAndTheListTakesTheRest)
{
    RECT rc{};
    GetWindowRect(combo, &rc);
    int item = (int)send(list, LB_GETITEMHEIGHT);
    EXPECT_EQ(item + 8, rc.bottom - rc.top);
    EXPECT_EQ(100, rc.right - rc.left);
    /* The list lies in the combo box's client area, below the field and
     * down to the height the combo box was created with, less the part of a
     * row. */
    RECT lr = pal::window_get(list)->rect;
    EXPECT_EQ(0, lr.left);
    EXPECT_EQ(item + 8, lr.top);
    EXPECT_EQ(100, lr.right);
    EXPECT_LE(lr.bottom, 80);
    EXPECT_GT(lr.bottom, 80 - item);
    EXPECT_EQ(0, pal::client_area(list).bottom % item);
}

} // namespace
