// The per-pass output loop: after every stored raster (and once more at page
// end) it prints every head pass whose rasters are all in the band buffer.
//
// A block is what one head prints for one slot column in one pass, sent as
// one raster command (or one per sub-block with the split colour order): the
// feed (once per pass, before its first block with data), the horizontal
// position, the header, one line per nozzle of the head (a zero line where a
// nozzle does not print), the carriage return. Line i of a command is nozzle
// j + s i of the head for sub-block j of s; the rows of a column fill the
// head's nozzles in row order and may not overlap.
//
// Masks: a nozzle that shares its raster with another pass (or another head)
// prints the raster ANDed with the mask its state and the kind of its layer
// row choose; the two sharers take complementary masks at the same byte
// positions, so together they print every dot once. The model carries no
// reading table: pattern rows are read from the block's byte offset.
#include "headcontrol/icm_driver.h"

#include "headcontrol/codes.h"
#include "headcontrol/mle_walk.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace ovcg::irac {

namespace {

using walk::ceil_div;
using walk::floor_div;

constexpr uint8_t kSkipColour = 255;
constexpr uint16_t kKindGradation = 0x3;
constexpr uint16_t kKindPatterns = 0x24F;      // pattern kinds (states 2 and 3)
constexpr uint16_t kKindPatternsMwsw = 0x4F;   // pattern kinds (states 6 and 7)
constexpr uint16_t kKindSimpleByPhase = 0x10;
constexpr uint16_t kKindSimpleWord = 0x20;
constexpr uint16_t kKindLowerEdgeRows = 0x200;
constexpr uint8_t kSplitKindShifted = 2;
// Passes after the page's last raster that print nothing before one that
// can: a plan with more (a group that starts over at the page top after
// far past it) is refused rather than stepped through.
constexpr int64_t kIdlePassLimit = 1024;

bool feeds_suppressed(const IcmJob& j) { return j.option.page_flag != 0; }

// ---- Blocks ----------------------------------------------------------------------------

// One nozzle of a block as the walks hand it over: the line index within the
// command, and, for a nozzle of a row's window, its row's nozzle information
// and its index in the window (info null: a zero line).
struct Nozzle {
    int64_t index;
    const MleNozzleInfo* info;
    int32_t at;     // index into the window's arrays
    int32_t k;      // head nozzle number
    int16_t line;   // nozzle line
    int16_t ink;    // page ink (the band buffer's colour)
    int64_t raster() const { return int64_t{info->nozzlePos} + (int64_t{info->yShift} + k) * info->pitch; }
    uint8_t state() const { return info->state[at]; }
};

struct BlockGeometry {
    int32_t column;
    int32_t head;
    int32_t nozzles;  // n: lines of the whole block
    int32_t plane;    // v - 1: the plane it prints and its horizontal shift
    int32_t v;        // the head entry's selector
};

// Walks the lines of sub-block `sub` of `split`: visit(Nozzle) for every
// line in order, returning 0 to go on. 21 when two rows' windows overlap.
template <class Visit>
uint32_t walk_block(IcmJob& j, const BlockGeometry& g, int32_t split, int32_t sub, Visit&& visit) {
    const int64_t lines = g.nozzles / split;
    int64_t next = 0;
    for (int32_t r = 0; r < j.rows; ++r) {
        const int64_t slot = int64_t(r) * j.linesPerRow + g.column;
        const int16_t line = j.slotLine[slot];
        if (line < 0) continue;
        const MleNozzleInfo* info = nullptr;
        if (uint32_t rc = MLE_GetNozzleInfo(j.mle, g.head, line, &info)) return rc;
        const int64_t f = info->firstNozzle, e = info->endNozzle;
        if (f >= e) continue;
        const int64_t iF = ceil_div(f - sub, split), iE = std::min(ceil_div(e - sub, split), lines);
        if (iF < next) return kIcmBlockOverflow;
        for (; next < iF && next < lines; ++next)
            if (uint32_t rc = visit(Nozzle{next, nullptr, 0, 0, line, j.slotInk[slot]})) return rc;
        for (int64_t i = iF; i < iE; ++i) {
            const int32_t k = int32_t(sub + split * i);
            if (uint32_t rc = visit(Nozzle{i, info, int32_t(k - f), k, line, j.slotInk[slot]})) return rc;
        }
        next = std::max(next, iE);
    }
    for (; next < lines; ++next)
        if (uint32_t rc = visit(Nozzle{next, nullptr, 0, 0, -1, -1})) return rc;
    return 0;
}

// The first nozzle line of a column; -1 when it holds none.
int16_t column_line(const IcmJob& j, int32_t column) {
    for (int32_t r = 0; r < j.rows; ++r) {
        const int16_t line = j.slotLine[int64_t(r) * j.linesPerRow + column];
        if (line >= 0) return line;
    }
    return -1;
}

// The plane line of a printing nozzle: 1 with data, 0 without (or not printing).
uint32_t nozzle_line(IcmJob& j, const BlockGeometry& g, const Nozzle& z, uint8_t** out) {
    *out = nullptr;
    if (!z.info || (z.state() & 0x7F) == 0) return 0;
    const int64_t raster = z.raster();
    if (raster < INT32_MIN || raster > INT32_MAX) return kRbmBadIndex;
    return RBM_GetRasterdata(j.rbm, int32_t(raster), z.ink, 0, int16_t(g.plane), out);
}

// The blank test: the smallest first byte and trailing-zero count of the
// block's printing lines. False (blank) when none has data.
struct Extent {
    bool data = false;
    uint32_t top;
    uint32_t lastZero;
};

uint32_t block_extent(IcmJob& j, const BlockGeometry& g, Extent& x) {
    x = Extent{false, j.bandBytes, j.bandBytes};
    return walk_block(j, g, 1, 0, [&](const Nozzle& z) -> uint32_t {
        if (!z.info || (z.state() & 0x7F) == 0) return 0;
        const int64_t raster = z.raster();
        if (raster < INT32_MIN || raster > INT32_MAX) return kRbmBadIndex;
        uint32_t first = 0, lastZero = 0;
        const uint32_t rc = RBM_GetSpacesize(j.rbm, int32_t(raster), z.ink, 0, int16_t(g.plane), &first, &lastZero);
        if (rc > 1) return rc;
        if (rc == 1) {
            x.data = true;
            x.top = std::min(x.top, first);
            x.lastZero = std::min(x.lastZero, lastZero);
        }
        return 0;
    });
}

// ---- Masks -------------------------------------------------------------------------------

struct MaskSet {
    const POLMaskPattern* pattern;  // null: no kind for the row
    uint16_t flags;
};

// The mask set of layer row `row` for nozzle line `line`.
uint32_t mask_set(const IcmJob& j, uint32_t row, int32_t line, MaskSet& out) {
    out = MaskSet{nullptr, 0};
    const PassColorKindTable* t = j.masks.kindTable;
    if (!t || !t->entries || row >= t->rowNum || t->colNum == 0) return 0;
    const uint16_t kind = t->entries[size_t(row) * t->colNum + uint32_t(line) % t->colNum];
    if (kind == kPolNone) return 0;
    if (kind >= j.masks.patternCount) return kPmmBadIndex;
    out = MaskSet{&j.masks.patterns[kind], j.masks.patterns[kind].flags};
    return 0;
}

// A mask word of plane v (its complement with `second`): 23 when the model
// has no such word.
uint32_t word_slot(const IcmJob& j, int32_t v, bool second, PolMaskSlot& slot) {
    const uint32_t* words = second ? j.masks.complementWord : j.masks.maskWord;
    if (!words || v < 1 || v > j.masks.colorNum) return kIcmBadModelValue;
    slot = PolMaskSlot{reinterpret_cast<const uint8_t*>(&words[v - 1]), 4, 0};
    return 0;
}

// A row of a pattern set: the grade row `grade`, of the overlap block
// `block` for the gradation kinds, read from the block's byte offset.
uint32_t pattern_slot(const MaskSet& m, bool second, int64_t grade, int32_t block, uint32_t offset,
                      PolMaskSlot& slot) {
    const POLMaskPattern& p = *m.pattern;
    if (p.rowCount < 1 || p.rowBytes < 1 || !p.mask || !p.complement) return kPmmBadTable;
    const int64_t row = walk::floor_mod(grade, p.rowCount);
    int64_t at = row * p.rowBytes;
    if (m.flags & kKindGradation) at += int64_t(std::clamp<int32_t>(block, 0, int32_t(p.blocks) - 1)) * p.rowCount * p.rowBytes;
    if (at + p.rowBytes > int64_t(p.size)) return kPmmBadIndex;
    slot = PolMaskSlot{(second ? p.complement : p.mask) + at, uint32_t(p.rowBytes), offset % uint32_t(p.rowBytes)};
    return 0;
}

// The mask of one nozzle for its pass's overlap: R 0 none, 1 a fixed word
// or its complement, 2 a pattern row, in slot 0 of the work area.
uint32_t ICM_SetMaskInfo(IcmJob& j, uint32_t offset, const Nozzle& z, const BlockGeometry& g, int32_t overlapIndex,
                         int32_t split, int& R) {
    R = 0;
    const MleNozzleInfo& info = *z.info;
    const uint32_t state = z.state() & 0x7F;
    MaskSet m{};
    if (uint32_t rc = mask_set(j, info.stepValue[z.at], z.line, m)) return rc;
    const uint16_t F = m.pattern ? m.flags : 0;
    const bool mwsw = state == 6 || state == 7;
    const bool pattern = F & (mwsw ? kKindPatternsMwsw : kKindPatterns);
    const bool byPhase = !mwsw && (F & kKindSimpleByPhase);
    const bool word = !mwsw && (F & kKindSimpleWord);
    enum { kNone, kWord, kComplement, kFirst, kSecond } choice = kNone;
    switch (state) {
        case 2: choice = pattern ? kFirst : byPhase ? (info.polPhase == 0 ? kWord : kComplement) : word ? kWord : kNone; break;
        case 3: choice = pattern ? kSecond : byPhase ? (info.polPhase == 0 ? kWord : kComplement) : word ? kComplement : kNone; break;
        case 5: choice = info.stepValue[z.at] == g.v ? kWord : kComplement; break;
        case 6: choice = pattern ? kFirst : kWord; break;
        case 7: choice = pattern ? kSecond : kComplement; break;
        default: break;
    }
    PolMaskSlot& slot = j.masks.info.slot[0];
    if (choice == kWord || choice == kComplement) {
        R = 1;
        return word_slot(j, g.v, choice == kComplement, slot);
    }
    if (choice == kNone) return 0;
    R = 2;
    int64_t grade = info.rasterOffset[z.at];
    const int64_t rows = m.pattern->rowCount;
    const int64_t e = info.lowerEdge ? info.lowerEdgeRest : 0;
    if (state == 3 && (F & kKindLowerEdgeRows) && e > 0 && e < rows) grade += rows - e;
    if (j.on.split && j.res->splitColorOrder.value == kSplitKindShifted && split > 0) grade /= split;
    return pattern_slot(m, choice == kSecond, grade, overlapIndex, offset, slot);
}

// A nozzle inside the overlap of two heads: the head-connection value of
// its place there names a second mask, so that the two heads share the
// raster's dots. R becomes 1-5 (above 2: two masks).
uint32_t ICM_SetMaskInfoToHeadConnection(IcmJob& j, uint32_t offset, const Nozzle& z, const BlockGeometry& g,
                                         int32_t overlapIndex, int& R) {
    const MleNozzleInfo& info = *z.info;
    bool lower = false;
    int32_t place = -1;
    uint16_t value = 0;
    if (info.nextOverlapValues && z.k >= info.nextOverlap.first && z.k < info.nextOverlap.end) {
        lower = true;
        place = z.k - info.nextOverlap.first;
        value = info.nextOverlapValues[place];
    } else if (info.prevOverlapValues && z.k >= info.prevOverlap.first && z.k < info.prevOverlap.end) {
        place = z.k - info.prevOverlap.first;
        value = info.prevOverlapValues[place];
    }
    if (place < 0) return 0;
    MaskSet m{};
    if (uint32_t rc = mask_set(j, value, z.line, m)) return rc;
    const uint16_t F = m.pattern ? m.flags : 0;
    const bool pattern = F & kKindPatterns;
    const bool word = F & (kKindSimpleByPhase | kKindSimpleWord);
    if (!pattern && !word) return 0;
    const int slot = R == 0 ? 0 : 1;
    PolMaskSlot& s = j.masks.info.slot[slot];
    if (pattern) {
        R = R == 0 ? 2 : R == 1 ? 4 : 5;
        return pattern_slot(m, !lower, place, overlapIndex, offset, s);
    }
    R = R == 0 ? 1 : R == 1 ? 3 : 4;
    return word_slot(j, g.v, !lower, s);
}

// The bytes to send for a printing nozzle: the plane line at the block's
// offset, or the work line holding it masked.
uint32_t masked_line(IcmJob& j, const BlockGeometry& g, const Nozzle& z, const uint8_t* line, uint32_t offset,
                     uint32_t width, int32_t overlapIndex, int32_t split, const uint8_t** out) {
    *out = line + offset;
    int R = 0;
    if (uint32_t rc = ICM_SetMaskInfo(j, offset, z, g, overlapIndex, split, R)) return rc;
    if (uint32_t rc = ICM_SetMaskInfoToHeadConnection(j, offset, z, g, overlapIndex, R)) return rc;
    if (R == 0) return 0;
    j.masking = R > 2 ? PMM_Masking_RasterData_polpol : PMM_Masking_RasterData_pol;
    j.masking(line + offset, width, &j.masks.info, j.workLine);
    *out = j.workLine;
    return 0;
}

// ---- Coding -------------------------------------------------------------------------------

// Single-line form: code when the coded lines (unmasked, at the block's
// offset) and zero lines do not exceed the raw size n x width.
uint32_t coding_pays(IcmJob& j, const BlockGeometry& g, uint32_t offset, uint32_t width, uint8_t& code) {
    code = 1;
    if (j.res->colorNum > 1) return 0;
    code = 0;
    const int64_t budget = int64_t(g.nozzles) * width;
    const int64_t zero = OVC_ClacRunLengthEncodingSize(j.ovc, j.zeroLine, width);
    int64_t sum = 0;
    constexpr uint32_t kOver = 0xFFFFFFFFu;
    const uint32_t rc = walk_block(j, g, 1, 0, [&](const Nozzle& z) -> uint32_t {
        uint8_t* line = nullptr;
        const uint32_t got = nozzle_line(j, g, z, &line);
        if (got > 1) return got;
        sum += got ? OVC_ClacRunLengthEncodingSize(j.ovc, line + offset, width) : zero;
        return sum > budget ? kOver : 0;
    });
    if (rc == kOver) return 0;
    if (rc) return rc;
    code = 1;
    return 0;
}

// ---- One pass -------------------------------------------------------------------------------

struct SubBlock {
    int32_t split;
    int32_t sub;
    uint8_t colour;
    int32_t overlapIndex;
};

uint32_t send_lines(IcmJob& j, const BlockGeometry& g, const SubBlock& b, uint32_t offset, uint32_t width, bool multi) {
    return walk_block(j, g, b.split, b.sub, [&](const Nozzle& z) -> uint32_t {
        uint8_t* line = nullptr;
        const uint32_t got = nozzle_line(j, g, z, &line);
        if (got > 1) return got;
        if (!got) return multi ? OVC_SendRasterImage_data_multi(j.ovc, j.zeroLine)
                               : OVC_SendRasterImage_data(j.ovc, j.zeroLine, 1);
        const uint8_t* bytes = nullptr;
        if (uint32_t rc = masked_line(j, g, z, line, offset, width, b.overlapIndex, b.split, &bytes)) return rc;
        return multi ? OVC_SendRasterImage_data_multi(j.ovc, bytes) : OVC_SendRasterImage_data(j.ovc, bytes, 0);
    });
}

// The multi-line form with coding on: the whole sub-block coded into the
// encoder's code buffer; its length in *total.
uint32_t ICM_MakeRLERastergraphics(IcmJob& j, const BlockGeometry& g, const SubBlock& b, uint32_t offset,
                                   uint32_t width, uint32_t* total) {
    uint64_t sum = 0;
    const uint32_t rc = walk_block(j, g, b.split, b.sub, [&](const Nozzle& z) -> uint32_t {
        uint8_t* line = nullptr;
        const uint32_t got = nozzle_line(j, g, z, &line);
        if (got > 1) return got;
        int32_t n = 0;
        if (!got) {
            n = OVC_EncodeNullRastergraphics(j.ovc, width);
        } else {
            const uint8_t* bytes = nullptr;
            if (uint32_t m = masked_line(j, g, z, line, offset, width, b.overlapIndex, b.split, &bytes)) return m;
            n = OVC_EncodeRastergraphics(j.ovc, bytes, width);
        }
        if (n < 0) return kOvcCodeNoRoom;
        sum += uint32_t(n);
        return 0;
    });
    *total = uint32_t(sum);
    return rc;
}

uint32_t send_sub_block(IcmJob& j, const BlockGeometry& g, const SubBlock& b, int32_t hpos, uint32_t offset,
                        uint32_t width, uint8_t code) {
    const uint32_t lines = uint32_t(g.nozzles / b.split);
    if (uint32_t rc = OVC_SendHPos(j.ovc, hpos)) return rc;
    if (j.res->encoderFlag2) {
        const uint32_t block = uint32_t(g.head) + 1;
        if (OVC_CheckCompress(j.ovc)) {
            uint32_t total = 0;
            if (uint32_t rc = ICM_MakeRLERastergraphics(j, g, b, offset, width, &total)) return rc;
            if (uint32_t rc = OVC_SendRasterImage_head_multi(j.ovc, block, b.colour, width, total, lines, 1)) return rc;
            if (uint32_t rc = OVC_SendRasterImage_data_multi(j.ovc, nullptr)) return rc;
        } else {
            if (uint32_t rc = OVC_SendRasterImage_head_multi(j.ovc, block, b.colour, width, lines * width, lines, 0))
                return rc;
            if (uint32_t rc = send_lines(j, g, b, offset, width, true)) return rc;
        }
    } else {
        if (uint32_t rc = OVC_SendRasterImage_head(j.ovc, b.colour, width, int32_t(lines), code, j.zeroLine)) return rc;
        if (uint32_t rc = send_lines(j, g, b, offset, width, false)) return rc;
        OVC_SetNozzlePitch(j.ovc, MLE_GetNozzlePitchIncludedNozzleInfo(j.mle));
    }
    return OVC_SendCR(j.ovc);
}

// The mono phase of colour/mono switching: only the column of the upper
// nozzle line prints.
bool mono_phase(const IcmJob& j) {
    return j.on.colourMono && j.colourMono && (j.colourMono->kind == 3 || j.colourMono->kind == 4);
}

uint32_t print_block(IcmJob& j, int32_t column, int32_t head) {
    const int16_t first = column_line(j, column);
    if (first < 0) return 0;
    const MleNozzleInfo* info = nullptr;
    if (uint32_t rc = MLE_GetNozzleInfo(j.mle, head, first, &info)) return rc;
    BlockGeometry g{column, head, j.res->head->nozzleNumOfHead[head], info->selector - 1, info->selector};
    if (g.v < 1 || g.v > j.res->colorNum) return kIcmBadModelValue;
    Extent x{};
    if (uint32_t rc = block_extent(j, g, x)) return rc;
    if (!x.data) return 0;
    // The pass's feed, once, before its first block with data.
    if (j.passBlank) {
        j.passBlank = 0;
        if (!feeds_suppressed(j))
            if (uint32_t rc = OVC_SendVPos(j.ovc, MLE_GetVPos(j.mle))) return rc;
    }
    const uint32_t top = RBM_CalcRasterTop(j.rbm, x.top);
    int32_t hpos = 0;
    if (uint32_t rc = ICM_Calc_hpos(&j, g.plane, top, &hpos)) return rc;
    uint32_t offset = 0, width = 0;
    if (top > uint32_t(INT32_MAX)) return kRbmBadIndex;
    if (uint32_t rc = RBM_CalcRasterGraphicsWidth(j.rbm, int32_t(top), x.lastZero, &offset, &width)) return rc;
    // An odd width takes one more byte: a zero of the plane line's tail.
    width += width & 1;
    if (uint64_t{offset} + width > j.lineBytes) return kRbmBadIndex;
    uint8_t code = 0;
    if (!j.res->encoderFlag2)
        if (uint32_t rc = coding_pays(j, g, offset, width, code)) return rc;
    const ICMResourceData& r = *j.res;
    const bool split_order = j.on.split && !mono_phase(j);
    const int32_t split = split_order ? r.splitColorOrder.n : 1;
    if (g.nozzles % split != 0) return kIcmBadModelValue;
    const int32_t index = MLE_GetIndexNozzle(j.mle, first);
    for (int32_t sub = 0; sub < split; ++sub) {
        SubBlock b{split, sub, 0, index};
        if (split_order) {
            const int64_t at = int64_t(split) * (int64_t(head) * r.nozzleArrayNum + j.splitPosition[first]) + sub;
            if (at >= int64_t(r.head->headNum) * r.nozzleArrayNum * split) return kIcmBadModelValue;
            b.colour = r.splitColorOrder.codes[at];
            if (b.colour == kSkipColour) continue;
            if (r.splitColorOrder.value == kSplitKindShifted) b.overlapIndex = index + split - 1 - sub;
        } else {
            const int64_t at = int64_t(head) * j.linesPerRow + column;
            b.colour = at < j.slotColourCapacity ? j.slotColour[at] : j.slotColour[column];
        }
        if (uint32_t rc = send_sub_block(j, g, b, hpos, offset, width, code)) return rc;
    }
    return 0;
}

uint32_t print_pass(IcmJob& j) {
    if (uint32_t rc = MLE_MakeHeadTable(j.mle)) return rc;
    const bool mono = mono_phase(j);
    for (int32_t column = 0; column < j.linesPerRow; ++column) {
        const int16_t line = column_line(j, column);
        if (mono && (line < 0 || j.mle->inkColumn[line] != MLE_GetUpperColumnIndex(j.mle))) continue;
        for (int32_t head = 0; head < j.heads; ++head)
            if (uint32_t rc = print_block(j, column, head)) return rc;
    }
    return 0;
}

// ---- The switches the band buffer's searches drive ------------------------------------------

// A new plan of the pass engine (MLE_ChangeMicroWeaveLogic) and the masks
// that depend on it; `position` gets the new plan's pass position.
uint32_t replan(IcmJob& j, int32_t kind, uint32_t value, int32_t& position) {
    uint32_t p = 0;
    if (uint32_t rc = MLE_ChangeMicroWeaveLogic(j.mle, kind, value, &p)) return rc;
    position = static_cast<int32_t>(p);
    return PMM_ReAlloc_POLMaskPattern(&j.masks, j.res, j.passEngine,
                                      PmmPageColours{uint16_t(j.pageLines), j.lineColour});
}

int64_t clamp_i32(int64_t v) { return std::clamp<int64_t>(v, INT32_MIN, INT32_MAX); }

// Auto-bottom: once the page's rasters are all stored, the bottom logic
// takes over when data ends inside the bottom range.
uint32_t auto_bottom(IcmJob& j) {
    IcmAutoBottomBlock* a = j.autoBottom;
    if (!j.on.autoBottom || !a || !a->armed || j.stored < j.printLength) return 0;
    a->armed = 0;
    const int32_t after = int32_t(clamp_i32(int64_t{a->top} + a->length));
    if (RBM_SearchNextRaster(j.rbm, after, INT32_MAX) < 0 && RBM_SearchNextRaster(j.rbm, a->top, a->length) >= 0)
        return ICM_SwitchToBottomLogic(&j);
    return 0;
}

// The BRS switch: until data shows in the head's reach the passes step on
// without printing; then the lower logic takes over. True when it ended
// the call.
uint32_t brs_switch(IcmJob& j, bool& ended) {
    ended = false;
    IcmBrsBlock* b = j.brs;
    if (!j.on.brs || !b || !b->armed || j.res->modeValue3 <= 0 || j.passCounter % j.res->modeValue3 != 0) return 0;
    ended = true;
    const int32_t start = int32_t(clamp_i32(int64_t{j.passPosition} + j.res->unitValue2 + j.res->unitValue4));
    const int32_t raster = RBM_SearchNextRaster(j.rbm, start, int32_t(MLE_GetHeadheight(j.mle)));
    if (raster >= 0) return ICM_SwitchToBrsLowerLogic(&j, raster);
    do {
        uint32_t position = 0;
        uint8_t end = 0;
        if (uint32_t rc = MLE_Next(j.mle, &position, &end)) return rc;
        ++j.passCounter;
        if (end) {
            j.pageFinished = 1;
            break;
        }
        j.passPosition = int32_t(position);
    } while (j.passCounter % j.res->modeValue3 != 0);
    ICM_Updata_Bufferingarea(&j);
    return 0;
}

bool colour_mono_boundary(const IcmJob& j) {
    return j.colourMono && j.res->blockC.value0 != 0 && j.colourMono->passes % j.res->blockC.value0 == 0;
}

// Colour/mono switching: queue the next switch the band buffer finds.
void colour_mono_search(IcmJob& j) {
    IcmColourMonoBlock* c = j.colourMono;
    if (!j.on.colourMono || !colour_mono_boundary(j)) return;
    if (c->kind == 1) {
        const IcmSwitchRecord& last = j.switches[(j.switchWrite + 1) & 1];
        const int64_t from = std::max<int64_t>(last.raster, int64_t{j.passPosition} + j.res->blockC.value3);
        const int32_t raster = RBM_SearchNextMonoRaster(j.rbm, int32_t(clamp_i32(from)), INT32_MAX);
        if (raster >= 0) ICM_QueueColourMonoSwitch(&j, raster);
    } else if (c->kind == 3) {
        const int32_t raster = RBM_SearchNextColorRaster(j.rbm, j.passPosition, INT32_MAX);
        if (raster >= 0) ICM_QueueColourMonoSwitch(&j, raster);
    }
}

// A queued switch whose position the passes reached takes effect: the
// other logic, moved down to the switch raster, prints from it on.
uint32_t colour_mono_step(IcmJob& j) {
    IcmColourMonoBlock* c = j.colourMono;
    if (!j.on.colourMono || !c) return 0;
    ++c->passes;
    IcmSwitchRecord& s = j.switches[j.switchRead & 1];
    if (!colour_mono_boundary(j) || s.position == kIcmNoSwitch || j.passPosition < s.position) return 0;
    const bool toMono = s.kind == 1;
    MLE_SetNotPrintRaster(j.mle, s.raster, -1);
    if (uint32_t rc = ICM_ChangeLogic(&j, int32_t(s.kind), uint32_t(s.raster))) return rc;
    c->kind = toMono ? 3 : 1;
    if (uint32_t rc = OVC_SendColorMonoSelection(j.ovc, toMono ? 1 : 2)) return rc;
    OVC_ChangeCurrentHeadPos(j.ovc, toMono ? -c->headOffset : c->headOffset);
    s.position = kIcmNoSwitch;
    ++j.switchRead;
    return 0;
}

// The pass groups in pass order: upper, pre-normal, normal, MWSW, F-trans, lower.
struct GroupSpan {
    const MicroweaveLayerRecord* layer;
    int64_t passes;
};

void pass_groups(const MLE_INSTANCE& m, GroupSpan (&out)[6]) {
    const MleSchedule& s = m.schedule;
    out[0] = {s.upper, s.upperPasses};
    out[1] = {s.preNormal, s.preNormalPasses};
    out[2] = {s.normal, s.normalPasses};
    out[3] = {s.mwsw, s.mwswPasses};
    out[4] = {s.fTrans, s.fTransPasses};
    out[5] = {s.lower, s.lowerPasses};
}

// The lowest raster that the passes of group g from its pass `pass` on can
// print: a layer's positions fall by no more than its cycle's lowest
// prefix, and a pass prints no raster above its position plus the largest
// column offset (less a head height where the nozzle-line map may move a
// head up). INT64_MIN when the group's positions are not known.
int64_t group_lowest(const IcmJob& j, const GroupSpan (&groups)[6], int32_t g, int64_t pass) {
    const MicroweaveLayerRecord* l = groups[g].layer;
    if (!l || l->cycleLength < 1 || l->cycleFeed < 1) return INT64_MIN;
    int32_t lo = 0, hi = 0;
    walk::prefix_extremes(*l, lo, hi);
    const int64_t moved = NLM_IsValid(j.mle->nlm) ? int64_t{MLE_GetHeadheight(j.mle)} : 0;
    return int64_t{l->start} + pass / l->cycleLength * l->cycleFeed + lo +
           MLE_GetOffsetNozzleMax(j.mle) - moved;
}

// At the page's end: the first pass from the current one on that can
// print a raster of the printed length; INT64_MAX when none can. A plan
// whose groups run far past the page (an open page planned for its whole
// allowance) would otherwise step through every blank pass to its end.
int64_t next_printing_pass(const IcmJob& j) {
    GroupSpan groups[6];
    pass_groups(*j.mle, groups);
    int64_t pass = j.mle->passNo, first = 0;
    for (int32_t g = 0; g < 6; ++g) {
        if (pass < groups[g].passes && group_lowest(j, groups, g, pass) < j.printLength) return first + pass;
        first += groups[g].passes;
        pass = std::max<int64_t>(pass - groups[g].passes, 0);
    }
    return INT64_MAX;
}

bool open_page(const IcmJob& j) {
    return j.identifier.sub_mode == uint32_t(kIcmOpenLengthSubMode) && j.state == kIcmPageOpen;
}

}  // namespace

void ICM_Updata_Bufferingarea(IcmJob* j) {
    int64_t end = int64_t{j->passPosition} + MLE_GetOffsetNozzleMax(j->mle) + int64_t{j->res->encoderSubModeValue};
    if (!open_page(*j)) end = std::min(end, j->printLength);
    j->bufferingEnd = end;
}

void ICM_HoldEndPasses(IcmJob* j) {
    j->holdFrom = j->holdEnd = INT64_MAX;
    if (j->identifier.sub_mode != uint32_t(kIcmOpenLengthSubMode)) return;
    const MLE_INSTANCE& m = *j->mle;
    const MleSchedule& s = m.schedule;
    GroupSpan groups[6];
    pass_groups(m, groups);
    // The lowest raster the groups after the normal one print: they stand
    // where the page end puts them.
    int64_t lowest = INT64_MAX;
    for (int32_t g = 3; g < 6; ++g)
        if (groups[g].passes > 0) lowest = std::min(lowest, group_lowest(*j, groups, g, 0));
    if (lowest == INT64_MAX) return;
    // The normal passes that reach it share its rasters; the head of a
    // base-head shift may stand up to a head height lower.
    const int64_t reach = int64_t{MLE_GetHeadheight(&m)} * (NLM_IsValid(m.nlm) ? 2 : 1);
    const int64_t before = int64_t{s.upperPasses} + s.preNormalPasses;
    j->holdFrom = before;
    if (lowest == INT64_MIN) return;
    // They stand at x or further down: none is due before holdEnd rasters are stored.
    const int64_t x = lowest - MLE_GetOffsetNozzleMax(&m) - reach + 1;
    if (s.normal && s.normalPasses > 0)
        j->holdFrom += std::min<int64_t>(
            s.normalPasses, walk::first_pass_at_or_after(*s.normal, s.spans[s.normal - s.logic.layers], x));
    if (j->holdFrom == before) j->holdFrom = 0;  // the page end reaches the normal group's first pass
    j->holdEnd = x + MLE_GetOffsetNozzleMax(&m) + int64_t{j->res->encoderSubModeValue};
}

uint32_t ICM_Calc_hpos(const IcmJob* j, int32_t shift, uint32_t top, int32_t* position) {
    const ICMResourceData& r = *j->res;
    int64_t p = RBM_GetLeftOffset(j->rbm);
    if (top > 0) p += int64_t{top} * 8 / r.bitsPerPixel;
    if (j->on.cycle && j->cycle) {
        const int64_t at = int64_t{shift} + int64_t{j->cycle->index} * r.colorNum;
        if (at < 0 || at >= int64_t{r.blockB.n} * r.colorNum || r.modeValue0 == 0) return kIcmBadModelValue;
        p = p * r.blockB.value / r.modeValue0 + r.blockB.perColor[at];
    } else {
        p += shift;
    }
    if (p < 0 || p > INT32_MAX) return kOvcNegativeHPos;
    *position = static_cast<int32_t>(p);
    return 0;
}

uint32_t ICM_Calc_ARC_vpos(IcmJob* j, uint32_t position) {
    IcmCorrectionBlock* c = j->correction;
    const ICMResourceData& r = *j->res;
    if (!c || r.modeValue1 == 0 || r.blockD.n < 1) return kIcmBadModelValue;
    int64_t d = (int64_t{int32_t(position)} - int64_t{int32_t(c->last)}) * r.blockD.value;
    int64_t divisor = r.modeValue1;
    if (divisor < 0) {
        d = -d;
        divisor = -divisor;
    }
    const int64_t q = c->count < 1 ? ceil_div(d, divisor) : floor_div(d, divisor);
    const int64_t correction = q + r.blockD.list[c->count % r.blockD.n];
    OVC_Set_arc_vpos(j->ovc, int32_t(clamp_i32(correction)));
    c->last = position;
    if (c->count < INT32_MAX) ++c->count;
    return 0;
}

uint32_t ICM_ChangeLogic(IcmJob* j, int32_t kind, uint32_t value) {
    int32_t position = 0;
    if (uint32_t rc = replan(*j, kind, value, position)) return rc;
    j->passPosition = position;
    ICM_Updata_Bufferingarea(j);
    return 0;
}

uint32_t ICM_SwitchToBottomLogic(IcmJob* j) {
    if (uint32_t rc = ICM_ChangeLogic(j, 3, 0)) return rc;
    if (j->brs) j->brs->armed = 0;
    return 0;
}

uint32_t ICM_SwitchToBrsLowerLogic(IcmJob* j, int32_t raster) {
    if (raster < 0) return kIcmBadRun;
    if (uint32_t rc = ICM_ChangeLogic(j, 2, uint32_t(raster))) return rc;
    if (j->brs) *j->brs = IcmBrsBlock{0, 1, j->brs->start, raster};
    return 0;
}

void ICM_QueueColourMonoSwitch(IcmJob* j, int32_t raster) {
    IcmColourMonoBlock* c = j->colourMono;
    if (!c || (c->kind != 1 && c->kind != 3) || raster < 0) return;
    const bool toMono = c->kind == 1;
    j->switches[j->switchWrite & 1] = IcmSwitchRecord{toMono ? 1u : 0u, raster, raster, 0};
    ++j->switchWrite;
    c->kind = toMono ? 2 : 4;
    // The logic printing now leaves the rasters from the switch on to the
    // next one, in either direction, so that none is printed twice.
    MLE_SetNotPrintRaster(j->mle, -1, raster);
}

uint32_t ICM_Draw_Rasterdata(IcmJob* j) {
    while (j->stored >= j->bufferingEnd) {
        if (j->pageFinished) return 0;
        if (j->stored >= j->printLength && !open_page(*j)) {
            // The page is all stored: the passes that cannot reach it are
            // not stepped through one by one.
            const int64_t next = next_printing_pass(*j);
            if (next == INT64_MAX) {
                j->pageFinished = 1;
                return 0;
            }
            if (next - j->mle->passNo > kIdlePassLimit) return kIcmIdlePasses;
        }
        if (uint32_t rc = auto_bottom(*j)) return rc;
        bool ended = false;
        if (uint32_t rc = brs_switch(*j, ended)) return rc;
        if (ended) return 0;
        colour_mono_search(*j);
        if (j->scheduleChange) {
            // A grown open page: logic 0 planned for its new length.
            j->scheduleChange = 0;
            int32_t now = 0;
            j->planLength = j->printLength;
            if (uint32_t rc = replan(*j, -1, uint32_t(std::min<int64_t>(j->planLength, INT32_MAX)), now)) return rc;
            ICM_HoldEndPasses(j);
            if (j->passPosition < now) {
                j->passPosition = now;
                ICM_Updata_Bufferingarea(j);
                return 0;
            }
            if (j->passPosition > now) return kIcmScheduleBehind;
        }
        // An open page's passes that its end may change wait for it.
        if (open_page(*j) && j->mle->passNo >= j->holdFrom) return 0;
        j->passBlank = 1;
        const bool suppressed = feeds_suppressed(*j);
        if (!suppressed && MLE_IsInsertNullPass(j->mle, int32_t(clamp_i32(j->passCounter)))) {
            if (uint32_t rc = OVC_SendVPosZero(j->ovc)) return rc;
            ++j->passCounter;
            continue;
        }
        if (uint32_t rc = print_pass(*j)) return rc;
        const bool last = MLE_IsLastPass(j->mle);
        uint32_t position = 0;
        uint8_t end = 0;
        if (uint32_t rc = MLE_Next(j->mle, &position, &end)) return rc;
        ++j->passCounter;
        j->pageFinished = end;
        if (!end) j->passPosition = static_cast<int32_t>(position);
        if (!suppressed) {
            if (uint32_t rc = colour_mono_step(*j)) return rc;
            ICM_Updata_Bufferingarea(j);
        } else {
            ICM_Updata_Bufferingarea(j);
            if (!end && MLE_IsInsertNullPass(j->mle, int32_t(clamp_i32(j->passCounter)))) {
                if (uint32_t rc = OVC_SendVPosZero(j->ovc)) return rc;
                ++j->passCounter;
            }
            const uint32_t rc = last ? OVC_SendVPosZero(j->ovc) : OVC_SendVPos(j->ovc, MLE_GetVPos(j->mle));
            if (rc) return rc;
        }
        if (j->on.verticalCorrection && j->correction)
            if (uint32_t rc = ICM_Calc_ARC_vpos(j, MLE_GetVPos(j->mle))) return rc;
        if (j->on.cycle && j->cycle) {
            IcmCycleBlock& c = *j->cycle;
            if (++c.count >= j->res->blockB.list[c.index]) {
                c.count = 0;
                c.index = (c.index + 1) % j->res->blockB.n;
            }
        }
    }
    return 0;
}

}  // namespace ovcg::irac
