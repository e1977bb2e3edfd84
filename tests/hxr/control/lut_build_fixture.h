// Shared by the colour-table builder tests: a fixture that parses LUT
// resources written by the model's LUT writer, makes colour managers, and
// holds an option record with the engine's defaults.
#pragma once

#include "hxr/control/hxr_clrmgr.h"
#include "hxr/control/hxr_lut.h"
#include "hxr/control/hxr_lut_build.h"
#include "support/hxr_fixture.h"
#include "support/model_lut.h"
#include "support/resource_cuts.h"

#include <cstring>
#include <random>
#include <vector>

namespace ovcg_test {

inline _HXR_OPTION_INFO default_options() {
    _HXR_OPTION_INFO o{};
    o.tone[0] = -1;
    o.tone[9] = 220;
    for (unsigned& v : o.colorValue) v = 1024;
    o.secondDocType = o.channelMode1 = 0xFFFFFFFFu;
    return o;
}

// Writes a duty-factor block of `value` into the twelve per-colour words.
inline void set_duty(_HXR_OPTION_INFO& o, uint32_t value) {
    std::memcpy(o.colorValue, kHxrDutyModeId, kHxrDutyIdBytes);
    o.colorValue[4] = value;
    for (int w = 5; w < 12; ++w) o.colorValue[w] = 0xFFFFFFFFu;
}

// Random non-decreasing grid levels from 0 to 255, repeats allowed.
inline std::vector<uint8_t> random_levels(std::mt19937& rng, uint32_t n, bool repeats) {
    std::vector<uint8_t> l(n);
    for (;;) {
        for (uint32_t i = 1; i + 1 < n; ++i) l[i] = uint8_t(rng() % 256);
        l[0] = 0;
        l[n - 1] = 255;
        std::sort(l.begin(), l.end());
        bool strict = true;
        for (uint32_t i = 1; i < n; ++i) strict &= l[i] > l[i - 1];
        if (repeats || strict) return l;
    }
}

class LutBuildTest : public HxrTest {
protected:
    void TearDown() override {
        for (HXRClrMgr* c : managers) HXRDeleteClrMgr(c, mm);
        HxrTest::TearDown();
    }
    HXRLutResParser* parse(const LutSpec& s) {
        const GuardedCopy& g = copies.hold(write_lut(s));
        const HXRServiceTable* t = svc.table();
        return HXRCreateLutResParser(g.data(), uint32_t(g.size()), t->StrNCmp, t->AtoI, t->MemCmp, mm);
    }
    const HXRClrMgr* clr(uint32_t inkSet) {
        managers.push_back(HXRCreateClrMgr(inkSet, 2, 0, mm));
        return managers.back();
    }
    GuardedCopies copies;
    std::vector<HXRClrMgr*> managers;
    _HXR_OPTION_INFO options = default_options();
};

}  // namespace ovcg_test
