// The five dialog templates of the library, control by control: ids,
// classes, texts, positions in dialog units, styles and tab order, both as
// the resource holds them and as the dialog manager makes the windows.
#include "ui/dialogs.h"

#include "support/instance.h"
#include "user/dialog.h"
#include "user/paint.h"
#include "user/window.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kField = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kList = LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_SORT | LBS_EXTENDEDSEL |
                        LBS_NOTIFY | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDefault = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kFrame = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

struct Control {
    int id;
    const char *cls;
    const char *text;
    short x, y, cx, cy;
    DWORD style; /* besides WS_CHILD | WS_VISIBLE */
};

struct Dialog {
    int id;
    const char *caption;
    short cx, cy;
    const char *face;
    DWORD style; /* besides DS_SETFONT */
    std::vector<Control> controls;
};

const std::vector<Dialog> &dialogs()
{
    static const std::vector<Dialog> all = {
        {100, "Invite", 240, 148, "Helv", kFrame,
         {{101, "STATIC", "Add&ress:", 4, 5, 44, 10, kLabel},
          {102, "EDIT", "", 52, 4, 112, 12, kField},
          {103, "STATIC", "(hostname or user@hostname)", 52, 18, 112, 10,
           SS_CENTER | WS_GROUP | WS_DISABLED},
          {104, "STATIC", "Real &Name:", 4, 33, 44, 10, kLabel},
          {105, "EDIT", "", 52, 32, 112, 12, kField},
          {106, "STATIC", "&Subject:", 4, 49, 44, 10, kLabel},
          {107, "EDIT", "", 52, 48, 112, 12, kField},
          {108, "STATIC", "Invitation &List:", 4, 68, 88, 10, kLabel},
          {109, "LISTBOX", "", 4, 80, 164, 64, kList},
          {2, "BUTTON", "Close", 172, 4, 64, 14, kPush},
          {110, "BUTTON", "&Call", 172, 20, 64, 14, kPush},
          {111, "BUTTON", "&Add", 172, 36, 64, 14, kPush},
          {112, "BUTTON", "Address &Book...", 172, 80, 64, 14, kPush},
          {113, "BUTTON", "&Delete", 172, 96, 64, 14, kPush},
          {9, "BUTTON", "&Help", 174, 130, 64, 14, kPush}}},
        {200, "Address Book", 194, 118, "Helv", kFrame,
         {{201, "STATIC", "Address &Book List:", 4, 4, 120, 10, kLabel},
          {202, "LISTBOX", "", 4, 14, 120, 104, kList},
          {2, "BUTTON", "Close", 132, 14, 58, 14, kPush},
          {203, "BUTTON", "New &Address...", 132, 34, 58, 14, kPush},
          {204, "BUTTON", "New &Group...", 132, 50, 58, 14, kPush},
          {205, "BUTTON", "&Change", 132, 66, 58, 14, kPush},
          {206, "BUTTON", "&Delete", 132, 82, 58, 14, kPush},
          {9, "BUTTON", "&Help", 132, 100, 58, 14, kPush}}},
        {300, "Group", 148, 150, "MS Sans Serif", kFrame | WS_VISIBLE,
         {{303, "STATIC", "&Group:", 4, 4, 28, 10, kLabel},
          {304, "EDIT", "", 36, 4, 108, 12, kField},
          {301, "STATIC", "Address &Book List:", 4, 20, 140, 10, kLabel},
          {302, "LISTBOX", "", 4, 32, 140, 92, kList},
          {1, "BUTTON", "OK", 60, 132, 40, 14, kDefault},
          {2, "BUTTON", "Cancel", 104, 132, 40, 14, kPush}}},
        {400, "New", 186, 56, "MS Sans Serif", kFrame | WS_VISIBLE,
         {{101, "STATIC", "&Address:", 4, 5, 44, 10, kLabel},
          {102, "EDIT", "", 52, 4, 130, 12, kField},
          {403, "STATIC", "&Real Name:", 4, 21, 44, 10, kLabel},
          {404, "EDIT", "", 52, 20, 130, 12, kField},
          {1, "BUTTON", "OK", 98, 38, 40, 14, kDefault},
          {2, "BUTTON", "Cancel", 142, 38, 40, 14, kPush}}},
        {500, "Invite - RSVP", 156, 72, "Helv", kFrame,
         {{501, "STATIC", "&Subject:", 4, 5, 50, 10, kLabel},
          {502, "EDIT", "", 58, 4, 94, 12, kField | ES_READONLY},
          {503, "STATIC", "&From:", 4, 21, 50, 10, kLabel},
          {504, "EDIT", "", 58, 20, 94, 12, kField | ES_READONLY},
          {505, "STATIC", "&Members:", 4, 37, 50, 10, kLabel},
          {506, "COMBOBOX", "", 58, 36, 94, 36,
           CBS_DROPDOWNLIST | CBS_SORT | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP},
          {6, "BUTTON", "&Accept", 36, 54, 40, 14, kDefault},
          {7, "BUTTON", "&Decline", 80, 54, 40, 14, kPush}}},
    };
    return all;
}

void PrintTo(const Dialog &d, std::ostream *os) { *os << "dialog " << d.id; }

class Templates : public ::testing::TestWithParam<Dialog> {};

TEST_P(Templates, ResourceHoldsExactlyTheTabledControls)
{
    const Dialog &want = GetParam();
    HRSRC res = FindResourceA(resource_instance(), MAKEINTRESOURCEA(want.id), RT_DIALOG);
    ASSERT_NE(nullptr, res);
    pal::DialogTemplate tpl;
    ASSERT_TRUE(pal::dialog_parse((const BYTE *)LockResource(LoadResource(resource_instance(), res)),
                                  SizeofResource(resource_instance(), res), &tpl));
    EXPECT_FALSE(tpl.extended);
    EXPECT_EQ(want.style | DS_SETFONT, tpl.style);
    EXPECT_EQ(0u, tpl.exstyle);
    EXPECT_EQ(want.caption, tpl.caption);
    EXPECT_EQ(std::make_tuple(0, 0, want.cx, want.cy),
              std::make_tuple(tpl.x, tpl.y, tpl.cx, tpl.cy));
    EXPECT_EQ(want.face, tpl.face);
    EXPECT_EQ(8, tpl.point_size);
    EXPECT_TRUE(tpl.menu.empty());
    EXPECT_TRUE(tpl.cls.empty());
    ASSERT_EQ(want.controls.size(), tpl.items.size());
    for (size_t i = 0; i < tpl.items.size(); ++i) {
        const Control &c = want.controls[i];
        const pal::DialogItemTemplate &item = tpl.items[i];
        SCOPED_TRACE(testing::Message() << "dialog " << want.id << " control " << c.id);
        EXPECT_EQ((DWORD)c.id, item.id);
        EXPECT_TRUE(item.cls.is_ordinal) << "system classes are given by ordinal";
        EXPECT_EQ(c.cls, pal::dialog_class_name(item.cls));
        EXPECT_FALSE(item.text.is_ordinal);
        EXPECT_EQ(c.text, item.text.text);
        EXPECT_EQ(std::make_tuple(c.x, c.y, c.cx, c.cy),
                  std::make_tuple(item.x, item.y, item.cx, item.cy));
        EXPECT_EQ(c.style | WS_CHILD | WS_VISIBLE, item.style)
            << std::hex << "want 0x" << (c.style | WS_CHILD | WS_VISIBLE) << " got 0x"
            << item.style;
        EXPECT_EQ(0u, item.exstyle);
    }
}

TEST_P(Templates, DialogMadeFromTheTemplateHasExactlyTheTabledWindows)
{
    const Dialog &want = GetParam();
    HWND dlg = make_plain_dialog(want.id);
    ASSERT_NE(nullptr, dlg);
    EXPECT_EQ(want.caption, window_text(dlg));
    EXPECT_EQ(want.style | DS_SETFONT | WS_VISIBLE, (DWORD)GetWindowLongPtrA(dlg, GWL_STYLE))
        << "shown by the test";
    RECT units{0, 0, 4, 8};
    ASSERT_TRUE(MapDialogRect(dlg, &units));
    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_EQ(MulDivRound(want.cx, units.right, 4), client.right);
    EXPECT_EQ(MulDivRound(want.cy, units.bottom, 8), client.bottom);

    std::vector<HWND> children;
    for (const pal::WindowRef &w : pal::window_list())
        if (w->parent == dlg && (w->style & WS_CHILD))
            children.push_back(w->handle);
    ASSERT_EQ(want.controls.size(), children.size());
    std::vector<HWND> tab_stops;
    for (size_t i = 0; i < children.size(); ++i) {
        const Control &c = want.controls[i];
        HWND h = children[i];
        SCOPED_TRACE(testing::Message() << "dialog " << want.id << " control " << c.id);
        EXPECT_EQ(h, GetDlgItem(dlg, c.id));
        EXPECT_EQ(c.id, GetDlgCtrlID(h));
        EXPECT_EQ(c.cls, class_of(h));
        EXPECT_EQ(c.text, window_text(h));
        EXPECT_EQ(c.style | WS_CHILD | WS_VISIBLE, (DWORD)GetWindowLongPtrA(h, GWL_STYLE));
        EXPECT_EQ(!(c.style & WS_DISABLED), IsWindowEnabled(h) != FALSE);
        RECT rc;
        GetWindowRect(h, &rc);
        EXPECT_EQ(MulDivRound(c.x, units.right, 4), rc.left);
        EXPECT_EQ(MulDivRound(c.y, units.bottom, 8), rc.top);
        EXPECT_EQ(MulDivRound(c.cx, units.right, 4), rc.right - rc.left);
        /* A combo box is as high as its field; a list box drops the part of
         * a row below its last whole item. */
        LONG height = MulDivRound(c.cy, units.bottom, 8);
        if (c.cls == std::string("LISTBOX")) {
            LONG item = (LONG)SendMessageA(h, LB_GETITEMHEIGHT, 0, 0);
            height -= (height - 2 * pal::kEdgeWidth) % item;
        }
        if (c.cls != std::string("COMBOBOX")) {
            EXPECT_EQ(height, rc.bottom - rc.top);
        }
        if ((c.style & WS_TABSTOP) && !(c.style & WS_DISABLED))
            tab_stops.push_back(h);
    }
    /* Tab order is template order, and wraps around. */
    ASSERT_FALSE(tab_stops.empty());
    HWND at = GetNextDlgTabItem(dlg, nullptr, FALSE);
    for (size_t i = 0; i < tab_stops.size() + 1; ++i) {
        EXPECT_EQ(tab_stops[i % tab_stops.size()], at) << "tab stop " << i;
        at = GetNextDlgTabItem(dlg, at, FALSE);
    }
    EXPECT_EQ(tab_stops.front(), GetFocus()) << "the plain procedure asks for the first tab stop";
    DestroyWindow(dlg);
}

INSTANTIATE_TEST_SUITE_P(LibraryDialogs, Templates, ::testing::ValuesIn(dialogs()),
                         [](const auto &info) { return "Dialog" + std::to_string(info.param.id); });

} // namespace
