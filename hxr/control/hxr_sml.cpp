#include "hxr/control/hxr_sml.h"

#include "common/byte_cursor.h"
#include "hxr/control/hxr_clrmgr.h"

namespace {

constexpr uint32_t kHeaderSize = 18;
constexpr uint32_t kTableKinds = 6;   // 0..5
constexpr uint32_t kInkEntry = 5;     // code, s32 offset
constexpr uint32_t kOffsetEntry = 4;  // s32 offset first
constexpr uint32_t kSetHeader = 6;
constexpr uint32_t kInfoHeader = 4;
constexpr uint32_t kDotRecord = 6;
constexpr uint32_t kDblGammaSize = 5;

struct Ink {
    uint32_t code;
    const uint8_t* rates;
    uint32_t max, stride, grad, dots;
    int32_t weight[kHxrSmlMaxDots];
    uint32_t dbg0, dbg255;
};

// A directory table: n entries of s bytes.
struct Table {
    const uint8_t* entries = nullptr;
    uint32_t n = 0, s = 0;
};

// Refusal without a recorded code.
constexpr uint32_t kSilent = 0xFFFFFFFFu;

}  // namespace

struct HXRSmlResParser {
    uint32_t count;
    Ink ink[kHxrMaxInks];
};

namespace {

class Reader {
public:
    Reader(const uint8_t* res, uint32_t size) : base_(res), size_(size) {}

    // A block of at least n bytes at the s32 offset; null when the offset is
    // negative or the bytes run past the resource.
    const uint8_t* block(int32_t offset, uint64_t n) const {
        if (offset < 0 || uint64_t(offset) > size_ || n > size_ - uint64_t(offset)) return nullptr;
        return base_ + offset;
    }
    // The block that entry `index` of a table names by its leading s32
    // offset; null when the entry is too short or the block does not fit.
    const uint8_t* entry_block(const Table& t, uint32_t index, uint64_t n, int32_t* offset = nullptr) const {
        if (t.s < kOffsetEntry) return nullptr;
        const int32_t at = static_cast<int32_t>(ovcg::load_u32le(t.entries + size_t(index) * t.s));
        if (offset) *offset = at;
        return block(at, n);
    }

private:
    const uint8_t* base_;
    uint64_t size_;
};

uint32_t read_ink(const Reader& r, const Table (&tables)[kTableKinds], const uint8_t* entry, uint32_t grad,
                  Ink& ink) {
    ink.code = entry[0];
    const int32_t header_at = static_cast<int32_t>(ovcg::load_u32le(entry + 1));
    if (header_at == 0) return kSilent;
    const uint8_t* header = r.block(header_at, 2);
    if (!header) return kHxrSmlBlockSize;
    if (header[1] != 255) return kHxrSmlBadMarker;
    if (header[0] >= tables[3].n) return kHxrSmlSetIndex;
    int32_t set_at = 0;
    const uint8_t* set = r.entry_block(tables[3], header[0], kSetHeader, &set_at);
    if (!set) return kHxrSmlBlockSize;
    if (set[2] >= tables[1].n) return kHxrSmlDotInfoIndex;
    const uint8_t* info = r.entry_block(tables[1], set[2], kInfoHeader);
    if (!info) return kHxrSmlBlockSize;
    const uint32_t dots = info[3];
    if (dots != set[3] || dots > kHxrSmlMaxDots) return kHxrSmlDotCount;
    if (!r.entry_block(tables[1], set[2], kInfoHeader + uint64_t(kDotRecord) * dots)) return kHxrSmlBlockSize;
    if (set[4] >= tables[2].n) return kHxrSmlDblGammaIndex;
    const uint8_t* dbg = r.entry_block(tables[2], set[4], kDblGammaSize);
    if (!dbg) return kHxrSmlBlockSize;
    // The last rate is read at (G (dots - 1) + G - 1) x stride.
    const uint32_t stride = info[0];
    const uint64_t values = uint64_t(grad) * dots;
    if (values && !r.block(set_at, kSetHeader + (values - 1) * stride + 2)) return kHxrSmlBlockSize;

    ink.rates = set + kSetHeader;
    ink.stride = stride;
    ink.max = ovcg::load_u16le(info + 1);
    ink.grad = grad;
    ink.dots = dots;
    for (uint32_t d = 0; d < kHxrSmlMaxDots; ++d)
        ink.weight[d] = d < dots ? static_cast<int16_t>(ovcg::load_u16le(info + kInfoHeader + kDotRecord * d)) / 10 : 0;
    ink.dbg0 = ovcg::load_u16le(dbg + 1);
    ink.dbg255 = ovcg::load_u16le(dbg + 3);
    return 0;
}

uint32_t parse(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, HXRSmlResParser& p) {
    if (size < 8 || cmp(reinterpret_cast<const char*>(res) + 4, reinterpret_cast<const char*>(kHxrSmlMagic), 4) != 0)
        return kHxrSmlBadMagic;
    const ovcg::ByteCursor cur(res, size);
    uint32_t version = 0;
    if (!cur.peek_u32le(8, version) || version != kHxrSmlVersion) return kHxrSmlBadVersion;
    if (size < kHeaderSize) return kHxrSmlBlockSize;
    const Reader r(res, size);
    const uint32_t grad = ovcg::load_u16le(res + 16);

    // The directory.
    const int32_t dir_at = static_cast<int32_t>(ovcg::load_u32le(res + 12));
    ovcg::ByteCursor dir;
    if (!r.block(dir_at, 1) || !cur.tail_at(uint32_t(dir_at), dir)) return kHxrSmlBlockSize;
    const uint8_t tables_n = dir.u8();
    if (tables_n == 0) return kSilent;
    Table tables[kTableKinds];
    for (uint32_t t = 0; t < tables_n; ++t) {
        const uint8_t kind = dir.u8(), n = dir.u8(), s = dir.u8();
        if (!dir.ok()) return kHxrSmlBlockSize;
        if (kind >= kTableKinds) return kSilent;
        const uint8_t* entries = dir.take(size_t(n) * s);
        if (!dir.ok()) return kHxrSmlBlockSize;
        tables[kind] = {entries, n, s};  // a later table of a kind wins
    }
    const Table& inks = tables[0];
    if (!inks.entries || inks.n < 1 || inks.n > kHxrMaxInks) return kSilent;
    if (inks.s < kInkEntry) return kHxrSmlBlockSize;
    p.count = inks.n;
    for (uint32_t k = 0; k < inks.n; ++k)
        if (uint32_t rc = read_ink(r, tables, inks.entries + size_t(k) * inks.s, grad, p.ink[k])) return rc;
    return 0;
}

const Ink* find(const HXRSmlResParser* p, uint32_t code) {
    if (!p) return nullptr;
    for (uint32_t k = 0; k < p->count; ++k)
        if (p->ink[k].code == code) return &p->ink[k];
    return nullptr;
}

}  // namespace

HXRSmlResParser* HXRCreateSmlResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, HXRMemMgr* mm) {
    if (!res || !cmp || !mm) return nullptr;
    HXRSmlResParser p{};
    if (const uint32_t rc = parse(res, size, cmp, p)) {
        if (rc != kSilent) HXRSetErrorInfo(rc);
        return nullptr;
    }
    auto* out = static_cast<HXRSmlResParser*>(HXRAllocMem(mm, sizeof(HXRSmlResParser)));
    if (!out) return nullptr;
    *out = p;
    return out;
}

uint32_t HXRDeleteSmlResParser(HXRSmlResParser* p, HXRMemMgr* mm) { return HXRFreeObject(mm, p, kHxrSmlNone); }

namespace {

// A field of the ink, or `absent` when the parser has no ink of the code.
uint32_t ink_field(const HXRSmlResParser* p, uint32_t code, uint32_t Ink::*field, uint32_t absent) {
    const Ink* i = find(p, code);
    return i ? i->*field : absent;
}

}  // namespace

uint32_t HXRGetSmlGradNum(const HXRSmlResParser* p, uint32_t ink) { return ink_field(p, ink, &Ink::grad, kHxrNoValue); }
uint32_t HXRGetSmlMaxValue(const HXRSmlResParser* p, uint32_t ink) { return ink_field(p, ink, &Ink::max, kHxrNoValue); }
uint32_t HXRGetSmlDotNum(const HXRSmlResParser* p, uint32_t ink) { return ink_field(p, ink, &Ink::dots, 0); }
uint32_t HXRGetSmlDoubleGamma0(const HXRSmlResParser* p, uint32_t ink) {
    return ink_field(p, ink, &Ink::dbg0, kHxrNoValue);
}
uint32_t HXRGetSmlDoubleGamma255(const HXRSmlResParser* p, uint32_t ink) {
    return ink_field(p, ink, &Ink::dbg255, kHxrNoValue);
}
uint32_t HXRGetSmlDotWeight(const HXRSmlResParser* p, uint32_t ink, uint32_t dot) {
    const Ink* i = find(p, ink);
    return i && dot < i->dots ? static_cast<uint32_t>(i->weight[dot]) : 0;
}
uint32_t HXRGetSmlGenerateRate(const HXRSmlResParser* p, uint32_t ink, uint32_t dot, uint32_t level) {
    const Ink* i = find(p, ink);
    if (!i || dot >= i->dots || level >= i->grad) return kHxrNoValue;
    return ovcg::load_u16le(i->rates + (uint64_t(i->grad) * dot + level) * i->stride);
}
