#include "hxr/control/hxr_packages.h"

#include <atomic>

namespace {
std::atomic<const HXRPackageOps*> g_ops{nullptr};
}  // namespace

const HXRPackageOps* HXRGetPackageOps() {
    const HXRPackageOps* ops = g_ops.load();
    return ops ? ops : HXRDefaultPackageOps();
}

void HXRSetPackageOps(const HXRPackageOps* ops) { g_ops.store(ops); }

// No package builder is part of the library yet: flags 2 and 4 are refused.
const HXRPackageOps* HXRDefaultPackageOps() {
    static const HXRPackageOps ops{};
    return &ops;
}
