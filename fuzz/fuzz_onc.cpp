/*
 * fuzz_onc.cpp - the Windows RPC runtime's portable core: the record
 * reader, the call and reply messages, and the counted values.
 *
 * Input: one byte giving the size of the pieces the stream arrives in
 * (1..256), then the bytes of a stream of records.  Each whole record is
 * read as a call header (and its arguments as a text, a byte run and an
 * optional number) and as a reply carrying a number.  What decodes must
 * encode again and decode to the same values; what decoding allocates is
 * freed (the leak checker sees the rest); a record never passes the limit.
 */
#include "fuzzcheck.h"

#include "msgcore.h"
#include "record.h"
#include "xdrcore.h"

#include <stdint.h>
#include <string.h>

#include <tuple>
#include <vector>

namespace {

using namespace pal::onc;

template <typename T> xdrproc_t Proc(bool_t (*proc)(XDR *, T *))
{
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)(void)>(proc));
}

bool_t CodeInt(XDR *xdrs, int32_t *value)
{
    return code_i32(xdrs, value);
}

/* Arguments of the kinds the call protocol sends. */
struct Args {
    char *text;
    char *bytes;
    u_int count;
    char *number;
};

bool_t CodeArgs(XDR *xdrs, Args *args)
{
    return code_string(xdrs, &args->text, 255) &&
           code_bytes(xdrs, &args->bytes, &args->count, 64) &&
           code_pointer(xdrs, &args->number, sizeof(int32_t), Proc(CodeInt));
}

bool SameArgs(const Args &a, const Args &b)
{
    return strcmp(a.text, b.text) == 0 && a.count == b.count &&
           (a.count == 0 || memcmp(a.bytes, b.bytes, a.count) == 0) &&
           (a.number == nullptr) == (b.number == nullptr) &&
           (!a.number || *(int32_t *)a.number == *(int32_t *)b.number);
}

bool SameAuth(const opaque_auth &a, const opaque_auth &b)
{
    return a.oa_flavor == b.oa_flavor && a.oa_length == b.oa_length &&
           memcmp(a.oa_base, b.oa_base, a.oa_length) == 0;
}

void CheckCall(const std::vector<char> &record)
{
    static Call call, again;
    if (parse_call(record.data(), (u_int)record.size(), &call) != CallCheck::OK)
        return;
    FUZZ_CHECK(call.args_at <= record.size());
    std::vector<char> bytes(record.size() + 8);
    XDR xdrs;
    mem_create(&xdrs, bytes.data(), (u_int)bytes.size(), XDR_ENCODE);
    FUZZ_CHECK(code_call(&xdrs, &call.msg));
    FUZZ_CHECK(get_pos(&xdrs) == call.args_at);
    FUZZ_CHECK(parse_call(bytes.data(), get_pos(&xdrs), &again) == CallCheck::OK);
    const call_body &a = call.msg.rm_call, &b = again.msg.rm_call;
    FUZZ_CHECK(call.msg.rm_xid == again.msg.rm_xid && a.cb_prog == b.cb_prog &&
               a.cb_vers == b.cb_vers && a.cb_proc == b.cb_proc);
    FUZZ_CHECK(SameAuth(a.cb_cred, b.cb_cred) && SameAuth(a.cb_verf, b.cb_verf));

    Args args = {}, back = {};
    mem_create(&xdrs, (char *)record.data() + call.args_at, (u_int)(record.size() - call.args_at),
               XDR_DECODE);
    if (CodeArgs(&xdrs, &args)) {
        /* A text with a zero inside encodes shorter than it came. */
        u_int size = size_of(Proc(CodeArgs), &args);
        FUZZ_CHECK(size != 0 && size <= get_pos(&xdrs));
        std::vector<char> out(size);
        mem_create(&xdrs, out.data(), size, XDR_ENCODE);
        FUZZ_CHECK(CodeArgs(&xdrs, &args) && get_pos(&xdrs) == size);
        mem_create(&xdrs, out.data(), size, XDR_DECODE);
        FUZZ_CHECK(CodeArgs(&xdrs, &back) && SameArgs(args, back));
        FUZZ_CHECK(size_of(Proc(CodeArgs), &back) == size);
    }
    free_object(Proc(CodeArgs), &args);
    free_object(Proc(CodeArgs), &back);
    FUZZ_CHECK(!args.text && !args.bytes && !args.number);
}

void CheckReply(const std::vector<char> &record)
{
    rpc_msg msg, again;
    char verf[MAX_AUTH_BYTES], verf_again[MAX_AUTH_BYTES];
    int32_t result = 0, result_again = 0;
    for (auto [m, v, r] :
         {std::tuple(&msg, verf, &result), std::tuple(&again, verf_again, &result_again)}) {
        memset(m, 0, sizeof *m);
        m->acpted_rply.ar_verf.oa_base = v;
        m->acpted_rply.ar_results.where = (caddr_t)r;
        m->acpted_rply.ar_results.proc = Proc(CodeInt);
    }
    XDR xdrs;
    mem_create(&xdrs, (char *)record.data(), (u_int)record.size(), XDR_DECODE);
    if (!code_reply(&xdrs, &msg))
        return;
    u_int used = get_pos(&xdrs);
    std::vector<char> bytes(used);
    mem_create(&xdrs, bytes.data(), used, XDR_ENCODE);
    FUZZ_CHECK(code_reply(&xdrs, &msg) && get_pos(&xdrs) == used);
    mem_create(&xdrs, bytes.data(), used, XDR_DECODE);
    FUZZ_CHECK(code_reply(&xdrs, &again));
    FUZZ_CHECK(msg.rm_xid == again.rm_xid && msg.rm_reply.rp_stat == again.rm_reply.rp_stat);
    if (msg.rm_reply.rp_stat == MSG_ACCEPTED) {
        FUZZ_CHECK(SameAuth(msg.acpted_rply.ar_verf, again.acpted_rply.ar_verf));
        FUZZ_CHECK(msg.acpted_rply.ar_stat == again.acpted_rply.ar_stat);
        FUZZ_CHECK(msg.acpted_rply.ar_stat != SUCCESS || result == result_again);
    } else {
        FUZZ_CHECK(msg.rjcted_rply.rj_stat == again.rjcted_rply.rj_stat);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    size_t piece = (size_t)data[0] + 1;
    const char *stream = (const char *)data + 1;
    size_t length = size - 1, at = 0;
    RecordReader reader;
    while (at < length) {
        size_t n = length - at < piece ? length - at : piece, taken = 0;
        RecordStep step = record_feed(&reader, stream + at, n, &taken);
        FUZZ_CHECK(taken <= n && reader.record.size() <= MAX_RECORD);
        at += taken;
        if (step == RecordStep::TOO_LONG)
            break;
        if (step == RecordStep::COMPLETE) {
            CheckCall(reader.record);
            CheckReply(reader.record);
            record_restart(&reader);
        } else {
            FUZZ_CHECK(taken == n);
        }
    }
    return 0;
}
