#include "hxr/control/hxr_cfg.h"

#include "common/byte_cursor.h"

namespace {

constexpr char kMagic[4] = {'H', 'L', '<', 'c'};
constexpr uint32_t kHeader = 28;
constexpr uint32_t kModeEntry = 8;
constexpr uint32_t kBlockHeader = 2;

// A name list, walked entry by entry: {length, text, number}.
struct Name {
    uint8_t length;
    const char* text;
    uint8_t number;
};

}  // namespace

struct HXRCfgResParser {
    const uint8_t* resource;
    uint32_t size;
    int32_t list_a, list_b, modes;  // offsets, checked when parsed
    uint32_t value_size;
};

namespace {

// A cursor over the resource from an s32 offset; failed for a negative one.
ovcg::ByteCursor from(const ovcg::ByteCursor& res, int32_t offset) {
    ovcg::ByteCursor c;
    if (offset < 0 || !res.tail_at(size_t(offset), c)) c.fail();
    return c;
}

bool next_name(ovcg::ByteCursor& c, Name& n) {
    n.length = c.u8();
    n.text = reinterpret_cast<const char*>(c.take(n.length));
    n.number = c.u8();
    return c.ok();
}

// Checks that a name list lies inside the resource and holds no name twice.
uint32_t check_names(const ovcg::ByteCursor& res, int32_t offset, HXRStrNCmpFn cmp, uint32_t dup_code) {
    ovcg::ByteCursor c = from(res, offset);
    const uint8_t count = c.u8();
    if (!c.ok()) return kHxrCfgBlockSize;
    for (uint32_t i = 0; i < count; ++i) {
        Name n{};
        if (!next_name(c, n)) return kHxrCfgBlockSize;
        ovcg::ByteCursor before = from(res, offset);
        before.u8();
        for (uint32_t j = 0; j < i; ++j) {
            Name m{};
            next_name(before, m);
            if (m.length == n.length && cmp(m.text, n.text, n.length) == 0) return dup_code;
        }
    }
    return 0;
}

uint32_t check_modes(const ovcg::ByteCursor& res, int32_t offset, uint32_t value_size) {
    ovcg::ByteCursor c = from(res, offset);
    const uint8_t count = c.u8();
    const uint8_t* entries = c.take(size_t(count) * kModeEntry);
    if (!c.ok()) return kHxrCfgBlockSize;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = entries + kModeEntry * i;
        for (uint32_t j = 0; j < i; ++j) {
            const uint8_t* f = entries + kModeEntry * j;
            if (e[0] == f[0] && e[1] == f[1] && e[2] == f[2] && e[3] == f[3]) return kHxrCfgDupMode;
        }
    }
    // Every correction block must lie inside the resource.
    for (uint32_t i = 0; i < count; ++i) {
        ovcg::ByteCursor b = from(res, static_cast<int32_t>(ovcg::load_u32le(entries + kModeEntry * i + 4)));
        const uint8_t t = b.u8(), w = b.u8();
        if (w >= 1 && w <= kHxrCfgMaxValues) b.take(size_t(t) * w * value_size);
        if (!b.ok()) return kHxrCfgBlockSize;
    }
    return 0;
}

// The number of the first entry whose text begins the name; -1 when none.
int32_t name_number(ovcg::ByteCursor list, const char* name, HXRStrNCmpFn cmp) {
    if (!name) return -1;
    const uint8_t count = list.u8();
    for (uint32_t i = 0; i < count; ++i) {
        Name n{};
        if (next_name(list, n) && cmp(n.text, name, n.length) == 0) return n.number;
    }
    return -1;
}

}  // namespace

HXRCfgResParser* HXRCreateCfgResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, HXRMemMgr* mm) {
    if (!res || !cmp || !mm) return nullptr;
    const ovcg::ByteCursor cur(res, size);
    uint32_t rc = 0;
    uint16_t version = 0;
    if (size < sizeof kMagic || cmp(reinterpret_cast<const char*>(res), kMagic, sizeof kMagic) != 0)
        rc = kHxrCfgBadMagic;
    else if (!cur.peek_u16le(8, version) || (version != 2 && version != 3))
        rc = kHxrCfgBadVersion;
    else if (size < kHeader)
        rc = kHxrCfgBlockSize;
    const uint32_t value_size = version == 3 ? 2 : 1;
    const auto offset = [&](size_t at) { return static_cast<int32_t>(ovcg::load_u32le(res + at)); };
    if (!rc) rc = check_names(cur, offset(16), cmp, kHxrCfgDupNameA);
    if (!rc) rc = check_names(cur, offset(20), cmp, kHxrCfgDupNameB);
    if (!rc) rc = check_modes(cur, offset(24), value_size);
    if (rc) {
        HXRSetErrorInfo(rc);
        return nullptr;
    }
    auto* p = static_cast<HXRCfgResParser*>(HXRAllocMem(mm, sizeof(HXRCfgResParser)));
    if (!p) return nullptr;
    *p = {res, size, offset(16), offset(20), offset(24), value_size};
    return p;
}

uint32_t HXRDeleteCfgResParser(HXRCfgResParser* p, HXRMemMgr* mm) { return HXRFreeObject(mm, p, kHxrCfgNone); }

uint32_t HXRGetIdPosSize(const HXRCfgResParser* p) { return p ? p->value_size : kHxrNoValue; }

const uint8_t* HXRSearchCorrectMode(const HXRCfgResParser* p, uint32_t first, uint32_t second, const char* ink_set,
                                    const char* micro, HXRStrNCmpFn cmp) {
    if (!p || !cmp) return nullptr;
    const ovcg::ByteCursor res(p->resource, p->size);
    const int32_t a = name_number(from(res, p->list_a), ink_set, cmp);
    const int32_t b = name_number(from(res, p->list_b), micro, cmp);
    ovcg::ByteCursor modes = from(res, p->modes);
    const uint8_t count = modes.u8();
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = modes.take(kModeEntry);
        if (!e) return nullptr;
        if (e[0] != first || e[1] != second) continue;
        if (e[2] != kHxrCfgAny && int32_t(e[2]) != a) continue;
        if (e[3] != kHxrCfgAny && int32_t(e[3]) != b) continue;
        return p->resource + ovcg::load_u32le(e + 4);
    }
    return nullptr;
}

HXRCorrectOffset HXRGetCorrectOffset(const uint8_t* block, uint32_t ink, uint32_t dot, uint32_t value_size,
                                     const HXRClrMgr* clr) {
    HXRCorrectOffset r{};
    if (!block || !clr || (value_size != 1 && value_size != 2)) return r;
    const uint32_t t = block[0], w = block[1];
    if (w < 1 || w > kHxrCfgMaxValues) {
        HXRSetErrorInfo(kHxrCfgBadWidth);
        return r;
    }
    const uint32_t out = HXRGetOutputColorOrder(clr, ink);
    const uint32_t order = HXRGetOutputDthOffOrder(clr, out);
    const uint32_t own = HXRGetOutputDotNum(clr, out);
    if (order == kHxrNoValue || own == 0 || own <= dot) return r;
    uint32_t index = dot;
    for (uint32_t o = 0; o < order; ++o) {
        const uint32_t dots = HXRGetOutputDotNum(clr, HXRGetOutputColorOrderByDthOff(clr, o));
        if (dots == 0) return r;
        index += dots;
    }
    if (index >= t) {
        HXRSetErrorInfo(kHxrCfgBadEntry);
        return r;
    }
    const uint8_t* v = block + kBlockHeader + size_t(index) * w * value_size;
    const uint32_t empty = value_size == 1 ? 0xFFu : 0xFFFFu;
    for (uint32_t i = 0; i < w; ++i) {
        const uint32_t value = value_size == 1 ? v[i] : ovcg::load_u16le(v + 2 * i);
        if (value != empty) r.values[r.count++] = value;
    }
    return r;
}
