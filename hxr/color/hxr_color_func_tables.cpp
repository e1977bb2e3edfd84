// The kernel tables and the lookup that picks a converter's kernels.
#include "hxr/color/hxr_color_kernel.h"

#include "hxr/color/hxr_color_cmyk_kernels.h"
#include "hxr/color/hxr_color_rgb_kernels.h"

#include <atomic>

namespace {

constexpr HXRColorFuncRow kEnd = {-1, nullptr, nullptr, nullptr};

std::atomic<const HXRColorFuncTables*> g_bound{nullptr};

}  // namespace

void HXRColorConvertDummy(const HXRLutData* const*, const void*, HXRIntermediateData*, uint32_t, uint32_t, uint32_t,
                          int32_t, const uint8_t**, const uint8_t**, uint32_t, int32_t, int32_t) {}

void HXRColorConvertDummyWp(const HXRLutData* const*, const void*, HXRIntermediateData*, uint32_t, uint32_t, uint32_t,
                            int32_t, const uint8_t**, const uint8_t**, uint32_t, int32_t, int32_t) {}

// Rows {output colours, ExpandH2NxV2, Normal, ReduceH}. The tables without a
// reduction form hold a dummy in that slot; kernel slots are filled as the
// kernel families are written. The 4D families have no one-ink row.
const HXRColorFuncTables kHxrColorFuncTables = {{
    // Color3DFuncTable
    {
        {1, HXRColorConvert3D1CExpandH2NxV2, HXRColorConvert3D1CNormal, HXRColorConvert3D1CReduceH},
        {4, HXRColorConvert3D4CExpandH2NxV2, HXRColorConvert3D4CNormal, HXRColorConvert3D4CReduceH},
        {5, HXRColorConvert3D5CExpandH2NxV2, HXRColorConvert3D5CNormal, HXRColorConvert3D5CReduceH},
        {6, HXRColorConvert3D6CExpandH2NxV2, HXRColorConvert3D6CNormal, HXRColorConvert3D6CReduceH},
        {7, HXRColorConvert3D7CExpandH2NxV2, HXRColorConvert3D7CNormal, HXRColorConvert3D7CReduceH},
        {8, HXRColorConvert3D8CExpandH2NxV2, HXRColorConvert3D8CNormal, HXRColorConvert3D8CReduceH},
        {9, HXRColorConvert3D9CExpandH2NxV2, HXRColorConvert3D9CNormal, HXRColorConvert3D9CReduceH},
        {10, HXRColorConvert3D10CExpandH2NxV2, HXRColorConvert3D10CNormal, HXRColorConvert3D10CReduceH},
        {12, HXRColorConvert3D12CExpandH2NxV2, HXRColorConvert3D12CNormal, HXRColorConvert3D12CReduceH},
        kEnd,
    },
    // Color3DPatternDFuncTable
    {
        {1, nullptr, nullptr, nullptr},  // PatternD has no one-ink form
        {4, HXRColorConvert3D4CPdExpandH2NxV2, HXRColorConvert3D4CPdNormal, HXRColorConvert3D4CPdReduceH},
        {5, HXRColorConvert3D5CPdExpandH2NxV2, HXRColorConvert3D5CPdNormal, HXRColorConvert3D5CPdReduceH},
        {6, HXRColorConvert3D6CPdExpandH2NxV2, HXRColorConvert3D6CPdNormal, HXRColorConvert3D6CPdReduceH},
        {7, HXRColorConvert3D7CPdExpandH2NxV2, HXRColorConvert3D7CPdNormal, HXRColorConvert3D7CPdReduceH},
        {8, HXRColorConvert3D8CPdExpandH2NxV2, HXRColorConvert3D8CPdNormal, HXRColorConvert3D8CPdReduceH},
        {9, HXRColorConvert3D9CPdExpandH2NxV2, HXRColorConvert3D9CPdNormal, HXRColorConvert3D9CPdReduceH},
        {10, HXRColorConvert3D10CPdExpandH2NxV2, HXRColorConvert3D10CPdNormal, HXRColorConvert3D10CPdReduceH},
        {12, HXRColorConvert3D12CPdExpandH2NxV2, HXRColorConvert3D12CPdNormal, HXRColorConvert3D12CPdReduceH},
        kEnd,
    },
    // Color3DUserSpecFuncTable: one user form serves both line cases, in
    // the ExpandH2NxV2 and the Normal slot alike
    {
        {1, HXRColorConvert3D1CUserNormal, HXRColorConvert3D1CUserNormal, HXRColorConvertDummy},
        {4, HXRColorConvert3D4CUserNormal, HXRColorConvert3D4CUserNormal, HXRColorConvertDummy},
        {5, HXRColorConvert3D5CUserNormal, HXRColorConvert3D5CUserNormal, HXRColorConvertDummy},
        {6, HXRColorConvert3D6CUserNormal, HXRColorConvert3D6CUserNormal, HXRColorConvertDummy},
        {7, HXRColorConvert3D7CUserNormal, HXRColorConvert3D7CUserNormal, HXRColorConvertDummy},
        {8, HXRColorConvert3D8CUserNormal, HXRColorConvert3D8CUserNormal, HXRColorConvertDummy},
        {9, HXRColorConvert3D9CUserNormal, HXRColorConvert3D9CUserNormal, HXRColorConvertDummy},
        {10, HXRColorConvert3D10CUserNormal, HXRColorConvert3D10CUserNormal, HXRColorConvertDummy},
        {12, HXRColorConvert3D12CUserNormal, HXRColorConvert3D12CUserNormal, HXRColorConvertDummy},
        kEnd,
    },
    // Color3DUserSpecPatternDFuncTable (slots as Color3DUserSpecFuncTable)
    {
        {1, nullptr, nullptr, nullptr},  // PatternD has no one-ink form
        {4, HXRColorConvert3D4CUserPdNormal, HXRColorConvert3D4CUserPdNormal, HXRColorConvertDummy},
        {5, HXRColorConvert3D5CUserPdNormal, HXRColorConvert3D5CUserPdNormal, HXRColorConvertDummy},
        {6, HXRColorConvert3D6CUserPdNormal, HXRColorConvert3D6CUserPdNormal, HXRColorConvertDummy},
        {7, HXRColorConvert3D7CUserPdNormal, HXRColorConvert3D7CUserPdNormal, HXRColorConvertDummy},
        {8, HXRColorConvert3D8CUserPdNormal, HXRColorConvert3D8CUserPdNormal, HXRColorConvertDummy},
        {9, HXRColorConvert3D9CUserPdNormal, HXRColorConvert3D9CUserPdNormal, HXRColorConvertDummy},
        {10, HXRColorConvert3D10CUserPdNormal, HXRColorConvert3D10CUserPdNormal, HXRColorConvertDummy},
        {12, HXRColorConvert3D12CUserPdNormal, HXRColorConvert3D12CUserPdNormal, HXRColorConvertDummy},
        kEnd,
    },
    // Color3DWprintFuncTable
    {
        {1, HXRColorConvert3D1CWpExpandH2NxV2, HXRColorConvert3D1CWpNormal, HXRColorConvertDummyWp},
        {4, HXRColorConvert3D4CWpExpandH2NxV2, HXRColorConvert3D4CWpNormal, HXRColorConvertDummyWp},
        {5, HXRColorConvert3D5CWpExpandH2NxV2, HXRColorConvert3D5CWpNormal, HXRColorConvertDummyWp},
        {6, HXRColorConvert3D6CWpExpandH2NxV2, HXRColorConvert3D6CWpNormal, HXRColorConvertDummyWp},
        {7, HXRColorConvert3D7CWpExpandH2NxV2, HXRColorConvert3D7CWpNormal, HXRColorConvertDummyWp},
        {8, HXRColorConvert3D8CWpExpandH2NxV2, HXRColorConvert3D8CWpNormal, HXRColorConvertDummyWp},
        {9, HXRColorConvert3D9CWpExpandH2NxV2, HXRColorConvert3D9CWpNormal, HXRColorConvertDummyWp},
        {10, HXRColorConvert3D10CWpExpandH2NxV2, HXRColorConvert3D10CWpNormal, HXRColorConvertDummyWp},
        {12, HXRColorConvert3D12CWpExpandH2NxV2, HXRColorConvert3D12CWpNormal, HXRColorConvertDummyWp},
        kEnd,
    },
    // Color4DFuncTable
    {
        {4, HXRColorConvert4D4CExpandH2NxV2, HXRColorConvert4D4CNormal, HXRColorConvert4D4CReduceH},
        {5, HXRColorConvert4D5CExpandH2NxV2, HXRColorConvert4D5CNormal, HXRColorConvert4D5CReduceH},
        {6, HXRColorConvert4D6CExpandH2NxV2, HXRColorConvert4D6CNormal, HXRColorConvert4D6CReduceH},
        {7, HXRColorConvert4D7CExpandH2NxV2, HXRColorConvert4D7CNormal, HXRColorConvert4D7CReduceH},
        {8, HXRColorConvert4D8CExpandH2NxV2, HXRColorConvert4D8CNormal, HXRColorConvert4D8CReduceH},
        {9, HXRColorConvert4D9CExpandH2NxV2, HXRColorConvert4D9CNormal, HXRColorConvert4D9CReduceH},
        {10, HXRColorConvert4D10CExpandH2NxV2, HXRColorConvert4D10CNormal, HXRColorConvert4D10CReduceH},
        {12, HXRColorConvert4D12CExpandH2NxV2, HXRColorConvert4D12CNormal, HXRColorConvert4D12CReduceH},
        kEnd,
    },
    // Color4DPatternDFuncTable
    {
        {4, HXRColorConvert4D4CPdExpandH2NxV2, HXRColorConvert4D4CPdNormal, HXRColorConvert4D4CPdReduceH},
        {5, HXRColorConvert4D5CPdExpandH2NxV2, HXRColorConvert4D5CPdNormal, HXRColorConvert4D5CPdReduceH},
        {6, HXRColorConvert4D6CPdExpandH2NxV2, HXRColorConvert4D6CPdNormal, HXRColorConvert4D6CPdReduceH},
        {7, HXRColorConvert4D7CPdExpandH2NxV2, HXRColorConvert4D7CPdNormal, HXRColorConvert4D7CPdReduceH},
        {8, HXRColorConvert4D8CPdExpandH2NxV2, HXRColorConvert4D8CPdNormal, HXRColorConvert4D8CPdReduceH},
        {9, HXRColorConvert4D9CPdExpandH2NxV2, HXRColorConvert4D9CPdNormal, HXRColorConvert4D9CPdReduceH},
        {10, HXRColorConvert4D10CPdExpandH2NxV2, HXRColorConvert4D10CPdNormal, HXRColorConvert4D10CPdReduceH},
        {12, HXRColorConvert4D12CPdExpandH2NxV2, HXRColorConvert4D12CPdNormal, HXRColorConvert4D12CPdReduceH},
        kEnd,
    },
    // Color4DUnderWhiteFuncTable
    {
        {4, HXRColorConvert4D4CUnderWhiteExpandH2NxV2, HXRColorConvert4D4CUnderWhiteNormal, HXRColorConvertDummy},
        {5, HXRColorConvert4D5CUnderWhiteExpandH2NxV2, HXRColorConvert4D5CUnderWhiteNormal, HXRColorConvertDummy},
        {6, HXRColorConvert4D6CUnderWhiteExpandH2NxV2, HXRColorConvert4D6CUnderWhiteNormal, HXRColorConvertDummy},
        {7, HXRColorConvert4D7CUnderWhiteExpandH2NxV2, HXRColorConvert4D7CUnderWhiteNormal, HXRColorConvertDummy},
        {8, HXRColorConvert4D8CUnderWhiteExpandH2NxV2, HXRColorConvert4D8CUnderWhiteNormal, HXRColorConvertDummy},
        {9, HXRColorConvert4D9CUnderWhiteExpandH2NxV2, HXRColorConvert4D9CUnderWhiteNormal, HXRColorConvertDummy},
        {10, HXRColorConvert4D10CUnderWhiteExpandH2NxV2, HXRColorConvert4D10CUnderWhiteNormal, HXRColorConvertDummy},
        {12, HXRColorConvert4D12CUnderWhiteExpandH2NxV2, HXRColorConvert4D12CUnderWhiteNormal, HXRColorConvertDummy},
        kEnd,
    },
    // Color4DUnderWhitePatternDFuncTable
    {
        {4, HXRColorConvert4D4CUnderWhitePdExpandH2NxV2, HXRColorConvert4D4CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {5, HXRColorConvert4D5CUnderWhitePdExpandH2NxV2, HXRColorConvert4D5CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {6, HXRColorConvert4D6CUnderWhitePdExpandH2NxV2, HXRColorConvert4D6CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {7, HXRColorConvert4D7CUnderWhitePdExpandH2NxV2, HXRColorConvert4D7CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {8, HXRColorConvert4D8CUnderWhitePdExpandH2NxV2, HXRColorConvert4D8CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {9, HXRColorConvert4D9CUnderWhitePdExpandH2NxV2, HXRColorConvert4D9CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {10, HXRColorConvert4D10CUnderWhitePdExpandH2NxV2, HXRColorConvert4D10CUnderWhitePdNormal,
         HXRColorConvertDummy},
        {12, HXRColorConvert4D12CUnderWhitePdExpandH2NxV2, HXRColorConvert4D12CUnderWhitePdNormal,
         HXRColorConvertDummy},
        kEnd,
    },
    // Color4DUserSpecFuncTable (UserNormal in both line slots)
    {
        {4, HXRColorConvert4D4CUserNormal, HXRColorConvert4D4CUserNormal, HXRColorConvertDummy},
        {5, HXRColorConvert4D5CUserNormal, HXRColorConvert4D5CUserNormal, HXRColorConvertDummy},
        {6, HXRColorConvert4D6CUserNormal, HXRColorConvert4D6CUserNormal, HXRColorConvertDummy},
        {7, HXRColorConvert4D7CUserNormal, HXRColorConvert4D7CUserNormal, HXRColorConvertDummy},
        {8, HXRColorConvert4D8CUserNormal, HXRColorConvert4D8CUserNormal, HXRColorConvertDummy},
        {9, HXRColorConvert4D9CUserNormal, HXRColorConvert4D9CUserNormal, HXRColorConvertDummy},
        {10, HXRColorConvert4D10CUserNormal, HXRColorConvert4D10CUserNormal, HXRColorConvertDummy},
        {12, HXRColorConvert4D12CUserNormal, HXRColorConvert4D12CUserNormal, HXRColorConvertDummy},
        kEnd,
    },
    // Color4DUserSpecPatternDFuncTable
    {
        {4, HXRColorConvert4D4CUserPdNormal, HXRColorConvert4D4CUserPdNormal, HXRColorConvertDummy},
        {5, HXRColorConvert4D5CUserPdNormal, HXRColorConvert4D5CUserPdNormal, HXRColorConvertDummy},
        {6, HXRColorConvert4D6CUserPdNormal, HXRColorConvert4D6CUserPdNormal, HXRColorConvertDummy},
        {7, HXRColorConvert4D7CUserPdNormal, HXRColorConvert4D7CUserPdNormal, HXRColorConvertDummy},
        {8, HXRColorConvert4D8CUserPdNormal, HXRColorConvert4D8CUserPdNormal, HXRColorConvertDummy},
        {9, HXRColorConvert4D9CUserPdNormal, HXRColorConvert4D9CUserPdNormal, HXRColorConvertDummy},
        {10, HXRColorConvert4D10CUserPdNormal, HXRColorConvert4D10CUserPdNormal, HXRColorConvertDummy},
        {12, HXRColorConvert4D12CUserPdNormal, HXRColorConvert4D12CUserPdNormal, HXRColorConvertDummy},
        kEnd,
    },
    // Color4DUserSpecUnderWhiteFuncTable
    {
        {4, HXRColorConvert4D4CUserUnderWhiteNormal, HXRColorConvert4D4CUserUnderWhiteNormal, HXRColorConvertDummy},
        {5, HXRColorConvert4D5CUserUnderWhiteNormal, HXRColorConvert4D5CUserUnderWhiteNormal, HXRColorConvertDummy},
        {6, HXRColorConvert4D6CUserUnderWhiteNormal, HXRColorConvert4D6CUserUnderWhiteNormal, HXRColorConvertDummy},
        {7, HXRColorConvert4D7CUserUnderWhiteNormal, HXRColorConvert4D7CUserUnderWhiteNormal, HXRColorConvertDummy},
        {8, HXRColorConvert4D8CUserUnderWhiteNormal, HXRColorConvert4D8CUserUnderWhiteNormal, HXRColorConvertDummy},
        {9, HXRColorConvert4D9CUserUnderWhiteNormal, HXRColorConvert4D9CUserUnderWhiteNormal, HXRColorConvertDummy},
        {10, HXRColorConvert4D10CUserUnderWhiteNormal, HXRColorConvert4D10CUserUnderWhiteNormal, HXRColorConvertDummy},
        {12, HXRColorConvert4D12CUserUnderWhiteNormal, HXRColorConvert4D12CUserUnderWhiteNormal, HXRColorConvertDummy},
        kEnd,
    },
    // Color4DUserSpecUnderWhitePatternDFuncTable
    {
        {4, HXRColorConvert4D4CUserUnderWhitePdNormal, HXRColorConvert4D4CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {5, HXRColorConvert4D5CUserUnderWhitePdNormal, HXRColorConvert4D5CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {6, HXRColorConvert4D6CUserUnderWhitePdNormal, HXRColorConvert4D6CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {7, HXRColorConvert4D7CUserUnderWhitePdNormal, HXRColorConvert4D7CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {8, HXRColorConvert4D8CUserUnderWhitePdNormal, HXRColorConvert4D8CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {9, HXRColorConvert4D9CUserUnderWhitePdNormal, HXRColorConvert4D9CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {10, HXRColorConvert4D10CUserUnderWhitePdNormal, HXRColorConvert4D10CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        {12, HXRColorConvert4D12CUserUnderWhitePdNormal, HXRColorConvert4D12CUserUnderWhitePdNormal,
         HXRColorConvertDummy},
        kEnd,
    },
}};

const HXRColorFuncRow* HXRGetColorFuncTable(HXRColorFamily family) {
    if (family >= kColorFamilyCount) return nullptr;
    const HXRColorFuncTables* bound = g_bound.load(std::memory_order_acquire);
    return (bound ? bound : &kHxrColorFuncTables)->table[family];
}

const HXRColorFuncTables* HXRBindColorFuncTables(const HXRColorFuncTables* tables) {
    return g_bound.exchange(tables, std::memory_order_acq_rel);
}

bool GetColorCvtColorFunc(const HXRColorFuncRow* table, uint32_t count, int32_t scale, HXRColorKernel out[2]) {
    out[0] = out[1] = nullptr;
    if (!table) return false;
    const HXRColorFuncRow* row = table;
    for (uint32_t i = 0; i < kColorFuncRowsMax && row->count != -1; ++i, ++row) {
        if (static_cast<uint32_t>(row->count) != count) continue;
        if (scale > 0x10000) {
            out[0] = out[1] = row->reduceH;
        } else {
            out[0] = row->normal;
            out[1] = scale % 2 != 0 ? row->normal : row->expandH2NxV2;
        }
        if (!out[0] || !out[1]) {
            out[0] = out[1] = nullptr;
            return false;
        }
        return true;
    }
    return false;
}
