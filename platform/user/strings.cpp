/*
 * String resources: blocks of sixteen counted UTF-16 strings, block n
 * holding the strings 16 (n - 1) to 16 n - 1, turned into the ANSI code
 * page (Windows-1252) on the way out.
 */
#include <windows.h>

namespace {

/* Windows-1252 bytes 0x80 to 0x9F; 0 where the code page has no character. */
const WORD cp1252_high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                              0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char to_ansi(WORD c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return (char)c;
    for (int i = 0; i < 32; ++i)
        if (cp1252_high[i] && cp1252_high[i] == c)
            return (char)(0x80 + i);
    return '?';
}

} // namespace

namespace pal {
char ansi_char(WORD c)
{
    return to_ansi(c);
}
} // namespace pal

extern "C" int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int max)
{
    if (!buffer || max <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    buffer[0] = 0;
    HRSRC res = FindResourceA(instance, MAKEINTRESOURCEA((id >> 4) + 1), RT_STRING);
    if (!res)
        return 0;
    const BYTE *p = (const BYTE *)LockResource(LoadResource(instance, res));
    const BYTE *end = p + SizeofResource(instance, res);
    for (UINT i = 0; i < (id & 15); ++i) {
        if (end - p < 2)
            return 0;
        p += 2 + 2 * (size_t)(p[0] | (p[1] << 8));
        if (p > end)
            return 0;
    }
    if (end - p < 2)
        return 0;
    size_t len = (size_t)(p[0] | (p[1] << 8));
    p += 2;
    if ((size_t)(end - p) < 2 * len)
        return 0;
    size_t n = len < (size_t)max - 1 ? len : (size_t)max - 1;
    for (size_t i = 0; i < n; ++i)
        buffer[i] = to_ansi((WORD)(p[2 * i] | (p[2 * i + 1] << 8)));
    buffer[n] = 0;
    if (n == 0)
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return (int)n;
}
