// Print options: table integrity, choice lookup (paper names, custom sizes),
// and the translation of the stored choices into the job record, the
// halftone record, the media options and the page information.
#include <strings.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "frontend/media_options.h"
#include "frontend_fixture.h"

namespace ovcg_test {
namespace {

namespace fe = ovcg::frontend;
using fe::kUnset;

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// ---- Tables -----------------------------------------------------------------

TEST(OptionTables, NamesAndValuesAreUnique) {
    for (auto table : {fe::ww_MediaType(), fe::ww_ColorModel(), fe::ww_HighSpeed(), fe::ww_Mode(),
                       fe::ww_PageSize(), fe::ww_AutoCut(), fe::ww_Density()}) {
        std::set<std::string> names;
        std::set<int32_t> values;
        for (const fe::ww_choice& c : table) {
            EXPECT_TRUE(names.insert(lower(c.name)).second) << c.name;
            EXPECT_TRUE(values.insert(c.value).second) << c.name;
            EXPECT_EQ(fe::ww_get_choice_value(table, c.name), c.value);
            EXPECT_EQ(fe::ww_get_choice_value(table, lower(c.name).c_str()), c.value);
        }
    }
}

TEST(OptionTables, ResolutionRowsAreUniqueAndSane) {
    std::set<int32_t> keys;
    for (const fe::ww_resource_parameter& r : fe::TableResourceParameter()) {
        EXPECT_TRUE(keys.insert(r.key).second) << r.key;
        EXPECT_TRUE(r.src_x == 300 || r.src_x == 600 || r.src_x == 1200) << r.key;
        EXPECT_EQ(r.src_x, r.src_y) << r.key;
        EXPECT_TRUE(r.mode == 4 || r.mode == 5 || r.mode == 7) << r.key;
        EXPECT_TRUE(r.bits_per_color == 1 || r.bits_per_color == 2) << r.key;
        EXPECT_TRUE(r.gray == 0 || r.gray == 1) << r.key;
    }
    EXPECT_EQ(keys.size(), fe::ww_MediaType().size());
}

TEST(OptionTables, EveryPaperChoiceMapsToAPaperRow) {
    const std::map<std::string, int> variant_digit = {
        {"Roll", 0}, {"Sheet", 3}, {"SheetC", 5}, {"RollNMgn", 6}, {"SheetNMgn", 9}};
    std::map<int32_t, int> variants_of;
    for (const fe::ww_choice& c : fe::ww_PageSize()) {
        std::string name = c.name;
        size_t us = name.rfind('_');
        ASSERT_NE(us, std::string::npos) << name;
        auto it = variant_digit.find(name.substr(us + 1));
        ASSERT_NE(it, variant_digit.end()) << name;
        EXPECT_EQ(c.value % 10, it->second) << name;
        const fe::ww_paper_size* row = fe::ww_find_paper(c.value / 10);
        ASSERT_NE(row, nullptr) << name;
        EXPECT_GT(row->width, 0);
        EXPECT_GT(row->height, 0);
        ++variants_of[c.value / 10];
    }
    // Papers come with three variants or all five.
    for (auto [paper, n] : variants_of) EXPECT_TRUE(n == 3 || n == 5) << paper;
    EXPECT_EQ(variants_of.size(), 38u);
    EXPECT_EQ(variants_of[605], 5);  // A0
    EXPECT_EQ(variants_of[9], 3);    // A4
    // The paper rows without a choice, and the custom row.
    for (int32_t paper : {661, 652, 601, 600}) EXPECT_EQ(variants_of.count(paper), 0u);
    const fe::ww_paper_size* custom = fe::ww_find_paper(fe::kCustomPaper);
    ASSERT_NE(custom, nullptr);
    EXPECT_EQ(custom->width, -1);
}

// ---- Paper choice lookup ------------------------------------------------------

class PaperChoice : public ::testing::Test {
protected:
    void SetUp() override { fe::ww_clear_choices_for_tests(); }
    void TearDown() override { fe::ww_clear_choices_for_tests(); }
};

TEST_F(PaperChoice, NamedPapers) {
    const std::pair<const char*, int32_t> cases[] = {
        {"a4", 90},           {"A4_Roll", 90},    {"A4_Sheet", 93},  {"A4_SheetC", 95},
        {"A0_SheetNMgn", 6059}, {"a0plus_rollnmgn", 6046}, {"24x30in", 6530},
        {"A4_RollNMgn", kUnset},  // A4 has no borderless variant
        {"A5", kUnset},       {"", kUnset},       {"_", kUnset},     {"A4_", kUnset},
    };
    for (auto [choice, value] : cases) EXPECT_EQ(fe::ww_get_PageSize(choice), value) << choice;
    EXPECT_EQ(fe::ww_get_PageSize(nullptr), kUnset);
}

TEST_F(PaperChoice, CustomSizes) {
    struct Case {
        const char* choice;
        int32_t value;
        uint32_t width, height;
    };
    const Case cases[] = {
        {"Custom.10x20in", 256, 3000, 6000},
        {"custom.200x300mm", 256, 2362, 3543},
        {"CUSTOM.12X20CM", 256, 1417, 2362},
        {"custom.720x1440", 256, 3000, 6000},         // points
        {"custom.720x1440pt", 256, 3000, 6000},       // any other unit: points
        {"custom.4.20333x6in", 256, 1261, 1800},      // smallest
        {"custom.43.2x850.39333in", 256, 12960, 255118},  // largest
        // The numbers read as a float conversion reads them.
        {"custom.1e1x2e1in", 256, 3000, 6000},
        {"custom. +10x 20in", 256, 3000, 6000},
        {"custom.1.5e2x.25e3mm", 256, 1772, 2953},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        EXPECT_EQ(fe::ww_get_PageSize(c.choice), c.value);
        EXPECT_EQ(fe::ww_custom_width(), c.width);
        EXPECT_EQ(fe::ww_custom_height(), c.height);
    }
}

TEST_F(PaperChoice, RefusedCustomSizesKeepTheLastGoodOne) {
    ASSERT_EQ(fe::ww_get_PageSize("custom.10x20in"), 256);
    const char* refused[] = {
        "custom.8.5x11",          // 35 dots wide
        "custom.4.2x6in",         // 1260 wide
        "custom.43.21x6in",       // too wide
        "custom.10x5.99in",       // 1797 high
        "custom.10x850.4in",      // 255120 high
        "custom.", "custom.x", "custom.10x", "custom.x10in", "custom.10*20in",
        "custom.-10x20in", "custom.1e3x5in", "custom.0x20in", "custom.infxinfin",
        "custom.nanx10in", "custom.99999999999999999999x20in",
        "custom10x20in", "costum.10x20in",
    };
    for (const char* c : refused) {
        EXPECT_EQ(fe::ww_get_PageSize(c), kUnset) << c;
        EXPECT_EQ(fe::ww_custom_width(), 3000u) << c;
        EXPECT_EQ(fe::ww_custom_height(), 6000u) << c;
    }
}

TEST_F(PaperChoice, OverlongChoicesAreRefused) {
    std::string name(255, 'a');
    EXPECT_EQ(fe::ww_get_PageSize(name.c_str()), kUnset);
    std::string custom = "custom.10x20in" + std::string(241, ' ');
    ASSERT_EQ(custom.size(), 255u);
    EXPECT_EQ(fe::ww_get_PageSize(custom.c_str()), 256);  // fits; the unit text contains "in"
    custom += ' ';
    EXPECT_EQ(fe::ww_get_PageSize(custom.c_str()), kUnset);
    std::string huge(100000, 'x');
    EXPECT_EQ(fe::ww_get_PageSize(huge.c_str()), kUnset);
    // A size text is read to its 255th character, however long.
    fe::CustomSizeDots size;
    ASSERT_TRUE(fe::custom_size_dots(("10x20in" + std::string(300, ' ')).c_str(), &size));
    EXPECT_EQ(size.width * 2, size.height);
}

// ---- Conversion -------------------------------------------------------------

// Runs the option handler on records of its own.
class Conversion : public FrontendTest {
protected:
    void SetUp() override {
        FrontendTest::SetUp();
        h = fe::ww_option_handler("");
        ASSERT_EQ(h->InitPrintParam(&job, &ht, &page), 0);
    }
    void TearDown() override {
        h->FreePrintParam(&job, &ht, &page);
        FrontendTest::TearDown();
    }
    int32_t convert(std::initializer_list<std::pair<const char*, const char*>> options) {
        for (auto& [n, c] : options) h->SetOptionChoiceByOrder(n, c);
        return h->ConvertPrintParam(&job, &ht, &page);
    }
    int32_t duty(int plane) const { return fe::media_options_duty(job.lpMediaOpt, plane); }

    const fe::optionHandlerInterface* h = nullptr;
    tagPRTSTRUCT3_12 job{};
    tagHTSTRUCT3_5 ht{};
    fe::ovcg_page_info page{};
};

TEST_F(Conversion, Defaults) {
    EXPECT_EQ(std::tuple(job.version, job.src_format, job.prt_format, job.lut_format, job.head_ID,
                         job.mw_type, job.ex_option, job.lpCutCmdData, job.lpTrimInfo),
              std::tuple(9, 1, 101, 101, 0xFFFF, 0u, 0u, nullptr, nullptr));
    ASSERT_NE(job.lpMediaOpt, nullptr);
    EXPECT_EQ(fe::media_options_version(job.lpMediaOpt), 8);
    EXPECT_EQ(fe::media_options_field(job.lpMediaOpt), 0x100000u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(duty(i), 1024);
    EXPECT_EQ(std::tuple(ht.version, ht.gamma, ht.color_correction), std::tuple(3, 220, 0));
}

TEST_F(Conversion, MediaAndPaperAreRequired) {
    EXPECT_EQ(convert({}), fe::kConvertFailed);
    EXPECT_EQ(convert({{"MediaType", "Media1_Q1"}}), fe::kConvertFailed);
    EXPECT_EQ(convert({{"PageSize", "no such paper"}}), fe::kConvertFailed);
    EXPECT_EQ(convert({{"PageSize", "A4"}, {"MediaType", "nope"}}), fe::kConvertFailed);
    EXPECT_EQ(convert({{"MediaType", "media1_q1"}}), 0);
}

TEST_F(Conversion, EveryMediaChoice) {
    for (const fe::ww_choice& m : fe::ww_MediaType()) {
        SCOPED_TRACE(m.name);
        // The name tells the media number and the quality digit.
        EXPECT_EQ(std::string(m.name),
                  "Media" + std::to_string(m.value / 10) + "_Q" + std::to_string(m.value % 10));
        const fe::ww_resource_parameter* row = fe::ww_find_resource_parameter(m.value);
        ASSERT_NE(row, nullptr);
        ASSERT_EQ(convert({{"MediaType", m.name}, {"PageSize", "A4"}}), 0);
        // HighSpeed unset: off.
        EXPECT_EQ(std::tuple(job.media_type, job.src_resolution.x, job.src_resolution.y,
                             job.prt_resolution.x, job.prt_resolution.y, job.mw_type,
                             job.bit_p_color, ht.halftone_type),
                  std::tuple(m.value / 10, row->src_x, row->src_y, row->prt_x, row->prt_y,
                             row->mode & ~OVCG_MW_HS, row->bits_per_color, 16));
        EXPECT_EQ(job.ex_option & (OVCG_EXO_DM | OVCG_EXO_BS | OVCG_EXO_CB),
                  OVCG_EXO_DM | OVCG_EXO_BS);
    }
}

TEST_F(Conversion, HighSpeedKeepsTheMediasHsBit) {
    ASSERT_EQ(convert({{"MediaType", "Media306_Q5"}, {"PageSize", "A4"}, {"HighSpeed", "On"}}), 0);
    EXPECT_EQ(job.mw_type, 7u);
    ASSERT_EQ(convert({{"HighSpeed", "Off"}}), 0);
    EXPECT_EQ(job.mw_type, 3u);
    ASSERT_EQ(convert({{"HighSpeed", "bogus"}}), 0);
    EXPECT_EQ(job.mw_type, 3u);
}

TEST_F(Conversion, Black2UsesTheGrayModesOfSisterMedia) {
    struct Case {
        const char* media;
        int32_t media_number;
        int32_t row;
    };
    const Case cases[] = {
        {"Media1_Q2", 332, 3322}, {"Media1_Q3", 332, 3323}, {"Media1_Q4", 332, 3324},
        {"Media330_Q2", 334, 3341}, {"Media330_Q3", 334, 3342}, {"Media330_Q4", 334, 3344},
        {"Media422_Q2", 423, 4231}, {"Media422_Q3", 423, 4232}, {"Media422_Q4", 423, 4234},
        {"Media1_Q1", 1, 11},  // no sister
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.media);
        ASSERT_EQ(convert({{"ColorModel", "Black2"}, {"MediaType", c.media}, {"PageSize", "A4"}}), 0);
        const fe::ww_resource_parameter* row = fe::ww_find_resource_parameter(c.row);
        EXPECT_EQ(std::tuple(job.media_type, job.prt_resolution.x, job.prt_resolution.y,
                             job.src_format, ht.color_correction),
                  std::tuple(c.media_number, row->prt_x, row->prt_y, 0, 13));
    }
}

TEST_F(Conversion, ColorModelsAndModes) {
    struct Case {
        const char* model;
        const char* mode;
        const char* media;
        int32_t src, prt;
        bool cb;
        int32_t cc;
    };
    const Case cases[] = {
        {"RGB", "NoCMM", "Media1_Q1", 1, 101, false, 4},
        {"RGB", "Standard", "Media1_Q1", 1, 101, false, 0},
        {"RGB", "c-BIZ", "Media1_Q1", 1, 101, false, 12},
        {"RGB", "CAD", "Media281_Q3", 1, 101, false, 14},
        {"RGB", "GIS", "Media1_Q1", 1, 101, false, 90},
        {"RGB", "bogus", "Media1_Q1", 1, 101, false, 0},
        {"YellowBack", "gis", "Media281_Q3", 1, 101, false, 90},
        {"Gray", "CAD", "Media281_Q3", 0, 101, true, 13},    // gray flag: colour inks
        {"Gray", "CAD", "Media306_Q4", 0, 0, false, 13},     // mono inks
        {"Black2", "NoCMM", "Media281_Q3", 0, 101, true, 13},
        {"bogus", "CAD", "Media306_Q4", 1, 101, false, 14},  // unset: RGB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.mode + " " + c.media);
        ASSERT_EQ(convert({{"ColorModel", c.model}, {"Mode", c.mode}, {"MediaType", c.media},
                           {"PageSize", "A4"}}),
                  0);
        EXPECT_EQ(std::tuple(job.src_format, job.prt_format, job.lut_format,
                             (job.ex_option & OVCG_EXO_CB) != 0, ht.color_correction),
                  std::tuple(c.src, c.prt, c.prt, c.cb, c.cc));
    }
}

TEST_F(Conversion, Densities) {
    struct Case {
        const char* model;
        const char* media;
        const char* black;
        const char* color;
        int32_t d0, d1, d2, d3;
    };
    const Case cases[] = {
        {"RGB", "Media1_Q1", "55", "100", 1024, 1024, 1024, 563},
        {"RGB", "Media1_Q1", "100", "150", 1536, 1536, 1536, 1024},
        {"RGB", "Media1_Q1", "50", "60", 614, 614, 614, 512},
        {"YellowBack", "Media1_Q1", "100", "80", 819, 819, 0, 1024},
        {"Gray", "Media306_Q4", "55", "150", 563, 1024, 1024, 1024},  // mono inks
        {"Gray", "Media281_Q3", "55", "150", 1536, 1536, 1536, 563},  // colour inks
        {"RGB", "Media1_Q1", "bogus", "bogus", 1024, 1024, 1024, 1024},  // unset: 100 per cent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.black + " " + c.color);
        ASSERT_EQ(convert({{"ColorModel", c.model}, {"MediaType", c.media}, {"PageSize", "A4"},
                           {"BlackDensity", c.black}, {"ColorDensity", c.color}}),
                  0);
        EXPECT_EQ(std::tuple(duty(0), duty(1), duty(2), duty(3)), std::tuple(c.d0, c.d1, c.d2, c.d3));
        for (int i = 4; i < 16; ++i) EXPECT_EQ(duty(i), 1024);
    }
}

TEST_F(Conversion, AutoCut) {
    struct Case {
        const char* choice;
        bool ac;
        int cut;  // 0: no cut record
    };
    const Case cases[] = {{"SingleCut", true, 1}, {"NormalCut", true, 0}, {"DoubleCut", true, 2},
                          {"Off", false, 0},      {"DoubleCut", true, 2}, {"bogus", false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.choice);
        ASSERT_EQ(convert({{"AutoCut", c.choice}, {"MediaType", "Media1_Q1"}, {"PageSize", "A4"}}), 0);
        EXPECT_EQ((job.ex_option & OVCG_EXO_AC) != 0, c.ac);
        if (c.cut == 0) {
            EXPECT_EQ(job.lpCutCmdData, nullptr);
        } else {
            ASSERT_NE(job.lpCutCmdData, nullptr);
            const tagCUTCMD& cut = *job.lpCutCmdData;
            EXPECT_EQ(std::tuple(cut.version, cut.cut_option, cut.top, cut.bottom),
                      std::tuple(1, c.cut, 0, 0));
        }
    }
}

TEST_F(Conversion, ACutRecordThatCannotBeAllocatedFails) {
    CountingHeap::fail_after = CountingHeap::allocations;
    EXPECT_EQ(convert({{"AutoCut", "SingleCut"}, {"MediaType", "Media1_Q1"}, {"PageSize", "A4"}}),
              fe::kConvertNoMemory);
    EXPECT_EQ(job.lpCutCmdData, nullptr);
    CountingHeap::fail_after = -1;
}

TEST_F(Conversion, AMissingMediaOptionsRecordIsMadeAgainOrFails) {
    fe::media_options_free(job.lpMediaOpt);
    job.lpMediaOpt = nullptr;
    CountingHeap::fail_after = CountingHeap::allocations;
    EXPECT_EQ(convert({{"MediaType", "Media1_Q1"}, {"PageSize", "A4"}}), fe::kConvertNoMemory);
    CountingHeap::fail_after = -1;
    ASSERT_EQ(convert({{"BlackDensity", "55"}}), 0);
    ASSERT_NE(job.lpMediaOpt, nullptr);
    EXPECT_EQ(duty(3), 563);
}

TEST_F(Conversion, NothingLeaksIntoTheNextJob) {
    ASSERT_EQ(convert({{"MediaType", "Media306_Q5"}, {"HighSpeed", "On"}, {"PageSize", "A1_RollNMgn"},
                       {"ColorModel", "Gray"}, {"Mode", "CAD"}, {"AutoCut", "SingleCut"},
                       {"BlackDensity", "50"}}),
              0);
    EXPECT_EQ(job.mw_type, 7u);
    EXPECT_NE(job.ex_option & OVCG_EXO_TB, 0u);
    ASSERT_NE(job.lpCutCmdData, nullptr);
    // The next job asks for other things, or for nothing in particular.
    ASSERT_EQ(convert({{"MediaType", "Media1_Q1"}, {"PageSize", "A1"}, {"ColorModel", "x"},
                       {"Mode", "x"}, {"AutoCut", "NormalCut"}, {"BlackDensity", "x"}}),
              0);
    // HighSpeed is still on; MW and SP went.
    EXPECT_EQ(std::tuple(job.mw_type, job.ex_option & OVCG_EXO_TB, job.lpCutCmdData, job.src_format,
                         job.prt_format, ht.color_correction, duty(3)),
              std::tuple(4u, 0u, nullptr, 1, 101, 0, 1024));
}

// The geometry a conversion leaves in the records: paper, bin, page width and
// height (reported and printable), paper size, print area (and its extended
// copy), margin, borderless flag, custom-size flag.
auto geometry_of(const tagPRTSTRUCT3_12& job, const fe::ovcg_page_info& page) {
    const uint32_t* w = page.word;
    return std::tuple(job.paper_ID, job.bin_ID, w[fe::kPageWidth], w[fe::kPageHeight],
                      w[fe::kPagePrintWidth], w[fe::kPagePrintHeight], job.src_paper_size.x,
                      job.src_paper_size.y, job.src_print_area.x, job.src_print_area.y,
                      job.src_print_area_ex.x, job.src_print_area_ex.y, job.src_margin.x,
                      job.src_margin.y, (job.ex_option & OVCG_EXO_TB) != 0, page.custom_size);
}

// The same, worked out on its own for a paper choice at a source resolution.
auto reference_geometry(int32_t value, int32_t dpi) {
    int32_t paper = value / 10, variant = value % 10;
    const fe::ww_paper_size* row = fe::ww_find_paper(paper);
    int32_t W = row->width, H = row->height;
    int32_t aw, ah, my, ph, bin;
    bool tb = false;
    switch (variant) {
        case 5: aw = W - 70, ah = H - 472, my = 236, ph = H - 472, bin = 4; break;
        case 3: aw = W - 70, ah = H - 271, my = 35, ph = H - 271, bin = 4; break;
        case 6: aw = W + 70, ah = H, my = 0, ph = H, bin = 531, tb = true; break;
        case 9: aw = W + 70, ah = H - 271, my = 35, ph = H - 271, bin = 264, tb = true; break;
        default: aw = W - 70, ah = H - 70, my = 35, ph = H - 70, bin = 530; break;
    }
    const double s = dpi / 300.0;
    auto cut = [s](int32_t v) { return static_cast<int32_t>(v * s); };
    auto nearest = [s](int32_t v) { return static_cast<int32_t>(std::floor(v * s + 0.5)); };
    const uint32_t page_w = static_cast<uint32_t>(cut(aw)), page_h = static_cast<uint32_t>(cut(ph));
    return std::tuple(paper, bin, page_w, page_h, page_w, page_h, cut(W), cut(H), nearest(aw),
                      nearest(ah), nearest(aw), nearest(ah), 0, cut(my), tb, 0u);
}

TEST_F(Conversion, PageGeometryForEveryPaperAndResolution) {
    const std::pair<const char*, int32_t> medias[] = {
        {"Media1_Q1", 300}, {"Media334_Q1", 600}, {"Media334_Q4", 1200}};
    for (auto [media, dpi] : medias) {
        for (const fe::ww_choice& p : fe::ww_PageSize()) {
            SCOPED_TRACE(std::string(p.name) + " at " + std::to_string(dpi));
            ASSERT_EQ(convert({{"MediaType", media}, {"PageSize", p.name}}), 0);
            EXPECT_EQ(geometry_of(job, page), reference_geometry(p.value, dpi));
        }
    }
}

// A few papers worked out by hand from the paper table and the variant rules.
TEST_F(Conversion, PageGeometryByHand) {
    struct Case {
        const char* paper;
        const char* media;  // 300, 600 or 1200 dpi
        int32_t paper_id, bin;
        uint32_t page_w, page_h;
        int32_t paper_w, paper_h, area_w, area_h, margin_y;
        bool borderless;
    };
    const Case cases[] = {
        {"A3_SheetC", "Media334_Q1", 8, 4, 6876, 8978, 7016, 9922, 6876, 8978, 472, false},
        {"A0_RollNMgn", "Media334_Q4", 605, 531, 40012, 56172, 39732, 56172, 40012, 56172, 0, true},
        {"A1_SheetNMgn", "Media334_Q1", 606, 264, 14172, 19324, 14032, 19866, 14172, 19324, 70, true},
        {"Letter_Sheet", "Media1_Q1", 1, 4, 2480, 3029, 2550, 3300, 2480, 3029, 35, false},
        {"24x30in", "Media1_Q1", 653, 530, 7130, 8930, 7200, 9000, 7130, 8930, 35, false},
        {"custom.10x20in", "Media334_Q4", 256, 530, 11720, 23720, 12000, 24000, 11720, 23720, 140,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.paper);
        ASSERT_EQ(convert({{"MediaType", c.media}, {"PageSize", c.paper}}), 0);
        EXPECT_EQ(std::tuple(job.paper_ID, job.bin_ID, page.word[fe::kPageWidth],
                             page.word[fe::kPageHeight], job.src_paper_size.x, job.src_paper_size.y,
                             job.src_print_area.x, job.src_print_area.y, job.src_print_area_ex.x,
                             job.src_print_area_ex.y, job.src_margin.x, job.src_margin.y,
                             (job.ex_option & OVCG_EXO_TB) != 0),
                  std::tuple(c.paper_id, c.bin, c.page_w, c.page_h, c.paper_w, c.paper_h, c.area_w,
                             c.area_h, c.area_w, c.area_h, 0, c.margin_y, c.borderless));
    }
}

TEST_F(Conversion, CustomPage) {
    ASSERT_EQ(convert({{"MediaType", "Media334_Q1"}, {"PageSize", "custom.10x20in"}}), 0);
    EXPECT_EQ(std::tuple(job.paper_ID, job.bin_ID, page.custom_size, page.word[fe::kPageWidth],
                         page.word[fe::kPageHeight], job.src_paper_size.x),
              std::tuple(256, 530, 1u, (3000u - 70) * 2, (6000u - 70) * 2, 6000));
    // The flag goes with the next named paper.
    ASSERT_EQ(convert({{"PageSize", "A4"}}), 0);
    EXPECT_EQ(page.custom_size, 0u);
}

TEST_F(Conversion, TrimInformationIsScaled) {
    auto* trim = static_cast<tagTRIMINFO*>(fe::ovcg_malloc(sizeof(tagTRIMINFO)));
    ASSERT_NE(trim, nullptr);
    trim->src_t4base_parea = {100, 200};
    trim->src_t4base_parea_ex = {300, 400};
    trim->layout_offset = {7, 8};
    job.lpTrimInfo = trim;
    ASSERT_EQ(convert({{"MediaType", "Media334_Q1"}, {"PageSize", "A4"}}), 0);
    EXPECT_EQ(std::tuple(trim->src_t4base_parea.x, trim->src_t4base_parea.y,
                         trim->src_t4base_parea_ex.x, trim->src_t4base_parea_ex.y,
                         trim->layout_offset.x, page.word[fe::kPageWidth], page.word[fe::kPageHeight]),
              std::tuple(200, 400, 600, 800, 7, 600u, 800u));
}

}  // namespace
}  // namespace ovcg_test
