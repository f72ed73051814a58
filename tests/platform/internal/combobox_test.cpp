// The lists: the combo box as a sorted drop-down list that a person browses
// (the call manager reads nothing back), and the list box when memory runs
// out, which only injected failures make happen.
#include "support/msgseq_gtest.h"
#include "user/window.h"

#include <windows.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <string>

namespace {

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
        SEQ_RegisterClass("ComboOwner");
        owner = SEQ_CreateWindow("ComboOwner", nullptr, WS_VISIBLE);
        combo = CreateWindowExA(0, "COMBOBOX", "title",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT,
                                10, 10, 100, 80, owner, (HMENU)506, nullptr, nullptr);
        ASSERT_NE(nullptr, combo);
        for (const pal::WindowRef &w : pal::window_list())
            if (w->parent == combo)
                list = w->handle;
        ASSERT_NE(nullptr, list);
        for (const char *t : {"delta", "Alpha", "charlie", "bravo"})
            send(combo, CB_ADDSTRING, 0, (LPARAM)t);
    }

    void TearDown() override { DestroyWindow(owner); }

    HWND owner = nullptr, combo = nullptr, list = nullptr;
};

/* The list box inside is the one the list box tests prove. */
TEST_F(ComboBox, TheSelectionIsTheWindowText)
{
    EXPECT_EQ(2, send(combo, CB_ADDSTRING, 0, (LPARAM) "Charlie")) << "sorted, before its equal";
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    EXPECT_EQ(2, send(combo, CB_SETCURSEL, 2));
    EXPECT_EQ("Charlie", window_text(combo));
    EXPECT_EQ(CB_ERR, send(combo, CB_SETCURSEL, 5)) << "beyond the list clears the selection";
    EXPECT_EQ("", window_text(combo));
    EXPECT_EQ(CB_ERR, send(combo, CB_GETLBTEXTLEN, 5));
}

TEST_F(ComboBox, KeysAndClicksChooseItems)
{
    send(combo, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ("Alpha", window_text(combo)) << "the first item when none was selected";
    for (int key : {VK_END, VK_DOWN, VK_HOME, VK_UP})
        send(combo, WM_KEYDOWN, key);
    EXPECT_EQ(0, send(combo, CB_GETCURSEL));
    EXPECT_FALSE(IsWindowVisible(list)) << "the list stayed closed";

    send(combo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(50, 5));
    send(combo, WM_LBUTTONUP, 0, MAKELPARAM(50, 5));
    ASSERT_TRUE(IsWindowVisible(list));
    RECT rc{};
    ASSERT_EQ(1, send(list, LB_GETITEMRECT, 2, (LPARAM)&rc));
    send(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(rc.left + 2, rc.top + 2));
    send(list, WM_LBUTTONUP, 0, MAKELPARAM(rc.left + 2, rc.top + 2));
    EXPECT_EQ("charlie", window_text(combo));
    EXPECT_FALSE(IsWindowVisible(list));

    /* Keys in the dropped list choose as they go; Escape keeps the choice. */
    send(combo, CB_SHOWDROPDOWN, TRUE);
    EXPECT_EQ((LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTMESSAGE),
              send(combo, WM_GETDLGCODE))
        << "Enter and Escape close the list, not the dialog";
    send(combo, WM_KEYDOWN, VK_DOWN);
    send(combo, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ("delta", window_text(combo));
    EXPECT_FALSE(IsWindowVisible(list));
    send(combo, CB_SHOWDROPDOWN, TRUE);
    send(combo, WM_KILLFOCUS);
    EXPECT_FALSE(IsWindowVisible(list)) << "losing the focus closes the list";
}

TEST(Faults, AListOutOfMemoryAnswersErrSpaceAndTellsTheOwner)
{
    SEQ_RegisterClass("FaultListOwner");
    HWND owner = SEQ_CreateWindow("FaultListOwner", nullptr, WS_VISIBLE);
    HWND list = CreateWindowExA(0, "LISTBOX", "", WS_CHILD | WS_VISIBLE | LBS_SORT, 10, 10, 120,
                                100, owner, (HMENU)(INT_PTR)109, nullptr, nullptr);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(0, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "a"));
    SEQ_Only({WM_COMMAND});
    SEQ_Flush();
    PalFaultSet(PAL_FAULT_HEAPALLOC, 0, 1, 0);
    EXPECT_EQ(LB_ERRSPACE, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "b"));
    PalFaultClear();
    const std::vector<SEQ_MSG> told = {{WM_COMMAND, SEQ_SENT | SEQ_WPARAM | SEQ_LPARAM,
                                        MAKEWPARAM(109, LBN_ERRSPACE), (LPARAM)list}};
    EXPECT_TRUE(SEQ_Ok(told, "without LBS_NOTIFY too"));
    SEQ_Only({});
    EXPECT_EQ(1, SendMessageA(list, LB_GETCOUNT, 0, 0));
    EXPECT_EQ(1, SendMessageA(list, LB_ADDSTRING, 0, (LPARAM) "b"));
    DestroyWindow(owner);
    SEQ_Flush();
}

} // namespace
