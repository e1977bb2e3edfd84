// The two masking functions of the output loop. A mask of L bytes is read
// cyclically from any start; a short mask (the 4-byte mask words above all)
// is first repeated into a local run of at least 64 bytes, so that the AND
// works over long stretches the compiler vectorises, whatever L and the
// start are.
#include "headcontrol/pmm_masks.h"

namespace ovcg::irac {

namespace {

constexpr uint32_t kMinRun = 64;

struct Cyclic {
    const uint8_t* bytes;
    uint32_t length;
    uint32_t pos;
};

// False for a slot without bytes.
bool prepare(const PolMaskSlot& s, uint8_t (&room)[2 * kMinRun], Cyclic& out) {
    if (!s.pattern || s.width == 0) return false;
    const uint32_t L = s.width;
    if (L >= kMinRun) {
        out = {s.pattern, L, s.start % L};
        return true;
    }
    const uint32_t total = (kMinRun + L - 1) / L * L;
    for (uint32_t i = 0; i < total; ++i) room[i] = s.pattern[i % L];
    out = {room, total, s.start % L};
    return true;
}

void and_run(const uint8_t* src, const uint8_t* m, uint8_t* dst, uint32_t n) {
    for (uint32_t k = 0; k < n; ++k) dst[k] = uint8_t(src[k] & m[k]);
}

void and_run2(const uint8_t* src, const uint8_t* m1, const uint8_t* m2, uint8_t* dst, uint32_t n) {
    for (uint32_t k = 0; k < n; ++k) dst[k] = uint8_t(src[k] & m1[k] & m2[k]);
}

void zero(uint8_t* dst, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) dst[i] = 0;
}

}  // namespace

uint32_t PMM_Masking_RasterData_pol(const uint8_t* src, uint32_t count, const PolMaskInfo* info, uint8_t* dst) {
    uint8_t room[2 * kMinRun];
    Cyclic m{};
    if (!info || !prepare(info->slot[0], room, m)) {
        zero(dst, count);
        return 0;
    }
    for (uint32_t i = 0; i < count;) {
        const uint32_t run = m.length - m.pos < count - i ? m.length - m.pos : count - i;
        and_run(src + i, m.bytes + m.pos, dst + i, run);
        i += run;
        m.pos = 0;
    }
    return 0;
}

uint32_t PMM_Masking_RasterData_polpol(const uint8_t* src, uint32_t count, const PolMaskInfo* info, uint8_t* dst) {
    uint8_t room1[2 * kMinRun], room2[2 * kMinRun];
    Cyclic a{}, b{};
    if (!info || !prepare(info->slot[0], room1, a) || !prepare(info->slot[1], room2, b)) {
        zero(dst, count);
        return 0;
    }
    for (uint32_t i = 0; i < count;) {
        uint32_t run = count - i;
        if (a.length - a.pos < run) run = a.length - a.pos;
        if (b.length - b.pos < run) run = b.length - b.pos;
        and_run2(src + i, a.bytes + a.pos, b.bytes + b.pos, dst + i, run);
        i += run;
        a.pos = a.pos + run == a.length ? 0 : a.pos + run;
        b.pos = b.pos + run == b.length ? 0 : b.pos + run;
    }
    return 0;
}

}  // namespace ovcg::irac
