// The dialog manager: modal loops, the owner, focus, keyboard, and the UI
// driver's limits (message boxes: ui/addrbook_dlg_test.cpp).
#include "support/instance.h"
#include "support/msgseq_gtest.h"
#include "support/recorder.h"

#include <windows.h>
#include <paldriver.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

struct DialogMessage {
    HWND dlg;
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
};
std::vector<DialogMessage> dialog_seen;
std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> dialog_does;

INT_PTR CALLBACK test_dialog_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    dialog_seen.push_back(DialogMessage{dlg, msg, wparam, lparam});
    return dialog_does ? dialog_does(dlg, msg, wparam, lparam) : msg == WM_INITDIALOG;
}

std::vector<DialogMessage> seen_of(UINT msg)
{
    std::vector<DialogMessage> out;
    for (const DialogMessage &m : dialog_seen)
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
    HWND owner = nullptr;
};

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
    for (const DialogMessage &m : seen_of(WM_COMMAND))
        out.emplace_back(m.wparam, m.lparam);
    dialog_seen.clear();
    return out;
}

/* Timers in the modal loop: the time-outs of ui/rsvp_test.cpp. */
TEST_F(Dialogs, ModalLoopDispatchesPostsAndEndsFromInside)
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
}

/* An application quitting while a dialog is up: the quit ends the dialog's
 * loop and still reaches the application's own loop (EndDialog during
 * WM_INITDIALOG: ui/rsvp_test.cpp). */
TEST_F(Dialogs, AQuitEndsTheModalLoopAndReachesTheApplication)
{
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

TEST_F(Dialogs, InitDialogGetsParameterAndFirstTabStopAndDecidesTheFocus)
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
}

/* A disabled default button: ui/addrbook_dlg_test.cpp. */
TEST_F(Dialogs, EnterPressesTheDefaultButtonWhichFollowsTheFocus)
{
    HWND dlg = make(400);
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
    EXPECT_TRUE(std::any_of(dialog_seen.begin(), dialog_seen.end(), [&](const DialogMessage &m) {
        return m.dlg == outer && m.msg == WM_ACTIVATE && LOWORD(m.wparam) == WA_ACTIVE;
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

} // namespace
