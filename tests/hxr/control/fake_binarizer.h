// A fake binarize controller for the halftone controller and the engine
// interface: it answers the queries as the job's binariser would, records
// every call, fails the calls a test names, and binarises an ink row by a
// plain threshold (dot where the ink value is 128 or more) so band results
// can be checked by hand. Installed for the life of a FakeBinarizerScope.
#pragma once

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

}  // namespace hxr_test
