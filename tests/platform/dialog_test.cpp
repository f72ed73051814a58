// The dialog manager: modal loops that keep the thread serviced, EndDialog,
// the owner's disabling, WM_INITDIALOG and the first focus, the keyboard
// (Enter, Esc, Tab, arrows, the default button), templates of both kinds,
// message boxes, and the controls reached by id - pinned as Windows behaves.
#include "support/instance.h"
#include "support/recorder.h"

#include <windows.h>
#include <ctl3d.h>
#include <paldriver.h>
#include <palmodule.h>
#include <paltest.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

/* What the dialog procedure under test saw, and what it is to do. */
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
        PalClearRecords();
    }
    void TearDown() override
    {
        PalClearModalIdle();
        dialog_does = nullptr;
        DestroyWindow(owner);
        PalClockSetVirtual(FALSE, 0);
    }
    HWND make(int id, LPARAM param = 0)
    {
        return CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(id), owner,
                                  test_dialog_proc, param);
    }
    HWND owner = nullptr;
};

/* Where a received message sits in the owner's record; -1 when absent. */
int owner_index_of(UINT msg, WPARAM wparam)
{
    for (size_t i = 0; i < received().size(); ++i)
        if (received()[i].msg == msg && received()[i].wparam == wparam)
            return (int)i;
    return -1;
}

TEST_F(Dialogs, ModalLoopServicesTimersAndPostsAndEndsFromInside)
{
    PalClockSetVirtual(TRUE, 1000);
    static HWND owner_window;
    owner_window = owner;
    dialog_does = [](HWND dlg, UINT msg, WPARAM wparam, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            SetTimer(dlg, 7, 500, nullptr);
            PostMessageA(owner_window, WM_USER + 5, 1, 0);
            return TRUE;
        }
        if (msg == WM_COMMAND && LOWORD(wparam) == IDOK) {
            EndDialog(dlg, 42);
            return TRUE;
        }
        return FALSE;
    };
    int steps = 0;
    bool owner_disabled_inside = false, dialog_found = false;
    PalOnModalIdle([&](HWND dlg) {
        ++steps;
        dialog_found = PalFindModalDialog() == dlg && PalDialogResourceId(dlg) == 400;
        owner_disabled_inside = !IsWindowEnabled(owner);
        if (owner_index_of(WM_USER + 5, 1) < 0)
            return false; /* the post must have been handled by now */
        if (seen_of(WM_TIMER).empty()) {
            PalClockAdvance(500);
            return true;
        }
        return PalPressButton(dlg, IDOK);
    });

    INT_PTR result = DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), owner,
                                     test_dialog_proc, 0);
    EXPECT_EQ(42, result);
    EXPECT_TRUE(dialog_found);
    EXPECT_TRUE(owner_disabled_inside);
    EXPECT_EQ(1u, seen_of(WM_TIMER).size());
    EXPECT_EQ(7u, seen_of(WM_TIMER)[0].wparam);
    EXPECT_GE(steps, 2);

    /* Destroyed before DialogBoxParamA returned, owner enabled again. */
    ASSERT_EQ(1u, seen_of(WM_DESTROY).size());
    EXPECT_FALSE(IsWindow(seen_of(WM_DESTROY)[0].dlg));
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(nullptr, PalFindModalDialog());
    int disabled = owner_index_of(WM_ENABLE, FALSE), enabled = owner_index_of(WM_ENABLE, TRUE);
    ASSERT_GE(disabled, 0);
    EXPECT_LT(disabled, owner_index_of(WM_USER + 5, 1)) << "disabled before the loop ran";
    EXPECT_LT(owner_index_of(WM_USER + 5, 1), enabled);
    EXPECT_LT(enabled, owner_index_of(WM_ACTIVATE, WA_ACTIVE))
        << "enabled, then activated when the dialog ends";
    EXPECT_EQ(owner, GetActiveWindow());
}

TEST_F(Dialogs, EndDialogDuringInitDialogEndsWithoutShowingOrLooping)
{
    dialog_does = [](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            EndDialog(dlg, 7);
        return msg == WM_INITDIALOG;
    };
    bool looped = false;
    PalOnModalIdle([&](HWND) {
        looped = true;
        return false;
    });
    EXPECT_EQ(7, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), owner,
                                 test_dialog_proc, 0));
    EXPECT_FALSE(looped);
    EXPECT_TRUE(IsWindowEnabled(owner));
    for (const DialogMessage &m : seen_of(WM_SHOWWINDOW))
        EXPECT_FALSE(m.wparam) << "never shown";
    EXPECT_EQ(1u, seen_of(WM_DESTROY).size());
}

TEST_F(Dialogs, MissingTemplateOrOwnerFails)
{
    SetLastError(0);
    EXPECT_EQ(-1, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(999), owner,
                                  test_dialog_proc, 0));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
    EXPECT_EQ(-1, DialogBoxParamA(resource_instance(), "NODIALOG", owner, test_dialog_proc, 0));
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_TRUE(dialog_seen.empty());
    EXPECT_EQ(nullptr, CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(999), owner,
                                          test_dialog_proc, 0));

    EXPECT_EQ(0, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), (HWND)0x7777,
                                 test_dialog_proc, 0));
    EXPECT_EQ((DWORD)ERROR_INVALID_WINDOW_HANDLE, GetLastError());

    PalFaultSet(PAL_FAULT_CREATEWINDOW, 2, 1, ERROR_NOT_ENOUGH_MEMORY); /* the second control */
    EXPECT_EQ(-1, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), owner,
                                  test_dialog_proc, 0));
    PalFaultClear();
    EXPECT_TRUE(IsWindowEnabled(owner)) << "a dialog that failed gives the owner back";
    EXPECT_TRUE(seen_of(WM_INITDIALOG).empty());
}

/* A compiled resource holding one dialog template, as a module sees it. */
struct TemplateModule {
    std::vector<BYTE> res;
    PAL_MODULEDESC desc{};
    HINSTANCE instance = nullptr;

    void word(std::vector<BYTE> &v, unsigned w)
    {
        v.push_back((BYTE)w);
        v.push_back((BYTE)(w >> 8));
    }
    void dword(std::vector<BYTE> &v, DWORD d)
    {
        word(v, d & 0xFFFF);
        word(v, d >> 16);
    }
    void text(std::vector<BYTE> &v, const char *s)
    {
        for (; *s; ++s)
            word(v, (BYTE)*s);
        word(v, 0);
    }
    void align(std::vector<BYTE> &v)
    {
        while (v.size() % 4)
            v.push_back(0);
    }
    void attach(const char *name, WORD id, const std::vector<BYTE> &tpl)
    {
        dword(res, (DWORD)tpl.size());
        dword(res, 32);
        word(res, 0xFFFF), word(res, 5);  /* RT_DIALOG */
        word(res, 0xFFFF), word(res, id); /* its ordinal */
        dword(res, 0), word(res, 0x1030), word(res, 0x0409), dword(res, 0), dword(res, 0);
        res.insert(res.end(), tpl.begin(), tpl.end());
        align(res);
        desc = PAL_MODULEDESC{name, nullptr, 0, nullptr, res.data(), res.size()};
        instance = PalAttachModule(&desc);
    }
};

TEST_F(Dialogs, ExtendedTemplatesCarryFontWeightLongIdsAndNamedClasses)
{
    static TemplateModule m;
    std::vector<BYTE> t;
    m.word(t, 1), m.word(t, 0xFFFF); /* DLGTEMPLATEEX */
    m.dword(t, 0), m.dword(t, 0);
    m.dword(t, DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION);
    m.word(t, 2);
    m.word(t, 0), m.word(t, 0), m.word(t, 100), m.word(t, 50);
    m.word(t, 0), m.word(t, 0), m.text(t, "Extended");
    m.word(t, 8), m.word(t, FW_BOLD), m.word(t, 0), m.text(t, "MS Sans Serif");
    m.align(t); /* an edit by ordinal, with an id beyond 16 bits */
    m.dword(t, 0), m.dword(t, 0), m.dword(t, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP);
    m.word(t, 4), m.word(t, 4), m.word(t, 60), m.word(t, 12);
    m.dword(t, 70000), m.word(t, 0xFFFF), m.word(t, 0x0081), m.text(t, "abc"), m.word(t, 0);
    m.align(t); /* a button by class name, with creation data to skip */
    m.dword(t, 0), m.dword(t, 0), m.dword(t, WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON);
    m.word(t, 66), m.word(t, 30), m.word(t, 30), m.word(t, 14);
    m.dword(t, 1), m.text(t, "Button"), m.text(t, "Go"), m.word(t, 2), m.word(t, 0xBEEF);
    m.attach("EXTDLG.DLL", 77, t);
    ASSERT_NE(nullptr, m.instance);

    HWND dlg = CreateDialogParamA(m.instance, MAKEINTRESOURCEA(77), nullptr, test_dialog_proc, 0);
    ASSERT_NE(nullptr, dlg);
    char text[32];
    GetWindowTextA(dlg, text, sizeof text);
    EXPECT_STREQ("Extended", text);
    HWND edit = GetDlgItem(dlg, 70000);
    ASSERT_NE(nullptr, edit);
    EXPECT_EQ(3u, GetDlgItemTextA(dlg, 70000, text, sizeof text));
    EXPECT_STREQ("abc", text);
    GetClassNameA(GetDlgItem(dlg, 1), text, sizeof text);
    EXPECT_EQ(0, lstrcmpiA("BUTTON", text));
    EXPECT_EQ(MAKELONG(1, DC_HASDEFID), (LONG)SendMessageA(dlg, DM_GETDEFID, 0, 0));
    EXPECT_EQ(edit, GetFocus());
    DestroyWindow(dlg);

    /* The same template cut short is refused. */
    static TemplateModule cut;
    std::vector<BYTE> shorter(t.begin(), t.begin() + (long)t.size() - 10);
    cut.attach("CUTDLG.DLL", 78, shorter);
    EXPECT_EQ(-1, DialogBoxParamA(cut.instance, MAKEINTRESOURCEA(78), owner, test_dialog_proc, 0));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_DATA_NOT_FOUND, GetLastError());
}

TEST_F(Dialogs, InitDialogGetsParameterAndFirstTabStopAndDecidesTheFocus)
{
    /* TRUE: the first tab stop takes the focus, an edit with its text
     * selected. */
    dialog_does = [](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetDlgItemTextA(dlg, 102, "abc");
        return msg == WM_INITDIALOG;
    };
    HWND dlg = make(400, 0x1234);
    ASSERT_NE(nullptr, dlg);
    ASSERT_EQ(1u, seen_of(WM_INITDIALOG).size());
    EXPECT_EQ((WPARAM)GetDlgItem(dlg, 102), seen_of(WM_INITDIALOG)[0].wparam);
    EXPECT_EQ(0x1234, seen_of(WM_INITDIALOG)[0].lparam);
    EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus());
    DWORD from = 9, to = 9;
    SendDlgItemMessageA(dlg, 102, EM_GETSEL, (WPARAM)&from, (LPARAM)&to);
    EXPECT_EQ(0u, from);
    EXPECT_EQ(3u, to);
    EXPECT_EQ(dlg, GetActiveWindow()) << "a visible template is shown and activated";
    DestroyWindow(dlg);

    /* FALSE after setting the focus elsewhere: it stays there. */
    dialog_does = [](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg == WM_INITDIALOG)
            SetFocus(GetDlgItem(dlg, 404));
        return FALSE;
    };
    dlg = make(400);
    EXPECT_EQ(GetDlgItem(dlg, 404), GetFocus());
    DestroyWindow(dlg);

    /* FALSE without setting it: a visible dialog still gets the first tab
     * stop; a hidden one gets it when it is activated. */
    dialog_does = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
    dlg = make(400);
    EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus());
    DestroyWindow(dlg);
    SetFocus(nullptr);
    dlg = make(200);
    EXPECT_EQ(nullptr, GetFocus());
    ShowWindow(dlg, SW_SHOW);
    SetActiveWindow(dlg);
    EXPECT_EQ(GetDlgItem(dlg, 202), GetFocus());
    DestroyWindow(dlg);
}

/* The WM_COMMAND messages the dialog procedure got, as (wParam, lParam). */
std::vector<std::pair<WPARAM, LPARAM>> commands()
{
    std::vector<std::pair<WPARAM, LPARAM>> out;
    for (const DialogMessage &m : seen_of(WM_COMMAND))
        out.emplace_back(m.wparam, m.lparam);
    return out;
}

TEST_F(Dialogs, EnterWithoutDefaultButtonIsIdOkWithoutHandleAndEscIsCancelWithOne)
{
    HWND dlg = make(100);
    ShowWindow(dlg, SW_SHOW);
    SetActiveWindow(dlg);
    ASSERT_EQ(GetDlgItem(dlg, 102), GetFocus());
    EXPECT_EQ(0, (LONG)SendMessageA(dlg, DM_GETDEFID, 0, 0));
    dialog_seen.clear();
    PalPressKey(dlg, VK_RETURN);
    PalPressKey(dlg, VK_ESCAPE);
    using C = std::vector<std::pair<WPARAM, LPARAM>>;
    EXPECT_EQ((C{{IDOK, 0}, {IDCANCEL, (LPARAM)GetDlgItem(dlg, IDCANCEL)}}), commands());
    char text[8];
    EXPECT_EQ(0, GetDlgItemTextA(dlg, 102, text, sizeof text)) << "Enter typed nothing";

    /* A push button with the focus is the default button while it has it. */
    HWND call = GetDlgItem(dlg, 110);
    SetFocus(call);
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, GetWindowLongPtrA(call, GWL_STYLE) & BS_TYPEMASK);
    dialog_seen.clear();
    PalPressKey(dlg, VK_RETURN);
    EXPECT_EQ((C{{MAKEWPARAM(110, BN_CLICKED), (LPARAM)call}}), commands());
    SetFocus(GetDlgItem(dlg, 105));
    EXPECT_EQ((DWORD)BS_PUSHBUTTON, GetWindowLongPtrA(call, GWL_STYLE) & BS_TYPEMASK);
    DestroyWindow(dlg);
}

TEST_F(Dialogs, EnterPressesTheDefaultButtonUnlessDisabledAndFollowsTheFocus)
{
    HWND dlg = make(400);
    HWND ok = GetDlgItem(dlg, IDOK), cancel = GetDlgItem(dlg, IDCANCEL);
    dialog_seen.clear();
    PalPressKey(dlg, VK_RETURN);
    using C = std::vector<std::pair<WPARAM, LPARAM>>;
    EXPECT_EQ((C{{MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)ok}}), commands());

    EnableWindow(ok, FALSE);
    dialog_seen.clear();
    PalPressKey(dlg, VK_RETURN);
    EXPECT_TRUE(commands().empty()) << "a disabled default button is not pressed";
    EnableWindow(ok, TRUE);

    /* Tab walks the tab stops (edit, edit, OK, Cancel) and wraps; Shift+Tab
     * walks back.  On Cancel, Cancel is the default button. */
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        PalPressKey(dlg, VK_TAB);
        order.push_back(GetDlgCtrlID(GetFocus()));
    }
    EXPECT_EQ((std::vector<int>{404, IDOK, IDCANCEL, 102, 404}), order);
    PalPressKey(dlg, VK_TAB, MK_SHIFT);
    EXPECT_EQ(GetDlgItem(dlg, 102), GetFocus());

    SetFocus(ok);
    PalPressKey(dlg, VK_RIGHT);
    EXPECT_EQ(cancel, GetFocus()) << "arrows move within the group";
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, GetWindowLongPtrA(cancel, GWL_STYLE) & BS_TYPEMASK);
    EXPECT_EQ((DWORD)BS_PUSHBUTTON, GetWindowLongPtrA(ok, GWL_STYLE) & BS_TYPEMASK);
    dialog_seen.clear();
    PalPressKey(dlg, VK_RETURN);
    EXPECT_EQ((C{{MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)cancel}}), commands());
    SetFocus(GetDlgItem(dlg, 404));
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, GetWindowLongPtrA(ok, GWL_STYLE) & BS_TYPEMASK)
        << "the dialog's default button is the default again";

    /* DM_SETDEFID moves the default; a procedure's own answer is kept. */
    SendMessageA(dlg, DM_SETDEFID, IDCANCEL, 0);
    EXPECT_EQ(MAKELONG(IDCANCEL, DC_HASDEFID), (LONG)SendMessageA(dlg, DM_GETDEFID, 0, 0));
    EXPECT_EQ((DWORD)BS_DEFPUSHBUTTON, GetWindowLongPtrA(cancel, GWL_STYLE) & BS_TYPEMASK);
    dialog_does = [](HWND dlg, UINT msg, WPARAM, LPARAM) -> INT_PTR {
        if (msg != DM_GETDEFID)
            return FALSE;
        SetWindowLongPtrA(dlg, DWLP_MSGRESULT, MAKELONG(404, DC_HASDEFID));
        return TRUE;
    };
    EXPECT_EQ(MAKELONG(404, DC_HASDEFID), (LONG)SendMessageA(dlg, DM_GETDEFID, 0, 0));
    DestroyWindow(dlg);
}

TEST_F(Dialogs, CloseIsCancelUnlessCancelIsDisabled)
{
    HWND dlg = make(100);
    ShowWindow(dlg, SW_SHOW);
    dialog_seen.clear();
    EXPECT_TRUE(PalCloseWindow(dlg));
    EXPECT_TRUE(commands().empty()) << "posted, not sent";
    pump();
    using C = std::vector<std::pair<WPARAM, LPARAM>>;
    EXPECT_EQ((C{{MAKEWPARAM(IDCANCEL, BN_CLICKED), (LPARAM)GetDlgItem(dlg, IDCANCEL)}}),
              commands());
    EXPECT_TRUE(IsWindow(dlg)) << "the dialog procedure decides";

    EnableWindow(GetDlgItem(dlg, IDCANCEL), FALSE);
    dialog_seen.clear();
    PalCloseWindow(dlg);
    pump();
    EXPECT_TRUE(commands().empty());
    EXPECT_EQ((std::vector<UINT>{0}), PalBeeps());
    DestroyWindow(dlg);
}

TEST_F(Dialogs, NestedDialogDisablesItsOwnerDialogWhichIsActivatedAgainAfterwards)
{
    static HWND outer;
    dialog_does = [](HWND dlg, UINT msg, WPARAM wparam, LPARAM) -> INT_PTR {
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
    outer = nullptr;
    bool outer_reachable_while_nested = true, outer_disabled = false, nested_done = false;
    size_t before_close = 0;
    PalOnModalIdle([&](HWND dlg) {
        if (PalDialogResourceId(dlg) == 200) {
            outer_disabled = !IsWindowEnabled(outer);
            outer_reachable_while_nested = PalPressButton(outer, 113);
            before_close = dialog_seen.size();
            nested_done = true;
            return PalPressButton(dlg, IDCANCEL);
        }
        if (!nested_done)
            return PalPressButton(dlg, 112); /* returns when the nested dialog has ended */
        EXPECT_EQ(GetDlgItem(dlg, 112), GetFocus()) << "focus back where it was";
        return PalPressKey(dlg, VK_ESCAPE);
    });
    EXPECT_EQ(0x9001, DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(100), owner,
                                      test_dialog_proc, 0));
    EXPECT_TRUE(outer_disabled);
    EXPECT_FALSE(outer_reachable_while_nested) << "a person cannot click a disabled dialog";

    /* After the nested dialog closed, the outer one heard WA_ACTIVE. */
    bool reactivated = false;
    for (size_t i = before_close; i < dialog_seen.size(); ++i)
        if (dialog_seen[i].dlg == outer && dialog_seen[i].msg == WM_ACTIVATE &&
            LOWORD(dialog_seen[i].wparam) == WA_ACTIVE)
            reactivated = true;
    EXPECT_TRUE(reactivated);
    outer = nullptr;
}

TEST_F(Dialogs, MessageBoxIsAModalDialogAnsweredByItsButtons)
{
    int asked = 0;
    std::string text, caption;
    bool owner_disabled = false;
    PalOnModalIdle([&](HWND box) {
        ++asked;
        text = PalGetDlgItemText(box, 0xFFFF);
        caption = PalGetText(box);
        owner_disabled = !IsWindowEnabled(owner);
        EXPECT_EQ(0, PalDialogResourceId(box));
        EXPECT_EQ("&Yes", PalGetDlgItemText(box, IDYES));
        EXPECT_EQ("&No", PalGetDlgItemText(box, IDNO));
        EXPECT_EQ(GetDlgItem(box, IDYES), GetFocus()) << "the first button is the default";
        PalPressKey(box, VK_ESCAPE); /* no Cancel button: nothing */
        PalCloseWindow(box);
        pump();
        EXPECT_TRUE(IsWindowVisible(box));
        return PalPressButton(box, IDNO);
    });
    EXPECT_EQ(IDNO, MessageBoxA(owner, "Really?\nSure?", "Delete", MB_YESNO));
    EXPECT_EQ(1, asked);
    EXPECT_EQ("Really?\nSure?", text);
    EXPECT_EQ("Delete", caption);
    EXPECT_TRUE(owner_disabled);
    EXPECT_TRUE(IsWindowEnabled(owner));

    PalOnModalIdle([&](HWND box) { return PalPressKey(box, VK_RETURN); });
    EXPECT_EQ(IDNO, MessageBoxA(owner, "x", "y", MB_YESNO | MB_DEFBUTTON2));
    EXPECT_EQ(IDYES, MessageBoxA(owner, "x", "y", MB_YESNO));
    PalOnModalIdle([&](HWND box) { return PalPressKey(box, VK_ESCAPE); });
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "x", nullptr, MB_OK));
    EXPECT_EQ(IDCANCEL, MessageBoxA(owner, "x", "y", MB_OKCANCEL));
    PalOnModalIdle([&](HWND box) {
        caption = PalGetText(box);
        return PalPressButton(box, IDOK);
    });
    EXPECT_EQ(IDOK, MessageBoxA(owner, "x", nullptr, MB_OK));
    EXPECT_EQ("Error", caption);
}

TEST_F(Dialogs, QuitInsideTheModalLoopEndsItAndReachesTheOuterLoop)
{
    PalOnModalIdle([](HWND) {
        PostQuitMessage(3);
        return true;
    });
    DialogBoxParamA(resource_instance(), MAKEINTRESOURCEA(400), owner, test_dialog_proc, 0);
    PalClearModalIdle();
    EXPECT_EQ(1u, seen_of(WM_DESTROY).size());
    EXPECT_TRUE(IsWindowEnabled(owner));
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(3u, m.wParam);
}

TEST_F(Dialogs, ControlsByIdAndDialogUnits)
{
    HWND dlg = make(400);
    char text[8] = "zzzzzzz";
    EXPECT_TRUE(SetDlgItemTextA(dlg, 102, "hello"));
    EXPECT_EQ(3u, GetDlgItemTextA(dlg, 102, text, 4));
    EXPECT_STREQ("hel", text);
    EXPECT_EQ(5, (int)SendDlgItemMessageA(dlg, 102, WM_GETTEXTLENGTH, 0, 0));
    EXPECT_EQ(nullptr, GetDlgItem(dlg, 555));
    EXPECT_FALSE(SetDlgItemTextA(dlg, 555, "x"));
    EXPECT_EQ(0u, GetDlgItemTextA(dlg, 555, text, sizeof text));
    EXPECT_STREQ("", text);
    EXPECT_EQ(0, SendDlgItemMessageA(dlg, 555, WM_GETTEXTLENGTH, 0, 0));
    EXPECT_EQ(0, GetDlgCtrlID(dlg)) << "a top-level window has no id";

    /* 8-point dialog font: 7 x 13 pixels of base units. */
    RECT rc{4, 8, 186, 56};
    ASSERT_TRUE(MapDialogRect(dlg, &rc));
    EXPECT_EQ(7, rc.left);
    EXPECT_EQ(13, rc.top);
    EXPECT_EQ(326, rc.right);
    EXPECT_EQ(91, rc.bottom);
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(rc.right, client.right);
    EXPECT_EQ(rc.bottom, client.bottom);
    EXPECT_FALSE(MapDialogRect(owner, &rc)) << "not a dialog";
    EXPECT_TRUE(IsChild(dlg, GetDlgItem(dlg, 1)));
    EXPECT_FALSE(IsChild(dlg, owner));
    DestroyWindow(dlg);
}

TEST_F(Dialogs, BeepsHelpAndThe3dLookAreRecordedOrAccepted)
{
    HWND dlg = make(100);
    EXPECT_TRUE(Ctl3dSubclassDlg(dlg, CTL3D_ALL));
    EXPECT_FALSE(Ctl3dSubclassDlg((HWND)0x7777, CTL3D_ALL));
    EXPECT_TRUE(MessageBeep(0));
    EXPECT_TRUE(MessageBeep(MB_ICONHAND));
    EXPECT_TRUE(WinHelpA(dlg, "palavera.hlp", HELP_CONTEXT, 7));
    EXPECT_EQ((std::vector<UINT>{0, MB_ICONHAND}), PalBeeps());
    std::vector<PalHelpCall> help = PalHelpCalls();
    ASSERT_EQ(1u, help.size());
    EXPECT_EQ(dlg, help[0].hwnd);
    EXPECT_EQ("palavera.hlp", help[0].file);
    EXPECT_EQ((UINT)HELP_CONTEXT, help[0].command);
    EXPECT_EQ(7u, help[0].data);
    PalClearRecords();
    EXPECT_TRUE(PalBeeps().empty());
    EXPECT_TRUE(PalHelpCalls().empty());
    DestroyWindow(dlg);
}

} // namespace
