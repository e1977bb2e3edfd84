#include "hxr/control/hxr_dither.h"

#include "common/byte_cursor.h"

#include <algorithm>

namespace {

constexpr char kSwitchMagic[4] = {char(0xFC), char(0xF9), char(0x2E), char(0xB8)};
constexpr char kPlainMagic[4] = {char(0xCF), char(0xF9), char(0x2E), char(0x47)};
constexpr char kUbecMagic[4] = {char(0xE7), char(0xCB), char(0x0D), char(0x1E)};
constexpr char kOffsetMagic[4] = {char(0xE7), char(0xCB), char(0x0D), char(0xFF)};

constexpr uint32_t kSwitchHeader = 16;
constexpr uint32_t kPlainHeader = 28;
constexpr uint32_t kUbecHeader = 72;
constexpr uint32_t kOffsetHeader = 20;
constexpr uint32_t kOffsetEntry = 6;

// The magic at offset 4, compared with the host's bounded compare once the
// bytes are known to be there.
bool has_magic(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, const char (&magic)[4]) {
    return size >= 8 && cmp(reinterpret_cast<const char*>(res) + 4, magic, 4) == 0;
}

template <typename T>
T* fail(uint32_t code) {
    HXRSetErrorInfo(code);
    return nullptr;
}

uint32_t to_u32(int64_t v) { return static_cast<uint32_t>(static_cast<int32_t>(v)); }

// Header fields of a resource, read through the bounds-checked cursor: a
// field beyond the resource reads as 0 (the parsers check the header size
// before they trust any field).
class Header {
public:
    Header(const uint8_t* res, uint32_t size) : c_(res, size) {}
    uint8_t u8(size_t at) const { uint8_t v = 0; c_.peek_u8(at, v); return v; }
    uint16_t u16(size_t at) const { uint16_t v = 0; c_.peek_u16le(at, v); return v; }
    uint32_t u32(size_t at) const { uint32_t v = 0; c_.peek_u32le(at, v); return v; }

private:
    ovcg::ByteCursor c_;
};

}  // namespace

// ---------------------------------------------------------------- switch

struct HXRDthSwcResParser {
    uint32_t ink_count;
    uint32_t area_count;
    const uint8_t* area[kHxrMaxDthAreas];  // ink_count u16 identifiers each
};

HXRDthSwcResParser* HXRCreateDthSwcResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp,
                                             HXRMemMgr* mm) {
    if (!res || !cmp || !mm) return nullptr;
    if (!has_magic(res, size, cmp, kSwitchMagic)) return fail<HXRDthSwcResParser>(kHxrDthSwcMagic);
    if (size < kSwitchHeader) return fail<HXRDthSwcResParser>(kHxrDthSwcForm);
    ovcg::ByteCursor cur(res, size);
    const Header hd(res, size);
    const uint8_t form = hd.u8(8), inks = hd.u8(9);
    if (form != 1 && form != 2) return fail<HXRDthSwcResParser>(kHxrDthSwcForm);
    if (inks > kHxrMaxInks) return fail<HXRDthSwcResParser>(kHxrDthSwcTooManyInks);
    const uint32_t areas = form == 1 ? 1u : hd.u8(10);
    if (areas > kHxrMaxDthAreas) return fail<HXRDthSwcResParser>(kHxrDthSwcTooManyAreas);
    if (areas == 0) return fail<HXRDthSwcResParser>(kHxrDthSwcForm);

    const uint8_t* area[kHxrMaxDthAreas] = {};
    for (uint32_t a = 0; a < areas; ++a) {
        uint32_t off = kSwitchHeader;
        if (form == 2 && !cur.peek_u32le(kSwitchHeader + 4 * a, off)) return fail<HXRDthSwcResParser>(kHxrDthSwcForm);
        ovcg::ByteCursor ids;
        if (!cur.sub_at(off, 2u * inks, ids)) return fail<HXRDthSwcResParser>(kHxrDthSwcForm);
        area[a] = ids.data();
    }
    auto* p = static_cast<HXRDthSwcResParser*>(HXRAllocMem(mm, sizeof(HXRDthSwcResParser)));
    if (!p) return nullptr;
    p->ink_count = inks;
    p->area_count = areas;
    for (uint32_t a = 0; a < kHxrMaxDthAreas; ++a) p->area[a] = area[a];
    return p;
}

uint32_t HXRDeleteDthSwcResParser(HXRDthSwcResParser* p, HXRMemMgr* mm) {
    return HXRFreeObject(mm, p, kHxrDthSwcNone);
}

uint32_t HXRGetDthResNo(const HXRDthSwcResParser* p, uint32_t area, uint32_t ink) {
    if (!p) return kHxrNoValue;
    if (area >= p->area_count) {
        HXRSetErrorInfo(kHxrDthSwcArea);
        return kHxrNoValue;
    }
    if (ink >= p->ink_count) {
        HXRSetErrorInfo(kHxrDthSwcInk);
        return kHxrNoValue;
    }
    return ovcg::load_u16le(p->area[area] + 2 * ink);
}

uint32_t HXRGetDthSwcResAreaNum(const HXRDthSwcResParser* p) { return p ? p->area_count : 0; }
uint32_t HXRGetDthSwcResInkNum(const HXRDthSwcResParser* p) { return p ? p->ink_count : 0; }

// ---------------------------------------------------------------- masks

struct HXRDthResParser {
    const uint8_t* data;  // thresholds (plain) or blocks (UBEC)
    int32_t max;
    int32_t width, height;
    int32_t shift_h, shift_v;
    uint32_t type;
    uint32_t bits;  // plain
    int32_t block_size, block_w, block_h, block_count;  // UBEC
};

namespace {

HXRDthResParser* parse_plain(const uint8_t* res, uint32_t size, HXRMemMgr* mm) {
    const Header hd(res, size);
    if (size < kPlainHeader || hd.u8(8) != 3 || hd.u8(9) != 3) return fail<HXRDthResParser>(kHxrDthMaskForm);
    const uint32_t off = hd.u16(10);
    const uint32_t w = hd.u16(12), h = hd.u16(14);
    const int32_t max = static_cast<int32_t>(hd.u32(16));
    if (max != kHxrDthThresholdMax) return fail<HXRDthResParser>(kHxrDthMaskMaximum);
    if (w < 1 || h == 0) return fail<HXRDthResParser>(kHxrDthMaskSize);
    const uint8_t dir = hd.u8(26);
    if (dir > 1) return fail<HXRDthResParser>(kHxrDthMaskDirection);
    uint32_t bits = 0;
    if (hd.u8(22) == 2 && hd.u8(23) == 0)
        bits = 16;
    else if (hd.u8(22) == 1 && hd.u8(23) == 4)
        bits = 12;
    else
        return fail<HXRDthResParser>(kHxrDthMaskPacking);
    if (hd.u8(27) != 0) return fail<HXRDthResParser>(kHxrDthMaskByte27);
    // Every threshold must lie inside the resource.
    const uint64_t n = uint64_t(w) * h;
    const uint64_t need = bits == 16 ? 2 * n : (3 * (n - 1)) / 2 + 2;
    if (off > size || need > size - off) return fail<HXRDthResParser>(kHxrDthMaskSize);

    auto* m = static_cast<HXRDthResParser*>(HXRAllocMem(mm, sizeof(HXRDthResParser)));
    if (!m) return nullptr;
    const uint16_t shift = hd.u16(24);
    m->data = res + off;
    m->max = max;
    m->width = static_cast<int32_t>(w);
    m->height = static_cast<int32_t>(h);
    m->shift_h = dir == 1 ? shift : 0;
    m->shift_v = dir == 0 ? shift : 0;
    m->type = kHxrDthTypePlain;
    m->bits = bits;
    return m;
}

HXRDthResParser* parse_ubec(const uint8_t* res, uint32_t size, HXRMemMgr* mm) {
    const Header hd(res, size);
    if (size < kUbecHeader || hd.u32(8) != 2) return fail<HXRDthResParser>(kHxrDthMaskForm);
    auto s32 = [&](uint32_t at) { return static_cast<int64_t>(static_cast<int32_t>(hd.u32(at))); };
    const int64_t off = s32(12);
    if (off != s32(68) + kUbecHeader) return fail<HXRDthResParser>(kHxrUbecOffset);
    if (s32(40) != kHxrDthThresholdMax) return fail<HXRDthResParser>(kHxrUbecMaximum);
    const int64_t w = s32(32), h = s32(36);
    if (w <= 0 || h <= 0) return fail<HXRDthResParser>(kHxrUbecSize);
    const int64_t bs = s32(16), bw = s32(20), bh = s32(24), count = s32(28);
    if (bs != 8 && bs != 16) return fail<HXRDthResParser>(kHxrUbecBlockSize);
    const bool shape_ok = bs == 16 ? (bw == 4 && bh == 4) : ((bw == 4 && bh == 2) || (bw == 2 && bh == 4));
    if (!shape_ok) return fail<HXRDthResParser>(kHxrUbecBlockShape);
    if (w % bw != 0) return fail<HXRDthResParser>(kHxrUbecWidth);
    if (h % bh != 0) return fail<HXRDthResParser>(kHxrUbecHeight);
    if (count != (w * h) / (bw * bh)) return fail<HXRDthResParser>(kHxrUbecBlockCount);
    const int64_t sh = s32(52), sv = s32(56);
    if (sh > 0 && sv > 0) return fail<HXRDthResParser>(kHxrUbecTwoShifts);
    if (sh % bw != 0) return fail<HXRDthResParser>(kHxrUbecShiftH);
    if (sv % bh != 0) return fail<HXRDthResParser>(kHxrUbecShiftV);
    if (s32(60) != 0) return fail<HXRDthResParser>(kHxrUbecReserved);
    // Every block must lie inside the resource.
    const int64_t need = count * bs * 2;
    if (off < int64_t(kUbecHeader) || off > int64_t(size) || need > int64_t(size) - off)
        return fail<HXRDthResParser>(kHxrUbecSize);

    auto* m = static_cast<HXRDthResParser*>(HXRAllocMem(mm, sizeof(HXRDthResParser)));
    if (!m) return nullptr;
    m->data = res + off;
    m->max = kHxrDthThresholdMax;
    m->width = static_cast<int32_t>(w);
    m->height = static_cast<int32_t>(h);
    m->shift_h = static_cast<int32_t>(sh);
    m->shift_v = static_cast<int32_t>(sv);
    m->type = kHxrDthTypeUbec;
    m->bits = 0;
    m->block_size = static_cast<int32_t>(bs);
    m->block_w = static_cast<int32_t>(bw);
    m->block_h = static_cast<int32_t>(bh);
    m->block_count = static_cast<int32_t>(count);
    return m;
}

bool is_ubec(const HXRDthResParser* m) { return m && m->type == kHxrDthTypeUbec; }

uint32_t plain_at(const HXRDthResParser* m, uint64_t i) {
    if (m->bits == 16) return ovcg::load_u16le(m->data + 2 * i);
    const uint16_t v = ovcg::load_u16le(m->data + (3 * i) / 2);
    return (i & 1 ? v >> 4 : v) & 0x0FFFu;
}

uint32_t ubec_entry(const HXRDthResParser* m, uint32_t block, uint32_t j) {
    return ovcg::load_u16le(m->data + 2 * (uint64_t(block) * uint32_t(m->block_size) + j));
}

}  // namespace

HXRDthResParser* HXRCreateDthResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, HXRMemMgr* mm) {
    if (!res || !cmp || !mm) return nullptr;
    if (has_magic(res, size, cmp, kPlainMagic)) return parse_plain(res, size, mm);
    if (has_magic(res, size, cmp, kUbecMagic)) return parse_ubec(res, size, mm);
    return fail<HXRDthResParser>(kHxrDthMaskMagic);
}

uint32_t HXRDeleteDthResParser(HXRDthResParser* m, HXRMemMgr* mm) {
    return HXRFreeObject(mm, m, kHxrDthMaskNone);
}

uint32_t HXRGetDthThresh(const HXRDthResParser* m, uint32_t x, uint32_t y) {
    if (!m || m->type != kHxrDthTypePlain || x >= uint32_t(m->width) || y >= uint32_t(m->height))
        return kHxrNoValue;
    return plain_at(m, uint64_t(y) * uint32_t(m->width) + x);
}

uint32_t HXRGetDthSizeH(const HXRDthResParser* m) { return m ? uint32_t(m->width) : kHxrNoValue; }
uint32_t HXRGetDthSizeV(const HXRDthResParser* m) { return m ? uint32_t(m->height) : kHxrNoValue; }
uint32_t HXRGetDthShiftH(const HXRDthResParser* m) { return m ? uint32_t(m->shift_h) : kHxrNoValue; }
uint32_t HXRGetDthShiftV(const HXRDthResParser* m) { return m ? uint32_t(m->shift_v) : kHxrNoValue; }
uint32_t HXRGetDthResType(const HXRDthResParser* m) { return m ? m->type : kHxrNoValue; }
uint32_t HXRGetDthBits(const HXRDthResParser* m) {
    return m && m->type == kHxrDthTypePlain ? m->bits : kHxrNoValue;
}

uint32_t HXRGetDthUBECThresh(const HXRDthResParser* m, uint32_t block, uint32_t j) {
    if (!is_ubec(m) || block >= uint32_t(m->block_count) || j >= uint32_t(m->block_size)) return kHxrNoValue;
    return ubec_entry(m, block, j) & 0x0FFFu;
}
uint32_t HXRGetDthUBECOrder(const HXRDthResParser* m, uint32_t block, uint32_t j) {
    if (!is_ubec(m) || block >= uint32_t(m->block_count) || j >= uint32_t(m->block_size)) return kHxrNoValue;
    return ubec_entry(m, block, j) >> 12;
}
uint32_t HXRGetDthUBECBlockNum(const HXRDthResParser* m) { return is_ubec(m) ? uint32_t(m->block_count) : kHxrNoValue; }
uint32_t HXRGetDthUBECBlockNumH(const HXRDthResParser* m) {
    return is_ubec(m) ? uint32_t(m->width / m->block_w) : kHxrNoValue;
}
uint32_t HXRGetDthUBECBlockNumV(const HXRDthResParser* m) {
    return is_ubec(m) ? uint32_t(m->height / m->block_h) : kHxrNoValue;
}
uint32_t HXRGetDthUBECBlockSize(const HXRDthResParser* m) { return is_ubec(m) ? uint32_t(m->block_size) : kHxrNoValue; }
uint32_t HXRGetDthUBECBlockSizeH(const HXRDthResParser* m) { return is_ubec(m) ? uint32_t(m->block_w) : kHxrNoValue; }
uint32_t HXRGetDthUBECBlockSizeV(const HXRDthResParser* m) { return is_ubec(m) ? uint32_t(m->block_h) : kHxrNoValue; }

// ---------------------------------------------------------------- offsets

struct HXRDthOffResParser {
    const uint8_t* entries;
    uint32_t count;
};

HXRDthOffResParser* HXRCreateDthOffResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp,
                                             HXRMemMgr* mm) {
    if (!res || !cmp || !mm) return nullptr;
    if (!has_magic(res, size, cmp, kOffsetMagic)) return fail<HXRDthOffResParser>(kHxrDthOffMagic);
    const Header hd(res, size);
    if (size < kOffsetHeader || hd.u32(8) != 1) return fail<HXRDthOffResParser>(kHxrDthOffVersion);
    const uint32_t off = hd.u32(12), count = hd.u32(16);
    // Every entry must lie inside the resource.
    if (off > size || uint64_t(count) * kOffsetEntry > size - off) return fail<HXRDthOffResParser>(kHxrDthOffVersion);
    auto* p = static_cast<HXRDthOffResParser*>(HXRAllocMem(mm, sizeof(HXRDthOffResParser)));
    if (!p) return nullptr;
    p->entries = res + off;
    p->count = count;
    return p;
}

uint32_t HXRDeleteDthOffResParser(HXRDthOffResParser* p, HXRMemMgr* mm) {
    return HXRFreeObject(mm, p, kHxrDthOffNone);
}

uint32_t HXRGetDthOffsetNum(const HXRDthOffResParser* p) { return p ? p->count : 0; }

namespace {

uint32_t dth_offset(const HXRDthOffResParser* p, uint32_t k, int32_t size, uint32_t triple) {
    if (!p) return kHxrNoValue;
    if (k >= p->count) {
        HXRSetErrorInfo(kHxrDthOffEntry);
        return kHxrNoValue;
    }
    const uint8_t* e = p->entries + size_t(k) * kOffsetEntry + 3 * triple;
    if (e[1] == 0) {
        HXRSetErrorInfo(kHxrDthOffDivisor);
        return kHxrNoValue;
    }
    return to_u32(int64_t(size) * e[0] / e[1] + e[2]);
}

}  // namespace

uint32_t HXRGetDthOffsetH(const HXRDthOffResParser* p, uint32_t, uint32_t k, int32_t size) {
    return dth_offset(p, k, size, 0);
}
uint32_t HXRGetDthOffsetV(const HXRDthOffResParser* p, uint32_t, uint32_t k, int32_t size) {
    return dth_offset(p, k, size, 1);
}

// ---------------------------------------------------------------- manager

struct HXRDthResMgr {
    uint32_t area_count;
    HXRDthResParser* slot[kHxrMaxDthAreas][kHxrMaxInks];
    uint32_t slot_id[kHxrMaxDthAreas][kHxrMaxInks];
    HXRDthOffResParser* offset;
    const HXRClrMgr* colours;
    HXRMemMgr* mm;
};

HXRDthResMgr* HXRCreateDthResMgr(uint32_t dither_id, uint32_t offset_id, const HXRClrMgr* colours,
                                 HXRStrNCmpFn cmp, HXRResMgr* resources, HXRMemMgr* mm) {
    if (!colours || !cmp || !resources || !mm) return nullptr;
    const uint32_t n = HXRGetOutputColorNum(colours);
    if (n < 1 || n > kHxrMaxInks) return nullptr;
    uint32_t size = 0;
    const uint8_t* res = HXRGetResource(resources, dither_id, kHxrResKindDthSwitch, &size);
    if (!res) return nullptr;

    auto* mgr = static_cast<HXRDthResMgr*>(HXRAllocMem(mm, sizeof(HXRDthResMgr)));
    if (!mgr) return nullptr;
    mgr->colours = colours;
    mgr->mm = mm;
    mgr->offset = nullptr;
    for (auto& row : mgr->slot_id)
        for (auto& id : row) id = kHxrNoValue;

    // A dither identifier may name a mask directly; the switch parse then
    // fails on purpose. Its code must not stay in the error record, but a
    // failure recorded before it must.
    const uint32_t saved = HXRGetErrorInfo(nullptr);
    HXRDthSwcResParser* swc = HXRCreateDthSwcResParser(res, size, cmp, mm);
    bool ok = true;
    if (!swc) {
        mgr->area_count = 1;
        for (uint32_t k = 0; k < n; ++k) mgr->slot_id[0][k] = dither_id;
    } else {
        mgr->area_count = HXRGetDthSwcResAreaNum(swc);
        for (uint32_t a = 0; ok && a < mgr->area_count; ++a) {
            for (uint32_t k = 0; ok && k < n; ++k) {
                const uint32_t id = HXRGetDthResNo(swc, a, k);
                if (id == kHxrNoValue) ok = false;
                else if (id != kHxrDthNoMask) mgr->slot_id[a][k] = id;
            }
        }
        HXRDeleteDthSwcResParser(swc, mm);
    }
    if (ok) {
        const uint32_t after = HXRGetErrorInfo(nullptr);
        if (after != saved) HXRRestoreErrorInfo(after, saved);
    }

    for (uint32_t a = 0; ok && a < mgr->area_count; ++a) {
        for (uint32_t k = 0; ok && k < kHxrMaxInks; ++k) {
            const uint32_t id = mgr->slot_id[a][k];
            if (id == kHxrNoValue) continue;
            uint32_t mask_size = 0;
            const uint8_t* mask = HXRGetResource(resources, id, kHxrResKindDthMask, &mask_size);
            if (!mask) {
                ok = false;
                break;
            }
            // Equal identifiers share one mask object.
            HXRDthResParser* shared = nullptr;
            for (uint32_t b = 0; !shared && b <= a; ++b)
                for (uint32_t j = 0; !shared && j < kHxrMaxInks && (b < a || j < k); ++j)
                    if (mgr->slot[b][j] && mgr->slot_id[b][j] == id) shared = mgr->slot[b][j];
            mgr->slot[a][k] = shared ? shared : HXRCreateDthResParser(mask, mask_size, cmp, mm);
            if (!mgr->slot[a][k]) ok = false;
        }
    }
    if (ok) {
        const uint8_t* off = HXRGetResource(resources, offset_id, kHxrResKindDthOffset, &size);
        mgr->offset = off ? HXRCreateDthOffResParser(off, size, cmp, mm) : nullptr;
        ok = mgr->offset != nullptr;
    }
    if (!ok) {
        HXRDeleteDthResMgr(mgr, mm);
        return nullptr;
    }
    return mgr;
}

uint32_t HXRDeleteDthResMgr(HXRDthResMgr* mgr, HXRMemMgr* mm) {
    if (!mgr) {
        HXRSetErrorInfo(kHxrDthMgrNone);
        return kHxrDthMgrNone;
    }
    uint32_t rc = 0;
    for (uint32_t a = 0; a < kHxrMaxDthAreas; ++a) {
        for (uint32_t k = 0; k < kHxrMaxInks; ++k) {
            HXRDthResParser* m = mgr->slot[a][k];
            if (!m) continue;
            // Clear every slot that shares it, so that it is deleted once.
            for (uint32_t b = a; b < kHxrMaxDthAreas; ++b)
                for (uint32_t j = 0; j < kHxrMaxInks; ++j)
                    if (mgr->slot[b][j] == m) mgr->slot[b][j] = nullptr;
            const uint32_t r = HXRDeleteDthResParser(m, mm);
            if (!rc) rc = r;
        }
    }
    if (mgr->offset) {
        const uint32_t r = HXRDeleteDthOffResParser(mgr->offset, mm);
        if (!rc) rc = r;
    }
    const uint32_t r = HXRFreeMem(mm, mgr);
    return rc ? rc : r;
}

uint32_t HXRGetDthResAreaNum(const HXRDthResMgr* mgr) { return mgr ? mgr->area_count : 0; }

namespace {

// The dither-offset order of an output ink, 0xFFFFFFFF when it has none.
uint32_t ink_order(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink) {
    if (!mgr || area >= mgr->area_count) return kHxrNoValue;
    const uint32_t k = HXRGetOutputDthOffOrder(mgr->colours, ink);
    return k < kHxrMaxInks ? k : kHxrNoValue;
}

}  // namespace

const HXRDthResParser* HXRGetDthResMgrMask(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink) {
    const uint32_t k = ink_order(mgr, area, ink);
    return k == kHxrNoValue ? nullptr : mgr->slot[area][k];
}

uint32_t HXRGetDthResMgrThresh(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink, uint32_t x, uint32_t y) {
    const HXRDthResParser* m = HXRGetDthResMgrMask(mgr, area, ink);
    if (!m) return kHxrNoValue;
    if (m->type == kHxrDthTypePlain) return HXRGetDthThresh(m, x, y);
    const uint32_t bw = uint32_t(m->block_w), bh = uint32_t(m->block_h);
    const uint32_t blocks_h = uint32_t(m->width) / bw, blocks_v = uint32_t(m->height) / bh;
    // The mask repeats across and down the page.
    const uint32_t block = (x / bw) % blocks_h + ((y / bh) % blocks_v) * blocks_h;
    const uint32_t j = HXRGetDthUBECOrder(m, block, (y % bh) * bw + x % bw);
    return HXRGetDthUBECThresh(m, block, j);  // an order beyond the block answers 0xFFFFFFFF
}

uint32_t HXRGetDthResMgrUBECThresh(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink, uint32_t block,
                                   uint32_t position, uint32_t bw, uint32_t bh, uint32_t* order) {
    const HXRDthResParser* m = HXRGetDthResMgrMask(mgr, area, ink);
    if (!m || bw < 1 || bh < 1) return kHxrNoValue;
    if (m->type == kHxrDthTypeUbec) {
        if (bw != uint32_t(m->block_w) || bh != uint32_t(m->block_h)) return kHxrNoValue;
        const uint32_t t = HXRGetDthUBECThresh(m, block, position);
        if (t == kHxrNoValue) return kHxrNoValue;
        if (order) *order = HXRGetDthUBECOrder(m, block, position);
        return t;
    }
    const uint32_t w = uint32_t(m->width), h = uint32_t(m->height);
    if (bw > w || bh > h) return kHxrNoValue;
    const uint64_t cells = uint64_t(bw) * bh;
    // The sorted copy is one block of 16-bit values; its byte count must fit
    // the allocator's 32-bit size (a huge 12-bit mask could exceed it).
    if (position >= cells || cells > 0x7FFFFFFFu) return kHxrNoValue;
    const uint32_t per_row = w / bw;
    const uint64_t x0 = uint64_t(block % per_row) * bw, y0 = uint64_t(block / per_row) * bh;
    if (y0 + bh > h) return kHxrNoValue;  // block below the mask
    auto* sorted = static_cast<uint16_t*>(HXRAllocMem(mgr->mm, static_cast<uint32_t>(cells * 2)));
    if (!sorted) return kHxrNoValue;
    for (uint64_t r = 0; r < bh; ++r)
        for (uint64_t c = 0; c < bw; ++c)
            sorted[r * bw + c] = static_cast<uint16_t>(plain_at(m, (y0 + r) * w + x0 + c));
    const uint16_t own = sorted[position];
    uint32_t rank = 0;
    for (uint64_t i = 0; i < cells; ++i) rank += sorted[i] < own ? 1u : 0u;
    std::nth_element(sorted, sorted + position, sorted + cells);
    const uint32_t value = sorted[position];
    HXRFreeMem(mgr->mm, sorted);
    if (order) *order = rank;
    return value;
}

#define HXR_DTH_MGR_GETTER(name, inner)                                                  \
    uint32_t name(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink) {                \
        const HXRDthResParser* m = HXRGetDthResMgrMask(mgr, area, ink);                  \
        return m ? inner(m) : kHxrNoValue;                                               \
    }
HXR_DTH_MGR_GETTER(HXRGetDthResMgrSizeH, HXRGetDthSizeH)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrSizeV, HXRGetDthSizeV)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrShiftH, HXRGetDthShiftH)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrShiftV, HXRGetDthShiftV)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrUBECBlockNum, HXRGetDthUBECBlockNum)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrUBECBlockNumH, HXRGetDthUBECBlockNumH)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrUBECBlockNumV, HXRGetDthUBECBlockNumV)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrUBECBlockSize, HXRGetDthUBECBlockSize)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrUBECBlockSizeH, HXRGetDthUBECBlockSizeH)
HXR_DTH_MGR_GETTER(HXRGetDthResMgrUBECBlockSizeV, HXRGetDthUBECBlockSizeV)
#undef HXR_DTH_MGR_GETTER

uint32_t HXRGetDthResMgrOffsetH(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink) {
    const HXRDthResParser* m = HXRGetDthResMgrMask(mgr, area, ink);
    if (!m) return kHxrNoValue;
    return HXRGetDthOffsetH(mgr->offset, area, ink_order(mgr, area, ink), m->width);
}
uint32_t HXRGetDthResMgrOffsetV(const HXRDthResMgr* mgr, uint32_t area, uint32_t ink) {
    const HXRDthResParser* m = HXRGetDthResMgrMask(mgr, area, ink);
    if (!m) return kHxrNoValue;
    return HXRGetDthOffsetV(mgr->offset, area, ink_order(mgr, area, ink), m->height);
}

uint32_t HXRIsSameDth(const HXRDthResMgr* mgr, uint32_t area1, uint32_t ink1, uint32_t area2, uint32_t ink2) {
    const HXRDthResParser* a = HXRGetDthResMgrMask(mgr, area1, ink1);
    return a && a == HXRGetDthResMgrMask(mgr, area2, ink2) ? 1u : 0u;
}
