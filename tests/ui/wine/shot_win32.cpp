/* On Windows the window's own device context is copied into a 24-bit
 * device-independent bitmap and written as a BMP file. */
#include "shot.h"

#include <cstdio>
#include <vector>

const char SHOT_Extension[] = "bmp";

BOOL SHOT_Save(HWND window, const char *file)
{
    RECT rc;
    if (!GetWindowRect(window, &rc))
        return FALSE;
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    if (width <= 0 || height <= 0)
        return FALSE;
    HDC screen = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BOOL copied = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height; /* bottom-up, as BMP files keep their rows */
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    DWORD stride = ((DWORD)width * 3 + 3) & ~3u;
    std::vector<BYTE> pixels((size_t)stride * (size_t)height);
    BOOL read = copied && GetDIBits(memory, bitmap, 0, (UINT)height, pixels.data(),
                                    (BITMAPINFO *)&info, DIB_RGB_COLORS) == height;
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    if (!read)
        return FALSE;

    BITMAPFILEHEADER head{};
    head.bfType = 0x4D42; /* "BM" */
    head.bfOffBits = sizeof head + sizeof info;
    head.bfSize = head.bfOffBits + (DWORD)pixels.size();
    FILE *out = std::fopen(file, "wb");
    if (!out)
        return FALSE;
    bool written = std::fwrite(&head, sizeof head, 1, out) == 1 &&
                   std::fwrite(&info, sizeof info, 1, out) == 1 &&
                   std::fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return std::fclose(out) == 0 && written;
}
