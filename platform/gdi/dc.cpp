/*
 * Device contexts: memory DCs drawing onto their selected bitmap, window DCs
 * drawing onto a window's surface, the objects selected into them and their
 * drawing state.
 */
#include "gdi/gdi.h"
#include "gdi/objects.h"

#include <climits>

namespace pal::gdi {
namespace {

/* Both kinds of DC start with the objects and colours of a Windows DC. */
void set_defaults(Dc &dc)
{
    dc.brush_handle = stock(WHITE_BRUSH);
    dc.brush = get_as<Brush>(dc.brush_handle, OBJ_BRUSH);
    dc.pen_handle = stock(BLACK_PEN);
    dc.pen = get_as<Pen>(dc.pen_handle, OBJ_PEN);
    dc.font_handle = stock(SYSTEM_FONT);
    dc.font = get_as<Font>(dc.font_handle, OBJ_FONT);
}

HGDIOBJ select_bitmap(HDC handle, Dc &dc, HGDIOBJ obj, const std::shared_ptr<Bitmap> &bmp)
{
    if (dc.type != OBJ_MEMDC)
        return nullptr;
    if (dc.bitmap == obj)
        return obj;
    if (bmp->selected_in && !bmp->stock)
        return nullptr; /* a bitmap is drawn on through one DC at a time */
    HGDIOBJ old = dc.bitmap;
    if (dc.surface)
        dc.surface->selected_in = nullptr;
    if (!bmp->stock)
        bmp->selected_in = handle;
    dc.surface = bmp;
    dc.bitmap = (HBITMAP)obj;
    return old;
}

/* Sets one of the DC's colours and gives the one it replaces. */
COLORREF swap_color(HDC hdc, COLORREF Dc::*field, COLORREF color)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return CLR_INVALID;
    COLORREF old = (*dc).*field;
    (*dc).*field = color & 0xFFFFFF;
    return old;
}

} // namespace
} // namespace pal::gdi

using namespace pal::gdi;

namespace pal {

HDC dc_create_window(HBITMAP surface, POINT origin, const RECT *clip)
{
    std::shared_ptr<Bitmap> bmp;
    if (surface) {
        bmp = get_as<Bitmap>(surface, OBJ_BITMAP);
        if (!bmp) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
    }
    auto dc = std::make_shared<Dc>(OBJ_DC);
    set_defaults(*dc);
    dc->surface = bmp;
    dc->origin = origin;
    dc->bounds = clip ? *clip : RECT{0, 0, INT_MAX, INT_MAX};
    return (HDC)add(dc);
}

} // namespace pal

extern "C" {

HDC WINAPI CreateCompatibleDC(HDC hdc)
{
    if (hdc && !dc_get(hdc))
        return nullptr;
    auto dc = std::make_shared<Dc>(OBJ_MEMDC);
    set_defaults(*dc);
    dc->bounds = RECT{0, 0, INT_MAX, INT_MAX};
    dc->bitmap = stock_bitmap();
    dc->surface = get_as<Bitmap>(dc->bitmap, OBJ_BITMAP);
    return (HDC)add(dc);
}

BOOL WINAPI DeleteDC(HDC hdc)
{
    std::lock_guard<std::recursive_mutex> lock(table_mutex());
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (dc->type == OBJ_MEMDC && dc->surface)
        dc->surface->selected_in = nullptr;
    remove(hdc);
    return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ obj)
{
    std::lock_guard<std::recursive_mutex> lock(table_mutex());
    std::shared_ptr<Dc> dc = dc_get(hdc);
    std::shared_ptr<Object> o = get(obj);
    if (!dc || !o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ old = nullptr;
    switch (o->type) {
    case OBJ_BRUSH:
        old = dc->brush_handle;
        dc->brush = std::static_pointer_cast<Brush>(o);
        dc->brush_handle = obj;
        break;
    case OBJ_PEN:
        old = dc->pen_handle;
        dc->pen = std::static_pointer_cast<Pen>(o);
        dc->pen_handle = obj;
        break;
    case OBJ_FONT:
        old = dc->font_handle;
        dc->font = std::static_pointer_cast<Font>(o);
        dc->font_handle = obj;
        break;
    case OBJ_BITMAP:
        old = select_bitmap(hdc, *dc, obj, std::static_pointer_cast<Bitmap>(o));
        break;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        break;
    }
    return old;
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return nullptr;
    switch (type) {
    case OBJ_BRUSH:
        return dc->brush_handle;
    case OBJ_PEN:
        return dc->pen_handle;
    case OBJ_FONT:
        return dc->font_handle;
    case OBJ_BITMAP:
        return dc->bitmap;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
}

int WINAPI GetDeviceCaps(HDC hdc, int index)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return 0;
    switch (index) {
    case HORZRES:
        return pal::kScreenWidth;
    case VERTRES:
        return pal::kScreenHeight;
    case BITSPIXEL:
        return dc->mono() ? 1 : 32;
    case PLANES:
        return 1;
    case NUMCOLORS:
        return dc->mono() ? 2 : -1;
    case LOGPIXELSX:
    case LOGPIXELSY:
        return pal::kScreenDpi;
    default:
        return 0;
    }
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color)
{
    return swap_color(hdc, &Dc::text_color, color);
}

COLORREF WINAPI GetTextColor(HDC hdc)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    return dc ? dc->text_color : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color)
{
    return swap_color(hdc, &Dc::bk_color, color);
}

COLORREF WINAPI GetBkColor(HDC hdc)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    return dc ? dc->bk_color : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return 0;
    if (mode != TRANSPARENT && mode != OPAQUE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int old = dc->bk_mode;
    dc->bk_mode = mode;
    return old;
}

int WINAPI GetBkMode(HDC hdc)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    return dc ? dc->bk_mode : 0;
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return 0xFFFFFFFF; /* GDI_ERROR */
    UINT old = dc->text_align;
    dc->text_align = align;
    return old;
}

UINT WINAPI GetTextAlign(HDC hdc)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    return dc ? dc->text_align : 0xFFFFFFFF;
}

BOOL WINAPI SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (old)
        *old = dc->viewport;
    dc->viewport = POINT{x, y};
    return TRUE;
}

BOOL WINAPI GetViewportOrgEx(HDC hdc, LPPOINT org)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc || !org)
        return FALSE;
    *org = dc->viewport;
    return TRUE;
}

int WINAPI IntersectClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return ERROR;
    RECT r{dc->sx(left), dc->sy(top), dc->sx(right), dc->sy(bottom)};
    if (dc->has_user_clip)
        intersect(&dc->user_clip, dc->user_clip, r);
    else
        dc->user_clip = r;
    dc->has_user_clip = true;
    RECT c = dc->clip();
    return c.left < c.right ? SIMPLEREGION : NULLREGION;
}

int WINAPI GetClipBox(HDC hdc, LPRECT rect)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc || !rect)
        return ERROR;
    RECT c = dc->clip();
    if (c.left >= c.right) {
        *rect = RECT{0, 0, 0, 0};
        return NULLREGION;
    }
    int dx = dc->sx(0), dy = dc->sy(0);
    *rect = RECT{c.left - dx, c.top - dy, c.right - dx, c.bottom - dy};
    return SIMPLEREGION;
}

} // extern "C"
