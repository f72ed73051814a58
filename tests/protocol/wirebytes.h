// Helpers for byte-level tests of the wire routines: write expected XDR
// streams by hand and run a routine over a memory stream.
#pragma once

#include <cmwire.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// An XDR stream written by hand, item by item.
struct WireBuilder {
    Bytes b;
    WireBuilder &U32(uint32_t v)
    {
        for (int shift = 24; shift >= 0; shift -= 8)
            b.push_back(static_cast<uint8_t>(v >> shift));
        return *this;
    }
    WireBuilder &U32s(std::initializer_list<uint32_t> vs)
    {
        for (uint32_t v : vs)
            U32(v);
        return *this;
    }
    WireBuilder &Text(const std::string &s)
    {
        U32(static_cast<uint32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
        while (b.size() % 4 != 0)
            b.push_back(0);
        return *this;
    }
    WireBuilder &Member(uint32_t state, uint32_t ipaddr, const std::string &host,
                        const std::string &user, const std::string &realname,
                        const std::string &address, uint32_t reserved = 0)
    {
        return U32(state).U32(ipaddr).Text(host).Text(user).Text(realname).Text(address).U32(
            reserved);
    }
    WireBuilder &Append(const Bytes &more)
    {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
};

// Encodes obj; false when the routine fails.  The buffer is large enough for
// any list the routines accept.
template <typename T> bool Encode(bool_t (*proc)(XDR *, T *), T *obj, Bytes *out)
{
    std::vector<char> buf(1u << 20);
    XDR xdrs;
    xdrmem_create(&xdrs, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    bool ok = proc(&xdrs, obj);
    out->assign(buf.begin(), buf.begin() + xdr_getpos(&xdrs));
    xdr_destroy(&xdrs);
    return ok;
}

// Decodes bytes into obj, which the caller zero-fills.
template <typename T> bool Decode(bool_t (*proc)(XDR *, T *), const Bytes &bytes, T *obj)
{
    XDR xdrs;
    xdrmem_create(&xdrs, reinterpret_cast<char *>(const_cast<uint8_t *>(bytes.data())),
                  static_cast<u_int>(bytes.size()), XDR_DECODE);
    bool ok = proc(&xdrs, obj);
    xdr_destroy(&xdrs);
    return ok;
}

template <typename T> void Release(bool_t (*proc)(XDR *, T *), T *obj)
{
    xdr_free(reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc)), obj);
}
