#include "kernel/fault.h"

#include <atomic>
#include <mutex>

namespace pal {
namespace {

struct FaultPoint {
    int skip = 0;
    int count = 0;
    int error = 0;
};

std::mutex fault_mutex;
FaultPoint faults[PAL_FAULT_COUNT];
std::atomic<bool> any_armed{false};

} // namespace

bool fault_hit(PAL_FAULT point, int *error)
{
    if (!any_armed.load(std::memory_order_acquire) || point < 0 || point >= PAL_FAULT_COUNT)
        return false;
    std::lock_guard<std::mutex> lock(fault_mutex);
    FaultPoint &f = faults[point];
    if (f.count == 0)
        return false;
    if (f.skip > 0) {
        --f.skip;
        return false;
    }
    if (f.count > 0)
        --f.count;
    if (error)
        *error = f.error;
    return true;
}

} // namespace pal

using namespace pal;

extern "C" void WINAPI PalFaultSet(PAL_FAULT point, int skip, int count, int error)
{
    if (point < 0 || point >= PAL_FAULT_COUNT)
        return;
    std::lock_guard<std::mutex> lock(fault_mutex);
    faults[point] = FaultPoint{skip, count, error};
    any_armed.store(true, std::memory_order_release);
}

extern "C" void WINAPI PalFaultClear(void)
{
    std::lock_guard<std::mutex> lock(fault_mutex);
    for (FaultPoint &f : faults)
        f = FaultPoint{};
    any_armed.store(false, std::memory_order_release);
}
