/* Window DCs (origin and clip) and text measured with the platform's fonts. */
#include <windows.h>
#include <palgdi.h>
#include <palmodule.h>

#include "gdi/gdi.h"
#include "support/instance.h"
#include "platform/conformance/canvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

int extent(HDC dc, const char *text)
{
    SIZE size{};
    GetTextExtentPoint32A(dc, text, (int)std::strlen(text), &size);
    return size.cx;
}

TEST(Gdi, WindowDcsDrawAtTheirOriginInsideTheirClip)
{
    HBITMAP surface = CreateBitmap(20, 20, 1, 32, nullptr);
    RECT clip{5, 5, 15, 10};
    HDC dc = pal::dc_create_window(surface, POINT{5, 5}, &clip);
    ASSERT_NE(nullptr, dc);
    RECT box{};
    EXPECT_EQ(SIMPLEREGION, GetClipBox(dc, &box));
    EXPECT_EQ((RECT{0, 0, 10, 5}), box);

    RECT huge{-100, -100, 100, 100};
    FillRect(dc, &huge, (HBRUSH)GetStockObject(WHITE_BRUSH));
    SetPixel(dc, 0, 0, 0x0000FF);
    int w = 0, h = 0;
    std::vector<COLORREF> px;
    ASSERT_TRUE(pal::bitmap_read(surface, &w, &h, &px));
    auto at = [&](int x, int y) { return px[(size_t)y * (size_t)w + (size_t)x]; };
    EXPECT_EQ((std::vector<COLORREF>{0xFF, 0xFFFFFF, 0, 0, 0}),
              (std::vector{at(5, 5), at(14, 9), at(15, 9), at(14, 10), at(4, 5)}));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 10, 0));

    /* The DC keeps its surface while it lives; clipping only narrows. */
    EXPECT_TRUE(DeleteObject(surface));
    EXPECT_EQ(0x0000FFu, GetPixel(dc, 0, 0));
    EXPECT_EQ(SIMPLEREGION, IntersectClipRect(dc, 2, 0, 4, 5));
    EXPECT_EQ(CLR_INVALID, GetPixel(dc, 0, 0));
    DeleteDC(dc);
}

TEST(Gdi, DialogFontMeasuresPrefixesAndLines)
{
    HFONT font = pal::font_create_points("MS Sans Serif", 8, 0, false);
    SIZE units{};
    ASSERT_TRUE(pal::font_base_units(font, &units));
    EXPECT_TRUE(units.cx == 7 && units.cy == 13) << units.cx << "x" << units.cy;
    EXPECT_FALSE(pal::font_base_units((HFONT)GetStockObject(WHITE_BRUSH), &units));
    Canvas c(10, 10, 0);
    HFONT helv = pal::font_create_points("Helv", 8, 0, false); /* the older name */
    HGDIOBJ old = SelectObject(c.dc, helv);
    const int helv_width = extent(c.dc, "Address Book");
    SelectObject(c.dc, font);
    DeleteObject(helv);
    EXPECT_EQ(helv_width, extent(c.dc, "Address Book"));
    auto calc = [&](const char *text, UINT format, int width = 200) {
        RECT r{3, 4, 3 + width, 100};
        int h = DrawTextA(c.dc, text, -1, &r, format | DT_CALCRECT);
        EXPECT_EQ(4 + h, r.bottom) << text;
        return std::make_pair(r.right - r.left, h);
    };

    EXPECT_EQ(std::make_pair(extent(c.dc, "Address"), 13), calc("&Address", DT_SINGLELINE));
    EXPECT_EQ(extent(c.dc, "&Address"), calc("&Address", DT_SINGLELINE | DT_NOPREFIX).first);
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
    EXPECT_EQ((RECT{3, 4, 3, 4}), r);
    SelectObject(c.dc, old);
    DeleteObject(font);
}

} // namespace
