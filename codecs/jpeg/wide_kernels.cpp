#include "codecs/jpeg/wide_kernels.h"

#include <atomic>

namespace ovcg::jpeg {
namespace {

bool ProcessorHasWideKernels() {
#if OVCG_JPEG_WIDE_KERNELS
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") && __builtin_cpu_supports("bmi2");
#else
    return false;
#endif
}

std::atomic<bool> g_allowed{true};

}  // namespace

bool UseWideKernels() {
    static const bool has = ProcessorHasWideKernels();
    return has && g_allowed.load(std::memory_order_relaxed);
}

void AllowWideKernels(bool allow) { g_allowed.store(allow, std::memory_order_relaxed); }

}  // namespace ovcg::jpeg
