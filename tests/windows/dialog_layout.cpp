/*
 * dialog_layout DIALOG CONTROL...: a dialog of callmgr.dll as the system's
 * dialog manager lays it out from the DLL's template, for `xdotool
 * mousemove --window` on the live one: the size of its client area ("size
 * W H") and the middle of each control that exists, in client coordinates
 * ("ID X Y").  Wine's X11 driver leaves a captioned window's frame to the
 * window manager, so the X window that xdotool finds is the client area.
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: dialog_layout DIALOG CONTROL...\n");
        return 2;
    }
    HMODULE dll = LoadLibraryA("callmgr.dll");
    if (!dll) {
        fprintf(stderr, "dialog_layout: no callmgr.dll (%lu)\n", GetLastError());
        return 1;
    }
    int id = atoi(argv[1]);
    HWND dlg = CreateDialogParamA(dll, MAKEINTRESOURCEA(id), nullptr, Quiet, 0);
    if (!dlg) {
        fprintf(stderr, "dialog_layout: no dialog %d (%lu)\n", id, GetLastError());
        return 1;
    }
    RECT client;
    GetClientRect(dlg, &client);
    printf("size %ld %ld\n", client.right, client.bottom);
    for (int i = 2; i < argc; i++) {
        int control = atoi(argv[i]);
        HWND child = GetDlgItem(dlg, control);
        RECT rc;
        if (!child || !GetWindowRect(child, &rc))
            continue;
        MapWindowPoints(nullptr, dlg, (POINT *)&rc, 2);
        printf("%d %ld %ld\n", control, (rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
    }
    DestroyWindow(dlg);
    FreeLibrary(dll);
    return 0;
}
