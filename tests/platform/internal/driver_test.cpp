// The UI driver acts as a person would and only where a person could, and
// reads lists back (combo boxes: tests/ui/rsvp_test.cpp).
#include "support/instance.h"

#include <windows.h>
#include <paldriver.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<int, int>> commands_seen; /* (id, notification) */

INT_PTR CALLBACK listening_proc(HWND, UINT msg, WPARAM wparam, LPARAM)
{
    if (msg == WM_COMMAND)
        commands_seen.emplace_back(LOWORD(wparam), HIWORD(wparam));
    if (msg == WM_MEASUREITEM)
        return TRUE;
    return msg == WM_INITDIALOG;
}

class Driver : public ::testing::Test {
  protected:
    HWND open(int id)
    {
        HWND dlg = CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(id), nullptr,
                                      listening_proc, 0);
        ShowWindow(dlg, SW_SHOW);
        SetActiveWindow(dlg);
        commands_seen.clear();
        return dlg;
    }
};

TEST_F(Driver, ClicksOnListEntriesSelectAsTheModifierKeysSay)
{
    HWND dlg = open(200);
    HWND list = GetDlgItem(dlg, 202);
    for (int i = 0; i < 30; ++i) {
        char text[16];
        snprintf(text, sizeof text, "user %02d", i);
        SendMessageA(list, LB_ADDSTRING, 0, (LPARAM)text);
    }
    EXPECT_TRUE(PalClickListItem(list, 2));
    EXPECT_TRUE(PalClickListItem(list, 4, MK_CONTROL));
    EXPECT_EQ((std::vector<int>{2, 4}), PalListSelection(list));
    EXPECT_TRUE(PalClickListItem(list, 6, MK_SHIFT));
    EXPECT_EQ((std::vector<int>{4, 5, 6}), PalListSelection(list)) << "from the anchor";

    /* An entry below the visible ones is scrolled to first. */
    EXPECT_TRUE(PalClickListItem(list, 25));
    EXPECT_GT(SendMessageA(list, LB_GETTOPINDEX, 0, 0), 0);
    EXPECT_EQ((std::vector<int>{25}), PalListSelection(list));

    commands_seen.clear();
    EXPECT_TRUE(PalDoubleClickListItem(list, 25));
    EXPECT_NE(commands_seen.end(), std::find(commands_seen.begin(), commands_seen.end(),
                                             std::pair<int, int>{202, LBN_DBLCLK}));
    EXPECT_FALSE(PalClickListItem(list, 30)) << "no such entry";
    DestroyWindow(dlg);
}

TEST_F(Driver, ActsOnlyWhereAPersonCould)
{
    HWND dlg = open(100);
    HWND address = GetDlgItem(dlg, 102);
    EXPECT_TRUE(PalTypeText(address, "host"));
    EXPECT_TRUE(PalTypeText(address, ".net")) << "typing adds to the text";
    EXPECT_EQ("host.net", PalGetDlgItemText(dlg, 102));
    size_t heard = commands_seen.size();
    EXPECT_FALSE(PalTypeText(GetDlgItem(dlg, 110), "x")) << "not a field";
    EXPECT_FALSE(PalPressButton(dlg, 555));

    EnableWindow(dlg, FALSE);
    EXPECT_FALSE(PalPressButton(dlg, 110));
    EXPECT_FALSE(PalTypeText(address, "x"));
    EXPECT_FALSE(PalPressKey(dlg, VK_RETURN));
    EnableWindow(dlg, TRUE);
    ShowWindow(dlg, SW_HIDE);
    EXPECT_FALSE(PalPressButton(dlg, 110)) << "a hidden dialog";
    EXPECT_EQ(heard, commands_seen.size()) << "nothing else reached the dialog";
    EXPECT_EQ(nullptr, PalFindModalDialog());
    DestroyWindow(dlg);
}

} // namespace
