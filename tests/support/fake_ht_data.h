// Recording stand-ins for the host halftoning data set's dither data manager
// and SML data managers, bound through the ops tables of the runtime dither
// and runtime SML state. Each call is logged by name; a named call can be
// made to fail. The SML calls do what the data set's own do, in the simplest
// literal form (the monochrome-photo merge and expansion take the nearest
// lower level instead of interpolating).
#pragma once

#include "hxr/binarize/hxr_runtime_dither.h"
#include "hxr/binarize/hxr_runtime_sml.h"

#include <functional>
#include <string>
#include <vector>

namespace ovcg_test {

class FakeDthMgr {
public:
    static const HXRDthDataOps* ops();
    const HXRTRAQ2DthDataMgr* handle() const { return reinterpret_cast<const HXRTRAQ2DthDataMgr*>(this); }

    int32_t areas = 1;
    HXRDthData data[6][13] = {};
    HXRDthOffset offset[6][13] = {};
    mutable std::vector<std::string> calls;
};

class FakeSmlMgr {
public:
    static const HXRSmlDataOps* ops();
    HXRSmlDataMgr* handle() { return reinterpret_cast<HXRSmlDataMgr*>(this); }

    using RateFn = std::function<uint32_t(uint32_t level, uint32_t dot)>;
    // The manager's plain (or monochrome-photo) row of an output order:
    // `levels` x `dots` rates from fn, dot values 10, 20, ...
    void set_row(uint32_t order, uint32_t levels, uint32_t dots, const RateFn& fn, bool tnmx = false);

    // Colour manager through which HXRGetSDMSmlTable finds a code's order.
    const HXRClrMgr* colours = nullptr;
    // Added to every rate HXRGetSDMSmlTable hands out (the current correction).
    uint32_t correction = 0;
    // A call of this name answers 1.
    std::string fail;
    std::vector<std::string> calls;

    HXRSmlColorData plain[12] = {}, tnmx[12] = {};
    std::vector<uint32_t> plain_rates[12], tnmx_rates[12];
};

}  // namespace ovcg_test
