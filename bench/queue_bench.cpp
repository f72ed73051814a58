// Posting and retrieving a message against a bare locked deque: the cost
// the platform's queue adds per message.
#include <windows.h>

#include <benchmark/benchmark.h>

#include <deque>
#include <mutex>

namespace {

HWND bench_window()
{
    static HWND w = [] {
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "BenchQueue";
        RegisterClassA(&wc);
        return CreateWindowExA(0, "BenchQueue", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                               nullptr);
    }();
    return w;
}

void BM_PostAndPeek(benchmark::State &state)
{
    HWND w = bench_window();
    MSG m;
    for (auto _ : state) {
        PostMessageA(w, WM_USER, 1, 2);
        PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_PostAndPeek);

void BM_BaselineLockedDeque(benchmark::State &state)
{
    std::mutex mu;
    std::deque<MSG> q;
    MSG m{};
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> lock(mu);
            q.push_back(MSG{nullptr, WM_USER, 1, 2, 0, {0, 0}});
        }
        {
            std::lock_guard<std::mutex> lock(mu);
            m = q.front();
            q.pop_front();
        }
        benchmark::DoNotOptimize(m);
    }
}
BENCHMARK(BM_BaselineLockedDeque);

} // namespace
