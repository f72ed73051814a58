/*
 * Fonts inside the drawing layer: a LOGFONTA is realised as one of the
 * DejaVu faces at a pixel size, its 256 single-byte characters (Windows
 * code page 1252) rendered once and kept for the life of the process.
 */
#ifndef PAL_GDI_FONT_H
#define PAL_GDI_FONT_H

#include "gdi/objects.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pal::gdi {

struct Glyph {
    int advance = 0; /* pixels to the next character */
    int left = 0;    /* ink box relative to the pen position on the baseline */
    int top = 0;     /* rows above the baseline */
    int width = 0;
    int height = 0;
    std::vector<uint8_t> coverage; /* width x height, 0 (none) to 255 (full ink) */
};

struct FontFace {
    std::string family; /* the real face, "DejaVu Sans" */
    int em = 0;         /* character height in pixels */
    int ascent = 0;
    int descent = 0;
    int external_leading = 0;
    int ave_width = 0;
    int max_width = 0;
    int weight = FW_NORMAL;
    bool italic = false;
    bool fixed_pitch = false;
    BYTE family_bits = FF_SWISS; /* FF_ value */
    Glyph glyphs[256];

    int height() const { return ascent + descent; }
    int width(const char *text, size_t n) const;
};

/* The face realising a logical font, shared by every font that asks for the
 * same face and size.  Aborts with a message naming the missing file when
 * the font files are not installed. */
std::shared_ptr<const FontFace> face_for(const LOGFONTA &lf);

/* A font record for a logical font (not yet in the handle table). */
std::shared_ptr<Font> font_make(const LOGFONTA &lf);

/* Draws a run of characters with its top-left at surface point (x, top) in
 * `color`, clipped to `clip` (surface coordinates). */
void draw_run(Bitmap &bmp, const FontFace &face, int x, int top, const char *text, size_t n,
              const RECT &clip, COLORREF color);

} // namespace pal::gdi

#endif
