// Fuzzes the CMYK LUT kernels (plain, user colour, under-white and both,
// each with or without PatternD) against the literal reference model: the
// input draws the ink count, the family with a walk and scale it has and
// PatternD with the pattern upper values of both tables, sample size, pixel and attribute
// strides, span, reduction method, one or two tables, the clear position
// (also beyond the inks), a user table and the seed, then the band's samples
// and attribute bytes (lut_kernel_fuzz.h: exact planes, painted descriptors
// that must agree byte for byte).
#include "hxr/color/hxr_color_kernel.h"
#include "hxr/color/hxr_interm.h"
#include "hxr_fuzz_services.h"
#include "lut_kernel_fuzz.h"
#include "lut_tables.h"
#include "tests/support/cmyk_reference.h"

#include <cstdlib>
#include <vector>

namespace {

using ovcg_test::CmykWalk;

constexpr int kInks[] = {4, 5, 6, 7, 8, 9, 10, 12};
struct Form {
    HXRColorFamily table;
    CmykWalk walk;
    int32_t scale;
};
// Every form of the four tables: the user-colour families have their Normal
// kernel only (in both line slots), the under-white ones no reduction.
constexpr Form kForms[] = {
    {kColor4D, CmykWalk::Normal, 1},          {kColor4D, CmykWalk::Normal, 2},
    {kColor4D, CmykWalk::Normal, 3},          {kColor4D, CmykWalk::Normal, 8},
    {kColor4D, CmykWalk::Expand, 2},          {kColor4D, CmykWalk::Expand, 8},
    {kColor4D, CmykWalk::Reduce, 0x20001},    {kColor4DUserSpec, CmykWalk::Normal, 1},
    {kColor4DUserSpec, CmykWalk::Normal, 4},  {kColor4DUnderWhite, CmykWalk::Normal, 1},
    {kColor4DUnderWhite, CmykWalk::Normal, 2}, {kColor4DUnderWhite, CmykWalk::Expand, 4},
    {kColor4DUserSpecUnderWhite, CmykWalk::Normal, 1}, {kColor4DUserSpecUnderWhite, CmykWalk::Normal, 8},
};

// The PatternD table of a table without it.
HXRColorFamily with_pd(HXRColorFamily t) {
    switch (t) {
        case kColor4D: return kColor4DPatternD;
        case kColor4DUserSpec: return kColor4DUserSpecPatternD;
        case kColor4DUnderWhite: return kColor4DUnderWhitePatternD;
        default: return kColor4DUserSpecUnderWhitePatternD;
    }
}

HXRColorKernel kernel_of(const Form& f, int inks, bool patternD) {
    for (const HXRColorFuncRow* row = kHxrColorFuncTables.table[patternD ? with_pd(f.table) : f.table];
         row->count != -1; ++row)
        if (row->count == inks)
            return f.walk == CmykWalk::Normal ? row->normal : f.walk == CmykWalk::Expand ? row->expandH2NxV2
                                                                                         : row->reduceH;
    return nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lut_fuzz::Reader in(data, size);
    const int inks = kInks[in.byte() % 8];
    const uint32_t fb = in.byte();
    const Form& form = kForms[(fb & 0x7F) % (sizeof kForms / sizeof kForms[0])];
    const bool patternD = fb & 0x80;
    const uint32_t flags = in.byte();
    const uint32_t depth = flags & 1 ? 2 : 1, pixelOffset = (flags >> 4) % 6 + 1, attrStride = in.byte() % 5;
    const bool intents = flags & 2, two = flags & 4;
    const uint32_t method = flags >> 3 & 1;
    int32_t start = int32_t(in.byte() % 64);
    int32_t count = int32_t(in.byte());
    count |= int32_t(in.byte() & 1) << 8;
    const uint32_t seed = in.word();
    const int variant = two ? int(in.byte() % 2) + 1 : 0;
    // Clear position: -1, an ink, or one of the values the descriptor
    // refuses but a kernel may still meet.
    const uint32_t cb = in.byte();
    const int32_t clear = cb < 200 ? int32_t(cb % uint32_t(inks + 1)) - 1 : int32_t(cb) - 240;
    // User colour (the Normal kernel) also runs on one line given twice.
    const bool user = form.table == kColor4DUserSpec || form.table == kColor4DUserSpecUnderWhite;
    const bool sameLines = user && (flags & 0x80);
    const std::vector<uint32_t>& userTable = lut_fuzz::user_table(inks, in.byte());
    if (patternD)
        lut_fuzz::read_pattern_upper(in, lut_fuzz::cmyk_table(inks, 0), lut_fuzz::cmyk_table(inks, variant));
    if (form.walk == CmykWalk::Reduce) start &= ~1, count &= ~1;
    const int32_t end = start + count;
    const int lines = form.walk == CmykWalk::Expand || sameLines ? 1 : 2;
    const lut_fuzz::Band<4> band(in, lines, size_t(end > 0 ? end : 1), depth, pixelOffset, attrStride);

    const HXRLutData* luts[2] = {lut_fuzz::cmyk_table(inks, 0), lut_fuzz::cmyk_table(inks, variant)};
    const int32_t columns = form.walk == CmykWalk::Reduce ? end / 2 : end * form.scale;
    const void* aux = user ? userTable.data() : nullptr;
    const bool underWhite = form.table == kColor4DUnderWhite || form.table == kColor4DUserSpecUnderWhite;
    return lut_fuzz::compare(
        band, inks, columns, intents, method, lines == 1, clear,
        [&](auto& got) {
            kernel_of(form, inks, patternD)(luts, aux, got.d, seed, pixelOffset, depth, form.scale, got.planes,
                                            got.attrs, attrStride, start, end);
        },
        [&](auto& want) {
            ovcg_test::CmykReference(inks, form.walk, {user, underWhite, patternD})
                .run(luts, aux, want.d, seed, pixelOffset, depth, form.scale, want.planes, want.attrs, attrStride,
                     start, end);
        });
}
