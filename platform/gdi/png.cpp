/*
 * PalSaveBitmapPng: a bitmap written as an 8-bit RGB PNG image, which is how
 * rendered windows are looked at and compared.
 */
#include <palgdi.h>

#include "gdi/objects.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

using namespace pal::gdi;

namespace {

/* Writes the rows; false when libpng reports an error. */
bool write_png(FILE *f, const Bitmap &b)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row((size_t)b.width * 3);
    bool ok = false;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, (png_uint_32)b.width, (png_uint_32)b.height, 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < b.height; ++y) {
            const COLORREF *px = b.px.data() + (size_t)y * (size_t)b.width;
            for (int x = 0; x < b.width; ++x) {
                row[3 * (size_t)x] = GetRValue(px[x]);
                row[3 * (size_t)x + 1] = GetGValue(px[x]);
                row[3 * (size_t)x + 2] = GetBValue(px[x]);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return ok;
}

} // namespace

extern "C" BOOL WINAPI PalSaveBitmapPng(HBITMAP bmp, const char *path)
{
    std::shared_ptr<Bitmap> b = get_as<Bitmap>(bmp, OBJ_BITMAP);
    if (!b || !path) {
        SetLastError(b ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    FILE *f = std::fopen(path, "wb");
    if (!f) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    bool ok = write_png(f, *b);
    if (std::fclose(f) != 0)
        ok = false;
    if (!ok) {
        std::remove(path);
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
