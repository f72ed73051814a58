/*
 * String comparison in the user's collation, as lstrcmpiA and the sorted
 * list boxes use it.  Windows compares ANSI (Windows-1252) strings by
 * levels, not by code:
 *
 *   1. the characters' primary weights: white space, then punctuation and
 *      symbols, then digits, then letters; letters fold their case and an
 *      accented letter weighs as its base letter ("é" as "e");
 *   2. the accents, where the first level ties;
 *   3. the characters of no primary weight and their places, where both
 *      tie: hyphen and apostrophe ("co-op" and "coop" differ only here,
 *      "coop" first) and control characters.
 *
 * Letter case is never a difference here, so "alice" and "ALICE" are equal.
 * Punctuation thus sorts before digits ("<" before "1"), unlike in ASCII.
 */
#include <winbase.h>

#include <array>
#include <cstring>

namespace {

struct Weights {
    std::array<unsigned short, 256> primary{};  /* 0: no primary weight */
    std::array<unsigned char, 256> secondary{}; /* accent of a letter */
};

/* Windows-1252 letters beyond ASCII: the byte, its base letter, its accent. */
struct Accented {
    unsigned char byte;
    char base;
    unsigned char accent;
};

/* Accent numbers: 1 acute, 2 grave, 3 circumflex, 4 diaeresis, 5 tilde,
 * 6 ring, 7 cedilla, 8 stroke, 9 caron, 10 ligature or other letter form. */
constexpr Accented kAccented[] = {
    {0x83, 'f', 10}, {0x8A, 's', 9}, {0x8C, 'o', 10}, {0x8E, 'z', 9},  {0x9A, 's', 9},
    {0x9C, 'o', 10}, {0x9E, 'z', 9}, {0x9F, 'y', 4},  {0xC0, 'a', 2},  {0xC1, 'a', 1},
    {0xC2, 'a', 3},  {0xC3, 'a', 5}, {0xC4, 'a', 4},  {0xC5, 'a', 6},  {0xC6, 'a', 10},
    {0xC7, 'c', 7},  {0xC8, 'e', 2}, {0xC9, 'e', 1},  {0xCA, 'e', 3},  {0xCB, 'e', 4},
    {0xCC, 'i', 2},  {0xCD, 'i', 1}, {0xCE, 'i', 3},  {0xCF, 'i', 4},  {0xD0, 'd', 8},
    {0xD1, 'n', 5},  {0xD2, 'o', 2}, {0xD3, 'o', 1},  {0xD4, 'o', 3},  {0xD5, 'o', 5},
    {0xD6, 'o', 4},  {0xD8, 'o', 8}, {0xD9, 'u', 2},  {0xDA, 'u', 1},  {0xDB, 'u', 3},
    {0xDC, 'u', 4},  {0xDD, 'y', 1}, {0xDE, 't', 10}, {0xDF, 's', 10}, {0xE0, 'a', 2},
    {0xE1, 'a', 1},  {0xE2, 'a', 3}, {0xE3, 'a', 5},  {0xE4, 'a', 4},  {0xE5, 'a', 6},
    {0xE6, 'a', 10}, {0xE7, 'c', 7}, {0xE8, 'e', 2},  {0xE9, 'e', 1},  {0xEA, 'e', 3},
    {0xEB, 'e', 4},  {0xEC, 'i', 2}, {0xED, 'i', 1},  {0xEE, 'i', 3},  {0xEF, 'i', 4},
    {0xF0, 'd', 8},  {0xF1, 'n', 5}, {0xF2, 'o', 2},  {0xF3, 'o', 1},  {0xF4, 'o', 3},
    {0xF5, 'o', 5},  {0xF6, 'o', 4}, {0xF8, 'o', 8},  {0xF9, 'u', 2},  {0xFA, 'u', 1},
    {0xFB, 'u', 3},  {0xFC, 'u', 4}, {0xFD, 'y', 1},  {0xFE, 't', 10}, {0xFF, 'y', 4},
};

Weights make_weights()
{
    Weights w;
    unsigned short next = 1;
    auto assign = [&](unsigned char c) {
        if (!w.primary[c])
            w.primary[c] = next++;
    };
    /* White space (the no-break space with it), then ASCII punctuation in
     * the order Windows sorts it. */
    for (const char *p = "\t\n\v\f\r \xA0!\"#$%&()*,./:;?@[\\]^_`{|}~+<=>"; *p; ++p)
        assign((unsigned char)*p);
    /* Symbols beyond ASCII follow the ASCII ones, in code order; letters are
     * marked first so that they are not taken for symbols. */
    for (const Accented &a : kAccented)
        w.primary[a.byte] = 1;
    for (int c = 0x80; c <= 0xFF; ++c)
        if (!w.primary[c])
            assign((unsigned char)c);
    for (const Accented &a : kAccented)
        w.primary[a.byte] = 0;
    for (char c = '0'; c <= '9'; ++c)
        assign((unsigned char)c);
    for (char c = 'a'; c <= 'z'; ++c) {
        assign((unsigned char)c);
        w.primary[(unsigned char)(c - 'a' + 'A')] = w.primary[(unsigned char)c];
    }
    for (const Accented &a : kAccented) {
        w.primary[a.byte] = w.primary[(unsigned char)a.base];
        w.secondary[a.byte] = a.accent;
    }
    /* Hyphen, apostrophe and control characters keep no primary weight. */
    w.primary['-'] = 0;
    w.primary['\''] = 0;
    return w;
}

const Weights &weights()
{
    static const Weights w = make_weights();
    return w;
}

int sign(int v)
{
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

/* Compares the two strings at one level: `key` gives a character's weight at
 * that level, or -1 for a character that the level skips. */
template <typename Key> int compare_level(const unsigned char *a, const unsigned char *b, Key key)
{
    for (;;) {
        while (*a && key(*a) < 0)
            ++a;
        while (*b && key(*b) < 0)
            ++b;
        if (!*a || !*b)
            return sign((*a != 0) - (*b != 0));
        if (int d = key(*a) - key(*b))
            return sign(d);
        ++a;
        ++b;
    }
}

} // namespace

extern "C" int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b)
{
    if (!a || !b)
        return sign((a != nullptr) - (b != nullptr));
    const Weights &w = weights();
    auto ua = (const unsigned char *)a, ub = (const unsigned char *)b;
    if (int r = compare_level(
            ua, ub, [&](unsigned char c) { return w.primary[c] ? (int)w.primary[c] : -1; }))
        return r;
    if (int r = compare_level(
            ua, ub, [&](unsigned char c) { return w.primary[c] ? (int)w.secondary[c] : -1; }))
        return r;
    /* The characters without primary weight, with where they stand. */
    for (size_t i = 0, j = 0;; ++i, ++j) {
        while (ua[i] && w.primary[ua[i]])
            ++i;
        while (ub[j] && w.primary[ub[j]])
            ++j;
        if (!ua[i] || !ub[j])
            return sign((ua[i] != 0) - (ub[j] != 0));
        if (ua[i] != ub[j])
            return sign(ua[i] - ub[j]);
        if (i != j)
            return i < j ? -1 : 1;
    }
}
