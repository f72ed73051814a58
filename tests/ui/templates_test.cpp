// The library's dialog templates as the dialog manager makes them, and the
// styles the dialog code relies on.
#include "ui/dialogs.h"

#include "support/instance.h"
#include "user/dialog.h"
#include "user/paint.h"
#include "user/window.h"

#include <gtest/gtest.h>

#include <algorithm>

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
        EXPECT_EQ((DWORD)DS_SETFONT, tpl.style & DS_SETFONT);
        EXPECT_EQ(8, tpl.point_size);
        HWND dlg = make_plain_dialog(id);
        ASSERT_NE(nullptr, dlg);
        RECT units{0, 0, 4, 8}, client;
        ASSERT_TRUE(MapDialogRect(dlg, &units));
        GetClientRect(dlg, &client);
        EXPECT_EQ(MulDivRound(tpl.cx, units.right, 4), client.right);
        EXPECT_EQ(MulDivRound(tpl.cy, units.bottom, 8), client.bottom);

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
            EXPECT_EQ(item.text.text, window_text(h));
            EXPECT_EQ(item.style, (DWORD)GetWindowLongPtrA(h, GWL_STYLE));
            RECT rc;
            GetWindowRect(h, &rc);
            EXPECT_EQ(MulDivRound(item.x, units.right, 4), rc.left);
            EXPECT_EQ(MulDivRound(item.y, units.bottom, 8), rc.top);
            EXPECT_EQ(MulDivRound(item.cx, units.right, 4), rc.right - rc.left);
            /* A list box drops the part of a row below its last whole item. */
            if (class_of(h) == "LISTBOX") {
                LONG height = MulDivRound(item.cy, units.bottom, 8);
                LONG row = (LONG)SendMessageA(h, LB_GETITEMHEIGHT, 0, 0);
                EXPECT_EQ(height - (height - 2 * pal::kEdgeWidth) % row, rc.bottom - rc.top);
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

TEST(Templates, ControlsCarryTheStylesTheDialogCodeNeeds)
{
    constexpr DWORD kList =
        LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_SORT | LBS_EXTENDEDSEL | LBS_NOTIFY;
    struct Need {
        int dialog, id;
        DWORD style;
    } needs[] = {
        {100, 109, kList},          {200, 202, kList},
        {300, 302, kList},          {100, 103, WS_DISABLED},
        {300, 1, BS_DEFPUSHBUTTON}, {400, 1, BS_DEFPUSHBUTTON},
        {500, 502, ES_READONLY},    {500, 504, ES_READONLY},
        {500, 6, BS_DEFPUSHBUTTON}, {500, 506, CBS_DROPDOWNLIST | CBS_SORT},
    };
    for (const Need &n : needs) {
        pal::DialogTemplate tpl = parse(n.dialog);
        auto it = std::find_if(tpl.items.begin(), tpl.items.end(),
                               [&](const auto &item) { return item.id == (DWORD)n.id; });
        ASSERT_NE(tpl.items.end(), it) << n.dialog << "/" << n.id;
        EXPECT_EQ(n.style, it->style & n.style) << n.dialog << "/" << n.id;
    }
}

} // namespace
