/*
 * The UI driver's reading: dialogs open, texts, list contents and
 * selections, the beeps and help requests made, and snapshots.
 */
#include <paldriver.h>
#include <palgdi.h>
#include <palpaint.h>

#include "user/dialog.h"

namespace {

bool is_combo(HWND hwnd)
{
    char cls[16];
    return GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpiA(cls, "COMBOBOX") == 0;
}

} // namespace

HWND PalFindModalDialog()
{
    std::vector<HWND> stack = pal::dialog_modal_stack();
    return stack.empty() ? nullptr : stack.back();
}

int PalDialogResourceId(HWND dlg)
{
    pal::DialogRef d = pal::dialog_of(dlg);
    return d ? d->resource_id : 0;
}

std::string PalGetText(HWND hwnd)
{
    std::string text((size_t)GetWindowTextLengthA(hwnd) + 1, '\0');
    text.resize((size_t)GetWindowTextA(hwnd, text.data(), (int)text.size()));
    return text;
}

std::string PalGetDlgItemText(HWND dlg, int id)
{
    return PalGetText(GetDlgItem(dlg, id));
}

std::vector<std::string> PalListContents(HWND list)
{
    bool combo = is_combo(list);
    UINT count_msg = combo ? CB_GETCOUNT : LB_GETCOUNT;
    UINT len_msg = combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
    UINT text_msg = combo ? CB_GETLBTEXT : LB_GETTEXT;
    std::vector<std::string> out;
    int count = (int)SendMessageA(list, count_msg, 0, 0);
    for (int i = 0; i < count; ++i) {
        LRESULT len = SendMessageA(list, len_msg, (WPARAM)i, 0);
        std::string text((size_t)(len > 0 ? len : 0) + 1, '\0');
        LRESULT got = SendMessageA(list, text_msg, (WPARAM)i, (LPARAM)text.data());
        text.resize(got > 0 ? (size_t)got : 0);
        out.push_back(text);
    }
    return out;
}

std::vector<int> PalListSelection(HWND list)
{
    std::vector<int> out;
    if (is_combo(list)) {
        LRESULT sel = SendMessageA(list, CB_GETCURSEL, 0, 0);
        if (sel >= 0)
            out.push_back((int)sel);
        return out;
    }
    if (SendMessageA(list, LB_GETSELCOUNT, 0, 0) == LB_ERR) {
        LRESULT sel = SendMessageA(list, LB_GETCURSEL, 0, 0);
        if (sel >= 0)
            out.push_back((int)sel);
        return out;
    }
    int count = (int)SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        if (SendMessageA(list, LB_GETSEL, (WPARAM)i, 0) > 0)
            out.push_back(i);
    return out;
}

bool PalRenderWindowPng(HWND hwnd, const char *path)
{
    HBITMAP bmp = PalRenderWindow(hwnd);
    if (!bmp)
        return false;
    bool ok = PalSaveBitmapPng(bmp, path) != FALSE;
    DeleteObject(bmp);
    return ok;
}
