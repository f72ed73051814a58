/*
 * The combo box control, class "COMBOBOX", as a drop-down list: a
 * selection field showing the selected item's text (which is also the
 * combo box's window text) over a list that drops down when the field is
 * clicked.  The styles with an edit field (CBS_SIMPLE, CBS_DROPDOWN) are
 * shown the same way, without the edit field.
 *
 * The list is a list box, a hidden child of the combo box, so items, sorting
 * (CBS_SORT) and searching behave exactly as in a list box; the CB_ messages
 * are answered by it.  The combo box listens to it and tells its own owner
 * of the user's choices: CBN_SELCHANGE when the user selects another item,
 * with the keys in the field or by clicking an item of the dropped list,
 * never for CB_SETCURSEL.
 *
 * As a window, the combo box is as high as its selection field; the height
 * it was created with (the template's) is the field and the dropped list
 * together.
 */
#include "user/controls.h"
#include "user/paint.h"
#include "user/window.h"

#include <algorithm>
#include <string>

namespace pal {
namespace {

constexpr int kButtonWidth = 17; /* the drop button, a scroll bar's width */
constexpr int kFieldMargin = 8;  /* borders and spacing around the field's text */
constexpr int kListId = 1000;    /* the list's control id inside the combo box */

struct ComboBox {
    HWND self = nullptr;
    HWND owner = nullptr;
    HWND list = nullptr;
    UINT id = 0;
    int total_height = 0; /* field and dropped list */
    int field_height = 0;
    HFONT font = nullptr;
    bool dropped = false;
    bool focused = false;
    int shown = -1; /* the item whose text the field shows */
};

using ComboRef = std::shared_ptr<ComboBox>;

ComboRef combo_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w ? std::static_pointer_cast<ComboBox>(w->ext) : nullptr;
}

void notify(const ComboRef &cb, int code)
{
    if (cb->owner)
        SendMessageA(cb->owner, WM_COMMAND, MAKEWPARAM(cb->id, code), (LPARAM)cb->self);
}

LRESULT to_list(const ComboRef &cb, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0)
{
    return SendMessageA(cb->list, msg, wparam, lparam);
}

/* Makes the field show the list's selection. */
void show_selection(const ComboRef &cb)
{
    int sel = (int)to_list(cb, LB_GETCURSEL);
    std::string text;
    if (sel >= 0) {
        text.resize((size_t)std::max<LRESULT>(0, to_list(cb, LB_GETTEXTLEN, (WPARAM)sel)) + 1);
        to_list(cb, LB_GETTEXT, (WPARAM)sel, (LPARAM)text.data());
        text.resize(std::char_traits<char>::length(text.c_str()));
    }
    cb->shown = sel;
    DefWindowProcA(cb->self, WM_SETTEXT, 0, (LPARAM)text.c_str());
    InvalidateRect(cb->self, nullptr, TRUE);
}

/* The layout follows the font: the field is as high as the font's text and
 * its margins; the list takes the rest of the height created with. */
void layout(const ComboRef &cb)
{
    WindowRef w = window_get(cb->self);
    if (!w)
        return;
    int item_height = (int)to_list(cb, LB_GETITEMHEIGHT);
    cb->field_height = item_height + kFieldMargin;
    w->rect.bottom = w->rect.top + cb->field_height;
    if (WindowRef l = window_get(cb->list)) {
        int width = w->rect.right - w->rect.left;
        int height = std::max(item_height, cb->total_height - cb->field_height);
        l->rect = RECT{0, cb->field_height, width, cb->field_height + height};
        SendMessageA(cb->list, WM_SIZE, 0, MAKELPARAM(width, height));
    }
}

void drop(const ComboRef &cb)
{
    if (cb->dropped)
        return;
    notify(cb, CBN_DROPDOWN);
    if (!combo_of(cb->self))
        return;
    cb->dropped = true;
    ShowWindow(cb->list, SW_SHOW);
    InvalidateRect(cb->self, nullptr, TRUE);
}

void close_up(const ComboRef &cb, bool accept)
{
    if (!cb->dropped)
        return;
    cb->dropped = false;
    ShowWindow(cb->list, SW_HIDE);
    InvalidateRect(cb->self, nullptr, TRUE);
    notify(cb, accept ? CBN_SELENDOK : CBN_SELENDCANCEL);
    if (combo_of(cb->self))
        notify(cb, CBN_CLOSEUP);
}

/* A selection the user made: the owner hears of it when it differs from
 * what the field showed. */
void user_selected(const ComboRef &cb)
{
    int before = cb->shown;
    show_selection(cb);
    if (cb->shown != before)
        notify(cb, CBN_SELCHANGE);
}

/* Up, Down, Home and End choose the neighbouring, first or last item
 * directly, dropped or not; Enter and Escape close the dropped list. */
void key_down(const ComboRef &cb, WPARAM key)
{
    int count = (int)to_list(cb, LB_GETCOUNT);
    int sel = (int)to_list(cb, LB_GETCURSEL);
    int target;
    switch (key) {
    case VK_UP:
        target = sel < 0 ? 0 : sel - 1;
        break;
    case VK_DOWN:
        target = sel + 1;
        break;
    case VK_HOME:
        target = 0;
        break;
    case VK_END:
        target = count - 1;
        break;
    case VK_RETURN:
    case VK_ESCAPE:
        close_up(cb, key == VK_RETURN);
        return;
    default:
        return;
    }
    if (count <= 0)
        return;
    target = std::clamp(target, 0, count - 1);
    if (target == sel)
        return;
    to_list(cb, LB_SETCURSEL, (WPARAM)target);
    user_selected(cb);
}

/* The list reports a click that ended on an item: that item is chosen and
 * the list closes. */
void list_command(const ComboRef &cb, int code)
{
    if (code != LBN_SELCHANGE)
        return;
    user_selected(cb);
    if (combo_of(cb->self))
        close_up(cb, true);
}

/* The field: a sunken edge, the selected text (highlighted while the combo
 * box has the focus and its list is closed) and the drop button with its
 * arrow. */
void paint(const ComboRef &cb, HDC dc)
{
    RECT inner = client_area(cb->self);
    bool enabled = IsWindowEnabled(cb->self);
    draw_edge(dc, &inner, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT);
    draw_edge(dc, &inner, COLOR_3DDKSHADOW, COLOR_3DLIGHT);
    RECT button{std::max(inner.left, inner.right - kButtonWidth), inner.top, inner.right,
                inner.bottom};
    RECT field{inner.left, inner.top, button.left, inner.bottom};
    HBRUSH background = control_color(cb->self, WM_CTLCOLOREDIT, dc);
    FillRect(dc, &field, enabled ? background : GetSysColorBrush(COLOR_BTNFACE));

    RECT text{field.left + 1, field.top + 1, field.right - 1, field.bottom - 1};
    bool highlight = cb->focused && !cb->dropped && enabled;
    if (highlight)
        FillRect(dc, &text, GetSysColorBrush(COLOR_HIGHLIGHT));
    HGDIOBJ old_font = SelectObject(dc, cb->font ? (HGDIOBJ)cb->font : GetStockObject(SYSTEM_FONT));
    int old_mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old_color = GetTextColor(dc);
    if (!enabled || highlight)
        SetTextColor(dc, GetSysColor(highlight ? COLOR_HIGHLIGHTTEXT : COLOR_GRAYTEXT));
    WindowRef w = window_get(cb->self);
    std::string label = w ? w->text : std::string();
    RECT label_rc{text.left + 2, text.top, text.right, text.bottom};
    DrawTextA(dc, label.c_str(), -1, &label_rc, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (highlight)
        DrawFocusRect(dc, &text);
    SetTextColor(dc, old_color);
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_font);

    draw_button_face(dc, &button, cb->dropped);
    /* The arrow: rows of 7, 5, 3 and 1 pixels, centred on the face. */
    int cx = (button.left + button.right) / 2, cy = (button.top + button.bottom) / 2 - 2;
    for (int row = 0; row < 4; ++row) {
        RECT line{cx - 3 + row, cy + row, cx + 4 - row, cy + row + 1};
        FillRect(dc, &line, GetSysColorBrush(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    }
}

LRESULT create(HWND hwnd, const CREATESTRUCTA *cs)
{
    WindowRef w = window_get(hwnd);
    auto cb = std::make_shared<ComboBox>();
    cb->self = hwnd;
    cb->owner = cs->hwndParent;
    cb->id = (UINT)w->id;
    cb->total_height = cs->cy;
    w->ext = cb;
    /* The scroll bar is the list's: the combo box itself has none. */
    w->style &= ~(DWORD)WS_VSCROLL;
    DWORD list_style = WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_NOTIFY | LBS_HASSTRINGS |
                       ((cs->style & CBS_SORT) ? LBS_SORT : 0) |
                       ((cs->style & CBS_NOINTEGRALHEIGHT) ? LBS_NOINTEGRALHEIGHT : 0);
    cb->list = CreateWindowExA(0, "LISTBOX", nullptr, list_style, 0, 0, cs->cx, cs->cy, hwnd,
                               (HMENU)(INT_PTR)kListId, cs->hInstance, nullptr);
    if (!cb->list)
        return -1;
    layout(cb);
    show_selection(cb); /* a drop-down list shows no title */
    return 0;
}

LRESULT CALLBACK combobox_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_CREATE)
        return create(hwnd, (const CREATESTRUCTA *)lparam);
    ComboRef cb = combo_of(hwnd);
    if (!cb || !cb->list)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    switch (msg) {
    case CB_ADDSTRING:
        return to_list(cb, LB_ADDSTRING, 0, lparam);
    case CB_INSERTSTRING:
        return to_list(cb, LB_INSERTSTRING, wparam, lparam);
    case CB_DELETESTRING: {
        LRESULT r = to_list(cb, LB_DELETESTRING, wparam);
        if (r != LB_ERR)
            show_selection(cb);
        return r;
    }
    case CB_RESETCONTENT:
        to_list(cb, LB_RESETCONTENT);
        show_selection(cb);
        return CB_OKAY;
    case CB_GETCOUNT:
        return to_list(cb, LB_GETCOUNT);
    case CB_GETLBTEXT:
        return to_list(cb, LB_GETTEXT, wparam, lparam);
    case CB_GETLBTEXTLEN:
        return to_list(cb, LB_GETTEXTLEN, wparam);
    case CB_GETITEMDATA:
        return to_list(cb, LB_GETITEMDATA, wparam);
    case CB_SETITEMDATA:
        return to_list(cb, LB_SETITEMDATA, wparam, lparam);
    case CB_FINDSTRING:
        return to_list(cb, LB_FINDSTRING, wparam, lparam);
    case CB_FINDSTRINGEXACT:
        return to_list(cb, LB_FINDSTRINGEXACT, wparam, lparam);
    case CB_GETCURSEL:
        return to_list(cb, LB_GETCURSEL);
    case CB_SETCURSEL: {
        /* -1 or an index beyond the list clears the selection and the
         * field, and answers CB_ERR. */
        LRESULT r = to_list(cb, LB_SETCURSEL, wparam);
        if (r == LB_ERR)
            to_list(cb, LB_SETCURSEL, (WPARAM)-1);
        show_selection(cb);
        return r == LB_ERR ? CB_ERR : r;
    }
    case CB_SELECTSTRING: {
        /* An item starting with the text is selected; without one, the
         * selection stays. */
        LRESULT index = to_list(cb, LB_FINDSTRING, wparam, lparam);
        if (index == LB_ERR)
            return CB_ERR;
        to_list(cb, LB_SETCURSEL, (WPARAM)index);
        show_selection(cb);
        return index;
    }
    case CB_SHOWDROPDOWN:
        if (wparam)
            drop(cb);
        else
            close_up(cb, false);
        return TRUE;
    case WM_SETTEXT:
        return CB_ERR; /* a drop-down list has no edit field to take text */
    case WM_COMMAND:
        if ((HWND)lparam == cb->list)
            list_command(cb, HIWORD(wparam));
        return 0;
    case WM_GETDLGCODE:
        /* A dropped list takes Enter and Escape as well. */
        return DLGC_WANTARROWS | DLGC_WANTCHARS | (cb->dropped ? DLGC_WANTMESSAGE : 0);
    case WM_SETFONT:
        cb->font = (HFONT)wparam;
        to_list(cb, WM_SETFONT, wparam, lparam);
        layout(cb);
        if (LOWORD(lparam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return (LRESULT)cb->font;
    case WM_SETFOCUS:
        cb->focused = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        notify(cb, CBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        close_up(cb, false);
        cb->focused = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        if (combo_of(hwnd))
            notify(cb, CBN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (!cb->focused) {
            SetFocus(hwnd);
            if (!combo_of(hwnd))
                return 0;
        }
        if (cb->dropped)
            close_up(cb, true);
        else
            drop(cb);
        return 0;
    case WM_KEYDOWN:
        key_down(cb, wparam);
        return 0;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_PAINT:
        return paint_message(hwnd, wparam, [&](HDC dc) { paint(cb, dc); });
    case WM_ERASEBKGND:
        return 1;
    case WM_NCDESTROY:
        if (WindowRef w = window_get(hwnd))
            w->ext.reset();
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

} // namespace

void combobox_register()
{
    register_system_class("ComboBox", combobox_proc, CS_DBLCLKS);
}

} // namespace pal
