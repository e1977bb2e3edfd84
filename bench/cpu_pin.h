// Emulating a machine of fewer cores: the calling thread (and every thread
// it starts afterwards, the library's workers among them) is pinned to the
// first `cores` of the CPUs it may use. The library sizes its worker pool
// from the same mask.
#pragma once

#include <sched.h>

namespace ovcg_bench {

// Pins the calling thread; returns the mask to restore with Unpin.
inline cpu_set_t Pin(int cores) {
    cpu_set_t old;
    CPU_ZERO(&old);
    sched_getaffinity(0, sizeof old, &old);
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int c = 0, n = 0; c < CPU_SETSIZE && n < cores; ++c)
        if (CPU_ISSET(c, &old)) CPU_SET(c, &set), ++n;
    sched_setaffinity(0, sizeof set, &set);
    return old;
}

inline void Unpin(const cpu_set_t& old) { sched_setaffinity(0, sizeof old, &old); }

// The CPUs the calling thread may use.
inline int PinnedCpus() {
    cpu_set_t now;
    CPU_ZERO(&now);
    sched_getaffinity(0, sizeof now, &now);
    return CPU_COUNT(&now);
}

}  // namespace ovcg_bench
