#include "hxr/control/hxr_lut.h"

#include "common/byte_cursor.h"
#include "hxr/control/hxr_clrmgr.h"


namespace {

constexpr int32_t kNone = -1;
constexpr uint32_t kHead = 24;
constexpr uint32_t kEntry = 8;

enum Tag { kClut, kMlut, kEgry, kCdbg, kMdbg, kGama, kEncd, kInkd, kTnmx, kCtcn, kTagCount };
constexpr char kTags[kTagCount][5] = {"clut", "mlut", "egry", "cdbg", "mdbg", "gama", "encd", "inkd", "tnmx", "ctcn"};

// Maximum values by selector.
constexpr int32_t kMaxValues[4] = {4080, 4095, 255, 65280};

uint32_t u(int32_t v) { return static_cast<uint32_t>(v); }

// One table section: a grid of `grid` levels of `unit` values.
struct Table {
    int32_t dim = kNone, unit = kNone, out_type = kNone, grid = kNone;
    const uint8_t* inks = nullptr;  // unit codes
    int32_t ink_num = kNone;        // codes before the first 255
    const uint8_t* pos = nullptr;   // grid positions
    const uint8_t* data = nullptr;
};

int32_t count_inks(const uint8_t* inks, int32_t unit) {
    int32_t n = 0;
    while (n < unit && inks[n] != kHxrLutNoInk) ++n;
    return n;
}

}  // namespace

struct HXRLutResParser {
    Table colour;  // data: G^dim nodes of unit bytes
    Table mono;    // data: G levels of unit bytes
    Table gray;    // data: G levels of unit s16
    int32_t gray_gamma, gray_max;
    int32_t cdbg0, cdbg255, mdbg0, mdbg255, gamma;
    Table tnmx;    // data: G levels of unit u16
    int32_t tnmx_gamma, tnmx_max, tnmx_duty;
    // Colour control.
    int32_t rate_mode, tone_count;
    int32_t range[3][2];  // {lower, upper}
    bool given[6];        // by entry type 1..5
    int32_t tone[6][kHxrCtcnToneCount];
    int32_t rate[6][kHxrCtcnRateCount];
};

bool CheckGridPos(const uint8_t* p, uint32_t n) {
    if (!p || n < 2 || p[0] != 0 || p[n - 1] != 255) return false;
    for (uint32_t i = 1; i < n; ++i)
        if (p[i] < p[i - 1]) return false;
    return true;
}

namespace {

// A block, read by offset from its start; any field past the resource marks
// it short.
class Block {
public:
    Block() = default;
    Block(const ovcg::ByteCursor& res, uint32_t offset) { res.tail_at(offset, c_); }
    bool present() const { return c_.data() != nullptr; }
    bool ok() const { return ok_; }
    uint8_t u8(uint64_t at) {
        uint8_t v = 0;
        if (!c_.peek_u8(size_t(at), v)) ok_ = false;
        return v;
    }
    int16_t s16(uint64_t at) {
        uint16_t v = 0;
        if (!c_.peek_u16le(size_t(at), v)) ok_ = false;
        return static_cast<int16_t>(v);
    }
    // n bytes at `at`, or null (and short).
    const uint8_t* span(uint64_t at, uint64_t n) {
        if (at > c_.size() || n > c_.size() - at) {
            ok_ = false;
            return nullptr;
        }
        return c_.data() + at;
    }

private:
    ovcg::ByteCursor c_;
    bool ok_ = true;
};

// Parse outcome: 0 fine, else the code to record (kSilent: refuse, record none).
constexpr uint32_t kSilent = 0xFFFFFFFFu;

uint32_t parse_clut(Block b, Table& t) {
    const uint8_t dim = b.u8(4);
    if (!b.ok()) return kHxrLutBlockSize;
    if (dim != 3 && dim != 4) return kHxrLutColorDimension;
    uint8_t g[4] = {};
    for (int a = 0; a < dim; ++a) g[a] = b.u8(7 + uint64_t(a));
    const uint8_t unit = b.u8(5), out = b.u8(6);
    if (!b.ok()) return kHxrLutBlockSize;
    for (int a = 1; a < dim; ++a)
        if (g[a] != g[0]) return kHxrLutGridCounts;
    const uint64_t inks_at = 7u + dim;
    const uint64_t pos_at = inks_at + unit;
    const uint8_t* inks = b.span(inks_at, unit);
    const uint8_t* pos = b.span(pos_at, uint64_t(dim) * g[0]);
    if (!b.ok()) return kHxrLutBlockSize;
    for (int a = 1; a < dim; ++a)
        for (uint32_t k = 0; k < g[0]; ++k)
            if (pos[uint64_t(a) * g[0] + k] != pos[k]) return kHxrLutGridLists;
    if (!CheckGridPos(pos, g[0])) return kHxrLutColorGridPos;
    uint64_t nodes = 1;
    for (int a = 0; a < dim; ++a) nodes *= g[0];
    const uint8_t* data = b.span(pos_at + uint64_t(dim) * g[0], nodes * unit);
    if (!b.ok()) return kHxrLutBlockSize;
    t = {dim, unit, out, g[0], inks, count_inks(inks, unit), pos, data};
    return 0;
}

uint32_t parse_mlut(Block b, Table& t) {
    const uint8_t dim = b.u8(4), unit = b.u8(5), out = b.u8(6), grid = b.u8(7);
    const uint8_t* pos = b.span(8, grid);
    if (!b.ok()) return kHxrLutBlockSize;
    if (!CheckGridPos(pos, grid)) return kHxrLutMonoGridPos;
    const uint8_t* data = b.span(8u + grid, uint64_t(grid) * unit);
    if (!b.ok()) return kHxrLutBlockSize;
    t = {dim, unit, out, grid, nullptr, unit >= 1 ? 1 : 0, pos, data};
    return 0;
}

uint32_t parse_egry(Block b, HXRLutResParser& p) {
    const uint8_t dim = b.u8(4), unit = b.u8(5), out = b.u8(6), grid = b.u8(7);
    const int16_t gamma = b.s16(8);
    const uint8_t selector = b.u8(11);
    if (!b.ok()) return kHxrLutBlockSize;
    if (selector > 3) return kHxrLutSelector;
    const uint8_t* inks = b.span(14, unit);
    const uint8_t* pos = b.span(14u + unit, grid);
    if (!b.ok()) return kHxrLutBlockSize;
    if (!CheckGridPos(pos, grid)) return kHxrLutGrayGridPos;
    const uint8_t* data = b.span(14u + unit + grid, uint64_t(grid) * unit * 2);
    if (!b.ok()) return kHxrLutBlockSize;
    p.gray = {dim, unit, out, grid, inks, count_inks(inks, unit), pos, data};
    p.gray_gamma = gamma;
    p.gray_max = kMaxValues[selector];
    return 0;
}

// "inkd": the value of ink code 20 is the total ink duty.
uint32_t parse_inkd(Block b, HXRLutResParser& p) {
    const uint8_t n = b.u8(5);
    const uint8_t* codes = b.span(6, n);
    const uint8_t* values = b.span(6u + n, uint64_t(n) * 2);
    if (!b.ok()) return kHxrLutBlockSize;
    for (uint32_t i = 0; i < n; ++i) {
        if (codes[i] == kHxrInkdTotalCode) {
            p.tnmx_duty = static_cast<int16_t>(ovcg::load_u16le(values + 2 * i));
            return 0;
        }
    }
    return kSilent;  // no entry, or no code 20
}

uint32_t parse_tnmx(Block b, HXRLutResParser& p) {
    const uint8_t dim = b.u8(4), unit = b.u8(5), out = b.u8(6);
    const int16_t grid = b.s16(7), gamma = b.s16(9);
    const uint8_t selector = b.u8(12);
    if (!b.ok()) return kHxrLutBlockSize;
    if (dim != 1) return kHxrLutSelector;
    if (unit > 12 || gamma < 1 || selector > 3 || grid != int16_t(kHxrTnmxGridNum)) return kSilent;
    const uint8_t* inks = b.span(15, unit);
    const uint8_t* pos = b.span(15u + unit, uint64_t(grid));
    const uint8_t* data = b.span(15u + unit + uint64_t(grid), uint64_t(grid) * unit * 2);
    if (!b.ok()) return kHxrLutBlockSize;
    p.tnmx = {dim, unit, out, grid, inks, count_inks(inks, unit), pos, data};
    p.tnmx_gamma = gamma;
    p.tnmx_max = kMaxValues[selector];
    return 0;
}

// The range a tone-index set of each entry type must lie in.
constexpr int kRangeOfType[6] = {-1, 0, 1, 2, 0, 1};

uint32_t parse_ctcn(Block b, HXRLutResParser& p) {
    const uint8_t n = b.u8(4), tones = b.u8(6), mode = b.u8(7);
    const uint8_t* types = b.span(8, n);
    const uint8_t* ranges = b.span(8u + n, 12);
    const uint8_t* tone = b.span(20u + n, uint64_t(n) * 8);
    const uint8_t* rate = b.span(20u + 9u * n, uint64_t(n) * 12);
    if (!b.ok()) return kHxrLutBlockSize;
    if (tones != kHxrCtcnToneCount) return kSilent;
    for (int r = 0; r < 3; ++r) {
        const int16_t upper = static_cast<int16_t>(ovcg::load_u16le(ranges + 4 * r));
        const int16_t lower = static_cast<int16_t>(ovcg::load_u16le(ranges + 4 * r + 2));
        if (upper != kHxrCtcnRange || lower != -kHxrCtcnRange) return kSilent;
        p.range[r][0] = lower;
        p.range[r][1] = upper;
    }
    for (uint32_t e = 0; e < n; ++e) {
        const uint8_t type = types[e];
        if (type == 0 || (type >= 7 && type <= 16) || type == 20 || type == 21) continue;
        if (type > 5) return kSilent;
        for (uint32_t v = 0; v < kHxrCtcnToneCount; ++v) {
            const int16_t t = static_cast<int16_t>(ovcg::load_u16le(tone + 8 * e + 2 * v));
            const int32_t* range = p.range[kRangeOfType[type]];
            if (t < range[0] || t > range[1]) return kSilent;
            p.tone[type][v] = t;
        }
        for (uint32_t v = 0; v < kHxrCtcnRateCount; ++v)
            p.rate[type][v] = static_cast<int16_t>(ovcg::load_u16le(rate + 12 * e + 2 * v));
        if ((mode == 1 || mode == 2) && p.rate[type][2] == 0) return kSilent;
        p.given[type] = true;
    }
    p.tone_count = tones;
    p.rate_mode = mode;
    return 0;
}

HXRLutResParser* refuse(uint32_t code) {
    if (code != kSilent) HXRSetErrorInfo(code);
    return nullptr;
}

}  // namespace

HXRLutResParser* HXRCreateLutResParser(const uint8_t* res, uint32_t size, HXRStrNCmpFn cmp, HXRAtoIFn atoi,
                                       HXRMemCmpFn memcmp, HXRMemMgr* mm) {
    if (!res || !cmp || !atoi || !memcmp || !mm) return nullptr;
    const ovcg::ByteCursor cur(res, size);
    if (size < 2 || cmp(reinterpret_cast<const char*>(res), "OV", 2) != 0) return refuse(kHxrLutBadHead);
    uint32_t count = 0;
    if (!cur.peek_u32le(20, count) || uint64_t(count) * kEntry > size - kHead) return refuse(kHxrLutBadHead);

    // Walk the tag table; the later entry of a tag wins.
    uint32_t offset[kTagCount];
    bool found[kTagCount] = {};
    for (uint32_t k = 0; k < count; ++k) {
        const uint8_t* entry = res + kHead + size_t(k) * kEntry;
        for (int t = 0; t < kTagCount; ++t) {
            if (memcmp(entry, kTags[t], 4) != 0) continue;
            const uint32_t off = ovcg::load_u32le(entry + 4);
            if (off > size || size - off < 4) return refuse(kHxrLutBlockSize);
            if (memcmp(res + off, kTags[t], 4) == 0) {
                offset[t] = off;
                found[t] = true;
            }
            break;
        }
    }

    // Exactly the four version bytes, not whatever follows them.
    char version[5] = {char(res[16]), char(res[17]), char(res[18]), char(res[19]), 0};
    if (atoi(version) != int(kHxrLutVersion)) return refuse(kHxrLutBadVersion);

    HXRLutResParser p{};
    p.gray_gamma = p.gray_max = kNone;
    p.cdbg0 = p.cdbg255 = p.mdbg0 = p.mdbg255 = p.gamma = kNone;
    p.tnmx_gamma = p.tnmx_max = p.tnmx_duty = kNone;
    p.rate_mode = p.tone_count = kNone;
    for (auto& r : p.range) r[0] = r[1] = kNone;
    for (auto& t : p.tone)
        for (auto& v : t) v = kNone;
    for (auto& t : p.rate)
        for (auto& v : t) v = kNone;

    auto block = [&](int t) { return Block(cur, offset[t]); };
    uint32_t rc = 0;
    if (found[kClut] && (rc = parse_clut(block(kClut), p.colour)) != 0) return refuse(rc);
    if (found[kMlut] && (rc = parse_mlut(block(kMlut), p.mono)) != 0) return refuse(rc);
    if (found[kEgry] && (rc = parse_egry(block(kEgry), p)) != 0) return refuse(rc);
    // s16 values at byte 4 (and 6) of "cdbg", "mdbg" and "gama".
    const struct {
        int tag;
        int32_t* first;
        int32_t* second;
    } values[] = {{kCdbg, &p.cdbg0, &p.cdbg255}, {kMdbg, &p.mdbg0, &p.mdbg255}, {kGama, &p.gamma, nullptr}};
    for (const auto& v : values) {
        if (!found[v.tag]) continue;
        Block b = block(v.tag);
        *v.first = b.s16(4);
        if (v.second) *v.second = b.s16(6);
        if (!b.ok()) return refuse(kHxrLutBlockSize);
    }
    if (found[kTnmx]) {
        if (found[kInkd] && (rc = parse_inkd(block(kInkd), p)) != 0) return refuse(rc);
        if ((rc = parse_tnmx(block(kTnmx), p)) != 0) return refuse(rc);
        if (found[kCtcn] && (rc = parse_ctcn(block(kCtcn), p)) != 0) return refuse(rc);
    }
    if (p.gray_gamma != kNone && p.gamma != kNone && p.gray_gamma != p.gamma) return refuse(kHxrLutGammaMismatch);

    auto* out = static_cast<HXRLutResParser*>(HXRAllocMem(mm, sizeof(HXRLutResParser)));
    if (!out) return nullptr;
    *out = p;
    return out;
}

uint32_t HXRDeleteLutResParser(HXRLutResParser* p, HXRMemMgr* mm) { return HXRFreeObject(mm, p, kHxrLutNone); }

// ---------------------------------------------------------------- getters

namespace {

uint32_t code_at(const HXRLutResParser* p, const Table HXRLutResParser::*t, uint32_t i) {
    if (!p || !(p->*t).inks || i >= u((p->*t).unit)) return kHxrNoValue;
    return (p->*t).inks[i];
}
uint32_t pos_at(const HXRLutResParser* p, const Table HXRLutResParser::*t, uint32_t i) {
    if (!p || !(p->*t).pos || i >= u((p->*t).grid)) return kHxrNoValue;
    return (p->*t).pos[i];
}
uint32_t field(const HXRLutResParser* p, int32_t HXRLutResParser::*f) { return p ? u(p->*f) : kHxrNoValue; }
uint32_t positive(const HXRLutResParser* p, int32_t HXRLutResParser::*f) {
    return p && p->*f > 0 ? u(p->*f) : kHxrNoValue;
}

// Writes `n` values of a node through the look-up mode.
template <typename Read>
uint32_t node_values(uint32_t n, uint32_t mode, uint32_t ink, Read read) {
    if (mode > kHxrLutModeOnly) return kHxrNoValue;
    for (uint32_t c = 0; c < n; ++c) {
        const bool keep = mode == kHxrLutModeAll || (mode == kHxrLutModeAllBut) == (c != ink);
        read(c, keep);
    }
    return 0;
}

uint32_t colour_node(const HXRLutResParser* p, const uint32_t* idx, uint32_t dim, uint32_t mode, uint32_t ink,
                     uint8_t* out) {
    if (!p || !out || !p->colour.data || u(p->colour.dim) != dim) return kHxrNoValue;
    const uint32_t g = u(p->colour.grid);
    uint64_t node = 0;
    for (uint32_t a = 0; a < dim; ++a) {
        if (idx[a] >= g) return kHxrNoValue;
        node = node * g + idx[a];
    }
    const uint8_t* v = p->colour.data + node * u(p->colour.unit);
    return node_values(u(p->colour.ink_num), mode, ink, [&](uint32_t c, bool keep) { out[c] = keep ? v[c] : 0; });
}

}  // namespace

uint32_t HXRGetLutColorDimension(const HXRLutResParser* p) { return p ? u(p->colour.dim) : kHxrNoValue; }
uint32_t HXRGetLutColorUnitSize(const HXRLutResParser* p) { return p ? u(p->colour.unit) : kHxrNoValue; }
uint32_t HXRGetLutColorOutputType(const HXRLutResParser* p) { return p ? u(p->colour.out_type) : kHxrNoValue; }
uint32_t HXRGetLutColorGridNum(const HXRLutResParser* p) { return p ? u(p->colour.grid) : kHxrNoValue; }
uint32_t HXRGetLutColorInkCode(const HXRLutResParser* p, uint32_t i) { return code_at(p, &HXRLutResParser::colour, i); }
uint32_t HXRGetLutColorInkNum(const HXRLutResParser* p) { return p ? u(p->colour.ink_num) : kHxrNoValue; }
uint32_t HXRGetLutColorGridPos(const HXRLutResParser* p, uint32_t i) { return pos_at(p, &HXRLutResParser::colour, i); }

uint32_t HXRGetLutColor3dLut(const HXRLutResParser* p, uint32_t i, uint32_t j, uint32_t k, uint32_t mode,
                             uint32_t ink, uint8_t* out) {
    const uint32_t idx[3] = {i, j, k};
    return colour_node(p, idx, 3, mode, ink, out);
}
uint32_t HXRGetLutColor4dLut(const HXRLutResParser* p, uint32_t i, uint32_t j, uint32_t k, uint32_t l,
                             uint32_t mode, uint32_t ink, uint8_t* out) {
    const uint32_t idx[4] = {i, j, k, l};
    return colour_node(p, idx, 4, mode, ink, out);
}

uint32_t HXRGetLutMonoDimension(const HXRLutResParser* p) { return p ? u(p->mono.dim) : kHxrNoValue; }
uint32_t HXRGetLutMonoUnitSize(const HXRLutResParser* p) { return p ? u(p->mono.unit) : kHxrNoValue; }
uint32_t HXRGetLutMonoOutputType(const HXRLutResParser* p) { return p ? u(p->mono.out_type) : kHxrNoValue; }
uint32_t HXRGetLutMonoGridNum(const HXRLutResParser* p) { return p ? u(p->mono.grid) : kHxrNoValue; }
uint32_t HXRGetLutMonoInkCode(const HXRLutResParser* p, uint32_t i) {
    return p && p->mono.data && i < u(p->mono.unit) ? 0u : kHxrNoValue;
}
uint32_t HXRGetLutMonoInkNum(const HXRLutResParser* p) { return p ? u(p->mono.ink_num) : kHxrNoValue; }
uint32_t HXRGetLutMonoGridPos(const HXRLutResParser* p, uint32_t i) { return pos_at(p, &HXRLutResParser::mono, i); }
uint32_t HXRGetLutMonoLut(const HXRLutResParser* p, uint32_t level, uint8_t* out) {
    if (!p || !out || !p->mono.data || level >= u(p->mono.grid)) return kHxrNoValue;
    const uint32_t n = u(p->mono.unit);
    const uint8_t* v = p->mono.data + uint64_t(level) * n;
    for (uint32_t c = 0; c < n; ++c) out[c] = v[c];
    return 0;
}

uint32_t HXRGetLut16GrayDimension(const HXRLutResParser* p) { return p ? u(p->gray.dim) : kHxrNoValue; }
uint32_t HXRGetLut16GrayUnitSize(const HXRLutResParser* p) { return p ? u(p->gray.unit) : kHxrNoValue; }
uint32_t HXRGetLut16GrayOutputType(const HXRLutResParser* p) { return p ? u(p->gray.out_type) : kHxrNoValue; }
uint32_t HXRGetLut16GrayGridNum(const HXRLutResParser* p) { return p ? u(p->gray.grid) : kHxrNoValue; }
uint32_t HXRGetLut16GrayGamma(const HXRLutResParser* p) { return field(p, &HXRLutResParser::gray_gamma); }
uint32_t HXRGetLut16GrayMaxValue(const HXRLutResParser* p) { return field(p, &HXRLutResParser::gray_max); }
uint32_t HXRGetLut16GrayInkCode(const HXRLutResParser* p, uint32_t i) { return code_at(p, &HXRLutResParser::gray, i); }
uint32_t HXRGetLut16GrayInkNum(const HXRLutResParser* p) { return p ? u(p->gray.ink_num) : kHxrNoValue; }
uint32_t HXRGetLut16GrayGridPos(const HXRLutResParser* p, uint32_t i) { return pos_at(p, &HXRLutResParser::gray, i); }
uint32_t HXRGetLut16GrayLut(const HXRLutResParser* p, uint32_t level, uint32_t mode, uint32_t ink, uint32_t* out) {
    if (!p || !out || !p->gray.data || level >= u(p->gray.grid)) return kHxrNoValue;
    const uint8_t* v = p->gray.data + uint64_t(level) * u(p->gray.unit) * 2;
    return node_values(u(p->gray.ink_num), mode, ink, [&](uint32_t c, bool keep) {
        out[c] = keep ? u(static_cast<int16_t>(ovcg::load_u16le(v + 2 * c))) : 0;
    });
}

uint32_t HXRGetLutColorDblGamma0(const HXRLutResParser* p) { return field(p, &HXRLutResParser::cdbg0); }
uint32_t HXRGetLutColorDblGamma255(const HXRLutResParser* p) { return field(p, &HXRLutResParser::cdbg255); }
uint32_t HXRGetLutMonoDblGamma0(const HXRLutResParser* p) { return field(p, &HXRLutResParser::mdbg0); }
uint32_t HXRGetLutMonoDblGamma255(const HXRLutResParser* p) { return field(p, &HXRLutResParser::mdbg255); }
uint32_t HXRGetLutGamma(const HXRLutResParser* p) { return field(p, &HXRLutResParser::gamma); }

uint32_t HXRGetLutTNMXGamma(const HXRLutResParser* p) { return field(p, &HXRLutResParser::tnmx_gamma); }
uint32_t HXRGetLutTNMXDimension(const HXRLutResParser* p) { return p ? u(p->tnmx.dim) : kHxrNoValue; }
uint32_t HXRGetLutTNMXUnitSize(const HXRLutResParser* p) { return p ? u(p->tnmx.unit) : kHxrNoValue; }
uint32_t HXRGetLutTNMXOutputType(const HXRLutResParser* p) { return p ? u(p->tnmx.out_type) : kHxrNoValue; }
uint32_t HXRGetLutTNMXGridNum(const HXRLutResParser* p) { return p ? u(p->tnmx.grid) : kHxrNoValue; }
uint32_t HXRGetLutTNMXInkCode(const HXRLutResParser* p, uint32_t i) { return code_at(p, &HXRLutResParser::tnmx, i); }
uint32_t HXRGetLutTNMXGridPos(const HXRLutResParser* p, uint32_t i) { return pos_at(p, &HXRLutResParser::tnmx, i); }
uint32_t HXRGetLutTNMXInkNum(const HXRLutResParser* p) { return p ? u(p->tnmx.ink_num) : kHxrNoValue; }
uint32_t HXRGetLutTNMXTotalInkDuty(const HXRLutResParser* p) { return positive(p, &HXRLutResParser::tnmx_duty); }
uint32_t HXRGetLutTNMXMaxValue(const HXRLutResParser* p) { return positive(p, &HXRLutResParser::tnmx_max); }
uint32_t HXRGetLutTNMXCtcnNum(const HXRLutResParser* p) { return positive(p, &HXRLutResParser::tone_count); }
uint32_t HXRGetLutTNMXCtcnIncAndDecRate(const HXRLutResParser* p) {
    return p && p->rate_mode >= 0 ? u(p->rate_mode) : kHxrNoValue;
}
uint32_t HXRGetLutTNMXLut(const HXRLutResParser* p, uint32_t level, uint32_t* out) {
    if (!p || !out || !p->tnmx.data || p->tnmx.dim != 1 || level >= u(p->tnmx.grid)) return kHxrNoValue;
    const uint32_t n = u(p->tnmx.unit);
    const uint8_t* v = p->tnmx.data + uint64_t(level) * n * 2;
    for (uint32_t c = 0; c < n; ++c) out[c] = ovcg::load_u16le(v + 2 * c);
    return 0;
}

uint32_t HXRGetLutTNMXColorControlParam(const HXRLutResParser* p, uint32_t tone[3][6], uint32_t rate[3][6]) {
    if (!p || !tone || !rate || !p->tnmx.inks || p->tone_count == kNone) return kHxrNoValue;
    int light = 0;
    for (int32_t i = 0; i < p->tnmx.ink_num; ++i) light += p->tnmx.inks[i] == 4 || p->tnmx.inks[i] == 5;
    if (light != 0 && light != 2) return kHxrNoValue;
    const int types[3] = {light ? 4 : 1, light ? 5 : 2, 3};
    for (int a = 0; a < 3; ++a)
        if (!p->given[types[a]]) return kHxrNoValue;
    for (int a = 0; a < 3; ++a) {
        const int32_t* t = p->tone[types[a]];
        const int32_t* r = p->rate[types[a]];
        const int32_t tv[6] = {t[2], t[0], t[3], t[1], p->range[a][0], p->range[a][1]};
        const int32_t rv[6] = {r[4], r[2], r[5], r[3], r[1], r[0]};
        for (int v = 0; v < 6; ++v) {
            tone[a][v] = u(tv[v]);
            rate[a][v] = u(rv[v]);
        }
    }
    return 0;
}

// ---------------------------------------------------------------- user colours

HXRUserLutParser HXRCreateUserLutParser(const uint8_t* table, uint32_t size) {
    HXRUserLutParser none{0, 0, nullptr};
    const ovcg::ByteCursor cur(table, size);
    uint8_t c = 0;
    uint16_t m = 0;
    if (!table || !cur.peek_u8(0, c) || c == 0 || c > kHxrMaxInks) return none;
    if (!cur.peek_u16le(2, m) || static_cast<int16_t>(m) < 1 || m > 256) {
        HXRSetErrorInfo(kHxrUserLutEntryCount);
        return none;
    }
    if (uint64_t(m) * c > size - 4) return none;
    return {c, m, table + 4};
}

uint32_t HXRGetUserLutData(const HXRUserLutParser* p, uint32_t index, uint32_t* out) {
    if (!p || !p->entries || !out || index >= p->entryNum) return 0;
    const uint8_t* e = p->entries + size_t(index) * p->colorNum;
    for (uint32_t c = 0; c < p->colorNum; ++c) out[c] = e[c];
    return p->colorNum;
}
