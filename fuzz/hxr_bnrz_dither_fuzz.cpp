// Fuzzes the ordered-dither wrappers and the HybridED object and wrapper
// (first byte 0x80 and up): random dither records, SML rows, spans and ink
// rows, each in a buffer of exactly the size its contract names. After every
// accepted call, counts 1..3 must equal the span's histogram and the pixels
// before the span must be as they were; a HybridED run must leave every
// byte outside its span's bytes, and every position of them outside the
// span, as the contract says, over several lines, heads and re-seedings.
#include "hxr/binarize/hxr_bnrz_dither.h"
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void* fuzz_alloc(size_t count, size_t size) { return count && size ? std::calloc(count, size) : nullptr; }
void fuzz_free(void* p) { std::free(p); }

// Input bytes, then zeros.
class Reader {
public:
    Reader(const uint8_t* d, size_t n) : d_(d), n_(n) {}
    uint8_t u8() { return pos_ < n_ ? d_[pos_++] : 0; }
    uint16_t u16() { return uint16_t(u8() | (u8() << 8)); }
    uint32_t u32() { return uint32_t(u16()) | (uint32_t(u16()) << 16); }

private:
    const uint8_t* d_;
    size_t n_, pos_ = 0;
};

struct Variant {
    uint32_t kind, elementSize, dotMode;
};
constexpr Variant kVariants[] = {{1, 1, 1}, {1, 1, 2}, {6, 1, 1}, {4, 1, 34}, {5, 2, 1}, {6, 2, 2}};
constexpr uint32_t kLevels[] = {256, 255, 65535, 1, 300, 0};

// Reads a code of `bits` bits at pixel x of an MSB-first plane.
uint32_t code_at(const std::vector<uint8_t>& plane, size_t x, int bits) {
    const size_t per = size_t(8 / bits);
    return (plane[x / per] >> (8 - bits * int(x % per + 1))) & ((1u << bits) - 1);
}

void hybrid_ed(Reader& in) {
    struct Ratio {
        int32_t h, v;
    };
    constexpr Ratio kRatios[] = {{720, 720}, {720, 360}, {1440, 360}, {360, 720}, {720, 1080}, {1080, 720}};
    const Ratio ratio = kRatios[in.u8() % 6];
    const uint32_t dotMode = 1 + in.u8() % 2, htType = 5 + in.u8() % 2;
    const int bits = int(dotMode), per = 8 / bits;
    const uint32_t pixels = 1 + in.u16() % 2048;
    // The four records of creation and the row of the runs: 256 levels of
    // 1 or 3 values, from the input (now and then past the scale).
    const uint32_t dots = dotMode == 1 ? 1 : 3;
    std::vector<uint32_t> rates(256 * dots);
    for (uint32_t& r : rates) r = in.u8() == 0xFF ? in.u32() : in.u16() % 4096;
    const HXRSmlColorData row{256, dots, {}, rates.data()};
    const HXRSmlColorData* four[4] = {in.u8() % 2 ? &row : nullptr, &row, nullptr, nullptr};
    const HXRSmlColorData* pair[2] = {&row, &row};
    const int32_t w = 4 + in.u8() % 60, h = 1 + in.u8() % 40;
    const uint32_t stride = uint32_t(w) + 3 + in.u8() % 4;
    std::vector<uint16_t> cells(size_t(stride) * uint32_t(h));
    for (uint16_t& c : cells) c = in.u8() == 0xFF ? in.u16() : uint16_t(8192 + in.u16() % 4096);
    const HXRDthData dth{w, h, int32_t(in.u32()), int32_t(in.u32()), cells.data(), stride};
    const HXRDthOffset off{in.u32(), in.u32()};

    HXRMemMgr* mm = HXRCreateMemMgr(fuzz_alloc, fuzz_free);
    HXRRandNum* random = mm ? HXRCreateRandNum(mm) : nullptr;
    HXRIntermediateData interm{};
    interm.linePixelSize = pixels;
    HXRHybridEDBinarizer* b = HXRCreateBinarizeHybridED(0, ratio.h, ratio.v, 1, 1, dotMode, htType, in.u16(), four,
                                                        &interm, random, mm);
    for (int line = 0, lines = 1 + in.u8() % 8; b && line < lines; ++line) {
        const int32_t heads = int32_t(in.u8() % 4), head = int32_t(in.u8() % 3);
        const uint32_t y = in.u8() % 4 ? uint32_t(line) : in.u32();
        if (HXRSwitchHybridEDErrorBuff(b, heads) != 0) continue;
        int32_t* error = HXRGetHybridEDErrorBuffer(b, random, y, head);
        if (!error) continue;
        int32_t x0 = int32_t(in.u16() % (pixels + 1)), n = int32_t(in.u16() % (pixels + 1));
        if (in.u8() == 0xFF) x0 = -x0 - 1;
        std::vector<uint8_t> ink(pixels), plane((size_t(pixels) * size_t(bits) + 7) / 8, 0xA5);
        for (uint8_t& x : ink) x = in.u8();
        const std::vector<uint8_t> before = plane;
        uint32_t counts[7] = {};
        const uint32_t result = HXRBinarizeHybridED(b, plane.data(), counts, ink.data(), nullptr, error, x0, n, &dth,
                                                    &off, pair, in.u32());
        const bool inside = x0 >= 0 && n >= 0 && int64_t(x0) + n <= int64_t(pixels);
        if (result != (inside ? 0u : 1u)) std::abort();
        if (result == 0 && n > 0) {
            uint32_t histogram[4] = {};
            const size_t first = size_t(x0) / size_t(per), last = size_t(x0 + n - 1) / size_t(per);
            for (size_t x = first * size_t(per); x < (last + 1) * size_t(per); ++x) {
                const uint32_t code = code_at(plane, x, bits);
                if (x < size_t(x0) || x >= size_t(x0 + n)) {
                    if (code != 0) std::abort();
                } else {
                    ++histogram[code];
                }
            }
            for (int k = 1; k < 4; ++k)
                if (counts[k] != histogram[k]) std::abort();
            if (counts[0] != 0) std::abort();
            for (size_t i = 0; i < plane.size(); ++i)
                if ((i < first || i > last) && plane[i] != before[i]) std::abort();
        } else if (plane != before) {
            std::abort();
        }
        HXRSetHybridEDVPostion(b, y);
    }
    HXRDeleteMemMgr(mm);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const uint8_t selector = in.u8();
    if (selector & 0x80) {
        hybrid_ed(in);
        return 0;
    }
    const Variant v = kVariants[selector % 6];
    const int32_t w = int8_t(in.u8()), h = int8_t(in.u8());
    const int32_t stride_extra = in.u8() % 8;
    const int32_t shift_h = int32_t(in.u32()), shift_v = int32_t(in.u32());
    const HXRDthOffset off{in.u32(), in.u32()};
    const uint32_t nozzle = in.u32();
    const int32_t x0 = int32_t(in.u16() % 4096) - (in.u8() == 0xFF ? 5000 : 0);
    const int32_t n = int32_t(in.u16() % 12000) - (in.u8() == 0xFF ? 20000 : 0);
    const uint32_t levels = kLevels[in.u8() % 6];
    const uint32_t dots = 1 + in.u8() % 3;

    HXRMemMgr* mm = HXRCreateMemMgr(fuzz_alloc, fuzz_free);
    const HXRDitherBinarizer* b = mm ? HXRCreateBinarizeDither(v.kind, v.elementSize, v.dotMode, mm) : nullptr;
    if (!b) {
        HXRDeleteMemMgr(mm);
        return 0;
    }
    // The record: stride x H cells exactly (stride may fall short of W + 3).
    const uint32_t stride = uint32_t(w > 0 ? w : 0) + uint32_t(stride_extra) + 1;
    std::vector<uint16_t> cells(size_t(stride) * uint32_t(h > 0 ? h : 0));
    for (uint16_t& c : cells) c = in.u16();
    const HXRDthData dth{w, h, shift_h, shift_v, cells.empty() ? nullptr : cells.data(), stride};
    // The SML row: levels x dots rates exactly.
    std::vector<uint32_t> rates(size_t(levels) * dots);
    for (size_t i = 0; i < rates.size(); ++i) rates[i] = i < 4096 ? in.u16() : rates[i - 4096];
    const HXRSmlColorData row{levels, dots, {}, rates.empty() ? nullptr : rates.data()};
    const HXRSmlColorData* pair[2] = {&row, &row};
    // Ink row and plane sized by the contract.
    const int bits = (v.dotMode & 15) == 1 ? 1 : 2, per = 8 / bits;
    const bool span_ok = x0 >= 0 && n >= 0;
    const size_t end = span_ok ? size_t(x0) + size_t(n) : 0;
    const size_t pixels = (end + size_t(per) - 1) / size_t(per) * size_t(per);
    std::vector<uint8_t> plane(pixels / size_t(per) + (pixels ? 0 : 1), 0xA5);
    const std::vector<uint8_t> before = plane;
    uint32_t counts[7] = {};
    uint32_t result;
    if (v.elementSize == 2) {
        std::vector<uint16_t> ink(pixels ? pixels : 1);
        for (uint16_t& x : ink) x = in.u16();
        result = HXRBinarizeDither16bit(b, plane.data(), counts, ink.data(), nullptr, x0, n, &dth, &off, pair, nozzle);
    } else {
        std::vector<uint8_t> ink(pixels ? pixels : 1);
        for (uint8_t& x : ink) x = in.u8();
        result = HXRBinarizeDither(b, plane.data(), counts, ink.data(), nullptr, x0, n, &dth, &off, pair, nozzle);
    }
    if (result == 0) {
        uint32_t histogram[4] = {};
        for (size_t x = size_t(x0); x < end; ++x)
            ++histogram[(plane[x / size_t(per)] >> (8 - bits * (x % size_t(per) + 1))) & ((1u << bits) - 1)];
        for (int k = 1; k < 4; ++k)
            if (counts[k] != histogram[k]) std::abort();
        const size_t head = size_t(x0) / size_t(per);
        if (x0 % per) {
            const uint8_t keep = uint8_t(0xFFu >> (bits * (x0 % per)));
            if ((plane[head] & ~keep) != (before[head] & ~keep)) std::abort();
        }
        if (std::memcmp(plane.data(), before.data(), head) != 0) std::abort();
    }
    HXRDeleteMemMgr(mm);
    return 0;
}
