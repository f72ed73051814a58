/*
 * Dialog templates as resource compilers lay them out: a header (DLGTEMPLATE,
 * or DLGTEMPLATEEX when its second word is 0xFFFF) with menu, class, caption
 * and font, then one record per control, each starting on a 4-byte boundary
 * counted from the start of the template.  Names are 0x0000 (none), 0xFFFF
 * and an ordinal, or a zero-terminated UTF-16 text.
 */
#include "user/dialog.h"

namespace pal {
namespace {

/* A cursor over the template that refuses to read past its end. */
struct Reader {
    const BYTE *base;
    size_t size;
    size_t off = 0;
    bool ok = true;

    bool need(size_t n)
    {
        if (ok && off <= size && size - off >= n)
            return true;
        ok = false;
        return false;
    }
    WORD word()
    {
        if (!need(2))
            return 0;
        WORD v = (WORD)(base[off] | (base[off + 1] << 8));
        off += 2;
        return v;
    }
    DWORD dword()
    {
        DWORD lo = word();
        return lo | ((DWORD)word() << 16);
    }
    short coord() { return (short)word(); }
    void align4() { off = (off + 3) & ~(size_t)3; }
    std::string text()
    {
        std::string s;
        for (WORD c = word(); ok && c; c = word())
            s.push_back(ansi_char(c));
        return s;
    }
    TemplateName name()
    {
        TemplateName n;
        if (!need(2))
            return n;
        WORD first = (WORD)(base[off] | (base[off + 1] << 8));
        if (first == 0xFFFF) {
            off += 2;
            n.is_ordinal = true;
            n.ordinal = word();
        } else {
            n.text = text();
        }
        return n;
    }
};

void read_item(Reader &r, bool extended, DialogItemTemplate *item)
{
    r.align4();
    if (extended) {
        item->help_id = r.dword();
        item->exstyle = r.dword();
        item->style = r.dword();
    } else {
        item->style = r.dword();
        item->exstyle = r.dword();
    }
    item->x = r.coord();
    item->y = r.coord();
    item->cx = r.coord();
    item->cy = r.coord();
    item->id = extended ? r.dword() : r.word();
    item->cls = r.name();
    item->text = r.name();
    WORD extra = r.word(); /* creation data, which no system control takes */
    if (r.need(extra))
        r.off += extra;
}

} // namespace

bool dialog_parse(const BYTE *data, size_t size, DialogTemplate *out)
{
    if (!data || !out)
        return false;
    Reader r{data, size};
    DialogTemplate t;
    t.extended = size >= 4 && data[2] == 0xFF && data[3] == 0xFF;
    WORD count;
    if (t.extended) {
        r.word(); /* version */
        r.word(); /* signature */
        t.help_id = r.dword();
        t.exstyle = r.dword();
        t.style = r.dword();
    } else {
        t.style = r.dword();
        t.exstyle = r.dword();
    }
    count = r.word();
    t.x = r.coord();
    t.y = r.coord();
    t.cx = r.coord();
    t.cy = r.coord();
    t.menu = r.name();
    t.cls = r.name();
    t.caption = r.text();
    if (t.style & DS_SETFONT) {
        t.point_size = r.word();
        if (t.extended) {
            t.weight = r.word();
            WORD italic_charset = r.word();
            t.italic = (italic_charset & 0xFF) != 0;
        }
        t.face = r.text();
    }
    t.items.resize(count);
    for (DialogItemTemplate &item : t.items)
        read_item(r, t.extended, &item);
    if (!r.ok)
        return false;
    *out = std::move(t);
    return true;
}

bool dialog_load(HINSTANCE instance, LPCSTR name, DialogTemplate *tpl, int *resource_id)
{
    HRSRC res = FindResourceA(instance, name, RT_DIALOG);
    if (!res)
        return false;
    const BYTE *data = (const BYTE *)LockResource(LoadResource(instance, res));
    if (!data || !dialog_parse(data, SizeofResource(instance, res), tpl)) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return false;
    }
    *resource_id = IS_INTRESOURCE(name) ? LOWORD(name) : 0;
    return true;
}

std::string dialog_class_name(const TemplateName &cls)
{
    if (!cls.is_ordinal)
        return cls.text;
    switch (cls.ordinal) {
    case 0x0080:
        return "BUTTON";
    case 0x0081:
        return "EDIT";
    case 0x0082:
        return "STATIC";
    case 0x0083:
        return "LISTBOX";
    case 0x0084:
        return "SCROLLBAR";
    case 0x0085:
        return "COMBOBOX";
    default:
        return std::string();
    }
}

} // namespace pal
