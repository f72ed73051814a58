/*
 * The person's input on the desktop, as the window manager delivers it:
 * mouse moves and presses of the left button posted to the window under
 * the pointer (or to the one that has the mouse while the button is held),
 * in its client coordinates; key strokes posted to the window that has the
 * focus as virtual keys, and the characters they make as WM_CHAR.
 *
 * Input to a disabled top-level window (the owner of a modal dialog) is
 * dropped; the desktop's activation and close requests become the window
 * manager's own (activation, WM_SYSCOMMAND SC_CLOSE).
 */
#include "display/display_state.h"
#include "user/dialog.h"
#include "user/window.h"

#include <cstdlib>

namespace pal {
namespace {

/* The double-click time and distance of an unconfigured desktop. */
constexpr Uint32 kDoubleClickMs = 500;
constexpr int kDoubleClickSlop = 4;

/* Virtual keys the window headers do not name. */
constexpr UINT kVkMenu = 0x12;
constexpr UINT kVkPrior = 0x21;
constexpr UINT kVkNext = 0x22;
constexpr UINT kVkInsert = 0x2D;
constexpr UINT kVkF1 = 0x70;

bool inside(const RECT &r, POINT p)
{
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

/* Static texts and group boxes let clicks through to what lies under them,
 * as their hit test answers "transparent" on Windows. */
bool transparent(const WindowRef &w)
{
    char cls[16];
    if (!GetClassNameA(w->handle, cls, sizeof cls))
        return false;
    if (lstrcmpiA(cls, "STATIC") == 0)
        return !(w->style & 0x0100L /* SS_NOTIFY */);
    if (lstrcmpiA(cls, "BUTTON") == 0)
        return (w->style & 0x0FL) == BS_GROUPBOX;
    return false;
}

/* The visible child of `parent` under `at` (the parent's client
 * coordinates), deepest first; `local` gets the point in its client
 * coordinates.  Earlier children lie above later ones.  Null when the point
 * is on the parent itself or on a disabled child, which takes no input. */
HWND child_at(HWND parent, POINT at, POINT *local, bool *blocked)
{
    for (const WindowRef &w : window_list()) {
        if (w->parent != parent || w->destroying || !(w->style & WS_VISIBLE) ||
            !(w->style & WS_CHILD))
            continue;
        if (!inside(w->rect, at) || transparent(w))
            continue;
        if (w->style & WS_DISABLED) {
            *blocked = true;
            return nullptr;
        }
        Insets in = nonclient_insets(w->handle);
        POINT p{at.x - w->rect.left - in.left, at.y - w->rect.top - in.top};
        if (HWND deeper = child_at(w->handle, p, local, blocked))
            return deeper;
        if (*blocked)
            return nullptr;
        *local = p;
        return w->handle;
    }
    return nullptr;
}

/* The client point of `target` for a point of the rendering of the
 * top-level window `dw`. */
POINT client_point(const DisplayWindow &dw, HWND target, POINT at)
{
    POINT p{at.x - dw.insets.left, at.y - dw.insets.top};
    std::vector<HWND> chain;
    for (HWND h = target; h && h != dw.hwnd; h = GetParent(h))
        chain.push_back(h);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        WindowRef w = window_get(*it);
        if (!w)
            break;
        Insets in = nonclient_insets(*it);
        p = POINT{p.x - w->rect.left - in.left, p.y - w->rect.top - in.top};
    }
    return p;
}

UINT modifier_keys()
{
    SDL_Keymod mod = SDL_GetModState();
    UINT keys = 0;
    if (mod & KMOD_SHIFT)
        keys |= MK_SHIFT;
    if (mod & KMOD_CTRL)
        keys |= MK_CONTROL;
    return keys;
}

/* GetKeyState follows the desktop's modifier keys. */
void set_modifiers(SDL_Keymod mod)
{
    keyboard_set(VK_SHIFT, (mod & KMOD_SHIFT) != 0);
    keyboard_set(VK_CONTROL, (mod & KMOD_CTRL) != 0);
    keyboard_set((int)kVkMenu, (mod & KMOD_ALT) != 0);
}

LPARAM point_param(POINT p)
{
    return MAKELPARAM((WORD)(short)p.x, (WORD)(short)p.y);
}

POINT event_point(int x, int y)
{
    int scale = display_state().scale;
    return POINT{x / scale, y / scale};
}

bool wants_double_clicks(HWND hwnd)
{
    WindowRef w = window_get(hwnd);
    return w && w->cls && (w->cls->wc.style & CS_DBLCLKS);
}

void mouse_move(const SDL_MouseMotionEvent &e)
{
    DisplayState &s = display_state();
    DisplayWindow *dw = display_window_by_id(e.windowID);
    if (!dw || !IsWindowEnabled(dw->hwnd))
        return;
    POINT at = event_point(e.x, e.y);
    HWND target = s.capture;
    POINT local{0, 0};
    if (target && IsWindow(target)) {
        local = client_point(*dw, target, at);
    } else {
        POINT client{at.x - dw->insets.left, at.y - dw->insets.top};
        RECT area{0, 0, dw->size.cx - dw->insets.left - dw->insets.right,
                  dw->size.cy - dw->insets.top - dw->insets.bottom};
        if (!inside(area, client))
            return;
        bool blocked = false;
        target = child_at(dw->hwnd, client, &local, &blocked);
        if (blocked)
            return;
        if (!target) {
            target = dw->hwnd;
            local = client;
        }
    }
    set_modifiers(SDL_GetModState());
    PostMessageA(target, WM_MOUSEMOVE, s.buttons | modifier_keys(), point_param(local));
}

void mouse_button(const SDL_MouseButtonEvent &e)
{
    DisplayState &s = display_state();
    if (e.button != SDL_BUTTON_LEFT)
        return;
    DisplayWindow *dw = display_window_by_id(e.windowID);
    bool down = e.type == SDL_MOUSEBUTTONDOWN;
    if (!dw || !IsWindowEnabled(dw->hwnd)) {
        s.buttons = 0;
        s.capture = nullptr;
        return;
    }
    HWND top = dw->hwnd;
    POINT at = event_point(e.x, e.y);
    set_modifiers(SDL_GetModState());
    UINT keys = modifier_keys();

    if (!down) {
        s.buttons &= ~(UINT)MK_LBUTTON;
        HWND closing = s.close_pressed;
        s.close_pressed = nullptr;
        if (closing == top) {
            RECT box = display_close_box(*dw);
            if (inside(box, at))
                PostMessageA(top, WM_SYSCOMMAND, SC_CLOSE, 0);
            return;
        }
        HWND target = s.capture;
        s.capture = nullptr;
        if (!target || !IsWindow(target))
            return;
        PostMessageA(target, WM_LBUTTONUP, keys, point_param(client_point(*dw, target, at)));
        dw->dirty = true;
        return;
    }

    if (GetActiveWindow() != top)
        activate(top, WA_CLICKACTIVE);
    RECT box = display_close_box(*dw);
    if (inside(box, at)) {
        s.close_pressed = top;
        return;
    }
    POINT client{at.x - dw->insets.left, at.y - dw->insets.top};
    RECT area{0, 0, dw->size.cx - dw->insets.left - dw->insets.right,
              dw->size.cy - dw->insets.top - dw->insets.bottom};
    if (!inside(area, client))
        return; /* the frame or the caption: nothing for the window */
    POINT local{0, 0};
    bool blocked = false;
    HWND target = child_at(top, client, &local, &blocked);
    if (blocked)
        return;
    if (!target) {
        target = top;
        local = client;
    }
    bool twice = target == s.last_down && e.timestamp - s.last_down_time <= kDoubleClickMs &&
                 std::abs(at.x - s.last_down_at.x) <= kDoubleClickSlop &&
                 std::abs(at.y - s.last_down_at.y) <= kDoubleClickSlop &&
                 wants_double_clicks(target);
    /* A third press starts a new pair. */
    s.last_down = twice ? nullptr : target;
    s.last_down_time = e.timestamp;
    s.last_down_at = at;
    s.capture = target;
    s.buttons |= MK_LBUTTON;
    PostMessageA(target, twice ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON | keys,
                 point_param(local));
    dw->dirty = true;
}

UINT virtual_key(SDL_Keycode k)
{
    if (k >= SDLK_a && k <= SDLK_z)
        return (UINT)('A' + (k - SDLK_a));
    if (k >= SDLK_0 && k <= SDLK_9)
        return (UINT)('0' + (k - SDLK_0));
    if (k >= SDLK_F1 && k <= SDLK_F12)
        return kVkF1 + (UINT)(k - SDLK_F1);
    switch (k) {
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return kVkMenu;
    case SDLK_HOME:
        return VK_HOME;
    case SDLK_END:
        return VK_END;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_DELETE:
        return VK_DELETE;
    case SDLK_INSERT:
        return kVkInsert;
    case SDLK_PAGEUP:
        return kVkPrior;
    case SDLK_PAGEDOWN:
        return kVkNext;
    default:
        return 0;
    }
}

/* The window keys go to: the focus when it is in a window the display
 * shows, else the active window. */
HWND key_target()
{
    HWND focus = GetFocus();
    HWND target = focus && IsWindow(focus) ? focus : GetActiveWindow();
    if (!target || !IsWindow(target))
        return nullptr;
    HWND top = top_level_of(target);
    if (!display_window_of(top) || !IsWindowEnabled(top))
        return nullptr;
    return target;
}

/* Keyboard input waits in the thread's queue for no window in particular
 * and goes to the one that has the focus when it is read, as on Windows: a
 * Tab read before the keys that came after it moves the focus they go to.
 * A key message also sets the modifier keys as they were when its key went
 * down or up, and only then, as Windows keeps the key state in step with
 * the input read (set when the event arrives, a Shift released right after
 * Tab would already be up when the dialog handles that Tab).  Mouse events
 * carry no modifiers of their own and take the current ones. */
enum class KeyInput {
    key,          /* WM_KEYDOWN, WM_KEYUP */
    text,         /* WM_CHAR */
    tab_enter_esc /* WM_CHAR of Tab, Enter or Esc */
};

PrepareFn to_focus(KeyInput kind, SDL_Keymod mod = KMOD_NONE)
{
    return [kind, mod](MSG &m) {
        HWND target = key_target();
        if (!target)
            return false;
        /* Inside a dialog Tab, Enter and Esc are the dialog manager's; a
         * window of its own gets their characters too. */
        if (kind == KeyInput::tab_enter_esc && dialog_containing(target))
            return false;
        m.hwnd = target;
        if (kind == KeyInput::key)
            set_modifiers(mod);
        if (DisplayWindow *dw = display_window_of(top_level_of(target)))
            dw->dirty = true;
        return true;
    };
}

void key(const SDL_KeyboardEvent &e)
{
    const SDL_Keymod mod = (SDL_Keymod)e.keysym.mod;
    UINT vk = virtual_key(e.keysym.sym);
    HWND target = key_target();
    if (!vk || !target)
        return;
    LPARAM info = 1 | ((LPARAM)(e.keysym.scancode & 0xFF) << 16);
    if (e.type == SDL_KEYUP) {
        post_to_window(target, WM_KEYUP, vk, info | (LPARAM)0xC0000000u,
                       to_focus(KeyInput::key, mod));
        return;
    }
    if (e.repeat)
        info |= (LPARAM)0x40000000;
    post_to_window(target, WM_KEYDOWN, vk, info, to_focus(KeyInput::key, mod));
    /* The characters text input does not bring: the control keys. */
    char c = 0;
    KeyInput kind = KeyInput::text;
    if (vk == VK_BACK) {
        c = '\b';
    } else if ((mod & KMOD_CTRL) && vk >= 'A' && vk <= 'Z') {
        c = (char)(vk - 'A' + 1);
    } else if (vk == VK_TAB || vk == VK_RETURN || vk == VK_ESCAPE) {
        c = vk == VK_TAB ? '\t' : vk == VK_RETURN ? '\r' : 0x1B;
        kind = KeyInput::tab_enter_esc;
    }
    if (c)
        post_to_window(target, WM_CHAR, (unsigned char)c, info, to_focus(kind));
}

void text(const SDL_TextInputEvent &e)
{
    HWND target = key_target();
    if (!target)
        return;
    for (char c : display_from_utf8(e.text))
        post_to_window(target, WM_CHAR, (unsigned char)c, 1, to_focus(KeyInput::text));
}

/* A modal dialog the window owns, shown by the display, or null. */
DisplayWindow *owned_enabled(HWND owner)
{
    for (auto &[hwnd, dw] : display_state().windows)
        if (GetWindow(hwnd, GW_OWNER) == owner && IsWindowEnabled(hwnd))
            return dw.get();
    return nullptr;
}

void window_event(const SDL_WindowEvent &e)
{
    DisplayWindow *dw = display_window_by_id(e.windowID);
    if (!dw)
        return;
    switch (e.event) {
    case SDL_WINDOWEVENT_EXPOSED:
        SDL_UpdateWindowSurface(dw->win);
        break;
    case SDL_WINDOWEVENT_FOCUS_GAINED:
        if (!IsWindowEnabled(dw->hwnd)) {
            /* The owner of a modal dialog: the dialog comes to the front. */
            if (DisplayWindow *modal = owned_enabled(dw->hwnd))
                SDL_RaiseWindow(modal->win);
        } else if (GetActiveWindow() != dw->hwnd) {
            activate(dw->hwnd, WA_ACTIVE);
        }
        break;
    case SDL_WINDOWEVENT_CLOSE:
        if (IsWindowEnabled(dw->hwnd))
            PostMessageA(dw->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    default:
        break;
    }
}

/* Windows-1252 from 0x80 to 0x9F; 0 where the code page has no character. */
const Uint16 kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

} // namespace

void display_handle_event(const SDL_Event &ev)
{
    switch (ev.type) {
    case SDL_MOUSEMOTION:
        mouse_move(ev.motion);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        mouse_button(ev.button);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        key(ev.key);
        break;
    case SDL_TEXTINPUT:
        text(ev.text);
        break;
    case SDL_WINDOWEVENT:
        window_event(ev.window);
        break;
    default:
        break;
    }
}

std::string display_to_utf8(const std::string &ansi)
{
    std::string out;
    for (unsigned char c : ansi) {
        unsigned cp = c;
        if (c >= 0x80 && c < 0xA0)
            cp = kCp1252High[c - 0x80] ? kCp1252High[c - 0x80] : '?';
        if (cp < 0x80) {
            out += (char)cp;
        } else if (cp < 0x800) {
            out += (char)(0xC0 | (cp >> 6));
            out += (char)(0x80 | (cp & 0x3F));
        } else {
            out += (char)(0xE0 | (cp >> 12));
            out += (char)(0x80 | ((cp >> 6) & 0x3F));
            out += (char)(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string display_from_utf8(const char *utf8)
{
    std::string out;
    const unsigned char *p = (const unsigned char *)utf8;
    while (p && *p) {
        unsigned cp;
        int extra;
        if (*p < 0x80) {
            cp = *p;
            extra = 0;
        } else if ((*p & 0xE0) == 0xC0) {
            cp = *p & 0x1F;
            extra = 1;
        } else if ((*p & 0xF0) == 0xE0) {
            cp = *p & 0x0F;
            extra = 2;
        } else {
            cp = *p & 0x07;
            extra = 3;
        }
        ++p;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) {
                cp = '?';
                break;
            }
            cp = (cp << 6) | (*p & 0x3F);
            ++p;
        }
        char c = '?';
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            c = (char)cp;
        } else {
            for (int i = 0; i < 32; ++i)
                if (kCp1252High[i] == cp)
                    c = (char)(0x80 + i);
        }
        out += c;
    }
    return out;
}

} // namespace pal
