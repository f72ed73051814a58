/*
 * The window manager's painting helpers that need no window: system
 * colours and their brushes, FillRect and DrawFocusRect.
 *
 * System colours are the classic Windows defaults: grey 3-D faces, white
 * windows with black text, navy selection.
 */
#include "gdi/objects.h"

#include <array>

using namespace pal::gdi;

namespace {

constexpr int kColorCount = 25;
constexpr COLORREF sys_colors[kColorCount] = {
    0xC0C0C0, /* COLOR_SCROLLBAR */
    0x808000, /* COLOR_BACKGROUND: teal desktop */
    0x800000, /* COLOR_ACTIVECAPTION */
    0x808080, /* COLOR_INACTIVECAPTION */
    0xC0C0C0, /* COLOR_MENU */
    0xFFFFFF, /* COLOR_WINDOW */
    0x000000, /* COLOR_WINDOWFRAME */
    0x000000, /* COLOR_MENUTEXT */
    0x000000, /* COLOR_WINDOWTEXT */
    0xFFFFFF, /* COLOR_CAPTIONTEXT */
    0xC0C0C0, /* COLOR_ACTIVEBORDER */
    0xC0C0C0, /* COLOR_INACTIVEBORDER */
    0x808080, /* COLOR_APPWORKSPACE */
    0x800000, /* COLOR_HIGHLIGHT */
    0xFFFFFF, /* COLOR_HIGHLIGHTTEXT */
    0xC0C0C0, /* COLOR_BTNFACE */
    0x808080, /* COLOR_BTNSHADOW */
    0x808080, /* COLOR_GRAYTEXT */
    0x000000, /* COLOR_BTNTEXT */
    0xC0C0C0, /* COLOR_INACTIVECAPTIONTEXT */
    0xFFFFFF, /* COLOR_BTNHIGHLIGHT */
    0x000000, /* COLOR_3DDKSHADOW */
    0xC0C0C0, /* COLOR_3DLIGHT */
    0x000000, /* COLOR_INFOTEXT */
    0xE1FFFF, /* COLOR_INFOBK */
};

std::array<HBRUSH, kColorCount> sys_brushes{};

/* FillRect takes a system colour index + 1 in place of a brush. */
bool brush_color(HBRUSH brush, COLORREF *color, bool *hollow)
{
    uintptr_t v = (uintptr_t)brush;
    *hollow = false;
    if (v >= 1 && v <= kColorCount) {
        *color = sys_colors[v - 1];
        return true;
    }
    std::shared_ptr<Brush> b = get_as<Brush>(brush, OBJ_BRUSH);
    if (!b)
        return false;
    *color = b->color;
    *hollow = b->style == BS_NULL;
    return true;
}

} // namespace

extern "C" {

DWORD WINAPI GetSysColor(int index)
{
    return index >= 0 && index < kColorCount ? sys_colors[index] : 0;
}

HBRUSH WINAPI GetSysColorBrush(int index)
{
    if (index < 0 || index >= kColorCount)
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(table_mutex());
    if (!sys_brushes[index]) {
        auto b = std::make_shared<Brush>();
        b->color = sys_colors[index];
        b->stock = true;
        sys_brushes[index] = (HBRUSH)add(b);
    }
    return sys_brushes[index];
}

int WINAPI FillRect(HDC hdc, const RECT *rect, HBRUSH brush)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    COLORREF color = 0;
    bool hollow = false;
    if (!dc || !rect || !brush_color(brush, &color, &hollow)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!hollow)
        fill_logical(*dc, *rect, color);
    return 1;
}

/* Inverts every other pixel of the rectangle's one-pixel frame, so that
 * drawing the same rectangle again takes it away. */
BOOL WINAPI DrawFocusRect(HDC hdc, const RECT *rect)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc || !rect)
        return FALSE;
    if (!dc->surface)
        return TRUE;
    RECT c = dc->clip();
    auto dot = [&](int x, int y) {
        if ((x + y) & 1)
            return;
        int px = dc->sx(x), py = dc->sy(y);
        if (px >= c.left && px < c.right && py >= c.top && py < c.bottom)
            dc->surface->row(py)[px] ^= 0xFFFFFF;
    };
    for (int y = rect->top; y < rect->bottom; ++y) {
        if (y == rect->top || y == rect->bottom - 1) {
            for (int x = rect->left; x < rect->right; ++x)
                dot(x, y);
        } else if (rect->left < rect->right) {
            dot(rect->left, y);
            if (rect->right - 1 != rect->left)
                dot(rect->right - 1, y);
        }
    }
    return TRUE;
}

} // extern "C"
