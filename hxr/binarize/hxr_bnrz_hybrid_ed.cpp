#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"

#include "hxr/binarize/hxr_runtime_sml.h"

#include <algorithm>
#include <cstring>
#include <cstddef>
#include <iterator>

namespace {

constexpr uint32_t kNoLine = 0xFFFFFFFFu;
constexpr uint32_t kSeedMul = 69069u, kSeedAdd = 62003u;

// Nodes (position, value) of the threshold tables; the tables hold 64 x the
// value interpolated between them.
struct Node {
    int32_t at, value;
};
constexpr Node kNodesA[] = {{0, 255},   {1, 0},     {16, 16},   {126, 159}, {127, 160}, {160, 203},
                            {192, 245}, {200, 255}, {224, 199}, {245, 214}, {254, 239}, {255, 0}};
constexpr Node kNodesB[] = {{0, -255},   {1, -255},   {16, -255}, {126, -255}, {127, -255}, {160, -255},
                            {192, -127}, {200, -95},  {224, 0},   {245, 0},    {254, 0},    {255, 0}};
static_assert(std::size(kNodesA) == std::size(kNodesB));

// Rounded half away from zero, on integers.
int32_t interpolate(const Node* nodes, size_t count, int32_t i) {
    size_t s = 1;
    while (s + 1 < count && nodes[s].at < i) ++s;  // the segment (s - 1, s] that holds i; 0 takes the first
    const Node a = nodes[s - 1], b = nodes[s];
    const int32_t num = (b.at - i) * a.value + (i - a.at) * b.value, span = b.at - a.at;
    return num > 0 ? (num + span / 2) / span : (num - span / 2) / span;
}

const HXRHybridEDFuncRow* table_for(uint32_t dotMode, uint32_t htType) {
    const bool hybrid = htType == 6;
    if (dotMode == 1) return hybrid ? HybridEDFuncTableOut1bit : HybridEDAllEDOnlyFuncTableOut1bit;
    if (dotMode == 2) return hybrid ? HybridEDFuncTableOut2bit : HybridEDAllEDOnlyFuncTableOut2bit;
    return nullptr;
}

HXRHybridEDKernel find_kernel(uint32_t dotMode, uint32_t htType, uint32_t resolution, uint32_t dots) {
    const HXRHybridEDFuncRow* row = table_for(dotMode, htType);
    if (!row) return nullptr;
    for (; row->resolutionIndex != 0; ++row)
        if (row->resolutionIndex == resolution && (dotMode == 1 || row->dotSizeIndex == dots)) return row->kernel;
    return nullptr;
}

// Every cell of the current buffer +16 or -16 from the bits of the line's
// seed and its successors, 32 cells a value, low bit first.
void seed(HXRHybridEDErrorBuffers& eb, HXRRandNum* random, uint32_t line) {
    uint32_t x = HXRGetRandNum(random, eb.colorCode * kHxrHybridEDSeedStep + line);
    int32_t* cell = eb.buffer[eb.current];
    for (int32_t k = 0; k < eb.cellCount; ++k) {
        if (k != 0 && k % 32 == 0) x = x * kSeedMul + kSeedAdd;
        cell[k] = (x >> (k % 32)) & 1u ? kHxrHybridEDSeedValue : -kHxrHybridEDSeedValue;
    }
}

// A line's second half, walked by whoever takes it from the slot.
void walk_tail(void* job) {
    auto* j = static_cast<HXRHybridEDTailJob*>(job);
    uint32_t counts[8] = {};
    j->parts->tail(j->run, counts);
    for (uint32_t k = 0; k < 6; ++k) j->late[k] += counts[k + 1];
}

void join(const HXRHybridEDBinarizer* b) {
    if (b->split) HXRJoinHybridEDTail(b->split->slot);
}

// A block of `bytes` aligned to 64 from the memory manager.
void* aligned(HXRMemMgr* mm, uint32_t bytes) {
    auto* p = static_cast<uint8_t*>(HXRAllocMem(mm, bytes + 64));
    if (!p) return nullptr;
    return p + (64 - reinterpret_cast<uintptr_t>(p) % 64) % 64;
}

// The run x0 .. x0 + n - 1 in two halves, the second posted to the slot.
void walk_cut(const HXRHybridEDBinarizer* b, uint8_t* plane, const uint8_t* ink, int32_t* error, const uint32_t* rate,
              const HXRDthData* d, const HXRDthOffset* off, int32_t x0, int32_t n, uint32_t nozzle) {
    HXRHybridEDSplit& s = *b->split;
    const int32_t per = s.parts->pixelsPerByte;
    // The first half a little shorter: the binarising thread also does the
    // engine's work for the line around it.
    const int32_t mid = int32_t((x0 + int64_t(n) * 7 / 16) / per * per);
    // While this colour's last tail is out, the walk stays 16 cells below
    // the lowest cell it touches (a pixel reaches 15 cells either way and
    // reads one more ahead); its left margin too.
    int32_t stop = mid;
    const bool out = HXRHybridEDTailPending(s.slot);
    if (out && s.slot->owner == b) {
        const int32_t limit = s.lo - 16;
        stop = std::min(mid, limit >= 0 ? limit / per * per : 0);
        if (x0 - 4 >= s.lo || stop <= x0) {
            HXRJoinHybridEDTail(s.slot);
            stop = mid;
        }
    }
    const uint32_t k = s.next;
    s.next ^= 1u;
    std::memcpy(s.inks[k] + x0, ink + x0, size_t(n));
    s.parts->start(s.runs[k], plane, s.inks[k], error, rate, d, off, b->thresholds, x0, n, nozzle);
    s.parts->walk(s.runs[k], stop);
    HXRJoinHybridEDTail(s.slot);
    if (stop < mid) s.parts->walk(s.runs[k], mid);
    s.lo = mid - ovcg::hybrid_ed::kReach;
    s.jobs[k] = {s.parts, s.runs[k], s.late};
    HXRPostHybridEDTail(s.slot, walk_tail, &s.jobs[k], b);
}

}  // namespace

uint32_t HXRGetHybridEDResolutionIndex(int32_t h, int32_t v) {
    if (h < 1 || v < 1) return 0;
    if (h > v) {
        const int32_t q = h / v;
        return q == 2 ? 2 : q == 4 ? 3 : 0;
    }
    const int32_t q = v / h;
    return q == 1 ? 1 : q == 2 ? 4 : 0;
}

int32_t HXRGetHybridEDDotSizeIndex(const HXRSmlColorData* const* sml, int32_t count) {
    if (!sml) return -1;
    int32_t index = 2;
    bool present = false;
    for (int32_t k = 0; k < count; ++k) {
        const HXRSmlColorData* row = sml[k];
        if (!row) continue;
        present = true;
        const uint32_t sizes = std::min(row->dotSizeNum, 3u);
        bool used[3] = {};
        if (row->rates)
            for (uint64_t g = 0; g < row->gradationNum; ++g)
                for (uint32_t j = 0; j < sizes; ++j) used[j] |= row->rates[g * row->dotSizeNum + j] != 0;
        if (used[0]) index = 0;
        else if (used[1]) index = std::min(index, 1);
        else if (!used[2]) return -1;
    }
    return present ? index : -1;
}

void HXRMakeHybridEDThresholds(int32_t table, int32_t* out) {
    const Node* nodes = table == 0 ? kNodesA : kNodesB;
    for (int32_t i = 0; i < 256; ++i) out[i] = 64 * interpolate(nodes, std::size(kNodesA), i);
}

HXRHybridEDBinarizer* HXRCreateBinarizeHybridED(uint32_t, int32_t hRes, int32_t vRes, uint32_t kind,
                                                uint32_t elementSize, uint32_t dotMode, uint32_t htType,
                                                uint32_t colorCode, const HXRSmlColorData* const* sml,
                                                const HXRIntermediateData* interm, HXRRandNum* random,
                                                HXRMemMgr* mm) {
    if (!mm || !interm || !random) return nullptr;
    const uint32_t resolution = HXRGetHybridEDResolutionIndex(hRes, vRes);
    const int32_t dots = HXRGetHybridEDDotSizeIndex(sml, 4);
    if (resolution == 0 || dots < 0 || (kind & ~2u) == kHxrCvtTNMX || elementSize != 1) return nullptr;
    const HXRHybridEDKernel kernel = find_kernel(dotMode, htType, resolution, uint32_t(dots));
    // The cell count in 64 bits: the buffer's bytes must fit the allocator's size.
    const uint64_t pixels = HXRGet1Color1LinePixelSize(interm);
    const uint64_t cells = pixels + 2 * kHxrHybridEDMargin;
    if (!kernel || pixels < 1 || cells * sizeof(int32_t) > UINT32_MAX) return nullptr;

    auto* b = static_cast<HXRHybridEDBinarizer*>(HXRAllocMem(mm, sizeof(HXRHybridEDBinarizer)));
    auto* eb = static_cast<HXRHybridEDErrorBuffers*>(b ? HXRAllocMem(mm, sizeof(HXRHybridEDErrorBuffers)) : nullptr);
    if (!eb) return nullptr;
    for (int32_t*& buffer : eb->buffer) {
        buffer = static_cast<int32_t*>(HXRAllocMem(mm, uint32_t(cells * sizeof(int32_t))));
        if (!buffer) return nullptr;
    }
    eb->cellCount = int32_t(cells);
    eb->current = 0;
    eb->heads = 1;
    eb->colorCode = colorCode;
    seed(*eb, random, 0);
    HXRMakeHybridEDThresholds(0, b->thresholds);
    HXRMakeHybridEDThresholds(1, b->thresholds + 256);
    b->kernel = kernel;
    b->lastLine = kNoLine;
    b->errorBuffers = eb;
    b->elementSize = elementSize;
    b->converterKind = kind;
    b->dotMode = dotMode;
    b->split = nullptr;
    return b;
}

uint32_t HXRBinarizeHybridED(const HXRHybridEDBinarizer* b, uint8_t* plane, uint32_t* counts, const uint8_t* ink,
                             const uint8_t* intent, int32_t* error, int32_t x0, int32_t n, const HXRDthData* d,
                             const HXRDthOffset* off, const HXRSmlColorData* const* sml, uint32_t nozzle) {
    if (!b) return 1;
    if (!ink || !error || !plane) return 0;
    if (!counts || !d || !off || !sml || !sml[0] || !sml[1]) return 1;
    if (!b->kernel || !b->errorBuffers || HXRCheckDthData(d) != 0) return 1;
    const int64_t pixels = int64_t(b->errorBuffers->cellCount) - 2 * kHxrHybridEDMargin;
    if (x0 < 0 || n < 0 || int64_t(x0) + n > pixels) return 1;
    if (HXRCheckSmlRow(sml[0], b->dotMode) != 0) return 1;
    if (b->split && n >= kHxrHybridEDSplitMin) {
        walk_cut(b, plane, ink, error, sml[0]->rates, d, off, x0, n, nozzle);
        return 0;
    }
    join(b);
    const uint32_t* rates[2] = {sml[0]->rates, sml[1]->rates};
    b->kernel(plane, counts, ink, intent, error, rates, d, off, b->thresholds, x0, n, nozzle);
    return 0;
}

uint32_t HXRSetHybridEDTailSlot(HXRHybridEDBinarizer* b, HXRHybridEDTailSlot* slot, uint64_t* late, HXRMemMgr* mm) {
    if (b && !slot) {
        join(b);
        b->split = nullptr;
        return 0;
    }
    if (!b || !b->errorBuffers || !late || !mm) return 1;
    const ovcg::hybrid_ed::EdParts* parts = HXRGetHybridEDParts(b->kernel);
    if (!parts) return 1;
    join(b);
    auto* s = static_cast<HXRHybridEDSplit*>(HXRAllocMem(mm, sizeof(HXRHybridEDSplit)));
    if (!s) return 1;
    const uint32_t pixels = uint32_t(b->errorBuffers->cellCount - 2 * kHxrHybridEDMargin);
    for (uint32_t k = 0; k < 2; ++k) {
        s->runs[k] = aligned(mm, uint32_t(ovcg::hybrid_ed::kEdRunBytes));
        s->inks[k] = static_cast<uint8_t*>(HXRAllocMem(mm, pixels));
        if (!s->runs[k] || !s->inks[k]) return 1;
    }
    s->slot = slot;
    s->parts = parts;
    s->next = 0;
    s->lo = 0;
    s->late = late;
    b->split = s;
    return 0;
}

uint32_t HXRSwitchHybridEDErrorBuff(HXRHybridEDBinarizer* b, int32_t heads) {
    if (!b || !b->errorBuffers || heads < 1 || heads > 2) return 1;
    HXRHybridEDErrorBuffers& eb = *b->errorBuffers;
    if (heads > eb.heads) {
        join(b);
        // The second head starts from the first one's errors, positive ones
        // turned into a fifth of their size, negative.
        const int32_t* from = eb.buffer[eb.current];
        int32_t* to = eb.buffer[1 - eb.current];
        for (int32_t k = 0; k < eb.cellCount; ++k) to[k] = from[k] > 0 ? -(from[k] / 5) : from[k];
    } else if (heads < eb.heads) {
        eb.current = 1 - eb.current;
    }
    eb.heads = heads;
    return 0;
}

int32_t* HXRGetHybridEDErrorBuffer(HXRHybridEDBinarizer* b, HXRRandNum* random, uint32_t line, int32_t head) {
    if (!b || !b->errorBuffers || !random || head < 0 || head > 1) return nullptr;
    HXRHybridEDErrorBuffers& eb = *b->errorBuffers;
    if (line != b->lastLine + 1) {
        join(b);
        seed(eb, random, line);
    }
    return eb.buffer[uint32_t(head) ^ eb.current] + kHxrHybridEDMargin;
}

uint32_t HXRSetHybridEDVPostion(HXRHybridEDBinarizer* b, uint32_t line) {
    if (!b) return 1;
    b->lastLine = line;
    return 0;
}

uint32_t HXRSetHybridEDErrorBuffInitialValue(HXRHybridEDBinarizer* b, HXRRandNum* random, uint32_t line) {
    if (!b || !b->errorBuffers || !random) return 1;
    join(b);
    seed(*b->errorBuffers, random, line);
    return 0;
}
