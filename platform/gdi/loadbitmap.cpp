/*
 * LoadBitmapA: a bitmap resource of a module made into a bitmap of the
 * display's format.
 *
 * A bitmap resource is a device-independent bitmap without its file
 * header: a BITMAPINFOHEADER (or the older BITMAPCOREHEADER), the colour
 * table, then the rows, each padded to 4 bytes, bottom row first unless the
 * height is negative.  Uncompressed 1, 4, 8, 24 and 32 bits per pixel are
 * read.
 */
#include "gdi/objects.h"

#include <cstdint>

using namespace pal::gdi;

namespace {

constexpr size_t kCoreHeaderSize = 12;
constexpr size_t kInfoHeaderSize = 40;

WORD rd16(const BYTE *p)
{
    return (WORD)(p[0] | (p[1] << 8));
}
DWORD rd32(const BYTE *p)
{
    return (DWORD)(p[0] | (p[1] << 8) | (p[2] << 16) | ((DWORD)p[3] << 24));
}

struct DibHeader {
    size_t size;
    long width;
    long height; /* negative: top row first */
    int bpp;
    DWORD compression;
    size_t colors;
    size_t color_bytes; /* 3 in a core header's table, 4 otherwise */
};

bool read_header(const BYTE *p, size_t len, DibHeader *h)
{
    if (len < 4)
        return false;
    h->size = rd32(p);
    if (h->size == kCoreHeaderSize && len >= kCoreHeaderSize) {
        h->width = rd16(p + 4);
        h->height = rd16(p + 6);
        if (rd16(p + 8) != 1)
            return false;
        h->bpp = rd16(p + 10);
        h->compression = BI_RGB;
        h->colors = 0;
        h->color_bytes = 3;
    } else if (h->size >= kInfoHeaderSize && h->size <= len) {
        h->width = (int32_t)rd32(p + 4);
        h->height = (int32_t)rd32(p + 8);
        if (rd16(p + 12) != 1)
            return false;
        h->bpp = rd16(p + 14);
        h->compression = rd32(p + 16);
        h->colors = rd32(p + 32);
        h->color_bytes = 4;
    } else {
        return false;
    }
    if (h->compression != BI_RGB || h->width <= 0 || h->height == 0 || h->height == INT32_MIN)
        return false;
    if (h->bpp != 1 && h->bpp != 4 && h->bpp != 8 && h->bpp != 24 && h->bpp != 32)
        return false;
    size_t full = h->bpp <= 8 ? (size_t)1 << h->bpp : 0;
    if (h->colors == 0 || h->colors > full)
        h->colors = full;
    return true;
}

/* A 32-bit bitmap from DIB data, or null when the data is not one we read. */
std::shared_ptr<Bitmap> decode(const BYTE *p, size_t len)
{
    DibHeader h{};
    if (!read_header(p, len, &h))
        return nullptr;
    size_t table = h.size + h.colors * h.color_bytes;
    int width = (int)h.width;
    int height = (int)(h.height < 0 ? -h.height : h.height);
    size_t stride = ((size_t)width * (size_t)h.bpp + 31) / 32 * 4;
    if (table > len || (len - table) / stride < (size_t)height)
        return nullptr;
    std::vector<COLORREF> palette(h.colors);
    for (size_t i = 0; i < h.colors; ++i) {
        const BYTE *q = p + h.size + i * h.color_bytes;
        palette[i] = RGB(q[2], q[1], q[0]);
    }
    std::shared_ptr<Bitmap> b = bitmap_new(width, height, 32);
    if (!b)
        return nullptr;
    for (int y = 0; y < height; ++y) {
        int row = h.height < 0 ? y : height - 1 - y;
        const BYTE *src = p + table + stride * (size_t)row;
        COLORREF *dst = b->row(y);
        for (int x = 0; x < width; ++x) {
            size_t index = 0;
            switch (h.bpp) {
            case 1:
                index = (src[x >> 3] >> (7 - (x & 7))) & 1;
                break;
            case 4:
                index = (src[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
                break;
            case 8:
                index = src[x];
                break;
            case 24:
                dst[x] = RGB(src[3 * x + 2], src[3 * x + 1], src[3 * x]);
                continue;
            case 32:
                dst[x] = RGB(src[4 * x + 2], src[4 * x + 1], src[4 * x]);
                continue;
            }
            dst[x] = index < palette.size() ? palette[index] : 0;
        }
    }
    return b;
}

} // namespace

extern "C" HBITMAP WINAPI LoadBitmapA(HINSTANCE instance, LPCSTR name)
{
    HRSRC res = FindResourceA(instance, name, RT_BITMAP);
    if (!res)
        return nullptr;
    const BYTE *data = (const BYTE *)LockResource(LoadResource(instance, res));
    DWORD size = SizeofResource(instance, res);
    std::shared_ptr<Bitmap> b = data ? decode(data, size) : nullptr;
    if (!b) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    return (HBITMAP)add(b);
}
