// Fuzzes the halftone engine's resource unpacking: the envelope check, the
// adaptive Huffman/LZ77 decoder and the planar look-up-table rewrite.
#include "hxr/control/hxr_decomp.h"

#include <cstdlib>
#include <vector>

namespace {

void* fuzz_alloc(size_t count, size_t size) {
    if (!count || !size) return nullptr;
    // Keep a hostile length from exhausting the fuzzer's memory limit.
    if (size > (64u << 20) / count) return nullptr;
    return std::calloc(count, size);
}
void fuzz_free(void* p) { std::free(p); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HXRMemMgr* mm = HXRCreateMemMgr(fuzz_alloc, fuzz_free);
    HXRDeCompState* st = nullptr;
    if (!mm || HXRDeCompNew(&st, mm) != 0) {
        if (mm) HXRDeleteMemMgr(mm);
        return 0;
    }
    if (size > 0) {
        const uint8_t mode = data[0] % 3;
        std::vector<uint8_t> res;
        if (mode == 0) {
            // As given: plain, or an envelope of its own.
            res.assign(data + 1, data + size);
        } else {
            // The rest as a code stream inside a consistent envelope.
            res = {0x7A, 0xCF, 0x86, 0x5C, 0x7D, 0x90, 0x3C, uint8_t(mode == 1 ? 0xB9 : 0xBA)};
            const uint32_t len = uint32_t(size - 1);
            for (int k = 0; k < 4; ++k) res.push_back(uint8_t(len >> (8 * k)));
            res.insert(res.end(), data + 1, data + size);
        }
        void* out = nullptr;
        uint32_t out_size = 0;
        if (HXRDeComp(st, res.data(), uint32_t(res.size()), &out, &out_size, mm) == 0 && out != res.data()) {
            // Touch every byte the decoder claims, and the zero slack after it.
            volatile uint8_t sink = 0;
            const uint8_t* o = static_cast<const uint8_t*>(out);
            for (uint32_t i = 0; i < out_size + kHxrResourceSlack; ++i) sink = sink ^ o[i];
            HXRFreeMem(mm, out);
        }
        // The bare decoder into a small buffer.
        std::vector<uint8_t> dst(4096);
        HXRDecompress(data + 1, uint32_t(size - 1), dst.data(), uint32_t(dst.size()), st);
    }
    HXRDeCompDelete(st, mm);
    HXRDeleteMemMgr(mm);
    return 0;
}
