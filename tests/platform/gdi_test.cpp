/* Drawing: raster operations, objects, system colours, text, bitmap
 * resources and PNG snapshots. */
#include <windows.h>
#include <palgdi.h>
#include <palmodule.h>

#include "gdi/gdi.h"
#include "support/instance.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

/* A memory DC drawing onto a bitmap of its own, filled with one colour. */
struct Canvas {
    HDC dc;
    HBITMAP bmp;
    HGDIOBJ old;
    int width, height;

    Canvas(int w, int h, COLORREF fill, UINT bpp = 32) : width(w), height(h)
    {
        dc = CreateCompatibleDC(nullptr);
        bmp = CreateBitmap(w, h, 1, bpp, nullptr);
        old = SelectObject(dc, bmp);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~Canvas()
    {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    COLORREF at(int x, int y) const { return GetPixel(dc, x, y); }

    /* The box of pixels that differ from `background`; empty if none. */
    RECT ink(COLORREF background) const
    {
        RECT box{width, height, 0, 0};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (at(x, y) != background) {
                    box.left = std::min<LONG>(box.left, x);
                    box.top = std::min<LONG>(box.top, y);
                    box.right = std::max<LONG>(box.right, x + 1);
                    box.bottom = std::max<LONG>(box.bottom, y + 1);
                }
        return box;
    }
};

int extent(HDC dc, const char *text)
{
    SIZE size{};
    GetTextExtentPoint32A(dc, text, (int)std::strlen(text), &size);
    return size.cx;
}

HFONT dialog_font() { return pal::font_create_points("MS Sans Serif", 8, 0, false); }

TEST(Gdi, RasterOperationsAreBitwiseOnPixelValues)
{
    const COLORREF s[4] = {0x123456, 0xFFFFFF, 0x000000, 0x0F0F0F};
    const COLORREF d = 0x00F0CC;
    Canvas src(4, 1, 0);
    for (int x = 0; x < 4; ++x)
        SetPixel(src.dc, x, 0, s[x]);

    struct Case {
        DWORD rop;
        COLORREF (*expect)(COLORREF s, COLORREF d);
    } cases[] = {
        {SRCCOPY, [](COLORREF s, COLORREF) { return s; }},
        {SRCAND, [](COLORREF s, COLORREF d) { return s & d; }},
        {SRCINVERT, [](COLORREF s, COLORREF d) { return s ^ d; }},
        {SRCPAINT, [](COLORREF s, COLORREF d) { return s | d; }},
        {NOTSRCCOPY, [](COLORREF s, COLORREF) { return ~s & 0xFFFFFF; }},
        {SRCERASE, [](COLORREF s, COLORREF d) { return s & ~d & 0xFFFFFF; }},
    };
    for (const Case &c : cases) {
        Canvas dst(4, 1, d);
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, c.rop));
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(c.expect(s[x], d), dst.at(x, 0)) << std::hex << c.rop << " at " << x;
    }

    /* Pattern operations take the selected brush. */
    Canvas dst(3, 1, d);
    HBRUSH brush = CreateSolidBrush(0x3C3C3C);
    HGDIOBJ old = SelectObject(dst.dc, brush);
    PatBlt(dst.dc, 0, 0, 1, 1, PATCOPY);
    PatBlt(dst.dc, 1, 0, 1, 1, PATINVERT);
    PatBlt(dst.dc, 3, 0, -1, 1, DSTINVERT); /* a negative width counts leftwards */
    EXPECT_EQ(0x3C3C3Cu, dst.at(0, 0));
    EXPECT_EQ(0x3C3C3Cu ^ d, dst.at(1, 0));
    EXPECT_EQ(~d & 0xFFFFFF, dst.at(2, 0));
    EXPECT_FALSE(PatBlt(dst.dc, 0, 0, 1, 1, SRCCOPY)); /* needs a source */
    SelectObject(dst.dc, old);
    DeleteObject(brush);
}

TEST(Gdi, MaskAndThenPictureDrawsTransparently)
{
    /* Mask white where the background shows; picture black there. */
    Canvas strip(2, 2, 0);
    SetPixel(strip.dc, 0, 0, 0xFFFFFF);
    SetPixel(strip.dc, 1, 0, 0x000000);
    SetPixel(strip.dc, 0, 1, 0x000000);
    SetPixel(strip.dc, 1, 1, 0x00FFFF);
    for (COLORREF background : {0xFFFFFFu, 0x800000u, 0xC0C0C0u}) {
        Canvas list(2, 1, background);
        BitBlt(list.dc, 0, 0, 2, 1, strip.dc, 0, 0, SRCAND);
        BitBlt(list.dc, 0, 0, 2, 1, strip.dc, 0, 1, SRCINVERT);
        EXPECT_EQ(background, list.at(0, 0));
        EXPECT_EQ(0x00FFFFu, list.at(1, 0));
    }
}

TEST(Gdi, BitBltSourcesOverlapClipAndConvert)
{
    Canvas row(5, 1, 0);
    for (int x = 0; x < 5; ++x)
        SetPixel(row.dc, x, 0, (COLORREF)(x + 1));
    BitBlt(row.dc, 1, 0, 4, 1, row.dc, 0, 0, SRCCOPY); /* reads before it writes */
    const COLORREF shifted[5] = {1, 1, 2, 3, 4};
    for (int x = 0; x < 5; ++x)
        EXPECT_EQ(shifted[x], row.at(x, 0));

    /* Source pixels beyond the source bitmap leave the destination alone. */
    Canvas dst(3, 1, 0xABCDEF);
    BitBlt(dst.dc, 0, 0, 3, 1, row.dc, 4, 0, SRCCOPY);
    EXPECT_EQ(4u, dst.at(0, 0));
    EXPECT_EQ(0xABCDEFu, dst.at(1, 0));

    /* Monochrome to colour: black takes the text colour, white the background. */
    const BYTE bits[2] = {0x40, 0}; /* pixel 1 white */
    HBITMAP mono = CreateBitmap(2, 1, 1, 1, bits);
    HDC mdc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mdc, mono);
    Canvas colour(2, 1, 0);
    SetTextColor(colour.dc, 0x0000FF);
    SetBkColor(colour.dc, 0x00FF00);
    BitBlt(colour.dc, 0, 0, 2, 1, mdc, 0, 0, SRCCOPY);
    EXPECT_EQ(0x0000FFu, colour.at(0, 0));
    EXPECT_EQ(0x00FF00u, colour.at(1, 0));

    /* Colour to monochrome: the source's background colour becomes white. */
    SetPixel(colour.dc, 0, 0, 0x123456);
    SetPixel(colour.dc, 1, 0, 0xABCDEF);
    SetBkColor(colour.dc, 0xABCDEF);
    BitBlt(mdc, 0, 0, 2, 1, colour.dc, 0, 0, SRCCOPY);
    EXPECT_EQ(0x000000u, GetPixel(mdc, 0, 0));
    EXPECT_EQ(0xFFFFFFu, GetPixel(mdc, 1, 0));
    SelectObject(mdc, old);
    DeleteDC(mdc);
    DeleteObject(mono);
}

TEST(Gdi, ObjectsSelectionAndDescriptions)
{
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAP bm{};
    /* A fresh memory DC holds a 1 x 1 monochrome bitmap, and bitmaps made
     * compatible with it are monochrome too. */
    ASSERT_EQ((int)sizeof bm, GetObjectA(GetCurrentObject(dc, OBJ_BITMAP), sizeof bm, &bm));
    EXPECT_EQ(1, bm.bmWidth);
    EXPECT_EQ(1, bm.bmBitsPixel);
    HBITMAP mono = CreateCompatibleBitmap(dc, 17, 2);
    GetObjectA(mono, sizeof bm, &bm);
    EXPECT_EQ(1, bm.bmBitsPixel);
    EXPECT_EQ(4, bm.bmWidthBytes);

    HBITMAP colour = CreateBitmap(5, 3, 1, 32, nullptr);
    HGDIOBJ first = SelectObject(dc, colour);
    EXPECT_EQ(GetObjectType(first), (DWORD)OBJ_BITMAP);
    HBITMAP compatible = CreateCompatibleBitmap(dc, 5, 3);
    GetObjectA(compatible, sizeof bm, &bm);
    EXPECT_EQ(5, bm.bmWidth);
    EXPECT_EQ(3, bm.bmHeight);
    EXPECT_EQ(32, bm.bmBitsPixel);
    EXPECT_EQ(20, bm.bmWidthBytes);
    EXPECT_EQ((int)sizeof(BITMAP), GetObjectA(compatible, 0, nullptr));
    EXPECT_EQ(0, GetObjectA(compatible, sizeof(BITMAP) - 1, &bm));

    /* One DC at a time draws on a bitmap, and it cannot go while selected. */
    HDC other = CreateCompatibleDC(dc);
    EXPECT_EQ(nullptr, SelectObject(other, colour));
    EXPECT_FALSE(DeleteObject(colour));
    EXPECT_EQ((HGDIOBJ)colour, SelectObject(dc, first));
    EXPECT_TRUE(DeleteObject(colour));
    SetLastError(0);
    EXPECT_EQ(0u, GetObjectType(colour));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());

    /* A brush deleted while selected paints on until deselected. */
    SelectObject(dc, compatible);
    HBRUSH red = CreateSolidBrush(0x0000FF);
    HGDIOBJ old_brush = SelectObject(dc, red);
    EXPECT_TRUE(DeleteObject(red));
    PatBlt(dc, 0, 0, 1, 1, PATCOPY);
    EXPECT_EQ(0x0000FFu, GetPixel(dc, 0, 0));
    SelectObject(dc, old_brush);

    /* Stock objects survive deletion. */
    HGDIOBJ white = GetStockObject(WHITE_BRUSH);
    EXPECT_TRUE(DeleteObject(white));
    LOGBRUSH lb{};
    EXPECT_EQ((int)sizeof lb, GetObjectA(white, sizeof lb, &lb));
    EXPECT_EQ(0xFFFFFFu, lb.lbColor);

    /* Fonts and pens describe themselves; a short buffer gets a prefix. */
    HFONT font = dialog_font();
    LOGFONTA lf{};
    EXPECT_EQ((int)sizeof lf, GetObjectA(font, sizeof lf, &lf));
    EXPECT_EQ(-11, lf.lfHeight);
    EXPECT_STREQ("MS Sans Serif", lf.lfFaceName);
    LONG height = 0;
    EXPECT_EQ((int)sizeof height, GetObjectA(font, sizeof height, &height));
    EXPECT_EQ(-11, height);
    HPEN pen = CreatePen(PS_SOLID, 2, 0x808080);
    LOGPEN lp{};
    GetObjectA(pen, sizeof lp, &lp);
    EXPECT_EQ(2, lp.lopnWidth.x);
    EXPECT_EQ(0x808080u, lp.lopnColor);

    DeleteObject(pen);
    DeleteObject(font);
    DeleteDC(other);
    SelectObject(dc, first);
    DeleteObject(compatible);
    DeleteObject(mono);
    DeleteDC(dc);
}

TEST(Gdi, SystemColoursFillRectAndFocusRect)
{
    EXPECT_EQ(0xFFFFFFu, GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(0x800000u, GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(0xFFFFFFu, GetSysColor(COLOR_HIGHLIGHTTEXT));
    EXPECT_EQ(0x808080u, GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(0x000000u, GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(0xC0C0C0u, GetSysColor(COLOR_BTNFACE));

    /* FillRect leaves out the right and bottom edges and takes a system
     * colour index + 1 for a brush. */
    Canvas c(6, 5, 0);
    RECT r{1, 1, 4, 3};
    EXPECT_NE(0, FillRect(c.dc, &r, (HBRUSH)(COLOR_HIGHLIGHT + 1)));
    EXPECT_EQ(0x800000u, c.at(1, 1));
    EXPECT_EQ(0x800000u, c.at(3, 2));
    EXPECT_EQ(0u, c.at(4, 1));
    EXPECT_EQ(0u, c.at(1, 3));
    EXPECT_EQ(0u, c.at(0, 0));
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    EXPECT_TRUE(DeleteObject(face)); /* system brushes stay */
    EXPECT_NE(0, FillRect(c.dc, &r, face));
    EXPECT_EQ(0xC0C0C0u, c.at(2, 2));
    EXPECT_NE(0, FillRect(c.dc, &r, (HBRUSH)GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(0xC0C0C0u, c.at(2, 2));
    EXPECT_EQ(0, FillRect(c.dc, &r, (HBRUSH)(uintptr_t)0x7777));

    /* The focus rectangle inverts every other frame pixel; twice is none. */
    Canvas f(6, 4, 0xFFFFFF);
    RECT all{0, 0, 6, 4};
    DrawFocusRect(f.dc, &all);
    EXPECT_EQ(0u, f.at(0, 0));
    EXPECT_EQ(0xFFFFFFu, f.at(1, 0));
    EXPECT_EQ(0u, f.at(2, 0));
    EXPECT_EQ(0xFFFFFFu, f.at(0, 1));
    EXPECT_EQ(0u, f.at(0, 2));
    EXPECT_EQ(0u, f.at(5, 1));
    EXPECT_EQ(0xFFFFFFu, f.at(2, 2));
    DrawFocusRect(f.dc, &all);
    EXPECT_EQ(0, f.ink(0xFFFFFF).right);
}

TEST(Gdi, LinesAndRectanglesLeaveOutTheirFarEdges)
{
    Canvas c(8, 8, 0xFFFFFF);
    HBRUSH red = CreateSolidBrush(0x0000FF);
    HGDIOBJ old = SelectObject(c.dc, red);
    Rectangle(c.dc, 1, 1, 5, 4);
    EXPECT_EQ(0u, c.at(1, 1));
    EXPECT_EQ(0u, c.at(4, 1));
    EXPECT_EQ(0u, c.at(4, 3));
    EXPECT_EQ(0u, c.at(1, 3));
    EXPECT_EQ(0x0000FFu, c.at(2, 2));
    EXPECT_EQ(0x0000FFu, c.at(3, 2));
    EXPECT_EQ(0xFFFFFFu, c.at(5, 1));
    EXPECT_EQ(0xFFFFFFu, c.at(1, 4));
    SelectObject(c.dc, old);
    DeleteObject(red);

    POINT was{};
    MoveToEx(c.dc, 0, 6, nullptr);
    LineTo(c.dc, 4, 6);
    for (int x = 0; x < 4; ++x)
        EXPECT_EQ(0u, c.at(x, 6));
    EXPECT_EQ(0xFFFFFFu, c.at(4, 6));
    MoveToEx(c.dc, 0, 0, &was);
    EXPECT_EQ(4, was.x);
}

TEST(Gdi, WindowDcsDrawAtTheirOriginInsideTheirClip)
{
    HBITMAP surface = CreateBitmap(20, 20, 1, 32, nullptr);
    RECT clip{5, 5, 15, 10};
    HDC dc = pal::dc_create_window(surface, POINT{5, 5}, &clip);
    ASSERT_NE(nullptr, dc);
    EXPECT_EQ((DWORD)OBJ_DC, GetObjectType(dc));
    HBITMAP one = CreateBitmap(1, 1, 1, 1, nullptr);
    EXPECT_EQ(nullptr, SelectObject(dc, one));
    DeleteObject(one);
    RECT box{};
    EXPECT_EQ(SIMPLEREGION, GetClipBox(dc, &box));
    EXPECT_EQ(0, box.left);
    EXPECT_EQ(10, box.right);
    EXPECT_EQ(5, box.bottom);

    RECT huge{-100, -100, 100, 100};
    FillRect(dc, &huge, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetPixel(dc, 0, 0, 0x0000FF);
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    ASSERT_TRUE(pal::bitmap_read(surface, &w, &h, &px));
    auto at = [&](int x, int y) { return px[(size_t)y * (size_t)w + (size_t)x]; };
    EXPECT_EQ(0x0000FFu, at(5, 5));
    EXPECT_EQ(0xFFFFFFu, at(14, 9));
    EXPECT_EQ(0u, at(15, 9));
    EXPECT_EQ(0u, at(14, 10));
    EXPECT_EQ(0u, at(4, 5));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 10, 0));

    /* The DC keeps its surface while it lives. */
    EXPECT_TRUE(DeleteObject(surface));
    EXPECT_FALSE(pal::bitmap_read(surface, &w, &h, &px));
    EXPECT_EQ(0x0000FFu, GetPixel(dc, 0, 0));
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(dc, 2, 0, 4, 5));
    GetClipBox(dc, &box);
    EXPECT_EQ(2, box.left);
    EXPECT_EQ(4, box.right);
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 0, 0));
    DeleteDC(dc);

    /* Without a surface a DC measures text and draws nothing. */
    HDC screen = pal::dc_create_window(nullptr, POINT{0, 0}, nullptr);
    EXPECT_NE(0, FillRect(screen, &huge, (HBRUSH)GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(CLR_INVALID, GetPixel(screen, 0, 0));
    EXPECT_GT(extent(screen, "text"), 0);
    EXPECT_EQ(32, GetDeviceCaps(screen, BITSPIXEL));
    EXPECT_EQ(96, GetDeviceCaps(screen, LOGPIXELSY));
    DeleteDC(screen);
}

TEST(Gdi, DialogFontMetrics)
{
    HFONT font = dialog_font();
    SIZE units{};
    ASSERT_TRUE(pal::font_base_units(font, &units));
    EXPECT_EQ(7, units.cx);
    EXPECT_EQ(13, units.cy);
    EXPECT_FALSE(pal::font_base_units((HFONT)GetStockObject(WHITE_BRUSH), &units));

    Canvas c(10, 10, 0);
    HGDIOBJ old = SelectObject(c.dc, font);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
    EXPECT_EQ(13, tm.tmHeight);
    EXPECT_EQ(10, tm.tmAscent);
    EXPECT_EQ(3, tm.tmDescent);
    EXPECT_EQ(2, tm.tmInternalLeading);
    int width = extent(c.dc, "Address Book");
    char face[LF_FACESIZE];
    GetTextFaceA(c.dc, sizeof face, face);
    EXPECT_STREQ("MS Sans Serif", face);

    /* "Helv" is the same font under its older name. */
    HFONT helv = pal::font_create_points("Helv", 8, 0, false);
    SelectObject(c.dc, helv);
    EXPECT_EQ(width, extent(c.dc, "Address Book"));
    SelectObject(c.dc, old);
    DeleteObject(helv);
    DeleteObject(font);
}

TEST(Gdi, DrawTextMeasuresPrefixesAndLines)
{
    Canvas c(10, 10, 0);
    HFONT font = dialog_font();
    HGDIOBJ old = SelectObject(c.dc, font);
    auto calc = [&](const char *text, UINT format, int width = 200, RECT *out = nullptr) {
        RECT r{3, 4, 3 + width, 100};
        int h = DrawTextA(c.dc, text, -1, &r, format | DT_CALCRECT);
        EXPECT_EQ(4 + h, r.bottom) << text;
        if (out)
            *out = r;
        return std::make_pair(r.right - r.left, h);
    };

    EXPECT_EQ(std::make_pair(extent(c.dc, "Address"), 13), calc("&Address", DT_SINGLELINE));
    EXPECT_EQ(extent(c.dc, "&Address"), calc("&Address", DT_SINGLELINE | DT_NOPREFIX).first);
    EXPECT_EQ(extent(c.dc, "A&B"), calc("A&&B", DT_SINGLELINE).first);
    EXPECT_EQ(extent(c.dc, "a"), calc("a\nb", DT_SINGLELINE).first - extent(c.dc, "b"));
    EXPECT_EQ(39, calc("a\nb\r\nc", 0).second);
    EXPECT_EQ(13, calc("a\nb", DT_SINGLELINE).second);

    /* Word breaks wrap where the rectangle ends; a long word stays whole. */
    int both = extent(c.dc, "aaaa bbbbbb");
    EXPECT_EQ(std::make_pair(both, 13), calc("aaaa bbbbbb", DT_WORDBREAK, both));
    EXPECT_EQ(std::make_pair(extent(c.dc, "bbbbbb"), 26),
              calc("aaaa bbbbbb", DT_WORDBREAK, both - 1));
    EXPECT_EQ(std::make_pair(extent(c.dc, "abcdefghij"), 13), calc("abcdefghij", DT_WORDBREAK, 5));

    RECT r{3, 4, 50, 60};
    EXPECT_EQ(0, DrawTextA(c.dc, "", -1, &r, DT_CALCRECT));
    EXPECT_EQ(3, r.right);
    EXPECT_EQ(4, r.bottom);
    SelectObject(c.dc, old);
    DeleteObject(font);
}

TEST(Gdi, DrawTextPlacesUnderlinesAndClips)
{
    Canvas c(120, 40, 0xFFFFFF);
    HFONT font = dialog_font();
    HGDIOBJ old = SelectObject(c.dc, font);
    SetBkMode(c.dc, TRANSPARENT);
    const int width = extent(c.dc, "Invite");
    auto draw = [&](const char *text, RECT r, UINT format) {
        RECT all{0, 0, c.width, c.height};
        FillRect(c.dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
        return DrawTextA(c.dc, text, -1, &r, format);
    };

    /* Alignment: the ink moves by exactly the room the text leaves. */
    const RECT box{10, 0, 110, 30};
    EXPECT_EQ(21, draw("Invite", box, DT_SINGLELINE | DT_VCENTER));
    RECT left = c.ink(0xFFFFFF);
    EXPECT_EQ(13, draw("Invite", box, DT_SINGLELINE));
    EXPECT_EQ(left.top - 8, c.ink(0xFFFFFF).top);
    EXPECT_EQ(30, draw("Invite", box, DT_SINGLELINE | DT_BOTTOM));
    EXPECT_EQ(left.top + 9, c.ink(0xFFFFFF).top);
    draw("Invite", box, DT_SINGLELINE | DT_VCENTER | DT_RIGHT);
    EXPECT_EQ(left.left + 100 - width, c.ink(0xFFFFFF).left);
    draw("Invite", box, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    EXPECT_EQ(left.left + (100 - width) / 2, c.ink(0xFFFFFF).left);

    /* "&A" underlines A, one row below the baseline, in the text colour. */
    const int a = extent(c.dc, "A");
    const int address = extent(c.dc, "Address");
    draw("&Address", RECT{0, 0, 120, 40}, DT_SINGLELINE);
    for (int x = 0; x < address; ++x)
        EXPECT_EQ(x < a ? 0u : 0xFFFFFFu, c.at(x, 11)) << x;
    draw("&Address", RECT{0, 0, 120, 40}, DT_SINGLELINE | DT_NOPREFIX);
    EXPECT_EQ(0xFFFFFFu, c.at(a / 2, 11));

    /* The rectangle clips unless DT_NOCLIP. */
    draw("Invite everyone", RECT{0, 0, 10, 13}, DT_SINGLELINE);
    EXPECT_LE(c.ink(0xFFFFFF).right, 10);
    draw("Invite everyone", RECT{0, 0, 10, 13}, DT_SINGLELINE | DT_NOCLIP);
    EXPECT_GT(c.ink(0xFFFFFF).right, 10);

    /* An opaque background covers the text's cells and nothing more. */
    SetBkMode(c.dc, OPAQUE);
    SetBkColor(c.dc, 0x800000);
    draw("Invite", RECT{0, 0, 120, 40}, DT_SINGLELINE);
    EXPECT_EQ(0x800000u, c.at(0, 0));
    EXPECT_EQ(0x800000u, c.at(width - 1, 12));
    EXPECT_EQ(0xFFFFFFu, c.at(width, 0));
    EXPECT_EQ(0xFFFFFFu, c.at(0, 13));

    /* TextOutA with TA_UPDATECP starts at and advances the current position. */
    SetTextAlign(c.dc, TA_UPDATECP);
    MoveToEx(c.dc, 5, 0, nullptr);
    TextOutA(c.dc, 0, 0, "ab", 2);
    POINT pos{};
    MoveToEx(c.dc, 0, 0, &pos);
    EXPECT_EQ(5 + extent(c.dc, "ab"), pos.x);
    SelectObject(c.dc, old);
    DeleteObject(font);
}

TEST(Gdi, IconStripResource)
{
    HBITMAP strip = LoadBitmapA(resource_instance(), MAKEINTRESOURCEA(100));
    ASSERT_NE(nullptr, strip);
    BITMAP bm{};
    ASSERT_EQ((int)sizeof bm, GetObjectA(strip, sizeof bm, &bm));
    EXPECT_EQ(96, bm.bmWidth);
    EXPECT_EQ(32, bm.bmHeight);
    EXPECT_EQ(32, bm.bmBitsPixel);

    const COLORREF vga[16] = {0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080,
                              0x808000, 0xC0C0C0, 0x808080, 0x0000FF, 0x00FF00, 0x00FFFF,
                              0xFF0000, 0xFF00FF, 0xFFFF00, 0xFFFFFF};
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    ASSERT_TRUE(pal::bitmap_read(strip, &w, &h, &px));
    auto at = [&](int x, int y) { return px[(size_t)y * 96 + (size_t)x]; };
    for (int cell = 0; cell < 6; ++cell) {
        int opaque = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = cell * 16; x < cell * 16 + 16; ++x) {
                COLORREF mask = at(x, y), picture = at(x, y + 16);
                ASSERT_TRUE(mask == 0 || mask == 0xFFFFFF) << cell;
                if (mask == 0xFFFFFF)
                    ASSERT_EQ(0u, picture) << "cell " << cell << " at " << x << "," << y;
                else
                    ++opaque;
                ASSERT_NE(std::end(vga), std::find(std::begin(vga), std::end(vga), picture));
            }
        EXPECT_GT(opaque, 60) << cell;
        EXPECT_LT(opaque, 256) << cell;
    }

    /* Drawn as the lists draw it, on the selection colour. */
    Canvas list(16, 16, 0x800000);
    HDC mem = CreateCompatibleDC(list.dc);
    HGDIOBJ old = SelectObject(mem, strip);
    BitBlt(list.dc, 0, 0, 16, 16, mem, 2 * 16, 0, SRCAND);
    BitBlt(list.dc, 0, 0, 16, 16, mem, 2 * 16, 16, SRCINVERT);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(at(32 + x, y) ? 0x800000u : at(32 + x, y + 16), list.at(x, y));
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(strip);

    SetLastError(0);
    EXPECT_EQ(nullptr, LoadBitmapA(resource_instance(), MAKEINTRESOURCEA(999)));
    EXPECT_EQ((DWORD)ERROR_RESOURCE_NAME_NOT_FOUND, GetLastError());
}

/* Resource data holding bitmaps, in the layout of a compiled .res file. */
void add_bitmap(std::vector<BYTE> *res, WORD id, const std::vector<BYTE> &dib)
{
    auto u32 = [&](DWORD v) {
        for (int i = 0; i < 4; ++i)
            res->push_back((BYTE)(v >> (8 * i)));
    };
    auto u16 = [&](WORD v) {
        res->push_back((BYTE)v);
        res->push_back((BYTE)(v >> 8));
    };
    u32((DWORD)dib.size());
    u32(32);
    u16(0xFFFF);
    u16(2); /* RT_BITMAP */
    u16(0xFFFF);
    u16(id);
    u32(0);
    u16(0x30);
    u16(0x409);
    u32(0);
    u32(0);
    res->insert(res->end(), dib.begin(), dib.end());
    while (res->size() % 4)
        res->push_back(0);
}

std::vector<BYTE> dib(LONG width, LONG height, WORD bpp, DWORD colors,
                      const std::vector<BYTE> &palette_and_bits)
{
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bpp;
    h.biClrUsed = colors;
    /* Sized once and filled in place: growing a vector that was made from
     * the header's bytes draws a false out-of-bounds warning from g++ 12 at
     * -O2, which copies through the header's own 40 bytes. */
    std::vector<BYTE> out(sizeof h + palette_and_bits.size());
    memcpy(out.data(), &h, sizeof h);
    std::copy(palette_and_bits.begin(), palette_and_bits.end(), out.begin() + sizeof h);
    return out;
}

TEST(Gdi, LoadBitmapReadsEachPixelFormat)
{
    /* Built once: the attached module keeps pointing at these bytes, also
     * when the test runs again in the same process. */
    static const std::vector<BYTE> res = [] {
        std::vector<BYTE> r;
        /* 1 bit, bottom row first, palette red and blue: rows 010 over 111. */
        add_bitmap(&r, 1,
                   dib(3, 2, 1, 0, {0, 0, 255, 0, 255, 0, 0, 0, 0xE0, 0, 0, 0, 0x40, 0, 0, 0}));
        /* 8 bits, three colours. */
        add_bitmap(&r, 2, dib(2, 1, 8, 3, {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 2, 0, 0, 0}));
        /* 24 bits, top row first. */
        add_bitmap(&r, 3, dib(1, -2, 24, 0, {0x11, 0x22, 0x33, 0, 0x44, 0x55, 0x66, 0}));
        /* 4 bits with the full table of 16 colours, entry i = (i, i, i). */
        std::vector<BYTE> four;
        for (BYTE i = 0; i < 16; ++i)
            four.insert(four.end(), {i, i, i, 0});
        four.insert(four.end(), {0x1F, 0x30, 0, 0});
        add_bitmap(&r, 4, dib(3, 1, 4, 0, four));
        /* Rows missing. */
        add_bitmap(&r, 5, dib(4, 4, 24, 0, std::vector<BYTE>(16, 0)));
        return r;
    }();
    static const PAL_MODULEDESC desc = {"GDIBMPS.DLL", nullptr, 0, nullptr, res.data(),
                                        res.size()};
    HINSTANCE inst = PalAttachModule(&desc);
    ASSERT_NE(nullptr, inst);

    auto pixels = [&](WORD id) {
        std::vector<COLORREF> px;
        int w = 0, h = 0;
        HBITMAP b = LoadBitmapA(inst, MAKEINTRESOURCEA(id));
        if (b) {
            pal::bitmap_read(b, &w, &h, &px);
            DeleteObject(b);
        }
        return px;
    };
    EXPECT_EQ((std::vector<COLORREF>{0x0000FF, 0xFF0000, 0x0000FF, 0xFF0000, 0xFF0000, 0xFF0000}),
              pixels(1));
    EXPECT_EQ((std::vector<COLORREF>{0x070809, 0x010203}), pixels(2));
    EXPECT_EQ((std::vector<COLORREF>{0x112233, 0x445566}), pixels(3));
    EXPECT_EQ((std::vector<COLORREF>{0x010101, 0x0F0F0F, 0x030303}), pixels(4));
    EXPECT_TRUE(pixels(5).empty());
}

TEST(Gdi, PngSnapshotsRoundTrip)
{
    Canvas c(7, 3, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            SetPixel(c.dc, x, y, RGB(x * 30, y * 80, x + y));
    std::string path = testing::TempDir() + "gdi_roundtrip.png";
    ASSERT_TRUE(PalSaveBitmapPng(c.bmp, path.c_str()));

    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str()));
    image.format = PNG_FORMAT_RGB;
    ASSERT_EQ(7u, image.width);
    ASSERT_EQ(3u, image.height);
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) {
            const png_byte *p = &rgb[((size_t)y * 7 + (size_t)x) * 3];
            EXPECT_EQ(c.at(x, y), RGB(p[0], p[1], p[2])) << x << "," << y;
        }
    std::remove(path.c_str());

    SetLastError(0);
    EXPECT_FALSE(PalSaveBitmapPng(c.bmp, "/nonexistent-folder/snapshot.png"));
    EXPECT_EQ((DWORD)ERROR_ACCESS_DENIED, GetLastError());
    EXPECT_FALSE(PalSaveBitmapPng((HBITMAP)GetStockObject(BLACK_BRUSH), path.c_str()));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
}

} // namespace
