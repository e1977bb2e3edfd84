// A level-2 job of the default synthetic model: the print mode resolved from
// the model file, the generator the model selects, the whole command stream
// captured through the spooler in header mode and validated.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "commands/mw_cmd_traq2.h"
#include "engine/link_resource.h"
#include "engine/prt_mode.h"
#include "engine/records.h"
#include "engine/spooler.h"
#include "frontend/options.h"
#include "gen_harness.h"
#include "ovcg/ovs_resource.h"
#include "support/model.h"
#include "support/model_links.h"
#include "support/res_writer.h"

namespace ovcg::test {
namespace {

using ovcg_test::SpoolCheck;
using ovcg_test::StreamItemKind;

// The job record the front end builds from its defaults for a media choice,
// as the job interface hands it on.
struct ModelJob {
    tagPRTSTRUCT3_12 front{};
    tagHTSTRUCT3_5 ht{};
    tagPRTSTRUCT3_12 job{};
    tagMEDIAOPT_8 media{};
    bool ok = false;

    explicit ModelJob(const char* mediaChoice) {
        namespace fe = ovcg::frontend;
        const fe::optionHandlerInterface* h = fe::ww_option_handler("");
        fe::ww_clear_choices_for_tests();
        fe::ovcg_page_info info{};
        h->Init();
        h->InitPrintParam(&front, &ht, &info);
        h->SetOptionChoiceByOrder("MediaType", mediaChoice);
        h->SetOptionChoiceByOrder("PageSize", "A4");
        ok = h->ConvertPrintParam(&front, &ht, &info) == 0 && UpgradeJobRecord(&front, &job) == 0 &&
             UpgradeMediaOpt(front.lpMediaOpt, &media) == 0;
        job.lpMediaOpt = &media;
        fe::ww_clear_choices_for_tests();
    }
    ~ModelJob() { ovcg::frontend::ww_option_handler("")->FreePrintParam(&front, &ht, nullptr); }
};

struct ModelRun {
    SpoolCheck check;
    uint16_t selector = 0;
    bool newer = false;
    tagPRTSTRUCT3_12 job{};
    tagPRTINFOSTRUCT info{};
};

ModelRun RunModelJob(const char* mediaChoice, uint32_t abort) {
    ModelRun run;
    ovcg_test::TempFile file("gen2model");
    EXPECT_TRUE(ovcg_test::build_model(ovcg_test::default_model()).write_file(file.path()));
    EXPECT_EQ(ovs_resLoadFile(file.path().c_str()), 0);
    {
        ModelJob mj(mediaChoice);
        EXPECT_TRUE(mj.ok);
        std::string path = file.path();
        char* names[] = {path.data()};
        CLinkRscDLL dll(names, 1);
        CPrtMode mode(&mj.job, &dll);
        const tagPRTINFOSTRUCT& info = mode.Info();
        run.selector = info.generator_selector;
        run.info = info;
        run.job = mode.Job();
        run.newer = static_cast<int16_t>(info.remote_flags) < 0;

        ovcg_test::SpoolRecorder recorder;
        CPlimoSpooler spooler(1, ovcg_test::SpoolRecorder::Callback, &recorder);
        const tagPRTSTRUCT3_12& job = mode.Job();
        const Gen kind = run.selector == 1 ? Gen::kTraq2_1 : run.selector == 2 ? Gen::kTraq2_2 : Gen::kTraq2;
        std::unique_ptr<CMWCmd> gen = MakeGenerator(kind, &job, &info, &spooler, &mode.MediaOpt(), job.lpCutCmdData,
                                                    job.lpTrimInfo, job.lpJobData);
        gen->SetLocalTimeFunction(FixedTime);
        gen->SetMarginValue(0, 0);
        gen->SendStartDocCmd(0);
        gen->SendStartPageCmd(1);
        gen->SetPageValues(1, 0, 1000, 0);
        gen->SetPageAbort(abort);
        gen->SendEndPageCmd();
        gen->SetPrintedLength(297);
        gen->SendEndDocCmd();
        run.check = ovcg_test::ValidateSpool(recorder.stream());
    }
    ovs_resUnLoadFile();
    return run;
}

std::string Le32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                    static_cast<uint8_t>(v >> 24)};
    return hex_of(b, 4);
}

TEST(Traq2Model, DefaultJobIsByteExact) {
    const ModelRun run = RunModelJob("Media1_Q1", 0);
    ASSERT_TRUE(run.check.ok) << run.check.error;
    const SpoolCheck& c = run.check;
    const ovcg_test::ModelDescription model = ovcg_test::default_model();
    const ovcg_test::ModelMediaModes mm = ovcg_test::model_media_modes(model, 1);
    // The model picks the second variant on the newer command set.
    ASSERT_EQ(run.selector, 2);
    ASSERT_TRUE(run.newer);
    ASSERT_EQ(mm.paper_id, 0x41);
    ASSERT_EQ(mm.remote_paper_id, 0x61);
    EXPECT_EQ(c.codes(), (std::vector<uint16_t>{9, 10, 3, 4, 1, 2}));

    // Geometry of the front end's default job: 300 dpi source, 300 x 600
    // print, so both scales are 20 tenths; no page-length extra.
    const tagPRTSTRUCT3_12& j = run.job;
    ASSERT_EQ(j.src_resolution.y, 300);
    ASSERT_EQ(j.prt_resolution.y, 600);
    ASSERT_EQ(run.info.page_length_extra, 0);
    const uint32_t y = 20, x = 20;
    const uint32_t length = static_cast<uint32_t>(j.src_paper_size.y) * y / 10;
    const uint32_t width = static_cast<uint32_t>(j.src_paper_size.x) * x / 10;
    const uint32_t margin = static_cast<uint32_t>(j.src_margin.y) * y / 10;
    const uint32_t top = std::max(margin, 600u * 35 / 300);
    const uint32_t bottom = static_cast<uint32_t>(j.src_margin.y + j.src_print_area.y) * y / 10;
    const std::string dim = "1B 28 53 08 00 " + Le32(width) + " " + Le32(length);

    EXPECT_EQ(hex_of(c.section(9)),
              H("00 00 00 1B 01 '@KRQ 1284.4' 0A '@KRQ     ' 0A 1B 40 1B 40 " +
                Remote("'JX' 05 00 00 00 01 01 01 'MI' 04 00 00 01 41 61"
                       " 'SN' 03 00 00 00 01 'SN' 03 00 00 01 00 'SN' 03 00 00 05 02 'SN' 03 00 00 84 00"
                       " 'EX' 06 00 00 00 00 00 05 00 'FP' 03 00 00 01 02 'PH' 02 00 00 80"
                       " 'EX' 06 00 00 00 00 00 14 00 'AC' 02 00 00 00 'AC' 02 00 00 40 'PP' 03 00 00 01 00"
                       " 'EX' 07 00 00 00 00 00 4D 00 FF") +
                " 1B 28 47 01 00 01 1B 28 55 05 00 01 01 02 58 02 1B 55 01 1B 28 43 04 00 " + Le32(length) +
                " 1B 28 63 08 00 " + Le32(top) + " " + Le32(bottom) + " 1B 28 4B 02 00 00 02"));
    // The page start is the paper dimension alone; the page end repeats it
    // with the page length and ejects.
    const std::vector<uint8_t> between(c.spool.data.begin() + static_cast<long>(c.spool.escapes[1].offset),
                                       c.spool.data.begin() + static_cast<long>(c.spool.escapes[2].offset));
    EXPECT_EQ(hex_of(between), H(dim));
    EXPECT_EQ(hex_of(c.section(3)), H(dim + " 0C"));
    EXPECT_EQ(hex_of(c.section(1)), H("1B 40 " + Remote("'LD' 00 00 'JX' 05 00 00 00 01 01 02")));
}

TEST(Traq2Model, AbortedPageOfTheDefaultJobIsWellFormed) {
    const ModelRun run = RunModelJob("Media1_Q1", 1);
    ASSERT_TRUE(run.check.ok) << run.check.error;
    const std::vector<uint8_t> page = run.check.section(3);
    ASSERT_FALSE(page.empty());
    // The model leaves the top-margin adjustment off, so an aborted page
    // ends like a normal one: paper dimension and FF.
    EXPECT_EQ(hex_of(page), hex_of(RunModelJob("Media1_Q1", 0).check.section(3)));
    EXPECT_EQ(page.back(), 0x0C);
}

}  // namespace
}  // namespace ovcg::test
