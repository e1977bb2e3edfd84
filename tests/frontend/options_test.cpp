// Print options: table integrity, choice lookup (paper names, custom sizes),
// and the translation of the stored choices into the job record, the
// halftone record, the media options and the page information.
#include <strings.h>

#include <cmath>
#include <map>
#include <set>
#include <string>

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

TEST(OptionTables, RowCounts) {
    EXPECT_EQ(fe::ww_MediaType().size(), 74u);
    EXPECT_EQ(fe::ww_ColorModel().size(), 4u);
    EXPECT_EQ(fe::ww_HighSpeed().size(), 2u);
    EXPECT_EQ(fe::ww_Mode().size(), 5u);
    EXPECT_EQ(fe::ww_PageSize().size(), 148u);
    EXPECT_EQ(fe::ww_AutoCut().size(), 4u);
    EXPECT_EQ(fe::ww_Density().size(), 21u);
    EXPECT_EQ(fe::TablePaperSize().size(), 43u);
    EXPECT_EQ(fe::TableResourceParameter().size(), 74u);
}

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

TEST(OptionTables, EveryMediaChoiceHasItsResolutionRow) {
    std::set<int32_t> keys;
    for (const fe::ww_resource_parameter& r : fe::TableResourceParameter()) {
        EXPECT_TRUE(keys.insert(r.key).second) << r.key;
        EXPECT_TRUE(r.src_x == 300 || r.src_x == 600 || r.src_x == 1200) << r.key;
        EXPECT_EQ(r.src_x, r.src_y) << r.key;
        EXPECT_TRUE(r.mode == 4 || r.mode == 5 || r.mode == 7) << r.key;
        EXPECT_TRUE(r.bits_per_color == 1 || r.bits_per_color == 2) << r.key;
        EXPECT_TRUE(r.gray == 0 || r.gray == 1) << r.key;
    }
    for (const fe::ww_choice& m : fe::ww_MediaType()) {
        EXPECT_NE(fe::ww_find_resource_parameter(m.value), nullptr) << m.name;
        // The name tells the media number and the quality digit.
        EXPECT_EQ(std::string(m.name),
                  "Media" + std::to_string(m.value / 10) + "_Q" + std::to_string(m.value % 10));
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

TEST(OptionTables, DensityChoices) {
    int v = 50;
    for (const fe::ww_choice& c : fe::ww_Density()) {
        EXPECT_EQ(c.value, v);
        EXPECT_EQ(std::string(c.name), std::to_string(v));
        v += 5;
    }
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
    EXPECT_EQ(job.version, 9);
    EXPECT_EQ(job.src_format, 1);
    EXPECT_EQ(job.prt_format, 101);
    EXPECT_EQ(job.lut_format, 101);
    EXPECT_EQ(job.head_ID, 0xFFFF);
    EXPECT_EQ(job.mw_type, 0u);
    EXPECT_EQ(job.ex_option, 0u);
    EXPECT_EQ(job.lpCutCmdData, nullptr);
    EXPECT_EQ(job.lpTrimInfo, nullptr);
    ASSERT_NE(job.lpMediaOpt, nullptr);
    EXPECT_EQ(fe::media_options_version(job.lpMediaOpt), 8);
    EXPECT_EQ(fe::media_options_field(job.lpMediaOpt), 0x100000u);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(duty(i), 1024);
    EXPECT_EQ(ht.version, 3);
    EXPECT_EQ(ht.gamma, 220);
    EXPECT_EQ(ht.color_correction, 0);
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
        ASSERT_EQ(convert({{"MediaType", m.name}, {"PageSize", "A4"}}), 0);
        const fe::ww_resource_parameter* row = fe::ww_find_resource_parameter(m.value);
        EXPECT_EQ(job.media_type, m.value / 10);
        EXPECT_EQ(job.src_resolution.x, row->src_x);
        EXPECT_EQ(job.src_resolution.y, row->src_y);
        EXPECT_EQ(job.prt_resolution.x, row->prt_x);
        EXPECT_EQ(job.prt_resolution.y, row->prt_y);
        EXPECT_EQ(job.mw_type, row->mode & ~OVCG_MW_HS);  // HighSpeed unset: off
        EXPECT_EQ(job.bit_p_color, row->bits_per_color);
        EXPECT_EQ(ht.halftone_type, 16);
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
        EXPECT_EQ(job.media_type, c.media_number);
        EXPECT_EQ(job.prt_resolution.x, row->prt_x);
        EXPECT_EQ(job.prt_resolution.y, row->prt_y);
        EXPECT_EQ(job.src_format, 0);
        EXPECT_EQ(ht.color_correction, 13);
    }
}

TEST_F(Conversion, ColorModels) {
    struct Case {
        const char* model;
        const char* media;
        int32_t src, prt;
        bool cb;
    };
    const Case cases[] = {
        {"RGB", "Media281_Q3", 1, 101, false},
        {"YellowBack", "Media281_Q3", 1, 101, false},
        {"Gray", "Media281_Q3", 0, 101, true},    // gray flag: colour inks
        {"Black2", "Media281_Q3", 0, 101, true},
        {"Gray", "Media306_Q4", 0, 0, false},     // mono inks
        {"bogus", "Media306_Q4", 1, 101, false},  // unset: RGB
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.media);
        ASSERT_EQ(convert({{"ColorModel", c.model}, {"MediaType", c.media}, {"PageSize", "A4"}}), 0);
        EXPECT_EQ(job.src_format, c.src);
        EXPECT_EQ(job.prt_format, c.prt);
        EXPECT_EQ(job.lut_format, c.prt);
        EXPECT_EQ((job.ex_option & OVCG_EXO_CB) != 0, c.cb);
    }
}

TEST_F(Conversion, Modes) {
    struct Case {
        const char* model;
        const char* mode;
        int32_t cc;
    };
    const Case cases[] = {
        {"RGB", "NoCMM", 4},   {"RGB", "Standard", 0}, {"RGB", "c-BIZ", 12},
        {"RGB", "CAD", 14},    {"RGB", "GIS", 90},     {"YellowBack", "gis", 90},
        {"Gray", "CAD", 13},   {"Black2", "NoCMM", 13}, {"RGB", "bogus", 0},
        {"bogus", "CAD", 14},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.model) + " " + c.mode);
        ASSERT_EQ(convert({{"ColorModel", c.model}, {"Mode", c.mode}, {"MediaType", "Media1_Q1"},
                           {"PageSize", "A4"}}),
                  0);
        EXPECT_EQ(ht.color_correction, c.cc);
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
        EXPECT_EQ(duty(0), c.d0);
        EXPECT_EQ(duty(1), c.d1);
        EXPECT_EQ(duty(2), c.d2);
        EXPECT_EQ(duty(3), c.d3);
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
            EXPECT_EQ(job.lpCutCmdData->version, 1);
            EXPECT_EQ(job.lpCutCmdData->cut_option, c.cut);
            EXPECT_EQ(job.lpCutCmdData->top, 0);
            EXPECT_EQ(job.lpCutCmdData->bottom, 0);
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
    EXPECT_EQ(job.mw_type, 4u);  // HighSpeed is still on; MW and SP went
    EXPECT_EQ(job.ex_option & OVCG_EXO_TB, 0u);
    EXPECT_EQ(job.lpCutCmdData, nullptr);
    EXPECT_EQ(job.src_format, 1);
    EXPECT_EQ(job.prt_format, 101);
    EXPECT_EQ(ht.color_correction, 0);
    EXPECT_EQ(duty(3), 1024);
}

// Reference geometry of a paper choice at a source resolution.
struct Geometry {
    int32_t page_w, page_h;
    int32_t paper_w, paper_h;
    int32_t area_w, area_h;
    int32_t margin_y;
    int32_t bin;
    bool borderless;
};

Geometry reference_geometry(int32_t value, int32_t dpi) {
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
    return {static_cast<int32_t>(aw * s),           static_cast<int32_t>(ph * s),
            static_cast<int32_t>(W * s),            static_cast<int32_t>(H * s),
            static_cast<int32_t>(std::floor(aw * s + 0.5)), static_cast<int32_t>(std::floor(ah * s + 0.5)),
            static_cast<int32_t>(my * s),           bin,
            tb};
}

TEST_F(Conversion, PageGeometryForEveryPaperAndResolution) {
    const std::pair<const char*, int32_t> medias[] = {
        {"Media1_Q1", 300}, {"Media334_Q1", 600}, {"Media334_Q4", 1200}};
    for (auto [media, dpi] : medias) {
        for (const fe::ww_choice& p : fe::ww_PageSize()) {
            SCOPED_TRACE(std::string(p.name) + " at " + std::to_string(dpi));
            ASSERT_EQ(convert({{"MediaType", media}, {"PageSize", p.name}}), 0);
            Geometry g = reference_geometry(p.value, dpi);
            EXPECT_EQ(job.paper_ID, p.value / 10);
            EXPECT_EQ(job.bin_ID, g.bin);
            EXPECT_EQ(page.word[fe::kPageWidth], static_cast<uint32_t>(g.page_w));
            EXPECT_EQ(page.word[fe::kPageHeight], static_cast<uint32_t>(g.page_h));
            EXPECT_EQ(page.word[fe::kPagePrintWidth], page.word[fe::kPageWidth]);
            EXPECT_EQ(page.word[fe::kPagePrintHeight], page.word[fe::kPageHeight]);
            EXPECT_EQ(job.src_paper_size.x, g.paper_w);
            EXPECT_EQ(job.src_paper_size.y, g.paper_h);
            EXPECT_EQ(job.src_print_area.x, g.area_w);
            EXPECT_EQ(job.src_print_area.y, g.area_h);
            EXPECT_EQ(job.src_print_area_ex.x, g.area_w);
            EXPECT_EQ(job.src_print_area_ex.y, g.area_h);
            EXPECT_EQ(job.src_margin.x, 0);
            EXPECT_EQ(job.src_margin.y, g.margin_y);
            EXPECT_EQ((job.ex_option & OVCG_EXO_TB) != 0, g.borderless);
            EXPECT_EQ(page.custom_size, 0u);
        }
    }
}

TEST_F(Conversion, A3SheetCAt600Dpi) {
    ASSERT_EQ(convert({{"MediaType", "Media334_Q1"}, {"PageSize", "A3_SheetC"}}), 0);
    EXPECT_EQ(page.word[fe::kPageWidth], 6876u);
    EXPECT_EQ(page.word[fe::kPageHeight], 8978u);
    EXPECT_EQ(job.src_print_area_ex.x, 6876);
    EXPECT_EQ(job.src_print_area_ex.y, 8978);
    EXPECT_EQ(job.src_margin.y, 472);
}

TEST_F(Conversion, CustomPage) {
    ASSERT_EQ(convert({{"MediaType", "Media334_Q1"}, {"PageSize", "custom.10x20in"}}), 0);
    EXPECT_EQ(job.paper_ID, 256);
    EXPECT_EQ(job.bin_ID, 530);
    EXPECT_EQ(page.custom_size, 1u);
    EXPECT_EQ(page.word[fe::kPageWidth], (3000u - 70) * 2);
    EXPECT_EQ(page.word[fe::kPageHeight], (6000u - 70) * 2);
    EXPECT_EQ(job.src_paper_size.x, 6000);
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
    EXPECT_EQ(trim->src_t4base_parea.x, 200);
    EXPECT_EQ(trim->src_t4base_parea.y, 400);
    EXPECT_EQ(trim->src_t4base_parea_ex.x, 600);
    EXPECT_EQ(trim->src_t4base_parea_ex.y, 800);
    EXPECT_EQ(trim->layout_offset.x, 7);
    EXPECT_EQ(page.word[fe::kPageWidth], 600u);
    EXPECT_EQ(page.word[fe::kPageHeight], 800u);
}

TEST_F(Conversion, SecondNameOfPageSizeIsNotStored) {
    h->SetOptionChoiceByOrder("media", "A3");
    EXPECT_EQ(fe::ww_stored_value("PageSize"), kUnset);
    h->SetOptionChoiceByOrder("pagesize", "A3");
    EXPECT_EQ(fe::ww_stored_value("PageSize"), 80);
    h->SetOptionChoiceByOrder("NoSuchOption", "A3");
    EXPECT_EQ(fe::ww_stored_value("NoSuchOption"), kUnset);
}

}  // namespace
}  // namespace ovcg_test
