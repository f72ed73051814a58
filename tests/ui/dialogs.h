/* Helpers of the dialog tests: the library's dialogs made from their
 * templates alone, and reading windows back. */
#ifndef CALLMGR_TESTS_UI_DIALOGS_H
#define CALLMGR_TESTS_UI_DIALOGS_H

#include "support/instance.h"

#include <windows.h>

#include <string>

/* A dialog procedure that does nothing but ask for the default focus. */
inline INT_PTR CALLBACK plain_dialog_proc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

/* Dialog `id` of the library's resources, shown and active, as its
 * template alone makes it. */
inline HWND make_plain_dialog(int id)
{
    HWND dlg = CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(id), nullptr,
                                  plain_dialog_proc, 0);
    if (dlg) {
        ShowWindow(dlg, SW_SHOW);
        SetActiveWindow(dlg);
    }
    return dlg;
}

inline std::string window_text(HWND hwnd)
{
    char text[256];
    return std::string(text, (size_t)GetWindowTextA(hwnd, text, sizeof text));
}

inline std::string class_of(HWND hwnd)
{
    char name[64];
    return std::string(name, (size_t)GetClassNameA(hwnd, name, sizeof name));
}

/* Dialog units to pixels, rounded as MulDiv rounds. */
inline LONG MulDivRound(LONG v, LONG num, LONG den)
{
    return (v * num + den / 2) / den;
}

#endif
