// The library's dialog templates as the dialog manager makes them: each
// item in order, placed in dialog units, with the tab order wrapping.
#include "ui/dialogs.h"

#include "user/dialog.h"
#include "user/paint.h"
#include "user/window.h"

#include <gtest/gtest.h>

namespace {

pal::DialogTemplate parse(int id)
{
    pal::DialogTemplate tpl;
    HRSRC res = FindResourceA(resource_instance(), MAKEINTRESOURCEA(id), RT_DIALOG);
    EXPECT_NE(nullptr, res);
    if (res) {
        HGLOBAL data = LoadResource(resource_instance(), res);
        EXPECT_TRUE(pal::dialog_parse((const BYTE *)LockResource(data),
                                      SizeofResource(resource_instance(), res), &tpl));
    }
    return tpl;
}

TEST(Templates, EachDialogHasItsItemsInOrderPlacedInDialogUnitsWithWrappingTabOrder)
{
    for (int id : {100, 200, 300, 400, 500}) {
        SCOPED_TRACE(id);
        pal::DialogTemplate tpl = parse(id);
        HWND dlg = make_plain_dialog(id);
        ASSERT_NE(nullptr, dlg);
        RECT units{0, 0, 4, 8}, client;
        ASSERT_TRUE(MapDialogRect(dlg, &units));
        /* Dialog units to pixels, rounded as MulDiv rounds. */
        auto x = [&](LONG v) { return (v * units.right + 2) / 4; };
        auto y = [&](LONG v) { return (v * units.bottom + 4) / 8; };
        GetClientRect(dlg, &client);
        EXPECT_EQ(x(tpl.cx), client.right);
        EXPECT_EQ(y(tpl.cy), client.bottom);

        std::vector<HWND> children, tab_stops;
        for (const pal::WindowRef &w : pal::window_list())
            if (w->parent == dlg && (w->style & WS_CHILD))
                children.push_back(w->handle);
        ASSERT_EQ(tpl.items.size(), children.size());
        for (size_t i = 0; i < children.size(); ++i) {
            const pal::DialogItemTemplate &item = tpl.items[i];
            HWND h = children[i];
            SCOPED_TRACE(item.id);
            EXPECT_EQ(h, GetDlgItem(dlg, (int)item.id));
            EXPECT_EQ(pal::dialog_class_name(item.cls), class_of(h));
            char text[256];
            EXPECT_EQ(item.text.text, std::string(text, (size_t)GetWindowTextA(h, text, 256)));
            EXPECT_EQ(item.style, (DWORD)GetWindowLongPtrA(h, GWL_STYLE));
            RECT rc;
            GetWindowRect(h, &rc);
            EXPECT_EQ(x(item.x), rc.left);
            EXPECT_EQ(y(item.y), rc.top);
            EXPECT_EQ(x(item.cx), rc.right - rc.left);
            /* A list box drops the part of a row below its last whole item. */
            if (class_of(h) == "LISTBOX") {
                LONG row = (LONG)SendMessageA(h, LB_GETITEMHEIGHT, 0, 0);
                EXPECT_EQ(y(item.cy) - (y(item.cy) - 2 * pal::kEdgeWidth) % row,
                          rc.bottom - rc.top);
            }
            if ((item.style & WS_TABSTOP) && !(item.style & WS_DISABLED))
                tab_stops.push_back(h);
        }
        ASSERT_FALSE(tab_stops.empty());
        EXPECT_EQ(tab_stops.front(), GetFocus());
        HWND at = GetNextDlgTabItem(dlg, nullptr, FALSE);
        for (size_t i = 0; i <= tab_stops.size(); ++i, at = GetNextDlgTabItem(dlg, at, FALSE))
            EXPECT_EQ(tab_stops[i % tab_stops.size()], at) << "tab stop " << i;
        DestroyWindow(dlg);
    }
}

} // namespace
