// The RPC runtime keeps a few small records it never gives back: the
// address record of every port-mapper registration (pmap_set), and address
// records of the port-mapper lookups behind clnt_create and rpcb_getmaps.  The system owns
// neither; the leak sanitizer is told so.  The runtime is built without frame
// pointers, so stacks are taken the slow way, which reaches the runtime's
// entry points that the suppressions name.  Linked into every program that
// serves or calls the program.
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
