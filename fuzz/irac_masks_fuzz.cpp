// Fuzzes the overlap masks: every mask kind from fuzzed kinds and tables.
// The input is 16 bytes of pass-engine answers and page, then a model
// resource (served as resource 256). When the model parses, the work area
// and the patterns are built for the job and a page, the words rotated, and
// every row of every built pattern is read whole and used as a mask, so a
// row count or size that disagrees with its arrays is an overrun the
// sanitizer sees; a complement that is not the NOT of its row (for the kinds
// that make it so) and a block left over are findings.
#include "headcontrol/pmm_masks.h"
#include "irac_fuzz_platform.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using namespace ovcg::irac;

constexpr size_t kConfig = 16;


// The pass engine's answers from the configuration bytes.
struct Engine {
    uint16_t used;     // bit r: the schedule uses POL index r (r < 16)
    int32_t passes;
    uint32_t polIndex;
    uint8_t widths[4];  // by POL index polIndex, 9, 10, 11... (any other: width[index % 4])
};

PmmPassEngine bind(Engine& e) {
    PmmPassEngine b{};
    b.engine = &e;
    b.findPolIndex = [](const void* p, uint16_t i) { return i < 16 && (static_cast<const Engine*>(p)->used >> i) & 1; };
    b.ftransCalcPol = [](const void* p, uint16_t i) { return uint32_t(static_cast<const Engine*>(p)->widths[i % 4]); };
    b.ftransCalcPassNum = [](const void* p) { return static_cast<const Engine*>(p)->passes; };
    b.ftransCalcPolIndex = [](const void* p) { return static_cast<const Engine*>(p)->polIndex; };
    b.setFtransCalcPolIndex = [](void*, uint16_t) {};
    return b;
}

volatile uint32_t g_sink;

void use_patterns(const POLMaskWork& w, uint32_t seed) {
    std::vector<uint8_t> line(300), out(300);
    for (size_t i = 0; i < line.size(); ++i) line[i] = uint8_t(i * 37 + seed);
    for (int32_t e = 0; e < w.patternCount; ++e) {
        const POLMaskPattern& p = w.patterns[e];
        if (!p.mask) continue;
        if (uint64_t(uint32_t(p.rowBytes)) * uint32_t(p.rowCount) * p.blocks != p.size) std::abort();
        uint32_t s = 0;
        for (uint32_t i = 0; i < p.size; ++i) s += p.mask[i] + p.complement[i];
        g_sink = g_sink + s;
        if (!(p.flags & 0x200))  // every kind but the stored one makes NOT complements
            for (uint32_t i = 0; i < p.size; ++i)
                if (p.complement[i] != uint8_t(~p.mask[i])) std::abort();
        PolMaskInfo info{};
        for (int32_t r = 0; r < p.rowCount; ++r) {
            info.slot[0] = {p.mask + size_t(r) * uint32_t(p.rowBytes), uint32_t(p.rowBytes), seed + uint32_t(r)};
            info.slot[1] = {p.complement + size_t(r) * uint32_t(p.rowBytes), uint32_t(p.rowBytes), seed + uint32_t(r)};
            PMM_Masking_RasterData_pol(line.data(), uint32_t(line.size()), &info, out.data());
            PMM_Masking_RasterData_polpol(line.data(), uint32_t(line.size()), &info, out.data());
            // A dot and its complement never both survive.
            if (!(p.flags & 0x200))
                for (uint8_t b : out)
                    if (b) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kConfig || size > (1u << 20)) return 0;
    const CallbackTable cb = irac_fuzz::callbacks(data + kConfig, size - kConfig);
    RscObject* rsc = nullptr;
    const uint32_t parsed = RSC_Constructor(&rsc, {0x03020131u, 1}, 0x10, &cb);
    if (irac_fuzz::g_platform.resources != 0) std::abort();
    if (parsed != 0) {
        if (irac_fuzz::g_platform.blocks != 0) std::abort();
        return 0;
    }
    ICMResourceData* icm = nullptr;
    RSC_GetICMResourceData(rsc, &icm);
    Engine engine{uint16_t(data[0] | data[1] << 8), data[2] % 5, data[3] == 0xFF ? 0xFFFFFFFFu : data[3] % 16u,
                  {data[4], data[5], data[6], data[7]}};
    const uint8_t codes[4] = {data[9], data[10], data[11], data[12]};
    const PmmPageColours page{uint16_t(data[8] % 5), codes};
    POLMaskWork work{};
    uint32_t rc = PMM_Alloc_POLMaskWork(&work, icm->layerKindCount, icm->layerKinds, icm->colorNum, &cb);
    if (!rc) rc = PMM_Alloc_POLMaskPattern(&work, icm, bind(engine), 4);
    if (!rc) use_patterns(work, data[13]);
    if (!rc) rc = PMM_ReAlloc_POLMaskPattern(&work, icm, bind(engine), page);
    if (!rc) {
        use_patterns(work, data[14]);
        PMM_ShiftPOLMaskPattern(&work, icm->colorNum, icm->bitsPerPixel, 1u + data[15] % 16, data[15] / 16u);
        for (uint32_t c = 0; work.maskWord && c < work.colorNum; ++c)
            if (work.complementWord[c] != ~work.maskWord[c]) std::abort();
    }
    PMM_Free_POLMaskWork(&work);
    RSC_Destructor(rsc);
    if (irac_fuzz::g_platform.blocks != 0) std::abort();
    return 0;
}
