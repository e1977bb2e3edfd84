// Fuzzes the band-path resource reader and the band path behind it: the
// input's tail is served as resource kind 768; a band job is started on it
// and, when that succeeds, one page is sent and the job ended.
//
// Input: u8 options (bit 0 bit length 2, bit 1 the 9-byte raster header,
// bit 2 aborts instead of ending, bit 3 ends the job with the page open),
// u8 colour count (modulo 6, plus 1), u8 raster width (modulo 40, plus 1),
// u16 rasters sent (modulo 600), u8 left offset, u8 raster seed, then the
// resource to the end. The page's inks are the resource's first ink codes.
//
// Whatever the input, the reader and the band output must stay inside every
// array, release the resource once, and free everything at the job's end.
#include "headcontrol/callbacks.h"
#include "irac_fuzz_platform.h"
#include "ovcg/irac.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kBandKind = 768;

int Discard(void*, const void*, uint32_t, int) { return 1; }

// Memory with a budget for all live blocks together: a resource asking for
// bands of millions of lines meets a failed allocation (and its code) long
// before the fuzzer's memory limit. The seeds need far less than the budget;
// a larger one only spends each input's time clearing pages. Each block
// carries its size in front.
constexpr size_t kBudget = size_t{32} << 20;
constexpr size_t kHeader = 16;
size_t g_live = 0;

void* BudgetAlloc(uint32_t size) {
    if (size == 0 || size > kBudget - g_live) return nullptr;
    auto* p = static_cast<uint8_t*>(std::malloc(kHeader + size));
    if (!p) return nullptr;
    std::memcpy(p, &size, sizeof size);
    g_live += size;
    ++irac_fuzz::g_platform.blocks;
    return p + kHeader;
}
void BudgetFree(void* block) {
    if (!block) return;
    uint8_t* p = static_cast<uint8_t*>(block) - kHeader;
    uint32_t size = 0;
    std::memcpy(&size, p, sizeof size);
    g_live -= size;
    --irac_fuzz::g_platform.blocks;
    std::free(p);
}
void* BudgetRealloc(void* block, uint32_t size) {
    if (!block) return BudgetAlloc(size);
    void* fresh = BudgetAlloc(size);
    if (!fresh) return nullptr;
    uint32_t old = 0;
    std::memcpy(&old, static_cast<uint8_t*>(block) - kHeader, sizeof old);
    std::memcpy(fresh, block, old < size ? old : size);
    BudgetFree(block);
    return fresh;
}

void* GetBand(void*, int kind, uint32_t* size) {
    *size = 0;
    if (kind != kBandKind) return nullptr;
    const auto& p = irac_fuzz::g_platform;
    void* copy = std::malloc(p.size ? p.size : 1);
    if (p.size) std::memcpy(copy, p.data, p.size);
    *size = static_cast<uint32_t>(p.size);
    ++irac_fuzz::g_platform.resources;
    return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kHead = 7;
    if (size < kHead || size > (1u << 16)) return 0;
    const uint8_t options = data[0];
    const uint16_t colours = uint16_t(data[1] % 6 + 1);
    const uint32_t width = data[2] % 40 + 1;
    const uint32_t sent = (uint32_t(data[3]) | uint32_t(data[4]) << 8) % 600;
    const int32_t left = data[5];
    uint32_t seed = data[6] | 1u;
    const uint8_t* resource = data + kHead;
    const size_t resourceSize = size - kHead;

    OVF_COMMON ovf = irac_fuzz::platform_table(resource, resourceSize);
    ovf.alloc = BudgetAlloc;
    ovf.realloc = BudgetRealloc;
    ovf.free = BudgetFree;
    ovf.get_resource = GetBand;
    ovf.send_data = Discard;
    const IRACS_IDENTIFIER id{0, 0, 0, 0, 0};
    const IRACS_PRINTDATA_INFO pd{width, 100000, colours};
    int8_t shifts[32] = {};
    const IRACS_OPTION option{0, shifts, IRAC_OPT_BAND_PATH};
    IRACS_VALUE value{};
    IRAC_INSTANCE_DEF* h = nullptr;
    const uint32_t code = IRAC_StartJob(&h, &id, &pd, &option, &value, &ovf);
    if (irac_fuzz::g_platform.resources != 0) std::abort();
    if (code) {
        if (h || irac_fuzz::g_platform.blocks != 0) std::abort();
        return 0;
    }
    const int32_t bits = (options & 1) ? 2 : 1;
    const int8_t form = (options & 2) ? 0 : 1;
    IRAC_SetValue(h, IRAC_SET_BITLEN, &bits);
    IRAC_SetValue(h, IRAC_SET_ESCIFORM, &form);
    // The resource's first ink codes (bytes 12 on), zeros past its end.
    std::vector<uint8_t> inks(colours, 0);
    for (size_t c = 0; c < colours && 12 + c < resourceSize; ++c) inks[c] = resource[12 + c];
    if (IRAC_StartPage(h, left, inks.data()) == 0) {
        const uint32_t lineWidth = width + 1;
        std::vector<uint8_t> lines(2 * size_t(lineWidth) * colours, 0);
        uint8_t* rows[2] = {lines.data(), lines.data() + size_t(lineWidth) * colours};
        for (uint32_t r = 0; r < sent;) {
            for (uint8_t& b : lines) {
                seed = seed * 1103515245u + 12345u;
                b = (seed >> 16) % 5 == 0 ? uint8_t(seed >> 24) : 0;
            }
            const uint32_t count = (seed >> 9) % 2 + 1;
            const IRACS_RASTERDATA run{rows, lineWidth, count, r + (seed >> 11) % 3 * ((seed >> 13) % 40)};
            if (IRAC_DrawData(h, &run)) break;
            r = run.first_raster + count;
        }
        if (!(options & 8)) IRAC_EndPage(h);
    }
    (options & 4) ? IRAC_AbortJob(h) : IRAC_EndJob(h);
    if (irac_fuzz::g_platform.blocks != 0 || irac_fuzz::g_platform.resources != 0) std::abort();
    return 0;
}
