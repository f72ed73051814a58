/* dialog_layout DIALOG [CONTROL...]: from the template the live window is made
 * from, the window's outer size ("size W H") and the middle of each control
 * that exists in the window's own coordinates ("ID X Y"), for `xdotool
 * mousemove --window`. */
#include "support/instance.h"
#include "user/paint.h"
#include "user/window.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialog_layout DIALOG [CONTROL...]\n");
        return 2;
    }
    setenv("CALLMGR_DISPLAY", "headless", 1);
    int id = std::atoi(argv[1]);
    auto quiet = [](HWND, UINT msg, WPARAM, LPARAM) -> INT_PTR { return msg == WM_INITDIALOG; };
    HWND dlg = CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(id), nullptr, quiet, 0);
    if (!dlg) {
        std::fprintf(stderr, "dialog_layout: no dialog %d\n", id);
        return 1;
    }
    pal::Insets in = pal::nonclient_insets(dlg);
    RECT rc;
    GetClientRect(dlg, &rc);
    std::printf("size %ld %ld\n", (long)(rc.right + in.left + in.right),
                (long)(rc.bottom + in.top + in.bottom));
    for (int i = 2; i < argc; i++) {
        int control = std::atoi(argv[i]);
        if (pal::WindowRef c = pal::window_get(GetDlgItem(dlg, control)))
            std::printf("%d %ld %ld\n", control,
                        (long)(in.left + (c->rect.left + c->rect.right) / 2),
                        (long)(in.top + (c->rect.top + c->rect.bottom) / 2));
    }
    DestroyWindow(dlg);
    return 0;
}
