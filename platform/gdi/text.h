/*
 * Text output shared by TextOutA, ExtTextOutA and DrawTextA.
 */
#ifndef PAL_GDI_TEXT_H
#define PAL_GDI_TEXT_H

#include "gdi/font.h"

#include <vector>

namespace pal::gdi {

/* The face of the DC's selected font. */
const FontFace &dc_face(const Dc &dc);

/*
 * Draws a run of characters with the cell's top-left at logical (x, top) in
 * the DC's font and text colour, on a background of the DC's background
 * colour when its mode is OPAQUE.  Characters whose indices are listed in
 * `underlined` (ascending) get a line under them; a font made with
 * lfUnderline or lfStrikeOut gets its line along the whole run.  Drawing
 * keeps inside `limit` (logical) when one is given.  Returns the run's width.
 */
int text_run(Dc &dc, int x, int top, const char *text, size_t n,
             const std::vector<size_t> &underlined, const RECT *limit);

} // namespace pal::gdi

#endif
