// The band path through the IRAC_ entry points (option 0x8, and 0x18 with
// the model's pass engine behind the queries): pages read back by the
// virtual printer, hand-worked command bytes, the resource broken field by
// field, every state's codes and no block left after the job.
#include "head_driver_fixture.h"

#include "headcontrol/codes.h"
#include "headcontrol/model_resource.h"
#include "headcontrol/stm_band_path.h"
#include "support/model.h"
#include "support/model_band_path.h"

#include <gtest/gtest.h>

namespace ovcg::irac::test {
namespace {

using ovcg_test::Bytes;
using ovcg_test::ModelBandPath;

struct BandRequest {
    uint32_t lines = 8;    // lines per band
    int8_t rle = 1;
    int32_t bits = 2;      // 0: not set
    int8_t form = 1;
    uint32_t width = 12;
    uint32_t pageLength = 400;
    uint16_t colours = 6;
    uint32_t flags = IRAC_OPT_BAND_PATH;
    uint32_t subMode = 0;
};

ModelBandPath band_model(const BandRequest& q) {
    ModelBandPath b = ovcg_test::default_band_path(ovcg_test::default_model());
    b.lines = q.lines;
    b.run_length = q.rle;
    return b;
}

// A band-path job on a fake platform, with the bit length and head form set.
class BandJob {
public:
    BandJob(const BandRequest& q, const Bytes& resource, const ovcg_test::ModelHeadControl* hc = nullptr) {
        ovf.set_resource(kBandResourceKind, resource);
        if (q.flags & IRAC_OPT_ENGINE)
            ovf.set_resource(kModelResourceKind,
                             ovcg_test::head_control_resource(hc ? *hc : ovcg_test::default_model().head_control));
        const IRACS_IDENTIFIER id{0, q.subMode, 1, 4, ovcg_test::model_head_mode_id()};
        const IRACS_PRINTDATA_INFO pd{q.width, q.pageLength, q.colours};
        const IRACS_OPTION option{0, shifts.data(), q.flags};
        value.value = 0xDEADBEEF;
        code = IRAC_StartJob(&handle, &id, &pd, &option, &value, &ovf.table());
        if (code) return;
        if (q.bits) {
            EXPECT_EQ(0u, IRAC_SetValue(handle, IRAC_SET_BITLEN, &q.bits));
        }
        EXPECT_EQ(0u, IRAC_SetValue(handle, IRAC_SET_ESCIFORM, &q.form));
    }
    explicit BandJob(const BandRequest& q = {}) : BandJob(q, ovcg_test::band_path_resource(band_model(q))) {}
    ~BandJob() { release(); }

    StmJob* job() const { return reinterpret_cast<StmJob*>(handle); }
    uint32_t state() const { return job()->state; }
    std::string release(bool abort = false) {
        abort ? IRAC_AbortJob(handle) : IRAC_EndJob(handle);
        handle = nullptr;
        return platform_trouble(ovf);
    }
    // One run of one raster; the colours' lines one after the other.
    uint32_t line(uint32_t raster, const std::vector<Bytes>& colourLines) {
        Bytes all;
        for (const Bytes& l : colourLines) all.insert(all.end(), l.begin(), l.end());
        uint8_t* lines[1] = {all.data()};
        const IRACS_RASTERDATA run{lines, uint32_t(colourLines[0].size()), 1, raster};
        return IRAC_DrawData(handle, &run);
    }

    ovcg_test::FakeOvf ovf;
    IRAC_INSTANCE_DEF* handle = nullptr;
    IRACS_VALUE value{};
    std::array<int8_t, 32> shifts{};
    uint32_t code = 0;
};

ovcg_test::VpModel printer(int bits) {
    ovcg_test::VpModel m;
    m.bits = bits;
    int canvas = 0;
    for (char c : {'K', 'C', 'M', 'Y', 'c', 'm'}) m.add(ovcg_test::model_color_code(c), {canvas++, 0, 1});
    return m;
}

Bytes cat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// ---- Pages read back ---------------------------------------------------------------------

TEST(BandPathPages, ReadBackEveryBandSizeBitLengthOffsetAndCoding) {
    std::mt19937 rng(36);
    const PageKind kinds[] = {PageKind::Sparse, PageKind::Dense, PageKind::BlankStretches, PageKind::OneDot,
                              PageKind::BlankTop, PageKind::Blank};
    int left = 0, kind = 0;
    for (uint32_t n : {1u, 7u, 64u})
        for (int bits : {1, 2})
            for (int8_t rle : {int8_t(0), int8_t(1), int8_t(-2)})
                for (int8_t form : {int8_t(0), int8_t(1)}) {
                    BandRequest q;
                    q.lines = n, q.bits = bits, q.rle = rle, q.form = form;
                    q.width = 5 + rng() % 9;
                    BandJob j(q);
                    ASSERT_EQ(0u, j.code);
                    EXPECT_EQ(0u, j.value.value);
                    for (int pageNo = 0; pageNo < 2; ++pageNo) {
                        SCOPED_TRACE(::testing::Message() << "N " << n << " bits " << bits << " rle " << int(rle)
                                                          << " form " << int(form) << " left " << left);
                        Page p = random_page(rng, kinds[kind++ % 6], q.colours, 1 + rng() % 150, q.width);
                        p.left = left++ % 17;
                        const size_t from = j.ovf.sent().size();
                        ASSERT_EQ(0u, print_page(j.handle, p, model_inks(), rng));
                        const auto vp = ovcg_test::RunVirtualPrinter(printer(bits), sent_from(j.ovf, from));
                        ASSERT_TRUE(vp.ok) << vp.error;
                        if (vp.pages.empty()) {
                            EXPECT_EQ(kinds[(kind - 1) % 6], PageKind::Blank);
                            continue;
                        }
                        const ovcg_test::VpPage& got = vp.pages[0];
                        EXPECT_EQ(0u, got.twice) << got.firstTwice;
                        for (uint32_t c = 0; c < q.colours; ++c) {
                            const auto it = got.planes.find(int(c));
                            const ovcg_test::VpPlane printed = it == got.planes.end() ? ovcg_test::VpPlane{} : it->second;
                            EXPECT_EQ("", ovcg_test::plane_difference(printed, expected_plane(p, c, 0, 0, bits)))
                                << "colour " << c;
                        }
                        // Each command holds one band, from a band's first line.
                        for (const auto& cmd : got.commands) {
                            EXPECT_EQ(0, cmd.v % n);
                            EXPECT_LE(cmd.lines, n);
                            EXPECT_EQ(form == 0 ? (cmd.form <= 1) : (cmd.form >= 4), true);
                        }
                    }
                    EXPECT_EQ("", j.release());
                }
}

// ---- Hand-worked bands -----------------------------------------------------------------

const uint8_t kK = 0x10;  // command colour of K

// One colour, two bytes a line, bands of 2, one bit, left offset 3: the
// shift is 3 bits. Line 0 81 00 -> 10 20 00 (first 0); line 1 00 FF -> 00 1F
// E0 (first 1). W = 7 - 0 - 4 = 3; no feed and no position (both 0).
TEST(BandPathBands, HandWorkedRawBandInBothHeaderForms) {
    for (int8_t form : {int8_t(1), int8_t(0)}) {
        BandRequest q;
        q.lines = 2, q.rle = 0, q.bits = 1, q.form = form, q.width = 2, q.colours = 1;
        BandJob j(q);
        const uint8_t ink = model_inks()[0];
        ASSERT_EQ(0u, IRAC_StartPage(j.handle, 3, &ink));
        ASSERT_EQ(0u, j.line(0, {{0x81, 0x00}}));
        EXPECT_TRUE(j.ovf.sent().empty());
        ASSERT_EQ(0u, j.line(1, {{0x00, 0xFF}}));
        const Bytes head = form ? Bytes{0x1B, 0x69, kK, 4, 1, 3, 0, 2, 0, 0, 6, 0, 0, 0}
                                : Bytes{0x1B, 0x69, kK, 0, 1, 3, 0, 2, 0};
        EXPECT_EQ(cat({head, {0x10, 0x20, 0x00}, {0x00, 0x1F, 0xE0}, {0x0D}}), j.ovf.sent_bytes());
        EXPECT_EQ(1, j.ovf.sent().back().flag);
        const size_t before = j.ovf.sent().size();
        EXPECT_EQ(0u, IRAC_EndPage(j.handle));  // a whole number of bands: nothing left
        EXPECT_EQ(before, j.ovf.sent().size());
        EXPECT_EQ("", j.release());
    }
}

// Bands of 3, two bits: a left offset of 5 dots gives group dots 16, HPos
// base 0, start byte 1, start shift 2. Four lines send a band of 3 and, at
// the page end, a band of 1 after a feed of 3.
TEST(BandPathBands, BitLengthTwoOffsetFiveAndTheLastLineAtPageEnd) {
    BandRequest q;
    q.lines = 3, q.rle = 0, q.bits = 2, q.width = 1, q.colours = 1;
    BandJob j(q);
    const uint8_t ink = model_inks()[0];
    ASSERT_EQ(0u, IRAC_StartPage(j.handle, 5, &ink));
    EXPECT_EQ(0u, j.job()->hposBase);
    EXPECT_EQ(1u, j.job()->startByte);
    EXPECT_EQ(2u, j.job()->startShift);
    EXPECT_EQ(16u, j.job()->groupDots);
    for (uint32_t r = 0; r < 3; ++r) ASSERT_EQ(0u, j.line(r, {{0xC1}}));
    // Each line 00 30 40: left rounds down to the group (0), W = 3; the
    // last line 03 becomes 00 00 C0.
    const Bytes band = cat({{0x1B, 0x69, kK, 4, 2, 3, 0, 3, 0, 0, 9, 0, 0, 0},
                            {0x00, 0x30, 0x40, 0x00, 0x30, 0x40, 0x00, 0x30, 0x40, 0x0D}});
    EXPECT_EQ(band, j.ovf.sent_bytes());
    ASSERT_EQ(0u, j.line(3, {{0x03}}));
    EXPECT_EQ(band, j.ovf.sent_bytes());
    ASSERT_EQ(0u, IRAC_EndPage(j.handle));
    EXPECT_EQ(cat({band, {0x1B, 0x28, 0x76, 4, 0, 3, 0, 0, 0}, {0x1B, 0x69, kK, 4, 2, 3, 0, 1, 0, 0, 3, 0, 0, 0},
                   {0x00, 0x00, 0xC0, 0x0D}}),
              j.ovf.sent_bytes());
    EXPECT_EQ(1u, j.state());
    EXPECT_EQ("", j.release());
}

// A blank band sends nothing; the next band's feed covers it. A run whose
// first raster lies beyond the counter enters the lines between as blank.
TEST(BandPathBands, BlankBandsSendNothingAndTheNextFeedCoversThem) {
    BandRequest q;
    q.lines = 2, q.rle = 0, q.bits = 1, q.width = 1, q.colours = 2;
    BandJob j(q);
    const uint8_t inks[2] = {model_inks()[0], model_inks()[1]};
    ASSERT_EQ(0u, IRAC_StartPage(j.handle, 8, inks));
    ASSERT_EQ(0u, j.line(0, {{0x80}, {0x00}}));
    ASSERT_EQ(0u, j.line(1, {{0x00}, {0x00}}));
    const size_t afterFirst = j.ovf.sent_bytes().size();
    ASSERT_EQ(0u, j.line(7, {{0x00}, {0x01}}));  // bands [2,4) and [4,6) blank, line 6 blank
    ASSERT_EQ(0u, IRAC_EndPage(j.handle));
    const Bytes all = j.ovf.sent_bytes();
    const Bytes rest(all.begin() + long(afterFirst), all.end());
    // Feed 6, position 8, colour 1 only: line 0 blank, line 1 01.
    EXPECT_EQ(cat({{0x1B, 0x28, 0x76, 4, 0, 6, 0, 0, 0}, {0x1B, 0x28, 0x24, 4, 0, 8, 0, 0, 0},
                   {0x1B, 0x69, 0x11, 4, 1, 1, 0, 2, 0, 0, 2, 0, 0, 0}, {0x00, 0x01, 0x0D}}),
              rest);
    EXPECT_EQ("", j.release());
}

// Packing is chosen when the coded band is not longer than the raw one: a
// line AA AA codes to 2 bytes (= 1 x 2); AA BB to 3. An odd width is
// rounded up to even over the line's spare zero byte.
TEST(BandPathBands, PackingAtEqualityAndOddWidths) {
    struct Case {
        Bytes line;
        Bytes expected;
    };
    const Case cases[] = {
        {{0xAA, 0xAA}, {0x1B, 0x69, kK, 5, 1, 2, 0, 1, 0, 0, 2, 0, 0, 0, 0xFF, 0xAA, 0x0D}},
        {{0xAA, 0xBB}, {0x1B, 0x69, kK, 4, 1, 2, 0, 1, 0, 0, 2, 0, 0, 0, 0xAA, 0xBB, 0x0D}},
        {{0x00, 0x00, 0x00, 0x00, 0x00, 0x07},  // W 1, coded over 2: 07 00 as a repeat would be longer
         {0x1B, 0x28, 0x24, 4, 0, 40, 0, 0, 0, 0x1B, 0x69, kK, 4, 1, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0x07, 0x0D}},
    };
    for (const Case& c : cases) {
        BandRequest q;
        q.lines = 1, q.rle = 1, q.bits = 1, q.width = uint32_t(c.line.size()), q.colours = 1;
        BandJob j(q);
        const uint8_t ink = model_inks()[0];
        ASSERT_EQ(0u, IRAC_StartPage(j.handle, 0, &ink));
        ASSERT_EQ(0u, j.line(0, {c.line}));
        EXPECT_EQ(c.expected, j.ovf.sent_bytes());
        EXPECT_EQ("", j.release());
    }
}

// ---- Codes ---------------------------------------------------------------------------------

TEST(BandPathCodes, StartChecksInOrder) {
    struct Case {
        const char* name;
        std::function<void(BandRequest&, IRACS_OPTION&, std::array<int8_t, 32>&)> tweak;
        uint32_t code;
    };
    // IRACS_OPTION is rebuilt from the request below; the tweak may change both.
    const std::vector<Case> cases = {
        {"width 0", [](BandRequest& q, IRACS_OPTION&, auto&) { q.width = 0; }, kStmBadArgument},
        {"length 0", [](BandRequest& q, IRACS_OPTION&, auto&) { q.pageLength = 0; }, kStmBadArgument},
        {"no colours", [](BandRequest& q, IRACS_OPTION&, auto&) { q.colours = 0; }, kStmBadArgument},
        {"33 colours", [](BandRequest& q, IRACS_OPTION&, auto&) { q.colours = 33; }, kStmBadArgument},
        {"direction", [](BandRequest&, IRACS_OPTION& o, auto&) { o.direction = 1; }, kStmBadArgument},
        {"shift of a colour", [](BandRequest&, IRACS_OPTION&, auto& s) { s[5] = 1; }, kStmBadArgument},
        {"shift past the colours", [](BandRequest&, IRACS_OPTION&, auto& s) { s[6] = 1; }, 0},
        {"no shift table", [](BandRequest&, IRACS_OPTION& o, auto&) { o.pixel_shift = nullptr; }, kStmNoRecords},
        {"paper source 1", [](BandRequest& q, IRACS_OPTION&, auto&) { q.subMode = 1; }, kStmBadArgument},
        {"0x10, paper source 4",
         [](BandRequest& q, IRACS_OPTION& o, auto&) { q.subMode = 4, o.flags |= IRAC_OPT_ENGINE; },
         kRscNoSubMode},
        {"0x10, paper source 5",
         [](BandRequest& q, IRACS_OPTION& o, auto&) { q.subMode = 5, o.flags |= IRAC_OPT_ENGINE; },
         kStmBadArgument},
    };
    for (const Case& c : cases) {
        ovcg_test::FakeOvf ovf;
        ovf.set_resource(kBandResourceKind, ovcg_test::band_path_resource(band_model({})));
        ovf.set_resource(kModelResourceKind, ovcg_test::head_control_resource(ovcg_test::default_model().head_control));
        BandRequest q;
        std::array<int8_t, 32> shifts{};
        IRACS_OPTION option{0, nullptr, IRAC_OPT_BAND_PATH};
        c.tweak(q, option, shifts);
        if (option.pixel_shift == nullptr && std::string(c.name) != "no shift table") option.pixel_shift = shifts.data();
        const IRACS_IDENTIFIER id{0, q.subMode, 1, 4, ovcg_test::model_head_mode_id()};
        const IRACS_PRINTDATA_INFO pd{q.width, q.pageLength, q.colours};
        IRAC_INSTANCE_DEF* h = nullptr;
        IRACS_VALUE value{7};
        EXPECT_EQ(c.code, IRAC_StartJob(&h, &id, &pd, &option, &value, &ovf.table())) << c.name;
        EXPECT_EQ(c.code ? 7u : 0u, value.value) << c.name;
        EXPECT_EQ(c.code != 0, h == nullptr) << c.name;
        IRAC_EndJob(h);
        EXPECT_EQ(0u, ovf.live_blocks()) << c.name;
        EXPECT_EQ(0u, ovf.resources_out()) << c.name;
    }
}

// The resource broken one field at a time, and cut at every length.
TEST(BandPathCodes, BandResourceFieldByField) {
    ovcg_test::HcLayout layout;
    const Bytes good = ovcg_test::band_path_resource(band_model({}), &layout);
    struct Case {
        const char* field;
        uint64_t value;
        uint32_t code;
    };
    const Case cases[] = {
        {"version", 0, kStrBadResource},        {"version", 2, kStrBadResource},
        {"version", 1, 0},                      {"lines", 0, kStrBadResource},
        {"lines", 0xFFFFFFFF, kStmNoLineArrays}, {"ink_count", 7, kStrBadResource},
        {"ink_count", 0x8000, kStrBadResource}, {"ink_count", 0, 0},
        {"run_length", 0x80, 0},                {"kept", 0xFFFFFF, 0},
    };
    auto start = [](const Bytes& resource) {
        BandJob j(BandRequest{}, resource);
        const uint32_t code = j.code;
        EXPECT_EQ("", j.release());
        return code;
    };
    for (const Case& c : cases) {
        Bytes r = good;
        ovcg_test::patch_field(r, layout, c.field, c.value);
        EXPECT_EQ(c.code, start(r)) << c.field << " " << c.value;
    }
    for (size_t n = 0; n < good.size(); ++n)
        EXPECT_EQ(kStrBadResource, start(Bytes(good.begin(), good.begin() + long(n)))) << n;
    ovcg_test::FakeOvf ovf;  // no resource at all
    const IRACS_IDENTIFIER id{0, 0, 0, 0, 0};
    const IRACS_PRINTDATA_INFO pd{4, 10, 1};
    std::array<int8_t, 32> shifts{};
    const IRACS_OPTION option{0, shifts.data(), IRAC_OPT_BAND_PATH};
    IRAC_INSTANCE_DEF* h = nullptr;
    IRACS_VALUE value{};
    EXPECT_EQ(kStrNoResource, IRAC_StartJob(&h, &id, &pd, &option, &value, &ovf.table()));
    EXPECT_EQ(0u, ovf.live_blocks());
}

// Every allocation of the job, its first page and its first band fails in
// turn: the code of the part, and nothing kept.
TEST(BandPathCodes, AllocationFailures) {
    for (uint32_t flags : {uint32_t(IRAC_OPT_BAND_PATH), uint32_t(IRAC_OPT_BAND_PATH | IRAC_OPT_ENGINE)}) {
        size_t failures = 0;
        for (size_t nth = 1; nth < 400; ++nth) {
            ovcg_test::FakeOvf ovf;
            ovf.set_resource(kBandResourceKind, ovcg_test::band_path_resource(band_model({})));
            ovf.set_resource(kModelResourceKind,
                             ovcg_test::head_control_resource(ovcg_test::default_model().head_control));
            ovf.fail_alloc_from(nth);
            std::array<int8_t, 32> shifts{};
            const IRACS_IDENTIFIER id{0, flags & IRAC_OPT_ENGINE ? 1u : 0u, 1, 4, ovcg_test::model_head_mode_id()};
            const IRACS_PRINTDATA_INFO pd{4, 40, 2};
            const IRACS_OPTION option{0, shifts.data(), flags};
            IRAC_INSTANCE_DEF* h = nullptr;
            IRACS_VALUE value{};
            uint32_t rc = IRAC_StartJob(&h, &id, &pd, &option, &value, &ovf.table());
            if (!rc) {
                const int32_t bits = 1;
                IRAC_SetValue(h, IRAC_SET_BITLEN, &bits);
                const uint8_t inks[2] = {model_inks()[0], model_inks()[1]};
                rc = IRAC_StartPage(h, 0, inks);
                if (!rc) {
                    Bytes line(8, 0x5A);
                    uint8_t* lines[1] = {line.data()};
                    for (uint32_t r = 0; r < 9 && !rc; ++r) {
                        const IRACS_RASTERDATA run{lines, 4, 1, r};
                        rc = IRAC_DrawData(h, &run);
                    }
                    if (!rc) rc = IRAC_EndPage(h);
                }
            }
            IRAC_EndJob(h);
            EXPECT_EQ(0u, ovf.live_blocks()) << nth;
            EXPECT_EQ(0u, ovf.resources_out()) << nth;
            if (!rc) break;
            ++failures;
            EXPECT_TRUE((rc >= 101 && rc <= 290) || (rc >= 301 && rc <= 346) || (rc >= 601 && rc <= 705) ||
                        (rc >= 900 && rc <= 1003))
                << nth << ": " << rc;
        }
        EXPECT_GT(failures, 10u);
    }
}

TEST(BandPathCodes, PageAndRunCodesAndTheirStates) {
    const uint8_t ink = model_inks()[0];
    Bytes line(4, 1);
    uint8_t* lines[2] = {line.data(), line.data()};
    struct Case {
        const char* name;
        std::function<uint32_t(BandJob&)> act;
        uint32_t code;
        uint32_t state;
    };
    auto run = [&](uint8_t** l, uint32_t width, uint32_t count, uint32_t first) {
        return [=](BandJob& j) {
            const IRACS_RASTERDATA r{l, width, count, first};
            return IRAC_DrawData(j.handle, &r);
        };
    };
    auto open = [&](BandJob& j) { return IRAC_StartPage(j.handle, 0, &ink); };
    const std::vector<Case> cases = {
        {"page without bit length", [&](BandJob& j) { return IRAC_StartPage(j.handle, 0, &ink); }, kStmBadPage, 4},
        {"unknown ink", [](BandJob& j) { const uint8_t x = 0x3F; return IRAC_StartPage(j.handle, 0, &x); },
         kStmUnknownInk, 4},
        {"negative left offset", [&](BandJob& j) { return IRAC_StartPage(j.handle, -1, &ink); }, kStmBadPage, 4},
        {"no ink list", [](BandJob& j) { return IRAC_StartPage(j.handle, 0, nullptr); }, kStmBadPage, 4},
        {"second page start", [&](BandJob& j) { open(j); return open(j); }, kStmPageStartState, 4},
        {"run outside a page", run(lines, 4, 1, 0), kStmRunState, 3},
        {"null record", [&](BandJob& j) { open(j); return IRAC_DrawData(j.handle, nullptr); }, kStmNoRun, 3},
        {"null lines", [&](BandJob& j) { open(j); return run(nullptr, 4, 1, 0)(j); }, kStmBadRun, 3},
        {"count 3", [&](BandJob& j) { open(j); return run(lines, 4, 3, 0)(j); }, kStmBadRun, 3},
        {"count 0", [&](BandJob& j) { open(j); return run(lines, 4, 0, 0)(j); }, kStmBadRun, 3},
        {"count above 16 bits", [&](BandJob& j) { open(j); return run(lines, 4, 0x10001, 0)(j); }, kStmBadRun, 3},
        {"negative width", [&](BandJob& j) { open(j); return run(lines, 0x80000000u, 1, 0)(j); }, kStmBadRun, 3},
        {"width below the raster's", [&](BandJob& j) { open(j); return run(lines, 3, 1, 0)(j); }, kStmBadRun, 3},
        {"negative first raster", [&](BandJob& j) { open(j); return run(lines, 4, 1, 0x80000000u)(j); },
         kStmBadRun, 3},
        // A raster already passed would be stored at the counter's line.
        {"first raster below the counter",
         [&](BandJob& j) {
             open(j);
             run(lines, 4, 2, 0)(j);
             run(lines, 4, 1, 5)(j);
             return run(lines, 4, 1, 3)(j);
         },
         kStmBadRun, 3},
        {"page end outside a page", [](BandJob& j) { return IRAC_EndPage(j.handle); }, kStmPageEndState, 4},
        {"page end after a failed run",
         [&](BandJob& j) { open(j); run(nullptr, 4, 1, 0)(j); return IRAC_EndPage(j.handle); }, 0, 4},
        {"page end", [&](BandJob& j) { open(j); run(lines, 4, 2, 0)(j); return IRAC_EndPage(j.handle); }, 0, 1},
        {"band beyond the platform's sizes", nullptr, kStmNoBand, 4},
    };
    for (const Case& c : cases) {
        BandRequest q;
        q.colours = 1, q.width = 4;
        q.bits = std::string(c.name) == "page without bit length" ? 0 : 1;
        if (!c.act) q.width = 0x7FFFFFF0u;
        BandJob j(q);
        ASSERT_EQ(0u, j.code) << c.name;
        EXPECT_EQ(c.code, c.act ? c.act(j) : open(j)) << c.name;
        EXPECT_EQ(c.state, j.state()) << c.name;
        EXPECT_EQ("", j.release()) << c.name;
    }
}

// End and abort free the job in every state.
TEST(BandPathCodes, EndAndAbortInEveryState) {
    const uint8_t ink = model_inks()[0];
    Bytes line(4, 1);
    uint8_t* lines[1] = {line.data()};
    for (uint32_t flags : {uint32_t(IRAC_OPT_BAND_PATH), uint32_t(IRAC_OPT_BAND_PATH | IRAC_OPT_ENGINE)})
        for (uint32_t state = 1; state <= 4; ++state)
            for (bool abort : {false, true}) {
                BandRequest q;
                q.colours = 1, q.width = 4, q.flags = flags, q.subMode = flags & IRAC_OPT_ENGINE ? 1 : 0;
                BandJob j(q);
                ASSERT_EQ(0u, j.code);
                if (state >= 2) {
                    ASSERT_EQ(0u, IRAC_StartPage(j.handle, 0, &ink));
                    const IRACS_RASTERDATA r{lines, 4, 1, 0};
                    ASSERT_EQ(0u, IRAC_DrawData(j.handle, &r));  // a partial band held
                }
                if (state >= 3) IRAC_DrawData(j.handle, nullptr);
                if (state == 4) IRAC_EndPage(j.handle);
                EXPECT_EQ(state, j.state());
                EXPECT_EQ("", j.release(abort)) << state << abort;
            }
}

// ---- Queries and settings -------------------------------------------------------------------

TEST(BandPathValues, QueriesAndSettingsByState) {
    const uint8_t ink = model_inks()[0];
    for (bool withEngine : {false, true}) {
        BandRequest q;
        q.colours = 1;
        if (withEngine) q.flags |= IRAC_OPT_ENGINE, q.subMode = 1;
        BandJob j(q);
        ASSERT_EQ(0u, j.code);
        IRACS_BRS_JOB brs{};
        IRACS_BRS_PAGE brsPage{};
        uint32_t length = 0;
        IRACS_SWITCHING_POSITION sw{};
        IRACS_USE_HEAD* use = nullptr;
        const uint32_t needs = withEngine ? 0 : kStmNeedsEngine;
        // Job state.
        EXPECT_EQ(withEngine ? kIcmNoBrs : kStmNeedsEngine, IRAC_GetValue(j.handle, IRAC_GET_BRS_STARTJOB, &brs));
        EXPECT_EQ(kIcmValueState, IRAC_GetValue(j.handle, IRAC_GET_MINIMUM_LENGTH, &length));
        EXPECT_EQ(withEngine ? 0u : kStmNoUseHead, IRAC_GetValue(j.handle, IRAC_GET_USE_HEAD, &use));
        if (withEngine) {
            EXPECT_EQ(1, use->headNum);
        }
        EXPECT_EQ(kIcmSetState, IRAC_SetValue(j.handle, IRAC_SET_LENGTH, &length));
        for (int32_t bits : {0, 3, -1}) EXPECT_EQ(kStmBadBitLength, IRAC_SetValue(j.handle, IRAC_SET_BITLEN, &bits));
        for (int8_t form : {int8_t(2), int8_t(-1)})
            EXPECT_EQ(kStmBadHeadForm, IRAC_SetValue(j.handle, IRAC_SET_ESCIFORM, &form));
        const uint32_t zero = 0, four = 4;
        EXPECT_EQ(kIcmUnitRasterZero, IRAC_SetValue(j.handle, IRAC_SET_UNITRASTER, &zero));
        EXPECT_EQ(0u, IRAC_SetValue(j.handle, IRAC_SET_UNITRASTER, &four));
        EXPECT_EQ(22u, IRAC_GetValue(j.handle, IRAC_GET_PREBUFF_RASTER, &length));
        EXPECT_EQ(22u, IRAC_GetValue(j.handle, IRAC_GET_MINIMUM_LENGTH, nullptr));
        EXPECT_EQ(20u, IRAC_SetValue(j.handle, 5, &four));
        // Page state.
        ASSERT_EQ(0u, IRAC_StartPage(j.handle, 0, &ink));
        EXPECT_EQ(withEngine ? kIcmNoBrs : kStmNeedsEngine, IRAC_GetValue(j.handle, IRAC_GET_BRS_STARTPAGE, &brsPage));
        EXPECT_EQ(needs, IRAC_GetValue(j.handle, IRAC_GET_MINIMUM_LENGTH, &length));
        EXPECT_EQ(needs, IRAC_GetValue(j.handle, IRAC_GET_SWITCHING_POSITION, &sw));
        if (withEngine) {
            EXPECT_EQ(ovcg_test::default_model().head_control.modes[0].sub_modes[0].min_length, length);
            ASSERT_EQ(2u, sw.count);
            EXPECT_EQ(0u, sw.positions[0]);
            EXPECT_EQ(0x7FFFFFFFu, sw.positions[1]);
            const uint32_t below = length - 1;
            EXPECT_EQ(kIcmLengthBelowMinimum, IRAC_SetValue(j.handle, IRAC_SET_LENGTH, &below));
        }
        const uint32_t longer = 500;
        EXPECT_EQ(0u, IRAC_SetValue(j.handle, IRAC_SET_LENGTH, &longer));
        EXPECT_EQ(500u, j.job()->printLength);
        const int32_t one = 1;
        const int8_t form = 0;
        EXPECT_EQ(kIcmSetState, IRAC_SetValue(j.handle, IRAC_SET_BITLEN, &one));
        EXPECT_EQ(kIcmSetState, IRAC_SetValue(j.handle, IRAC_SET_ESCIFORM, &form));
        // A band out: the length is fixed.
        Bytes line(12, 1);
        for (uint32_t r = 0; r < 8; ++r) ASSERT_EQ(0u, j.line(r, {line}));
        EXPECT_EQ(kIcmSetState, IRAC_SetValue(j.handle, IRAC_SET_LENGTH, &longer));
        EXPECT_EQ("", j.release());
    }
}

// A logic with BRS (second flag word bit 15): the job answer from the
// logic's layers, the page answer from the pass engine's positions.
TEST(BandPathValues, BrsAnswersWithThePassEngine) {
    for (uint32_t method : {0xFFFFFFFFu, 1u}) {
        ovcg_test::ModelHeadControl hc = ovcg_test::default_model().head_control;
        hc.units[0].flags2 |= 0x8000;
        for (auto& s : hc.modes[0].sub_modes) s.brs_method = method, s.ignore_top = 9;
        BandRequest q;
        q.colours = 1, q.flags |= IRAC_OPT_ENGINE, q.subMode = 1;
        BandJob j(q, ovcg_test::band_path_resource(band_model(q)), &hc);
        ASSERT_EQ(0u, j.code);
        IRACS_BRS_JOB brs{};
        brs.top = 5;
        ASSERT_EQ(0u, IRAC_GetValue(j.handle, IRAC_GET_BRS_STARTJOB, &brs));
        EXPECT_EQ(0u, brs.top);  // paper source 1: no BRS value
        EXPECT_EQ(0, brs.upper | brs.lower | brs.auto_lower);
        IRACS_BRS_PAGE page{};
        EXPECT_EQ(kIcmValueState, IRAC_GetValue(j.handle, IRAC_GET_BRS_STARTPAGE, &page));
        const uint8_t ink = model_inks()[0];
        ASSERT_EQ(0u, IRAC_StartPage(j.handle, 0, &ink));
        ASSERT_EQ(0u, IRAC_GetValue(j.handle, IRAC_GET_BRS_STARTPAGE, &page));
        if (method != 1) {
            EXPECT_EQ(0x7FFFFFFFu, page.position);
        } else {
            EXPECT_EQ(0u, page.position % 2);
        }
        EXPECT_EQ(0u, page.gap);
        EXPECT_EQ("", j.release());
    }
}

TEST(BandPathValues, LayeredInkCodes) {
    BandRequest q;
    ModelBandPath band = band_model(q);
    const uint8_t K = model_inks()[0], C = model_inks()[1];
    for (uint8_t layer : {uint8_t(0x80), uint8_t(0xC0)})
        for (uint8_t ink : {K, C}) band.inks.push_back(ink | layer), band.colours.push_back(0x20);
    BandJob j(q, ovcg_test::band_path_resource(band));
    ASSERT_EQ(0u, j.code);
    const uint8_t inks[2] = {K, C};
    uint8_t out[32] = {};
    struct Case {
        int32_t layers, inkCount, total;
        const uint8_t* codes;
        uint32_t code;
    };
    const uint8_t bad[2] = {K, uint8_t(C | 0x20)};
    const Case cases[] = {
        {2, 2, 4, inks, 0},
        {3, 2, 6, inks, kStrUnknownInk},  // 0x40 layer not listed
        {0, 2, 0, inks, kStmBadLayers},    {5, 2, 10, inks, kStmBadLayers},
        {1, 0, 0, inks, kStmBadInks},      {1, 33, 33, inks, kStmBadInks},
        {2, 2, 3, inks, kStmBadTotal},     {4, 9, 36, inks, kStmBadTotal},
        {1, 2, 2, bad, kStmBadLayerInk},   {1, 2, 2, nullptr, kStmBadLayerInk},
    };
    for (const Case& c : cases) {
        IRACS_LAYERS_INKCODE io{c.layers, c.inkCount, c.total, c.codes, out};
        EXPECT_EQ(c.code, IRAC_GetValue(j.handle, IRAC_GET_LAYERS_INKCODE, &io)) << c.layers << " " << c.inkCount;
    }
    EXPECT_EQ(Bytes({K, C, uint8_t(K | 0x80), uint8_t(C | 0x80)}), Bytes(out, out + 4));
    EXPECT_EQ("", j.release());
}

}  // namespace
}  // namespace ovcg::irac::test
