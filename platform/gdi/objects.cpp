/*
 * The GDI handle table, stock objects, brushes and pens, and the object
 * functions that apply to every kind (DeleteObject, GetObjectA,
 * GetObjectType).
 */
#include "gdi/objects.h"
#include "gdi/font.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>

namespace pal::gdi {
namespace {

std::recursive_mutex table_lock;
std::map<uintptr_t, std::shared_ptr<Object>> table;
uintptr_t next_handle = 0x00A00000; /* apart from window handles, for reading traces */

/* Largest bitmap the layer makes: far beyond any window, well below memory. */
constexpr long long kMaxPixels = 16LL * 1024 * 1024;

constexpr int kStockCount = DEFAULT_GUI_FONT + 1;
std::array<HGDIOBJ, kStockCount> stock_objects{};
HBITMAP stock_bitmap_handle;

std::shared_ptr<Object> make_brush(UINT style, COLORREF color)
{
    auto b = std::make_shared<Brush>();
    b->style = style;
    b->color = color & 0xFFFFFF;
    return b;
}

std::shared_ptr<Object> make_pen(int style, COLORREF color)
{
    auto p = std::make_shared<Pen>();
    p->style = style;
    p->color = color & 0xFFFFFF;
    return p;
}

std::shared_ptr<Object> make_font(const char *face, LONG height, LONG weight, BYTE pitch)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfPitchAndFamily = pitch;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    return font_make(lf);
}

/* The stock objects as Windows defines them; fonts at their classic sizes. */
std::shared_ptr<Object> make_stock(int index)
{
    switch (index) {
    case WHITE_BRUSH:
        return make_brush(BS_SOLID, 0xFFFFFF);
    case LTGRAY_BRUSH:
        return make_brush(BS_SOLID, 0xC0C0C0);
    case GRAY_BRUSH:
        return make_brush(BS_SOLID, 0x808080);
    case DKGRAY_BRUSH:
        return make_brush(BS_SOLID, 0x404040);
    case BLACK_BRUSH:
        return make_brush(BS_SOLID, 0x000000);
    case NULL_BRUSH:
        return make_brush(BS_NULL, 0);
    case WHITE_PEN:
        return make_pen(PS_SOLID, 0xFFFFFF);
    case BLACK_PEN:
        return make_pen(PS_SOLID, 0x000000);
    case NULL_PEN:
        return make_pen(PS_NULL, 0);
    case OEM_FIXED_FONT:
        return make_font("Terminal", 12, FW_NORMAL, FIXED_PITCH | FF_MODERN);
    case ANSI_FIXED_FONT:
        return make_font("Courier", 13, FW_NORMAL, FIXED_PITCH | FF_MODERN);
    case ANSI_VAR_FONT:
        return make_font("MS Sans Serif", 13, FW_NORMAL, VARIABLE_PITCH | FF_SWISS);
    case SYSTEM_FONT:
    case DEVICE_DEFAULT_FONT:
        return make_font("System", 16, FW_BOLD, VARIABLE_PITCH | FF_SWISS);
    case SYSTEM_FIXED_FONT:
        return make_font("Fixedsys", 15, FW_NORMAL, FIXED_PITCH | FF_MODERN);
    case DEFAULT_GUI_FONT:
        return make_font("MS Shell Dlg", -11, FW_NORMAL, VARIABLE_PITCH | FF_SWISS);
    default:
        return nullptr;
    }
}

} // namespace

std::recursive_mutex &table_mutex()
{
    return table_lock;
}

HGDIOBJ add(std::shared_ptr<Object> obj)
{
    std::lock_guard<std::recursive_mutex> lock(table_lock);
    uintptr_t h = next_handle;
    next_handle += 4;
    table.emplace(h, std::move(obj));
    return (HGDIOBJ)h;
}

std::shared_ptr<Object> get(HGDIOBJ h)
{
    std::lock_guard<std::recursive_mutex> lock(table_lock);
    auto it = table.find((uintptr_t)h);
    return it == table.end() ? nullptr : it->second;
}

std::shared_ptr<Dc> dc_get(HDC h)
{
    std::shared_ptr<Object> o = get(h);
    if (o && (o->type == OBJ_DC || o->type == OBJ_MEMDC))
        return std::static_pointer_cast<Dc>(o);
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

void remove(HGDIOBJ h)
{
    std::lock_guard<std::recursive_mutex> lock(table_lock);
    table.erase((uintptr_t)h);
}

HGDIOBJ stock(int index)
{
    if (index < 0 || index >= kStockCount)
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(table_lock);
    if (!stock_objects[index]) {
        std::shared_ptr<Object> o = make_stock(index);
        if (!o)
            return nullptr;
        o->stock = true;
        stock_objects[index] = add(std::move(o));
    }
    return stock_objects[index];
}

HBITMAP stock_bitmap()
{
    std::lock_guard<std::recursive_mutex> lock(table_lock);
    if (!stock_bitmap_handle) {
        auto b = bitmap_new(1, 1, 1);
        b->stock = true;
        stock_bitmap_handle = (HBITMAP)add(b);
    }
    return stock_bitmap_handle;
}

std::shared_ptr<Bitmap> bitmap_new(int width, int height, int bpp)
{
    if (width < 0 || height < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if ((long long)width * height > kMaxPixels) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto b = std::make_shared<Bitmap>();
    b->width = width;
    b->height = height;
    b->bpp = bpp;
    b->px.assign((size_t)width * (size_t)height, 0);
    return b;
}

COLORREF device_color(bool mono, COLORREF c)
{
    c &= 0xFFFFFF;
    if (!mono)
        return c;
    int sum = GetRValue(c) + GetGValue(c) + GetBValue(c);
    return sum * 2 >= 255 * 3 ? 0xFFFFFF : 0x000000;
}

bool intersect(RECT *out, const RECT &a, const RECT &b)
{
    out->left = std::max(a.left, b.left);
    out->top = std::max(a.top, b.top);
    out->right = std::min(a.right, b.right);
    out->bottom = std::min(a.bottom, b.bottom);
    if (out->left >= out->right || out->top >= out->bottom) {
        *out = RECT{0, 0, 0, 0};
        return false;
    }
    return true;
}

RECT Dc::clip() const
{
    RECT r{0, 0, 0, 0};
    if (!surface)
        return r;
    RECT whole{0, 0, surface->width, surface->height};
    intersect(&r, whole, bounds);
    if (has_user_clip)
        intersect(&r, r, user_clip);
    return r;
}

void fill_surface(Bitmap &bmp, const RECT &r, COLORREF c)
{
    for (int y = r.top; y < r.bottom; ++y)
        std::fill(bmp.row(y) + r.left, bmp.row(y) + r.right, c);
}

void fill_logical(Dc &dc, const RECT &logical, COLORREF c)
{
    RECT s{dc.sx(logical.left), dc.sy(logical.top), dc.sx(logical.right), dc.sy(logical.bottom)};
    RECT r;
    if (dc.surface && intersect(&r, s, dc.clip()))
        fill_surface(*dc.surface, r, device_color(dc.mono(), c));
}

} // namespace pal::gdi

using namespace pal::gdi;

extern "C" {

HGDIOBJ WINAPI GetStockObject(int index)
{
    HGDIOBJ h = stock(index);
    if (!h)
        SetLastError(ERROR_INVALID_PARAMETER);
    return h;
}

DWORD WINAPI GetObjectType(HGDIOBJ obj)
{
    std::shared_ptr<Object> o = get(obj);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return o->type;
}

BOOL WINAPI DeleteObject(HGDIOBJ obj)
{
    std::lock_guard<std::recursive_mutex> lock(table_mutex());
    std::shared_ptr<Object> o = get(obj);
    if (!o || o->type == OBJ_DC || o->type == OBJ_MEMDC) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (o->stock)
        return TRUE;
    /* A bitmap in use by a DC cannot go; other objects live on in the DC
     * that still has them selected. */
    if (o->type == OBJ_BITMAP && std::static_pointer_cast<Bitmap>(o)->selected_in)
        return FALSE;
    remove(obj);
    return TRUE;
}

int WINAPI GetObjectA(HGDIOBJ obj, int size, LPVOID buffer)
{
    std::shared_ptr<Object> o = get(obj);
    if (!o) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (size < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const void *data = nullptr;
    int full = 0;
    BITMAP bm{};
    LOGBRUSH lb{};
    LOGPEN lp{};
    switch (o->type) {
    case OBJ_BITMAP: {
        auto b = std::static_pointer_cast<Bitmap>(o);
        bm.bmWidth = b->width;
        bm.bmHeight = b->height;
        bm.bmWidthBytes = (b->width * b->bpp + 15) / 16 * 2;
        bm.bmPlanes = 1;
        bm.bmBitsPixel = (WORD)b->bpp;
        /* A bitmap's description is never given in part. */
        if (buffer && size < (int)sizeof bm)
            return 0;
        data = &bm;
        full = sizeof bm;
        break;
    }
    case OBJ_BRUSH: {
        auto b = std::static_pointer_cast<Brush>(o);
        lb.lbStyle = b->style;
        lb.lbColor = b->color;
        data = &lb;
        full = sizeof lb;
        break;
    }
    case OBJ_PEN: {
        auto p = std::static_pointer_cast<Pen>(o);
        lp.lopnStyle = (UINT)p->style;
        lp.lopnWidth.x = p->width;
        lp.lopnColor = p->color;
        data = &lp;
        full = sizeof lp;
        break;
    }
    case OBJ_FONT:
        data = &std::static_pointer_cast<Font>(o)->lf;
        full = sizeof(LOGFONTA);
        break;
    default:
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!buffer)
        return full;
    int n = std::min(size, full);
    std::memcpy(buffer, data, (size_t)n);
    return n;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color)
{
    return (HBRUSH)add(make_brush(BS_SOLID, color));
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color)
{
    if (style != PS_SOLID && style != PS_DASH && style != PS_DOT && style != PS_NULL &&
        style != PS_INSIDEFRAME) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto p = std::static_pointer_cast<Pen>(make_pen(style, color));
    p->width = std::max(1, width);
    /* Styled lines are one pixel wide, as on Windows. */
    if (style == PS_DASH || style == PS_DOT)
        p->width = 1;
    return (HPEN)add(p);
}

} // extern "C"
