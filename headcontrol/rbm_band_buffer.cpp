#include "headcontrol/rbm_band_buffer.h"

#include "headcontrol/codes.h"
#include "headcontrol/resource_stream.h"

#include <climits>
#include <iterator>

namespace ovcg::irac {

namespace {

// Words of a table entry: four 16-bit plane values to a word.
constexpr uint32_t words_of(uint32_t planes) { return (planes + 3) / 4; }

// One body for every (r, P): r look-ups of ceil(P / 4) words per group of
// r input bytes give every plane's 16-bit value at once; its high byte
// completes the plane's current output byte, its low byte starts the next.
template <int R, int P>
void expand(const RbmExpansion& e) {
    constexpr int W = (P + 3) / 4;
    const uint64_t* const T = e.tables;
    const uint8_t* const in = e.in;
    const size_t n = e.n;
    uint8_t* out[P];
    uint8_t carry[P] = {};
    for (int p = 0; p < P; ++p) out[p] = e.out + size_t(p) * e.planeStride;
    size_t i = 0, o = 0;
    auto emit = [&](const uint64_t (&acc)[W]) {
        for (int p = 0; p < P; ++p) {
            const uint32_t v = uint32_t(acc[p >> 2] >> (16 * (p & 3)));
            out[p][o] = uint8_t(carry[p] | uint8_t(v >> 8));
            carry[p] = uint8_t(v);
        }
        ++o;
    };
    auto partial = [&](uint32_t j) {  // byte positions j.. of a group, as far as the line goes
        uint64_t acc[W] = {};
        for (; j < uint32_t(R) && i < n; ++j, ++i)
            for (int w = 0; w < W; ++w) acc[w] |= T[(size_t(j) * 256 + in[i]) * W + w];
        emit(acc);
    };
    if (e.startInGroup != 0 && n != 0) partial(e.startInGroup);
    for (; n - i >= size_t(R); i += R) {
        uint64_t acc[W] = {};
        for (int j = 0; j < R; ++j) {
            const uint64_t* entry = T + (size_t(j) * 256 + in[i + j]) * W;
            for (int w = 0; w < W; ++w) acc[w] |= entry[w];
        }
        emit(acc);
    }
    if (i < n) partial(0);
    for (int p = 0; p < P; ++p) out[p][o] = carry[p];
}

struct Member {
    uint16_t r, p;
    RbmExpandFn fn;
};
constexpr Member kMembers[] = {
    {1, 1, expand<1, 1>}, {1, 2, expand<1, 2>}, {1, 4, expand<1, 4>},   {2, 2, expand<2, 2>},   {2, 4, expand<2, 4>},
    {2, 8, expand<2, 8>}, {4, 4, expand<4, 4>}, {8, 8, expand<8, 8>}, {16, 16, expand<16, 16>},
};
static_assert(std::size(kMembers) == 9);

RbmExpandFn member_of(uint32_t r, uint32_t p) {
    for (const Member& m : kMembers)
        if (m.r == r && m.p == p) return m.fn;
    return nullptr;
}

// The 16-bit table value of input byte x at byte position j of the group
// for plane p: the plane's dots of that byte at their output slots, moved
// right by the plane's shift inside a 16-bit window.
uint32_t table_entry(uint32_t x, uint32_t j, uint32_t p, uint32_t r, uint32_t planes, uint32_t b, uint32_t s) {
    const uint32_t dotsPerByte = 8 / b;
    const uint32_t first = s > 0 ? (planes + p - s % planes) % planes : p;
    const uint32_t h = s > 0 ? ((s % r > p ? 1 : 0) + s / r) * b : 0;
    const uint32_t spacing = b * planes / r;  // bits between the plane's dots
    uint32_t byte = 0;
    for (uint32_t d = 0; d < dotsPerByte; ++d) {
        const uint32_t t = j * dotsPerByte + d;
        if (t < first || (t - first) % planes != 0) continue;
        const uint32_t k = (t - first) / planes;
        const uint32_t dot = (x >> (8 - b * (d + 1))) & ((1u << b) - 1);
        byte |= dot << (8 - b - k * spacing);
    }
    return (byte << (8 - h)) & 0xFFFF;
}

size_t colour_layers(const RbmObject* o) { return size_t(o->colorCount) * o->layerCount; }

void destroy(RbmObject* o) {
    if (!o) return;
    const CallbackTable& cb = *o->cb;
    const size_t n = colour_layers(o);
    if (o->stores)
        for (size_t i = 0; i < n; ++i) release_ptr(cb, o->stores[i]);
    if (o->firstByte)
        for (size_t i = 0; i < n; ++i) release_ptr(cb, o->firstByte[i]);
    if (o->lastZero)
        for (size_t i = 0; i < n; ++i) release_ptr(cb, o->lastZero[i]);
    release_ptr(cb, o->stores);
    release_ptr(cb, o->firstByte);
    release_ptr(cb, o->lastZero);
    release_ptr(cb, o->flags);
    release_ptr(cb, o->slotRaster);
    release_ptr(cb, o->tables);
    release(cb, o);
}

// Geometry of the job: 406 or 409 when the mode or the sizes are refused.
uint32_t set_geometry(RbmObject* o, const RBMResourceData& res, uint32_t lineBytes, uint32_t slots) {
    if (slots == 0 || lineBytes > uint32_t(INT_MAX)) return kRbmBadSize;
    if (res.bitsPerPixel != 1 && res.bitsPerPixel != 2) return kRbmBadSize;
    const uint32_t r = res.encoderWord3 ? res.modeValue0 / res.encoderWord3 : 0;
    const uint32_t planes = res.colorNum;
    if (!member_of(r, planes)) return kRbmBadRepeat;
    const uint32_t b = res.bitsPerPixel;
    o->repeat = static_cast<uint16_t>(r);
    o->planes = static_cast<uint16_t>(planes);
    o->bits = static_cast<uint16_t>(b);
    o->groupWidth = b * b * r;
    const uint64_t planeLine = (uint64_t{o->groupWidth} + lineBytes - 1 + r - 1) / r + 2;
    const uint64_t store = uint64_t{planes} * slots * (planeLine + 1);
    const uint64_t flagTotal = uint64_t(o->flagBytes) * slots;
    // The zero searches take an int count; the allocator a 32-bit size.
    if (planeLine > uint32_t(INT_MAX) || store > UINT32_MAX || uint64_t{planes} * slots * 4 > UINT32_MAX ||
        flagTotal > UINT32_MAX || uint64_t{slots} * 8 > UINT32_MAX)
        return kRbmBadSize;
    o->planeLineBytes = static_cast<uint32_t>(planeLine);
    o->planeLineStride = o->planeLineBytes + 1;
    o->planeStride = uint64_t{slots} * o->planeLineStride;
    o->flagTotal = static_cast<uint32_t>(flagTotal);
    o->expand = o->pageExpand = member_of(r, planes);
    return 0;
}

uint32_t allocate_parts(RbmObject* o) {
    const CallbackTable& cb = *o->cb;
    const uint64_t tableWords = uint64_t{o->repeat} * 256 * words_of(o->planes);
    if (alloc_array(cb, tableWords, kRbmNoTables, o->tables)) return kRbmNoTables;
    o->tableBytes = static_cast<uint32_t>(tableWords * 8);
    const size_t n = colour_layers(o);
    if (alloc_array(cb, n, kRbmNoStore, o->stores)) return kRbmNoStore;
    if (alloc_array(cb, n, kRbmNoSpaceArrays, o->firstByte)) return kRbmNoSpaceArrays;
    if (alloc_array(cb, n, kRbmNoSpaceArrays, o->lastZero)) return kRbmNoSpaceArrays;
    const uint64_t lines = uint64_t{o->planes} * o->slotCount;
    for (size_t i = 0; i < n; ++i) {
        if (alloc_array(cb, lines * o->planeLineStride, kRbmNoStore, o->stores[i])) return kRbmNoStore;
        if (alloc_array(cb, lines, kRbmNoSpaceArrays, o->firstByte[i])) return kRbmNoSpaceArrays;
        if (alloc_array(cb, lines, kRbmNoSpaceArrays, o->lastZero[i])) return kRbmNoSpaceArrays;
    }
    if (alloc_array(cb, o->flagTotal, kRbmNoFlags, o->flags)) return kRbmNoFlags;
    if (alloc_array(cb, o->slotCount, kRbmNoFlags, o->slotRaster)) return kRbmNoFlags;
    for (uint32_t s = 0; s < o->slotCount; ++s) o->slotRaster[s] = -1;
    return 0;
}

// The slot of raster R when it is held: 407 when not, 408 for an index out
// of range.
uint32_t held_slot(const RbmObject* o, int32_t raster, int16_t colour, int16_t layer, int16_t plane, uint32_t& slot) {
    if (!o || raster < 0 || colour < 0 || colour >= o->colorCount || layer < 0 || layer >= o->layerCount ||
        plane < 0 || plane >= o->planes)
        return kRbmBadIndex;
    slot = uint32_t(raster) % o->slotCount;
    return o->slotRaster[slot] == raster ? 0 : kRbmNotHeld;
}

bool has_flag(const RbmObject* o, uint32_t slot, int16_t colour, int16_t layer) {
    const uint32_t perLayer = uint32_t(o->colorCount - 1) / 8 + 1;
    const uint32_t byte = slot * uint32_t(o->flagBytes) + uint32_t(colour) / 8 + uint32_t(layer) * perLayer;
    return (o->flags[byte] >> (colour % 8)) & 1;
}

size_t line_index(const RbmObject* o, uint32_t slot, int16_t plane) {
    return (size_t(plane) * o->slotCount + slot);
}

}  // namespace

void RBM_Copy_RasterData(const RbmExpansion& e) {
    if (e.n) e.cb->copy(e.out, e.in, static_cast<uint32_t>(e.n));
    e.out[e.n] = 0;
}

void RBM_Masking_RasterData_repeat1(const RbmExpansion& e) { expand<1, 1>(e); }
void RBM_Masking_RasterData_repeat1_ol2(const RbmExpansion& e) { expand<1, 2>(e); }
void RBM_Masking_RasterData_repeat1_ol4(const RbmExpansion& e) { expand<1, 4>(e); }
void RBM_Masking_RasterData_repeat2(const RbmExpansion& e) { expand<2, 2>(e); }
void RBM_Masking_RasterData_repeat2_ol4(const RbmExpansion& e) { expand<2, 4>(e); }
void RBM_Masking_RasterData_repeat2_ol8(const RbmExpansion& e) { expand<2, 8>(e); }
void RBM_Masking_RasterData_repeat4(const RbmExpansion& e) { expand<4, 4>(e); }
void RBM_Masking_RasterData_repeat8(const RbmExpansion& e) { expand<8, 8>(e); }
void RBM_Masking_RasterData_repeat16(const RbmExpansion& e) { expand<16, 16>(e); }

uint32_t RBM_Constructor(RbmObject** out, uint32_t lineBytes, int16_t colorCount, int8_t layerCount,
                         uint32_t slotCount, RscObject* rsc, uint32_t* planeLineBytes, const CallbackTable* cb) {
    if (!out) return kRbmNoObject;
    *out = nullptr;
    RbmObject* o = nullptr;
    if (uint32_t rc = allocate_owned(&o, cb, kRbmNoObject)) return rc;
    uint32_t rc = 0;
    RBMResourceData* res = nullptr;
    if (colorCount < 1 || layerCount < 1) {
        rc = kRbmBadSize;
    } else {
        o->lineBytes = lineBytes;
        o->colorCount = colorCount;
        o->layerCount = static_cast<uint8_t>(layerCount);
        o->slotCount = slotCount;
        o->flagBytes = ((colorCount - 1) / 8 + 1) * layerCount;
        rc = RSC_GetRBMResourceData(rsc, &res);
    }
    if (!rc) {
        o->res = res;
        rc = set_geometry(o, *res, lineBytes, slotCount);
    }
    if (!rc) rc = allocate_parts(o);
    if (rc) {
        destroy(o);
        return rc;
    }
    if (planeLineBytes) *planeLineBytes = o->planeLineBytes;
    *out = o;
    return 0;
}

void RBM_Destructor(RbmObject* rbm) { destroy(rbm); }

uint32_t RBM_StartPage(RbmObject* o, int32_t leftOffset, uint8_t v0, uint8_t v1, uint8_t v2, uint32_t value,
                       uint32_t* shift) {
    if (!o || leftOffset < 0) return kRbmBadIndex;
    o->pageBytes[0] = v0;
    o->pageBytes[1] = v1;
    o->pageBytes[2] = v2;
    o->pageValue = value;
    const uint32_t b = o->bits, r = o->repeat, planes = o->planes;
    const uint32_t groupDots = o->groupWidth * 8 / b;
    const uint32_t L = uint32_t(leftOffset);
    const uint32_t rest = L % groupDots;
    o->leftOffset = L - rest;
    o->shift = rest % (8 / b);
    const uint32_t byte = rest * b / 8;
    o->startByte = byte / r;
    o->startInGroup = byte % r;
    o->extraByte = o->shift > 0 ? 1 : 0;
    const uint32_t W = words_of(planes);
    o->cb->fill(o->tables, 0, o->tableBytes);
    for (uint32_t j = 0; j < r; ++j)
        for (uint32_t x = 0; x < 256; ++x)
            for (uint32_t p = 0; p < planes; ++p)
                o->tables[(j * 256 + x) * W + p / 4] |= uint64_t{table_entry(x, j, p, r, planes, b, o->shift)}
                                                        << (16 * (p % 4));
    o->pageExpand = (r == 1 && planes == 1 && o->shift == 0) ? RBM_Copy_RasterData : o->expand;
    const uint64_t storeBytes = uint64_t{planes} * o->slotCount * o->planeLineStride;
    for (size_t i = 0; i < colour_layers(o); ++i) o->cb->fill(o->stores[i], 0, static_cast<uint32_t>(storeBytes));
    o->cb->fill(o->flags, 0, o->flagTotal);
    for (uint32_t s = 0; s < o->slotCount; ++s) o->slotRaster[s] = -1;
    if (shift) *shift = o->shift;
    return 0;
}

uint32_t RBM_SetRasterdata(RbmObject* o, int32_t raster, int32_t lineWidth, uint8_t* const* lines, int32_t index,
                           uint32_t, uint8_t* hasData) {
    if (hasData) *hasData = 0;
    if (!o) return kRbmBadIndex;
    if (raster < 0) return 0;
    if (!lines || index < 0 || lineWidth < 0) return kRbmBadIndex;
    const CallbackTable& cb = *o->cb;
    const uint32_t slot = uint32_t(raster) % o->slotCount;
    uint8_t* flags = o->flags + size_t(slot) * uint32_t(o->flagBytes);
    cb.fill(flags, 0, uint32_t(o->flagBytes));
    o->slotRaster[slot] = raster;
    const int n = static_cast<int>(o->lineBytes);
    const uint32_t perLayer = uint32_t(o->colorCount - 1) / 8 + 1;
    const uint32_t B = o->planeLineBytes;
    for (uint32_t layer = 0; layer < o->layerCount; ++layer) {
        for (uint32_t c = 0; c < uint32_t(o->colorCount); ++c) {
            const size_t cl = size_t(layer) * uint32_t(o->colorCount) + c;
            const uint8_t* line = nullptr;
            if (o->layeredHT) {
                line = lines[size_t(index) * colour_layers(o) + cl];
            } else if (lines[index]) {
                line = lines[index] + cl * size_t(lineWidth);
            }
            if (!line) continue;
            const int z = cb.lead_zero_search(line, n);
            if (z < 0 || z >= n) continue;
            flags[c / 8 + layer * perLayer] = uint8_t(flags[c / 8 + layer * perLayer] | (1u << (c % 8)));
            uint8_t* slotLine = o->stores[cl] + size_t(slot) * o->planeLineStride;
            o->pageExpand(RbmExpansion{o->tables, line, o->lineBytes, o->startInGroup, slotLine + o->startByte,
                                       size_t(o->planeStride), o->cb});
            const uint32_t from = uint32_t(z) / o->repeat + o->startByte;
            for (uint32_t p = 0; p < o->planes; ++p) {
                const uint8_t* plane = slotLine + p * o->planeStride;
                const size_t at = line_index(o, slot, int16_t(p));
                o->firstByte[cl][at] = from + uint32_t(cb.lead_zero_search(plane + from, int(B - from)));
                o->lastZero[cl][at] = uint32_t(cb.trail_zero_search(plane, int(B)));
            }
        }
    }
    if (hasData) {
        for (int32_t i = 0; i < o->flagBytes; ++i)
            if (flags[i]) *hasData = 1;
    }
    return 0;
}

uint32_t RBM_SetBlankRasterdata(RbmObject* o, int32_t raster) {
    if (!o) return kRbmBadIndex;
    if (raster < 0) return 0;
    const uint32_t slot = uint32_t(raster) % o->slotCount;
    o->cb->fill(o->flags + size_t(slot) * uint32_t(o->flagBytes), 0, uint32_t(o->flagBytes));
    o->slotRaster[slot] = raster;
    return 0;
}

uint32_t RBM_GetRasterdata(const RbmObject* o, int32_t raster, int16_t colour, int16_t layer, int16_t plane,
                           uint8_t** line) {
    if (!line) return kRbmBadIndex;
    *line = nullptr;
    uint32_t slot = 0;
    if (uint32_t rc = held_slot(o, raster, colour, layer, plane, slot)) return rc;
    if (!has_flag(o, slot, colour, layer)) return 0;
    const size_t cl = size_t(layer) * uint32_t(o->colorCount) + uint32_t(colour);
    *line = o->stores[cl] + line_index(o, slot, plane) * o->planeLineStride;
    return 1;
}

uint32_t RBM_GetSpacesize(const RbmObject* o, int32_t raster, int16_t colour, int16_t layer, int16_t plane,
                          uint32_t* firstByte, uint32_t* lastZero) {
    if (!firstByte || !lastZero) return kRbmBadIndex;
    uint32_t slot = 0;
    if (uint32_t rc = held_slot(o, raster, colour, layer, plane, slot)) return rc;
    if (!has_flag(o, slot, colour, layer)) return 0;
    const size_t cl = size_t(layer) * uint32_t(o->colorCount) + uint32_t(colour);
    *firstByte = o->firstByte[cl][line_index(o, slot, plane)];
    *lastZero = o->lastZero[cl][line_index(o, slot, plane)];
    return *firstByte < o->planeLineBytes ? 1 : 0;
}

uint32_t RBM_CalcRasterTop(const RbmObject* o, uint32_t byte) {
    if (!o) return 0;
    const uint64_t top = uint64_t{o->repeat} * byte / o->groupWidth * o->groupWidth;
    return top > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(top);
}

uint32_t RBM_CalcRasterGraphicsWidth(const RbmObject* o, int32_t top, uint32_t lastZero, uint32_t* offset,
                                     uint32_t* width) {
    if (!o || !offset || !width || top < 0) return kRbmBadIndex;
    const uint64_t off = uint32_t(top) / o->repeat;
    if (off + lastZero > o->planeLineBytes) return kRbmBadIndex;
    *offset = static_cast<uint32_t>(off);
    *width = static_cast<uint32_t>(o->planeLineBytes - off - lastZero + o->extraByte);
    return 0;
}

uint32_t RBM_GetLeftOffset(const RbmObject* o) { return o ? o->leftOffset : 0; }
uint16_t RBM_GetRepeatNum(const RbmObject* o) { return o ? o->repeat : 0; }
int32_t RBM_SearchNextRaster(const RbmObject*, int32_t, int32_t) { return -1; }
int32_t RBM_SearchNextColorRaster(const RbmObject*, int32_t, int32_t) { return -1; }
int32_t RBM_SearchNextMonoRaster(const RbmObject*, int32_t, int32_t) { return -1; }
int32_t RBM_CountBlankRaster(const RbmObject*, int32_t, int32_t, int16_t) { return 0; }
uint32_t RBM_GetRasterbufferSize(const RbmObject*) { return 0; }
uint32_t RBM_SumAllocateMemorySize(const RbmObject*) { return 0; }

uint32_t RBM_SetOn_Rasterdata_forLayeredHT(RbmObject* o) {
    if (!o) return kRbmBadIndex;
    o->layeredHT = 1;
    return 0;
}

}  // namespace ovcg::irac
