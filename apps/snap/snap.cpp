/*
 * callmgr-snap ID FILE - renders the library's dialog resource ID, as its
 * template makes it, to the PNG image FILE.
 *
 * The dialog is made without the library's own dialog procedures: a plain
 * procedure lets the dialog manager give the focus to the first tab stop,
 * so the picture is the dialog as it looks before anything is filled in.
 */
#include <windows.h>
#include <palgdi.h>
#include <palpaint.h>

#include <cstdio>
#include <cstdlib>

static INT_PTR CALLBACK SNAP_DlgProc(HWND dlg, UINT msg, WPARAM wparam, LPARAM lparam)
{
    (void)dlg;
    (void)wparam;
    (void)lparam;
    return msg == WM_INITDIALOG;
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: callmgr-snap ID FILE\n");
        return 2;
    }
    char *end = nullptr;
    long id = std::strtol(argv[1], &end, 10);
    if (!*argv[1] || *end || id <= 0 || id > 0xFFFF) {
        std::fprintf(stderr, "callmgr-snap: '%s' is not a resource id\n", argv[1]);
        return 2;
    }
    /* A snapshot is the headless rendering, even on a desktop. */
    setenv("CALLMGR_DISPLAY", "headless", 1);
    HINSTANCE library = GetModuleHandleA("CALLMGR.DLL");
    HWND dlg = CreateDialogParamA(library, MAKEINTRESOURCEA(id), nullptr, SNAP_DlgProc, 0);
    if (!dlg) {
        std::fprintf(stderr, "callmgr-snap: the library has no dialog %ld\n", id);
        return 1;
    }
    ShowWindow(dlg, SW_SHOW);
    SetActiveWindow(dlg);
    HBITMAP picture = PalRenderWindow(dlg);
    BOOL saved = picture && PalSaveBitmapPng(picture, argv[2]);
    if (picture)
        DeleteObject(picture);
    DestroyWindow(dlg);
    if (!saved) {
        std::fprintf(stderr, "callmgr-snap: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
