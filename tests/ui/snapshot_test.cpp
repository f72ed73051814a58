// A picture of a library dialog: its frame, its caption active and not,
// its controls' states, and owner-drawn entries drawn by the owner.
#include "ui/dialogs.h"

#include "gdi/gdi.h"
#include "user/paint.h"

#include <paldriver.h>
#include <palpaint.h>

#include <gtest/gtest.h>

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[(size_t)(y * width + x)]; }
};

Picture render(HWND hwnd)
{
    Picture p;
    HBITMAP bmp = PalRenderWindow(hwnd);
    EXPECT_NE(nullptr, bmp);
    if (bmp) {
        pal::bitmap_read(bmp, &p.width, &p.height, &p.pixels);
        DeleteObject(bmp);
    }
    return p;
}

/* A control's middle on the picture of its dialog. */
POINT middle_of(HWND dlg, int id)
{
    RECT rc;
    GetWindowRect(GetDlgItem(dlg, id), &rc);
    pal::Insets frame = pal::nonclient_insets(dlg);
    return POINT{frame.left + (rc.left + rc.right) / 2, frame.top + (rc.top + rc.bottom) / 2};
}

TEST(Snapshots, ControlsShowTheirStateAndOwnerDrawnItemsComeFromTheOwner)
{
    static COLORREF drawn_with = RGB(200, 0, 0);
    DLGPROC proc = [](HWND dlg, UINT msg, WPARAM, LPARAM lparam) -> INT_PTR {
        if (msg == WM_INITDIALOG) {
            SendDlgItemMessageA(dlg, 109, LB_ADDSTRING, 0, (LPARAM) "someone <a@b>");
            return TRUE;
        }
        if (msg == WM_DRAWITEM) {
            const DRAWITEMSTRUCT *dis = (const DRAWITEMSTRUCT *)lparam;
            HBRUSH red = CreateSolidBrush(drawn_with);
            FillRect(dis->hDC, &dis->rcItem, red);
            DeleteObject(red);
            return TRUE;
        }
        return msg == WM_MEASUREITEM;
    };
    HWND dlg = CreateDialogParamA(resource_instance(), MAKEINTRESOURCEA(100), nullptr, proc, 0);
    ASSERT_NE(nullptr, dlg);
    ShowWindow(dlg, SW_SHOW);
    SetActiveWindow(dlg);
    Picture active = render(dlg);
    RECT client;
    GetClientRect(dlg, &client);
    ASSERT_EQ(client.right + 2 * pal::kFrameWidth, active.width);
    ASSERT_EQ(client.bottom + 2 * pal::kFrameWidth + pal::kCaptionHeight, active.height);
    /* Raised frame, active caption, face-coloured client area. */
    EXPECT_EQ(GetSysColor(COLOR_3DLIGHT), active.at(0, 0));
    EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), active.at(active.width - 1, active.height - 1));
    EXPECT_EQ(GetSysColor(COLOR_ACTIVECAPTION), active.at(active.width / 2, pal::kFrameWidth + 1));
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), active.at(pal::kFrameWidth + 1, active.height - 5));

    POINT list = middle_of(dlg, 109);
    RECT item;
    SendDlgItemMessageA(dlg, 109, LB_GETITEMRECT, 0, (LPARAM)&item);
    RECT list_rc;
    GetWindowRect(GetDlgItem(dlg, 109), &list_rc);
    pal::Insets frame = pal::nonclient_insets(dlg);
    int item_y = frame.top + list_rc.top + pal::kEdgeWidth + (item.top + item.bottom) / 2;
    EXPECT_EQ(drawn_with, active.at(list.x, item_y)) << "the owner drew the entry";
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), active.at(list.x, list.y + 20)) << "below the entries";

    POINT field = middle_of(dlg, 107);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), active.at(field.x, field.y));
    EnableWindow(GetDlgItem(dlg, 107), FALSE);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), render(dlg).at(field.x, field.y))
        << "a disabled field takes the dialog's face colour";

    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                 nullptr);
    SetActiveWindow(other);
    Picture inactive = render(dlg);
    EXPECT_EQ(GetSysColor(COLOR_INACTIVECAPTION), inactive.at(inactive.width / 2, 4));
    DestroyWindow(other);
    DestroyWindow(dlg);
}

} // namespace
