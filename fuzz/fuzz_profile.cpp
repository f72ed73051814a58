/*
 * fuzz_profile.cpp - the profile-file reader and writer on hostile files.
 *
 * The address book is a profile file that anyone with the user's rights may
 * have edited, so every byte of it is input.  An input is:
 *
 *   flags, buffer size, section NUL key NUL value NUL default NUL path NUL
 *   file bytes
 *
 * (fields missing at the end are empty).  Flags: 1 section absent, 2 key
 * absent, 4 value absent, 8 default absent, 16 no file at all, 32 the file
 * is a symbolic link to a file holding the bytes.
 *
 * Each input writes the file into a private folder and then:
 *  - lists the sections, lists the keys of the section and reads the key,
 *    each into a block of exactly the buffer size: results stay inside the
 *    block and lists end with two zeros, values with one;
 *  - writes the key: refused exactly when the arguments cannot be stored
 *    (no section, a line break, a key that is blank), refused for a link;
 *    a stored value reads back as written (blanks around it and one pair of
 *    enclosing quotes do not count) whenever the key can be read back at
 *    all, and the write leaves no temporary file behind;
 *  - maps the path field as a DOS path: a mapped DOS path never leaves its
 *    drive folder.
 */
#include "fuzzcheck.h"

#include <winbase.h>

#include "kernel/dospath.h"

#include <dirent.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

enum {
    FLAG_NOSECTION = 1,
    FLAG_NOKEY = 2,
    FLAG_NOVALUE = 4,
    FLAG_NODEFAULT = 8,
    FLAG_NOFILE = 16,
    FLAG_SYMLINK = 32,
};

std::string folder;    /* private to this process, removed at exit */
std::string file_path; /* the profile file in it */
std::string link_target;
std::string data_home; /* where DOS paths are mapped */

void RemoveFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void Setup()
{
    /* A memory file system where there is one: every write syncs. */
    const char *tmp = getenv("TMPDIR");
    std::string parent = tmp && tmp[0] == '/' ? tmp : "/tmp";
    struct stat st;
    if (!(tmp && tmp[0] == '/') && stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) &&
        access("/dev/shm", W_OK) == 0)
        parent = "/dev/shm";
    std::string pattern = parent + "/callmgr-fuzz-profile.XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FUZZ_CHECK(mkdtemp(name.data()) != nullptr);
    folder = name.data();
    atexit(RemoveFolder);
    FUZZ_CHECK(mkdir((folder + "/book").c_str(), 0700) == 0);
    file_path = folder + "/book/vorlane.zab";
    link_target = folder + "/target";
    data_home = folder + "/data";
    FUZZ_CHECK(mkdir(data_home.c_str(), 0700) == 0);
    setenv("XDG_DATA_HOME", data_home.c_str(), 1);
}

std::string ReadAll(const std::string &path)
{
    std::string data;
    FILE *f = fopen(path.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        data.append(chunk, n);
    fclose(f);
    return data;
}

void WriteAll(const std::string &path, const std::string &data)
{
    FILE *f = fopen(path.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(fwrite(data.data(), 1, data.size(), f) == data.size());
    FUZZ_CHECK(fclose(f) == 0);
}

/* Only the profile file may be left in its folder. */
void CheckNoStrayFiles()
{
    DIR *d = opendir((folder + "/book").c_str());
    FUZZ_CHECK(d != nullptr);
    while (struct dirent *e = readdir(d)) {
        if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..") && strcmp(e->d_name, "vorlane.zab")) {
            fprintf(stderr, "stray file %s\n", e->d_name);
            FUZZ_CHECK(!"a write left a file behind");
        }
    }
    closedir(d);
}

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && Blank(s[b]))
        ++b;
    while (e > b && Blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool HasBreak(const char *s)
{
    return s && strpbrk(s, "\r\n") != nullptr;
}

/* The default as a read gives it: without its trailing blanks. */
std::string Default(const char *dflt)
{
    std::string d = dflt ? dflt : "";
    while (!d.empty() && Blank(d.back()))
        d.pop_back();
    return d;
}

std::string Cut(const std::string &s, DWORD size)
{
    return s.substr(0, size - 1);
}

/* A read into a block of exactly `size` bytes; the block is checked and its
 * text returned up to the result. */
enum ReadKind { READ_LIST, READ_VALUE };

std::string Read(const char *section, const char *key, const char *dflt, DWORD size, ReadKind kind)
{
    /* Size 0 gets a one-byte block that must stay untouched. */
    std::vector<char> *block = new std::vector<char>(size ? size : 1, '\x5A');
    DWORD r = GetPrivateProfileStringA(section, key, dflt, block->data(), size, file_path.c_str());
    std::string text;
    if (size == 0) {
        FUZZ_CHECK(r == 0 && (*block)[0] == '\x5A');
    } else {
        FUZZ_CHECK(r < size);
        FUZZ_CHECK((*block)[r] == '\0');
        if (kind == READ_VALUE) {
            FUZZ_CHECK(strlen(block->data()) == r);
        } else if (size >= 2) {
            /* Two zeros end the list: after the last name, or after the
             * cut one.  A missing or empty section gives the default
             * instead, as one string. */
            bool ended =
                (r > 0 && (*block)[r - 1] == '\0') || (r + 1 < size && (*block)[r + 1] == '\0');
            FUZZ_CHECK(ended || (strlen(block->data()) == r && section &&
                                 std::string(block->data()) == Cut(Default(dflt), size)));
        }
        text.assign(block->data(), r);
    }
    delete block;
    return text;
}

/* True when a key written as `key` is found again by its name: a key that
 * holds "=" is read back as a shorter name, one that starts with ";" or "["
 * makes a comment or a section line. */
bool ReadableKey(const std::string &key)
{
    std::string k = Trim(key);
    return !k.empty() && k.find('=') == std::string::npos && k[0] != ';' && k[0] != '[';
}

std::string Unquote(std::string v)
{
    v = Trim(v);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    return v;
}

void CheckWrite(const char *section, const char *key, const char *value, bool link)
{
    std::string target_before = link ? ReadAll(link_target) : std::string();
    BOOL ok = WritePrivateProfileStringA(section, key, value, file_path.c_str());
    bool storable = section && !HasBreak(section) && !HasBreak(key) && !HasBreak(value) &&
                    (!key || !Trim(key).empty());
    if (link) {
        /* Never written through a link, and the file it names is kept. */
        FUZZ_CHECK(!ok);
        FUZZ_CHECK(ReadAll(link_target) == target_before);
        return;
    }
    FUZZ_CHECK(!!ok == storable);
    CheckNoStrayFiles();
    if (!ok || !key || !value || !ReadableKey(key))
        return;
    std::string got = Read(section, key, "\x01", 8192, READ_VALUE);
    FUZZ_CHECK(got == Unquote(value));
}

void CheckDosPath(const std::string &path)
{
    std::string host;
    bool mapped = pal::dos_path_map(path.c_str(), &host);
    if (!pal::dos_path_is_dos(path.c_str())) {
        FUZZ_CHECK(mapped == !path.empty());
        FUZZ_CHECK(host == path);
        return;
    }
    if (!mapped) {
        FUZZ_CHECK(host.empty());
        return;
    }
    char letter = path[0];
    if (letter >= 'A' && letter <= 'Z')
        letter = (char)(letter - 'A' + 'a');
    std::string drive = data_home + "/callmgr/drives/" + letter;
    FUZZ_CHECK(host.compare(0, drive.size(), drive) == 0);
    FUZZ_CHECK(host.size() == drive.size() || host[drive.size()] == '/');
    /* Every component below the drive folder is a real name. */
    size_t pos = drive.size();
    while (pos < host.size()) {
        size_t next = host.find('/', pos + 1);
        std::string comp =
            host.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        FUZZ_CHECK(!comp.empty() && comp != "." && comp != "..");
        pos = next == std::string::npos ? host.size() : next;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Setup();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    unsigned flags = data[0];
    DWORD buffer = data[1];
    const char *p = reinterpret_cast<const char *>(data) + 2;
    const char *end = reinterpret_cast<const char *>(data) + size;

    std::string fields[5];
    for (std::string &field : fields) {
        const char *nul = static_cast<const char *>(memchr(p, '\0', (size_t)(end - p)));
        const char *stop = nul ? nul : end;
        field.assign(p, (size_t)(stop - p));
        p = nul ? nul + 1 : end;
    }
    std::string content(p, (size_t)(end - p));

    const char *section = flags & FLAG_NOSECTION ? nullptr : fields[0].c_str();
    const char *key = flags & FLAG_NOKEY ? nullptr : fields[1].c_str();
    const char *value = flags & FLAG_NOVALUE ? nullptr : fields[2].c_str();
    const char *dflt = flags & FLAG_NODEFAULT ? nullptr : fields[3].c_str();

    unlink(file_path.c_str());
    bool link = false;
    if (flags & FLAG_SYMLINK) {
        WriteAll(link_target, content);
        FUZZ_CHECK(symlink(link_target.c_str(), file_path.c_str()) == 0);
        link = true;
    } else if (!(flags & FLAG_NOFILE)) {
        WriteAll(file_path, content);
    }

    std::string sections = Read(nullptr, nullptr, dflt, buffer, READ_LIST);
    std::string keys = Read(section, nullptr, dflt, buffer, READ_LIST);
    /* Without a section this read lists the sections too. */
    std::string got = Read(section, key ? key : "", dflt, buffer, section ? READ_VALUE : READ_LIST);
    if (link || (flags & FLAG_NOFILE)) {
        /* A file not read is an empty one: no names, the default. */
        FUZZ_CHECK(sections.empty());
        if (buffer > 0 && section)
            FUZZ_CHECK(got == Cut(Default(dflt), buffer) && keys == got);
    }

    CheckWrite(section, key, value, link);
    CheckDosPath(fields[4]);
    return 0;
}
