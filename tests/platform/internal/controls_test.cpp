// The edit and button controls and their notifications.
#include "support/recorder.h"

#include <windows.h>
#include <paldriver.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kId = 5;

class Controls : public ::testing::Test {
  protected:
    void SetUp() override
    {
        register_recording_class("ControlParent");
        parent = make_window("ControlParent");
        ShowWindow(parent, SW_SHOW);
        received().clear();
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND make(const char *cls, const char *text, DWORD style, int width = 120)
    {
        HWND h = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, width, 20,
                                 parent, (HMENU)(UINT_PTR)kId, nullptr, nullptr);
        received().clear();
        return h;
    }
    HWND parent = nullptr;
};

/* The notification codes the parent got from the control, in order. */
std::vector<int> notes()
{
    std::vector<int> out;
    for (const SEQ_RECORD &r : received())
        if (r.msg == WM_COMMAND && LOWORD(r.wparam) == kId)
            out.push_back(HIWORD(r.wparam));
    return out;
}

std::string text_of(HWND h)
{
    char buf[512];
    return std::string(buf, (size_t)GetWindowTextA(h, buf, sizeof buf));
}

TEST_F(Controls, EditChangeNotifications)
{
    HWND e = make("EDIT", "hello", ES_AUTOHSCROLL);
    char buf[8] = "q";
    EXPECT_EQ(0, SendMessageA(e, WM_GETTEXT, 0, (LPARAM)buf));
    EXPECT_EQ('q', buf[0]) << "a buffer of no size is not touched";
    EXPECT_TRUE(notes().empty()) << "the text it was created with is no change";

    SetWindowTextA(e, "hello");
    EXPECT_EQ((std::vector<int>{EN_UPDATE, EN_CHANGE}), notes()) << "even the same text";
    SetWindowTextA(e, "");
    received().clear();
    EXPECT_TRUE(PalTypeText(e, "xy"));
    EXPECT_EQ("xy", text_of(e));
    EXPECT_EQ((std::vector<int>{EN_SETFOCUS, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}), notes());

    received().clear();
    SendMessageA(e, EM_SETSEL, 0, 0);
    SendMessageA(e, WM_CHAR, VK_BACK, 0);
    EXPECT_TRUE(notes().empty()) << "backspace at the start changes nothing";
}

TEST_F(Controls, EditLimitStopsInputButNotSetText)
{
    HWND e = make("EDIT", "", ES_AUTOHSCROLL);
    SendMessageA(e, EM_LIMITTEXT, 5, 0);
    PalTypeText(e, "abcdefg");
    EXPECT_EQ("abcde", text_of(e));
    std::vector<int> n = notes();
    EXPECT_EQ(5, std::count(n.begin(), n.end(), EN_CHANGE));

    /* Replacing a selection at the limit makes room. */
    SendMessageA(e, EM_SETSEL, 1, 3);
    SendMessageA(e, WM_CHAR, 'Z', 0);
    EXPECT_EQ("aZde", text_of(e));

    SetWindowTextA(e, "longer than the limit");
    EXPECT_EQ("longer than the limit", text_of(e));
}

TEST_F(Controls, AButtonClicksWhenReleasedOverIt)
{
    HWND b = make("BUTTON", "Go", BS_PUSHBUTTON);
    LPARAM inside = MAKELPARAM(5, 5), outside = MAKELPARAM(500, 5);
    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_TRUE(notes().empty()) << "nothing until the button comes up";
    SendMessageA(b, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ((std::vector<int>{BN_CLICKED}), notes());
    received().clear();
    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, outside);
    SendMessageA(b, WM_LBUTTONUP, 0, outside);
    EXPECT_TRUE(notes().empty()) << "released elsewhere";

    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 0);
    EXPECT_EQ((std::vector<int>{BN_CLICKED}), notes());
    received().clear();
    EnableWindow(b, FALSE);
    EXPECT_FALSE(PalClick(b));
    EXPECT_TRUE(notes().empty()) << "a disabled button does not click";
}

} // namespace
