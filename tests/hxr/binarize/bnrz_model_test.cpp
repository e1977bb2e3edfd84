// The binariser over the real parts: the model's resources read by the read
// controller, the host data set with its SML and dither data managers, the
// controller bound to them. Every colour of a band against direct kernel
// calls, for halftone types 3, 5 and 6 at 1 and 2 bits and dot mode 34; the
// counts against the planes; the job-start refusals one at a time; one page
// per halftone type written as a PBM image.
#include "bnrz_job.h"
#include "hxr/control/hxr_readctrl.h"
#include "hxr/control/hxr_traq2_data.h"
#include "support/bnrz_model_job.h"
#include "support/model_binarize.h"
#include "support/model_dither.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <string>

namespace {

using namespace ovcg_test;

class ModelBand : public BnrzJob {
public:
    void TearDown() override {
        job.release();
        BnrzJob::TearDown();
    }

    // A job of the model extended by the binarisation rows: `edit` changes
    // the file first; `smlGrad` is the gradation count the data set expects.
    // False, with nothing attached, when a step before the controller's
    // set-up fails.
    bool model_job(const BnrzJobSpec& s, uint32_t docType = 0, const std::function<void(ResWriter&)>& edit = {},
                   ModelBnrzSml shape = ModelBnrzSml::kRamp, uint32_t smlGrad = kHxrBnrzSmlGradNum) {
        recipe = s;
        ResWriter file = build_model(model);
        add_model_binarize(file, model, shape);
        if (edit) edit(file);
        const BnrzModelQuery q{s.inkSet, s.dotMode, s.htType, s.hRes,   s.vRes,
                               s.kind,   s.elementSize, s.width, docType, smlGrad};
        const bool made = job.make(file, q, mm);
        ht = job.ht;
        clr = job.clr;
        ctrl = job.ctrl;
        interm = job.interm;
        random = job.random;
        data = job.data;
        dataSet = data;
        return made;
    }

    HXRSmlDataMgr* primary() const { return HXRGetSmlDataMgr(data, 0, 0); }
    const HXRSmlColorData* org_row(uint32_t ord) const { return &HXRGetSDMOrgSmlTable(primary())[ord]; }
    // The colour's row as a kernel reads it, from the manager's corrected
    // table: cumulative from the largest dot for three and five dot sizes,
    // cut to three (a derived colour keeps the first three, its base the
    // rest), at most 4080 per value.
    std::vector<uint32_t> kernel_rates(uint32_t code) const {
        const HXRSmlColorData& org = *org_row(HXRGetOutputColorOrder(clr, code));
        const uint32_t dots = org.dotSizeNum;
        std::vector<uint32_t> table(size_t(org.gradationNum) * dots), out;
        EXPECT_EQ(HXRPrepareEveryLineCorrection(primary()), 0u);
        EXPECT_EQ(HXRGetSDMSmlTable(primary(), table.data(), code), 0u);
        for (uint32_t g = 0; g < org.gradationNum; ++g) {
            uint32_t* level = &table[size_t(g) * dots];
            if (dots == 3 || dots == 5)
                for (uint32_t d = dots - 1; d-- > 0;) level[d] += level[d + 1];
            const uint32_t from = dots < 4 || (code & kHxrDerivedChannel) ? 0 : 3;
            for (uint32_t d = from; d < from + std::min(dots, 3u); ++d)
                out.push_back(std::min(d < dots ? level[d] : 0, kHxrSmlMaxRate));
        }
        return out;
    }

    // The direct calls' own objects, made as the binariser makes its own.
    void make_references() {
        refDither = HXRCreateBinarizeDither(recipe.kind, recipe.elementSize, recipe.dotMode, mm);
        ASSERT_NE(refDither, nullptr);
        refRandom = HXRCreateRandNum(mm);
        if (recipe.htType == kHxrHtTypeDither) return;
        for (uint32_t c = 0; c < hc(); ++c) {
            const uint32_t code = HXRGetHalftoneColorCode(clr, c);
            const HXRSmlColorData* row = org_row(HXRGetOutputColorOrder(clr, code));
            const HXRSmlColorData* rows[4] = {row, row, row, row};
            refHybrid[c] = HXRCreateBinarizeHybridED(recipe.inkSet, recipe.hRes, recipe.vRes, recipe.kind, 1, recipe.dotMode,
                                                     recipe.htType, code, rows, interm, refRandom, mm);
            ASSERT_NE(refHybrid[c], nullptr);
            ASSERT_EQ(HXRSetHybridEDErrorBuffInitialValue(refHybrid[c], refRandom, 0), 0u);
        }
    }

    // One step of the band done by a direct kernel call on a reference plane.
    void direct_step(uint8_t* plane, uint32_t i, int32_t y, uint32_t c, uint32_t x0, uint32_t n) {
        const uint32_t code = HXRGetHalftoneColorCode(clr, c);
        const uint32_t ord = HXRGetOutputColorOrder(clr, code);
        const int32_t ink = recipe.kind == kHxrCvtTNMX ? 0 : int32_t(HXRGetLutColorOrder(clr, code));
        const int32_t area = HXRGetDthArea(ctrl->everyColor->runtimeDither, y);
        const HXRTRAQ2DthDataMgr* dm = HXRGetDthDataMgr(data, 0);
        const HXRDthData* rec = HXRGetTRAQ2DthDataMgrDthSingleInfo(dm, area, ord);
        const HXRDthOffset* off = HXRGetTRAQ2DthDataMgrDthOffSingleInfo(dm, area, ord);
        std::vector<uint32_t> rates = kernel_rates(code);
        HXRSmlColorData row{256, uint32_t(bits() == 1 ? 1 : 3), {}, rates.data()};
        const HXRSmlColorData* pair[2] = {&row, &row};
        uint32_t counts[7] = {};
        if (recipe.htType == kHxrHtTypeDither) {
            const uint32_t r =
                recipe.elementSize == 1
                    ? HXRBinarizeDither(refDither, plane, counts, HXRGetInkQuantityBuf(interm, ink, i), nullptr,
                                        int32_t(x0), int32_t(n), rec, off, pair, uint32_t(y))
                    : HXRBinarizeDither16bit(refDither, plane, counts, HXRGetInkQuantityBuf16(interm, ink, i), nullptr,
                                             int32_t(x0), int32_t(n), rec, off, pair, uint32_t(y));
            ASSERT_EQ(r, 0u);
            return;
        }
        HXRHybridEDBinarizer* h = refHybrid[c];
        ASSERT_EQ(HXRSwitchHybridEDErrorBuff(h, 1), 0u);
        int32_t* error = HXRGetHybridEDErrorBuffer(h, refRandom, uint32_t(y), 0);
        ASSERT_EQ(HXRBinarizeHybridED(h, plane, counts, HXRGetInkQuantityBuf(interm, ink, i), nullptr, error,
                                      int32_t(x0), int32_t(n), rec, off, pair, uint32_t(y)),
                  0u);
        ASSERT_EQ(HXRSetHybridEDVPostion(h, uint32_t(y)), 0u);
    }

    // The band through the controller against the direct calls, colour by
    // colour; head-1 entries (canaries) untouched; each colour's codes added
    // to `histogram`.
    void band_against_kernels(int32_t first, int32_t lines, std::vector<std::array<uint64_t, 4>>& histogram) {
        const uint32_t n_hc = hc(), entries = 2 * uint32_t(lines) * n_hc;
        Planes got(entries, plane_bytes()), want(entries, plane_bytes());
        uint32_t any = 7;
        ASSERT_EQ(HXRBinarize(ctrl, interm, random, got.table.data(), &any, lines, first, nullptr), 0u);
        uint32_t x0 = 0, n = 0;
        HXRGetWrittenArea(interm, &x0, &n);
        uint64_t dots = 0;
        for (uint32_t i = 0; i < uint32_t(lines); ++i)
            for (uint32_t c = 0; c < n_hc; ++c) {
                const size_t e = size_t(i) * n_hc + c;
                direct_step(want.table[e], i, first + int32_t(i), c, x0, n);
                ASSERT_EQ(got.bytes[e], want.bytes[e]) << "line " << first + int32_t(i) << " colour " << c;
                for (uint32_t x = x0; x < x0 + n; ++x) {
                    const uint32_t k = plane_code(got.bytes[e].data(), bits(), x);
                    ++histogram[c][k];
                    dots += k != 0;
                }
            }
        for (uint32_t e = uint32_t(lines) * n_hc; e < entries; ++e) EXPECT_TRUE(got.untouched(e)) << "canary " << e;
        EXPECT_EQ(any, dots ? 1u : 0u);
    }

    // Counts read through the controller against the histograms; a second
    // read gives zeros.
    void expect_counts(const std::vector<std::array<uint64_t, 4>>& histogram) {
        const uint32_t r = HXRGetRealOutputColorNum(clr);
        std::vector<uint64_t> got(3 * r + 1, 99);
        ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, got.data(), 3 * r), 3 * r);
        for (uint32_t k = 0; k < r; ++k)
            for (uint32_t d = 0; d < 3; ++d)
                EXPECT_EQ(got[3 * k + d], d < uint32_t((1 << bits()) - 1) ? histogram[k][d + 1] : 0) << k << " " << d;
        EXPECT_EQ(got[3 * r], 99u);
        ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, got.data(), 3 * r), 3 * r);
        for (uint32_t v = 0; v < 3 * r; ++v) EXPECT_EQ(got[v], 0u);
    }

    const ModelDescription model = default_model();
    BnrzModelJob job{svc};
    HXRTRAQ2Data* data = nullptr;
    const HXRDitherBinarizer* refDither = nullptr;
    HXRRandNum* refRandom = nullptr;
    HXRHybridEDBinarizer* refHybrid[12] = {};
};

struct Mode {
    uint32_t inkSet, dotMode, ht;
    int32_t h, v;
    uint32_t kind = 1, elementSize = 1;
};

// Every colour of two bands of each print mode, through the controller,
// equals the kernels called directly with the data set's records and tables.
TEST_F(ModelBand, EveryColourOfABandEqualsDirectKernelCalls) {
    std::vector<Mode> modes;
    for (uint32_t inkSet : {1u, 3u})
        for (uint32_t bits : {1u, 2u})
            for (uint32_t ht : {3u, 5u, 6u}) {
                modes.push_back({inkSet, bits, ht, 600, 600});  // the default model's own rows
                modes.push_back({inkSet, bits, ht, 720, 720});
            }
    for (auto [h, v] : {std::pair{1440, 720}, {2880, 720}, {720, 1440}})
        for (uint32_t bits : {1u, 2u}) modes.push_back({1, bits, 6, h, v});
    modes.push_back({1, 2, 5, 2880, 720});
    modes.push_back({3, 2, 3, 720, 720, 5, 2});  // 16-bit rows of the direct converter
    modes.push_back({11, 34, 3, 720, 720});  // six planes: two derived colours
    modes.push_back({11, 34, 3, 1080, 720});
    for (const Mode& m : modes) {
        SCOPED_TRACE(testing::Message() << "ink set " << m.inkSet << " dot mode " << m.dotMode << " type " << m.ht
                                        << " " << m.h << "x" << m.v);
        BnrzJobSpec s = job_of(m.inkSet, m.dotMode, m.ht).resolution(m.h, m.v).converter(m.kind, m.elementSize);
        ASSERT_TRUE(model_job(s.pixels(203)));
        const HXRSwitchPosList list{1, {11}};
        start(m.ht == 3 ? nullptr : &list);  // the two-area dither of types 5 and 6
        make_references();
        std::vector<std::array<uint64_t, 4>> histogram(hc());
        fill_ink(1, 5, 190);
        band_against_kernels(10, 2, histogram);
        fill_ink(2, 0, 203);
        band_against_kernels(12, 1, histogram);
        expect_counts(histogram);
        TearDown();
        SetUp();
    }
}

TEST_F(ModelBand, NoDotsLeaveAnyDotZero) {
    ASSERT_TRUE(model_job(job_of(11, 34, 3)));
    start();
    fill_ink(3, 0, 100);
    for (int32_t k = 0; k < interm->inkNum; ++k)
        for (uint32_t l = 0; l < 2; ++l) std::fill_n(HXRGetInkQuantityBuf(interm, k, l), interm->linePixelSize, 0);
    Planes p(4 * hc(), plane_bytes());
    uint32_t any = 5;
    ASSERT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), &any, 2, 0, nullptr), 0u);
    EXPECT_EQ(any, 0u);
    for (size_t e = 0; e < 2 * hc(); ++e) EXPECT_FALSE(p.untouched(e)) << e;  // written, without dots
    uint64_t counts[18];
    ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, counts, 18), 18u);
    for (uint64_t c : counts) EXPECT_EQ(c, 0u);
}

// What is fixed for the job and would fail every band is refused when the
// job starts, one cause at a time; no band runs after it.
TEST_F(ModelBand, JobStartRefusals) {
    enum Stage { kAttach, kHybrid };
    struct Case {
        const char* name;
        BnrzJobSpec recipe;
        Stage stage;
        uint32_t docType = 0;
        std::function<void(ResWriter&)> edit = {};
        ModelBnrzSml shape = ModelBnrzSml::kRamp;
        uint32_t smlGrad = kHxrBnrzSmlGradNum;
    };
    const Case cases[] = {
        {"ink set 26 under type 5: a colour without LUT channel", job_of(26, 2, 5), kAttach},
        {"ink set 26 under type 3", job_of(26, 1, 3), kAttach},
        {"monochrome-photo direct kind under type 6", job_of(1, 2, 6).converter(6, 1).resolution(600, 600), kHybrid,
         7},
        {"16-bit rows under HybridED", job_of(1, 2, 6).converter(5, 2), kHybrid},
        {"a ratio without HybridED kernels", job_of(1, 1, 5).resolution(1080, 720), kHybrid},
        {"a mask of width 3", job_of(1, 2, 3), kAttach, 0,
         [](ResWriter& w) {
             w.replace(kResTypeHalftone, uint16_t(kModelMask12Id + 100),
                       write_plain_mask(model_scattered_mask(3, 8, 12, 0, 0)));
         }},
        {"an SML resource of 255 gradations", job_of(1, 2, 3), kAttach, 0, {}, ModelBnrzSml::kLevels255, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(model_job(c.recipe, c.docType, c.edit, c.shape, c.smlGrad));
        const uint32_t a = attach();
        EXPECT_EQ(a, c.stage == kAttach ? 1u : 0u);
        if (a == 0) {
            EXPECT_EQ(hybrid(), 1u);
        }
        fill_ink(5, 0, 100);
        Planes p(4 * hc(), plane_bytes());
        EXPECT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 2, 0, nullptr), 1u);
        for (size_t e = 0; e < p.bytes.size(); ++e) EXPECT_TRUE(p.untouched(e)) << e;
        EXPECT_EQ(HXRGetErrorInfo(nullptr), 0u);
        TearDown();
        SetUp();
    }
    // The same SML resource, with the gradation count the controller answers,
    // is refused by the data set itself.
    EXPECT_FALSE(model_job(job_of(1, 2, 3), 0, {}, ModelBnrzSml::kLevels255));
    HXRSetErrorInfo(0);
}

// The smallest dot size in use picks the HybridED kernel: small, medium or
// large dots only.
TEST_F(ModelBand, SmallestDotSizeInUse) {
    const std::pair<ModelBnrzSml, HXRHybridEDKernel> shapes[] = {
        {ModelBnrzSml::kRamp, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_SML},
        {ModelBnrzSml::kNoSmall, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_ML},
        {ModelBnrzSml::kLargeOnly, HXRBinarizeHybridEDIn8BitOut2Bit_1x1_L},
    };
    for (auto [shape, kernel] : shapes) {
        ASSERT_TRUE(model_job(job_of(1, 2, 6), 0, {}, shape));
        start();
        for (uint32_t c = 0; c < hc(); ++c) EXPECT_EQ(ctrl->everyColor->hybridED[c]->kernel, kernel) << c;
        make_references();
        std::vector<std::array<uint64_t, 4>> histogram(hc());
        fill_ink(6, 0, 100);
        band_against_kernels(0, 2, histogram);
        expect_counts(histogram);
        TearDown();
        SetUp();
    }
}

// One page of 1-bit cyan per halftone type as a PBM image (P4: rows of
// MSB-first bits, as the planes are), on a left-to-right ramp: the image's
// dots are the dot counter's, and each quarter of the page has the share of
// dots its ink asks for.
TEST_F(ModelBand, OnePagePerHalftoneTypeAsPbm) {
    constexpr int32_t kWidth = 256, kLines = 64;
    for (uint32_t ht : {3u, 5u, 6u}) {
        ASSERT_TRUE(model_job(job_of(1, 1, ht).pixels(kWidth)));
        start();
        const std::string name = ::testing::TempDir() + "binarize_type" + std::to_string(ht) + ".pbm";
        std::ofstream out(name, std::ios::binary);
        const std::string header = "P4\n" + std::to_string(kWidth) + " " + std::to_string(kLines) + "\n";
        out << header;
        uint64_t dots = 0, quarter[4] = {};
        for (int32_t y = 0; y < kLines; y += 2) {
            for (int32_t k = 0; k < interm->inkNum; ++k)
                for (uint32_t l = 0; l < 2; ++l) {
                    uint8_t* row = HXRGetInkQuantityBuf(interm, k, l);
                    for (int32_t x = 0; x < kWidth; ++x) row[x] = uint8_t(x * 255 / (kWidth - 1));
                }
            ASSERT_EQ(HXRSetWritingArea(interm, 0, kWidth), 0u);
            Planes p(4 * hc(), plane_bytes());
            ASSERT_EQ(HXRBinarize(ctrl, interm, random, p.table.data(), nullptr, 2, y, nullptr), 0u);
            for (uint32_t i = 0; i < 2; ++i) {
                const std::vector<uint8_t>& cyan = p.bytes[i * hc()];
                out.write(reinterpret_cast<const char*>(cyan.data()), std::streamsize(cyan.size()));
                for (int32_t x = 0; x < kWidth; ++x) {
                    const uint32_t d = plane_code(cyan.data(), 1, x);
                    dots += d;
                    quarter[x / (kWidth / 4)] += d;
                }
            }
        }
        out.close();
        std::ifstream in(name, std::ios::binary | std::ios::ate);
        EXPECT_EQ(uint64_t(in.tellg()), header.size() + uint64_t(kWidth / 8) * kLines) << name;
        uint64_t counts[12];
        ASSERT_EQ(HXRGetBnrzCtrlDotCounter(ctrl, counts, 12), 12u);
        EXPECT_EQ(counts[0], dots) << name;
        // As many dots as the ramp asks for, quarter by quarter: 1/8, 3/8, ...
        for (int q = 0; q < 4; ++q)
            EXPECT_NEAR(double(quarter[q]) / (kWidth / 4 * kLines), (2 * q + 1) / 8.0, 0.02) << name << " " << q;
        TearDown();
        SetUp();
    }
}

}  // namespace
