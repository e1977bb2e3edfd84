// The number of threads the process runs, from the entries of
// /proc/self/task, for tests that check that no thread outlives its owner.
#pragma once

#include <chrono>
#include <climits>
#include <filesystem>
#include <thread>

namespace ovcg_test {

inline int ProcessThreadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// The count once no thread is on its way out (a thread just joined may stay
// listed a moment while it is reaped): it holds still, and is at most
// `atMost`. Gives up after a second.
inline int SettledThreadCount(int atMost = INT_MAX) {
    int n = ProcessThreadCount();
    for (int i = 0; i < 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const int m = ProcessThreadCount();
        if (m == n && m <= atMost) return m;
        n = m;
    }
    return n;
}

}  // namespace ovcg_test
