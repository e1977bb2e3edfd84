// Long runs cut in two for a helper thread: the lines, error lines and dot
// counts come out as when every run is walked whole, whoever walks the
// second halves (the binarising thread itself at the joins, or a helper
// spinning on the slot) and whatever the lines do between them (runs that
// move, shrink below the cut length or jump, line gaps that re-seed, a second
// head that copies the error line).
#include "hxr/binarize/hxr_bnrz_hybrid_ed.h"
#include "support/dither_record.h"
#include "support/hxr_fixture.h"
#include "support/model_dither.h"

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kPixels = 4000;

// One head's run of a line.
struct Step {
    uint32_t line;
    int32_t heads, head;
    int32_t x0, n;
};

// A script of lines: mostly one head and long runs at moving places; now and
// then a short run, a jump to a far part of the line, a gap in the line
// numbers, or a line with two heads.
std::vector<Step> script(uint32_t seed, int lines) {
    std::mt19937 g(seed);
    std::vector<Step> steps;
    uint32_t line = 0;
    for (int i = 0; i < lines; ++i) {
        line += g() % 11 == 0 ? 2 + g() % 3 : 1;
        const int32_t heads = g() % 7 == 0 ? 2 : 1;
        for (int32_t h = 0; h < heads; ++h) {
            int32_t n, x0;
            switch (g() % 6) {
                case 0: n = 1 + int32_t(g() % 1100); break;  // mostly below the cut length
                case 1: n = kPixels; break;
                default: n = 1024 + int32_t(g() % (kPixels - 1024)); break;
            }
            x0 = int32_t(g() % uint32_t(kPixels - n + 1));
            steps.push_back({line, heads, h, x0, n});
        }
    }
    return steps;
}

struct Case {
    const char* name;
    uint32_t dotMode;
    int32_t h, v;  // resolution: the kernel's share table
    bool helper;
    // Dark ink but for a light pixel where each long run's second half
    // begins: its dot in a dark field sends a share to every cell up to 15
    // back on the next line, as far as the next line may walk before it
    // joins the tail.
    bool marks = false;
};

// What one binariser leaves: every plane row, both error lines, the counts.
struct Result {
    std::vector<std::vector<uint8_t>> planes;
    std::vector<int32_t> errors;
    uint64_t counts[6] = {};
};

class HybridEdTail : public HxrTest {
protected:
    Result run(const Case& c, const std::vector<Step>& steps, bool cut) {
        HXRRandNum* random = HXRCreateRandNum(mm);
        HXRIntermediateData interm{};
        interm.linePixelSize = kPixels;
        std::vector<uint32_t> rates;
        for (uint32_t v = 0; v < 256; ++v) {
            if (c.dotMode == 1) rates.push_back(v * 16);
            else rates.insert(rates.end(), {v * 16, v * 10, v * 4});
        }
        const HXRSmlColorData row{256, c.dotMode == 1 ? 1u : 3u, {}, rates.data()};
        const HXRSmlColorData* four[4] = {&row, nullptr, nullptr, nullptr};
        const HXRSmlColorData* pair[2] = {&row, &row};
        HXRHybridEDBinarizer* b = HXRCreateBinarizeHybridED(0, c.h, c.v, 1, 1, c.dotMode, 6, 2, four, &interm, random,
                                                            mm);
        EXPECT_NE(b, nullptr);
        Result r;
        if (!b) return r;

        HXRHybridEDTailSlot slot;
        uint64_t late[6] = {};
        std::atomic<bool> stop{false};
        std::thread helper;
        if (cut) {
            EXPECT_EQ(HXRSetHybridEDTailSlot(b, &slot, late, mm), 0u);
            if (c.helper)
                helper = std::thread([&] {
                    while (!stop.load(std::memory_order_acquire))
                        if (!HXRTakeHybridEDTail(&slot)) HXRTailSlotPause();
                });
        }
        const ovcg_test::DitherRecord dither =
            ovcg_test::make_dither_record(64, 64, 3, 5, ovcg_test::model_plain_mask(64, 64, 16).thresholds);
        const HXRDthOffset offset{7, 2};
        const int32_t bytes = kPixels * int32_t(c.dotMode) / 8 + 1;
        std::mt19937 g(99);
        std::vector<uint8_t> ink(kPixels);
        uint32_t counts[8] = {};
        uint32_t last = ~0u;
        for (const Step& s : steps) {
            if (s.line != last) {
                if (last != ~0u) HXRSetHybridEDVPostion(b, last);
                last = s.line;
                // A photo-like row: smooth with noise, dark and light parts.
                for (int32_t x = 0; x < kPixels; ++x)
                    ink[size_t(x)] = uint8_t((x * 7 + int32_t(s.line) * 13) % 512 < 256 ? (x * 7) % 256 : g() % 256);
            }
            if (c.marks) {
                std::fill(ink.begin(), ink.end(), uint8_t(255));
                // The cut: 7/16 into the run, down to a byte boundary.
                const int32_t per = 8 / int32_t(c.dotMode);
                if (s.n >= kHxrHybridEDSplitMin) ink[size_t((s.x0 + s.n * 7 / 16) / per * per)] = 1;
            }
            EXPECT_EQ(HXRSwitchHybridEDErrorBuff(b, s.heads), 0u);
            int32_t* error = HXRGetHybridEDErrorBuffer(b, random, s.line, s.head);
            EXPECT_NE(error, nullptr);
            r.planes.emplace_back(size_t(bytes), uint8_t(0));
            EXPECT_EQ(HXRBinarizeHybridED(b, r.planes.back().data(), counts, ink.data(), nullptr, error, s.x0, s.n,
                                          &dither.data, &offset, pair, uint32_t(s.line)),
                      0u);
        }
        if (cut) {
            HXRJoinHybridEDTail(&slot);
            stop.store(true, std::memory_order_release);
            if (helper.joinable()) helper.join();
            // Back to whole runs: nothing is left out, nothing changes.
            EXPECT_EQ(HXRSetHybridEDTailSlot(b, nullptr, nullptr, nullptr), 0u);
            EXPECT_EQ(b->split, nullptr);
        }
        for (uint32_t k = 0; k < 6; ++k) r.counts[k] = counts[k + 1] + late[k];
        for (const int32_t* buffer : b->errorBuffers->buffer)
            r.errors.insert(r.errors.end(), buffer, buffer + b->errorBuffers->cellCount);
        return r;
    }
};

TEST_F(HybridEdTail, CutRunsGiveTheWholeRunsLines) {
    const Case cases[] = {
        {"1 bit, 1x1, no helper", 1, 720, 720, false},
        {"1 bit, 1x1, a helper", 1, 720, 720, true},
        {"1 bit, 4x1, a helper", 1, 2880, 720, true},
        // The tail walked at the join, after the next line's walk up to its stop.
        {"1 bit, 4x1, no helper, marks", 1, 2880, 720, false, true},
        {"2 bits, 2x1, no helper, marks", 2, 1440, 720, false, true},
        {"2 bits, 1x1, no helper", 2, 720, 720, false},
        {"2 bits, 1x1, a helper", 2, 720, 720, true},
        {"2 bits, 2x1, a helper", 2, 1440, 720, true},
        {"2 bits, 1x2, a helper", 2, 720, 1440, true},
    };
    for (const Case& c : cases) {
        for (uint32_t seed = 1; seed <= 4; ++seed) {
            SCOPED_TRACE(std::string(c.name) + ", script " + std::to_string(seed));
            const std::vector<Step> steps = script(seed, 60);
            const Result whole = run(c, steps, false);
            const Result cut = run(c, steps, true);
            ASSERT_EQ(cut.planes.size(), whole.planes.size());
            for (size_t i = 0; i < whole.planes.size(); ++i)
                ASSERT_TRUE(cut.planes[i] == whole.planes[i]) << "step " << i << " (line " << steps[i].line << ", "
                                                              << steps[i].x0 << " + " << steps[i].n << ")";
            EXPECT_TRUE(cut.errors == whole.errors);
            for (uint32_t k = 0; k < 6; ++k) EXPECT_EQ(cut.counts[k], whole.counts[k]) << "code " << k + 1;
        }
    }
}

TEST_F(HybridEdTail, SettingTheSlot) {
    HXRRandNum* random = HXRCreateRandNum(mm);
    HXRIntermediateData interm{};
    interm.linePixelSize = 64;
    std::vector<uint32_t> rates(256, 100);
    const HXRSmlColorData row{256, 1, {}, rates.data()};
    const HXRSmlColorData* four[4] = {&row, nullptr, nullptr, nullptr};
    HXRHybridEDBinarizer* b = HXRCreateBinarizeHybridED(0, 720, 720, 1, 1, 1, 6, 1, four, &interm, random, mm);
    ASSERT_NE(b, nullptr);
    HXRHybridEDTailSlot slot;
    uint64_t late[6] = {};
    EXPECT_EQ(HXRSetHybridEDTailSlot(nullptr, &slot, late, mm), 1u);
    EXPECT_EQ(HXRSetHybridEDTailSlot(b, &slot, nullptr, mm), 1u);
    EXPECT_EQ(HXRSetHybridEDTailSlot(b, &slot, late, nullptr), 1u);
    EXPECT_EQ(b->split, nullptr);
    // A kernel that is not one of the table's cannot be cut.
    const HXRHybridEDKernel kept = b->kernel;
    b->kernel = [](uint8_t*, uint32_t*, const uint8_t*, const uint8_t*, int32_t*, const uint32_t* const*,
                   const HXRDthData*, const HXRDthOffset*, const int32_t*, int32_t, int32_t, uint32_t) {};
    EXPECT_EQ(HXRSetHybridEDTailSlot(b, &slot, late, mm), 1u);
    b->kernel = kept;
    EXPECT_EQ(HXRSetHybridEDTailSlot(b, &slot, late, mm), 0u);
    EXPECT_NE(b->split, nullptr);
    EXPECT_EQ(HXRSetHybridEDTailSlot(nullptr, nullptr, nullptr, nullptr), 1u);
    // Every kernel of the four tables can.
    for (const HXRHybridEDFuncRow* table : {HybridEDFuncTableOut1bit, HybridEDAllEDOnlyFuncTableOut1bit,
                                            HybridEDFuncTableOut2bit, HybridEDAllEDOnlyFuncTableOut2bit})
        for (const HXRHybridEDFuncRow* r = table; r->kernel; ++r) EXPECT_NE(HXRGetHybridEDParts(r->kernel), nullptr);
}

}  // namespace
