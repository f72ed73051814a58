/*
 * DOS paths on the host file system: the mapping rule is described in
 * kernel/dospath.h.
 */
#include "kernel/dospath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <dirent.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pal {
namespace {

bool is_sep(char c)
{
    return c == '\\' || c == '/';
}

char lower_ascii(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

/* The folder that holds the drive folders' parent: the XDG data folder. */
bool data_home(std::string *out)
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    /* Relative values are to be ignored, as for every XDG variable. */
    if (xdg && xdg[0] == '/') {
        *out = xdg;
        return true;
    }
    const char *home = std::getenv("HOME");
    std::string h;
    if (home && home[0] == '/') {
        h = home;
    } else {
        long n = sysconf(_SC_GETPW_R_SIZE_MAX);
        std::vector<char> buf(n > 0 ? (size_t)n : 16384);
        struct passwd pw;
        struct passwd *res = nullptr;
        if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &res) != 0 || !res || !res->pw_dir ||
            res->pw_dir[0] != '/')
            return false;
        h = res->pw_dir;
    }
    while (h.size() > 1 && h.back() == '/')
        h.pop_back();
    *out = (h == "/" ? std::string() : h) + "/.local/share";
    return true;
}

bool exists(const std::string &path)
{
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

/*
 * The entry of folder `dir` named `name` without regard to letter case:
 * `name` itself when it exists, else the one entry that matches, else ""
 * (none, or more than one).
 */
std::string find_nocase(const std::string &dir, const std::string &name)
{
    if (exists(dir + "/" + name))
        return name;
    DIR *d = opendir(dir.c_str());
    if (!d)
        return std::string();
    std::string found;
    int matches = 0;
    while (struct dirent *e = readdir(d)) {
        if (strcasecmp(e->d_name, name.c_str()) == 0) {
            found = e->d_name;
            ++matches;
        }
    }
    closedir(d);
    return matches == 1 ? found : std::string();
}

/* mkdir -p with mode 0700 for the folders it makes. */
void make_folders(const std::string &path)
{
    if (path.empty())
        return;
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
                return;
        }
    }
}

} // namespace

bool dos_path_is_dos(const char *path)
{
    if (!path)
        return false;
    char c = path[0];
    return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && path[1] == ':' && is_sep(path[2]);
}

bool dos_path_map(const char *path, std::string *host)
{
    host->clear();
    if (!path || !path[0])
        return false;
    if (!dos_path_is_dos(path)) {
        *host = path;
        return true;
    }

    std::vector<std::string> parts;
    for (const char *p = path + 3; *p;) {
        const char *start = p;
        while (*p && !is_sep(*p))
            ++p;
        std::string comp(start, (size_t)(p - start));
        if (comp == "..")
            return false;
        if (!comp.empty() && comp != ".")
            parts.push_back(comp);
        while (is_sep(*p))
            ++p;
    }

    std::string base;
    if (!data_home(&base))
        return false;
    char letter = lower_ascii(path[0]);
    std::string drive = base + "/callmgr/drives/" + letter;

    if (letter == 'c') {
        make_folders(drive);
        if (find_nocase(drive, "TEMP").empty())
            mkdir((drive + "/TEMP").c_str(), 0700);
    }

    /* Existing components are matched without regard to case; from the
     * first one that does not exist on, the names are used as given. */
    std::string out = drive;
    bool resolving = exists(drive);
    for (const std::string &comp : parts) {
        if (resolving) {
            std::string real = find_nocase(out, comp);
            if (!real.empty()) {
                out += "/" + real;
                continue;
            }
            resolving = false;
        }
        out += "/" + comp;
    }
    *host = out;
    return true;
}

} // namespace pal
