/*
 * The edit control, class "EDIT", single-line.
 *
 * The text is the window text.  Every change of it - typing, deleting,
 * EM_REPLACESEL and WM_SETTEXT, even one that sets the same text - sends
 * EN_UPDATE and then EN_CHANGE to the parent; text from CreateWindowEx does
 * not.  The user's input and EM_REPLACESEL stop at the limit (EM_LIMITTEXT,
 * 30000 characters until set; 0 sets the largest), and what did not fit is
 * reported with EN_MAXTEXT; WM_SETTEXT is not limited.  Without
 * ES_AUTOHSCROLL, input also stops where the text would no longer fit the
 * width of the control, as on Windows; with it, the text scrolls to keep
 * the caret in view.  ES_READONLY refuses the user's changes and draws the
 * field on the dialog's face colour.
 *
 * The selection runs from an anchor to the caret; EM_SETSEL sets both (the
 * caret at the end given), EM_GETSEL reports them in order.
 */
#include "user/controls.h"
#include "user/paint.h"
#include "user/window.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace pal {
namespace {

constexpr UINT kDefaultLimit = 30000;
constexpr UINT kLargestLimit = 0x7FFFFFFE;
constexpr int kMargin = 1; /* pixels between the client edge and the text */

struct Edit {
    HFONT font = nullptr;
    UINT limit = kDefaultLimit;
    size_t anchor = 0;
    size_t caret = 0;
    size_t scroll = 0; /* the first character shown */
    bool focused = false;
};

using EditRef = std::shared_ptr<Edit>;

EditRef edit_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w ? std::static_pointer_cast<Edit>(w->ext) : nullptr;
}

DWORD style_of(HWND hwnd)
{
    return (DWORD)GetWindowLongPtrA(hwnd, GWL_STYLE);
}

std::string text_of(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w ? w->text : std::string();
}

void notify(HWND hwnd, WORD code)
{
    if (HWND parent = GetParent(hwnd))
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), (LPARAM)hwnd);
}

/* What the control shows for its text: stars for a password. */
std::string shown(HWND hwnd, const std::string &text)
{
    return (style_of(hwnd) & ES_PASSWORD) ? std::string(text.size(), '*') : text;
}

/* Pixel width of text in the control's font. */
int width_of(HWND hwnd, const EditRef &e, const std::string &text)
{
    if (text.empty())
        return 0;
    SIZE size{0, 0};
    if (HDC dc = GetDC(hwnd)) {
        HGDIOBJ old = SelectObject(dc, e->font ? (HGDIOBJ)e->font : GetStockObject(SYSTEM_FONT));
        GetTextExtentPoint32A(dc, text.c_str(), (int)text.size(), &size);
        SelectObject(dc, old);
        ReleaseDC(hwnd, dc);
    }
    return size.cx;
}

int text_room(HWND hwnd)
{
    return std::max(0, (int)client_area(hwnd).right - 2 * kMargin);
}

/* Scrolls so that the caret is in view. */
void show_caret(HWND hwnd, const EditRef &e)
{
    std::string text = shown(hwnd, text_of(hwnd));
    e->scroll = std::min(e->scroll, text.size());
    if (e->caret < e->scroll) {
        e->scroll = e->caret;
        return;
    }
    int room = text_room(hwnd);
    while (e->scroll < e->caret &&
           width_of(hwnd, e, text.substr(e->scroll, e->caret - e->scroll)) > room)
        ++e->scroll;
}

void select(HWND hwnd, const EditRef &e, size_t anchor, size_t caret)
{
    size_t len = text_of(hwnd).size();
    e->anchor = std::min(anchor, len);
    e->caret = std::min(caret, len);
    show_caret(hwnd, e);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void changed(HWND hwnd)
{
    InvalidateRect(hwnd, nullptr, TRUE);
    notify(hwnd, EN_UPDATE);
    notify(hwnd, EN_CHANGE);
}

/* Replaces the selection with `insert`, cut to the limit and, without
 * ES_AUTOHSCROLL, to the width; false when nothing changed. */
bool replace_selection(HWND hwnd, const EditRef &e, std::string insert)
{
    WindowRef w = window_get(hwnd);
    if (!w)
        return false;
    DWORD style = style_of(hwnd);
    if (style & ES_UPPERCASE)
        for (char &c : insert)
            c = (char)std::toupper((unsigned char)c);
    if (style & ES_LOWERCASE)
        for (char &c : insert)
            c = (char)std::tolower((unsigned char)c);
    std::string text = w->text;
    size_t from = std::min(std::min(e->anchor, e->caret), text.size());
    size_t to = std::min(std::max(e->anchor, e->caret), text.size());
    size_t kept = text.size() - (to - from);
    size_t room = kept < e->limit ? e->limit - kept : 0;
    bool cut = insert.size() > room;
    if (cut)
        insert.resize(room);
    if (!(style & ES_AUTOHSCROLL)) {
        std::string rest = text.substr(0, from) + text.substr(to);
        while (!insert.empty() &&
               width_of(hwnd, e, shown(hwnd, rest.substr(0, from) + insert + rest.substr(from))) >
                   text_room(hwnd)) {
            insert.pop_back();
            cut = true;
        }
    }
    if (cut)
        notify(hwnd, EN_MAXTEXT);
    if (insert.empty() && from == to)
        return false;
    if (!(w = window_get(hwnd)))
        return false;
    w->text = text.substr(0, from) + insert + text.substr(to);
    e->anchor = e->caret = from + insert.size();
    show_caret(hwnd, e);
    changed(hwnd);
    return true;
}

/* Deletes the selection, or the character before (backspace) or after
 * (Delete) the caret. */
void delete_char(HWND hwnd, const EditRef &e, bool before)
{
    size_t len = text_of(hwnd).size();
    if (e->anchor == e->caret) {
        if (before && e->caret > 0)
            e->anchor = e->caret - 1;
        else if (!before && e->caret < len)
            e->anchor = e->caret + 1;
        else
            return;
    }
    replace_selection(hwnd, e, std::string());
}

void key_down(HWND hwnd, const EditRef &e, WPARAM key)
{
    size_t len = text_of(hwnd).size();
    size_t to = e->caret;
    switch (key) {
    case VK_LEFT:
        to = to > 0 ? to - 1 : 0;
        break;
    case VK_RIGHT:
        to = std::min(to + 1, len);
        break;
    case VK_HOME:
        to = 0;
        break;
    case VK_END:
        to = len;
        break;
    case VK_DELETE:
        if (!(style_of(hwnd) & ES_READONLY))
            delete_char(hwnd, e, false);
        return;
    default:
        return;
    }
    bool extend = GetKeyState(VK_SHIFT) < 0;
    select(hwnd, e, extend ? e->anchor : to, to);
}

void typed(HWND hwnd, const EditRef &e, WPARAM ch)
{
    if (style_of(hwnd) & ES_READONLY)
        return;
    if (ch == VK_BACK)
        delete_char(hwnd, e, true);
    else if (ch >= 0x20 && ch != 0x7F && ch <= 0xFF)
        replace_selection(hwnd, e, std::string(1, (char)ch));
}

/* The character position nearest to x in client coordinates. */
size_t position_at(HWND hwnd, const EditRef &e, int x)
{
    std::string text = shown(hwnd, text_of(hwnd));
    size_t pos = std::min(e->scroll, text.size());
    int left = kMargin;
    while (pos < text.size()) {
        int w = width_of(hwnd, e, text.substr(pos, 1));
        if (x < left + w / 2)
            break;
        left += w;
        ++pos;
    }
    return pos;
}

void paint(HWND hwnd, HDC dc)
{
    EditRef e = edit_of(hwnd);
    if (!e)
        return;
    DWORD style = style_of(hwnd);
    bool enabled = IsWindowEnabled(hwnd);
    RECT rc = client_area(hwnd);
    /* A read-only or disabled field is drawn like a static control. */
    UINT kind = (style & ES_READONLY) || !enabled ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
    FillRect(dc, &rc, control_color(hwnd, kind, dc));
    COLORREF color = enabled ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
    HGDIOBJ old_font = SelectObject(dc, e->font ? (HGDIOBJ)e->font : GetStockObject(SYSTEM_FONT));
    int old_mode = SetBkMode(dc, TRANSPARENT);
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    int y = std::max(0, (int)(rc.bottom - tm.tmHeight) / 2);

    std::string text = shown(hwnd, text_of(hwnd));
    size_t first = std::min(e->scroll, text.size());
    size_t from = std::max(first, std::min(e->anchor, e->caret));
    size_t to = std::max(first, std::max(e->anchor, e->caret));
    bool selection = e->focused || (style & ES_NOHIDESEL);
    int x = kMargin;
    /* Three runs: before, inside and after the selection. */
    size_t bounds[4] = {first, std::min(from, text.size()), std::min(to, text.size()), text.size()};
    for (int run = 0; run < 3; ++run) {
        std::string part = text.substr(bounds[run], bounds[run + 1] - bounds[run]);
        if (part.empty())
            continue;
        int w = width_of(hwnd, e, part);
        bool highlighted = run == 1 && selection;
        if (highlighted) {
            RECT sel{x, y, x + w, y + tm.tmHeight};
            FillRect(dc, &sel, GetSysColorBrush(COLOR_HIGHLIGHT));
        }
        SetTextColor(dc, highlighted ? GetSysColor(COLOR_HIGHLIGHTTEXT) : color);
        TextOutA(dc, x, y, part.c_str(), (int)part.size());
        x += w;
    }
    if (e->focused && e->caret >= first) {
        int cx = kMargin + width_of(hwnd, e, text.substr(first, e->caret - first));
        RECT caret{cx, y, cx + 1, y + tm.tmHeight};
        FillRect(dc, &caret, GetSysColorBrush(COLOR_WINDOWTEXT));
    }
    SetBkMode(dc, old_mode);
    SelectObject(dc, old_font);
}

LRESULT set_sel(HWND hwnd, const EditRef &e, WPARAM wparam, LPARAM lparam)
{
    int start = (int)(INT_PTR)wparam, end = (int)lparam;
    size_t len = text_of(hwnd).size();
    if (start == -1) {
        select(hwnd, e, e->caret, e->caret); /* -1 removes the selection */
        return 0;
    }
    size_t a = start < 0 ? len : (size_t)start;
    size_t b = end < 0 ? len : (size_t)end;
    select(hwnd, e, a, b);
    return 0;
}

LRESULT get_sel(const EditRef &e, WPARAM wparam, LPARAM lparam)
{
    DWORD from = (DWORD)std::min(e->anchor, e->caret), to = (DWORD)std::max(e->anchor, e->caret);
    if (wparam)
        *(DWORD *)wparam = from;
    if (lparam)
        *(DWORD *)lparam = to;
    return (LRESULT)(DWORD)MAKELONG(std::min<DWORD>(from, 0xFFFF), std::min<DWORD>(to, 0xFFFF));
}

LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam)
{
    if (msg == WM_NCCREATE) {
        if (WindowRef w = window_get(hwnd))
            w->ext = std::make_shared<Edit>();
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
    EditRef e = edit_of(hwnd);
    if (!e)
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    switch (msg) {
    case WM_NCDESTROY:
        if (WindowRef w = window_get(hwnd))
            w->ext.reset();
        return 0;
    case WM_SETTEXT: {
        DefWindowProcA(hwnd, msg, wparam, lparam);
        e->anchor = e->caret = e->scroll = 0;
        changed(hwnd);
        return TRUE;
    }
    case EM_REPLACESEL:
        replace_selection(hwnd, e, lparam ? (const char *)lparam : "");
        return 0;
    case EM_SETSEL:
        return set_sel(hwnd, e, wparam, lparam);
    case EM_GETSEL:
        return get_sel(e, wparam, lparam);
    case EM_LIMITTEXT:
        e->limit = wparam ? (UINT)std::min<WPARAM>(wparam, kLargestLimit) : kLargestLimit;
        return 0;
    case EM_GETLIMITTEXT:
        return (LRESULT)e->limit;
    case EM_SETREADONLY: {
        DWORD style = style_of(hwnd);
        style = wparam ? (style | ES_READONLY) : (style & ~(DWORD)ES_READONLY);
        SetWindowLongPtrA(hwnd, GWL_STYLE, (LONG_PTR)style);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    case WM_GETDLGCODE:
        return DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS |
               ((style_of(hwnd) & ES_MULTILINE) ? DLGC_WANTALLKEYS : 0);
    case WM_CHAR:
        typed(hwnd, e, wparam);
        return 0;
    case WM_KEYDOWN:
        key_down(hwnd, e, wparam);
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (GetFocus() != hwnd)
            SetFocus(hwnd);
        size_t at = position_at(hwnd, e, (short)LOWORD(lparam));
        select(hwnd, e, (wparam & MK_SHIFT) ? e->anchor : at, at);
        return 0;
    }
    case WM_SETFOCUS:
        e->focused = true;
        InvalidateRect(hwnd, nullptr, TRUE);
        notify(hwnd, EN_SETFOCUS);
        return 0;
    case WM_KILLFOCUS:
        e->focused = false;
        InvalidateRect(hwnd, nullptr, TRUE);
        notify(hwnd, EN_KILLFOCUS);
        return 0;
    case WM_SETFONT:
        e->font = (HFONT)wparam;
        show_caret(hwnd, e);
        if (LOWORD(lparam))
            InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_GETFONT:
        return (LRESULT)e->font;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    case WM_ERASEBKGND:
        return 1; /* painting covers the whole client area */
    case WM_PAINT:
        return paint_message(hwnd, wparam, [&](HDC dc) { paint(hwnd, dc); });
    default:
        return DefWindowProcA(hwnd, msg, wparam, lparam);
    }
}

} // namespace

void edit_register()
{
    register_system_class("Edit", edit_proc, CS_DBLCLKS);
}

} // namespace pal
