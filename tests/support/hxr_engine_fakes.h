// Stand-ins through the halftone engine's seams, for tests and benchmarks
// of the engine interface:
// - a fake binarize controller: it answers the queries as the job's
//   binariser would, records every call, fails the calls a test names, and
//   binarises an ink row by a plain threshold (dot where the ink value is 128
//   or more) so band results can be checked by hand; installed for the life
//   of a FakeBinarizerScope;
// - the colour kernel tables with every empty slot recording (the kernel
//   families of other modules that are not built yet), bound for the life of
//   a KernelTablesScope.
#pragma once

#include "hxr/color/recording_kernels.h"
#include "hxr/control/hxr_ht_ctrl.h"

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace hxr_test {

struct FakeBinarizerWorld {
    std::set<std::string> fail;           // operations answering 1 (create: null)
    std::vector<std::string> calls;       // every operation, in order
    uint32_t textEdge = 1;                // textEdgeCondition's answer
    std::vector<uint64_t> counts;         // what the dot counter reads out
    HXRSwitchPosList lastSwitch{};        // the last positions given
    uint32_t lastSwitchMode = 0xFFFFFFFFu;
    const void* lastTnmx = nullptr;       // monochrome-photo record of the last band
    const void* lastBrs = nullptr;
    const HXRTRAQ2Data* lastData = nullptr;
    uint32_t createdPixels = 0;           // pixel count at the last creation
    bool has(const std::string& call) const;
};

// Installs the fake table and a fresh world; the default table comes back at
// the end of the scope.
class FakeBinarizerScope {
public:
    FakeBinarizerScope();
    ~FakeBinarizerScope();
    FakeBinarizerScope(const FakeBinarizerScope&) = delete;
    FakeBinarizerScope& operator=(const FakeBinarizerScope&) = delete;
    FakeBinarizerWorld& world() { return world_; }

private:
    FakeBinarizerWorld world_;
};

const HXRBinarizeOps* FakeBinarizeOps();

// The kernel description with every empty slot recording.
inline HXRColorFuncTables filled_tables() {
    HXRColorFuncTables t = kHxrColorFuncTables;
    const HXRColorFuncTables rec = color_test::recording_tables();
    for (uint32_t f = 0; f < kColorFamilyCount; ++f)
        for (uint32_t r = 0; r < kColorFuncRowsMax; ++r) {
            HXRColorFuncRow& row = t.table[f][r];
            const HXRColorFuncRow& with = rec.table[f][r];
            if (!row.expandH2NxV2) row.expandH2NxV2 = with.expandH2NxV2;
            if (!row.normal) row.normal = with.normal;
            if (!row.reduceH) row.reduceH = with.reduceH;
        }
    return t;
}

class KernelTablesScope : public color_test::BoundTables {
public:
    KernelTablesScope() : color_test::BoundTables(filled_tables()) {}
};

}  // namespace hxr_test
