// The dialog manager: modal loops, the owner, focus, keyboard, and the UI
// driver's limits (message boxes: ui/addrbook_dlg_test.cpp).  The controls
// and their notifications: edit, button, the combo box as a sorted drop-down
// list that a person browses (the call manager reads nothing back), and the
// list box when memory runs out, which only injected failures make happen.
// Window DCs (origin and clip) and text measured with the platform's fonts.
#include "gdi/gdi.h"
#include "platform/conformance/canvas.h"
#include "support/instance.h"
#include "support/msgseq_gtest.h"
#include "support/recorder.h"
#include "user/window.h"

#include <windows.h>
#include <paldriver.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kId = 5; /* the controls' */

LRESULT send(HWND w, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0)
{
    return SendMessageA(w, msg, wparam, lparam);
}

/* What the dialog procedure got (flags unused). */
std::vector<SEQ_RECORD> dialog_seen;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> dialog_does;

INT_PTR CALLBACK test_dialog_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    dialog_seen.push_back(SEQ_RECORD{dlg, msg, wparam, lparam, 0});
    return dialog_does ? dialog_does(dlg, msg, wparam, lparam) : msg == WM_INITDIALOG;
}

std::vector<SEQ_RECORD> seen_of(UINT msg)
{
    std::vector<SEQ_RECORD> out;
    for (const SEQ_RECORD &m : dialog_seen)
        if (m.msg == msg)
            out.push_back(m);
    return out;
}

class Dialogs : public ::testing::Test {
  protected:
    void SetUp() override
    {
        dialog_seen.clear();
        dialog_does = nullptr;
        received().clear();
        register_recording_class("DialogOwner");
        owner = make_window("DialogOwner");
        ShowWindow(owner, SW_SHOW);
    }
    void TearDown() override
    {
        SEQ_Only({});
        PalClearModalIdle();
        dialog_does = nullptr;
        DestroyWindow(owner);
    }
    HWND make(int id, LPARAM param = 0)
    {
        return CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(id), owner,
                                  test_dialog_proc, param);
    }
    /* A control of the owner's, with nothing recorded yet. */
    HWND control(const char *cls, const char *text, DWORD style, int height = 20)
    {
        HWND h = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 120, height,
                                 owner, (HMENU)(UINT_PTR)kId, nullptr, nullptr);
        received().clear();
        return h;
    }
    HWND owner = nullptr;
};
using Controls = Dialogs;

INT_PTR modal(HWND owner, LPCSTR name)
{
    return DialogBoxParamA(resource_instance(), name, owner, test_dialog_proc, 0);
}

DWORD button_type(HWND b)
{
    return (DWORD)GetWindowLongPtrA(b, GWL_STYLE) & BS_TYPEMASK;
}

/* The WM_COMMAND messages the dialog procedure got, as (wParam, lParam). */
using Commands = std::vector<std::pair<WPARAM, LPARAM>>;
Commands commands()
{
    Commands out;
    for (const SEQ_RECORD &m : seen_of(WM_COMMAND))
        out.emplace_back(m.wparam, m.lparam);
    dialog_seen.clear();
    return out;
}

/* Timers in the modal loop: the time-outs of ui/rsvp_test.cpp. */
TEST_F(Dialogs, ModalLoopDispatchesPostsAndEndsFromInsideOrOnAQuit)
{
    dialog_does = [this](HWND dlg, UINT msg, WPARAM wparam, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            PostMessageA(owner, WM_USER + 5, 1, 0);
        else if (msg == WM_COMMAND && LOWORD(wparam) == IDOK)
            EndDialog(dlg, 42);
        return msg == WM_INITDIALOG || msg == WM_COMMAND;
    };
    SEQ_Only({WM_ENABLE, WM_USER + 5, WM_ACTIVATE});
    SEQ_Flush();
    PalOnModalIdle([&](HWND dlg) { return PalPressButton(dlg, IDOK); });

    EXPECT_EQ(42, modal(owner, MAKEINTRESOURCEA(400)));
    ASSERT_EQ(1u, seen_of(WM_DESTROY).size()) << "destroyed before DialogBoxParamA returned";
    EXPECT_EQ(nullptr, PalFindModalDialog());
    static const SEQ_MSG owner_saw[] = {
        {WM_ENABLE, SEQ_SENT | SEQ_WPARAM, FALSE},
        {WM_ACTIVATE, SEQ_SENT | SEQ_WPARAM | SEQ_OPTIONAL, WA_INACTIVE},
        {WM_USER + 5, SEQ_WPARAM, 1}, /* dispatched by the modal loop before it idled */
        {WM_ENABLE, SEQ_SENT | SEQ_WPARAM, TRUE},
        {WM_ACTIVATE, SEQ_SENT | SEQ_WPARAM, WA_ACTIVE},
        {0, 0}};
    EXPECT_TRUE(SEQ_Ok(owner_saw, "the owner around a modal dialog"));
    EXPECT_EQ(owner, GetActiveWindow());

    /* An application quitting while a dialog is up: the quit ends the
     * dialog's loop and still reaches the application's own loop (EndDialog
     * during WM_INITDIALOG: ui/rsvp_test.cpp). */
    dialog_seen.clear();
    PalOnModalIdle([](HWND) {
        PostQuitMessage(3);
        return true;
    });
    modal(owner, MAKEINTRESOURCEA(400));
    EXPECT_EQ(1u, seen_of(WM_DESTROY).size());
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3u, m.wParam);
}

TEST_F(Dialogs, MissingTemplateOrOwnerFails)
{
    SetLastError(0);
    EXPECT_EQ(-1, modal(owner, MAKEINTRESOURCEA(999)));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
    EXPECT_TRUE(dialog_seen.empty());

    EXPECT_EQ(0, modal((HWND)0x7777, MAKEINTRESOURCEA(400)));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());

    PalFaultSet(PAL_FAULT_CREATEWINDOW, 2, 1, ERROR_NOT_ENOUGH_MEMORY); /* the second control */
    EXPECT_EQ(-1, modal(owner, MAKEINTRESOURCEA(400)));
    PalFaultClear();
    EXPECT_TRUE(IsWindowEnabled(owner)) << "a dialog that failed gives the owner back";
    EXPECT_TRUE(seen_of(WM_INITDIALOG).empty());
}

TEST_F(Dialogs, InitDialogDecidesTheFocusWhichTabArrowsAndTheDefaultButtonFollow)
{
    /* TRUE: the first tab stop takes the focus, an edit with its text selected. */
    dialog_does = [](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetDlgItemTextA(dlg, 102, "abc");
        return msg == WM_INITDIALOG;
    };
    HWND dlg = make(400, 0x1234);
    ASSERT_EQ(1u, seen_of(WM_INITDIALOG).size());
    EXPECT_EQ((WPARAM)GetDlgItem(dlg, 102), seen_of(WM_INITDIALOG)[0].wparam);
    EXPECT_EQ(0x1234, seen_of(WM_INITDIALOG)[0].lparam);
    EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus());
    EXPECT_EQ(MAKELONG(0, 3), (LONG)SendDlgItemMessageA(dlg, 102, EM_GETSEL, 0, 0));
    EXPECT_EQ(dlg, GetActiveWindow()) << "a visible template is shown and activated";
    DestroyWindow(dlg);

    /* FALSE: a focus the procedure set stays; otherwise the first tab stop. */
    dialog_does = [](HWND dlg, UINT msg, WPARAM, LPARAM param) -> INT_PTR {
        if (msg == WM_INITDIALOG && param)
            SetFocus(GetDlgItem(dlg, 404));
        return FALSE;
    };
    for (int focus : {404, 102}) {
        dlg = make(400, focus == 404);
        EXPECT_EQ(GetDlgItem(dlg, focus), GetFocus());
        DestroyWindow(dlg);
    }

    /* Enter presses the default button, which follows the focus (a disabled
     * default button: ui/addrbook_dlg_test.cpp). */
    dialog_does = nullptr;
    dlg = make(400);
    HWND ok = GetDlgItem(dlg, IDOK), cancel = GetDlgItem(dlg, IDCANCEL);
    dialog_seen.clear();
    PalPressKey(dlg, VK_RETURN);
    EXPECT_EQ((Commands{{MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok}}), commands());

    /* Tab walks the tab stops and wraps. */
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        PalPressKey(dlg, VK_TAB);
        order.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ((std::vector<int>{404, IDOK, IDCANCEL, 102, 404}), order);

    SetFocus(ok);
    PalPressKey(dlg, VK_RIGHT);
    EXPECT_EQ(cancel, GetFocus()) << "arrows move within the group";
    EXPECT_EQ((DWORD)BS_PUSHBUTTON, button_type(ok)) << "the focused button is the default";
    commands();
    PalPressKey(dlg, VK_RETURN);
    EXPECT_EQ((Commands{{MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)cancel}}), commands());
    SetFocus(GetDlgItem(dlg, 404));
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, button_type(ok)) << "and the dialog's again after it";
    DestroyWindow(dlg);
}

TEST_F(Dialogs, NestedDialogDisablesItsOwnerDialogWhichIsActivatedAgainAfterwards)
{
    HWND outer = nullptr;
    dialog_does = [&outer](HWND dlg, UINT msg, WPARAM wparam, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            if (!outer)
                outer = dlg;
            return TRUE;
        }
        if (msg != WM_COMMAND)
            return msg == WM_ACTIVATE; /* as the Invite dialog does */
        if (dlg == outer && LOWORD(wparam) == 112)
            DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(200), dlg, test_dialog_proc, 0);
        else if (LOWORD(wparam) == IDCANCEL)
            EndDialog(dlg, dlg == outer ? 0x9001 : 0);
        return TRUE;
    };
    bool outer_disabled = false, nested_done = false;
    PalOnModalIdle([&](HWND dlg) {
        if (PalDialogResourceId(dlg) == 200) {
            outer_disabled = !IsWindowEnabled(outer) && !PalPressButton(outer, 113);
            nested_done = true;
            dialog_seen.clear();
            return PalPressButton(dlg, IDCANCEL);
        }
        if (!nested_done)
            return PalPressButton(dlg, 112); /* returns when the nested dialog has ended */
        EXPECT_EQ(GetDlgItem(dlg, 112), GetFocus()) << "focus back where it was";
        return PalPressKey(dlg, VK_ESCAPE);
    });
    EXPECT_EQ(0x9001, modal(owner, MAKEINTRESOURCEA(100)));
    EXPECT_TRUE(outer_disabled) << "and a person cannot click it";
    EXPECT_TRUE(std::any_of(dialog_seen.begin(), dialog_seen.end(), [&](const SEQ_RECORD &m) {
        return m.hwnd == outer && m.msg == WM_ACTIVATE && LOWORD(m.wparam) == WA_ACTIVE;
    })) << "after the nested dialog closed, the outer one heard WA_ACTIVE";
}

/* The UI driver acts only where a person could, so that it cannot hide a
 * fault (what it does where a person can: the dialog tests of tests/ui). */
TEST_F(Dialogs, TheDriverActsOnlyWhereAPersonCould)
{
    HWND dlg = make(100);
    ShowWindow(dlg, SW_SHOW);
    SetActiveWindow(dlg);
    HWND address = GetDlgItem(dlg, 102);
    dialog_seen.clear();
    EXPECT_FALSE(PalTypeText(GetDlgItem(dlg, 110), "x")) << "not a field";
    EXPECT_FALSE(PalPressButton(dlg, 555));

    EnableWindow(dlg, FALSE);
    EXPECT_FALSE(PalPressButton(dlg, 110));
    EXPECT_FALSE(PalTypeText(address, "x"));
    EXPECT_FALSE(PalPressKey(dlg, VK_RETURN));
    EnableWindow(dlg, TRUE);
    ShowWindow(dlg, SW_HIDE);
    EXPECT_FALSE(PalPressButton(dlg, 110)) << "a hidden dialog";
    EXPECT_TRUE(commands().empty()) << "nothing reached the dialog";
    EXPECT_EQ(nullptr, PalFindModalDialog());
    DestroyWindow(dlg);
}

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
    int n = GetWindowTextA(h, buf, sizeof buf);
    EXPECT_EQ(n, GetWindowTextLengthA(h));
    return std::string(buf, (size_t)n);
}

TEST_F(Controls, EditChangeNotificationsAndTheLimit)
{
    HWND e = control("EDIT", "hello", ES_AUTOHSCROLL);
    char buf[8] = "q";
    EXPECT_EQ(0, send(e, WM_GETTEXT, 0, (LPARAM)buf));
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
    send(e, EM_SETSEL, 0, 0);
    send(e, WM_CHAR, VK_BACK);
    EXPECT_TRUE(notes().empty()) << "backspace at the start changes nothing";

    /* The limit stops typing but not SetWindowText. */
    SetWindowTextA(e, "");
    send(e, EM_LIMITTEXT, 5);
    received().clear();
    PalTypeText(e, "abcdefg");
    EXPECT_EQ("abcde", text_of(e));
    std::vector<int> n = notes();
    EXPECT_EQ(5, std::count(n.begin(), n.end(), EN_CHANGE));
    send(e, EM_SETSEL, 1, 3);
    send(e, WM_CHAR, 'Z');
    EXPECT_EQ("aZde", text_of(e)) << "replacing a selection at the limit makes room";
    SetWindowTextA(e, "longer than the limit");
    EXPECT_EQ("longer than the limit", text_of(e));
}

TEST_F(Controls, AButtonClicksWhenReleasedOverIt)
{
    HWND b = control("BUTTON", "Go", BS_PUSHBUTTON);
    LPARAM inside = MAKELPARAM(5, 5), outside = MAKELPARAM(500, 5);
    send(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    EXPECT_TRUE(notes().empty()) << "nothing until the button comes up";
    send(b, WM_LBUTTONUP, 0, inside);
    EXPECT_EQ((std::vector<int>{BN_CLICKED}), notes());
    received().clear();
    send(b, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    send(b, WM_MOUSEMOVE, MK_LBUTTON, outside);
    send(b, WM_LBUTTONUP, 0, outside);
    EXPECT_TRUE(notes().empty()) << "released elsewhere";

    send(b, WM_KEYDOWN, VK_SPACE);
    send(b, WM_KEYUP, VK_SPACE);
    EXPECT_EQ((std::vector<int>{BN_CLICKED}), notes());
    received().clear();
    EnableWindow(b, FALSE);
    EXPECT_FALSE(PalClick(b));
    EXPECT_TRUE(notes().empty()) << "a disabled button does not click";
}

/* The list box inside is the one the list box tests prove. */
TEST_F(Controls, AComboBoxShowsItsSelectionAsItsText)
{
    HWND combo = control("COMBOBOX", "title", WS_VSCROLL | CBS_DROPDOWNLIST | CBS_SORT, 80);
    HWND list = nullptr;
    for (const pal::WindowRef &w : pal::window_list())
        if (w->parent == combo)
            list = w->handle;
    ASSERT_NE(nullptr, list);
    for (const char *t : {"delta", "Alpha", "charlie", "bravo"})
        send(combo, CB_ADDSTRING, 0, (LPARAM)t);
    EXPECT_EQ(CB_ERR, send(combo, CB_GETCURSEL));
    send(combo, WM_KEYDOWN, VK_DOWN);
    EXPECT_EQ("Alpha", text_of(combo)) << "the first item when none was selected";
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
    EXPECT_EQ("charlie", text_of(combo));
    EXPECT_FALSE(IsWindowVisible(list));

    /* Keys in the dropped list choose as they go; Escape keeps the choice. */
    send(combo, CB_SHOWDROPDOWN, TRUE);
    EXPECT_EQ((LRESULT)(DLGC_WANTARROWS | DLGC_WANTCHARS | DLGC_WANTMESSAGE),
              send(combo, WM_GETDLGCODE))
        << "Enter and Escape close the list, not the dialog";
    send(combo, WM_KEYDOWN, VK_DOWN);
    send(combo, WM_KEYDOWN, VK_ESCAPE);
    EXPECT_EQ("delta", text_of(combo));
    EXPECT_FALSE(IsWindowVisible(list));
    send(combo, CB_SHOWDROPDOWN, TRUE);
    send(combo, WM_KILLFOCUS);
    EXPECT_FALSE(IsWindowVisible(list)) << "losing the focus closes the list";

    EXPECT_EQ(2, send(combo, CB_ADDSTRING, 0, (LPARAM) "Charlie")) << "sorted, before its equal";
    EXPECT_EQ(2, send(combo, CB_SETCURSEL, 2));
    EXPECT_EQ("Charlie", text_of(combo));
    EXPECT_EQ(CB_ERR, send(combo, CB_SETCURSEL, 5)) << "beyond the list clears the selection";
    EXPECT_EQ("", text_of(combo));
    EXPECT_EQ(CB_ERR, send(combo, CB_GETLBTEXTLEN, 5));
}

TEST_F(Controls, AListOutOfMemoryAnswersErrSpaceAndTellsTheOwner)
{
    HWND list = control("LISTBOX", "", LBS_SORT, 100);
    EXPECT_EQ(0, send(list, LB_ADDSTRING, 0, (LPARAM) "a"));
    SEQ_Only({WM_COMMAND});
    SEQ_Flush();
    PalFaultSet(PAL_FAULT_HEAPALLOC, 0, 1, 0);
    EXPECT_EQ(LB_ERRSPACE, send(list, LB_ADDSTRING, 0, (LPARAM) "b"));
    PalFaultClear();
    const std::vector<SEQ_MSG> told = {{WM_COMMAND, SEQ_SENT | SEQ_WPARAM | SEQ_LPARAM,
                                        MAKEWPARAM(kId, LBN_ERRSPACE), (LPARAM)list}};
    EXPECT_TRUE(SEQ_Ok(told, "without LBS_NOTIFY too"));
    SEQ_Only({});
    EXPECT_EQ(1, send(list, LB_GETCOUNT));
    EXPECT_EQ(1, send(list, LB_ADDSTRING, 0, (LPARAM) "b"));
}

int extent(HDC dc, const char *text)
{
    SIZE size{};
    GetTextExtentPoint32A(dc, text, (int)std::strlen(text), &size);
    return size.cx;
}

TEST(Gdi, WindowDcsDrawAtTheirOriginInsideTheirClip)
{
    HBITMAP surface = CreateBitmap(20, 20, 1, 32, nullptr);
    RECT clip{5, 5, 15, 10};
    HDC dc = pal::dc_create_window(surface, POINT{5, 5}, &clip);
    ASSERT_NE(nullptr, dc);
    RECT box{};
    EXPECT_EQ(SIMPLEREGION, GetClipBox(dc, &box));
    EXPECT_EQ((RECT{0, 0, 10, 5}), box);

    RECT huge{-100, -100, 100, 100};
    FillRect(dc, &huge, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetPixel(dc, 0, 0, 0x0000FF);
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    ASSERT_TRUE(pal::bitmap_read(surface, &w, &h, &px));
    auto at = [&](int x, int y) { return px[(size_t)y * (size_t)w + (size_t)x]; };
    EXPECT_EQ((std::vector<COLORREF>{0xFF, 0xFFFFFF, 0, 0, 0}),
              (std::vector{at(5, 5), at(14, 9), at(15, 9), at(14, 10), at(4, 5)}));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 10, 0));

    /* The DC keeps its surface while it lives; clipping only narrows. */
    EXPECT_TRUE(DeleteObject(surface));
    EXPECT_EQ(0x0000FFu, GetPixel(dc, 0, 0));
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(dc, 2, 0, 4, 5));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 0, 0));
    DeleteDC(dc);
}

TEST(Gdi, DialogFontMeasuresPrefixesAndLines)
{
    HFONT font = pal::font_create_points("MS Sans Serif", 8, 0, false);
    SIZE units{};
    ASSERT_TRUE(pal::font_base_units(font, &units));
    EXPECT_TRUE(units.cx == 7 && units.cy == 13) << units.cx << "x" << units.cy;
    EXPECT_FALSE(pal::font_base_units((HFONT)GetStockObject(WHITE_BRUSH), &units));
    Canvas c(10, 10, 0);
    HFONT helv = pal::font_create_points("Helv", 8, 0, false); /* the older name */
    HGDIOBJ old = SelectObject(c.dc, helv);
    const int helv_width = extent(c.dc, "Address Book");
    SelectObject(c.dc, font);
    DeleteObject(helv);
    EXPECT_EQ(helv_width, extent(c.dc, "Address Book"));
    auto calc = [&](const char *text, UINT format, int width = 200) {
        RECT r{3, 4, 3 + width, 100};
        int h = DrawTextA(c.dc, text, -1, &r, format | DT_CALCRECT);
        EXPECT_EQ(4 + h, r.bottom) << text;
        return std::make_pair(r.right - r.left, h);
    };

    EXPECT_EQ(std::make_pair(extent(c.dc, "Address"), 13), calc("&Address", DT_SINGLELINE));
    EXPECT_EQ(extent(c.dc, "&Address"), calc("&Address", DT_SINGLELINE | DT_NOPREFIX).first);
    EXPECT_EQ(39, calc("a\nb\r\nc", 0).second);
    EXPECT_EQ(13, calc("a\nb", DT_SINGLELINE).second);

    /* Word breaks wrap where the rectangle ends; a long word stays whole. */
    int both = extent(c.dc, "aaaa bbbbbb");
    EXPECT_EQ(std::make_pair(both, 13), calc("aaaa bbbbbb", DT_WORDBREAK, both));
    EXPECT_EQ(std::make_pair(extent(c.dc, "bbbbbb"), 26),
              calc("aaaa bbbbbb", DT_WORDBREAK, both - 1));
    EXPECT_EQ(std::make_pair(extent(c.dc, "abcdefghij"), 13), calc("abcdefghij", DT_WORDBREAK, 5));

    RECT r{3, 4, 50, 60};
    EXPECT_EQ(0, DrawTextA(c.dc, "", -1, &r, DT_CALCRECT));
    EXPECT_EQ((RECT{3, 4, 3, 4}), r);
    SelectObject(c.dc, old);
    DeleteObject(font);
}

} // namespace
