#include "hxr/control/hxr_clrmgr.h"

namespace {

constexpr uint32_t kEnd = 0xFFFFFFFFu;

// Output colours of every ink set.
constexpr HXRInkRow kBaseOutputTable[] = {
    {0, 1, {0}},
    {1, 4, {1, 2, 3, 0}},
    {2, 3, {1, 2, 3}},
    {3, 6, {1, 2, 3, 0, 4, 5}},
    {4, 7, {1, 2, 3, 0, 4, 5, 6}},
    {5, 4, {1, 2, 3, 0}},
    {6, 7, {1, 2, 3, 0, 4, 5, 7}},
    {7, 7, {1, 2, 3, 0, 8, 9, 10}},
    {8, 6, {1, 2, 3, 0, 8, 9}},
    {9, 8, {1, 2, 3, 0, 4, 5, 7, 11}},
    {10, 8, {1, 2, 3, 12, 8, 9, 10, 13}},
    {11, 4, {1, 2, 3, 0}},
    {12, 7, {1, 2, 3, 0, 8, 14, 10}},
    {13, 6, {1, 2, 3, 0, 8, 14}},
    {14, 8, {1, 2, 3, 12, 8, 14, 10, 13}},
    {15, 8, {1, 2, 3, 0, 4, 5, 14, 15}},
    {16, 10, {1, 2, 3, 0, 4, 5, 7, 11, 14, 15}},
    {17, 7, {1, 2, 3, 0, 15, 14, 10}},
    {18, 5, {1, 2, 3, 12, 13}},
    {19, 8, {1, 2, 3, 12, 15, 14, 10, 13}},
    {20, 9, {1, 2, 3, 0, 4, 5, 14, 15, 16}},
    {24, 5, {1, 2, 3, 0, 17}},
    {25, 7, {1, 2, 3, 0, 4, 5, 17}},
    {26, 5, {1, 2, 3, 0, 18}},
    {27, 8, {1, 2, 3, 0, 8, 14, 9, 10}},
    {28, 7, {1, 2, 3, 12, 4, 5, 13}},
    {29, 8, {1, 2, 3, 0, 4, 5, 14, 7}},
    {30, 9, {1, 2, 3, 0, 4, 5, 14, 7, 19}},
    {31, 10, {1, 2, 3, 0, 4, 5, 14, 7, 16, 19}},
    {33, 8, {1, 2, 3, 0, 15, 14, 10, 16}},
    {34, 5, {1, 2, 3, 0, 16}},
    {35, 6, {1, 2, 3, 0, 16, 10}},
    {36, 7, {1, 2, 3, 0, 16, 20, 10}},
    {37, 8, {1, 2, 3, 12, 4, 5, 7, 13}},
    {38, 12, {1, 2, 3, 12, 4, 5, 7, 11, 14, 15, 9, 13}},
    {39, 8, {1, 2, 3, 0, 4, 5, 7, 16}},
    {40, 9, {1, 2, 3, 12, 4, 5, 7, 11, 13}},
    {41, 10, {1, 2, 3, 12, 4, 5, 14, 15, 9, 13}},
    {42, 10, {1, 2, 3, 12, 4, 5, 7, 21, 11, 13}},
    {43, 6, {1, 2, 3, 0, 8, 7}},
    {44, 6, {1, 2, 3, 0, 8, 7}},
    {45, 8, {1, 2, 3, 0, 8, 14, 9, 7}},
    {46, 6, {1, 2, 3, 0, 14, 15}},
    {47, 7, {1, 2, 3, 0, 8, 15, 16}},
    {48, 10, {1, 2, 3, 0, 4, 5, 7, 14, 8, 16}},
    {49, 7, {1, 2, 3, 0, 4, 5, 22}},
    {kEnd, 0, {0}},
};

// The order in which the colour LUT delivers the inks.
constexpr HXRInkRow kLutTable[] = {
    {0, 1, {0}},
    {1, 4, {1, 2, 3, 0}},
    {2, 3, {1, 2, 3}},
    {3, 6, {1, 4, 2, 5, 3, 0}},
    {4, 7, {1, 4, 2, 5, 3, 0, 6}},
    {5, 4, {1, 2, 3, 0}},
    {6, 7, {1, 4, 2, 5, 3, 0, 7}},
    {7, 7, {1, 8, 2, 9, 3, 0, 10}},
    {8, 6, {1, 8, 2, 9, 3, 0}},
    {9, 8, {1, 4, 2, 5, 3, 0, 7, 11}},
    {10, 8, {1, 8, 2, 9, 3, 12, 10, 13}},
    {11, 4, {1, 2, 3, 0}},
    {12, 7, {1, 8, 2, 14, 3, 0, 10}},
    {13, 6, {1, 8, 2, 14, 3, 0}},
    {14, 8, {1, 8, 2, 14, 3, 12, 10, 13}},
    {15, 8, {1, 4, 2, 5, 3, 0, 14, 15}},
    {16, 10, {1, 4, 2, 5, 3, 0, 7, 11, 14, 15}},
    {17, 7, {1, 15, 2, 14, 3, 0, 10}},
    {18, 5, {1, 2, 3, 12, 13}},
    {19, 8, {1, 15, 2, 14, 3, 12, 10, 13}},
    {20, 9, {1, 4, 2, 5, 3, 0, 14, 15, 16}},
    {24, 5, {1, 2, 3, 0, 17}},
    {25, 5, {1, 2, 3, 0, 17}},
    {26, 4, {1, 2, 3, 0}},
    {27, 8, {1, 8, 2, 14, 3, 0, 9, 10}},
    {28, 5, {1, 2, 3, 12, 13}},
    {29, 8, {1, 4, 2, 5, 3, 0, 14, 7}},
    {30, 9, {1, 4, 2, 5, 3, 0, 14, 7, 19}},
    {31, 10, {1, 4, 2, 5, 3, 0, 14, 7, 16, 19}},
    {33, 8, {1, 15, 2, 14, 3, 0, 10, 16}},
    {34, 5, {1, 2, 3, 0, 16}},
    {35, 6, {1, 2, 3, 0, 16, 10}},
    {36, 7, {1, 2, 3, 0, 16, 20, 10}},
    {37, 8, {1, 4, 2, 5, 3, 12, 7, 13}},
    {38, 12, {1, 4, 2, 5, 3, 12, 7, 11, 14, 15, 9, 13}},
    {39, 8, {1, 4, 2, 5, 3, 0, 7, 16}},
    {40, 9, {1, 4, 2, 5, 3, 12, 7, 11, 13}},
    {41, 10, {1, 4, 2, 5, 3, 12, 14, 15, 9, 13}},
    {42, 10, {1, 4, 2, 5, 3, 12, 7, 21, 11, 13}},
    {43, 6, {1, 8, 2, 7, 3, 0}},
    {44, 6, {1, 8, 2, 7, 3, 0}},
    {45, 8, {1, 8, 2, 14, 3, 0, 9, 7}},
    {46, 6, {1, 14, 2, 15, 3, 0}},
    {47, 7, {1, 8, 2, 15, 3, 0, 16}},
    {48, 10, {1, 4, 2, 5, 3, 0, 7, 14, 8, 16}},
    {49, 7, {1, 4, 2, 5, 3, 0, 22}},
    {kEnd, 0, {0}},
};

// Channels the printer really receives, where they differ from the output colours.
constexpr HXRInkRow kSpecialOutputTable[] = {
    {11, 6, {1, 2, 3, 0, 4, 5}},
    {44, 8, {1, 2, 3, 0, 4, 5, 8, 7}},
    {kEnd, 0, {0}},
};

// Channels that are halftoned, where they differ from the output colours.
constexpr HXRInkRow kSpecialHalftoneTable[] = {
    {11, 6, {1, 2, 3, 0, 257, 258}},
    {44, 8, {1, 2, 3, 0, 257, 258, 8, 7}},
    {kEnd, 0, {0}},
};

constexpr HXRDotRow kSpecialDotSizeTable[] = {
    {11, 34, 4, {5, 5, 3, 3}},
    {44, 34, 6, {5, 5, 3, 3, 3, 3}},
    {kEnd, 0, 0, {0}},
};

const HXRInkRow* find_row(const HXRInkRow* table, uint32_t ink_set) {
    for (; table->ink_set != kEnd; ++table)
        if (table->ink_set == ink_set) return table;
    return nullptr;
}

// A list of up to 12 codes, unused entries 0xFFFFFFFF.
struct CodeList {
    uint32_t count;
    uint32_t codes[kHxrMaxInks];
};

void fill_list(CodeList& list, const HXRInkRow& row) {
    list.count = row.count;
    for (uint32_t i = 0; i < kHxrMaxInks; ++i) list.codes[i] = i < row.count ? row.codes[i] : kHxrNoValue;
}

uint32_t code_at(const CodeList& list, uint32_t i) { return i < list.count ? list.codes[i] : kHxrNoValue; }

uint32_t index_of(const CodeList& list, uint32_t code, uint32_t mask) {
    for (uint32_t i = 0; i < list.count; ++i)
        if ((list.codes[i] & mask) == (code & mask)) return i;
    return kHxrNoValue;
}

}  // namespace

struct HXRClrMgr {
    CodeList output;
    uint32_t dot_levels[kHxrMaxInks];
    int32_t dth_off_order[kHxrMaxInks];
    CodeList real_output;
    CodeList halftone;
    CodeList lut;
};

const HXRInkRow* HXRGetBaseOutputTable(uint32_t ink_set) { return find_row(kBaseOutputTable, ink_set); }
const HXRInkRow* HXRGetLutTable(uint32_t ink_set) { return find_row(kLutTable, ink_set); }
const HXRInkRow* HXRGetSpecialOutputTable(uint32_t ink_set) { return find_row(kSpecialOutputTable, ink_set); }
const HXRInkRow* HXRGetSpecialHalftoneTable(uint32_t ink_set) { return find_row(kSpecialHalftoneTable, ink_set); }

const HXRDotRow* HXRGetSpecialDotTable(uint32_t ink_set, uint32_t output_bits) {
    for (const HXRDotRow* r = kSpecialDotSizeTable; r->ink_set != kEnd; ++r)
        if (r->ink_set == ink_set && r->output_bits == output_bits) return r;
    return nullptr;
}

HXRClrMgr* HXRCreateClrMgr(uint32_t ink_set, uint32_t output_bits, uint32_t black, HXRMemMgr* mm) {
    const HXRInkRow* base = ink_set == 0 ? &kBaseOutputTable[0] : HXRGetBaseOutputTable(ink_set);
    if (!base) return nullptr;
    const uint32_t n = base->count;
    const HXRDotRow* dots = nullptr;
    if (output_bits & 0xF0) {
        dots = HXRGetSpecialDotTable(ink_set, output_bits);
        if (!dots || dots->count != n) return nullptr;
    }
    const HXRInkRow* special_out = HXRGetSpecialOutputTable(ink_set);
    if (special_out && !(output_bits & 0xF0)) return nullptr;
    const HXRInkRow* lut = HXRGetLutTable(ink_set);
    if (!lut) return nullptr;
    const HXRInkRow* special_ht = HXRGetSpecialHalftoneTable(ink_set);

    auto* c = static_cast<HXRClrMgr*>(HXRAllocMem(mm, sizeof(HXRClrMgr)));
    if (!c) return nullptr;
    fill_list(c->output, *base);
    for (uint32_t i = 0; i < kHxrMaxInks; ++i) {
        if (i >= n)
            c->dot_levels[i] = 0;
        else if (dots)
            c->dot_levels[i] = dots->levels[i];
        else
            c->dot_levels[i] = (1u << (output_bits & 15)) - 1u;
    }
    for (uint32_t i = 0; i < kHxrMaxInks; ++i) {
        int32_t order = -1;
        if (i < n) order = n < 4 ? int32_t(i) : (i < 4 ? int32_t((i + 1) % 4) : int32_t(i));
        c->dth_off_order[i] = order;
    }
    fill_list(c->real_output, special_out ? *special_out : *base);
    for (uint32_t i = 0; i < c->real_output.count; ++i)
        if (c->real_output.codes[i] == kInkK) c->real_output.codes[i] = black;
    fill_list(c->lut, *lut);
    fill_list(c->halftone, special_ht ? *special_ht : *base);
    return c;
}

uint32_t HXRDeleteClrMgr(HXRClrMgr* c, HXRMemMgr* mm) {
    return HXRFreeObject(mm, c, kHxrClrMgrNone);
}

uint32_t HXRGetOutputColorNum(const HXRClrMgr* c) { return c ? c->output.count : 0; }
uint32_t HXRGetOutputColorCode(const HXRClrMgr* c, uint32_t i) { return c ? code_at(c->output, i) : kHxrNoValue; }
uint32_t HXRGetOutputColorOrder(const HXRClrMgr* c, uint32_t code) {
    return c ? index_of(c->output, code, 0xFF) : kHxrNoValue;
}
uint32_t HXRGetOutputDotNum(const HXRClrMgr* c, uint32_t i) {
    return c && i < c->output.count ? c->dot_levels[i] : 0;
}
uint32_t HXRGetOutputDthOffOrder(const HXRClrMgr* c, uint32_t i) {
    if (!c || i >= c->output.count || c->dth_off_order[i] < 0) return kHxrNoValue;
    return static_cast<uint32_t>(c->dth_off_order[i]);
}
uint32_t HXRGetOutputColorOrderByDthOff(const HXRClrMgr* c, uint32_t order) {
    if (!c) return kHxrNoValue;
    for (uint32_t i = 0; i < c->output.count; ++i)
        if (c->dth_off_order[i] >= 0 && uint32_t(c->dth_off_order[i]) == order) return i;
    return kHxrNoValue;
}

uint32_t HXRGetLutColorNum(const HXRClrMgr* c) { return c ? c->lut.count : 0; }
uint32_t HXRGetLutColorCode(const HXRClrMgr* c, uint32_t i) { return c ? code_at(c->lut, i) : kHxrNoValue; }
uint32_t HXRGetLutColorOrder(const HXRClrMgr* c, uint32_t code) {
    return c ? index_of(c->lut, code, 0xFF) : kHxrNoValue;
}

uint32_t HXRGetRealOutputColorNum(const HXRClrMgr* c) { return c ? c->real_output.count : 0; }
uint32_t HXRGetRealOutputColorCode(const HXRClrMgr* c, uint32_t i) {
    return c ? code_at(c->real_output, i) : kHxrNoValue;
}
uint32_t HXRGetRealOutputColorOrder(const HXRClrMgr* c, uint32_t code) {
    return c ? index_of(c->real_output, code, 0xFF) : kHxrNoValue;
}

uint32_t HXRGetHalftoneColorNum(const HXRClrMgr* c) { return c ? c->halftone.count : 0; }
uint32_t HXRGetHalftoneColorCode(const HXRClrMgr* c, uint32_t i) {
    return c ? code_at(c->halftone, i) : kHxrNoValue;
}
uint32_t HXRGetHalftoneColorOrder(const HXRClrMgr* c, uint32_t code) {
    return c ? index_of(c->halftone, code, 0xFFFFFFFFu) : kHxrNoValue;
}
uint32_t HXRIsV6UpperColor(const HXRClrMgr* c, uint32_t code) {
    if (HXRGetHalftoneColorOrder(c, code) == kHxrNoValue) return kHxrNoValue;
    return (code & kHxrDerivedChannel) ? 1u : 0u;
}
uint32_t HXRGetOutputColorOrderByHalftoneIndex(const HXRClrMgr* c, uint32_t i) {
    const uint32_t code = HXRGetHalftoneColorCode(c, i);
    if (code == kHxrNoValue) return kHxrNoValue;
    return HXRGetOutputColorOrder(c, code & 0xFF);
}
