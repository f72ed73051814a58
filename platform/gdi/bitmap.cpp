/*
 * Device-dependent bitmaps: 32-bit colour (bytes blue, green, red, unused
 * per pixel) or monochrome (one bit per pixel, 1 white, rows padded to 16
 * bits), as CreateBitmap and GetBitmapBits exchange them.
 */
#include "gdi/gdi.h"
#include "gdi/objects.h"

#include <algorithm>
#include <cstring>

using namespace pal::gdi;

namespace {

size_t row_bytes(const Bitmap &b)
{
    return (size_t)((b.width * b.bpp + 15) / 16 * 2);
}

void unpack(Bitmap &b, const BYTE *bits)
{
    size_t stride = row_bytes(b);
    for (int y = 0; y < b.height; ++y) {
        const BYTE *src = bits + stride * (size_t)y;
        COLORREF *dst = b.row(y);
        for (int x = 0; x < b.width; ++x) {
            if (b.bpp == 1)
                dst[x] = (src[x >> 3] & (0x80 >> (x & 7))) ? 0xFFFFFF : 0;
            else
                dst[x] = RGB(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
        }
    }
}

void pack(const Bitmap &b, std::vector<BYTE> *out)
{
    size_t stride = row_bytes(b);
    out->assign(stride * (size_t)b.height, 0);
    for (int y = 0; y < b.height; ++y) {
        BYTE *dst = out->data() + stride * (size_t)y;
        const COLORREF *src = b.px.data() + (size_t)y * (size_t)b.width;
        for (int x = 0; x < b.width; ++x) {
            if (b.bpp == 1) {
                if (src[x])
                    dst[x >> 3] |= (BYTE)(0x80 >> (x & 7));
            } else {
                dst[4 * x] = GetBValue(src[x]);
                dst[4 * x + 1] = GetGValue(src[x]);
                dst[4 * x + 2] = GetRValue(src[x]);
            }
        }
    }
}

} // namespace

namespace pal {

bool bitmap_read(HBITMAP bmp, int *width, int *height, std::vector<COLORREF> *pixels)
{
    std::shared_ptr<Bitmap> b = get_as<Bitmap>(bmp, OBJ_BITMAP);
    if (!b)
        return false;
    *width = b->width;
    *height = b->height;
    *pixels = b->px;
    return true;
}

} // namespace pal

extern "C" {

HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bits_per_pixel,
                            const void *bits)
{
    if (planes != 1 || (bits_per_pixel != 1 && bits_per_pixel != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (width == 0 || height == 0)
        return stock_bitmap();
    std::shared_ptr<Bitmap> b = bitmap_new(width, height, (int)bits_per_pixel);
    if (!b)
        return nullptr;
    if (bits)
        unpack(*b, (const BYTE *)bits);
    return (HBITMAP)add(b);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int width, int height)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return nullptr;
    if (width == 0 || height == 0)
        return stock_bitmap();
    std::shared_ptr<Bitmap> b = bitmap_new(width, height, dc->mono() ? 1 : 32);
    return b ? (HBITMAP)add(b) : nullptr;
}

LONG WINAPI GetBitmapBits(HBITMAP bmp, LONG size, LPVOID bits)
{
    std::shared_ptr<Bitmap> b = get_as<Bitmap>(bmp, OBJ_BITMAP);
    if (!b || size < 0) {
        SetLastError(b ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return 0;
    }
    std::vector<BYTE> packed;
    pack(*b, &packed);
    if (!bits)
        return (LONG)packed.size();
    size_t n = std::min(packed.size(), (size_t)size);
    std::memcpy(bits, packed.data(), n);
    return (LONG)n;
}

} // extern "C"
