/*
 * paldriver.h - the UI driver: tests use dialogs as a person would.
 *
 * Actions are input, delivered at once on the calling thread (which must be
 * the thread of the window acted on): a click is a press and release of the
 * left mouse button over the control, typing is one character after
 * another to the control that has the focus, a key goes through the
 * dialog manager first (Tab, Enter, Esc).  An action returns false, doing
 * nothing, when a person could not do it either: the window is missing,
 * hidden or disabled, or its top-level window is disabled (another modal
 * dialog is in front of it).  Clicking into a window that is not active
 * activates it first (WA_CLICKACTIVE).
 *
 * A test reaches a modal dialog from inside its loop through the idle hook:
 * PalOnModalIdle runs a step whenever the thread's loop has nothing else to
 * do while a modal dialog is open.  An action that opens another modal
 * dialog returns only when that one has ended; meanwhile the step runs
 * again, for the new dialog.  Tests only; the library does not export it.
 */
#ifndef PAL_PALDRIVER_H
#define PAL_PALDRIVER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

/* The innermost modal dialog open on any thread (a message box too), or
 * null. */
HWND PalFindModalDialog();

/* The resource id of the template a dialog was made from; 0 for a message
 * box, a template named by a string, or a window that is no dialog. */
int PalDialogResourceId(HWND dlg);

/* Runs `step` with the innermost modal dialog of the calling thread each
 * time the thread's message wait finds nothing to do while such a dialog
 * is open.  The step returns true when it acted (the loop looks for
 * messages again) and false when it waits for something else to happen.
 * PalClearModalIdle removes it. */
void PalOnModalIdle(std::function<bool(HWND dlg)> step);
void PalClearModalIdle();

/* Clicks the middle of a window (a button, a field). */
bool PalClick(HWND hwnd);

/* Clicks the dialog's button `id`. */
bool PalPressButton(HWND dlg, int id);

/* Clicks into an edit field, moves to the end of its text and types the
 * printable characters of `text`. */
bool PalTypeText(HWND field, const char *text);

/* Clicks into an edit field, selects its whole text and deletes it. */
bool PalClearText(HWND field);

/* Presses and releases a key on the window that has the focus, with
 * MK_SHIFT and/or MK_CONTROL held; keys that make characters (Backspace,
 * Space, Enter, Esc, Tab) make them unless the dialog manager used the
 * key. */
bool PalPressKey(HWND dlg, UINT vk, UINT modifiers = 0);

/* Clicks (with MK_SHIFT and/or MK_CONTROL held) or double-clicks an entry
 * of a list box, scrolling it into view first. */
bool PalClickListItem(HWND list, int index, UINT modifiers = 0);
bool PalDoubleClickListItem(HWND list, int index);

/* Chooses Close from the window's system menu. */
bool PalCloseWindow(HWND hwnd);

/* Texts, list contents and selections (list box or combo box). */
std::string PalGetText(HWND hwnd);
std::string PalGetDlgItemText(HWND dlg, int id);
std::vector<std::string> PalListContents(HWND list);
std::vector<int> PalListSelection(HWND list);

/* MessageBeep and WinHelpA calls since the last PalClearRecords, in
 * order. */
struct PalHelpCall {
    HWND hwnd;
    std::string file;
    UINT command;
    ULONG_PTR data;
};
std::vector<UINT> PalBeeps();
std::vector<PalHelpCall> PalHelpCalls();
void PalClearRecords();

/* Renders a window (palpaint.h) into a PNG file. */
bool PalRenderWindowPng(HWND hwnd, const char *path);

#endif
