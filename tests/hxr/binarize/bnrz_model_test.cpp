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

#include <cmath>
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
        spec = s;
        ResWriter file = build_model(model);
        add_model_binarize(file, model, shape);
        if (edit) edit(file);
        BnrzModelQuery q{s.inkSet, s.dotMode, s.htType, s.hRes, s.vRes, s.kind, s.elementSize, s.width, docType, smlGrad};
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
    const HXRDthData* dither_of(int32_t area, uint32_t ord) const override {
        return HXRGetTRAQ2DthDataMgrDthSingleInfo(HXRGetDthDataMgr(data, 0), area, ord);
    }
    const HXRDthOffset* offset_of(int32_t area, uint32_t ord) const override {
        return HXRGetTRAQ2DthDataMgrDthOffSingleInfo(HXRGetDthDataMgr(data, 0), area, ord);
    }
    // The manager's corrected table of the colour, made cumulative and cut.
    std::vector<uint32_t> kernel_rates(uint32_t code) const override {
        const HXRSmlColorData& org = *org_row(HXRGetOutputColorOrder(clr, code));
        std::vector<uint32_t> table(size_t(org.gradationNum) * org.dotSizeNum);
        EXPECT_EQ(HXRPrepareEveryLineCorrection(primary()), 0u);
        EXPECT_EQ(HXRGetSDMSmlTable(primary(), table.data(), code), 0u);
        return kernel_row(code, org.dotSizeNum, org.gradationNum,
                          [&](uint32_t g, uint32_t d) { return table[size_t(g) * org.dotSizeNum + d]; });
    }
    const HXRSmlColorData* org_row(uint32_t ord) const override { return &HXRGetSDMOrgSmlTable(primary())[ord]; }

    const ModelDescription model = default_model();
    BnrzModelJob job{svc};
    HXRTRAQ2Data* data = nullptr;
};

struct Mode {
    uint32_t inkSet, dotMode, ht;
    int32_t h, v;
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
    modes.push_back({11, 34, 3, 720, 720});  // six planes: two derived colours
    modes.push_back({11, 34, 3, 1080, 720});
    for (const Mode& m : modes) {
        SCOPED_TRACE(testing::Message() << "ink set " << m.inkSet << " dot mode " << m.dotMode << " type " << m.ht
                                        << " " << m.h << "x" << m.v);
        ASSERT_TRUE(model_job(job_of(m.inkSet, m.dotMode, m.ht).resolution(m.h, m.v).pixels(203)));
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

TEST_F(ModelBand, AnyDotAndRefusedBands) {
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
    fill_ink(4, 0, 100);
    for (int32_t lines : {0, 3}) {
        Planes q(6 * hc(), plane_bytes());
        any = 5;
        EXPECT_EQ(HXRBinarize(ctrl, interm, random, q.table.data(), &any, lines, 0, nullptr), 1u);
        EXPECT_EQ(any, 5u);
        for (size_t e = 0; e < q.bytes.size(); ++e) EXPECT_TRUE(q.untouched(e)) << e;
    }
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
        BnrzJobSpec spec;
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
        ASSERT_TRUE(model_job(c.spec, c.docType, c.edit, c.shape, c.smlGrad));
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
