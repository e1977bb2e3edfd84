// Level-3 and page-language jobs on every medium of the default model,
// through the job interface with the library's own halftone engine: at each
// printer setting the driver prints the medium with, and at one it does not.
//
// What each job must do is derived here from the model's description alone:
// the print mode the medium's tables give the setting (sub-type, output bits
// and halftone type of a driver setting, else of the medium's own row), the
// halftone types the medium's level-3 record version carries, and the rows
// of the halftone engine's index. Every job starts. A page that cannot print
// is refused by InitPage once the document start and the page start are
// sent: -3001 when the halftone engine has no print mode for it, else (level
// 3) -10 when its level-3 records cannot carry the halftone type. Every
// other job prints its pages: every call answers 0, the stream validates,
// and a level-3 job's image objects rebuild the page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <vector>

#include "level3_harness.h"
#include "support/model.h"
#include "support/model_index.h"
#include "support/model_links.h"
#include "support/sanitized.h"

namespace ovcg_test::l3 {
namespace {

constexpr int kNotGiven = 0xFFFF;

// The halftone types each level-3 record version carries (method 1
// diffusion and 3 dispersed in version 1, only 3 in version 2).
const std::set<int>& CarriedHalftones(uint16_t recordVersion) {
    static const std::set<int> v1 = {1, 3}, v2 = {3};
    return recordVersion == 2 ? v2 : v1;
}

struct Setting {
    ModelDriverPrint print;
    bool driver;  // one of the medium's driver settings
};

// The driver's settings of a medium and one more that no driver setting of
// it uses (600 x 600 dpi, 1 bit unless the driver has it).
std::vector<Setting> SettingsOf(const ModelMedia& m) {
    std::vector<Setting> out;
    for (const ModelDriverPrint& p : m.driver) out.push_back({p, true});
    for (const ModelDriverPrint p : {ModelDriverPrint{600, 600, 1}, ModelDriverPrint{300, 300, 1}})
        if (std::find(m.driver.begin(), m.driver.end(), p) == m.driver.end()) {
            out.push_back({p, false});
            break;
        }
    return out;
}

struct Outcome {
    int init_page;  // 0: the pages print
    int halftone;   // the halftone type its pages use
};

// What the model makes of a job on the medium at the setting: the print
// mode's sub-type, output bits and halftone type (a driver setting's row,
// else the medium's: sub-type 0, 2 bits, its halftone type or the page's),
// checked against the level-3 records and the index rows.
Outcome Expect(const ModelDescription& model, const ModelMedia& m, const Setting& s, bool level3, int pageHalftone) {
    const uint32_t sub = s.driver ? kModelDriverSubType : 0;
    const uint32_t bits = s.driver ? s.print.bits : 2;
    const int h = m.halftone_type != kNotGiven ? m.halftone_type : s.driver ? 3 : pageHalftone;
    const std::set<int>& carried = CarriedHalftones(model_level3_modes(m.number).records);
    const uint32_t media = model_media_modes(model, m.number).calibration_id;
    std::vector<ModelPrintMode> rows = model_print_modes(model);
    const std::vector<ModelPrintMode> driver = model_driver_print_modes(model);
    rows.insert(rows.end(), driver.begin(), driver.end());
    const auto hasRow = [&](int halftone) {
        return std::any_of(rows.begin(), rows.end(), [&](const ModelPrintMode& r) {
            return r.media == media && r.sub_type == sub && r.ht_type == uint32_t(halftone) &&
                   r.h_res == uint32_t(s.print.x) && r.v_res == uint32_t(s.print.y) && r.out_bits == bits;
        });
    };
    // The halftoning object makes the engine's instance first, then asks the
    // level-3 records for the halftone.
    if (!hasRow(h)) return {-3001, h};
    if (level3 && carried.count(h) == 0) return {-10, h};
    return {0, h};
}

uint32_t Smooth(int x, int y, unsigned k) {
    return uint32_t(std::lround(128 + 90 * std::sin(x / 9.0 + k) * std::cos(y / 7.0 - k)));
}

// Two pages of a few bands each, some clipped.
std::vector<Page> Pages(const JobSpec& s) {
    std::vector<Page> pages(2);
    for (Page& page : pages)
        for (uint32_t top = 0, n = 0; top < s.length; ++n) {
            const uint32_t rows = 3 + (top * 5 + n) % 11;
            const tagRECT clip = n % 2 ? tagRECT{3, 0, s.width - 2, rows} : tagRECT{0, 0, s.width, rows};
            page.bands.push_back(MakeBand(s, top, rows, s.width, clip, 0, Smooth));
            top += rows;
        }
    return pages;
}

TEST(Level3EveryMedium, PrintsOrIsRefusedAtEachPageStart) {
    const ModelDescription model = default_model();
    size_t printed = 0, refusedHalftone = 0, refusedMode = 0, index = 0;
    for (const ModelMedia& m : model.media) {
        // Every second medium under the sanitizers.
        if (ovcg_test::kSanitized && index++ % 2 == 1) continue;
        const std::vector<Setting> settings = SettingsOf(m);
        for (const Setting& setting : settings)
            for (const bool level3 : {true, false})
                for (const int format : {1, 0}) {
                    // Gray jobs: level 3 at the medium's first setting.
                    if (format == 0 && (!level3 || &setting != &settings.front())) continue;
                    JobSpec s;
                    s.media = m.number;
                    s.prt_format = format;
                    s.page_language = !level3;
                    s.prt_resolution = {setting.print.x, setting.print.y};
                    s.bits = setting.print.bits;
                    s.library_engine = true;
                    s.halftone_type = 3;
                    s.width = 40;
                    s.length = 30;
                    SCOPED_TRACE(testing::Message() << "media " << m.number << " " << setting.print.x << "x"
                                                    << setting.print.y << " " << setting.print.bits << " bits"
                                                    << (level3 ? " level 3" : " page language") << " format "
                                                    << format);
                    const Outcome want = Expect(model, m, setting, level3, s.halftone_type);
                    const std::vector<Page> pages = Pages(s);
                    RecordingHxrEngine unused;
                    const JobResult r = RunJob(s, pages, unused);
                    ASSERT_EQ(r.init_job, 0);
                    EXPECT_EQ(r.destroy, 0);
                    if (want.init_page != 0) {
                        // Each page is refused; the stream holds the document
                        // and page starts and the document end.
                        EXPECT_EQ(r.init_page, std::vector<int32_t>(pages.size(), want.init_page))
                            << "halftone type " << want.halftone;
                        EXPECT_EQ(r.band_out, std::vector<int32_t>(r.band_out.size(), -2));
                        EXPECT_EQ(r.end_page, std::vector<int32_t>(pages.size(), -2));
                        EXPECT_FALSE(r.spool.empty());
                        EXPECT_TRUE(r.check.ok) << r.check.error;
                        ++(want.init_page == -10 ? refusedHalftone : refusedMode);
                        continue;
                    }
                    ++printed;
                    EXPECT_EQ(r.init_page, std::vector<int32_t>(pages.size(), 0));
                    EXPECT_EQ(r.band_out, std::vector<int32_t>(r.band_out.size(), 0));
                    EXPECT_EQ(r.end_page, std::vector<int32_t>(pages.size(), 0));
                    ASSERT_TRUE(r.check.ok) << r.check.error;
                    if (!level3) continue;
                    const Level3Job job = ParseLevel3Job(r.data());
                    ASSERT_TRUE(job.ok) << job.error;
                    EXPECT_EQ(job.qlty, 1u);
                    // Version 2 of the records has no slut record; version 1
                    // sends the engine's package once, at the first page.
                    if (model_level3_modes(m.number).records == 2) {
                        EXPECT_EQ(job.slut, 0u);
                    } else {
                        EXPECT_EQ(job.slut, 1u);
                        EXPECT_FALSE(job.slut_data.empty());
                    }
                    const bool jpeg = EncoderOf(m.number) != 1;
                    EXPECT_EQ(CompareWithObjects(job, ExpectedPages(s, pages), jpeg ? 16 : 0), "");
                }
    }
    // The model holds all three outcomes.
    const size_t share = ovcg_test::kSanitized ? 2 : 1;
    EXPECT_GT(printed, 50u / share);
    EXPECT_GT(refusedHalftone, 10u / share);
    EXPECT_GT(refusedMode, 10u / share);
}

// The caller's output failing while the first page sends its records: in
// the document or page start a failed send, -15; in the quality record or
// the printer's package, which the halftoning object sends as it is built,
// a message thrown from its constructor, -10.
TEST(Level3EveryMedium, OutputFailingAtTheFirstPage) {
    JobSpec s;
    s.media = 1;
    s.prt_resolution = {600, 600};
    s.bits = 2;
    s.library_engine = true;
    s.width = 40;
    s.length = 30;
    RecordingHxrEngine unused;
    const JobResult whole = RunJob(s, Pages(s), unused);
    ASSERT_EQ(whole.init_page, std::vector<int32_t>(2, 0));
    std::vector<int32_t> codes;
    for (const int64_t at : {int64_t{0}, int64_t{40}, int64_t{200}}) {
        SCOPED_TRACE(at);
        s.fail_after = at;
        const JobResult r = RunJob(s, Pages(s), unused);
        EXPECT_EQ(r.init_job, 0);
        ASSERT_FALSE(r.init_page.empty());
        codes.push_back(r.init_page[0]);
    }
    EXPECT_EQ(codes, (std::vector<int32_t>{-15, -15, -10}));
}

}  // namespace
}  // namespace ovcg_test::l3
