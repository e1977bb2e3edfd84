#include "hxr/control/hxr_index.h"

#include "hxr/control/hxr_clrmgr.h"

#include <cstddef>

const HXRSwitchResource SwitchResouceInfo[9] = {
    {0, 0}, {1, 1}, {2, 1}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {0xFFFFFFFFu, 0xFFFFFFFFu},
};

uint32_t HXRCheckSwitchResource(uint32_t kind) {
    for (const HXRSwitchResource* s = SwitchResouceInfo; s->kind != 0xFFFFFFFFu; ++s)
        if (s->kind == kind) return s->switchable;
    return kHxrNoValue;
}

namespace {

// Limits of the text.
constexpr uint32_t kMaxCrLf = 2048;        // line starts: one more
constexpr uint32_t kHeaderSearch = 2048;   // lines 0..2047
constexpr uint32_t kLastRowsEnd = 2046;    // the rows' closing line
constexpr uint32_t kMaxHeaderDigits = 15;
constexpr uint32_t kLineBuffer = 1024;     // a folded line holds 1022 characters
constexpr uint32_t kMediaBuffer = 20480;   // the joined media list holds 20478
// GetFields limits: a line holds at most max - 1 names.
constexpr uint32_t kMaxNames = 64;
constexpr uint32_t kMaxMedia = 256;
constexpr uint32_t kMaxDocTypes = 36;

// Refusal without a recorded code.
constexpr uint32_t kSilent = 0xFFFFFFFFu;

enum Column {
    kCmmId, kInkId, kCSmbId, kMSmbId, kSmbId, kBSmbId, kUbecDither, kUbecVinfo, kInkSet, kMicro, kHalftone,
    kMedia, kHRes, kVRes, kDocType, kSubType, kOutBit, kCDbG0, kCDbG255, kMDbg0, kMDbg255, kColumns,
};
constexpr const char* kColumnNames[kColumns] = {
    "CMM-ID", "INK-ID",   "cSMB-ID", "mSMB-ID", "SMB-ID",  "bSMB-ID", "ubec_dither",
    "ubec_vinfo", "ink_set", "Micro", "Halftone", "media", "H-RES",  "V-RES",
    "DocType", "subType", "OUT_BIT", "cDbG0", "cDbG255", "mDbg0",   "mDbg255",
};

// A line split into names (pointers into its buffer, each zero-terminated).
template <uint32_t Max>
struct Names {
    const char* name[Max + 1];  // + 1: a trailing "@" split off
    uint32_t count;
};

// Scratch of one parse, released before the parser is returned.
struct Scratch {
    uint32_t start[kMaxCrLf + 1];  // line starts
    uint32_t end[kMaxCrLf + 1];    // the CR of each terminated line
    char columns[kLineBuffer], halftone[kLineBuffer], media[kMediaBuffer];
    char doc_a[kLineBuffer], doc_b[kLineBuffer], row[kLineBuffer];
    Names<kMaxNames> column_names, halftone_names, row_names;
    Names<kMaxMedia> media_names;
    Names<kMaxDocTypes> doc_a_names, doc_b_names;
};

struct Services {
    HXRStrCmpFn cmp;
    HXRStrCpyFn cpy;
    HXRAtoIFn atoi;
    HXRStrLenFn len;
};

class Text {
public:
    Text(const uint8_t* text, uint32_t size, Scratch& s) : t_(text), s_(s) {
        len_ = 0;
        while (len_ < size && text[len_] != 0) ++len_;
    }

    // The line table: 0 or the code of the failure.
    uint32_t scan() {
        lines_ = 0;
        s_.start[0] = 0;
        for (uint32_t i = 0; i < len_; ++i) {
            if (t_[i] == '\n') return kSilent;  // a LF without its CR
            if (t_[i] != '\r') continue;
            if (i + 1 >= len_ || t_[i + 1] != '\n') return kSilent;
            if (lines_ == kMaxCrLf) return kHxrIndexTooManyLines;
            s_.end[lines_] = i;
            s_.start[++lines_] = i + 2;
            ++i;
        }
        return 0;
    }
    // Lines 0..lines_ exist; the last one has no CR.
    bool exists(uint32_t line) const { return line <= lines_; }
    bool terminated(uint32_t line) const { return line < lines_; }
    const uint8_t* begin(uint32_t line) const { return t_ + s_.start[line]; }
    uint32_t length(uint32_t line) const { return (terminated(line) ? s_.end[line] : len_) - s_.start[line]; }
    bool starts_comment(uint32_t line) const {
        return exists(line) && length(line) >= 2 && begin(line)[0] == '/' && begin(line)[1] == '/';
    }

    // ReadRecord: the line with blanks and tabs folded into `out` (cap bytes,
    // of which cap - 2 hold characters). The number of characters, or -1.
    int32_t read(uint32_t line, char* out, uint32_t cap) const {
        if (!terminated(line)) return -1;
        const uint8_t* p = begin(line);
        const uint32_t n = length(line);
        uint32_t o = 0;
        bool blank = true;  // drops leading blanks
        for (uint32_t i = 0; i < n; ++i) {
            const bool is_blank = p[i] == ' ' || p[i] == '\t';
            if (is_blank && blank) continue;
            if (o + 1 >= cap) return -1;  // room for one trailing blank, then the zero
            out[o++] = is_blank ? ' ' : char(p[i]);
            blank = is_blank;
        }
        if (o > 0 && out[o - 1] == ' ') --o;
        if (o + 2 > cap) return -1;
        out[o] = 0;
        return int32_t(o);
    }

private:
    const uint8_t* t_;
    Scratch& s_;
    uint32_t len_;
    uint32_t lines_ = 0;
};

// GetFields: splits a folded line in place at single blanks. A last name that
// ends in "@" gives the "@" as a name of its own, beyond the limit.
template <uint32_t Max>
bool split(char* line, Names<Max>& out) {
    out.count = 0;
    if (!*line) return true;
    char* p = line;
    for (;;) {
        if (out.count == Max - 1) return false;
        out.name[out.count++] = p;
        while (*p && *p != ' ') ++p;
        if (!*p) break;
        *p++ = 0;
    }
    char* last = const_cast<char*>(out.name[out.count - 1]);
    const size_t n = static_cast<size_t>(p - last);
    if (n > 1 && last[n - 1] == '@') {
        last[n - 1] = 0;
        out.name[out.count++] = "@";
    }
    return true;
}

bool all_digits(const char* s) {
    if (!*s) return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9') return false;
    return true;
}

// A row being filled: its names and the column positions.
struct RowReader {
    const Names<kMaxNames>& names;
    const uint32_t (&column)[kColumns];
    const Services& svc;

    const char* cell(Column c) const {
        const uint32_t at = column[c];
        return at < names.count ? names.name[at] : "";
    }
    // AtoI: digits only, converted by the host.
    uint32_t number(Column c) const {
        const char* s = cell(c);
        while (*s == ' ') ++s;
        return all_digits(s) ? static_cast<uint32_t>(svc.atoi(s)) : kHxrNoValue;
    }
    // GetIndex: the position of the first equal entry, plus the base.
    template <uint32_t Max>
    uint32_t position(Column c, const Names<Max>& list, uint32_t first, uint32_t base) const {
        const char* s = cell(c);
        if (!*s) return kHxrNoValue;
        for (uint32_t i = first; i < list.count; ++i)
            if (svc.cmp(list.name[i], s) == 0) return i - first + base;
        return kHxrNoValue;
    }
    void text(Column c, char* out) const {
        const char* s = cell(c);
        out[0] = 0;
        if (svc.len(s) < kHxrIndexTextSize) svc.cpy(out, s);
    }
};

uint32_t parse(const uint8_t* text, uint32_t size, const Services& svc, Scratch& s, HXRIndexParser& out,
               HXRMemMgr* mm) {
    Text t(text, size, s);
    if (const uint32_t rc = t.scan()) return rc;

    // The header line and its number.
    uint32_t h = 0;
    while (h < kHeaderSearch && t.exists(h) && !t.starts_comment(h)) ++h;
    if (h == kHeaderSearch || !t.exists(h)) return kSilent;
    uint32_t digits = 0;
    for (const uint8_t* p = t.begin(h) + 2; digits + 2 < t.length(h) && p[digits] >= '0' && p[digits] <= '9';)
        ++digits;
    if (digits > kMaxHeaderDigits) return kSilent;

    if (t.read(h + 2, s.columns, kLineBuffer) < 0) return kSilent;
    if (!split(s.columns, s.column_names)) return kHxrIndexTooManyNames;

    // The rows, up to the closing "//" line.
    const uint32_t first_row = h + 3;
    uint32_t end = first_row;
    for (;; ++end) {
        if (end > kLastRowsEnd || !t.exists(end)) return kSilent;
        if (t.starts_comment(end)) break;
        if (t.read(end, s.row, kLineBuffer) < 0) return kSilent;
        if (!split(s.row, s.row_names)) return kHxrIndexTooManyNames;
    }

    if (t.read(end + 1, s.halftone, kLineBuffer) < 0) return kSilent;
    if (!split(s.halftone, s.halftone_names)) return kHxrIndexTooManyNames;

    // The media list, continued over lines that end in "@".
    uint32_t line = end + 2;
    uint32_t joined = 0;
    for (;; ++line) {
        const int32_t n = t.read(line, s.row, kLineBuffer);
        if (n < 0) return kSilent;
        if (n == 0 && line > end + 2) return kSilent;  // an empty line after an "@"
        if (joined + uint32_t(n) > kMediaBuffer - 2) return kSilent;
        for (int32_t i = 0; i < n; ++i) s.media[joined++] = s.row[i];
        if (n == 0 || s.media[joined - 1] != '@') break;
        s.media[joined - 1] = ' ';
    }
    s.media[joined] = 0;
    if (!split(s.media, s.media_names)) return kHxrIndexTooManyMedia;
    if (t.read(line + 1, s.doc_a, kLineBuffer) < 0 || t.read(line + 2, s.doc_b, kLineBuffer) < 0) return kSilent;
    if (!split(s.doc_a, s.doc_a_names) || !split(s.doc_b, s.doc_b_names)) return kHxrIndexTooManyDocTypes;

    // Column positions, and the media list's base.
    uint32_t column[kColumns];
    for (uint32_t c = 0; c < kColumns; ++c) {
        column[c] = kHxrNoValue;
        for (uint32_t i = 0; i < s.column_names.count; ++i)
            if (svc.cmp(s.column_names.name[i], kColumnNames[c]) == 0) {
                column[c] = i;
                break;
            }
    }
    uint32_t media_first = 0, media_base = 0;
    if (s.media_names.count > 0 && all_digits(s.media_names.name[0])) {
        const int base = svc.atoi(s.media_names.name[0]);
        if (base > 0) {
            media_first = 1;
            media_base = uint32_t(base);
        }
    }

    const uint32_t rows = end - first_row;
    auto* row = static_cast<HXRIndexRow*>(HXRAllocMem(mm, uint32_t(rows * sizeof(HXRIndexRow))));
    if (!row) return kSilent;
    for (uint32_t r = 0; r < rows; ++r) {
        t.read(first_row + r, s.row, kLineBuffer);
        split(s.row, s.row_names);
        const RowReader rd{s.row_names, column, svc};
        HXRIndexRow& x = row[r];
        x.cmmId = rd.number(kCmmId);
        x.inkId = rd.number(kInkId);
        x.cSmbId = rd.number(kCSmbId);
        x.mSmbId = rd.number(kMSmbId);
        x.smbId = rd.number(kSmbId);
        x.bSmbId = rd.number(kBSmbId);
        x.ubecDither = rd.number(kUbecDither);
        x.ubecVinfo = rd.number(kUbecVinfo);
        rd.text(kInkSet, x.inkSet);
        rd.text(kMicro, x.micro);
        x.halftone = rd.position(kHalftone, s.halftone_names, 0, 0);
        x.media = rd.position(kMedia, s.media_names, media_first, media_base);
        x.hRes = rd.number(kHRes);
        x.vRes = rd.number(kVRes);
        x.docTypeA = rd.position(kDocType, s.doc_a_names, 0, 0);
        x.docTypeB = rd.position(kDocType, s.doc_b_names, 0, 0);
        x.subType = rd.number(kSubType);
        x.outBit = rd.number(kOutBit);
        x.cDbG0 = rd.number(kCDbG0);
        x.cDbG255 = rd.number(kCDbG255);
        x.mDbg0 = rd.number(kMDbg0);
        x.mDbg255 = rd.number(kMDbg255);
    }
    out.rows = row;
    out.count = int32_t(rows);
    return 0;
}

}  // namespace

HXRIndexParser* HXRCreateIndexResParser(const uint8_t* text, uint32_t size, HXRMemMgr* mm, HXRStrCmpFn cmp,
                                        HXRStrCpyFn cpy, HXRAtoIFn atoi, HXRStrLenFn len) {
    if (!text || !mm || !cmp || !cpy || !atoi || !len) return nullptr;
    auto* scratch = static_cast<Scratch*>(HXRAllocMem(mm, sizeof(Scratch)));
    if (!scratch) return nullptr;
    HXRIndexParser parsed{nullptr, 0};
    const uint32_t rc = parse(text, size, {cmp, cpy, atoi, len}, *scratch, parsed, mm);
    HXRFreeMem(mm, scratch);
    if (rc) {
        if (rc != kSilent) HXRSetErrorInfo(rc);
        return nullptr;
    }
    auto* p = static_cast<HXRIndexParser*>(HXRAllocMem(mm, sizeof(HXRIndexParser)));
    if (!p) {
        HXRFreeMem(mm, parsed.rows);
        return nullptr;
    }
    *p = parsed;
    return p;
}

uint32_t HXRDeleteIndexResParser(HXRIndexParser* p, HXRMemMgr* mm) {
    if (!p) {
        HXRSetErrorInfo(kHxrIndexParserNone);
        return kHxrIndexParserNone;
    }
    const uint32_t rc = HXRFreeMem(mm, p->rows);
    const uint32_t r = HXRFreeMem(mm, p);
    return rc ? rc : r;
}

// ---------------------------------------------------------------- query

namespace {

bool matches(const HXRIndexRow& r, uint32_t ink_set, uint32_t media, uint32_t doc, uint32_t sub, uint32_t ht,
             uint32_t h, uint32_t v, uint32_t bits) {
    return r.media == media && r.subType == sub && r.halftone == ht && r.hRes == h && r.vRes == v &&
           r.outBit == bits && (ink_set != 0 ? r.docTypeA : r.docTypeB) == doc;
}

}  // namespace

uint32_t HXRCountMatchedMode(const HXRIndexParser* p, uint32_t ink_set, uint32_t media, uint32_t doc, uint32_t sub,
                             uint32_t ht, uint32_t h, uint32_t v, uint32_t bits) {
    if (!p) return 0;
    uint32_t n = 0;
    for (int32_t i = 0; i < p->count; ++i) n += matches(p->rows[i], ink_set, media, doc, sub, ht, h, v, bits);
    return n;
}

HXRIndexMatch HXRSearchPrintMode(const HXRIndexParser* p, uint32_t ink_set, uint32_t media, uint32_t doc,
                                 uint32_t sub, uint32_t ht, uint32_t h, uint32_t v, uint32_t bits, int32_t n) {
    if (p && n >= 1) {
        for (int32_t i = 0; i < p->count; ++i)
            if (matches(p->rows[i], ink_set, media, doc, sub, ht, h, v, bits) && --n == 0)
                return {&p->rows[i], ink_set};
    }
    return {nullptr, ink_set};
}

uint32_t HXRGetMatchedPrintMode(const HXRIndexParser* p, const _HXR_HALFTONE_INFO* q) {
    if (!q) return 0;
    return HXRCountMatchedMode(p, q->inkSet, q->media, q->docType, q->subType, q->htType, q->xResolution,
                               q->yResolution, q->outputBits);
}

uint32_t HXRGetIndexData(HXRIndexMatch m, HXRAtoIFn atoi, uint32_t item) {
    if (!m.row) return kHxrNoValue;
    const HXRIndexRow& r = *m.row;
    const bool colour = m.inkSet != 0;
    const auto positive = [](uint32_t v) { return static_cast<int32_t>(v) > 0; };
    switch (item) {
        case kHxrIndexItemLut: return r.cmmId;
        case kHxrIndexItemRate: return r.inkId;
        case kHxrIndexItemSml: return positive(r.smbId) ? r.smbId : colour ? r.cSmbId : r.mSmbId;
        case kHxrIndexItemSml2: return positive(r.bSmbId) ? r.bSmbId : kHxrNoValue;
        case kHxrIndexItemDither: return r.ubecDither;
        case kHxrIndexItemDitherOffset: return r.ubecVinfo;
        case kHxrIndexItemBlackInk: return atoi ? static_cast<uint32_t>(atoi(r.inkSet)) : kHxrNoValue;
        case kHxrIndexItemDblGamma0: return colour ? r.cDbG0 : r.mDbg0;
        case kHxrIndexItemDblGamma255: return colour ? r.cDbG255 : r.mDbg255;
        default: return kHxrNoValue;
    }
}

void HXRGetIndexString(const HXRIndexRow* row, uint32_t item, char* dst, HXRStrCpyFn cpy) {
    if (!dst) return;
    dst[0] = 0;
    if (!row || !cpy) return;
    if (item == kHxrIndexItemInkSet) cpy(dst, row->inkSet);
    if (item == kHxrIndexItemMicro) cpy(dst, row->micro);
}

HXRIndexInfo* HXRCreateIndexInfo(const HXRIndexParser* p, const _HXR_HALFTONE_INFO* q, int32_t n, HXRMemMgr* mm,
                                 HXRStrCpyFn cpy, HXRAtoIFn atoi) {
    if (!p || !q || !mm || !cpy || !atoi) return nullptr;
    const HXRIndexMatch m = HXRSearchPrintMode(p, q->inkSet, q->media, q->docType, q->subType, q->htType,
                                               q->xResolution, q->yResolution, q->outputBits, n);
    if (!m.row) return nullptr;
    auto* info = static_cast<HXRIndexInfo*>(HXRAllocMem(mm, sizeof(HXRIndexInfo)));
    if (!info) return nullptr;
    info->lutId = HXRGetIndexData(m, atoi, kHxrIndexItemLut);
    info->rateId = HXRGetIndexData(m, atoi, kHxrIndexItemRate);
    info->smlId = HXRGetIndexData(m, atoi, kHxrIndexItemSml);
    info->sml2Id = HXRGetIndexData(m, atoi, kHxrIndexItemSml2);
    info->ditherId = HXRGetIndexData(m, atoi, kHxrIndexItemDither);
    info->ditherOffsetId = HXRGetIndexData(m, atoi, kHxrIndexItemDitherOffset);
    HXRGetIndexString(m.row, kHxrIndexItemInkSet, info->inkSet, cpy);
    HXRGetIndexString(m.row, kHxrIndexItemMicro, info->micro, cpy);
    info->blackInkCode = HXRGetIndexData(m, atoi, kHxrIndexItemBlackInk);
    info->dblGamma0 = HXRGetIndexData(m, atoi, kHxrIndexItemDblGamma0);
    info->dblGamma255 = HXRGetIndexData(m, atoi, kHxrIndexItemDblGamma255);
    return info;
}

uint32_t HXRDeleteIndexInfo(HXRIndexInfo* info, HXRMemMgr* mm) { return HXRFreeObject(mm, info, kHxrIndexInfoNone); }
