/*
 * Realising logical fonts with FreeType.
 *
 * Every face name maps to one of the DejaVu faces: fixed-pitch faces to
 * DejaVu Sans Mono, roman ones to DejaVu Serif, everything else ("MS Sans
 * Serif", "Helv", "System") to DejaVu Sans; without a face name the pitch
 * and family bits choose in the same way.  Weights from 600 up
 * take the bold file, italics are slanted.  Glyphs are anti-aliased with
 * light (vertical-only) hinting: at dialog sizes that keeps every character
 * whole, where monochrome hinting spoils small shapes such as "<" and ">".
 *
 * Cell metrics follow the Windows rules for TrueType fonts: a negative
 * height is the character (em) height, a positive one the cell height
 * (ascent + descent from the OS/2 Windows metrics), and the average
 * character width is the OS/2 table's.
 */
#include "gdi/font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <mutex>
#include <strings.h>
#include <tuple>

#ifndef PAL_FONT_DIR
#error "PAL_FONT_DIR must name the directory of the DejaVu fonts"
#endif

namespace pal::gdi {
namespace {

/* The cell height of a font asked for with lfHeight 0. */
constexpr int kDefaultCellHeight = 16;
/* Character heights are kept to this many pixels, which is more than a
 * screen shows and keeps the glyph cache small. */
constexpr long kMaxEm = 512;
/* Slant of synthesised italics: tan(12 degrees) in 16.16. */
constexpr FT_Fixed kItalicShear = 0x366A;

std::mutex ft_mutex; /* FreeType's library and faces are not thread-safe */
FT_Library library;
std::map<std::tuple<std::string, int, bool>, std::shared_ptr<const FontFace>> faces;

/* Windows code page 1252 from 0x80 to 0x9F; 0 where it has no character. */
const uint16_t cp1252_high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool same_face(const char *a, const char *b)
{
    return strncasecmp(a, b, LF_FACESIZE) == 0;
}

bool named(const LOGFONTA &lf, std::initializer_list<const char *> names)
{
    for (const char *n : names)
        if (same_face(lf.lfFaceName, n))
            return true;
    return false;
}

bool wants_fixed(const LOGFONTA &lf)
{
    if (lf.lfFaceName[0])
        return named(lf, {"Courier", "Courier New", "Fixedsys", "Terminal", "Lucida Console"});
    return (lf.lfPitchAndFamily & 3) == FIXED_PITCH || (lf.lfPitchAndFamily & 0xF0) == FF_MODERN;
}

bool wants_serif(const LOGFONTA &lf)
{
    if (lf.lfFaceName[0])
        return named(lf, {"Times New Roman", "Times", "Tms Rmn", "MS Serif", "Roman"});
    return (lf.lfPitchAndFamily & 0xF0) == FF_ROMAN;
}

std::string font_file(const LOGFONTA &lf, std::string *family, BYTE *family_bits)
{
    bool bold = lf.lfWeight >= FW_SEMIBOLD;
    const char *base;
    if (wants_fixed(lf)) {
        base = "DejaVuSansMono";
        *family = "DejaVu Sans Mono";
        *family_bits = FF_MODERN;
    } else if (wants_serif(lf)) {
        base = "DejaVuSerif";
        *family = "DejaVu Serif";
        *family_bits = FF_ROMAN;
    } else {
        base = "DejaVuSans";
        *family = "DejaVu Sans";
        *family_bits = FF_SWISS;
    }
    return std::string(PAL_FONT_DIR) + "/" + base + (bold ? "-Bold" : "") + ".ttf";
}

/* Called with ft_mutex held. */
FT_Face open_face(const std::string &path)
{
    if (!library) {
        if (FT_Init_FreeType(&library) != 0) {
            std::fprintf(stderr, "palwin: FreeType cannot start\n");
            std::abort();
        }
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, path.c_str(), 0, &face) != 0) {
        std::fprintf(stderr, "palwin: cannot open the font file %s (package fonts-dejavu-core)\n",
                     path.c_str());
        std::abort();
    }
    return face;
}

/* Ink over a pixel at a coverage from 0 to 255, channel by channel. */
COLORREF blend(COLORREF ink, COLORREF under, unsigned coverage)
{
    COLORREF out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        unsigned a = (ink >> shift) & 0xFF, b = (under >> shift) & 0xFF;
        out |= ((a * coverage + b * (255 - coverage) + 127) / 255) << shift;
    }
    return out;
}

int scale(int units, int em, int upem)
{
    return (int)std::lround((double)units * em / upem);
}

void render(FT_Face face, unsigned code, Glyph *g)
{
    FT_ULong uni = code;
    if (code >= 0x80 && code < 0xA0)
        uni = cp1252_high[code - 0x80];
    if (code < 0x20 || code == 0x7F)
        return; /* control characters take no room */
    FT_UInt index = uni ? FT_Get_Char_Index(face, uni) : 0;
    if (FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) != 0)
        return;
    FT_GlyphSlot slot = face->glyph;
    const FT_Bitmap &b = slot->bitmap;
    g->advance = (int)((slot->advance.x + 32) >> 6);
    g->left = slot->bitmap_left;
    g->top = slot->bitmap_top;
    g->width = (int)b.width;
    g->height = (int)b.rows;
    g->coverage.resize((size_t)g->width * (size_t)g->height);
    for (int y = 0; y < g->height; ++y)
        std::memcpy(g->coverage.data() + (size_t)y * (size_t)g->width,
                    b.buffer + (ptrdiff_t)y * b.pitch, (size_t)g->width);
}

std::shared_ptr<FontFace> realise(const std::string &path, const std::string &family,
                                  BYTE family_bits, LONG height, bool italic, bool bold)
{
    FT_Face ft = open_face(path);
    int upem = ft->units_per_EM;
    const TT_OS2 *os2 = (const TT_OS2 *)FT_Get_Sfnt_Table(ft, FT_SFNT_OS2);
    int win_ascent = os2 ? os2->usWinAscent : ft->ascender;
    int win_descent = os2 ? os2->usWinDescent : -ft->descender;
    int cell_units = win_ascent + win_descent;

    auto f = std::make_shared<FontFace>();
    f->family = family;
    long cell = std::min<long>(height ? std::labs(height) : kDefaultCellHeight, 2 * kMaxEm);
    long em = height < 0 ? cell : scale((int)cell, upem, cell_units);
    f->em = (int)std::clamp(em, 1L, kMaxEm);
    f->ascent = scale(win_ascent, f->em, upem);
    f->descent = scale(win_descent, f->em, upem);
    int line = ft->height; /* hhea ascender - descender + line gap */
    f->external_leading = std::max(0, scale(line, f->em, upem) - f->height());
    f->ave_width = std::max(1, scale(os2 ? os2->xAvgCharWidth : upem / 2, f->em, upem));
    f->weight = bold ? FW_BOLD : FW_NORMAL;
    f->italic = italic;
    f->fixed_pitch = FT_IS_FIXED_WIDTH(ft);
    f->family_bits = family_bits;

    FT_Set_Pixel_Sizes(ft, 0, (FT_UInt)f->em);
    FT_Matrix shear = {0x10000, italic ? kItalicShear : 0, 0, 0x10000};
    FT_Set_Transform(ft, &shear, nullptr);
    for (unsigned c = 0; c < 256; ++c) {
        render(ft, c, &f->glyphs[c]);
        f->max_width = std::max(f->max_width, f->glyphs[c].advance);
    }
    FT_Done_Face(ft);
    return f;
}

} // namespace

int FontFace::width(const char *text, size_t n) const
{
    int w = 0;
    for (size_t i = 0; i < n; ++i)
        w += glyphs[(unsigned char)text[i]].advance;
    return w;
}

std::shared_ptr<const FontFace> face_for(const LOGFONTA &lf)
{
    std::string family;
    BYTE family_bits = 0;
    std::string path = font_file(lf, &family, &family_bits);
    bool italic = lf.lfItalic != 0;
    std::lock_guard<std::mutex> lock(ft_mutex);
    auto key = std::make_tuple(path, (int)lf.lfHeight, italic);
    auto it = faces.find(key);
    if (it != faces.end())
        return it->second;
    auto face = realise(path, family, family_bits, lf.lfHeight, italic, lf.lfWeight >= FW_SEMIBOLD);
    faces.emplace(key, face);
    return face;
}

std::shared_ptr<Font> font_make(const LOGFONTA &lf)
{
    auto f = std::make_shared<Font>();
    f->lf = lf;
    f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    f->face = face_for(f->lf);
    return f;
}

void draw_run(Bitmap &bmp, const FontFace &face, int x, int top, const char *text, size_t n,
              const RECT &clip, COLORREF color)
{
    bool mono = bmp.bpp == 1;
    COLORREF ink = device_color(mono, color);
    int baseline = top + face.ascent;
    for (size_t i = 0; i < n; ++i) {
        const Glyph &g = face.glyphs[(unsigned char)text[i]];
        int gx = x + g.left;
        int gy = baseline - g.top;
        for (int y = 0; y < g.height; ++y) {
            int py = gy + y;
            if (py < clip.top || py >= clip.bottom)
                continue;
            const uint8_t *cov = g.coverage.data() + (size_t)y * (size_t)g.width;
            COLORREF *row = bmp.row(py);
            for (int xx = 0; xx < g.width; ++xx) {
                int px = gx + xx;
                if (!cov[xx] || px < clip.left || px >= clip.right)
                    continue;
                if (!mono)
                    row[px] = blend(ink, row[px], cov[xx]);
                else if (cov[xx] >= 128)
                    row[px] = ink;
            }
        }
        x += g.advance;
    }
}

} // namespace pal::gdi
