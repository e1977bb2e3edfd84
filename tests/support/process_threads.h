// The number of threads the process runs now (the entries of
// /proc/self/task), for tests that check that no thread outlives its owner.
#pragma once

#include <filesystem>

namespace ovcg_test {

inline int ProcessThreadCount() {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

}  // namespace ovcg_test
