// The RPC runtime never gives back the address records of its port-mapper
// registrations and lookups; the system owns them, so the leak sanitizer is
// told so.  The runtime has no frame pointers: stacks are taken the slow way.
extern "C" const char *__asan_default_options(void)
{
    return "fast_unwind_on_malloc=0";
}

extern "C" const char *__lsan_default_suppressions(void)
{
    return "leak:pmap_set\n"
           "leak:clnt_tp_create_timed\n"
           "leak:rpcb_getmaps\n";
}
