// The overlap masks: the default tables, every pattern kind against slow
// forms of its rule, the pass-colour kind table and the F-trans merge over a
// fake pass engine, the mask words and their rotation, the masking
// functions against the byte formula, and every refusal.
#include "headcontrol/pmm_masks.h"

#include "headcontrol/codes.h"
#include "parsed_model.h"
#include "support/model.h"
#include "support/model_head_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <vector>

namespace ovcg::irac {
namespace {

using ovcg_test::Bytes;
using ovcg_test::FakeOvf;
using ovcg_test::ModelHeadControl;

// The pass engine's answers, as a table.
struct FakePassEngine {
    std::set<uint16_t> used;                // POL indices the schedule uses
    std::map<uint16_t, uint32_t> widths;   // F-trans overlap width by POL index
    int32_t passes = 0;
    uint32_t polIndex = 0xFFFFFFFFu;
    std::vector<uint16_t> renumbered;       // arguments of the renumbering

    PmmPassEngine binding() {
        PmmPassEngine e{};
        e.engine = this;
        e.findPolIndex = [](const void* p, uint16_t i) { return static_cast<const FakePassEngine*>(p)->used.count(i) > 0; };
        e.ftransCalcPol = [](const void* p, uint16_t i) {
            const auto& w = static_cast<const FakePassEngine*>(p)->widths;
            const auto it = w.find(i);
            return it == w.end() ? 0u : it->second;
        };
        e.ftransCalcPassNum = [](const void* p) { return static_cast<const FakePassEngine*>(p)->passes; };
        e.ftransCalcPolIndex = [](const void* p) { return static_cast<const FakePassEngine*>(p)->polIndex; };
        e.setFtransCalcPolIndex = [](void* p, uint16_t first) {
            static_cast<FakePassEngine*>(p)->renumbered.push_back(first);
        };
        return e;
    }
};

ModelHeadControl mask_model() {
    return ovcg_test::head_control_variant(ovcg_test::default_model(), ovcg_test::HcVariant::MaskKinds);
}

// A work area over the parsed model of a description.
struct Masks : ParsedModel {
    ICMResourceData* icm = nullptr;
    POLMaskWork work{};
    FakePassEngine engine;

    explicit Masks(const ModelHeadControl& hc = mask_model())
        : ParsedModel(ovcg_test::head_control_resource(hc), ovcg_test::model_head_mode_id()) {
        RSC_GetICMResourceData(rsc, &icm);
        for (uint16_t r = 0; r < 16; ++r) engine.used.insert(r);
    }
    uint32_t start() {
        if (uint32_t rc = PMM_Alloc_POLMaskWork(&work, icm->layerKindCount, icm->layerKinds, icm->colorNum, &cb))
            return rc;
        return PMM_Alloc_POLMaskPattern(&work, icm, engine.binding(), 3);
    }
    uint32_t page(std::vector<uint8_t> codes) {
        return PMM_ReAlloc_POLMaskPattern(&work, icm, engine.binding(), {uint16_t(codes.size()), codes.data()});
    }
    const POLMaskPattern& pattern(size_t i) const { return work.patterns[i]; }
    Bytes row(size_t entry, size_t r, bool complement = false) const {
        const POLMaskPattern& p = work.patterns[entry];
        const uint8_t* base = (complement ? p.complement : p.mask) + r * size_t(p.rowBytes);
        return Bytes(base, base + p.rowBytes);
    }
    ~Masks() { PMM_Free_POLMaskWork(&work); }
};

Bytes be64(uint64_t x) {
    Bytes b(8);
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(x >> (56 - 8 * i));
    return b;
}

Bytes slice(const Bytes& row, size_t group) { return Bytes(row.begin() + long(8 * group), row.begin() + long(8 * group + 8)); }

void expect_complements(const POLMaskPattern& p) {
    for (uint32_t i = 0; i < p.size; ++i) ASSERT_EQ(p.complement[i], uint8_t(~p.mask[i])) << "byte " << i;
}

// ---- Default tables and the rotation kind ---------------------------------------------------------

TEST(HeadRasterMasks, DefaultOffsetTablesAreBuiltOnce) {
    Masks m;
    ASSERT_EQ(m.start(), 0u);
    const auto& t64 = m.icm->polOffsetTable64;
    const auto& t32 = m.icm->polOffsetTable32;
    ASSERT_EQ(t64.count, 63);
    ASSERT_EQ(t32.count, 31);
    EXPECT_EQ(Bytes(t64.items, t64.items + 7), (Bytes{58, 57, 44, 3, 46, 29, 7}));
    EXPECT_EQ(Bytes(t32.items, t32.items + 7), (Bytes{26, 25, 12, 3, 14, 29, 7}));
    std::set<uint8_t> all64(t64.items, t64.items + 63), all32(t32.items, t32.items + 31);
    EXPECT_TRUE(all64.size() == 63 && *all64.begin() == 1 && *all64.rbegin() == 63);
    EXPECT_TRUE(all32.size() == 31 && *all32.begin() == 1 && *all32.rbegin() == 31);
    const uint8_t* kept = t64.items;
    const CountedArray<uint8_t>* again = nullptr;
    EXPECT_EQ(PMM_OffsetTable(*m.icm, true, m.cb, &again), 0u);
    EXPECT_EQ(again->items, kept);
}

// X after step t is the base rotated right by the sum of the first t + 1
// offsets (times the multiplier, mod 64).
uint64_t rotated(uint64_t base, const uint8_t* t, uint32_t n, uint32_t m, uint64_t steps) {
    uint64_t sum = 0;
    for (uint64_t s = 0; s < steps; ++s) sum += (t[s % n] * m) % 64;
    return std::rotr(base, int(sum % 64));
}

TEST(HeadRasterMasks, RotationRows) {
  {
    Masks m;
    ASSERT_EQ(m.start(), 0u);
    const POLMaskPattern& k1 = m.pattern(ovcg_test::kHcRotation64);
    const POLMaskPattern& k2 = m.pattern(ovcg_test::kHcRotation32);
    ASSERT_EQ(k1.rowCount, 126) << "63 offsets summing to 32 mod 64: period 126";
    ASSERT_EQ(k2.rowCount, 62);
    EXPECT_EQ(k1.rowBytes, 64);
    // Base {0x80000000, 0}: one bit, moved right by 58, then by 57.
    EXPECT_EQ(slice(m.row(ovcg_test::kHcRotation64, 0), 0), (Bytes{0, 0, 0, 0, 0, 0, 0, 0x20}));
    EXPECT_EQ(slice(m.row(ovcg_test::kHcRotation64, 1), 0), (Bytes{0, 0, 0, 0, 0, 0, 0x10, 0}));
    for (const auto& [entry, base, t, n, mult] :
         {std::tuple{size_t(ovcg_test::kHcRotation64), uint64_t{0x80000000} << 32, m.icm->polOffsetTable64.items, 63u, 1u},
          std::tuple{size_t(ovcg_test::kHcRotation32), uint64_t{0x123456789ABCDEF0}, m.icm->polOffsetTable32.items, 31u,
                     2u}}) {
        const POLMaskPattern& p = m.pattern(entry);
        for (int32_t r = 0; r < p.rowCount; ++r)
            for (size_t k = 0; k < 8; ++k)
                ASSERT_EQ(slice(m.row(entry, size_t(r)), k), be64(rotated(base, t, n, mult, uint64_t(r) + 180 * k + 1)))
                    << "entry " << entry << " row " << r << " group " << k;
        expect_complements(p);
    }
  }
    // Fewer grades than the period: one row per grade.
    ModelHeadControl hc = mask_model();
    hc.modes[0].layer_kinds[ovcg_test::kHcRotation64].grades = 40;
    Masks few(hc);
    ASSERT_EQ(few.start(), 0u);
    EXPECT_EQ(few.pattern(ovcg_test::kHcRotation64).rowCount, 40);
}

// ---- Gradation, dither and stored kinds ------------------------------------------------------------

TEST(HeadRasterMasks, GradationRowsPerDispersionOffset) {
    Masks m;
    ASSERT_EQ(m.start(), 0u);
    const uint32_t* a = m.icm->polBaseWordsA.items;
    const uint8_t dispersion[] = {0, 5};
    struct Kind {
        size_t entry;
        std::vector<int> levels;
        const uint8_t* t;
        uint32_t n, mult;
    };
    // Levels: the values; or the range 2..6 split into 5 grades, less one.
    const Kind kinds[] = {{ovcg_test::kHcGradation64, {0, 1, 2, 3, 4, 5}, m.icm->polOffsetTable64.items, 63, 1},
                          {ovcg_test::kHcGradation32, {2, 3, 4, 5, 5}, m.icm->polOffsetTable32.items, 31, 2}};
    for (const Kind& k : kinds) {
        const POLMaskPattern& p = m.pattern(k.entry);
        const uint32_t G = uint32_t(k.levels.size());
        ASSERT_EQ(p.rowCount, int32_t(G));
        ASSERT_EQ(p.blocks, 2u);
        ASSERT_EQ(p.size, 2 * G * 64);
        for (uint32_t d = 0; d < 2; ++d) {
            for (uint32_t g = 0; g < G; ++g) {
                const uint64_t base = uint64_t{a[2 * k.levels[g]]} << 32 | a[2 * k.levels[g] + 1];
                uint64_t sum = 0;
                for (uint32_t grp = 0; grp < 8; ++grp) {
                    const uint32_t index = (8 * g + grp) % k.n;  // runs on across groups and rows
                    sum += ((k.t[index] + dispersion[d]) * k.mult) % 64;
                    ASSERT_EQ(slice(m.row(k.entry, d * G + g), grp), be64(std::rotr(base, int(sum % 64))))
                        << k.entry << " block " << d << " grade " << g << " group " << grp;
                }
            }
        }
        expect_complements(p);
    }
}

// The dither generator as described: a run of h matrix bytes, then s - 1
// runs skipped; above G/2 the threshold is inverted and the level is G - g.
Bytes slow_dither(const Bytes& matrix, uint32_t h, uint32_t c, uint32_t s, uint32_t w, uint32_t b, uint32_t G,
                  uint32_t g, uint8_t t) {
    const bool inv = g > G / 2;
    const uint32_t level = inv ? G - g : g;
    const uint8_t thr = inv ? uint8_t(~t) : t;
    std::vector<uint32_t> order;
    for (uint32_t run = level % c; order.size() < (8 / b) * w; run = (run + s) % c)
        for (uint32_t i = 0; i < h; ++i) order.push_back(run * h + i);
    Bytes row(w, 0);
    for (uint32_t px = 0; px < (8 / b) * w; ++px) {
        const uint8_t v = matrix[order[px]];
        if (inv ? v >= thr : v < thr) row[px * b / 8] = uint8_t(row[px * b / 8] | (((1u << b) - 1) << (8 - b - px * b % 8)));
    }
    return row;
}

TEST(HeadRasterMasks, DitherRowsInvertAboveHalf) {
    for (uint16_t bits : {uint16_t(1), uint16_t(2)}) {
        ModelHeadControl hc = mask_model();
        hc.modes[0].bits_per_pixel = bits;
        auto& values = hc.modes[0].layer_kinds[ovcg_test::kHcDither].values;
        values = {40, 90, 130, 200, 250};  // G = 5: grades 3 and 4 inverted
        Masks m(hc);
        ASSERT_EQ(m.start(), 0u);
        const POLMaskPattern& p = m.pattern(ovcg_test::kHcDither);
        ASSERT_EQ(p.rowCount, 5);
        ASSERT_EQ(p.rowBytes, 6);
        const Bytes matrix = hc.head.pol_matrices[0].data;
        for (uint32_t g = 0; g < 5; ++g)
            EXPECT_EQ(m.row(ovcg_test::kHcDither, g), slow_dither(matrix, 4, 3, 2, 6, bits, 5, g, uint8_t(values[g])))
                << "bits " << bits << " grade " << g;
        if (bits == 2) {
            // Grade 0: runs from matrix byte 0, then 8, 4, 0, ...: 10 200 30 240 |
            // 90 100 110 120 | 50 60 170 80 ...; below 40 only 10 and 30.
            EXPECT_EQ(m.row(ovcg_test::kHcDither, 0), (Bytes{0xCC, 0, 0, 0xCC, 0, 0}));
        }
        expect_complements(p);
    }
}

TEST(HeadRasterMasks, StoredRowsDoubleTheirBitsAtTwoBits) {
    for (uint16_t bits : {uint16_t(1), uint16_t(2)}) {
        ModelHeadControl hc = mask_model();
        hc.modes[0].bits_per_pixel = bits;
        Masks m(hc);
        ASSERT_EQ(m.start(), 0u);
        const Bytes data = hc.head.pol_stored[0].data;  // 8 columns of 4-byte rows
        const POLMaskPattern& p = m.pattern(ovcg_test::kHcStored);
        ASSERT_EQ(p.rowCount, 3);
        ASSERT_EQ(p.rowBytes, 10);
        auto twice = [](uint32_t nibble) {
            uint8_t out = 0;
            for (int i = 0; i < 4; ++i) out = uint8_t(out | (((nibble >> i) & 1) * 3u) << (2 * i));
            return out;
        };
        for (uint32_t g = 0; g < 3; ++g) {
            Bytes mask(10), comp(10);
            for (uint32_t i = 0; i < 10; ++i) {
                if (bits == 1) {
                    mask[i] = data[g * 4 + i % 4];
                    comp[i] = data[16 + g * 4 + i % 4];
                } else {
                    const uint32_t shift = i % 2 ? 0 : 4;
                    mask[i] = twice((data[g * 4 + (i / 2) % 4] >> shift) & 0xF);
                    comp[i] = twice((data[16 + g * 4 + (i / 2) % 4] >> shift) & 0xF);
                }
            }
            EXPECT_EQ(m.row(ovcg_test::kHcStored, g), mask) << bits << " " << g;
            EXPECT_EQ(m.row(ovcg_test::kHcStored, g, true), comp) << bits << " " << g;
        }
        if (bits == 2) {
            EXPECT_EQ(m.row(ovcg_test::kHcStored, 0)[0], 0x00);
            EXPECT_EQ(m.row(ovcg_test::kHcStored, 1)[0], 0x30);  // data[4] = 0x44: bit 2 of the high nibble
        }
    }
}

// ---- Mask words ----------------------------------------------------------------------------------

TEST(HeadRasterMasks, SimpleWordsAndTheirRotation) {
    ModelHeadControl hc = mask_model();
    hc.modes[0].color_num = 4;
    hc.modes[0].layer_kinds[ovcg_test::kHcSimple].values = {0x81};
    Masks m(hc);
    ASSERT_EQ(m.start(), 0u);
    ASSERT_EQ(m.work.colorNum, 4);
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(m.work.maskWord[c], 0x81818181u);
        EXPECT_EQ(m.work.complementWord[c], 0x7E7E7E7Eu);
    }
    // Repeat number 2, band-buffer shift 3 at 2 bits: plane c moves by
    // (3 / 2 + (c < 1)) dots, as the band buffer moved it.
    for (int page = 0; page < 2; ++page) {
        PMM_ShiftPOLMaskPattern(&m.work, 4, 2, 2, 3);
        const uint32_t expected[] = {std::rotr(0x81818181u, 4), std::rotr(0x81818181u, 2), std::rotr(0x81818181u, 2),
                                     std::rotr(0x81818181u, 2)};
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(m.work.maskWord[c], expected[c]) << "page " << page << " plane " << c;
            EXPECT_EQ(m.work.complementWord[c], ~expected[c]);
        }
    }
    PMM_ShiftPOLMaskPattern(&m.work, 4, 2, 2, 0);
    EXPECT_EQ(m.work.maskWord[0], 0x81818181u) << "every page rotates the job's word";
    PMM_ShiftPOLMaskPattern(&m.work, 4, 2, 0, 3);  // no repeat number: nothing
    EXPECT_EQ(m.work.maskWord[0], 0x81818181u);
    for (uint32_t r : {1u, 2u, 4u})
        for (uint32_t s = 0; s < 4; ++s)
            for (uint32_t c = 0; c < 4; ++c)  // the band buffer's plane shift
                EXPECT_EQ((s / r + (c < s % r ? 1u : 0u)), ((s % r > c ? 1u : 0u) + s / r));
}

TEST(HeadRasterMasks, SecondValueOfTheSimpleKindFailsTheJob) {
    ModelHeadControl hc = mask_model();
    hc.modes[0].layer_kinds[ovcg_test::kHcSimple].values = {0x55, 0xAA};
    Masks m(hc);
    EXPECT_EQ(PMM_Alloc_POLMaskWork(&m.work, m.icm->layerKindCount, m.icm->layerKinds, 1, &m.cb), kPmmSimpleCount);
}

// ---- The pass-colour kind table and the F-trans merge ------------------------------------------------

TEST(HeadRasterMasks, PatternListFollowsTheUsedRows) {
    Masks m;
    m.engine.used = {1, 3, 7};
    ASSERT_EQ(m.start(), 0u);
    ASSERT_EQ(m.work.patternCount, int32_t(ovcg_test::kHcMaskKindCount));
    for (int32_t i = 0; i < m.work.patternCount; ++i) {
        const bool used = i == 1 || i == 3 || i == 7;
        EXPECT_EQ(m.pattern(size_t(i)).layerKind, used ? i : -1) << i;
        EXPECT_EQ(m.pattern(size_t(i)).mask != nullptr, used) << i;
    }
    EXPECT_EQ(m.work.kindTable->colNum, 1);
    EXPECT_EQ(m.work.kindTable->ftransRows, 0);
    EXPECT_TRUE(m.engine.renumbered.empty());
    // No F-trans passes and no per-colour values: a page changes nothing.
    const uint8_t* kept = m.pattern(3).mask;
    ASSERT_EQ(m.page({0x10}), 0u);
    EXPECT_EQ(m.pattern(3).mask, kept);
}

TEST(HeadRasterMasks, FtransRowsGetTheirOwnEntries) {
    Masks m;
    m.engine.passes = 3;  // two further segments
    m.engine.polIndex = ovcg_test::kHcDitherRange;
    m.engine.widths = {{ovcg_test::kHcDitherRange, 4}, {9, 6}, {10, 8}};
    ASSERT_EQ(m.start(), 0u);
    const PassColorKindTable& t = *m.work.kindTable;
    EXPECT_EQ(t.rowNum, 11);
    EXPECT_EQ(t.ftransRows, 2);
    EXPECT_EQ(m.engine.renumbered, std::vector<uint16_t>{9});
    ASSERT_EQ(m.work.patternCount, 11);
    EXPECT_EQ(t.entries[9], 9);
    EXPECT_EQ(t.entries[10], 10);
    // Entries 9 and 10 are built from the dither-range kind with the
    // overlap width of their rows as grade count.
    const int32_t rows[] = {4, 6, 8};
    const size_t entries[] = {ovcg_test::kHcDitherRange, 9, 10};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.pattern(entries[i]).layerKind, ovcg_test::kHcDitherRange);
        EXPECT_EQ(m.pattern(entries[i]).rowCount, rows[i]);
        EXPECT_EQ(m.pattern(entries[i]).rowBytes, 5);
    }
    ASSERT_NE(m.work.ftrans, nullptr);
    EXPECT_EQ(m.work.ftrans->width, 4u);
    // A schedule change keeps the kinds with values, rebuilds the others.
    const uint8_t* withValues = m.pattern(ovcg_test::kHcDither).mask;
    m.engine.widths[9] = 3;
    ASSERT_EQ(m.page({0x10}), 0u);
    EXPECT_EQ(m.pattern(ovcg_test::kHcDither).mask, withValues);
    EXPECT_EQ(m.pattern(9).rowCount, 3);
}

// A kind of the same make whose value count equals the overlap width takes
// over row i0; the merged kind's entry is freed only when no row names it,
// and a kind never matches itself.
TEST(HeadRasterMasks, FtransMerge) {
    const auto model = [](int16_t ownGrades, bool alsoRow0) {
        ModelHeadControl hc = mask_model();
        auto& kinds = hc.modes[0].layer_kinds;
        ovcg_test::HcLayerKind twin = kinds[ovcg_test::kHcDitherRange];
        twin.grades = 4;
        kinds[ovcg_test::kHcDitherRange].grades = ownGrades;
        kinds.push_back(twin);  // kind 9
        auto& values = hc.modes[0].layer_values;
        values.push_back(9);
        if (alsoRow0) values[0] = ovcg_test::kHcDitherRange;
        return hc;
    };
    const size_t v = ovcg_test::kHcDitherRange;
    const struct {
        const char* name;
        int16_t ownGrades;
        bool alsoRow0;
        uint16_t rowI0;
        bool vFree;
        int32_t vRows;  // v's rows when in use: without grades of its own, none outside row i0
    } cases[] = {
        {"merged into the twin", 0, false, 9, true, -1},
        {"merged, v still named by row 0", 0, true, 9, false, -1},
        {"v matches itself first: never", 4, false, uint16_t(v), false, 4},
    };
    for (const auto& c : cases) {
        Masks m(model(c.ownGrades, c.alsoRow0));
        m.engine.passes = 1;
        m.engine.polIndex = uint32_t(v);
        m.engine.widths = {{uint16_t(v), 4}};
        if (c.ownGrades) m.engine.used.erase(9);  // the twin is not in use: only v could match
        ASSERT_EQ(m.start(), 0u) << c.name;
        EXPECT_EQ(m.work.kindTable->entries[v], c.rowI0) << c.name;
        EXPECT_EQ(m.pattern(v).layerKind == -1, c.vFree) << c.name;
        EXPECT_EQ(m.pattern(v).rowCount, c.vRows) << c.name;
        if (c.rowI0 == 9) {
            EXPECT_EQ(m.pattern(9).rowCount, 4) << c.name;
        }
    }
}

TEST(HeadRasterMasks, PerColourTables) {
    // Layer values per colour column: row r of array a names kind (r + a) mod 9.
    const auto model = [](uint16_t rows) {
        ModelHeadControl hc = mask_model();
        auto& mode = hc.modes[0];
        mode.function_flags |= 0x80;
        mode.layer_value_count = rows;
        mode.layer_values.clear();
        for (uint16_t r = 0; r < rows; ++r)
            for (uint16_t a = 0; a < 6; ++a) mode.layer_values.push_back(uint16_t((r + a) % 9));
        return hc;
    };
  {
    Masks m(model(9));
    ASSERT_EQ(m.start(), 0u);
    EXPECT_EQ(m.work.kindTable, nullptr) << "built per page";
    ASSERT_EQ(m.page({0x12, 0x15, 0x99}), 0u);  // arrays 2, 5, and 0 for a colour no array prints
    const PassColorKindTable& t = *m.work.kindTable;
    ASSERT_EQ(t.colNum, 3);
    ASSERT_EQ(t.rowNum, 9);
    for (uint16_t r = 0; r < 9; ++r) {
        const uint16_t expected[3] = {uint16_t((r + 2) % 9), uint16_t((r + 5) % 9), r};
        for (int c = 0; c < 3; ++c) EXPECT_EQ(t.entries[r * 3 + c], expected[c]) << r << " " << c;
    }
    EXPECT_EQ(m.pattern(ovcg_test::kHcStored).rowCount, 3);
    // The 0x8000 kind asks for the per-colour kind table: mode bytes of the
    // colour's array, row k from the k-th group of nozzleArrayNum bytes.
    ASSERT_TRUE(m.work.colourKindsNeeded);
    ASSERT_EQ(m.work.colourKindRows, 2);
    const uint8_t kinds[3][2] = {{3, 9}, {6, 12}, {1, 7}};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 2; ++k) EXPECT_EQ(m.work.colourKinds[c * 2 + k], kinds[c][k]) << c << " " << k;
  }
    // Two rows naming kinds up to 8: the pattern list has two entries.
    Masks narrow(model(2));
    ASSERT_EQ(narrow.start(), 0u);
    EXPECT_EQ(narrow.page({0x12}), kPmmBadIndex);
}

// ---- Refusals ------------------------------------------------------------------------------------------

TEST(HeadRasterMasks, ModelValuesRefusedWhenBuilt) {
    using Edit = std::function<void(ModelHeadControl&)>;
    const struct {
        const char* name;
        uint32_t code;
        Edit edit;
    } cases[] = {
        {"base words A short for a level", kPmmBadIndex, [](ModelHeadControl& h) { h.head.pol_base_a.resize(10); }},
        {"base words B of one word", kPmmBadTable, [](ModelHeadControl& h) { h.head.pol_base_b = {1}; }},
        {"base words C absent", kPmmBadTable, [](ModelHeadControl& h) { h.head.pol_base_c.clear(); }},
        {"no dispersion offsets", kPmmBadTable, [](ModelHeadControl& h) { h.head.pol_dispersion.clear(); }},
        {"matrix index", kPmmBadIndex,
         [](ModelHeadControl& h) { h.modes[0].layer_kinds[ovcg_test::kHcDither].dither_matrix = 1; }},
        {"matrix h x c = 0", kPmmBadTable,
         [](ModelHeadControl& h) { h.head.pol_matrices[0] = ovcg_test::HcMatrix{0, 3, {}}; }},
        {"dither row of 0 bytes", kPmmBadTable,
         [](ModelHeadControl& h) { h.modes[0].layer_kinds[ovcg_test::kHcDither].dither_row_bytes = 0; }},
        {"stored record index", kPmmBadIndex,
         [](ModelHeadControl& h) { h.modes[0].layer_kinds[ovcg_test::kHcStored].stored_record = 1; }},
        {"stored record of width 0", kPmmBadTable,
         [](ModelHeadControl& h) { h.head.pol_stored[0] = ovcg_test::HcTaggedBytes{0, 0, 8, {}, {}}; }},
        {"stored row of 0 bytes", kPmmBadTable,
         [](ModelHeadControl& h) { h.modes[0].layer_kinds[ovcg_test::kHcStored].stored_row_bytes = 0; }},
        {"more grades than half the stored columns", kPmmStoredTooShort,
         [](ModelHeadControl& h) { h.modes[0].layer_kinds[ovcg_test::kHcStored].grades = 5; }},
        {"layer value beyond the layer kinds", kPmmBadIndex,
         [](ModelHeadControl& h) { h.modes[0].layer_values[2] = 9; }},
        {"mode bytes fewer than the nozzle arrays", kPmmBadIndex,
         [](ModelHeadControl& h) { h.modes[0].mode_bytes.resize(5); }},
    };
    for (const auto& c : cases) {
        ModelHeadControl hc = mask_model();
        c.edit(hc);
        Masks m(hc);
        EXPECT_EQ(m.start(), c.code) << c.name;
    }
    // The pass engine's F-trans row outside the table.
    Masks m;
    m.engine.passes = 2;
    m.engine.polIndex = 10;
    EXPECT_EQ(m.start(), kPmmBadIndex);
}

TEST(HeadRasterMasks, OffsetTablesOfTheResourceAreKept) {
    ModelHeadControl hc = mask_model();
    hc.head.pol_offsets64 = {8};  // one offset: X moves 8 bits a step
    Masks m(hc);
    ASSERT_EQ(m.start(), 0u);
    EXPECT_EQ(m.icm->polOffsetTable64.count, 1);
    EXPECT_EQ(m.pattern(ovcg_test::kHcRotation64).rowCount, 8) << "period 1 x 64 / gcd(8, 64)";
    EXPECT_EQ(slice(m.row(ovcg_test::kHcRotation64, 0), 0), (Bytes{0, 0x80, 0, 0, 0, 0, 0, 0}));
}

TEST(HeadRasterMasks, AllocationFailuresLeaveNothing) {
    const std::set<uint32_t> codes = {kPmmNoWork,     kPmmNoFtransRecord, kPmmNoKindTable, kPmmNoColourKinds,
                                      kPmmNoPatternList, kPmmNoGradation, kPmmNoRotation,  kPmmNoDither,
                                      kPmmNoStored,   kPmmNoOffsets64,    kPmmNoOffsets32};
    std::set<uint32_t> seen;
    for (size_t nth = 1;; ++nth) {
        Masks m;
        m.ovf.fail_alloc_from(m.ovf.alloc_calls() + nth);
        const uint32_t rc = m.start();
        if (rc == 0) break;
        EXPECT_TRUE(codes.count(rc)) << nth << ": " << rc;
        seen.insert(rc);
        ASSERT_LT(nth, 100u);
    }
    EXPECT_EQ(seen, codes);
}

// ---- Masking ----------------------------------------------------------------------------------------

TEST(HeadRasterMasks, MaskingIsTheByteFormulaForAnyLengthAndStart) {
    std::mt19937 rng(109);
    Bytes src(240), mask1(80), mask2(80);
    for (auto& b : src) b = uint8_t(rng());
    for (auto& b : mask1) b = uint8_t(rng());
    for (auto& b : mask2) b = uint8_t(rng());
    Bytes dst(240);
    for (uint32_t L = 1; L <= 70; ++L) {
        for (uint32_t start = 0; start < L + 2; ++start) {
            for (uint32_t count = 0; count <= 200; count += (count < 20 ? 1 : 13)) {
                const size_t so = (L + start) % 4, dso = (L * 3 + count) % 4;  // unaligned both ways
                PolMaskInfo info{};
                info.slot[0] = {mask1.data() + 1, L, start};
                const uint32_t L2 = 1 + (L * 7 + start) % 70, p2 = (start * 5) % (L2 + 1);
                info.slot[1] = {mask2.data() + 3, L2, p2};
                std::fill(dst.begin(), dst.end(), 0xEE);
                PMM_Masking_RasterData_pol(src.data() + so, count, &info, dst.data() + dso);
                for (uint32_t i = 0; i < count; ++i)
                    ASSERT_EQ(dst[dso + i], src[so + i] & mask1[1 + (start + i) % L]) << L << " " << start << " " << count;
                ASSERT_EQ(dst[dso + count], 0xEE);
                PMM_Masking_RasterData_polpol(src.data() + so, count, &info, dst.data() + dso);
                for (uint32_t i = 0; i < count; ++i)
                    ASSERT_EQ(dst[dso + i], src[so + i] & mask1[1 + (start + i) % L] & mask2[3 + (p2 + i) % L2])
                        << L << " " << start << " " << count << " " << L2;
                ASSERT_EQ(dst[dso + count], 0xEE);
            }
        }
    }
    // In place, and a length-8 mask from position 6: bytes 6, 7, 0, 1, ...
    Bytes line(10, 0xFF);
    const Bytes mask = {0, 1, 2, 3, 4, 5, 6, 7};
    PolMaskInfo info{};
    info.slot[0] = {mask.data(), 8, 6};
    PMM_Masking_RasterData_pol(line.data(), 10, &info, line.data());
    EXPECT_EQ(line, (Bytes{6, 7, 0, 1, 2, 3, 4, 5, 6, 7}));
    // A slot without bytes masks everything away.
    info.slot[0] = {nullptr, 0, 0};
    PMM_Masking_RasterData_pol(src.data(), 10, &info, line.data());
    EXPECT_EQ(line, Bytes(10, 0));
}

}  // namespace
}  // namespace ovcg::irac
