// The combo box control as a sorted drop-down list: items and CB_ERR answers,
// the selection shown as the window text, and the user's notifications.
#include "support/recorder.h"
#include "user/paint.h"
#include "user/window.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kComboId = 506;
using Ints = std::vector<int>;

LRESULT send(HWND w, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0)
{
    return SendMessageA(w, msg, wparam, lparam);
}

std::string window_text(HWND w)
{
    char buf[64];
    int n = GetWindowTextA(w, buf, sizeof buf);
    EXPECT_EQ(n, GetWindowTextLengthA(w));
    return std::string(buf, (size_t)n);
}

class ComboBox : public ::testing::Test {
  protected:
    void SetUp() override
    {
        register_recording_class("ComboOwner");
        owner = CreateWindowExA(0, "ComboOwner", "", WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr,
                                nullptr, nullptr);
        combo = CreateWindowExA(0, "COMBOBOX", "title",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT,
                                10, 10, 100, 80, owner, (HMENU)(INT_PTR)kComboId, nullptr, nullptr);
        ASSERT_NE(nullptr, combo);
        for (const pal::WindowRef &w : pal::window_list())
            if (w->parent == combo)
                list = w->handle;
        ASSERT_NE(nullptr, list);
        EXPECT_EQ("", window_text(combo)) << "a drop-down list shows no title";
        for (const char *t : {"delta", "Alpha", "charlie", "bravo"})
            send(combo, CB_ADDSTRING, 0, (LPARAM)t);
        received().clear();
    }

    void TearDown() override { DestroyWindow(owner); }

    /* The notification codes the owner got from the combo box, in order. */
    Ints codes()
    {
        Ints out;
        for (const Received &r : received())
            if (r.hwnd == owner && r.msg == WM_COMMAND) {
                EXPECT_EQ((LPARAM)combo, r.lparam);
                EXPECT_EQ(kComboId, LOWORD(r.wparam));
                out.push_back(HIWORD(r.wparam));
            }
        received().clear();
        return out;
    }

    void click_item(int index, bool drop = true)
    {
        if (drop)
            send(combo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 5));
        received().clear();
        RECT rc{};
        ASSERT_EQ(1, send(list, LB_GETITEMRECT, (WPARAM)index, (LPARAM)&rc));
        LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        send(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        send(list, WM_LBUTTONUP, 0, at);
    }

    HWND owner = nullptr, combo = nullptr, list = nullptr;
};

/* Item messages go to the list box inside, whose own behaviour the list box
 * tests prove; what is checked here is that each reaches it. */
TEST_F(ComboBox, ItemMessagesReachTheListAndAnswerCbErr)
{
    EXPECT_EQ(2, send(combo, CB_ADDSTRING, 0, (LPARAM) "Charlie")) << "sorted, before its equal";
    EXPECT_EQ(0, send(combo, CB_INSERTSTRING, 0, (LPARAM) "zulu")) << "inserting never sorts";
    EXPECT_EQ(5, send(combo, CB_DELETESTRING, 0));
    char buf[16];
    EXPECT_EQ(5, send(combo, CB_GETLBTEXT, 1, (LPARAM)buf));
    EXPECT_STREQ("bravo", buf);
    EXPECT_EQ(5, send(combo, CB_GETLBTEXTLEN, 1));
    EXPECT_EQ(2, send(combo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM) "CHARLIE"));
    EXPECT_EQ(4, send(combo, CB_FINDSTRING, (WPARAM)-1, (LPARAM) "d"));
    EXPECT_EQ(TRUE, send(combo, CB_SETITEMDATA, 2, 77));
    EXPECT_EQ(77, send(combo, CB_GETITEMDATA, 2));
    for (UINT msg :
         {CB_GETLBTEXT, CB_GETLBTEXTLEN, CB_GETITEMDATA, CB_SETITEMDATA, CB_DELETESTRING})
        EXPECT_EQ(CB_ERR, send(combo, msg, 5, (LPARAM)buf)) << msg;
    EXPECT_EQ(5, send(combo, CB_GETCOUNT));
    EXPECT_TRUE(codes().empty());
}

TEST_F(ComboBox, TheSelectionIsTheWindowTextAndSetCurSelNeverNotifies)
{
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ(2, send(combo, CB_SETCURSEL, 2));
    EXPECT_EQ("charlie", window_text(combo));
    EXPECT_EQ(CB_ERR, send(combo, CB_SETCURSEL, 4)) << "beyond the list clears the selection";
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ("", window_text(combo));
    EXPECT_EQ(3, send(combo, CB_SELECTSTRING, (WPARAM)-1, (LPARAM) "DEL"));
    EXPECT_EQ(CB_ERR, send(combo, CB_SELECTSTRING, (WPARAM)-1, (LPARAM) "x")) << "kept";
    EXPECT_EQ(CB_ERR, send(combo, WM_SETTEXT, 0, (LPARAM) "Alpha")) << "no edit field";
    EXPECT_EQ("delta", window_text(combo));
    send(combo, CB_DELETESTRING, 0);
    EXPECT_EQ(2, send(combo, CB_GETCURSEL)) << "the selection moves with its item";
    send(combo, CB_DELETESTRING, 2);
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ("", window_text(combo));
    EXPECT_TRUE(codes().empty());
}

TEST_F(ComboBox, KeysAndClicksChooseItemsAndNotify)
{
    send(combo, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ("Alpha", window_text(combo)) << "the first item when none was selected";
    for (int key : {VK_END, VK_DOWN, VK_HOME, VK_UP})
        send(combo, WM_KEYDOWN, key);
    EXPECT_EQ(0, send(combo, CB_GETCURSEL));
    EXPECT_EQ((Ints(3, CBN_SELCHANGE)), codes()) << "only changes are reported";
    EXPECT_FALSE(IsWindowVisible(list)) << "the list stayed closed";

    send(combo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 5));
    send(combo, WM_LBUTTONUP, 0, MAKELPARAM(50, 5));
    EXPECT_EQ((Ints{CBN_SETFOCUS, CBN_DROPDOWN}), codes());
    EXPECT_TRUE(IsWindowVisible(list));
    click_item(2, false);
    EXPECT_EQ((Ints{CBN_SELCHANGE, CBN_SELENDOK, CBN_CLOSEUP}), codes());
    EXPECT_EQ("charlie", window_text(combo));
    EXPECT_FALSE(IsWindowVisible(list));
    click_item(2);
    EXPECT_EQ((Ints{CBN_SELENDOK, CBN_CLOSEUP}), codes()) << "chosen, but nothing changed";

    /* Keys in the dropped list choose as they go; Escape keeps the choice. */
    send(combo, CB_SHOWDROPDOWN, TRUE);
    EXPECT_EQ((LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTMESSAGE),
              send(combo, WM_GETDLGCODE));
    codes();
    send(combo, WM_KEYDOWN, VK_DOWN);
    send(combo, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ((Ints{CBN_SELCHANGE, CBN_SELENDCANCEL, CBN_CLOSEUP}), codes());
    EXPECT_EQ("delta", window_text(combo));
    EXPECT_EQ((LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS), send(combo, WM_GETDLGCODE));
    send(combo, CB_SHOWDROPDOWN, TRUE);
    codes();
    send(combo, WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ((Ints{CBN_SELENDOK, CBN_CLOSEUP}), codes());
    send(combo, CB_SHOWDROPDOWN, TRUE);
    codes();
    send(combo, WM_KILLFOCUS);
    EXPECT_EQ((Ints{CBN_SELENDCANCEL, CBN_CLOSEUP, CBN_KILLFOCUS}), codes());
    EXPECT_FALSE(IsWindowVisible(list));
}

} // namespace
