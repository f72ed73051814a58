#include "kernel/hooks.h"

#include <atomic>

namespace pal {
namespace {

/* Constant-initialised, so a test layer may install from its own static
 * initialisers in any order. */
std::atomic<const TestHooks *> installed{nullptr};

} // namespace

const TestHooks *test_hooks()
{
    return installed.load(std::memory_order_acquire);
}

void test_hooks_install(const TestHooks *table)
{
    installed.store(table, std::memory_order_release);
}

} // namespace pal
