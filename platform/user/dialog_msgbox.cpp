/*
 * MessageBoxA: a modal dialog the window manager lays out itself - the text
 * (control 0xFFFF, no prefix characters) above a centred row of push
 * buttons whose ids are the answers (IDOK, IDCANCEL, IDYES, ...).  The
 * MB_DEFBUTTONn button is the default one and has the focus.  Esc answers
 * IDCANCEL when the box has a Cancel button and IDOK when OK is its only
 * button; otherwise Esc and Close do nothing, as on Windows.
 */
#include "user/dialog.h"
#include "gdi/gdi.h"

#include <algorithm>

namespace pal {
namespace {

constexpr const char *kFace = "MS Sans Serif";
constexpr int kPoints = 8;
constexpr int kMaxTextWidth = 400; /* pixels; longer lines wrap */
constexpr int kMargin = 8;         /* dialog units around the text and the buttons */
constexpr int kButtonWidth = 50;   /* dialog units, as Windows' buttons */
constexpr int kButtonHeight = 14;
constexpr int kButtonGap = 4;

struct Button {
    int id;
    const char *label;
};

std::vector<Button> buttons_for(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    case MB_ABORTRETRYIGNORE:
        return {{IDABORT, "&Abort"}, {IDRETRY, "&Retry"}, {IDIGNORE, "&Ignore"}};
    case MB_YESNOCANCEL:
        return {{IDYES, "&Yes"}, {IDNO, "&No"}, {IDCANCEL, "Cancel"}};
    case MB_YESNO:
        return {{IDYES, "&Yes"}, {IDNO, "&No"}};
    case MB_RETRYCANCEL:
        return {{IDRETRY, "&Retry"}, {IDCANCEL, "Cancel"}};
    default:
        return {{IDOK, "OK"}};
    }
}

/* The text's size in pixels, as the box's font wraps it. */
SIZE measure(HFONT font, const char *text)
{
    RECT rc{0, 0, kMaxTextWidth, 0};
    if (HDC dc = dc_create_window(nullptr, POINT{0, 0}, nullptr)) {
        HGDIOBJ old = SelectObject(dc, font);
        DrawTextA(dc, text, -1, &rc,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX | DT_LEFT);
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    return SIZE{rc.right - rc.left, rc.bottom - rc.top};
}

int to_units(LONG pixels, LONG unit, int per_unit)
{
    return unit > 0 ? (int)((pixels * per_unit + unit - 1) / unit) : (int)pixels;
}

INT_PTR CALLBACK msgbox_proc(HWND dlg, UINT msg, WPARAM wparam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        if (HWND def = GetDlgItem(dlg, LOWORD(SendMessageA(dlg, DM_GETDEFID, 0, 0))))
            SetFocus(def);
        return FALSE;
    case WM_COMMAND: {
        int id = LOWORD(wparam);
        if (GetDlgItem(dlg, id))
            EndDialog(dlg, id);
        else if (id == IDCANCEL && GetDlgItem(dlg, IDOK))
            EndDialog(dlg, IDOK); /* OK alone: Esc acknowledges */
        return TRUE;
    }
    default:
        return FALSE;
    }
}

DialogTemplate layout(const char *text, const char *caption, UINT type)
{
    DialogTemplate t;
    t.style = DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    t.caption = caption ? caption : "Error";
    t.point_size = kPoints;
    t.face = kFace;

    SIZE units{6, 13};
    SIZE extent{0, 0};
    if (HFONT font = font_create_points(kFace, kPoints, 0, false)) {
        font_base_units(font, &units);
        extent = measure(font, text);
        DeleteObject(font);
    }
    int text_cx = to_units(extent.cx, units.cx, 4), text_cy = to_units(extent.cy, units.cy, 8);

    std::vector<Button> buttons = buttons_for(type);
    int n = (int)buttons.size();
    int row = n * kButtonWidth + (n - 1) * kButtonGap;
    t.cx = (short)(std::max(text_cx, row) + 2 * kMargin);
    int button_y = kMargin + text_cy + kMargin;
    t.cy = (short)(button_y + kButtonHeight + kMargin);

    DialogItemTemplate label;
    label.style = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_NOPREFIX;
    label.x = (short)kMargin;
    label.y = (short)kMargin;
    label.cx = (short)text_cx;
    label.cy = (short)text_cy;
    label.id = 0xFFFF;
    label.cls = TemplateName{true, 0x0082, {}};
    label.text.text = text ? text : "";
    t.items.push_back(label);

    int def = (int)((type >> 8) & 3);
    int x = (t.cx - row) / 2;
    for (int i = 0; i < n; ++i) {
        DialogItemTemplate b;
        b.style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (i == 0 ? WS_GROUP : 0) |
                  (i == std::min(def, n - 1) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        b.x = (short)(x + i * (kButtonWidth + kButtonGap));
        b.y = (short)button_y;
        b.cx = (short)kButtonWidth;
        b.cy = (short)kButtonHeight;
        b.id = (DWORD)buttons[(size_t)i].id;
        b.cls = TemplateName{true, 0x0080, {}};
        b.text.text = buttons[(size_t)i].label;
        t.items.push_back(b);
    }
    return t;
}

} // namespace

} // namespace pal

using namespace pal;

extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (owner && !IsWindow(owner)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    INT_PTR answer =
        dialog_box(nullptr, layout(text ? text : "", caption, type), 0, owner, msgbox_proc, 0);
    return answer < 0 ? 0 : (int)answer;
}
