// The edit, button and static controls and painting: text retrieval, change
// notifications, limits, selection, clicks, and where windows draw - pinned
// as Windows behaves.
#include "support/recorder.h"
#include "gdi/gdi.h"
#include "user/paint.h"

#include <windows.h>
#include <paldriver.h>
#include <palpaint.h>

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
    for (const Received &r : received())
        if (r.msg == WM_COMMAND && LOWORD(r.wparam) == kId)
            out.push_back(HIWORD(r.wparam));
    return out;
}

std::string text_of(HWND h)
{
    char buf[512];
    return std::string(buf, (size_t)GetWindowTextA(h, buf, sizeof buf));
}

TEST_F(Controls, EditTextRetrievalCountsTheTerminatorInItsLimit)
{
    HWND e = make("EDIT", "hello", ES_AUTOHSCROLL);
    char buf[8] = "xxxxxxx";
    EXPECT_EQ(3, SendMessageA(e, WM_GETTEXT, 4, (LPARAM)buf));
    EXPECT_STREQ("hel", buf);
    buf[0] = 'q';
    EXPECT_EQ(0, SendMessageA(e, WM_GETTEXT, 0, (LPARAM)buf));
    EXPECT_EQ('q', buf[0]) << "a buffer of no size is not touched";
    EXPECT_EQ(0, SendMessageA(e, WM_GETTEXT, 1, (LPARAM)buf));
    EXPECT_STREQ("", buf);
    EXPECT_EQ(5, SendMessageA(e, WM_GETTEXT, 6, (LPARAM)buf));
    EXPECT_STREQ("hello", buf);
    EXPECT_EQ(5, SendMessageA(e, WM_GETTEXTLENGTH, 0, 0));
    EXPECT_EQ(5, GetWindowTextLengthA(e));
    EXPECT_TRUE(notes().empty()) << "the text it was created with is no change";
}

TEST_F(Controls, EditReportsEveryChangeOfTextAndOnlyChanges)
{
    HWND e = make("EDIT", "", ES_AUTOHSCROLL);
    EXPECT_TRUE(SetWindowTextA(e, "abc"));
    EXPECT_EQ((std::vector<int>{EN_UPDATE, EN_CHANGE}), notes());
    received().clear();
    SetWindowTextA(e, "abc");
    EXPECT_EQ((std::vector<int>{EN_UPDATE, EN_CHANGE}), notes()) << "even the same text";
    received().clear();
    SendMessageA(e, WM_SETTEXT, 0, 0);
    EXPECT_EQ("", text_of(e));
    EXPECT_EQ((std::vector<int>{EN_UPDATE, EN_CHANGE}), notes());

    received().clear();
    EXPECT_TRUE(PalTypeText(e, "xy"));
    EXPECT_EQ("xy", text_of(e));
    EXPECT_EQ((std::vector<int>{EN_SETFOCUS, EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}), notes());

    received().clear();
    SendMessageA(e, EM_SETSEL, 0, 0);
    SendMessageA(e, WM_CHAR, VK_BACK, 0);
    EXPECT_TRUE(notes().empty()) << "backspace at the start changes nothing";
    SendMessageA(e, WM_KEYDOWN, VK_END, 0);
    SendMessageA(e, WM_KEYDOWN, VK_DELETE, 0);
    EXPECT_TRUE(notes().empty()) << "nor does Delete at the end";
    SendMessageA(e, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ("x", text_of(e));
    SendMessageA(e, EM_REPLACESEL, FALSE, (LPARAM)"123");
    EXPECT_EQ("x123", text_of(e));
    EXPECT_EQ((std::vector<int>{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}), notes());

    EXPECT_TRUE(PalClearText(e));
    EXPECT_EQ("", text_of(e));
}

TEST_F(Controls, EditLimitStopsInputButNotSetText)
{
    HWND e = make("EDIT", "", ES_AUTOHSCROLL);
    EXPECT_EQ(30000, SendMessageA(e, EM_GETLIMITTEXT, 0, 0));
    SendMessageA(e, EM_LIMITTEXT, 5, 0);
    EXPECT_EQ(5, SendMessageA(e, EM_GETLIMITTEXT, 0, 0));
    PalTypeText(e, "abcdefg");
    EXPECT_EQ("abcde", text_of(e));
    std::vector<int> n = notes();
    EXPECT_EQ(5, std::count(n.begin(), n.end(), EN_CHANGE));
    EXPECT_EQ(2, std::count(n.begin(), n.end(), EN_MAXTEXT));

    /* Replacing a selection at the limit makes room. */
    SendMessageA(e, EM_SETSEL, 1, 3);
    SendMessageA(e, WM_CHAR, 'Z', 0);
    EXPECT_EQ("aZde", text_of(e));
    received().clear();
    SendMessageA(e, EM_SETSEL, 0, 0);
    SendMessageA(e, EM_REPLACESEL, FALSE, (LPARAM)"123");
    EXPECT_EQ("1aZde", text_of(e)) << "EM_REPLACESEL is cut to the limit";
    EXPECT_EQ((std::vector<int>{EN_MAXTEXT, EN_UPDATE, EN_CHANGE}), notes());

    SetWindowTextA(e, "longer than the limit");
    EXPECT_EQ("longer than the limit", text_of(e));
    SendMessageA(e, EM_LIMITTEXT, 0, 0);
    EXPECT_EQ(0x7FFFFFFE, SendMessageA(e, EM_GETLIMITTEXT, 0, 0));
}

TEST_F(Controls, EditSelectionRunsFromAnchorToCaret)
{
    HWND e = make("EDIT", "abcdef", ES_AUTOHSCROLL);
    DWORD from = 0, to = 0;
    SendMessageA(e, EM_SETSEL, 4, 1);
    EXPECT_EQ(MAKELONG(1, 4), (LONG)SendMessageA(e, EM_GETSEL, (WPARAM)&from, (LPARAM)&to));
    EXPECT_EQ(1u, from);
    EXPECT_EQ(4u, to);
    SendMessageA(e, EM_SETSEL, 2, 99);
    EXPECT_EQ(MAKELONG(2, 6), (LONG)SendMessageA(e, EM_GETSEL, 0, 0)) << "clamped to the end";
    SendMessageA(e, EM_SETSEL, 0, -1);
    EXPECT_EQ(MAKELONG(0, 6), (LONG)SendMessageA(e, EM_GETSEL, 0, 0));
    SendMessageA(e, EM_SETSEL, (WPARAM)-1, 0);
    EXPECT_EQ(MAKELONG(6, 6), (LONG)SendMessageA(e, EM_GETSEL, 0, 0))
        << "-1 drops the selection and keeps the caret";

    /* Shift with the keys moves the caret and keeps the anchor. */
    ShowWindow(parent, SW_SHOW);
    SetFocus(e);
    SendMessageA(e, EM_SETSEL, 3, 3);
    PalPressKey(parent, VK_HOME, MK_SHIFT);
    EXPECT_EQ(MAKELONG(0, 3), (LONG)SendMessageA(e, EM_GETSEL, 0, 0));
    PalPressKey(parent, VK_RIGHT);
    EXPECT_EQ(MAKELONG(1, 1), (LONG)SendMessageA(e, EM_GETSEL, 0, 0));
    SendMessageA(e, WM_CHAR, 'X', 0);
    EXPECT_EQ("aXbcdef", text_of(e));
    SetWindowTextA(e, "new");
    EXPECT_EQ(MAKELONG(0, 0), (LONG)SendMessageA(e, EM_GETSEL, 0, 0));
}

TEST_F(Controls, EditStylesReadOnlyCaseAndWidth)
{
    HWND ro = make("EDIT", "fixed", ES_AUTOHSCROLL | ES_READONLY);
    PalTypeText(ro, "more");
    SendMessageA(ro, WM_CHAR, VK_BACK, 0);
    EXPECT_EQ("fixed", text_of(ro));
    EXPECT_TRUE(notes().empty() || notes() == std::vector<int>{EN_SETFOCUS});
    SetWindowTextA(ro, "program");
    EXPECT_EQ("program", text_of(ro));
    SendMessageA(ro, EM_SETREADONLY, FALSE, 0);
    EXPECT_FALSE(GetWindowLongPtrA(ro, GWL_STYLE) & ES_READONLY);
    PalTypeText(ro, "!");
    EXPECT_EQ("program!", text_of(ro));

    HWND upper = make("EDIT", "", ES_AUTOHSCROLL | ES_UPPERCASE);
    PalTypeText(upper, "Mixed");
    EXPECT_EQ("MIXED", text_of(upper));

    /* Without ES_AUTOHSCROLL input stops at the width of the field. */
    HWND narrow = make("EDIT", "", WS_BORDER, 60);
    PalTypeText(narrow, std::string(40, 'w').c_str());
    size_t fits = text_of(narrow).size();
    EXPECT_GT(fits, 2u);
    EXPECT_LT(fits, 40u);
    std::vector<int> n = notes();
    EXPECT_EQ(40 - (long)fits, std::count(n.begin(), n.end(), EN_MAXTEXT));
    HWND wide = make("EDIT", "", WS_BORDER | ES_AUTOHSCROLL, 60);
    PalTypeText(wide, std::string(40, 'w').c_str());
    EXPECT_EQ(40u, text_of(wide).size()) << "it scrolls instead";

    EXPECT_EQ(DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS,
              SendMessageA(wide, WM_GETDLGCODE, 0, 0));
}

TEST_F(Controls, ButtonClicksWhenReleasedOverIt)
{
    HWND b = make("BUTTON", "Go", BS_PUSHBUTTON);
    LPARAM inside = MAKELPARAM(5, 5), outside = MAKELPARAM(500, 5);
    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_TRUE(notes().empty()) << "nothing until the button comes up";
    EXPECT_EQ(b, GetFocus());
    EXPECT_EQ(BST_PUSHED | BST_FOCUS, SendMessageA(b, BM_GETSTATE, 0, 0));
    SendMessageA(b, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ((std::vector<int>{BN_CLICKED}), notes());
    EXPECT_EQ((LPARAM)b, received().back().lparam);

    received().clear();
    SendMessageA(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    SendMessageA(b, WM_MOUSEMOVE, MK_LBUTTON, outside);
    EXPECT_EQ(BST_FOCUS, SendMessageA(b, BM_GETSTATE, 0, 0));
    SendMessageA(b, WM_LBUTTONUP, 0, outside);
    EXPECT_TRUE(notes().empty()) << "released elsewhere";

    SendMessageA(b, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(b, WM_KEYUP, VK_SPACE, 0);
    SendMessageA(b, BM_CLICK, 0, 0);
    EXPECT_EQ((std::vector<int>{BN_CLICKED, BN_CLICKED}), notes());
    received().clear();
    EnableWindow(b, FALSE);
    SendMessageA(b, BM_CLICK, 0, 0);
    EXPECT_FALSE(PalClick(b));
    EXPECT_TRUE(notes().empty()) << "a disabled button does not click";

    EXPECT_EQ(DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON, SendMessageA(b, WM_GETDLGCODE, 0, 0));
    SendMessageA(b, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    EXPECT_EQ(WS_CHILD | WS_VISIBLE | WS_DISABLED | BS_DEFPUSHBUTTON,
              (DWORD)GetWindowLongPtrA(b, GWL_STYLE));
    EXPECT_EQ(DLGC_BUTTON | DLGC_DEFPUSHBUTTON, SendMessageA(b, WM_GETDLGCODE, 0, 0));
}

TEST_F(Controls, StaticIsALabelThatTakesNoInput)
{
    HWND s = make("STATIC", "&Label", SS_LEFT);
    EXPECT_EQ(DLGC_STATIC, SendMessageA(s, WM_GETDLGCODE, 0, 0));
    HFONT font = pal::font_create_points("MS Sans Serif", 8, 0, false);
    SendMessageA(s, WM_SETFONT, (WPARAM)font, FALSE);
    EXPECT_EQ((LRESULT)font, SendMessageA(s, WM_GETFONT, 0, 0));
    SetWindowTextA(s, "Other");
    EXPECT_EQ("Other", text_of(s));
    EXPECT_TRUE(notes().empty());
    DestroyWindow(s);
    DeleteObject(font);
}

/* A window that paints with BeginPaint and says what it got. */
std::vector<std::string> painted;
LRESULT CALLBACK painting_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_ERASEBKGND) {
        painted.push_back("erase");
        return 1;
    }
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        painted.push_back(dc ? "paint" : "no dc");
        EndPaint(hwnd, &ps);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wparam, lparam);
}

TEST_F(Controls, WindowsPaintWhenInvalidAndDrawOntoTheirSurfaceWhenRendered)
{
    WNDCLASSA wc{};
    wc.lpfnWndProc = painting_proc;
    wc.lpszClassName = "Painting";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "Painting", "", WS_POPUP, 0, 0, 30, 20, nullptr, nullptr,
                             nullptr, nullptr);
    painted.clear();
    EXPECT_TRUE(UpdateWindow(w));
    EXPECT_TRUE(painted.empty()) << "nothing to paint";
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    EXPECT_EQ((std::vector<std::string>{"paint"}), painted);
    InvalidateRect(w, nullptr, TRUE);
    UpdateWindow(w);
    UpdateWindow(w);
    EXPECT_EQ((std::vector<std::string>{"paint", "erase", "paint"}), painted);
    EXPECT_FALSE(InvalidateRect((HWND)0x7777, nullptr, TRUE));
    EXPECT_FALSE(UpdateWindow((HWND)0x7777));
    HDC dc = GetDC(w);
    EXPECT_NE(nullptr, dc) << "a DC that measures, outside rendering";
    EXPECT_EQ(1, ReleaseDC(w, dc));
    DestroyWindow(w);

    /* A bordered edit rendered alone: its sunken border, then its field. */
    HWND e = make("EDIT", "", WS_BORDER | ES_AUTOHSCROLL, 40);
    HBITMAP bmp = PalRenderWindow(e);
    ASSERT_NE(nullptr, bmp);
    int width = 0, height = 0;
    std::vector<COLORREF> px;
    ASSERT_TRUE(pal::bitmap_read(bmp, &width, &height, &px));
    DeleteObject(bmp);
    EXPECT_EQ(40, width);
    EXPECT_EQ(20, height);
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), px[0]);
    EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), px[(size_t)width + 1]);
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), px[px.size() - 1]);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), px[(size_t)(10 * width + 20)]);
    RECT inner = pal::client_area(e);
    EXPECT_EQ(40 - 2 * pal::kEdgeWidth, inner.right);
    EXPECT_EQ(nullptr, PalRenderWindow((HWND)0x7777));
}

} // namespace
