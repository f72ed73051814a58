/*
 * The list box control, class "LISTBOX".
 *
 * Items are kept in one vector with their text, item data and selection
 * flag; a single-selection list simply never has more than one flag set.
 * The list remembers its style as it was created: changing GWL_STYLE later
 * does not turn a single-selection list into a multiple-selection one.
 *
 * As on Windows, the owner hears of the user's actions only: LBN_SELCHANGE
 * follows a click (when the button is released), a drag and the keys that
 * move the selection, never LB_SETSEL or LB_SETCURSEL, and only from a list
 * with LBS_NOTIFY.  A sorted list (LBS_SORT) orders its texts as lstrcmpiA
 * compares them; one without strings asks its owner (WM_COMPAREITEM).
 *
 * An owner-drawn list asks its owner for the item height once, when it is
 * created, and has every item drawn by the owner (WM_DRAWITEM).  Items of
 * variable height are not provided: LBS_OWNERDRAWVARIABLE is measured once
 * like LBS_OWNERDRAWFIXED.
 *
 * Notifications and owner-draw requests are sent while the list is in the
 * middle of a message, and the owner may answer by changing the list or
 * destroying it; the code therefore re-reads its state after every send
 * and holds no iterator across one.
 */
#include "user/controls.h"
#include "user/paint.h"
#include "user/window.h"
#include "kernel/fault.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace pal {
namespace {

/* The system font's character height on the 96-dpi display, for a list
 * whose font cannot be measured. */
constexpr int kSystemFontHeight = 16;

struct Item {
    std::string text;
    ULONG_PTR data = 0;
    bool selected = false;
};

struct ListBox {
    HWND self = nullptr;
    HWND owner = nullptr;
    UINT id = 0;
    DWORD style = 0;
    bool in_combo = false; /* the list of a combo box, which keeps the focus */
    std::vector<Item> items;
    int caret = 0;
    int anchor = -1;
    int top = 0;
    int item_height = kSystemFontHeight;
    HFONT font = nullptr;
    bool focused = false;
    bool captured = false; /* a button press on an item awaits its release */

    bool owner_draw() const { return style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE); }
    bool has_strings() const { return !owner_draw() || (style & LBS_HASSTRINGS); }
    bool multi() const { return style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL); }
    bool extended() const { return style & LBS_EXTENDEDSEL; }
    int count() const { return (int)items.size(); }
    bool valid(WPARAM i) const { return (INT_PTR)i >= 0 && (INT_PTR)i < count(); }
};

using ListRef = std::shared_ptr<ListBox>;

ListRef list_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w ? std::static_pointer_cast<ListBox>(w->ext) : nullptr;
}

void notify(const ListRef &lb, int code)
{
    if (lb->owner)
        SendMessageA(lb->owner, WM_COMMAND, MAKEWPARAM(lb->id, code), (LPARAM)lb->self);
}

void redraw(const ListRef &lb)
{
    InvalidateRect(lb->self, nullptr, TRUE);
}

int font_height(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc)
        return kSystemFontHeight;
    HGDIOBJ old = SelectObject(dc, font ? (HGDIOBJ)font : GetStockObject(SYSTEM_FONT));
    TEXTMETRICA tm{};
    int height = GetTextMetricsA(dc, &tm) && tm.tmHeight > 0 ? tm.tmHeight : kSystemFontHeight;
    SelectObject(dc, old);
    DeleteDC(dc);
    return height;
}

/* Inside the border and the scroll bar. */
RECT client_of(const ListRef &lb)
{
    return client_area(lb->self);
}

/* Whole items that fit in the client area, at least one. */
int page_size(const ListRef &lb)
{
    return std::max(1, (int)(client_of(lb).bottom / lb->item_height));
}

/* Unless created with LBS_NOINTEGRALHEIGHT, a list box is as high as a
 * whole number of its items: Windows takes the part of a row off its
 * bottom when it is made, resized or given a new font. */
void fit_height(const ListRef &lb)
{
    if (lb->style & LBS_NOINTEGRALHEIGHT)
        return;
    int client = (int)client_of(lb).bottom;
    int extra = client % lb->item_height;
    if (client > lb->item_height && extra > 0)
        if (WindowRef w = window_get(lb->self))
            w->rect.bottom -= extra;
}

RECT item_rect(const ListRef &lb, int index)
{
    RECT rc = client_of(lb);
    rc.top = (index - lb->top) * lb->item_height;
    rc.bottom = rc.top + lb->item_height;
    return rc;
}

void set_top(const ListRef &lb, int top)
{
    int last = std::max(0, lb->count() - page_size(lb));
    top = std::clamp(top, 0, last);
    if (top != lb->top) {
        lb->top = top;
        redraw(lb);
    }
}

void show_item(const ListRef &lb, int index)
{
    if (index < lb->top)
        set_top(lb, index);
    else if (index >= lb->top + page_size(lb))
        set_top(lb, index - page_size(lb) + 1);
}

/* The item under a client point: -1 below the last item or in an empty
 * list; a point above the client area means the top item. */
int item_at(const ListRef &lb, int y)
{
    if (lb->items.empty())
        return -1;
    int index = y < 0 ? lb->top : lb->top + y / lb->item_height;
    return index < lb->count() ? index : -1;
}

int cur_sel(const ListRef &lb)
{
    for (int i = 0; i < lb->count(); ++i)
        if (lb->items[(size_t)i].selected)
            return i;
    return -1;
}

/* Selects exactly the items first..last (either order; -1 for none); true
 * when any flag changed. */
bool select_only(const ListRef &lb, int first, int last)
{
    if (first > last)
        std::swap(first, last);
    bool changed = false;
    for (int i = 0; i < lb->count(); ++i) {
        bool on = first >= 0 && i >= first && i <= last;
        if (lb->items[(size_t)i].selected != on) {
            lb->items[(size_t)i].selected = on;
            changed = true;
        }
    }
    if (changed)
        redraw(lb);
    return changed;
}

void set_selected(const ListRef &lb, int index, bool on)
{
    if (lb->items[(size_t)index].selected != on) {
        lb->items[(size_t)index].selected = on;
        redraw(lb);
    }
}

void set_caret(const ListRef &lb, int index)
{
    if (lb->caret != index) {
        lb->caret = index;
        redraw(lb);
    }
    show_item(lb, index);
}

/* The position where a new item belongs in a sorted list: in front of the
 * first item that does not sort before it.  Lists without strings ask their
 * owner, as Windows does, with the listed item first and the new one
 * second. */
int sorted_position(const ListRef &lb, const char *text, ULONG_PTR data)
{
    for (int i = 0;; ++i) {
        if (i >= lb->count())
            return i;
        int order;
        if (lb->has_strings()) {
            order = lstrcmpiA(lb->items[(size_t)i].text.c_str(), text);
        } else {
            COMPAREITEMSTRUCT cis{ODT_LISTBOX, lb->id, lb->self, (UINT)i, lb->items[(size_t)i].data,
                                  (UINT)-1,    data,   0};
            order =
                lb->owner ? (int)SendMessageA(lb->owner, WM_COMPAREITEM, lb->id, (LPARAM)&cis) : -1;
            if (!list_of(lb->self))
                return -1;
        }
        if (order >= 0)
            return i;
    }
}

/* LB_ADDSTRING and LB_INSERTSTRING: a list without strings keeps lParam as
 * the item's data. */
LRESULT insert(const ListRef &lb, int index, LPARAM lparam, bool sorted)
{
    const char *text = lb->has_strings() && lparam ? (const char *)lparam : "";
    ULONG_PTR data = lb->has_strings() ? 0 : (ULONG_PTR)lparam;
    if (sorted)
        index = sorted_position(lb, text, data);
    else if (index == -1)
        index = lb->count();
    if (index < 0 || index > lb->count())
        return LB_ERR;
    if (fault_hit(PAL_FAULT_HEAPALLOC)) {
        notify(lb, LBN_ERRSPACE);
        return LB_ERRSPACE;
    }
    lb->items.insert(lb->items.begin() + index, Item{text, data, false});
    /* The caret and the anchor stay on their items. */
    if (lb->count() > 1 && lb->caret >= index)
        ++lb->caret;
    if (lb->anchor >= index)
        ++lb->anchor;
    redraw(lb);
    return index;
}

void reset(const ListRef &lb)
{
    lb->items.clear();
    lb->caret = 0;
    lb->anchor = -1;
    lb->top = 0;
    lb->captured = false;
    redraw(lb);
}

LRESULT remove(const ListRef &lb, WPARAM wparam)
{
    if (!lb->valid(wparam))
        return LB_ERR;
    int index = (int)wparam;
    lb->items.erase(lb->items.begin() + index);
    if (lb->items.empty()) {
        /* Windows empties a list that loses its last item with
         * LB_RESETCONTENT, which a subclass sees. */
        SendMessageA(lb->self, LB_RESETCONTENT, 0, 0);
        return 0;
    }
    if (lb->caret > index || lb->caret >= lb->count())
        --lb->caret;
    if (lb->anchor == index)
        lb->anchor = -1;
    else if (lb->anchor > index)
        --lb->anchor;
    set_top(lb, lb->top);
    redraw(lb);
    return lb->count();
}

/* LB_FINDSTRING (prefix) and LB_FINDSTRINGEXACT (whole text): searches
 * after `start` to the end and on from the top back to `start`, comparing
 * without regard to case.  Lists without strings compare item data. */
LRESULT find(const ListRef &lb, WPARAM start, LPARAM lparam, bool exact)
{
    int n = lb->count();
    int from = lb->valid(start) ? (int)start + 1 : 0;
    const char *text = (const char *)lparam;
    if (lb->has_strings() && !text)
        return LB_ERR;
    std::string prefix;
    for (int k = 0; k < n; ++k) {
        const Item &item = lb->items[(size_t)((from + k) % n)];
        bool hit;
        if (!lb->has_strings()) {
            hit = item.data == (ULONG_PTR)lparam;
        } else if (exact) {
            hit = lstrcmpiA(item.text.c_str(), text) == 0;
        } else {
            prefix.assign(item.text, 0, std::strlen(text));
            hit = lstrcmpiA(prefix.c_str(), text) == 0;
        }
        if (hit)
            return (from + k) % n;
    }
    return LB_ERR;
}

LRESULT get_text(const ListRef &lb, WPARAM index, LPARAM buffer)
{
    if (!lb->valid(index) || !buffer)
        return LB_ERR;
    const Item &item = lb->items[index];
    if (!lb->has_strings()) {
        std::memcpy((void *)buffer, &item.data, sizeof item.data);
        return sizeof item.data;
    }
    /* The caller sized the buffer with LB_GETTEXTLEN, as the message
     * requires. */
    std::memcpy((void *)buffer, item.text.c_str(), item.text.size() + 1);
    return (LRESULT)item.text.size();
}

LRESULT get_sel_items(const ListRef &lb, WPARAM max, LPARAM out)
{
    if (!lb->multi())
        return LB_ERR;
    int *indexes = (int *)out;
    int n = 0;
    for (int i = 0; i < lb->count() && (WPARAM)n < max; ++i)
        if (lb->items[(size_t)i].selected)
            indexes[n++] = i;
    return n;
}

/* LB_SETSEL: multiple-selection lists only; index -1 means every item.
 * The caret and the anchor move to a single item, selected or not. */
LRESULT set_sel(const ListRef &lb, bool on, LPARAM index)
{
    if (!lb->multi())
        return LB_ERR;
    if (index == -1) {
        for (int i = 0; i < lb->count(); ++i)
            set_selected(lb, i, on);
        return LB_OKAY;
    }
    if (index < 0 || index >= lb->count())
        return LB_ERR;
    set_selected(lb, (int)index, on);
    lb->anchor = (int)index;
    set_caret(lb, (int)index);
    return LB_OKAY;
}

/* LB_SETCURSEL: single-selection lists only; -1 clears the selection and
 * answers LB_ERR like a failure; an index beyond the list changes
 * nothing. */
LRESULT set_cur_sel(const ListRef &lb, WPARAM wparam)
{
    INT_PTR index = (INT_PTR)wparam;
    if (lb->multi() || index < -1 || index >= lb->count())
        return LB_ERR;
    select_only(lb, (int)index, (int)index);
    if (index == -1)
        return LB_ERR;
    set_caret(lb, (int)index);
    return index;
}

/* LB_SELITEMRANGE: first and last are unsigned words, in either order. */
LRESULT select_range(const ListRef &lb, bool on, LPARAM range)
{
    if (!lb->multi())
        return LB_ERR;
    int first = LOWORD(range), last = HIWORD(range);
    if (first > last)
        std::swap(first, last);
    for (int i = first; i <= std::min(last, lb->count() - 1); ++i)
        set_selected(lb, i, on);
    return LB_OKAY;
}

/* A button press on an item (a double-click counts as one), with the
 * modifier keys of the message.  Extended selection: a plain click selects
 * the item alone and makes it the anchor, Ctrl toggles it, Shift selects
 * the anchor..item range instead of the selection, Ctrl+Shift adds that
 * range to it.  Multiple selection: a click toggles the item. */
void press(const ListRef &lb, WPARAM keys, int index)
{
    lb->captured = true;
    bool shift = keys & MK_SHIFT, ctrl = keys & MK_CONTROL;
    if (!lb->multi()) {
        lb->anchor = index;
        select_only(lb, index, index);
    } else if (lb->extended() && shift && ctrl && lb->anchor >= 0) {
        for (int i = std::min(lb->anchor, index); i <= std::max(lb->anchor, index); ++i)
            set_selected(lb, i, true);
    } else if (ctrl || !lb->extended()) {
        if (!shift)
            lb->anchor = index;
        set_selected(lb, index, !lb->items[(size_t)index].selected);
    } else {
        if (!shift || lb->anchor < 0)
            lb->anchor = index;
        select_only(lb, lb->anchor, index);
    }
    set_caret(lb, index);
}

void button_down(const ListRef &lb, WPARAM keys, LPARAM pos, bool dblclk)
{
    if (!lb->focused) {
        SetFocus(lb->in_combo ? lb->owner : lb->self);
        if (!list_of(lb->self))
            return;
    }
    int index = item_at(lb, (short)HIWORD(pos));
    if (index < 0)
        return;
    press(lb, keys, index);
    if (dblclk && (lb->style & LBS_NOTIFY))
        notify(lb, LBN_DBLCLK);
}

/* Dragging with the button down moves the selection along. */
void drag(const ListRef &lb, WPARAM keys, LPARAM pos)
{
    if (!lb->captured || !(keys & MK_LBUTTON))
        return;
    int y = (short)HIWORD(pos);
    if (y < 0 || y >= client_of(lb).bottom)
        return;
    int index = item_at(lb, y);
    if (index < 0 || index == lb->caret)
        return;
    if (!lb->multi())
        select_only(lb, index, index);
    else if (lb->extended() && !(keys & MK_CONTROL))
        select_only(lb, lb->anchor, index);
    set_caret(lb, index);
}

/* The end of a press: the owner learns of the selection now.  Losing the
 * focus before the release ends the press the same way. */
void release(const ListRef &lb)
{
    if (!lb->captured)
        return;
    lb->captured = false;
    if ((lb->style & LBS_NOTIFY) && !lb->items.empty())
        notify(lb, LBN_SELCHANGE);
}

/* Up, Down, Home and End move the caret.  A single-selection list selects
 * the new item; an extended-selection list selects it alone and anchors
 * there, or with Shift the anchor..caret range, or with Ctrl moves only the
 * caret; a multiple-selection list moves only the caret.  Space selects the
 * caret item (extended: alone, with Ctrl toggled, with Shift the range) or
 * toggles it (multiple). */
void key_down(const ListRef &lb, WPARAM key)
{
    if (lb->items.empty())
        return;
    bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
    int target;
    switch (key) {
    case VK_UP:
        target = lb->caret - 1;
        break;
    case VK_DOWN:
        target = lb->caret + 1;
        break;
    case VK_HOME:
        target = 0;
        break;
    case VK_END:
        target = lb->count() - 1;
        break;
    case VK_SPACE:
        if (!lb->multi())
            return;
        if (!lb->extended() || (ctrl && !shift)) {
            set_selected(lb, lb->caret, !lb->items[(size_t)lb->caret].selected);
            lb->anchor = lb->caret;
        } else if (shift && lb->anchor >= 0) {
            select_only(lb, lb->anchor, lb->caret);
        } else {
            select_only(lb, lb->caret, lb->caret);
            lb->anchor = lb->caret;
        }
        if (lb->style & LBS_NOTIFY)
            notify(lb, LBN_SELCHANGE);
        return;
    default:
        return;
    }
    target = std::clamp(target, 0, lb->count() - 1);
    bool changed = false;
    if (!lb->multi()) {
        lb->anchor = target;
        changed = select_only(lb, target, target);
    } else if (lb->extended() && !ctrl) {
        if (!shift || lb->anchor < 0)
            lb->anchor = target;
        changed = select_only(lb, lb->anchor, target);
    }
    set_caret(lb, target);
    /* A multiple-selection list reports every arrow key, even one that
     * changes nothing; a single-selection list only a new selection. */
    if ((lb->style & LBS_NOTIFY) && (changed || lb->multi()))
        notify(lb, LBN_SELCHANGE);
}

void draw_item(const ListRef &lb, HDC dc, int index, UINT action)
{
    const Item *item = index >= 0 ? &lb->items[(size_t)index] : nullptr;
    DRAWITEMSTRUCT dis{};
    dis.CtlType = ODT_LISTBOX;
    dis.CtlID = lb->id;
    dis.itemID = (UINT)index;
    dis.itemAction = action;
    dis.itemState = (item && item->selected ? ODS_SELECTED : 0) |
                    (lb->focused && (!item || index == lb->caret) ? ODS_FOCUS : 0) |
                    (IsWindowEnabled(lb->self) ? 0 : ODS_DISABLED);
    dis.hwndItem = lb->self;
    dis.hDC = dc;
    dis.rcItem = item_rect(lb, index < 0 ? lb->top : index);
    dis.itemData = item ? item->data : 0;
    SendMessageA(lb->owner, WM_DRAWITEM, lb->id, (LPARAM)&dis);
}

/* A text item: the selection in the highlight colours, other items in the
 * colours the owner chose (WM_CTLCOLORLISTBOX), grey while disabled. */
void draw_text_item(const ListRef &lb, HDC dc, int index, HBRUSH background)
{
    const Item &item = lb->items[(size_t)index];
    RECT rc = item_rect(lb, index);
    bool enabled = IsWindowEnabled(lb->self);
    COLORREF old_color = GetTextColor(dc);
    if (item.selected && enabled) {
        FillRect(dc, &rc, GetSysColorBrush(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    } else {
        FillRect(dc, &rc, background);
        if (!enabled)
            SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    }
    RECT text = rc;
    text.left += 2;
    DrawTextA(dc, item.text.c_str(), -1, &text, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetTextColor(dc, old_color);
    if (lb->focused && index == lb->caret)
        DrawFocusRect(dc, &rc);
}

/* Paints the visible items, then, for an owner-drawn list with the focus,
 * has the owner draw the focus on the caret item (ODA_FOCUS) - on an empty
 * list as item -1.  The owner may destroy the list while it draws; painting
 * then stops. */
void paint(const ListRef &lb, HDC dc)
{
    HGDIOBJ old_font = SelectObject(dc, lb->font ? (HGDIOBJ)lb->font : GetStockObject(SYSTEM_FONT));
    int old_mode = SetBkMode(dc, TRANSPARENT);
    COLORREF old_color = GetTextColor(dc);
    HBRUSH background = control_color(lb->self, WM_CTLCOLORLISTBOX, dc);
    RECT client = client_of(lb);
    int rows = (int)((client.bottom + lb->item_height - 1) / lb->item_height);
    int last = std::min(lb->count(), lb->top + rows);
    RECT rest = client;
    rest.top = std::max(0, (last - lb->top) * lb->item_height);
    FillRect(dc, &rest, background);
    bool alive = list_of(lb->self) != nullptr;
    for (int i = lb->top; alive && i < std::min(last, lb->count()); ++i) {
        if (!lb->owner_draw()) {
            draw_text_item(lb, dc, i, background);
        } else if (lb->owner) {
            draw_item(lb, dc, i, ODA_DRAWENTIRE);
            alive = list_of(lb->self) != nullptr;
        }
    }
    if (alive && lb->owner_draw() && lb->owner && lb->focused) {
        if (lb->items.empty())
            draw_item(lb, dc, -1, ODA_FOCUS);
        else if (lb->caret >= lb->top && lb->caret < std::min(last, lb->count()))
            draw_item(lb, dc, lb->caret, ODA_FOCUS);
    }
    SetTextColor(dc, old_color);
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_font);
}

/* An owner-drawn list learns its item height from its owner, once, while
 * it is made; the suggestion is the height of the list's font, which is
 * still the system font then (a dialog sets its font on its controls only
 * after making them). */
void measure(const ListRef &lb)
{
    MEASUREITEMSTRUCT mis{};
    mis.CtlType = ODT_LISTBOX;
    mis.CtlID = lb->id;
    mis.itemID = 0;
    mis.itemHeight = (UINT)font_height(lb->font);
    if (lb->owner)
        SendMessageA(lb->owner, WM_MEASUREITEM, lb->id, (LPARAM)&mis);
    lb->item_height = mis.itemHeight ? (int)mis.itemHeight : 1;
}

LRESULT create(HWND hwnd, const CREATESTRUCTA *cs)
{
    WindowRef w = window_get(hwnd);
    auto lb = std::make_shared<ListBox>();
    lb->self = hwnd;
    lb->owner = cs->hwndParent;
    lb->id = (UINT)w->id;
    lb->style = (DWORD)cs->style;
    char cls[16];
    lb->in_combo =
        lb->owner && GetClassNameA(lb->owner, cls, sizeof cls) && lstrcmpiA(cls, "COMBOBOX") == 0;
    w->ext = lb;
    lb->item_height = font_height(nullptr);
    if (lb->owner_draw())
        measure(lb);
    fit_height(lb);
    return 0;
}

/* A list made with WS_VSCROLL shows its scroll bar while its items do not
 * fit (always with LBS_DISABLENOSCROLL), and its style has WS_VSCROLL
 * exactly while the bar is shown. */
void show_scroll_bar(const ListRef &lb)
{
    WindowRef w = window_get(lb->self);
    if (!w || !(lb->style & WS_VSCROLL))
        return;
    bool shown = (lb->style & LBS_DISABLENOSCROLL) ||
                 (lb->count() > 0 && lb->count() * lb->item_height > client_of(lb).bottom);
    if (shown)
        w->style |= WS_VSCROLL;
    else
        w->style &= ~(DWORD)WS_VSCROLL;
}

LRESULT dispatch(const ListRef &lb, UINT msg, WPARAM wparam, LPARAM lparam)
{
    HWND hwnd = lb->self;
    switch (msg) {
    case LB_ADDSTRING:
        return insert(lb, -1, lparam, (lb->style & LBS_SORT) != 0);
    case LB_INSERTSTRING:
        return insert(lb, (int)(INT_PTR)wparam, lparam, false);
    case LB_DELETESTRING:
        return remove(lb, wparam);
    case LB_RESETCONTENT:
        reset(lb);
        return LB_OKAY;
    case LB_GETCOUNT:
        return lb->count();
    case LB_GETTEXT:
        return get_text(lb, wparam, lparam);
    case LB_GETTEXTLEN:
        if (!lb->valid(wparam))
            return LB_ERR;
        return lb->has_strings() ? (LRESULT)lb->items[wparam].text.size()
                                 : (LRESULT)sizeof(ULONG_PTR);
    case LB_GETITEMDATA:
        return lb->valid(wparam) ? (LRESULT)lb->items[wparam].data : LB_ERR;
    case LB_SETITEMDATA:
        if (!lb->valid(wparam))
            return LB_ERR;
        lb->items[wparam].data = (ULONG_PTR)lparam;
        return TRUE;
    case LB_GETSEL:
        return lb->valid(wparam) ? (LRESULT)lb->items[wparam].selected : LB_ERR;
    case LB_SETSEL:
        return set_sel(lb, wparam != 0, lparam);
    case LB_GETCURSEL:
        /* A multiple-selection list answers with its caret item. */
        if (lb->items.empty())
            return LB_ERR;
        return lb->multi() ? lb->caret : cur_sel(lb);
    case LB_SETCURSEL:
        return set_cur_sel(lb, wparam);
    case LB_GETSELCOUNT:
        if (!lb->multi())
            return LB_ERR;
        return std::count_if(lb->items.begin(), lb->items.end(),
                             [](const Item &i) { return i.selected; });
    case LB_GETSELITEMS:
        return lparam ? get_sel_items(lb, wparam, lparam) : LB_ERR;
    case LB_SELITEMRANGE:
        return select_range(lb, wparam != 0, lparam);
    case LB_FINDSTRING:
        return find(lb, wparam, lparam, false);
    case LB_FINDSTRINGEXACT:
        return find(lb, wparam, lparam, true);
    case LB_GETCARETINDEX:
        return lb->caret;
    case LB_SETCARETINDEX:
        if (!lb->valid(wparam))
            return LB_ERR;
        set_caret(lb, (int)wparam);
        return LB_OKAY;
    case LB_GETANCHORINDEX:
        return lb->anchor;
    case LB_SETANCHORINDEX:
        if (!lb->valid(wparam))
            return LB_ERR;
        lb->anchor = (int)wparam;
        return LB_OKAY;
    case LB_GETTOPINDEX:
        return lb->top;
    case LB_SETTOPINDEX:
        if (!lb->valid(wparam))
            return LB_ERR;
        set_top(lb, (int)wparam);
        return LB_OKAY;
    case LB_GETITEMHEIGHT:
        return lb->item_height;
    case LB_SETITEMHEIGHT:
        if (LOWORD(lparam) == 0)
            return LB_ERR;
        lb->item_height = LOWORD(lparam);
        set_top(lb, lb->top);
        redraw(lb);
        return LB_OKAY;
    case LB_GETITEMRECT: {
        /* Item 0 of an empty list has a place too: where it would go. */
        if (!lparam || (!lb->valid(wparam) && !(wparam == 0 && lb->items.empty())))
            return LB_ERR;
        RECT rc = item_rect(lb, (int)wparam);
        *(RECT *)lparam = rc;
        return rc.bottom > 0 && rc.top < client_of(lb).bottom ? 1 : 0;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_SETFONT:
        lb->font = (HFONT)wparam;
        if (!lb->owner_draw()) {
            lb->item_height = font_height(lb->font);
            fit_height(lb);
            set_top(lb, lb->top);
        }
        if (LOWORD(lparam))
            redraw(lb);
        return 0;
    case WM_GETFONT:
        return (LRESULT)lb->font;
    case WM_SETFOCUS:
        /* The focus notifications need no LBS_NOTIFY. */
        lb->focused = true;
        redraw(lb);
        notify(lb, LBN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        release(lb);
        lb->focused = false;
        redraw(lb);
        if (list_of(hwnd))
            notify(lb, LBN_KILLFOCUS);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        button_down(lb, wparam, lparam, msg == WM_LBUTTONDBLCLK);
        return 0;
    case WM_MOUSEMOVE:
        drag(lb, wparam, lparam);
        return 0;
    case WM_LBUTTONUP:
        release(lb);
        return 0;
    case WM_KEYDOWN:
        key_down(lb, wparam);
        return 0;
    case WM_SIZE:
        fit_height(lb);
        set_top(lb, lb->top);
        redraw(lb);
        return 0;
    case WM_ENABLE:
        redraw(lb);
        return 0;
    case WM_PAINT:
        return paint_message(hwnd, wparam, [&](HDC dc) { paint(lb, dc); });
    case WM_ERASEBKGND:
        return 1; /* painting covers the whole client area */
    case WM_NCDESTROY:
        if (WindowRef w = window_get(hwnd))
            w->ext.reset();
        return 0;
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

LRESULT CALLBACK listbox_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_CREATE) {
        LRESULT result = create(hwnd, (const CREATESTRUCTA *)lparam);
        if (ListRef lb = list_of(hwnd))
            show_scroll_bar(lb);
        return result;
    }
    ListRef lb = list_of(hwnd);
    if (!lb)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    LRESULT result = dispatch(lb, msg, wparam, lparam);
    if (list_of(hwnd))
        show_scroll_bar(lb);
    return result;
}

} // namespace

void listbox_register()
{
    register_system_class("ListBox", listbox_proc, CS_DBLCLKS);
}

} // namespace pal
