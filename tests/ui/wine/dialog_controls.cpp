/*
 * dialog_controls [--shots DIR | --pixels DIALOG] - makes each of the
 * library's dialogs from the library's own resources, as the dialog manager
 * of the system it runs on makes it, and lists it: one line for the dialog
 * (caption and client size) and one per control (id, class, style, extended
 * style, text, rectangle), all sizes in dialog units, so that the listings
 * of two systems compare line by line.  With --shots, a picture of each
 * dialog goes to DIR.  With --pixels, DIALOG alone is listed, in pixels of
 * its client area: where `xdotool mousemove --window` aims on the live one
 * (Wine's X11 driver leaves a captioned window's frame to the window
 * manager, so the X window that xdotool finds is the client area).
 *
 * The same source builds on Linux over the platform layer and on Windows.
 */
#include "shot.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const int kDialogs[] = {100, 200, 300, 400, 500};
bool pixels = false;

INT_PTR CALLBACK LIST_DlgProc(HWND, UINT msg, WPARAM, LPARAM)
{
    return msg == WM_INITDIALOG;
}

/* Pixels back to dialog units, to the nearest unit, with the dialog's own
 * base units (the pixels of 4 horizontal and 8 vertical units); with
 * --pixels, 4 and 8, which leave the pixels as they are. */
struct Units {
    long x, y;
};

Units LIST_Units(HWND dlg)
{
    if (pixels)
        return Units{4, 8};
    RECT r{0, 0, 4, 8};
    MapDialogRect(dlg, &r);
    return Units{r.right > 0 ? r.right : 1, r.bottom > 0 ? r.bottom : 1};
}

long LIST_ToUnits(long pixels, long base, int units)
{
    return (pixels * units * 2 + base) / (base * 2);
}

/* The text in double quotes, with quotes, backslashes and bytes outside
 * printable ASCII escaped. */
std::string LIST_Quote(const char *text)
{
    std::string out = "\"";
    for (const unsigned char *p = (const unsigned char *)text; *p; ++p) {
        char buf[8];
        if (*p == '"' || *p == '\\')
            std::snprintf(buf, sizeof buf, "\\%c", *p);
        else if (*p < 0x20 || *p > 0x7E)
            std::snprintf(buf, sizeof buf, "\\x%02X", *p);
        else
            std::snprintf(buf, sizeof buf, "%c", *p);
        out += buf;
    }
    return out + "\"";
}

bool LIST_Dialog(HINSTANCE library, int id, const char *shots)
{
    HWND dlg = CreateDialogParamA(library, MAKEINTRESOURCEA(id), nullptr, LIST_DlgProc, 0);
    if (!dlg) {
        std::fprintf(stderr, "dialog_controls: no dialog %d\n", id);
        return false;
    }
    Units u = LIST_Units(dlg);
    char text[256];
    RECT rc;
    GetWindowTextA(dlg, text, sizeof text);
    GetClientRect(dlg, &rc);
    std::printf("dialog %d caption %s client %ld %ld\n", id, LIST_Quote(text).c_str(),
                LIST_ToUnits(rc.right, u.x, 4), LIST_ToUnits(rc.bottom, u.y, 8));
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        char cls[64];
        GetClassNameA(c, cls, sizeof cls);
        GetWindowTextA(c, text, sizeof text);
        GetWindowRect(c, &rc);
        MapWindowPoints(HWND_DESKTOP, dlg, (LPPOINT)&rc, 2);
        std::printf("  control %d class %s style 0x%08lX exstyle 0x%08lX text %s rect %ld %ld %ld "
                    "%ld\n",
                    GetDlgCtrlID(c), cls, (unsigned long)(DWORD)GetWindowLongA(c, GWL_STYLE),
                    (unsigned long)(DWORD)GetWindowLongA(c, GWL_EXSTYLE), LIST_Quote(text).c_str(),
                    LIST_ToUnits(rc.left, u.x, 4), LIST_ToUnits(rc.top, u.y, 8),
                    LIST_ToUnits(rc.right, u.x, 4), LIST_ToUnits(rc.bottom, u.y, 8));
    }
    bool ok = true;
    if (shots) {
        ShowWindow(dlg, SW_SHOW);
        SetActiveWindow(dlg);
        UpdateWindow(dlg);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        char file[1024];
        std::snprintf(file, sizeof file, "%s/dialog%d.%s", shots, id, SHOT_Extension);
        ok = SHOT_Save(dlg, file);
        if (!ok)
            std::fprintf(stderr, "dialog_controls: cannot write %s\n", file);
    }
    DestroyWindow(dlg);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    const char *shots = nullptr;
    pixels = argc == 3 && std::strcmp(argv[1], "--pixels") == 0;
    if (argc == 3 && std::strcmp(argv[1], "--shots") == 0) {
        shots = argv[2];
    } else if (argc != 1 && !pixels) {
        std::fprintf(stderr, "usage: dialog_controls [--shots DIR | --pixels DIALOG]\n");
        return 2;
    }
    HINSTANCE library = LoadLibraryA("callmgr.dll");
    if (!library) {
        std::fprintf(stderr, "dialog_controls: cannot load callmgr.dll (%lu)\n",
                     (unsigned long)GetLastError());
        return 1;
    }
    bool ok = true;
    for (int id : kDialogs)
        if (!pixels || id == std::atoi(argv[2]))
            ok = LIST_Dialog(library, id, shots) && ok;
    FreeLibrary(library);
    return ok ? 0 : 1;
}
