#include "alloc_failure.h"

#include <new>

namespace {

int g_fail_at = 0; // number of the nothrow allocation to fail; 0 when none is armed
int g_seen = 0;    // nothrow allocations since arming

} // namespace

FailNothrowAllocation::FailNothrowAllocation(int which) {
    g_fail_at = which;
    g_seen = 0;
}

FailNothrowAllocation::~FailNothrowAllocation() {
    g_fail_at = 0;
}

int FailNothrowAllocation::seen() const {
    return g_seen;
}

// The memory comes from the ordinary operator new, so the ordinary operator delete (and a
// sanitizer's bookkeeping) pairs with it.
void *operator new(std::size_t size, const std::nothrow_t &) noexcept {
    if (g_fail_at > 0 && ++g_seen == g_fail_at)
        return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
