// The typed record allocator against plain calloc and free: the cost of the
// header, the zero fill and the wipe on release.
#include "registry/registry.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

void BM_RecordAllocFree(benchmark::State &state)
{
    for (auto _ : state) {
        void *r = REC_Alloc(REC_CM, 0);
        benchmark::DoNotOptimize(r);
        REC_Free(r);
    }
}
BENCHMARK(BM_RecordAllocFree);

void BM_BaselineCallocFree(benchmark::State &state)
{
    for (auto _ : state) {
        void *r = std::calloc(1, sizeof(CM) + 12);
        benchmark::DoNotOptimize(r);
        std::free(r);
    }
}
BENCHMARK(BM_BaselineCallocFree);

void BM_RecordText(benchmark::State &state)
{
    for (auto _ : state) {
        char *t = REC_CopyText("hostb.callmgr.test");
        benchmark::DoNotOptimize(t);
        REC_Free(t);
    }
}
BENCHMARK(BM_RecordText);

} // namespace
