/*
 * DrawTextA: formatted text in a rectangle.
 *
 * The text is first freed of its prefix characters ("&x" underlines x,
 * "&&" is one "&"), then cut into lines at line breaks (CR, LF or CR LF)
 * unless DT_SINGLELINE, and with DT_WORDBREAK also between words where a
 * line would pass the rectangle's right edge; a word wider than the
 * rectangle stays whole.  DT_EXPANDTABS puts tab stops every eight average
 * character widths.  Lines are DT_LEFT, DT_CENTER or DT_RIGHT in the
 * rectangle; a single line may be DT_TOP, DT_VCENTER or DT_BOTTOM.
 */
#include "gdi/text.h"

#include <algorithm>
#include <cstring>
#include <string>

using namespace pal::gdi;

namespace {

struct Line {
    size_t begin;
    size_t end;
    int width;
};

struct Layout {
    const FontFace &face;
    const std::string &text;
    bool expand_tabs;

    int tab_width() const { return 8 * face.ave_width; }

    /* Width of text[begin, end) drawn from the start of a line. */
    int width(size_t begin, size_t end) const
    {
        int w = 0;
        for (size_t i = begin; i < end; ++i) {
            if (text[i] == '\t' && expand_tabs)
                w = (w / tab_width() + 1) * tab_width();
            else
                w += face.glyphs[(unsigned char)text[i]].advance;
        }
        return w;
    }
};

/* Drops prefix characters; `underlined` gets the display indices of the
 * characters that follow a single "&". */
std::string strip_prefixes(const char *text, size_t n, std::vector<size_t> *underlined)
{
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        if (text[i] != '&') {
            out += text[i];
            continue;
        }
        if (++i == n)
            break;
        if (text[i] != '&')
            underlined->push_back(out.size());
        out += text[i];
    }
    return out;
}

/* Cuts one paragraph [begin, end) into lines no wider than `limit` where
 * spaces allow; the spaces at a cut belong to no line. */
void wrap(const Layout &lay, size_t begin, size_t end, int limit, std::vector<Line> *lines)
{
    const std::string &t = lay.text;
    while (true) {
        size_t cut = end;
        if (lay.width(begin, end) > limit) {
            /* The last break that fits, or the first one when even the
             * first word is too wide. */
            size_t fit = std::string::npos, first = std::string::npos;
            for (size_t i = begin + 1; i < end; ++i) {
                if (t[i] != ' ' || t[i - 1] == ' ')
                    continue;
                if (first == std::string::npos)
                    first = i;
                if (lay.width(begin, i) > limit)
                    break;
                fit = i;
            }
            if (fit != std::string::npos)
                cut = fit;
            else if (first != std::string::npos)
                cut = first;
        }
        lines->push_back(Line{begin, cut, lay.width(begin, cut)});
        if (cut == end)
            return;
        begin = cut;
        while (begin < end && t[begin] == ' ')
            ++begin;
        if (begin == end)
            return;
    }
}

std::vector<Line> break_lines(const Layout &lay, UINT format, int limit)
{
    std::vector<Line> lines;
    const std::string &t = lay.text;
    if (format & DT_SINGLELINE) {
        lines.push_back(Line{0, t.size(), lay.width(0, t.size())});
        return lines;
    }
    size_t begin = 0;
    while (begin < t.size()) {
        size_t end = t.find_first_of("\r\n", begin);
        if (end == std::string::npos)
            end = t.size();
        if (format & DT_WORDBREAK)
            wrap(lay, begin, end, limit, &lines);
        else
            lines.push_back(Line{begin, end, lay.width(begin, end)});
        begin = end;
        if (begin < t.size() && t[begin] == '\r')
            ++begin;
        if (begin < t.size() && t[begin] == '\n')
            ++begin;
    }
    return lines;
}

/* Draws one line, segment by segment between tabs when they expand. */
void draw_line(Dc &dc, const Layout &lay, const Line &line, int x, int top,
               const std::vector<size_t> &underlined, const RECT *limit)
{
    size_t begin = line.begin;
    while (begin < line.end) {
        size_t end = begin;
        while (end < line.end && !(lay.expand_tabs && lay.text[end] == '\t'))
            ++end;
        std::vector<size_t> marks;
        for (size_t i : underlined)
            if (i >= begin && i < end)
                marks.push_back(i - begin);
        text_run(dc, x + lay.width(line.begin, begin), top, lay.text.data() + begin, end - begin,
                 marks, limit);
        begin = end < line.end ? end + 1 : end;
    }
}

} // namespace

extern "C" int WINAPI DrawTextA(HDC hdc, LPCSTR text, int count, LPRECT rect, UINT format)
{
    std::shared_ptr<Dc> dc = dc_get(hdc);
    if (!dc)
        return 0;
    if (!rect || (!text && count != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t n = count < 0 ? std::strlen(text) : (size_t)count;
    if (n == 0) {
        if (format & DT_CALCRECT) {
            rect->right = rect->left;
            rect->bottom = rect->top;
        }
        return 0;
    }

    std::vector<size_t> underlined;
    std::string shown =
        (format & DT_NOPREFIX) ? std::string(text, n) : strip_prefixes(text, n, &underlined);
    const FontFace &face = dc_face(*dc);
    Layout lay{face, shown, (format & DT_EXPANDTABS) != 0};
    std::vector<Line> lines = break_lines(lay, format, rect->right - rect->left);
    int line_height = face.height();
    int height = line_height * (int)lines.size();

    int top = rect->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_VCENTER)
            top = rect->top + (rect->bottom - rect->top - line_height) / 2;
        else if (format & DT_BOTTOM)
            top = rect->bottom - line_height;
    }
    int result = (format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM))
                     ? top - rect->top + line_height
                     : height;

    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line &l : lines)
            widest = std::max(widest, l.width);
        rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return result;
    }

    const RECT *limit = (format & DT_NOCLIP) ? nullptr : rect;
    for (const Line &l : lines) {
        int x = rect->left;
        if (format & DT_CENTER)
            x = rect->left + (rect->right - rect->left - l.width) / 2;
        else if (format & DT_RIGHT)
            x = rect->right - l.width;
        draw_line(*dc, lay, l, x, top, underlined, limit);
        top += line_height;
    }
    return result;
}
