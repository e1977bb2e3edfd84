// Fuzzes the dither resource parsers and the dither manager over them.
#include "hxr/control/hxr_dither.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void* fuzz_alloc(size_t count, size_t size) {
    if (!count || !size) return nullptr;
    if (size > (64u << 20) / count) return nullptr;
    return std::calloc(count, size);
}
void fuzz_free(void* p) { std::free(p); }
void* fuzz_memcpy(void* d, const void* s, size_t n) { return std::memcpy(d, s, n); }
int fuzz_strncmp(const char* a, const char* b, size_t n) { return std::strncmp(a, b, n); }

// Three resources cut from the input: the dither resource (identifier 1), the
// offset resource (identifier 2) and a mask that every other identifier gets.
struct Parts {
    std::vector<uint8_t> part[3];
};

void* get_resource(void* context, unsigned int* size, int id, int) {
    auto* parts = static_cast<Parts*>(context);
    const std::vector<uint8_t>& p = parts->part[id == 1 ? 0 : id == 2 ? 1 : 2];
    void* copy = std::malloc(p.empty() ? 1 : p.size());
    if (copy && !p.empty()) std::memcpy(copy, p.data(), p.size());
    *size = unsigned(p.size());
    return copy;
}
int free_resource(void*, void* data) {
    std::free(data);
    return 0;
}

void walk_mask(const HXRDthResParser* m) {
    if (!m) return;
    const uint32_t w = HXRGetDthSizeH(m), h = HXRGetDthSizeV(m);
    for (uint32_t y = 0; y < h && y < 64; ++y)
        for (uint32_t x = 0; x < w && x < 64; ++x) HXRGetDthThresh(m, x, y);
    HXRGetDthThresh(m, w - 1, h - 1);
    const uint32_t blocks = HXRGetDthUBECBlockNum(m);
    if (blocks != 0xFFFFFFFFu) {
        for (uint32_t b = 0; b < blocks && b < 256; ++b)
            for (uint32_t j = 0; j < 17; ++j) HXRGetDthUBECOrder(m, b, j), HXRGetDthUBECThresh(m, b, j);
        HXRGetDthUBECThresh(m, blocks - 1, 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HXRMemMgr* mm = HXRCreateMemMgr(fuzz_alloc, fuzz_free);
    if (!mm) return 0;
    // Each parser on the whole input, in a buffer of exactly its size.
    std::vector<uint8_t> whole(data, data + size);
    const uint8_t* p = whole.empty() ? nullptr : whole.data();
    if (p) {
        if (HXRDthSwcResParser* s = HXRCreateDthSwcResParser(p, uint32_t(size), fuzz_strncmp, mm)) {
            for (uint32_t a = 0; a < 7; ++a)
                for (uint32_t k = 0; k < 13; ++k) HXRGetDthResNo(s, a, k);
            HXRDeleteDthSwcResParser(s, mm);
        }
        if (HXRDthResParser* m = HXRCreateDthResParser(p, uint32_t(size), fuzz_strncmp, mm)) {
            walk_mask(m);
            HXRDeleteDthResParser(m, mm);
        }
        if (HXRDthOffResParser* o = HXRCreateDthOffResParser(p, uint32_t(size), fuzz_strncmp, mm)) {
            for (uint32_t k = 0; k < 13; ++k) HXRGetDthOffsetH(o, 0, k, 64), HXRGetDthOffsetV(o, 0, k, -7);
            HXRDeleteDthOffResParser(o, mm);
        }
    }
    // The manager over three resources cut at the lengths in the first 4 bytes.
    if (size >= 5) {
        Parts parts;
        const size_t a = data[0] | (data[1] << 8), b = data[2] | (data[3] << 8);
        size_t pos = 5;
        const size_t la = a < size - pos ? a : size - pos;
        parts.part[0].assign(data + pos, data + pos + la);
        pos += la;
        const size_t lb = b < size - pos ? b : size - pos;
        parts.part[1].assign(data + pos, data + pos + lb);
        pos += lb;
        parts.part[2].assign(data + pos, data + size);
        const uint32_t ink_sets[] = {0, 1, 3, 11, 38};
        HXRClrMgr* clr = HXRCreateClrMgr(ink_sets[data[4] % 5], data[4] % 5 == 3 ? 34 : 1, 0, mm);
        HXRResMgr* rm = HXRCreateResMgr(get_resource, free_resource, &parts, fuzz_memcpy, mm);
        if (clr && rm) {
            if (HXRDthResMgr* d = HXRCreateDthResMgr(1, 2, clr, fuzz_strncmp, rm, mm)) {
                const uint32_t inks = HXRGetOutputColorNum(clr);
                for (uint32_t area = 0; area < HXRGetDthResAreaNum(d); ++area)
                    for (uint32_t ink = 0; ink < inks; ++ink) {
                        for (uint32_t y = 0; y < 40; y += 3)
                            for (uint32_t x = 0; x < 40; x += 5) HXRGetDthResMgrThresh(d, area, ink, x, y);
                        uint32_t order = 0;
                        for (uint32_t blk = 0; blk < 4; ++blk)
                            for (uint32_t pos2 = 0; pos2 < 16; ++pos2)
                                HXRGetDthResMgrUBECThresh(d, area, ink, blk, pos2, 4, 4, &order);
                        HXRGetDthResMgrOffsetH(d, area, ink);
                        HXRGetDthResMgrOffsetV(d, area, ink);
                        HXRGetDthResMgrUBECBlockNumH(d, area, ink);
                        HXRIsSameDth(d, area, ink, 0, 0);
                    }
                HXRDeleteDthResMgr(d, mm);
            }
        }
    }
    HXRSetErrorInfo(0);
    HXRDeleteMemMgr(mm);  // frees the managers too
    return 0;
}
