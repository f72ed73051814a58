/*
 * Profile files: GetPrivateProfileStringA and WritePrivateProfileStringA on
 * real INI files, with the Windows semantics the system relies on.
 *
 * Format.  A section starts with a line "[name]"; the lines after it up to
 * the next section line are its entries "key=value".  Section and key names
 * match without regard to letter case (Windows-1252 letters fold too);
 * blanks (space, tab) around names and values do not count; a value wrapped
 * in a pair of matching quotes is read without them.  Lines starting with
 * ";" are comments, blank lines and lines without "=" are no keys: all of
 * them are ignored by lookups and kept when the file is rewritten.  A line
 * may end in LF or CRLF.  Where a section or key appears twice, the first
 * one counts, for reading and for writing alike.
 *
 * Files that anyone may have written are read defensively:
 *  - only regular files are opened, never through a symbolic link at the
 *    path itself, and without blocking (a FIFO or device is refused at
 *    once);
 *  - a file over PROFILE_MAX_BYTES is refused: reads see it as empty and
 *    writes fail, so that a file we could not read whole is never
 *    rewritten from a part of it;
 *  - lines have no length limit; a NUL byte ends the meaningful text of its
 *    line (the rest of that line is ignored, and kept on rewrite), so a
 *    name handed out never holds a NUL; a section line without "]" names
 *    the section up to the end of the line.
 *
 * Writes rewrite the whole file into a temporary file in the same folder,
 * sync it and rename it over the old one, so that a crash leaves either the
 * old or the new file.  Lines the write does not concern keep their bytes
 * and line ends; a new file uses LF line ends and mode 0600, a rewritten one
 * keeps its mode.  A write that changes nothing (the value is already
 * there, the key or section to delete is missing) does not touch the file.
 * Writes of one process are serialised; between processes the last rename
 * wins.
 *
 * Paths go through the DOS path mapping (kernel/dospath.h).  A relative
 * path is used relative to the current folder, not the Windows folder: the
 * host has none.
 *
 * Deliberate deviations, for the file's safety: a section, key or value
 * holding CR or LF is refused (it would inject lines), as is a key that is
 * empty after trimming (it could never be read back).
 */
#include <winbase.h>

#include "kernel/dospath.h"
#include "kernel/fault.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef ERROR_PATH_NOT_FOUND
#define ERROR_PATH_NOT_FOUND 3L
#endif
#ifndef ERROR_WRITE_FAULT
#define ERROR_WRITE_FAULT 29L
#endif
#ifndef ERROR_DISK_FULL
#define ERROR_DISK_FULL 112L
#endif
#ifndef ERROR_FILE_TOO_LARGE
#define ERROR_FILE_TOO_LARGE 223L
#endif

namespace {

/* Larger files are refused; an address book of some thousand entries is a
 * few hundred kilobytes at most. */
constexpr size_t PROFILE_MAX_BYTES = 1u << 20;

std::mutex write_mutex;

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b]))
        ++b;
    while (e > b && is_blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

/* Letter case folding of Windows-1252: ASCII, the Latin-1 letters and the
 * four pairs in 0x80-0x9F. */
unsigned char fold(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return (unsigned char)(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return (unsigned char)(c + 32);
    switch (c) {
    case 0x8A:
        return 0x9A;
    case 0x8C:
        return 0x9C;
    case 0x8E:
        return 0x9E;
    case 0x9F:
        return 0xFF;
    default:
        return c;
    }
}

std::string folded(const std::string &s)
{
    std::string f(s);
    for (char &c : f)
        c = (char)fold((unsigned char)c);
    return f;
}

bool same_name(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (fold((unsigned char)a[i]) != fold((unsigned char)b[i]))
            return false;
    return true;
}

/* ---- the file as lines ---- */

enum LineKind { LINE_BLANK, LINE_COMMENT, LINE_SECTION, LINE_KEY, LINE_OTHER };

struct Line {
    std::string text; /* the raw bytes, without the line end */
    std::string eol;  /* "\n", "\r\n", or "" for a last line without one */
};

struct Parsed {
    LineKind kind = LINE_BLANK;
    std::string name;  /* section or key name, trimmed */
    std::string value; /* key value, trimmed */
};

Parsed parse(const Line &line)
{
    Parsed p;
    std::string t = line.text.substr(0, line.text.find('\0'));
    t = trim(t);
    if (t.empty())
        return p;
    if (t[0] == ';') {
        p.kind = LINE_COMMENT;
    } else if (t[0] == '[') {
        p.kind = LINE_SECTION;
        size_t close = t.rfind(']');
        p.name =
            trim(close == std::string::npos || close == 0 ? t.substr(1) : t.substr(1, close - 1));
    } else {
        size_t eq = t.find('=');
        if (eq == std::string::npos) {
            p.kind = LINE_OTHER;
        } else {
            p.kind = LINE_KEY;
            p.name = trim(t.substr(0, eq));
            p.value = trim(t.substr(eq + 1));
        }
    }
    return p;
}

struct Profile {
    std::vector<Line> lines;
    std::string eol = "\n"; /* line end for new lines */
};

Profile split(const std::string &data)
{
    Profile pf;
    bool eol_known = false;
    size_t pos = 0;
    while (pos < data.size()) {
        size_t nl = data.find('\n', pos);
        Line l;
        if (nl == std::string::npos) {
            l.text = data.substr(pos);
            pos = data.size();
        } else {
            l.text = data.substr(pos, nl - pos);
            bool crlf = !l.text.empty() && l.text.back() == '\r';
            if (crlf)
                l.text.pop_back();
            l.eol.assign(crlf ? "\r\n" : "\n");
            pos = nl + 1;
            if (!eol_known) {
                pf.eol = l.eol;
                eol_known = true;
            }
        }
        pf.lines.push_back(std::move(l));
    }
    return pf;
}

std::string join(const Profile &pf)
{
    std::string out;
    for (const Line &l : pf.lines) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

constexpr size_t NONE = (size_t)-1;

/* The first section line named `name`, or NONE. */
size_t find_section(const Profile &pf, const std::string &name)
{
    for (size_t i = 0; i < pf.lines.size(); ++i) {
        Parsed p = parse(pf.lines[i]);
        if (p.kind == LINE_SECTION && same_name(p.name, name))
            return i;
    }
    return NONE;
}

/* One past the last line of the section whose header is at `head`. */
size_t section_end(const Profile &pf, size_t head)
{
    size_t i = head + 1;
    while (i < pf.lines.size() && parse(pf.lines[i]).kind != LINE_SECTION)
        ++i;
    return i;
}

size_t find_key(const Profile &pf, size_t head, size_t end, const std::string &key, Parsed *found)
{
    for (size_t i = head + 1; i < end; ++i) {
        Parsed p = parse(pf.lines[i]);
        if (p.kind == LINE_KEY && same_name(p.name, key)) {
            if (found)
                *found = p;
            return i;
        }
    }
    return NONE;
}

/* ---- file access ---- */

DWORD win_error(int err)
{
    switch (err) {
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case EFBIG:
        return ERROR_FILE_TOO_LARGE;
    case EIO:
        return ERROR_WRITE_FAULT;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    default:
        return ERROR_ACCESS_DENIED; /* EACCES, EPERM, EROFS, ELOOP ... */
    }
}

enum LoadResult { LOAD_OK, LOAD_MISSING, LOAD_REFUSED };

/* Reads the regular file at `path` whole into *data; *mode receives its
 * permission bits. */
LoadResult load_file(const std::string &path, std::string *data, mode_t *mode, DWORD *err)
{
    data->clear();
    int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *err = win_error(errno);
        if (errno == ENOENT)
            return LOAD_MISSING;
        return LOAD_REFUSED;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        *err = ERROR_ACCESS_DENIED;
        return LOAD_REFUSED;
    }
    if ((unsigned long long)st.st_size > PROFILE_MAX_BYTES) {
        close(fd);
        *err = ERROR_FILE_TOO_LARGE;
        return LOAD_REFUSED;
    }
    *mode = st.st_mode & 07777;
    /* The file may grow while it is read: read no more than the limit plus
     * one byte, which tells that it is over. */
    std::string buf;
    char chunk[16384];
    for (;;) {
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *err = win_error(errno);
            close(fd);
            return LOAD_REFUSED;
        }
        if (n == 0)
            break;
        buf.append(chunk, (size_t)n);
        if (buf.size() > PROFILE_MAX_BYTES) {
            close(fd);
            *err = ERROR_FILE_TOO_LARGE;
            return LOAD_REFUSED;
        }
    }
    close(fd);
    *data = std::move(buf);
    return LOAD_OK;
}

/* Puts `data` at `path` through a synced temporary file and a rename. */
bool write_file(const std::string &path, const std::string &data, mode_t mode, DWORD *err)
{
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    /* Bounded so that the temporary name stays within NAME_MAX. */
    std::string tmp = dir + "." + base.substr(0, 200) + ".XXXXXX";
    std::vector<char> name(tmp.begin(), tmp.end());
    name.push_back('\0');

    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        *err = errno == ENOENT ? ERROR_PATH_NOT_FOUND : win_error(errno);
        return false;
    }
    bool ok = fchmod(fd, mode) == 0;
    size_t done = 0;
    while (ok && done < data.size()) {
        ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += (size_t)n;
    }
    if (ok && fsync(fd) != 0)
        ok = false;
    int saved = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        saved = errno;
    }
    if (ok && rename(name.data(), path.c_str()) != 0) {
        ok = false;
        saved = errno;
    }
    if (!ok) {
        unlink(name.data());
        *err = win_error(saved);
        return false;
    }
    /* Make the rename itself durable; failing to is no failure of the
     * write, which is in place. */
    int dfd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        fsync(dfd);
        close(dfd);
    }
    return true;
}

/* ---- copying out ---- */

/* A string, cut to the buffer: returns the characters copied. */
DWORD copy_string(const std::string &s, LPSTR out, DWORD size)
{
    size_t n = s.size() < size - 1 ? s.size() : size - 1;
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
    return (DWORD)n;
}

/* Zero-terminated names ending with a second zero.  A list that does not
 * fit is cut after size - 2 bytes and closed with two zeros, the last name
 * arriving cut; the result is then size - 2.  So is the result for a list
 * that only just fits (its second zero in the last byte), as Windows counts
 * it: only a result below size - 2 tells the caller it has the whole list. */
DWORD copy_list(const std::vector<std::string> &names, LPSTR out, DWORD size)
{
    std::string all;
    for (const std::string &n : names) {
        all += n;
        all += '\0';
    }
    if (all.size() + 1 < size) {
        std::memcpy(out, all.data(), all.size());
        out[all.size()] = '\0';
        return (DWORD)all.size();
    }
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, all.data(), size - 2);
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
}

bool has_line_break(const char *s)
{
    return s && std::strpbrk(s, "\r\n") != nullptr;
}

} // namespace

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR out,
                                                 DWORD size, LPCSTR file)
{
    if (!out || size == 0)
        return 0;

    /* The default loses its trailing blanks. */
    std::string dflt = def ? def : "";
    while (!dflt.empty() && is_blank(dflt.back()))
        dflt.pop_back();

    std::string data;
    std::string host;
    if (!file) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (!pal::dos_path_map(file, &host)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
    } else {
        DWORD err = 0;
        mode_t mode = 0;
        if (load_file(host, &data, &mode, &err) != LOAD_OK)
            SetLastError(err); /* missing or refused: read as empty */
    }
    Profile pf = split(data);

    if (!section) {
        /* Each name once, as its first section line spells it. */
        std::vector<std::string> names;
        std::unordered_set<std::string> seen;
        for (const Line &l : pf.lines) {
            Parsed p = parse(l);
            if (p.kind == LINE_SECTION && !p.name.empty() && seen.insert(folded(p.name)).second)
                names.push_back(p.name);
        }
        DWORD r = copy_list(names, out, size);
        if (size >= 2 && r == 0)
            out[1] = '\0';
        return r;
    }

    size_t head = find_section(pf, trim(section));
    size_t end = head == NONE ? NONE : section_end(pf, head);

    if (!key) {
        std::vector<std::string> names;
        for (size_t i = head == NONE ? 0 : head + 1; head != NONE && i < end; ++i) {
            Parsed p = parse(pf.lines[i]);
            if (p.kind == LINE_KEY && !p.name.empty())
                names.push_back(p.name);
        }
        if (!names.empty())
            return copy_list(names, out, size);
        /* An empty or missing section gives the default, as one string
         * that is also an empty list when the default is empty. */
        DWORD r = copy_string(dflt, out, size);
        if (r == 0 && size >= 2)
            out[1] = '\0';
        return r;
    }

    std::string k = trim(key);
    Parsed found;
    if (head == NONE || k.empty() || find_key(pf, head, end, k, &found) == NONE)
        return copy_string(dflt, out, size);
    std::string v = found.value;
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return copy_string(v, out, size);
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value,
                                                  LPCSTR file)
{
    if (!file || !section || has_line_break(section) || has_line_break(key) ||
        has_line_break(value)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string sec = trim(section);
    std::string k = key ? trim(key) : std::string();
    if (key && k.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string v;
    if (value) {
        const char *p = value;
        while (is_blank(*p))
            ++p;
        v = p;
    }

    int ferr = ERROR_WRITE_FAULT;
    if (pal::fault_hit(PAL_FAULT_FILEWRITE, &ferr)) {
        SetLastError(ferr ? (DWORD)ferr : (DWORD)ERROR_WRITE_FAULT);
        return FALSE;
    }

    std::string host;
    if (!pal::dos_path_map(file, &host)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }

    std::lock_guard<std::mutex> lock(write_mutex);
    std::string data;
    mode_t mode = 0600;
    DWORD err = 0;
    LoadResult lr = load_file(host, &data, &mode, &err);
    if (lr == LOAD_REFUSED) {
        SetLastError(err);
        return FALSE;
    }
    Profile pf = split(data);

    size_t head = find_section(pf, sec);
    size_t end = head == NONE ? NONE : section_end(pf, head);
    bool changed = false;

    if (!key) {
        /* The whole section goes, with every line up to the next one. */
        if (head != NONE) {
            pf.lines.erase(pf.lines.begin() + (long)head, pf.lines.begin() + (long)end);
            changed = true;
        }
    } else if (!value) {
        size_t at = head == NONE ? NONE : find_key(pf, head, end, k, nullptr);
        if (at != NONE) {
            pf.lines.erase(pf.lines.begin() + (long)at);
            changed = true;
        }
    } else {
        Parsed found;
        size_t at = head == NONE ? NONE : find_key(pf, head, end, k, &found);
        if (at != NONE) {
            /* The key keeps the spelling it has in the file. */
            if (found.value != v) {
                pf.lines[at].text = found.name + "=" + v;
                changed = true;
            }
        } else {
            std::vector<Line> add;
            size_t where;
            if (head == NONE) {
                add.push_back(Line{"[" + sec + "]", pf.eol});
                where = pf.lines.size();
            } else {
                /* After the section's last entry, so that comments and
                 * blank lines that lead into the next section stay there. */
                where = head + 1;
                for (size_t i = head + 1; i < end; ++i) {
                    LineKind kind = parse(pf.lines[i]).kind;
                    if (kind == LINE_KEY || kind == LINE_OTHER)
                        where = i + 1;
                }
            }
            add.push_back(Line{k + "=" + v, pf.eol});
            if (where > 0 && pf.lines[where - 1].eol.empty())
                pf.lines[where - 1].eol = pf.eol;
            pf.lines.insert(pf.lines.begin() + (long)where, add.begin(), add.end());
            changed = true;
        }
    }

    if (!changed)
        return TRUE;
    std::string out = join(pf);
    if (out.size() > PROFILE_MAX_BYTES) {
        SetLastError(ERROR_FILE_TOO_LARGE);
        return FALSE;
    }
    if (!write_file(host, out, mode, &err)) {
        SetLastError(err);
        return FALSE;
    }
    return TRUE;
}
