// GDI on memory bitmaps as the address lists draw: raster operations, BitBlt
// between depths, object selection and the edges that filling leaves out;
// global and local memory: handles, locks and sizes.
#include "conformance.h"
#include "platform/conformance/canvas.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(Gdi, BitBltIsBitwiseOnPixelValuesClipsToItsSourceAndColoursMonochrome)
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
    };
    for (const Case &c : cases) {
        Canvas dst(4, 1, d);
        ASSERT_TRUE(BitBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, c.rop));
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(c.expect(s[x], d), dst.at(x, 0)) << std::hex << c.rop << " at " << x;
    }

    /* Source pixels beyond the source bitmap leave the destination alone. */
    Canvas dst(3, 1, d);
    BitBlt(dst.dc, 0, 0, 3, 1, src.dc, 3, 0, SRCCOPY);
    EXPECT_EQ((std::vector<COLORREF>{0x0F0F0F, d}), (std::vector{dst.at(0, 0), dst.at(1, 0)}));

    /* Monochrome to colour: black takes the text colour, white the background. */
    const BYTE bits[2] = {0x40, 0}; /* pixel 1 white */
    HBITMAP mono = CreateBitmap(2, 1, 1, 1, bits);
    HDC mdc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mdc, mono);
    SetTextColor(dst.dc, 0x0000FF);
    SetBkColor(dst.dc, 0x00FF00);
    BitBlt(dst.dc, 0, 0, 2, 1, mdc, 0, 0, SRCCOPY);
    EXPECT_EQ((std::vector<COLORREF>{0x0000FF, 0x00FF00}),
              (std::vector{dst.at(0, 0), dst.at(1, 0)}));
    SelectObject(mdc, old);
    DeleteDC(mdc);
    DeleteObject(mono);
}

TEST(Gdi, BitmapsAreDescribedAndGoWhenDeleted)
{
    /* Rows are padded to 32 bits. */
    BITMAP bm{};
    HBITMAP mono = CreateBitmap(17, 2, 1, 1, nullptr);
    GetObjectA(mono, sizeof bm, &bm);
    EXPECT_EQ((std::vector<LONG>{17, 2, 4, 1}),
              (std::vector<LONG>{bm.bmWidth, bm.bmHeight, bm.bmWidthBytes, bm.bmBitsPixel}));
    EXPECT_EQ(0, GetObjectA(mono, sizeof(BITMAP) - 1, &bm));

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP colour = CreateBitmap(5, 3, 1, 32, nullptr);
    HGDIOBJ first = SelectObject(dc, colour);
    EXPECT_EQ((HGDIOBJ)colour, SelectObject(dc, first));
    EXPECT_TRUE(DeleteObject(colour));
    SetLastError(0);
    EXPECT_EQ(0u, GetObjectType(colour));
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());
    DeleteDC(dc);
    DeleteObject(mono);
}

TEST(Gdi, FillRectAndFocusRectLeaveOutTheFarEdges)
{
    /* A system colour index + 1 serves as a brush. */
    Canvas c(6, 5, 0);
    RECT r{1, 1, 4, 3};
    EXPECT_NE(0, FillRect(c.dc, &r, (HBRUSH)(COLOR_HIGHLIGHT + 1)));
    EXPECT_EQ((std::vector<COLORREF>{GetSysColor(COLOR_HIGHLIGHT), 0, 0, 0}),
              (std::vector{c.at(3, 2), c.at(4, 2), c.at(3, 3), c.at(0, 0)}));

    /* The focus rectangle inverts every other frame pixel; twice is none. */
    Canvas f(6, 4, 0xFFFFFF);
    RECT all{0, 0, 6, 4};
    DrawFocusRect(f.dc, &all);
    int inverted = 0;
    for (int x = 0; x < 6; ++x)
        inverted += f.at(x, 0) == 0;
    EXPECT_EQ(3, inverted) << "every other pixel of the top edge";
    EXPECT_EQ(0xFFFFFFu, f.at(2, 2)) << "inside the frame";
    DrawFocusRect(f.dc, &all);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(0xFFFFFFu, f.at(x, y)) << x << "," << y;
}

TEST(Memory, BlocksAreNamedByHandlesCountTheirLocksAndComeZeroed)
{
    HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, 24);
    ASSERT_NE(nullptr, h);
    EXPECT_EQ(24u, GlobalSize(h));
    unsigned char *p = (unsigned char *)GlobalLock(h);
    ASSERT_NE(nullptr, p);
    EXPECT_NE((void *)p, h) << "a handle is not the block's address";
    EXPECT_EQ(0, p[23]) << "zeroed";
    EXPECT_EQ(p, GlobalLock(h));
    EXPECT_EQ(2u, GlobalFlags(h) & GMEM_LOCKCOUNT);
    EXPECT_EQ(h, GlobalHandle(p));
    EXPECT_TRUE(GlobalUnlock(h)) << "still locked once";
    SetLastError(1234);
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ((DWORD)NO_ERROR, GetLastError()) << "the last unlock reports no error";
    EXPECT_FALSE(GlobalUnlock(h));
    EXPECT_EQ((DWORD)ERROR_NOT_LOCKED, GetLastError());
    EXPECT_EQ(nullptr, GlobalFree(h));
    EXPECT_EQ(h, GlobalFree(h)) << "a freed handle is refused";
    EXPECT_EQ((DWORD)ERROR_INVALID_HANDLE, GetLastError());

    HLOCAL l = LocalAlloc(LPTR, 1028);
    ASSERT_NE(nullptr, l);
    EXPECT_EQ(1028u, LocalSize(l));
    EXPECT_EQ(0, ((char *)l)[1027]);
    EXPECT_EQ(nullptr, LocalFree(l));
}

} // namespace
