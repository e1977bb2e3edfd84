// Recording kernels for the converter frame: one distinct kernel per family
// and form, each noting its arguments (and the descriptor's vertical-expansion
// flag as the kernel sees it) instead of converting. A guard binds a copy of
// the kernel tables in which every kernel slot records.
#pragma once

#include "hxr/color/hxr_color_kernel.h"

#include <array>
#include <utility>
#include <vector>

namespace color_test {

enum Form : int { kExpand = 0, kNormal = 1, kReduce = 2 };
constexpr int kernel_id(HXRColorFamily family, Form form) { return static_cast<int>(family) * 3 + form; }

struct KernelCall {
    int id;
    const HXRLutData* luts[2];
    const void* aux;
    HXRIntermediateData* ink;
    uint32_t seed, pixelOffset, sampleBytes;
    int32_t scale;
    const uint8_t* planes[8];
    const uint8_t* attrs[2];
    uint8_t attrValues[2];
    uint32_t attrStride;
    int32_t start, end;
    uint32_t vExpansion;  // the descriptor's flag when the kernel ran
};

inline std::vector<KernelCall>& calls() {
    static std::vector<KernelCall> c;
    return c;
}

template <int Id>
void record(const HXRLutData* const* luts, const void* aux, HXRIntermediateData* ink, uint32_t seed,
            uint32_t pixelOffset, uint32_t sampleBytes, int32_t scale, const uint8_t** planes, const uint8_t** attrs,
            uint32_t attrStride, int32_t start, int32_t end) {
    KernelCall c{};
    c.id = Id;
    c.luts[0] = luts[0];
    c.luts[1] = luts[1];
    c.aux = aux;
    c.ink = ink;
    c.seed = seed;
    c.pixelOffset = pixelOffset;
    c.sampleBytes = sampleBytes;
    c.scale = scale;
    const int perLine = Id / 3 < static_cast<int>(kColor4D) ? 3 : 4;
    for (int j = 0; j < 2 * perLine; ++j) c.planes[j] = planes[j];
    c.attrs[0] = attrs[0];
    c.attrs[1] = attrs[1];
    c.attrValues[0] = *attrs[0];
    c.attrValues[1] = *attrs[1];
    c.attrStride = attrStride;
    c.start = start;
    c.end = end;
    c.vExpansion = ink->vExpansion;
    calls().push_back(c);
}

template <size_t... I>
constexpr std::array<HXRColorKernel, sizeof...(I)> make_recorders(std::index_sequence<I...>) {
    return {record<static_cast<int>(I)>...};
}
inline constexpr auto kRecorders = make_recorders(std::make_index_sequence<kColorFamilyCount * 3>{});

inline HXRColorKernel recorder(HXRColorFamily family, Form form) { return kRecorders[kernel_id(family, form)]; }

// The description with every kernel slot recording; dummies stay, and the
// one-ink rows of the 3D PatternD families stay empty.
inline HXRColorFuncTables recording_tables() {
    HXRColorFuncTables t = kHxrColorFuncTables;
    for (uint32_t f = 0; f < kColorFamilyCount; ++f) {
        const auto family = static_cast<HXRColorFamily>(f);
        for (HXRColorFuncRow& row : t.table[f]) {
            if (row.count == -1) break;
            const bool noForm = row.count == 1 && (family == kColor3DPatternD || family == kColor3DUserSpecPatternD);
            const auto fill = [&](HXRColorKernel& slot, Form form) {
                if (slot == HXRColorConvertDummy || slot == HXRColorConvertDummyWp) return;
                slot = noForm ? nullptr : recorder(family, form);
            };
            fill(row.expandH2NxV2, kExpand);
            fill(row.normal, kNormal);
            fill(row.reduceH, kReduce);
        }
    }
    return t;
}

// Binds tables for the guard's lifetime and clears the call record.
class BoundTables {
public:
    explicit BoundTables(const HXRColorFuncTables& tables) : tables_(tables) {
        previous_ = HXRBindColorFuncTables(&tables_);
        calls().clear();
    }
    BoundTables() : BoundTables(recording_tables()) {}
    ~BoundTables() { HXRBindColorFuncTables(previous_); }
    BoundTables(const BoundTables&) = delete;
    BoundTables& operator=(const BoundTables&) = delete;
    HXRColorFuncTables& tables() { return tables_; }

private:
    HXRColorFuncTables tables_;
    const HXRColorFuncTables* previous_;
};

}  // namespace color_test
