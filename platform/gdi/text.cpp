/*
 * Fonts as GDI objects, text metrics and extents, and text output with
 * TextOutA and ExtTextOutA.
 */
#include "gdi/text.h"
#include "gdi/gdi.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

using namespace pal::gdi;

namespace pal::gdi {

const FontFace &dc_face(const Dc &dc)
{
    return *dc.font->face;
}

int text_run(Dc &dc, int x, int top, const char *text, size_t n,
             const std::vector<size_t> &underlined, const RECT *limit)
{
    const FontFace &f = dc_face(dc);
    int width = f.width(text, n);
    RECT clip = dc.clip();
    if (limit) {
        RECT l{dc.sx(limit->left), dc.sy(limit->top), dc.sx(limit->right), dc.sy(limit->bottom)};
        intersect(&clip, clip, l);
    }
    if (clip.left >= clip.right)
        return width;
    Bitmap &bmp = *dc.surface;
    int sx = dc.sx(x), sy = dc.sy(top);
    RECT r;
    if (dc.bk_mode == OPAQUE && intersect(&r, RECT{sx, sy, sx + width, sy + f.height()}, clip))
        fill_surface(bmp, r, device_color(dc.mono(), dc.bk_color));
    draw_run(bmp, f, sx, sy, text, n, clip, dc.text_color);

    COLORREF ink = device_color(dc.mono(), dc.text_color);
    int thickness = std::max(1, f.em / 12);
    auto rule = [&](int from, int to, int y) {
        if (intersect(&r, RECT{from, y, to, y + thickness}, clip))
            fill_surface(bmp, r, ink);
    };
    int under = sy + f.ascent + 1;
    for (size_t i : underlined)
        if (i < n) {
            int at = sx + f.width(text, i);
            rule(at, at + f.glyphs[(unsigned char)text[i]].advance, under);
        }
    if (dc.font->lf.lfUnderline)
        rule(sx, sx + width, under);
    if (dc.font->lf.lfStrikeOut)
        rule(sx, sx + width, sy + f.ascent - f.em * 3 / 10);
    return width;
}

} // namespace pal::gdi

namespace {

const std::vector<size_t> no_underline;

/* The cell's top-left for text of the given width drawn at reference
 * point (x, y) under the DC's text alignment. */
void place(const Dc &dc, int width, int *x, int *y)
{
    const FontFace &f = dc_face(dc);
    UINT a = dc.text_align;
    if ((a & TA_CENTER) == TA_CENTER)
        *x -= width / 2;
    else if (a & TA_RIGHT)
        *x -= width;
    if ((a & TA_BASELINE) == TA_BASELINE)
        *y -= f.ascent;
    else if (a & TA_BOTTOM)
        *y -= f.height();
}

/* Width of the text as ExtTextOutA spaces it. */
int spaced_width(const FontFace &f, const char *text, UINT n, const INT *dx)
{
    if (!dx)
        return f.width(text, n);
    int w = 0;
    for (UINT i = 0; i < n; ++i)
        w += dx[i];
    return w;
}

BOOL text_out(HDC hdc, int x, int y, UINT options, const RECT *rect, LPCSTR text, UINT n,
              const INT *dx)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (n && !text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if ((options & ETO_OPAQUE) && rect)
        fill_logical(*dc, *rect, dc->bk_color);
    const RECT *limit = (options & ETO_CLIPPED) ? rect : nullptr;
    int width = spaced_width(dc_face(*dc), text, n, dx);
    bool update = (dc->text_align & TA_UPDATECP) != 0;
    if (update) {
        x = dc->pos.x;
        y = dc->pos.y;
    }
    int left = x, top = y;
    place(*dc, width, &left, &top);
    if (!dx)
        text_run(*dc, left, top, text, n, no_underline, limit);
    else
        for (UINT i = 0; i < n; left += dx[i], ++i)
            text_run(*dc, left, top, text + i, 1, no_underline, limit);
    if (update && (dc->text_align & TA_CENTER) != TA_CENTER)
        dc->pos.x = (dc->text_align & TA_RIGHT) ? x - width : x + width;
    return TRUE;
}

} // namespace

namespace pal {

HFONT font_create_points(const char *face, int points, int weight, bool italic)
{
    LOGFONTA lf{};
    /* MulDiv(points, dpi, 72), rounded as MulDiv rounds. */
    lf.lfHeight = -((points * kScreenDpi + 36) / 72);
    lf.lfWeight = weight ? weight : FW_NORMAL;
    lf.lfItalic = italic ? 1 : 0;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face ? face : "");
    return CreateFontIndirectA(&lf);
}

bool font_base_units(HFONT font, SIZE *units)
{
    std::shared_ptr<Font> f = get_as<Font>(font, OBJ_FONT);
    if (!f)
        return false;
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    int width = f->face->width(letters, sizeof letters - 1);
    units->cx = (width / 26 + 1) / 2;
    units->cy = f->face->height();
    return true;
}

} // namespace pal

extern "C" {

HFONT WINAPI CreateFontIndirectA(const LOGFONTA *lf)
{
    if (!lf) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return (HFONT)add(font_make(*lf));
}

HFONT WINAPI CreateFontA(int height, int width, int escapement, int orientation, int weight,
                         DWORD italic, DWORD underline, DWORD strikeout, DWORD charset,
                         DWORD out_precision, DWORD clip_precision, DWORD quality,
                         DWORD pitch_and_family, LPCSTR face)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = (BYTE)italic;
    lf.lfUnderline = (BYTE)underline;
    lf.lfStrikeOut = (BYTE)strikeout;
    lf.lfCharSet = (BYTE)charset;
    lf.lfOutPrecision = (BYTE)out_precision;
    lf.lfClipPrecision = (BYTE)clip_precision;
    lf.lfQuality = (BYTE)quality;
    lf.lfPitchAndFamily = (BYTE)pitch_and_family;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face ? face : "");
    return CreateFontIndirectA(&lf);
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc || !tm)
        return FALSE;
    const FontFace &f = dc_face(*dc);
    const LOGFONTA &lf = dc->font->lf;
    *tm = TEXTMETRICA{};
    tm->tmHeight = f.height();
    tm->tmAscent = f.ascent;
    tm->tmDescent = f.descent;
    tm->tmInternalLeading = f.height() - f.em;
    tm->tmExternalLeading = f.external_leading;
    tm->tmAveCharWidth = f.ave_width;
    tm->tmMaxCharWidth = f.max_width;
    tm->tmWeight = f.weight;
    tm->tmDigitizedAspectX = pal::kScreenDpi;
    tm->tmDigitizedAspectY = pal::kScreenDpi;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = 0x1F;
    tm->tmBreakChar = 0x20;
    tm->tmItalic = f.italic ? 1 : 0;
    tm->tmUnderlined = lf.lfUnderline ? 1 : 0;
    tm->tmStruckOut = lf.lfStrikeOut ? 1 : 0;
    /* The pitch bit is set for variable-pitch fonts, as Windows has it. */
    tm->tmPitchAndFamily = (BYTE)(f.family_bits | TMPF_VECTOR | TMPF_TRUETYPE |
                                  (f.fixed_pitch ? 0 : TMPF_FIXED_PITCH));
    tm->tmCharSet = ANSI_CHARSET;
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR text, int count, LPSIZE size)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return FALSE;
    if (count < 0 || !size || (count && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const FontFace &f = dc_face(*dc);
    size->cx = f.width(text, (size_t)count);
    size->cy = f.height();
    return TRUE;
}

int WINAPI GetTextFaceA(HDC hdc, int count, LPSTR face)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return 0;
    /* The requested face stands for the font that renders it. */
    const char *name =
        dc->font->lf.lfFaceName[0] ? dc->font->lf.lfFaceName : dc_face(*dc).family.c_str();
    int len = (int)std::strlen(name);
    if (!face)
        return len + 1;
    if (count <= 0)
        return 0;
    std::snprintf(face, (size_t)count, "%s", name);
    return std::min(len, count - 1);
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR text, int count)
{
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return text_out(hdc, x, y, 0, nullptr, text, (UINT)count, nullptr);
}

BOOL WINAPI ExtTextOutA(HDC hdc, int x, int y, UINT options, const RECT *rect, LPCSTR text,
                        UINT count, const INT *dx)
{
    return text_out(hdc, x, y, options, rect, text, count, dx);
}

} // extern "C"
