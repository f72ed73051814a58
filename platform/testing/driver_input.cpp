/*
 * The UI driver's input: mouse clicks and keys delivered as the window
 * manager would deliver them, and the idle step that lets a test act from
 * inside a modal loop.
 */
#include <paldriver.h>
#include <paltest.h>

#include "user/dialog.h"
#include "user/paint.h"

namespace {

thread_local std::function<bool(HWND)> idle_step;

HWND innermost_of_thread()
{
    std::vector<HWND> stack = pal::dialog_modal_stack();
    for (auto it = stack.rbegin(); it != stack.rend(); ++it)
        if (GetWindowThreadProcessId(*it, nullptr) == GetCurrentThreadId())
            return *it;
    return nullptr;
}

BOOL CALLBACK run_step(void *)
{
    HWND dlg = innermost_of_thread();
    if (!dlg || !idle_step)
        return FALSE;
    /* The step may be replaced while it runs; keep this one alive. */
    std::function<bool(HWND)> step = idle_step;
    return step(dlg) ? TRUE : FALSE;
}

/* Whether a person could reach the window with the mouse or the keyboard. */
bool reachable(HWND hwnd)
{
    if (!hwnd || !IsWindow(hwnd))
        return false;
    for (HWND h = hwnd; h; h = GetParent(h)) {
        if (!IsWindowVisible(h) || !IsWindowEnabled(h))
            return false;
        if (!(GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD))
            break;
    }
    return true;
}

/* Holds the modifier keys for the length of one action. */
struct Modifiers {
    UINT keys;
    explicit Modifiers(UINT k) : keys(k)
    {
        pal::keyboard_set(VK_SHIFT, keys & MK_SHIFT);
        pal::keyboard_set(VK_CONTROL, keys & MK_CONTROL);
    }
    ~Modifiers()
    {
        pal::keyboard_set(VK_SHIFT, false);
        pal::keyboard_set(VK_CONTROL, false);
    }
};

void click_at(HWND hwnd, int x, int y, UINT keys, bool twice)
{
    HWND top = pal::top_level_of(hwnd);
    if (GetActiveWindow() != top)
        pal::activate(top, WA_CLICKACTIVE);
    Modifiers held(keys);
    LPARAM at = MAKELPARAM(x, y);
    SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON | keys, at);
    if (IsWindow(hwnd))
        SendMessageA(hwnd, WM_LBUTTONUP, keys, at);
    if (twice && IsWindow(hwnd)) {
        SendMessageA(hwnd, WM_LBUTTONDBLCLK, MK_LBUTTON | keys, at);
        if (IsWindow(hwnd))
            SendMessageA(hwnd, WM_LBUTTONUP, keys, at);
    }
}

/* A message as the dialog's loop would hand it on: through the dialog
 * manager when the window is in a dialog.  True when the dialog manager
 * used a key itself. */
bool deliver(HWND target, UINT msg, WPARAM wparam)
{
    MSG m{target, msg, wparam, 0, GetTickCount(), {0, 0}};
    HWND dlg = pal::dialog_containing(target);
    if (dlg && pal::dialog_key(dlg, &m))
        return true;
    DispatchMessageA(&m);
    return false;
}

char key_char(UINT vk)
{
    switch (vk) {
    case VK_BACK:
        return '\b';
    case VK_TAB:
        return '\t';
    case VK_RETURN:
        return '\r';
    case VK_ESCAPE:
        return 0x1B;
    case VK_SPACE:
        return ' ';
    default:
        return 0;
    }
}

bool is_edit(HWND hwnd)
{
    char cls[8];
    return GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpiA(cls, "EDIT") == 0;
}

/* Clicks into a field and puts the caret at the end of its text. */
bool enter_field(HWND field)
{
    if (!reachable(field) || !is_edit(field))
        return false;
    RECT rc = pal::client_area(field);
    click_at(field, rc.right > 0 ? (int)rc.right - 1 : 0, (int)rc.bottom / 2, 0, false);
    return GetFocus() == field && PalPressKey(pal::top_level_of(field), VK_END);
}

} // namespace

void PalOnModalIdle(std::function<bool(HWND dlg)> step)
{
    idle_step = std::move(step);
    PalSetIdleHook(run_step, nullptr);
}

void PalClearModalIdle()
{
    PalSetIdleHook(nullptr, nullptr);
    idle_step = nullptr;
}

bool PalClick(HWND hwnd)
{
    if (!reachable(hwnd))
        return false;
    RECT rc = pal::client_area(hwnd);
    click_at(hwnd, (int)rc.right / 2, (int)rc.bottom / 2, 0, false);
    return true;
}

bool PalPressButton(HWND dlg, int id)
{
    return PalClick(GetDlgItem(dlg, id));
}

bool PalTypeText(HWND field, const char *text)
{
    if (!text || !enter_field(field))
        return false;
    for (const char *p = text; *p; ++p)
        if ((unsigned char)*p >= 0x20)
            deliver(field, WM_CHAR, (unsigned char)*p);
    return true;
}

bool PalClearText(HWND field)
{
    if (!enter_field(field))
        return false;
    Modifiers held(MK_SHIFT);
    deliver(field, WM_KEYDOWN, VK_HOME);
    deliver(field, WM_CHAR, '\b');
    return true;
}

bool PalPressKey(HWND dlg, UINT vk, UINT modifiers)
{
    if (!reachable(dlg))
        return false;
    HWND target = GetFocus();
    if (!target || (target != dlg && !IsChild(dlg, target)))
        target = dlg;
    Modifiers held(modifiers);
    bool used = deliver(target, WM_KEYDOWN, vk);
    if (char c = key_char(vk); c && !used && IsWindow(target))
        deliver(target, WM_CHAR, (unsigned char)c);
    if (HWND now = GetFocus(); now && IsWindow(now)) {
        MSG up{now, WM_KEYUP, vk, 0, GetTickCount(), {0, 0}};
        DispatchMessageA(&up);
    }
    return true;
}

static bool click_item(HWND list, int index, UINT modifiers, bool twice)
{
    if (!reachable(list) || index < 0 || index >= (int)SendMessageA(list, LB_GETCOUNT, 0, 0))
        return false;
    RECT rc{};
    if (SendMessageA(list, LB_GETITEMRECT, (WPARAM)index, (LPARAM)&rc) <= 0) {
        SendMessageA(list, LB_SETTOPINDEX, (WPARAM)index, 0);
        SendMessageA(list, LB_GETITEMRECT, (WPARAM)index, (LPARAM)&rc);
    }
    click_at(list, (int)(rc.left + rc.right) / 2, (int)(rc.top + rc.bottom) / 2, modifiers, twice);
    return true;
}

bool PalClickListItem(HWND list, int index, UINT modifiers)
{
    return click_item(list, index, modifiers, false);
}

bool PalDoubleClickListItem(HWND list, int index)
{
    return click_item(list, index, 0, true);
}

bool PalCloseWindow(HWND hwnd)
{
    if (!reachable(hwnd) || (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD))
        return false;
    SendMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}
